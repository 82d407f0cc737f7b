// filter_sampling.h - small inline helpers of the geometric filters (stylize, halftone, distort,
// tile): bilinear sampling of straight RGBA bytes into premultiplied colour, the matching store
// back to straight bytes, a deterministic integer hash for jittered grids, and the clamps that
// keep extreme values (negative, huge, far-away centres) inside what float arithmetic handles.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vfilter {
namespace geo {

// Centres farther than this from the picture are treated as this far: coordinates stay finite
// and exact enough in float, and a filter about such a centre no longer reaches the picture.
constexpr float kFarCentre = 1.0e7f;

inline float ClampCentre(float c) { return std::min(std::max(c, -kFarCentre), kFarCentre); }
inline float Clamp(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }

// Round to nearest (ties to even) by the float trick, exact for |t| < 2^22 and finite beyond;
// unlike a conversion to int it cannot trap, so loops using it vectorise under the default
// floating-point flags.
inline float RoundEven(float t) { return (t + 12582912.0f) - 12582912.0f; }

// The nearest pixel to picture coordinates, clamped into the picture.
inline const uint8_t* NearestPixel(const uint8_t* src, int w, int h, float x, float y) {
    int xi = std::isfinite(x) ? int(Clamp(std::floor(x), 0.0f, float(w - 1))) : 0;
    int yi = std::isfinite(y) ? int(Clamp(std::floor(y), 0.0f, float(h - 1))) : 0;
    return src + (std::size_t(yi) * w + xi) * 4;
}

// Premultiplied colour back to straight bytes, n pixels, rounded to nearest as FromPremultiplied
// does: alpha clamped to 0..1, colour to 0..alpha, NaN read as 0; what rounds to alpha 0 is
// 0,0,0,0. Branch-free, so the loop vectorises.
inline void StoreRow(const float* p, uint8_t* d, int n) {
    for (int i = 0; i < n; ++i) {
        const float a = std::min(std::max(0.0f, p[i * 4 + 3]), 1.0f);
        const float k = 255.0f / std::max(a, 1.0e-20f);
        const float a8 = a * 255.0f + 0.5f;
        const bool visible = a8 >= 1.0f;
        for (int c = 0; c < 3; ++c) {
            const float v = std::min(std::max(0.0f, p[i * 4 + c]), a);
            const float b = std::min(v * k + 0.5f, 255.0f);
            d[i * 4 + c] = visible ? uint8_t(b) : uint8_t(0);
        }
        d[i * 4 + 3] = uint8_t(a8);
    }
}
inline void Store(const float p[4], uint8_t* d) { StoreRow(p, d, 1); }

// A well-mixed 32-bit hash of a grid cell (i, j): the same cell always gets the same value.
inline uint32_t HashCell(int32_t i, int32_t j) {
    uint32_t h = uint32_t(i) * 0x9E3779B1u ^ (uint32_t(j) + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// Two jitter values in 0..1 from a hash (16 bits each).
inline float JitterX(uint32_t h) { return float(h & 0xFFFFu) * (1.0f / 65536.0f); }
inline float JitterY(uint32_t h) { return float(h >> 16) * (1.0f / 65536.0f); }

// Rows yBegin .. yEnd - 1 of a picture in premultiplied colour, kept so a filter can write its
// output in place while it samples the input. Each channel is held exactly as a 16-bit integer
// on the scale 0..65025 (colour x alpha, and alpha x 255), half the memory of floats, which
// matters for filters that sample all over a large picture. Rows outside the copy read as the
// picture's (transparent) outside, so a filter copies every row its samples can reach.
struct RowCopy {
    int w = 0, yBegin = 0, yEnd = 0;
    std::vector<uint16_t> px;  // 4 a pixel
    void Take(const uint8_t* rgba, int width, int height, int y0, int y1) {
        w = width;
        yBegin = std::min(std::max(y0, 0), height);
        yEnd = std::min(std::max(y1, yBegin), height);
        const long n = long(yEnd - yBegin) * w;
        px.resize(std::size_t(n) * 4);
        const uint8_t* s = rgba + std::size_t(yBegin) * w * 4;
        uint16_t* d = px.data();
#pragma omp parallel for schedule(static) if (n > 32768)
        for (long i = 0; i < n; ++i) {
            const unsigned a = s[i * 4 + 3];
            d[i * 4 + 0] = uint16_t(s[i * 4 + 0] * a);
            d[i * 4 + 1] = uint16_t(s[i * 4 + 1] * a);
            d[i * 4 + 2] = uint16_t(s[i * 4 + 2] * a);
            d[i * 4 + 3] = uint16_t(a * 255u);
        }
    }
    // Bilinear sample at picture coordinates (pixel centres at i + 0.5), premultiplied 0..1;
    // transparent outside the picture and for coordinates that are not finite.
    void Sample(float x, float y, float out[4]) const {
        out[0] = out[1] = out[2] = out[3] = 0.0f;
        const int h = yEnd - yBegin;
        const float fx = x - 0.5f, fy = y - 0.5f - float(yBegin);
        if (!(fx > -1.0f && fy > -1.0f && fx < float(w) && fy < float(h))) return;  // NaN too
        const int x0 = int(fx + 1.0f) - 1, y0 = int(fy + 1.0f) - 1;  // floor, fx > -1
        const float tx = fx - float(x0), ty = fy - float(y0);
        const float k = 1.0f / 65025.0f;
        const float wts[4] = {(1.0f - tx) * (1.0f - ty) * k, tx * (1.0f - ty) * k, (1.0f - tx) * ty * k,
                              tx * ty * k};
        static const uint16_t clear[4] = {0, 0, 0, 0};
        const uint16_t* taps[4];
        const std::size_t stride = std::size_t(w) * 4;
        if (x0 >= 0 && y0 >= 0 && x0 + 1 < w && y0 + 1 < h) {
            taps[0] = px.data() + y0 * stride + std::size_t(x0) * 4;
            taps[1] = taps[0] + 4;
            taps[2] = taps[0] + stride;
            taps[3] = taps[2] + 4;
        } else {
            for (int t = 0; t < 4; ++t) {
                const int xx = x0 + (t & 1), yy = y0 + (t >> 1);
                taps[t] = (xx < 0 || yy < 0 || xx >= w || yy >= h)
                              ? clear
                              : px.data() + yy * stride + std::size_t(xx) * 4;
            }
        }
        for (int c = 0; c < 4; ++c)
            out[c] = wts[0] * taps[0][c] + wts[1] * taps[1][c] + wts[2] * taps[2][c] + wts[3] * taps[3][c];
    }
};

}  // namespace geo
}  // namespace vfilter
