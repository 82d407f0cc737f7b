// filter_image.cpp - the values of a run, the premultiplied float picture and its sampling.
#include <algorithm>
#include <cmath>
#include <cstring>

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

void ToPremultiplied(const uint8_t* rgba, int width, int height, FloatImage& out) {
    out.Resize(width, height);
    const size_t n = std::size_t(width) * height;
    float* d = out.px.data();
#pragma omp parallel for schedule(static)
    for (long i = 0; i < long(n); ++i) {
        const uint8_t* s = rgba + std::size_t(i) * 4;
        float a = s[3] * (1.0f / 255.0f);
        float k = a * (1.0f / 255.0f);
        d[i * 4 + 0] = s[0] * k;
        d[i * 4 + 1] = s[1] * k;
        d[i * 4 + 2] = s[2] * k;
        d[i * 4 + 3] = a;
    }
}

void FromPremultiplied(const FloatImage& in, uint8_t* rgba) {
    const long n = long(in.width) * in.height;
    const float* s = in.px.data();
#pragma omp parallel for schedule(static)
    for (long i = 0; i < n; ++i) {
        const float* p = s + i * 4;
        uint8_t* d = rgba + i * 4;
        float a = p[3];
        if (!(a > 0.0f)) a = 0.0f;  // NaN and negatives
        if (a > 1.0f) a = 1.0f;
        int a8 = int(a * 255.0f + 0.5f);
        if (a8 == 0) {
            d[0] = d[1] = d[2] = d[3] = 0;
            continue;
        }
        const float k = 255.0f / a;
        for (int c = 0; c < 3; ++c) {
            float v = p[c];
            if (!(v > 0.0f)) v = 0.0f;
            if (v > a) v = a;
            d[c] = uint8_t(v * k + 0.5f);
        }
        d[3] = uint8_t(a8);
    }
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
