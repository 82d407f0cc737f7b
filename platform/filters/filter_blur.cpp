// filter_blur.cpp - the blurs: gaussian (a direct kernel up to sigma 2, where the recursive
// filter is too pointed; above, the recursive filter of Young and van Vliet, whose cost does not
// grow with the radius), box and disc (running sums), motion (running sums along digital lines),
// and bloom, gloom and noise reduction built on the gaussian. Edges repeat the outermost pixel.
// Work is split over rows or column strips; each output value depends on its inputs only, so
// the bytes do not depend on the thread count. Work is handed out in small pieces (dynamic
// schedule), so a thread that the system holds back does not hold up the others.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "filter_kernels.h"

namespace vfilter {
namespace {

// The hot loops are compiled twice, for processors with AVX2 and for any x86-64; the processor
// picks at start. Neither uses FMA, so both give the same bytes.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VFILTER_CLONES __attribute__((target_clones("avx2", "default")))
// The box blur's loops are plain additions, subtractions, conversions and products, which
// AVX-512 computes the same way; the gaussian's are not given it because its bytes change.
#define VFILTER_CLONES_512 __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define VFILTER_CLONES
#define VFILTER_CLONES_512
#endif

constexpr int kStrip = 128;  // floats per column strip: wide enough for the prefetcher, small enough for cache

// ---- direct gaussian for sigma <= 2 ----

std::vector<float> GaussKernel(float sigma, int& radius) {
    radius = std::max(1, int(std::ceil(3.0f * sigma)));
    std::vector<float> k(std::size_t(2 * radius + 1));
    if (sigma < 0.8f) {  // sampling a narrow bell loses its width: three taps of variance sigma^2
        k[0] = k[2] = 0.5f * sigma * sigma;
        k[1] = 1.0f - sigma * sigma;
        return k;
    }
    double sum = 0.0;
    for (int i = -radius; i <= radius; ++i) sum += k[std::size_t(i + radius)] = float(std::exp(-0.5 * i * i / (double(sigma) * sigma)));
    for (float& v : k) v = float(v / sum);
    return k;
}

void FirRows(float* data, int w, int h, int C, const std::vector<float>& k, int R) {
#pragma omp parallel
    {
        std::vector<float> pad(std::size_t(w + 2 * R) * C);
#pragma omp for schedule(dynamic, 8)
        for (int y = 0; y < h; ++y) {
            float* row = data + std::size_t(y) * w * C;
            for (int x = -R; x < w + R; ++x) {
                const float* s = row + std::size_t(std::min(std::max(x, 0), w - 1)) * C;
                for (int c = 0; c < C; ++c) pad[std::size_t(x + R) * C + c] = s[c];
            }
            const int n = w * C;
            for (int i = 0; i < n; ++i) row[i] = 0.0f;
            for (int j = 0; j <= 2 * R; ++j) {
                const float kj = k[std::size_t(j)];
                const float* src = pad.data() + std::size_t(j) * C;
                for (int i = 0; i < n; ++i) row[i] += kj * src[i];
            }
        }
    }
}

void FirCols(float* data, int w, int h, int C, const std::vector<float>& k, int R) {
    const int n = w * C;
    const int strips = (n + kStrip - 1) / kStrip;
#pragma omp parallel
    {
        std::vector<float> pad(std::size_t(h + 2 * R) * kStrip);
#pragma omp for schedule(dynamic, 1)
        for (int s = 0; s < strips; ++s) {
            const int x0 = s * kStrip, sw = std::min(kStrip, n - x0);
            for (int y = -R; y < h + R; ++y) {
                const float* src = data + std::size_t(std::min(std::max(y, 0), h - 1)) * n + x0;
                std::copy(src, src + sw, pad.data() + std::size_t(y + R) * kStrip);
            }
            for (int y = 0; y < h; ++y) {
                float acc[kStrip] = {};
                for (int j = 0; j <= 2 * R; ++j) {
                    const float kj = k[std::size_t(j)];
                    const float* src = pad.data() + std::size_t(y + j) * kStrip;
                    for (int i = 0; i < kStrip; ++i) acc[i] += kj * src[i];
                }
                std::copy(acc, acc + sw, data + std::size_t(y) * n + x0);
            }
        }
    }
}

// ---- recursive gaussian (Young & van Vliet), forward then backward ----

template <typename T>
struct IirT {
    T B, a1, a2, a3;
};
typedef IirT<double> Iir;
// Recursion coefficients in T, with B chosen so that the gain at zero frequency is 1 in T.
template <typename T>
IirT<T> As(const Iir& f) {
    IirT<T> g{T(0), T(f.a1), T(f.a2), T(f.a3)};
    g.B = T(1) - (g.a1 + g.a2 + g.a3);
    return g;
}

Iir IirFromQ(double q) {
    double q2 = q * q, q3 = q2 * q;
    double b0 = 1.57825 + 2.44413 * q + 1.4281 * q2 + 0.422205 * q3;
    double b1 = 2.44413 * q + 2.85619 * q2 + 1.26661 * q3;
    double b2 = -(1.4281 * q2 + 1.26661 * q3);
    double b3 = 0.422205 * q3;
    Iir f;
    f.a1 = b1 / b0;
    f.a2 = b2 / b0;
    f.a3 = b3 / b0;
    f.B = 1.0 - (f.a1 + f.a2 + f.a3);
    return f;
}

// Variance of the forward-backward pair: twice that of the causal filter B / (1 - sum a_k z^-k).
double IirVariance(double q) {
    double q2 = q * q, q3 = q2 * q;
    double b0 = 1.57825 + 2.44413 * q + 1.4281 * q2 + 0.422205 * q3;
    double a1 = (2.44413 * q + 2.85619 * q2 + 1.26661 * q3) / b0, a2 = -(1.4281 * q2 + 1.26661 * q3) / b0,
           a3 = 0.422205 * q3 / b0;
    double B = 1.0 - a1 - a2 - a3;
    double m = (a1 + 2 * a2 + 3 * a3) / B;
    return 2.0 * (m * m + m + (2 * a2 + 6 * a3) / B);
}

// q from the published approximation, refined so the blur's variance is exactly sigma^2.
Iir IirCoefficients(float sigma) {
    const double target = double(sigma) * sigma;
    double lo = 0.05, hi = 2.0 * sigma + 10.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        (IirVariance(mid) < target ? lo : hi) = mid;
    }
    return IirFromQ(0.5 * (lo + hi));
}

// G rows of C channels at once, so the recursions of different rows overlap in the pipeline.
template <typename T, int C, int G>
void IirRowGroup(float* const* rows, int w, const IirT<T>& f) {
    constexpr int N = C * G;
    T w1[N], w2[N], w3[N];
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) w1[g * C + c] = w2[g * C + c] = w3[g * C + c] = rows[g][c];
    for (int x = 0; x < w; ++x) {
        T v[N];
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c) v[g * C + c] = rows[g][std::size_t(x) * C + c];
        for (int i = 0; i < N; ++i) {
            T o = f.B * v[i] + f.a1 * w1[i] + f.a2 * w2[i] + f.a3 * w3[i];
            w3[i] = w2[i];
            w2[i] = w1[i];
            w1[i] = o;
        }
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c) rows[g][std::size_t(x) * C + c] = float(w1[g * C + c]);
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) w2[g * C + c] = w3[g * C + c] = w1[g * C + c];
    for (int x = w - 1; x >= 0; --x) {
        T v[N];
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c) v[g * C + c] = rows[g][std::size_t(x) * C + c];
        for (int i = 0; i < N; ++i) {
            T o = f.B * v[i] + f.a1 * w1[i] + f.a2 * w2[i] + f.a3 * w3[i];
            w3[i] = w2[i];
            w2[i] = w1[i];
            w1[i] = o;
        }
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c) rows[g][std::size_t(x) * C + c] = float(w1[g * C + c]);
    }
}

template <int C>
VFILTER_CLONES void IirGroupPlane(float* data, int w, int h, int y0, IirT<float> f) {
    constexpr int G = C == 1 ? 8 : 4;
    if (y0 + G <= h) {
        float* rows[G];
        for (int g = 0; g < G; ++g) rows[g] = data + std::size_t(y0 + g) * w * C;
        IirRowGroup<float, C, G>(rows, w, f);
    } else {
        for (int y = y0; y < h; ++y) {
            float* row = data + std::size_t(y) * w * C;
            IirRowGroup<float, C, 1>(&row, w, f);
        }
    }
}

template <int C>
void IirRows(float* data, int w, int h, const IirT<float>& f) {
    constexpr int G = C == 1 ? 8 : 4;
    const int groups = (h + G - 1) / G;
#pragma omp parallel for schedule(dynamic, 4)
    for (int gi = 0; gi < groups; ++gi) IirGroupPlane<C>(data, w, h, gi * G, f);
}

// One column strip from x0 in place: forward into fw (h x kStrip), backward into data.
VFILTER_CLONES void IirStripPlane(float* data, float* fw, int n, int h, int x0, IirT<float> f) {
    const int sw = std::min(kStrip, n - x0);
    float edge[kStrip];
    for (int i = 0; i < sw; ++i) edge[i] = data[x0 + i];
    for (int y = 0; y < h; ++y) {
        const float* in = data + std::size_t(y) * n + x0;
        float* o = fw + std::size_t(y) * kStrip;
        const float* p1 = y >= 1 ? o - kStrip : edge;
        const float* p2 = y >= 2 ? o - 2 * kStrip : edge;
        const float* p3 = y >= 3 ? o - 3 * kStrip : edge;
        for (int i = 0; i < sw; ++i) o[i] = f.B * in[i] + f.a1 * p1[i] + f.a2 * p2[i] + f.a3 * p3[i];
    }
    float s1[kStrip], s2[kStrip], s3[kStrip];
    for (int i = 0; i < sw; ++i) s1[i] = s2[i] = s3[i] = fw[std::size_t(h - 1) * kStrip + std::size_t(i)];
    for (int y = h - 1; y >= 0; --y) {
        const float* in = fw + std::size_t(y) * kStrip;
        float* o = data + std::size_t(y) * n + x0;
        for (int i = 0; i < sw; ++i) {
            const float v = f.B * in[i] + f.a1 * s1[i] + f.a2 * s2[i] + f.a3 * s3[i];
            s3[i] = s2[i];
            s2[i] = s1[i];
            s1[i] = v;
            o[i] = v;
        }
    }
}

void IirCols(float* data, int w, int h, int C, const IirT<float>& f) {
    if (h < 1) return;
    const int n = w * C;
    const int strips = (n + kStrip - 1) / kStrip;
#pragma omp parallel
    {
        std::vector<float> fw(std::size_t(h) * kStrip);  // forward results of one strip
#pragma omp for schedule(dynamic, 1)
        for (int s = 0; s < strips; ++s) IirStripPlane(data, fw.data(), n, h, s * kStrip, f);
    }
}

// ---- disc: a stepped circle of K centred rectangles ----

struct Step {
    int w, h;  // half sizes
};

std::vector<Step> DiscSteps(float r) {
    const int R = int(std::lround(r));
    const int K = std::min(std::max(int(std::lround(r / 2.0f)), 1), 6);
    std::vector<Step> steps;
    int prev = -1;
    for (int k = 0; k < K; ++k) {
        int wk = int(std::lround(double(R) * (k + 1) / K));
        if (wk <= prev) continue;
        double d = k == 0 ? wk * 0.5 : (prev + 1 + wk) * 0.5;
        int hk = int(std::floor(std::sqrt(std::max(0.0, double(r) * r - d * d)) + 0.5));
        if (!steps.empty()) hk = std::min(hk, steps.back().h);
        steps.push_back({wk, hk});
        prev = wk;
    }
    return steps;
}

// Output row y of the disc blur, from the column sums.
VFILTER_CLONES void DiscRow(const float* cs, const float* top, const float* bottom, const Step* steps, int K, double inv,
                            double* prefix, float* vrow, double* acc, uint8_t* rgba, int w, int h, int y) {
    const int n = w * 4;
    for (int k = 0; k < K; ++k) {
        const int hk = steps[k].h;
        const int lo = std::max(y - hk, 0), hi = std::min(y + hk, h - 1);
        const float below = float(std::max(0, hk - y)), above = float(std::max(0, y + hk - (h - 1)));
        const float* chi = cs + std::size_t(hi) * n;
        const float* clo = lo > 0 ? cs + std::size_t(lo - 1) * n : nullptr;
        for (int i = 0; i < n; ++i)
            vrow[i] = chi[i] - (clo ? clo[i] : 0.0f) + below * top[i] + above * bottom[i];
        double* P = prefix + std::size_t(k) * (w + 1) * 4;
        P[0] = P[1] = P[2] = P[3] = 0.0;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) P[(x + 1) * 4 + c] = P[x * 4 + c] + vrow[x * 4 + c];
    }
    for (int i = 0; i < n; ++i) acc[i] = 0.0;
    for (int k = 0; k < 2 * K - 1; ++k) {
        // Rectangle k / 2 when k is even; the overlap of k / 2 and k / 2 + 1 when odd.
        const int wi = k / 2;
        const int hi = (k & 1) ? wi + 1 : wi;
        const double sign = (k & 1) ? -1.0 : 1.0;
        const int hw = steps[wi].w;
        const double* P = prefix + std::size_t(hi) * (w + 1) * 4;
        const double* last = P + std::size_t(w) * 4;  // sum of the whole row
        // Inside, no clamping: one run over contiguous values. There is no inside when the
        // rectangle is wider than the row; then no pointer into it may even be formed.
        const int xa = std::min(hw, w), xb = std::max(xa, w - hw);
        if (xb > xa) {
            const double* hiP = P + std::size_t(xa + hw + 1) * 4;
            const double* loP = P + std::size_t(xa - hw) * 4;
            double* a = acc + std::size_t(xa) * 4;
            const int m = (xb - xa) * 4;
            for (int i = 0; i < m; ++i) a[i] += sign * (hiP[i] - loP[i]);
        }
        for (int x = 0; x < w; ++x) {
            if (x == xa) x = xb;
            if (x >= w) break;
            const int l = x - hw, r = x + hw;
            const int lc = std::max(l, 0), rc = std::min(r, w - 1);
            const double left = double(std::max(0, -l)), right = double(std::max(0, r - (w - 1)));
            for (int c = 0; c < 4; ++c) {
                const double first = P[4 + c];                               // pixel 0
                const double lastPx = last[c] - P[std::size_t(w - 1) * 4 + c];  // pixel w - 1
                acc[std::size_t(x) * 4 + c] += sign * (P[std::size_t(rc + 1) * 4 + c] - P[std::size_t(lc) * 4 + c] +
                                                      left * first + right * lastPx);
            }
        }
    }
    for (int i = 0; i < n; ++i) vrow[i] = float(acc[i] * inv);
    PixelsFromPremultiplied(vrow, rgba + std::size_t(y) * n, w);
}

void DiscBlurBytes(uint8_t* rgba, int w, int h, float r) {
    const int n = w * 4;
    const std::vector<Step> steps = DiscSteps(r);
    const int K = int(steps.size());
    // Column sums of premultiplied colour: cs[y] = sum of rows 0..y; rows beyond the picture
    // repeat the edge rows.
    std::vector<float> top(static_cast<std::size_t>(n)), bottom(static_cast<std::size_t>(n));
    PixelsToPremultiplied(rgba, top.data(), w);
    PixelsToPremultiplied(rgba + std::size_t(h - 1) * n, bottom.data(), w);
    std::unique_ptr<float[]> sums(new float[std::size_t(n) * h]);  // every value is written below
    float* const cs = sums.get();
#pragma omp parallel for schedule(dynamic, 8)
    for (int y = 0; y < h; ++y) PixelsToPremultiplied(rgba + std::size_t(y) * n, cs + std::size_t(y) * n, w);
    const int strips = (n + kStrip - 1) / kStrip;
#pragma omp parallel for schedule(dynamic, 1)
    for (int s = 0; s < strips; ++s) {
        const int x0 = s * kStrip, sw = std::min(kStrip, n - x0);
        for (int y = 1; y < h; ++y) {
            float* o = cs + std::size_t(y) * n + x0;
            const float* p = o - n;
            for (int i = 0; i < sw; ++i) o[i] += p[i];
        }
    }
    double area = 0.0;
    for (int k = 0; k < K; ++k) {
        area += double(2 * steps[k].w + 1) * (2 * steps[k].h + 1);
        if (k + 1 < K) area -= double(2 * steps[k].w + 1) * (2 * steps[k + 1].h + 1);
    }
    const double inv = 1.0 / area;
#pragma omp parallel
    {
        std::vector<double> prefix(std::size_t(K) * (w + 1) * 4);
        std::vector<float> vrow(static_cast<std::size_t>(n));
        std::vector<double> acc(static_cast<std::size_t>(n));
#pragma omp for schedule(dynamic, 8)
        for (int y = 0; y < h; ++y)
            DiscRow(cs, top.data(), bottom.data(), steps.data(), K, inv, prefix.data(), vrow.data(), acc.data(), rgba, w, h, y);
    }
}

// ---- motion: running sums along digital lines ----

void MotionBlurBytes(uint8_t* rgba, int w, int h, float r, float angle) {
    const double cs = std::cos(double(angle)), sn = -std::sin(double(angle));  // y grows downwards
    const bool alongX = std::fabs(cs) >= std::fabs(sn);
    // Lines run along u (x or y); v (y or x) = line + round(u * slope).
    const int U = alongX ? w : h, V = alongX ? h : w;
    const double slope = alongX ? sn / cs : cs / sn;
    // Past twice the picture's size the window only adds repeated edge pixels: the cap keeps
    // the cost bounded for any radius.
    const double reach = std::min(double(r) * (alongX ? std::fabs(cs) : std::fabs(sn)), 2.0 * (double(w) + h));
    const int R = int(std::lround(reach));
    std::vector<int> offs(std::size_t(U + 2 * R + 2));
    bool flat = true;
    for (int u = -R - 1; u <= U + R; ++u) {
        offs[std::size_t(u + R + 1)] = int(std::floor(u * slope + 0.5));
        flat = flat && offs[std::size_t(u + R + 1)] == 0;
    }
    const double k = 1.0 / (2 * R + 1);
    const int n = w * 4;
    if (flat && alongX) {
        // Horizontal lines are the rows: each row on its own, from bytes to bytes.
#pragma omp parallel
        {
            std::vector<float> src(static_cast<std::size_t>(n)), out(static_cast<std::size_t>(n));
#pragma omp for schedule(dynamic, 8)
            for (int y = 0; y < h; ++y) {
                uint8_t* row = rgba + std::size_t(y) * n;
                PixelsToPremultiplied(row, src.data(), w);
                auto at = [&](int x) { return src.data() + std::size_t(std::min(std::max(x, 0), w - 1)) * 4; };
                double sum[4] = {0, 0, 0, 0};
                for (int j = -R; j <= R; ++j)
                    for (int c = 0; c < 4; ++c) sum[c] += at(j)[c];
                for (int x = 0; x < w; ++x) {
                    const float* add = at(x + R + 1);
                    const float* sub = at(x - R);
                    for (int c = 0; c < 4; ++c) {
                        out[std::size_t(x) * 4 + c] = float(sum[c] * k);
                        sum[c] += double(add[c]) - double(sub[c]);
                    }
                }
                PixelsFromPremultiplied(out.data(), row, w);
            }
        }
        return;
    }
    FloatImage in;
    ToPremultiplied(rgba, w, h, in);
    const int* offAt = offs.data() + R + 1;
    auto off = [offAt](int u) { return offAt[u]; };
    const int dEnd = off(U - 1);
    const int lineMin = -std::max(0, dEnd), lineMax = V - 1 - std::min(0, dEnd);
#pragma omp parallel for schedule(dynamic, 16)
    for (int line = lineMin; line <= lineMax; ++line) {
        auto px = [&](int u) {
            const int v = std::min(std::max(line + off(u), 0), V - 1);
            const int uc = std::min(std::max(u, 0), U - 1);
            return alongX ? in.Row(v) + std::size_t(uc) * 4 : in.Row(uc) + std::size_t(v) * 4;
        };
        int u0 = 0;
        while (u0 < U && (line + off(u0) < 0 || line + off(u0) >= V)) ++u0;
        if (u0 == U) continue;
        double sum[4] = {0, 0, 0, 0};
        for (int j = -R; j <= R; ++j) {
            const float* p = px(u0 + j);
            for (int c = 0; c < 4; ++c) sum[c] += p[c];
        }
        for (int u = u0; u < U; ++u) {
            const int v = line + off(u);
            if (v < 0 || v >= V) break;
            float o[4];
            for (int c = 0; c < 4; ++c) o[c] = float(sum[c] * k);
            PixelsFromPremultiplied(o, rgba + (alongX ? std::size_t(v) * w + u : std::size_t(u) * w + v) * 4, 1);
            const float* add = px(u + R + 1);
            const float* sub = px(u - R);
            for (int c = 0; c < 4; ++c) sum[c] += double(add[c]) - double(sub[c]);
        }
    }
}

// ---- the gaussian from bytes to bytes, without a whole float picture in between ----

// Rows y0 .. y0 + 3 (fewer at the bottom): bytes to premultiplied floats, then the recursion.
VFILTER_CLONES void IirGroupFromBytes(const uint8_t* rgba, float* data, int w, int h, int y0, IirT<float> f) {
    constexpr int G = 4;
    const int n = w * 4, y1 = std::min(y0 + G, h);
    for (int y = y0; y < y1; ++y) PixelsToPremultiplied(rgba + std::size_t(y) * n, data + std::size_t(y) * n, w);
    if (y1 - y0 == G) {
        float* rows[G];
        for (int g = 0; g < G; ++g) rows[g] = data + std::size_t(y0 + g) * n;
        IirRowGroup<float, 4, G>(rows, w, f);
    } else {
        for (int y = y0; y < y1; ++y) {
            float* row = data + std::size_t(y) * n;
            IirRowGroup<float, 4, 1>(&row, w, f);
        }
    }
}

// One column strip from x0: forward into fw (h x kStrip), backward into bytes.
VFILTER_CLONES void IirStripToBytes(const float* data, float* fw, uint8_t* rgba, int n, int h, int x0, IirT<float> f) {
    const int sw = std::min(kStrip, n - x0);
    float edge[kStrip];
    for (int i = 0; i < sw; ++i) edge[i] = data[x0 + i];
    for (int y = 0; y < h; ++y) {
        const float* in = data + std::size_t(y) * n + x0;
        float* o = fw + std::size_t(y) * kStrip;
        const float* p1 = y >= 1 ? o - kStrip : edge;
        const float* p2 = y >= 2 ? o - 2 * kStrip : edge;
        const float* p3 = y >= 3 ? o - 3 * kStrip : edge;
        for (int i = 0; i < sw; ++i) o[i] = f.B * in[i] + f.a1 * p1[i] + f.a2 * p2[i] + f.a3 * p3[i];
    }
    float s1[kStrip], s2[kStrip], s3[kStrip], out[kStrip];
    for (int i = 0; i < sw; ++i) s1[i] = s2[i] = s3[i] = fw[std::size_t(h - 1) * kStrip + std::size_t(i)];
    for (int y = h - 1; y >= 0; --y) {
        const float* in = fw + std::size_t(y) * kStrip;
        for (int i = 0; i < sw; ++i) {
            out[i] = f.B * in[i] + f.a1 * s1[i] + f.a2 * s2[i] + f.a3 * s3[i];
            s3[i] = s2[i];
            s2[i] = s1[i];
            s1[i] = out[i];
        }
        PixelsFromPremultiplied(out, rgba + std::size_t(y) * n + x0, sw / 4);
    }
}

// The direct kernel from bytes to bytes: rows into one float picture, columns back to bytes.
VFILTER_CLONES void FirRowFromBytes(const uint8_t* rgba, float* pad, float* data, int w, int y, const float* k, int R) {
    const int n = w * 4;
    PixelsToPremultiplied(rgba + std::size_t(y) * n, pad + std::size_t(R) * 4, w);
    for (int x = 0; x < R; ++x)
        for (int c = 0; c < 4; ++c) {
            pad[std::size_t(x) * 4 + c] = pad[std::size_t(R) * 4 + c];
            pad[std::size_t(R + w + x) * 4 + c] = pad[std::size_t(R + w - 1) * 4 + c];
        }
    float* row = data + std::size_t(y) * n;
    for (int i = 0; i < n; ++i) row[i] = 0.0f;
    for (int j = 0; j <= 2 * R; ++j) {
        const float kj = k[j];
        const float* src = pad + std::size_t(j) * 4;
        for (int i = 0; i < n; ++i) row[i] += kj * src[i];
    }
}

// Output row y from the 2R + 1 rows around it, read whole (the prefetcher follows rows).
VFILTER_CLONES void FirRowToBytes(const float* data, float* acc, uint8_t* rgba, int n, int h, int y, const float* k, int R) {
    for (int i = 0; i < n; ++i) acc[i] = 0.0f;
    for (int j = 0; j <= 2 * R; ++j) {
        const float kj = k[j];
        const float* src = data + std::size_t(std::min(std::max(y + j - R, 0), h - 1)) * n;
        for (int i = 0; i < n; ++i) acc[i] += kj * src[i];
    }
    PixelsFromPremultiplied(acc, rgba + std::size_t(y) * n, n / 4);
}

void FirBytes(uint8_t* rgba, int w, int h, float sigma) {
    int R;
    const std::vector<float> k = GaussKernel(sigma, R);
    const int n = w * 4;
    std::unique_ptr<float[]> mid(new float[std::size_t(n) * h]);  // every value is written below
    float* data = mid.get();
#pragma omp parallel
    {
        std::vector<float> pad(std::size_t(w + 2 * R) * 4);
#pragma omp for schedule(dynamic, 8)
        for (int y = 0; y < h; ++y) FirRowFromBytes(rgba, pad.data(), data, w, y, k.data(), R);
    }
#pragma omp parallel
    {
        std::vector<float> acc(static_cast<std::size_t>(n));
#pragma omp for schedule(dynamic, 8)
        for (int y = 0; y < h; ++y) FirRowToBytes(data, acc.data(), rgba, n, h, y, k.data(), R);
    }
}

void GaussianBlurBytes(uint8_t* rgba, int w, int h, float sigma) {
    if (!(sigma > 0.0f)) return;
    sigma = std::min(sigma, 4000.0f);
    if (sigma <= 2.0f) {
        FirBytes(rgba, w, h, sigma);
        return;
    }
    const IirT<float> f = As<float>(IirCoefficients(sigma));
    const int n = w * 4;
    std::unique_ptr<float[]> mid(new float[std::size_t(n) * h]);  // every value is written below
    float* data = mid.get();
    constexpr int G = 4;
    const int groups = (h + G - 1) / G;
#pragma omp parallel for schedule(dynamic, 4)
    for (int gi = 0; gi < groups; ++gi) IirGroupFromBytes(rgba, data, w, h, gi * G, f);
    const int strips = (n + kStrip - 1) / kStrip;
#pragma omp parallel
    {
        std::vector<float> fw(std::size_t(h) * kStrip);
#pragma omp for schedule(dynamic, 1)
        for (int s = 0; s < strips; ++s) IirStripToBytes(data, fw.data(), rgba, n, h, s * kStrip, f);
    }
}

// Box blur from bytes to bytes: running sums along rows into one float picture, then down
// column strips straight back to bytes.
VFILTER_CLONES void BoxRowFromBytes(const uint8_t* rgba, float* src, float* data, int w, int y, int R) {
    const int n = w * 4, farX = std::min(R, w - 1);
    const float k = 1.0f / float(2 * R + 1);
    PixelsToPremultiplied(rgba + std::size_t(y) * n, src, w);
    const float* last = src + n - 4;
    double sum[4];
    for (int c = 0; c < 4; ++c) {
        double t = double(R + 1) * src[c] + double(R - farX) * last[c];
        for (int x = 1; x <= farX; ++x) t += src[std::size_t(x) * 4 + c];
        sum[c] = t;
    }
    float* o = data + std::size_t(y) * n;
    for (int x = 0; x < w; ++x) {
        const float* add = src + std::size_t(std::min(x + R + 1, w - 1)) * 4;
        const float* sub = src + std::size_t(std::max(x - R, 0)) * 4;
        for (int c = 0; c < 4; ++c) {
            o[x * 4 + c] = float(sum[c]) * k;
            sum[c] += double(add[c]) - double(sub[c]);
        }
    }
}

VFILTER_CLONES void BoxStripToBytes(const float* data, uint8_t* rgba, int n, int h, int x0, int R) {
    const int sw = std::min(kStrip, n - x0), farY = std::min(R, h - 1);
    const float k = 1.0f / float(2 * R + 1);
    auto row = [&](int y) { return data + std::size_t(std::min(std::max(y, 0), h - 1)) * n + x0; };
    double sum[kStrip];
    float out[kStrip];
    for (int i = 0; i < sw; ++i) {
        double t = double(R + 1) * row(0)[i] + double(R - farY) * row(h - 1)[i];
        for (int y = 1; y <= farY; ++y) t += row(y)[i];
        sum[i] = t;
    }
    for (int y = 0; y < h; ++y) {
        const float* add = row(y + R + 1);
        const float* sub = row(y - R);
        for (int i = 0; i < sw; ++i) out[i] = float(sum[i]) * k;
        for (int i = 0; i < sw; ++i) sum[i] += double(add[i]) - double(sub[i]);
        PixelsFromPremultiplied(out, rgba + std::size_t(y) * n + x0, sw / 4);
    }
}

void BoxBlurBytes(uint8_t* rgba, int w, int h, int R) {
    const int n = w * 4;
    std::unique_ptr<float[]> mid(new float[std::size_t(n) * h]);  // every value is written below
    float* data = mid.get();
#pragma omp parallel
    {
        std::vector<float> src(static_cast<std::size_t>(n));
#pragma omp for schedule(dynamic, 8)
        for (int y = 0; y < h; ++y) BoxRowFromBytes(rgba, src.data(), data, w, y, R);
    }
    const int strips = (n + kStrip - 1) / kStrip;
#pragma omp parallel for schedule(dynamic, 1)
    for (int s = 0; s < strips; ++s) BoxStripToBytes(data, rgba, n, h, s * kStrip, R);
}

// Box blur from src to a disjoint dst in one pass per column strip: the strip's row sums are
// made from the bytes as the strip walks down (into a ring of the 2R + 2 rows the column sums
// need), so no full-size float picture is written and read back. Gives the bytes of
// BoxBlurBytes: its column sums run in the same order, and a row sum started anywhere along
// the row equals the one run from the row's start, because both are exact. Every premultiplied
// value is a float of at least 2^-17 (or 0), a multiple of 2^-40, and the 2R + 1 <= 2^8 terms
// of a sum stay below 2^8: 48 bits, within a double's 53.
constexpr int kBoxFastRadius = 64;

// Four channels of a pixel as one vector (the compiler's vector extension, lowered to what the
// clone's processor has). Internal helpers pass them by value, hence no ABI warning needed.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double Double4 __attribute__((vector_size(32)));
typedef float Float4 __attribute__((vector_size(16)));

// The row sums of pixels x0 .. x0 + sw - 1 of one row, times k, into out. pre receives the
// premultiplied pixels x0 - R .. x0 + sw + R + 1, edges repeated, so no index needs a clamp.
VFILTER_CLONES_512 void BoxRowSegment(const uint8_t* row, float* pre, float* out, int w, int x0, int sw, int R, float k) {
    const int first = x0 - R, span = sw + 2 * R + 2;
    const int lo = std::max(first, 0), hi = std::min(first + span - 1, w - 1);
    PixelsToPremultiplied(row + std::size_t(lo) * 4, pre + std::size_t(lo - first) * 4, hi - lo + 1);
    for (int i = 0; i < lo - first; ++i) std::memcpy(pre + i * 4, pre + (lo - first) * 4, 16);
    for (int i = hi - first + 1; i < span; ++i) std::memcpy(pre + i * 4, pre + (hi - first) * 4, 16);
    auto at = [pre](int i) {
        Float4 v;
        std::memcpy(&v, pre + std::size_t(i) * 4, 16);
        return __builtin_convertvector(v, Double4);
    };
    Double4 sum = {0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i <= 2 * R; ++i) sum += at(i);
    // Two running sums, for even and odd x, each stepping two pixels at a time: half the chain
    // of dependent additions, and the same exact values.
    Double4 next = sum + (at(2 * R + 1) - at(0));
    const Float4 kk = {k, k, k, k};
    auto put = [out, kk](int x, Double4 v) {
        const Float4 f = __builtin_convertvector(v, Float4) * kk;
        std::memcpy(out + std::size_t(x) * 4, &f, 16);
    };
    int x = 0;
    for (; x + 1 < sw; x += 2) {
        put(x, sum);
        put(x + 1, next);
        const Double4 d0 = at(x + 2 * R + 1) - at(x), d1 = at(x + 2 * R + 2) - at(x + 1),
                      d2 = at(x + 2 * R + 3) - at(x + 2);
        sum += d0 + d1;
        next += d1 + d2;
    }
    if (x < sw) put(x, sum);
}

VFILTER_CLONES_512 void BoxStripFrom(const uint8_t* src, uint8_t* dst, int w, int h, int x0, int strip, int R,
                                 float* ring, float* pre, double* sum, float* out) {
    const int sw = std::min(strip, w - x0), n = sw * 4, farY = std::min(R, h - 1), M = 2 * R + 2;
    const float k = 1.0f / float(2 * R + 1);
    auto slot = [&](int y) { return ring + std::size_t(y % M) * n; };
    auto row = [&](int y) { return slot(std::min(std::max(y, 0), h - 1)); };
    auto make = [&](int y) { BoxRowSegment(src + std::size_t(y) * w * 4, pre, slot(y), w, x0, sw, R, k); };
    for (int y = 0; y <= farY; ++y) make(y);
    for (int i = 0; i < n; ++i) {
        double t = double(R + 1) * row(0)[i] + double(R - farY) * row(h - 1)[i];
        for (int y = 1; y <= farY; ++y) t += row(y)[i];
        sum[i] = t;
    }
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < n; ++i) out[i] = float(sum[i]) * k;
        // Row y + R + 1 goes where row y - R - 1 was, which no sum needs any more.
        if (y + R + 1 <= h - 1) make(y + R + 1);
        const float* add = row(y + R + 1);
        const float* sub = row(y - R);
        for (int i = 0; i < n; ++i) sum[i] += double(add[i]) - double(sub[i]);
        PixelsFromPremultiplied(out, dst + (std::size_t(y) * w + x0) * 4, sw);
    }
}

void BoxBlurFrom(const uint8_t* src, uint8_t* dst, int w, int h, int R) {
    const int strip = R <= 16 ? 64 : 128;  // pixels: the row sums' start costs 2R + 1 terms per strip
    const int strips = (w + strip - 1) / strip;
#pragma omp parallel
    {
        std::vector<float> ring(std::size_t(2 * R + 2) * strip * 4), pre(std::size_t(strip + 2 * R + 4) * 4),
            out(std::size_t(strip) * 4);
        std::vector<double> sum(std::size_t(strip) * 4);
#pragma omp for schedule(dynamic, 1)
        for (int s = 0; s < strips; ++s)
            BoxStripFrom(src, dst, w, h, s * strip, strip, R, ring.data(), pre.data(), sum.data(), out.data());
    }
}

// Blends each colour channel of the picture with the same channel of its gaussian blur:
// out = body(source, blurred), all straight colour 0..1; alpha stays the source's. The blur is
// done on premultiplied colour, so transparent neighbours do not darken it. Both inputs are
// bytes, so body is tabulated once for every pair.
template <typename F>
void BlendWithBlur(uint8_t* rgba, int width, int height, float sigma, F body) {
    const long n = long(width) * height;
    std::vector<uint8_t> blurred(rgba, rgba + n * 4);
    GaussianBlurBytes(blurred.data(), width, height, sigma);
    std::vector<uint8_t> table(256 * 256);  // [source][blurred]
#pragma omp parallel for schedule(dynamic, 16)
    for (int sv = 0; sv < 256; ++sv)
        for (int bv = 0; bv < 256; ++bv) table[std::size_t(sv) * 256 + bv] = ToByte(body(sv / 255.0f, bv / 255.0f));
#pragma omp parallel for schedule(dynamic, 16384)
    for (long i = 0; i < n; ++i) {
        uint8_t* d = rgba + i * 4;
        const uint8_t* b = blurred.data() + i * 4;
        const uint8_t keep = d[3] ? 0xFF : 0;
        for (int c = 0; c < 3; ++c) d[c] = table[std::size_t(d[c]) * 256 + b[c]] & keep;
    }
}

float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

}  // namespace

void GaussianBlurPlane(float* data, int width, int height, int channels, float sigma) {
    if (!(sigma > 0.0f) || !data || width < 1 || height < 1) return;
    sigma = std::min(sigma, 4000.0f);
    if (sigma <= 2.0f) {
        int R;
        std::vector<float> k = GaussKernel(sigma, R);
        FirRows(data, width, height, channels, k, R);
        FirCols(data, width, height, channels, k, R);
        return;
    }
    const IirT<float> f = As<float>(IirCoefficients(sigma));
    if (channels == 1)
        IirRows<1>(data, width, height, f);
    else
        IirRows<4>(data, width, height, f);
    IirCols(data, width, height, channels, f);
}

void GaussianBlurImage(FloatImage& img, float sigma) {
    GaussianBlurPlane(img.px.data(), img.width, img.height, 4, sigma);
}

void CIGaussianBlur(uint8_t* rgba, int width, int height, const Params& p) {
    GaussianBlurBytes(rgba, width, height, p.Get("inputRadius", 10.0f));
}

namespace {
// The radius of a box blur run, 0 when the picture stays as it is.
int BoxRadius(const Params& p) {
    const float r = std::min(p.Get("inputRadius", 10.0f), 100000.0f);
    return r >= 0.5f ? int(std::lround(r)) : 0;
}
}  // namespace

void CIBoxBlur(uint8_t* rgba, int width, int height, const Params& p) {
    const int R = BoxRadius(p);
    if (R > kBoxFastRadius) {
        BoxBlurBytes(rgba, width, height, R);
    } else if (R > 0) {
        const std::vector<uint8_t> src(rgba, rgba + std::size_t(width) * height * 4);
        BoxBlurFrom(src.data(), rgba, width, height, R);
    }
}

void CIBoxBlurFrom(const uint8_t* src, uint8_t* dst, int width, int height, const Params& p) {
    const int R = BoxRadius(p);
    if (R > 0 && R <= kBoxFastRadius) {
        BoxBlurFrom(src, dst, width, height, R);
        return;
    }
    std::memcpy(dst, src, std::size_t(width) * height * 4);
    if (R > 0) BoxBlurBytes(dst, width, height, R);
}

void CIDiscBlur(uint8_t* rgba, int width, int height, const Params& p) {
    const float r = std::min(p.Get("inputRadius", 8.0f), 100000.0f);
    if (!(r >= 0.5f)) return;
    DiscBlurBytes(rgba, width, height, r);
}

void CIMotionBlur(uint8_t* rgba, int width, int height, const Params& p) {
    const float r = std::min(p.Get("inputRadius", 20.0f), 100000.0f);
    const float angle = p.Get("inputAngle", 0.0f);
    if (!(r >= 0.5f)) return;
    MotionBlurBytes(rgba, width, height, r, angle);
}

void CIBloom(uint8_t* rgba, int width, int height, const Params& p) {
    const float radius = p.Get("inputRadius", 10.0f);
    const float k = Clamp01(p.Get("inputIntensity", 1.0f));
    BlendWithBlur(rgba, width, height, radius, [k](float s, float b) {
        const float g = k * b;
        return s + g - s * g;  // screen
    });
}

void CIGloom(uint8_t* rgba, int width, int height, const Params& p) {
    const float radius = p.Get("inputRadius", 10.0f);
    const float k = Clamp01(p.Get("inputIntensity", 1.0f));
    BlendWithBlur(rgba, width, height, radius, [k](float s, float b) {
        return s * (1.0f - k + k * b);  // multiply, k of the way
    });
}

void CINoiseReduction(uint8_t* rgba, int width, int height, const Params& p) {
    const float level = std::max(p.Get("inputNoiseLevel", 0.02f), 0.0f);
    const float sharp = std::min(std::max(p.Get("inputSharpness", 0.4f), 0.0f), 100.0f);
    BlendWithBlur(rgba, width, height, 1.0f, [level, sharp](float s, float b) {
        const float d = s - b;
        const float t = std::fabs(d);
        // Differences below the noise level fade out quadratically; the rest is kept and
        // sharpened by the given amount.
        const float keep = t >= level ? 1.0f : (t / level) * (t / level);
        return b + d * keep * (1.0f + sharp);
    });
}

}  // namespace vfilter
