// filter_edges.cpp - the edge filters: Sobel edges (on the bytes, in integers), edge work (a
// difference of two gaussians of the luminance), line overlay (Sobel of a smoothed luminance,
// thresholded into black lines) and the height field of a mask. Gradients are taken of
// premultiplied colour, so the colour under transparent pixels plays no part; alpha is kept.
#include <algorithm>
#include <cmath>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "filter_kernels.h"

namespace vfilter {
namespace {

inline uint8_t Premul8(int c, int a) {
    const int x = c * a + 128;
    return uint8_t((x + (x >> 8)) >> 8);  // c x a / 255, rounded
}

// Luminance of the premultiplied picture, one float per pixel; over white paper when asked
// (plus 1 - alpha).
std::vector<float> LumaPlane(const uint8_t* rgba, long n, bool overWhite) {
    std::vector<float> y(static_cast<std::size_t>(n));
    const float k = 1.0f / (255.0f * 255.0f);
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) {
        const uint8_t* p = rgba + i * 4;
        const float v = (kLumR * p[0] + kLumG * p[1] + kLumB * p[2]) * p[3] * k;
        y[std::size_t(i)] = overWhite ? v + 1.0f - p[3] * (1.0f / 255.0f) : v;
    }
    return y;
}

// Sobel gradient magnitude / 4 of a plane (a full step of 1 gives 1), edges repeated.
std::vector<float> SobelPlane(const std::vector<float>& v, int w, int h) {
    std::vector<float> out(v.size());
#pragma omp parallel for schedule(dynamic, 8)
    for (int y = 0; y < h; ++y) {
        const float* up = v.data() + std::size_t(std::max(y - 1, 0)) * w;
        const float* mid = v.data() + std::size_t(y) * w;
        const float* dn = v.data() + std::size_t(std::min(y + 1, h - 1)) * w;
        for (int x = 0; x < w; ++x) {
            const int l = std::max(x - 1, 0), r = std::min(x + 1, w - 1);
            const float gx = (up[r] + 2 * mid[r] + dn[r]) - (up[l] + 2 * mid[l] + dn[l]);
            const float gy = (dn[l] + 2 * dn[x] + dn[r]) - (up[l] + 2 * up[x] + up[r]);
            out[std::size_t(y) * w + x] = 0.25f * std::sqrt(gx * gx + gy * gy);
        }
    }
    return out;
}

// Writes grey g (0..1) for each pixel, alpha kept, transparent pixels cleared.
void WriteGrey(uint8_t* rgba, long n, const float* g) {
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) {
        uint8_t* d = rgba + i * 4;
        const uint8_t v = d[3] ? ToByte(g[i]) : 0;
        d[0] = d[1] = d[2] = v;
    }
}

}  // namespace

void CIEdges(uint8_t* rgba, int width, int height, const Params& p) {
    const float intensity = std::min(std::max(p.Get("inputIntensity", 1.0f), 0.0f), 1e6f);
    const int w = width, h = height, n = w * 4;
    // Premultiplied colour bytes and alpha, with one repeated pixel at each end of a row.
    const int stride = n + 8;
    std::vector<uint8_t> pm(std::size_t(stride) * h);
#pragma omp parallel for schedule(dynamic, 8)
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = rgba + std::size_t(y) * n;
        uint8_t* d = pm.data() + std::size_t(y) * stride + 4;
        for (int x = 0; x < w; ++x) {
            const int a = s[x * 4 + 3];
            for (int c = 0; c < 3; ++c) d[x * 4 + c] = Premul8(s[x * 4 + c], a);
            d[x * 4 + 3] = uint8_t(a);
        }
        for (int c = 0; c < 4; ++c) {
            d[c - 4] = d[c];
            d[n + c] = d[n - 4 + c];
        }
    }
    const float scale = 0.25f * intensity;
#pragma omp parallel
    {
        std::vector<int16_t> vs(static_cast<std::size_t>(stride)), vd(static_cast<std::size_t>(stride));
#pragma omp for schedule(dynamic, 8)
        for (int y = 0; y < h; ++y) {
            const uint8_t* up = pm.data() + std::size_t(std::max(y - 1, 0)) * stride;
            const uint8_t* mid = pm.data() + std::size_t(y) * stride;
            const uint8_t* dn = pm.data() + std::size_t(std::min(y + 1, h - 1)) * stride;
            for (int i = 0; i < stride; ++i) {
                vs[i] = int16_t(up[i] + 2 * mid[i] + dn[i]);
                vd[i] = int16_t(dn[i] - up[i]);
            }
            uint8_t* d = rgba + std::size_t(y) * n;
            const int16_t* S = vs.data() + 4;
            const int16_t* D = vd.data() + 4;
            int i0 = 0;
#if defined(__SSE2__)
            // Eight values at a time; the same arithmetic as the loop below.
            const __m128 vscale = _mm_set1_ps(scale), top = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
            auto magnitude = [&](__m128i gx32, __m128i gy32) {
                const __m128 fx = _mm_cvtepi32_ps(gx32), fy = _mm_cvtepi32_ps(gy32);
                const __m128 q = _mm_mul_ps(_mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(fx, fx), _mm_mul_ps(fy, fy))), vscale);
                return _mm_cvttps_epi32(_mm_add_ps(_mm_min_ps(q, top), half));
            };
            for (; i0 + 8 <= n; i0 += 8) {
                const __m128i gx = _mm_sub_epi16(_mm_loadu_si128((const __m128i*)(S + i0 + 4)),
                                                 _mm_loadu_si128((const __m128i*)(S + i0 - 4)));
                const __m128i dc = _mm_loadu_si128((const __m128i*)(D + i0));
                const __m128i gy = _mm_add_epi16(_mm_add_epi16(_mm_loadu_si128((const __m128i*)(D + i0 - 4)), _mm_add_epi16(dc, dc)),
                                                 _mm_loadu_si128((const __m128i*)(D + i0 + 4)));
                const __m128i lo = magnitude(_mm_srai_epi32(_mm_unpacklo_epi16(gx, gx), 16), _mm_srai_epi32(_mm_unpacklo_epi16(gy, gy), 16));
                const __m128i hi = magnitude(_mm_srai_epi32(_mm_unpackhi_epi16(gx, gx), 16), _mm_srai_epi32(_mm_unpackhi_epi16(gy, gy), 16));
                const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(lo, hi), _mm_setzero_si128());
                _mm_storel_epi64((__m128i*)(d + i0), bytes);
            }
#endif
            for (int i = i0; i < n; ++i) {
                const float gx = float(S[i + 4] - S[i - 4]);
                const float gy = float(D[i - 4] + 2 * D[i] + D[i + 4]);
                const float q = __builtin_sqrtf(gx * gx + gy * gy) * scale;
                d[i] = uint8_t(int((q < 255.0f ? q : 255.0f) + 0.5f));  // the alpha lane too, put back below
            }
            for (int x = 0; x < w; ++x) {
                const uint8_t a = mid[4 + x * 4 + 3];
                d[x * 4 + 3] = a;
                if (!a) d[x * 4] = d[x * 4 + 1] = d[x * 4 + 2] = 0;
            }
        }
    }
}

void CIEdgeWork(uint8_t* rgba, int width, int height, const Params& p) {
    const float radius = std::max(p.Get("inputRadius", 3.0f), 0.0f);
    const long n = long(width) * height;
    std::vector<float> fine = LumaPlane(rgba, n, true);
    std::vector<float> wide(fine);
    GaussianBlurPlane(fine.data(), width, height, 1, 1.0f);
    GaussianBlurPlane(wide.data(), width, height, 1, radius);
    // Ink where the fine picture is darker than its wide surroundings.
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) {
        const float ink = std::min(std::max((wide[std::size_t(i)] - fine[std::size_t(i)] - 0.01f) * 40.0f, 0.0f), 1.0f);
        fine[std::size_t(i)] = 1.0f - ink;
    }
    WriteGrey(rgba, n, fine.data());
}

void CILineOverlay(uint8_t* rgba, int width, int height, const Params& p) {
    const float intensity = std::min(std::max(p.Get("inputEdgeIntensity", 1.0f), 0.0f), 1e6f);
    const float threshold = p.Get("inputThreshold", 0.1f);
    const long n = long(width) * height;
    // Noise reduction before looking for edges: the luminance is linear in the colour, so
    // blurring it equals taking the luminance of the blurred picture.
    std::vector<float> luma = LumaPlane(rgba, n, false);
    GaussianBlurPlane(luma.data(), width, height, 1, 1.0f);
    const std::vector<float> edges = SobelPlane(luma, width, height);
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) {
        uint8_t* d = rgba + i * 4;
        const float line = std::min(std::max((edges[std::size_t(i)] * intensity - threshold) * 50.0f, 0.0f), 1.0f);
        d[0] = d[1] = d[2] = 0;
        d[3] = uint8_t(d[3] * line + 0.5f);
    }
}

void CIHeightFieldFromMask(uint8_t* rgba, int width, int height, const Params& p) {
    const float radius = std::max(p.Get("inputRadius", 10.0f), 0.0f);
    const long n = long(width) * height;
    std::vector<float> m = LumaPlane(rgba, n, false);
    GaussianBlurPlane(m.data(), width, height, 1, 0.5f * radius);
    // Zero at the mask's edge (blurred mask 1/2), rising to 1 about radius inside, rounded.
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) m[std::size_t(i)] = std::sqrt(std::min(std::max(2.0f * m[std::size_t(i)] - 1.0f, 0.0f), 1.0f));
    WriteGrey(rgba, n, m.data());
}

}  // namespace vfilter
