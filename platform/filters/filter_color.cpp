// filter_color.cpp - the colour filters: posterize, exposure, gamma, colour controls and hue.
// They read src and write dst (the same buffer or disjoint ones) and act on straight colour
// (the same as unpremultiplying, filtering and premultiplying again) with alpha kept, directly on the bytes: one 256-entry table per channel function, and
// for hue a 3 x 3 matrix applied through tables of products. Transparent pixels become 0,0,0,0.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "filter_kernels.h"

namespace vfilter {
namespace {

typedef uint8_t Lut[256];

// Pixels of src through lut into dst (the same buffer or disjoint ones); alpha kept, fully
// transparent pixels become 0,0,0,0. A pixel is read as one little-endian word: red in the low
// byte, alpha in the high one.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixels are read as little-endian words");

// Any processor: red and green go through one table of 65536 pairs (128 KiB, it stays in
// cache), so a pixel costs two lookups instead of three.
void LutPixels(const uint8_t* src, uint8_t* dst, long count, const Lut& lut, const uint16_t* rg) {
    for (long i = 0; i < count; ++i) {
        uint32_t w;
        memcpy(&w, src + i * 4, 4);
        uint32_t out = rg[w & 0xFFFF] | uint32_t(lut[(w >> 16) & 0xFF]) << 16 | (w & 0xFF000000u);
        if (!(w & 0xFF000000u)) out = 0;
        memcpy(dst + i * 4, &out, 4);
    }
}

// GCC 12 warns of the undefined vectors inside its own AVX-512 headers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VFILTER_HAVE_VBMI 1
// Processors with AVX-512 VBMI: 16 pixels at a time, the 256 entries as two 128-byte tables
// of byte permutes, the index's top bit choosing between them. The same bytes as LutPixels.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void LutPixelsVbmi(const uint8_t* src, uint8_t* dst,
                                                                          long count, const Lut& lut) {
    const __m512i t0 = _mm512_loadu_si512(lut), t1 = _mm512_loadu_si512(lut + 64);
    const __m512i t2 = _mm512_loadu_si512(lut + 128), t3 = _mm512_loadu_si512(lut + 192);
    const __m512i alpha = _mm512_set1_epi32(int(0xFF000000u));
    const __mmask64 alphaBytes = 0x8888888888888888ull;
    long i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i v = _mm512_loadu_si512(src + i * 4);
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1), high = _mm512_permutex2var_epi8(t2, v, t3);
        __m512i out = _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
        out = _mm512_mask_blend_epi8(alphaBytes, out, v);
        out = _mm512_maskz_mov_epi32(_mm512_test_epi32_mask(v, alpha), out);
        _mm512_storeu_si512(dst + i * 4, out);
    }
    for (; i < count; ++i) {
        const uint8_t* s = src + i * 4;
        uint8_t* d = dst + i * 4;
        const uint8_t a = s[3];
        d[0] = a ? lut[s[0]] : 0;
        d[1] = a ? lut[s[1]] : 0;
        d[2] = a ? lut[s[2]] : 0;
        d[3] = a;
    }
}
#pragma GCC diagnostic pop
#endif

void ApplyLut(const uint8_t* src, uint8_t* dst, int width, int height, const Lut& lut) {
    const long n = long(width) * height;
    const long chunk = 16384;  // pixels per piece of work: 64 KiB each way
#ifdef VFILTER_HAVE_VBMI
    static const bool vbmi = __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw");
    if (vbmi) {
#pragma omp parallel for schedule(static)
        for (long i = 0; i < n; i += chunk) LutPixelsVbmi(src + i * 4, dst + i * 4, std::min(chunk, n - i), lut);
        return;
    }
#endif
    std::vector<uint16_t> pairs(65536);
    for (int g = 0; g < 256; ++g)
        for (int r = 0; r < 256; ++r) pairs[size_t(g) << 8 | size_t(r)] = uint16_t(lut[r] | lut[g] << 8);
    const uint16_t* rg = pairs.data();
#pragma omp parallel for schedule(static)
    for (long i = 0; i < n; i += chunk) LutPixels(src + i * 4, dst + i * 4, std::min(chunk, n - i), lut, rg);
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

void CIColorPosterizeFrom(const uint8_t* src, uint8_t* dst, int width, int height, const Params& p) {
    float levels = std::floor(p.Get("inputLevels", 6.0f));
    levels = std::min(std::max(levels, 2.0f), 256.0f);
    const float steps = levels - 1.0f;
    Lut lut;
    FillLut(lut, [steps](float v) { return std::floor(v * steps + 0.5f) / steps; });
    ApplyLut(src, dst, width, height, lut);
}

void CIExposureAdjustFrom(const uint8_t* src, uint8_t* dst, int width, int height, const Params& p) {
    const float ev = std::min(std::max(p.Get("inputEV", 0.0f), -40.0f), 40.0f);
    const float gain = std::exp2(ev);
    Lut lut;
    FillLut(lut, [gain](float v) { return LinearToSrgb(SrgbToLinear(v) * gain); });
    ApplyLut(src, dst, width, height, lut);
}

void CIGammaAdjustFrom(const uint8_t* src, uint8_t* dst, int width, int height, const Params& p) {
    const float power = std::min(std::max(p.Get("inputPower", 1.0f), -1000.0f), 1000.0f);
    Lut lut;
    FillLut(lut, [power](float v) { return std::pow(v, power); });  // 0^negative is inf: white
    ApplyLut(src, dst, width, height, lut);
}

void CIColorControlsFrom(const uint8_t* src, uint8_t* dst, int width, int height, const Params& p) {
    const float brightness = std::min(std::max(p.Get("inputBrightness", 0.0f), -1e6f), 1e6f);
    const float contrast = std::min(std::max(p.Get("inputContrast", 1.0f), -1e6f), 1e6f);
    const float saturation = std::min(std::max(p.Get("inputSaturation", 1.0f), -1e6f), 1e6f);
    auto tone = [brightness, contrast](float v) { return (v + brightness - 0.5f) * contrast + 0.5f; };
    if (saturation == 1.0f) {
        Lut lut;
        FillLut(lut, tone);
        ApplyLut(src, dst, width, height, lut);
        return;
    }
    const long n = long(width) * height;
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) {
        const uint8_t* s = src + i * 4;
        uint8_t* d = dst + i * 4;
        d[3] = s[3];
        if (!s[3]) {
            d[0] = d[1] = d[2] = 0;
            continue;
        }
        const float c[3] = {s[0] / 255.0f, s[1] / 255.0f, s[2] / 255.0f};
        const float grey = kLumR * c[0] + kLumG * c[1] + kLumB * c[2];
        for (int k = 0; k < 3; ++k) d[k] = ToByte(tone(grey + saturation * (c[k] - grey)));
    }
}

void CIHueAdjustFrom(const uint8_t* src, uint8_t* dst, int width, int height, const Params& p) {
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
        const uint8_t* s = src + i * 4;
        uint8_t* d = dst + i * 4;
        d[3] = s[3];
        if (!s[3]) {
            d[0] = d[1] = d[2] = 0;
            continue;
        }
        const uint8_t r0 = s[0], g0 = s[1], b0 = s[2];
        for (int r = 0; r < 3; ++r) {
            int32_t v = (T[r][0][r0] + T[r][1][g0] + T[r][2][b0] + 8192) >> 14;
            d[r] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
}

}  // namespace vfilter
