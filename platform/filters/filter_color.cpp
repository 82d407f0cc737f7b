// filter_color.cpp - the colour filters: posterize, exposure, gamma, colour controls and hue.
// They act on straight colour (the same as unpremultiplying, filtering and premultiplying
// again) with alpha kept, directly on the bytes: one 256-entry table per channel function, and
// for hue a 3 x 3 matrix applied through tables of products. Transparent pixels become 0,0,0,0.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "filter_kernels.h"

namespace vfilter {
namespace {

typedef uint8_t Lut[256];

// Every pixel's colour through lut; alpha kept. Red and green go through one table of 65536
// pairs (128 KiB, it stays in cache), so a pixel costs two lookups instead of three. A pixel is
// read as one little-endian word: red in the low byte, alpha in the high one.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixels are read as little-endian words");
void ApplyLut(uint8_t* rgba, int width, int height, const Lut& lut) {
    std::vector<uint16_t> pairs(65536);
    for (int g = 0; g < 256; ++g)
        for (int r = 0; r < 256; ++r) pairs[size_t(g) << 8 | size_t(r)] = uint16_t(lut[r] | lut[g] << 8);
    const uint16_t* rg = pairs.data();
    const long n = long(width) * height;
#pragma omp parallel for schedule(static)
    for (long i = 0; i < n; ++i) {
        uint32_t w;
        memcpy(&w, rgba + i * 4, 4);
        uint32_t out = rg[w & 0xFFFF] | uint32_t(lut[(w >> 16) & 0xFF]) << 16 | (w & 0xFF000000u);
        if (!(w & 0xFF000000u)) out = 0;
        memcpy(rgba + i * 4, &out, 4);
    }
}

template <typename F>
void FillLut(Lut& lut, F f) {
    for (int v = 0; v < 256; ++v) lut[v] = ToByte(f(v / 255.0f));
}

float SrgbToLinear(float v) { return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f); }
float LinearToSrgb(float v) {
    if (!(v > 0.0f)) return 0.0f;
    if (v >= 1.0f) return 1.0f;
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

}  // namespace

void CIColorPosterize(uint8_t* rgba, int width, int height, const Params& p) {
    float levels = std::floor(p.Get("inputLevels", 6.0f));
    levels = std::min(std::max(levels, 2.0f), 256.0f);
    const float steps = levels - 1.0f;
    Lut lut;
    FillLut(lut, [steps](float v) { return std::floor(v * steps + 0.5f) / steps; });
    ApplyLut(rgba, width, height, lut);
}

void CIExposureAdjust(uint8_t* rgba, int width, int height, const Params& p) {
    const float ev = std::min(std::max(p.Get("inputEV", 0.0f), -40.0f), 40.0f);
    const float gain = std::exp2(ev);
    Lut lut;
    FillLut(lut, [gain](float v) { return LinearToSrgb(SrgbToLinear(v) * gain); });
    ApplyLut(rgba, width, height, lut);
}

void CIGammaAdjust(uint8_t* rgba, int width, int height, const Params& p) {
    const float power = std::min(std::max(p.Get("inputPower", 1.0f), -1000.0f), 1000.0f);
    Lut lut;
    FillLut(lut, [power](float v) { return std::pow(v, power); });  // 0^negative is inf: white
    ApplyLut(rgba, width, height, lut);
}

void CIColorControls(uint8_t* rgba, int width, int height, const Params& p) {
    const float brightness = std::min(std::max(p.Get("inputBrightness", 0.0f), -1e6f), 1e6f);
    const float contrast = std::min(std::max(p.Get("inputContrast", 1.0f), -1e6f), 1e6f);
    const float saturation = std::min(std::max(p.Get("inputSaturation", 1.0f), -1e6f), 1e6f);
    auto tone = [brightness, contrast](float v) { return (v + brightness - 0.5f) * contrast + 0.5f; };
    if (saturation == 1.0f) {
        Lut lut;
        FillLut(lut, tone);
        ApplyLut(rgba, width, height, lut);
        return;
    }
    const long n = long(width) * height;
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) {
        uint8_t* d = rgba + i * 4;
        if (!d[3]) {
            d[0] = d[1] = d[2] = 0;
            continue;
        }
        const float c[3] = {d[0] / 255.0f, d[1] / 255.0f, d[2] / 255.0f};
        const float grey = kLumR * c[0] + kLumG * c[1] + kLumB * c[2];
        for (int k = 0; k < 3; ++k) d[k] = ToByte(tone(grey + saturation * (c[k] - grey)));
    }
}

void CIHueAdjust(uint8_t* rgba, int width, int height, const Params& p) {
    // Rotation by angle about the grey axis (1,1,1)/sqrt(3): red turns towards green.
    const double angle = std::fmod(double(p.Get("inputAngle", 0.0f)), 2.0 * M_PI);
    const double c = std::cos(angle), s = std::sin(angle), t = (1.0 - c) / 3.0, q = s / std::sqrt(3.0);
    const double m[3][3] = {{c + t, t - q, t + q}, {t + q, c + t, t - q}, {t - q, t + q, c + t}};
    // tab[row][col][v] = m[row][col] x v in 1/2^14 of a byte step.
    int32_t tab[3][3][256];
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            for (int v = 0; v < 256; ++v) tab[r][k][v] = int32_t(std::lround(m[r][k] * v * 16384.0));
    const long n = long(width) * height;
    const int32_t(*T)[3][256] = tab;
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) {
        uint8_t* d = rgba + i * 4;
        if (!d[3]) {
            d[0] = d[1] = d[2] = 0;
            continue;
        }
        const uint8_t r0 = d[0], g0 = d[1], b0 = d[2];
        for (int r = 0; r < 3; ++r) {
            int32_t v = (T[r][0][r0] + T[r][1][g0] + T[r][2][b0] + 8192) >> 14;
            d[r] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
}

}  // namespace vfilter
