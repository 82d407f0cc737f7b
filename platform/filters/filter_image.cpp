// filter_image.cpp - the values of a run, the premultiplied float picture and its sampling.
#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VFILTER_HAVE_AVX512 1
#endif

#include "filter_kernels.h"

namespace vfilter {

float Params::Get(const char* key, float fallback) const {
    for (int i = 0; i < count; ++i)
        if (values[i].key && std::strcmp(values[i].key, key) == 0)
            return std::isfinite(values[i].x) ? values[i].x : fallback;
    return fallback;
}

float Params::CenterX(int width) const {
    for (int i = 0; i < count; ++i)
        if (values[i].key && std::strcmp(values[i].key, "inputCenter") == 0 && std::isfinite(values[i].x))
            return values[i].x;
    return width * 0.5f;
}

float Params::CenterY(int height) const {
    for (int i = 0; i < count; ++i)
        if (values[i].key && std::strcmp(values[i].key, "inputCenter") == 0 && std::isfinite(values[i].y))
            return values[i].y;
    return height * 0.5f;
}

#if defined(__SSE2__)
// SSE2 is part of every x86-64 processor: one pixel per vector, the same arithmetic as the
// plain version further down; with AVX-512, four pixels per vector, the same arithmetic again.
namespace {
void ToPremultipliedSse(const uint8_t* s, float* d, int count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 inv = _mm_set1_ps(1.0f / 255.0f);
    const __m128 alphaLane = _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0));
    for (int x = 0; x < count; ++x) {
        int32_t word;
        std::memcpy(&word, s + x * 4, 4);
        const __m128i b = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
        const __m128 v = _mm_cvtepi32_ps(b);
        const __m128 a = _mm_mul_ps(_mm_shuffle_ps(v, v, 0xFF), inv);            // alpha 0..1
        const __m128 k = _mm_mul_ps(_mm_or_ps(_mm_andnot_ps(alphaLane, a), _mm_and_ps(alphaLane, _mm_set1_ps(1.0f))), inv);
        _mm_storeu_ps(d + x * 4, _mm_mul_ps(v, k));
    }
}

void FromPremultipliedSse(const float* p, uint8_t* d, int count) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 one = _mm_set1_ps(1.0f), c255 = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
    const __m128 rgbLanes = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
    const __m128 alpha255 = _mm_set_ps(255.0f, 0.0f, 0.0f, 0.0f);
    for (int x = 0; x < count; ++x) {
        const __m128 px = _mm_loadu_ps(p + x * 4);
        __m128 a = _mm_shuffle_ps(px, px, 0xFF);
        a = _mm_min_ps(_mm_max_ps(a, zero), one);                 // NaN gives 0
        const __m128 v = _mm_min_ps(_mm_max_ps(px, zero), a);    // colour 0..alpha; alpha lane is alpha
        const __m128 visible = _mm_cmpge_ps(_mm_add_ps(_mm_mul_ps(a, c255), half), one);
        const __m128 k = _mm_or_ps(_mm_and_ps(_mm_and_ps(_mm_div_ps(c255, a), visible), rgbLanes), alpha255);
        const __m128i q = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, k), half));
        const __m128i b = _mm_packus_epi16(_mm_packs_epi32(q, q), _mm_setzero_si128());
        const int32_t word = _mm_cvtsi128_si32(b);
        std::memcpy(d + x * 4, &word, 4);
    }
}

// GCC 12 warns of the undefined vectors inside its own AVX-512 headers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#ifdef VFILTER_HAVE_AVX512
const bool kAvx512 = __builtin_cpu_supports("avx512f");

__attribute__((target("avx512f"))) void ToPremultipliedAvx512(const uint8_t* s, float* d, int count) {
    const __m512 inv = _mm512_set1_ps(1.0f / 255.0f), one = _mm512_set1_ps(1.0f);
    const __mmask16 alphaLanes = 0x8888;
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m512 v = _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x * 4))));
        const __m512 a = _mm512_mul_ps(_mm512_permute_ps(v, 0xFF), inv);
        const __m512 k = _mm512_mul_ps(_mm512_mask_blend_ps(alphaLanes, a, one), inv);
        _mm512_storeu_ps(d + x * 4, _mm512_mul_ps(v, k));
    }
    ToPremultipliedSse(s + x * 4, d + x * 4, count - x);
}

__attribute__((target("avx512f"))) void FromPremultipliedAvx512(const float* p, uint8_t* d, int count) {
    const __m512 zero = _mm512_setzero_ps(), one = _mm512_set1_ps(1.0f), c255 = _mm512_set1_ps(255.0f),
                 half = _mm512_set1_ps(0.5f);
    const __mmask16 alphaLanes = 0x8888, rgbLanes = 0x7777;
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m512 px = _mm512_loadu_ps(p + x * 4);
        __m512 a = _mm512_permute_ps(px, 0xFF);
        a = _mm512_min_ps(_mm512_max_ps(a, zero), one);
        const __m512 v = _mm512_min_ps(_mm512_max_ps(px, zero), a);
        const __mmask16 visible = _mm512_cmp_ps_mask(_mm512_add_ps(_mm512_mul_ps(a, c255), half), one, _CMP_GE_OQ);
        const __m512 k = _mm512_mask_blend_ps(alphaLanes, _mm512_maskz_div_ps(visible & rgbLanes, c255, a), c255);
        const __m512i q = _mm512_cvttps_epi32(_mm512_add_ps(_mm512_mul_ps(v, k), half));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x * 4), _mm512_cvtusepi32_epi8(q));
    }
    FromPremultipliedSse(p + x * 4, d + x * 4, count - x);
}
#pragma GCC diagnostic pop
#endif
}  // namespace

void PixelsToPremultiplied(const uint8_t* s, float* d, int count) {
#ifdef VFILTER_HAVE_AVX512
    if (kAvx512) return ToPremultipliedAvx512(s, d, count);
#endif
    ToPremultipliedSse(s, d, count);
}

void PixelsFromPremultiplied(const float* p, uint8_t* d, int count) {
#ifdef VFILTER_HAVE_AVX512
    if (kAvx512) return FromPremultipliedAvx512(p, d, count);
#endif
    FromPremultipliedSse(p, d, count);
}
#else
void PixelsToPremultiplied(const uint8_t* s, float* d, int count) {
    for (int x = 0; x < count; ++x) {
        const float a = s[x * 4 + 3] * (1.0f / 255.0f), k = a * (1.0f / 255.0f);
        d[x * 4 + 0] = s[x * 4 + 0] * k;
        d[x * 4 + 1] = s[x * 4 + 1] * k;
        d[x * 4 + 2] = s[x * 4 + 2] * k;
        d[x * 4 + 3] = a;
    }
}

void PixelsFromPremultiplied(const float* p, uint8_t* d, int count) {
    for (int x = 0; x < count; ++x, p += 4, d += 4) {
        float a = p[3] > 0.0f ? p[3] : 0.0f;  // NaN gives 0
        a = a < 1.0f ? a : 1.0f;
        const bool visible = a * 255.0f + 0.5f >= 1.0f;
        const float k = visible ? 255.0f / a : 0.0f;
        for (int c = 0; c < 3; ++c) {
            float v = p[c] > 0.0f ? p[c] : 0.0f;
            v = v < a ? v : a;
            d[c] = uint8_t(int(v * k + 0.5f));
        }
        d[3] = uint8_t(int(a * 255.0f + 0.5f));
    }
}
#endif

void ToPremultiplied(const uint8_t* rgba, int width, int height, FloatImage& out) {
    out.Resize(width, height);
#pragma omp parallel for schedule(dynamic, 8)
    for (int y = 0; y < height; ++y)
        PixelsToPremultiplied(rgba + std::size_t(y) * width * 4, out.Row(y), width);
}

void FromPremultiplied(const FloatImage& in, uint8_t* rgba) {
#pragma omp parallel for schedule(dynamic, 8)
    for (int y = 0; y < in.height; ++y)
        PixelsFromPremultiplied(in.Row(y), rgba + std::size_t(y) * in.width * 4, in.width);
}

void SampleBilinear(const FloatImage& in, float x, float y, bool transparentOutside, float out[4]) {
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    if (!std::isfinite(x) || !std::isfinite(y) || in.width < 1 || in.height < 1) return;
    float fx = x - 0.5f, fy = y - 0.5f;
    if (transparentOutside && (fx < -1.0f || fy < -1.0f || fx > in.width || fy > in.height)) return;
    fx = std::min(std::max(fx, -1.0f), float(in.width));
    fy = std::min(std::max(fy, -1.0f), float(in.height));
    int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    float tx = fx - x0, ty = fy - y0;
    for (int j = 0; j < 2; ++j) {
        int yy = y0 + j;
        float wy = j ? ty : 1.0f - ty;
        bool outY = yy < 0 || yy >= in.height;
        yy = std::min(std::max(yy, 0), in.height - 1);
        for (int i = 0; i < 2; ++i) {
            int xx = x0 + i;
            float w = wy * (i ? tx : 1.0f - tx);
            bool outX = xx < 0 || xx >= in.width;
            if (transparentOutside && (outX || outY)) continue;
            xx = std::min(std::max(xx, 0), in.width - 1);
            const float* p = in.Row(yy) + std::size_t(xx) * 4;
            for (int c = 0; c < 4; ++c) out[c] += w * p[c];
        }
    }
}

}  // namespace vfilter
