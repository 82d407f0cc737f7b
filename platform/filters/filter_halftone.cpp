// filter_halftone.cpp - the CMYK halftone and the dot, line and circular screens.
//
// A screen is a threshold pattern s(x, y) in 0..1 with period inputWidth px. The tone v (the
// luminance, or for the halftone each ink's amount) is compared with it:
//   out = clamp((v - s') / t + 0.5, 0, 1),  s' = s (1 - t) + t / 2,
//   t = max(1 - inputSharpness, min(1, 1.5 / inputWidth))
// so t is the width of the soft edge (at least about one pixel, for antialiasing), tone 1 gives
// exactly 1 and tone 0 exactly 0 everywhere (white stays white, black stays black), and
// sharpness 0 passes the tone through unscreened. The screens' cosines come from a short
// polynomial that the compiler vectorises.
//
// Luminance weights are Rec. 709 on the straight colour (0.2126 R + 0.7152 G + 0.0722 B); the
// pixel's alpha is kept, and a transparent pixel stays 0,0,0,0.
#include <cmath>
#include <vector>

#include "filter_kernels.h"
#include "filter_sampling.h"

namespace vfilter {
namespace {

// cos(2 pi t), error below 4e-6 for |t| < 2^22 (and finite beyond). t - ti lies in 0..1, so
// the polynomial's argument z stays within -1/4..1/4.
inline float CosTurn(float t) {
    const float ti = geo::RoundEven(t - 0.5f);
    const float z = 0.25f - std::fabs(t - ti - 0.5f);  // cos(2 pi t) = -sin(2 pi z)
    const float a = 6.283185307f * z;
    const float a2 = a * a;
    const float s = a * (1.0f + a2 * (-1.0f / 6 + a2 * (1.0f / 120 + a2 * (-1.0f / 5040 + a2 * (1.0f / 362880)))));
    return -s;
}

struct Screen {
    float cx, cy;     // centre, picture pixels
    float cosA, sinA;
    float inv;        // 1 / period
    float t;          // soft-edge width
    float k0, k1;     // s' = k0 + k1 s
};

Screen MakeScreen(const Params& p, int w, int h, float angle, float defaultSharpness) {
    Screen s;
    s.cx = geo::ClampCentre(p.CenterX(w));
    s.cy = geo::ClampCentre(p.CenterY(h));
    float period = p.Get("inputWidth", 6.0f);
    period = geo::Clamp(period, 1.0f, 1.0e7f);
    s.cosA = std::cos(angle);
    s.sinA = std::sin(angle);
    s.inv = 1.0f / period;
    const float sharp = geo::Clamp(p.Get("inputSharpness", defaultSharpness), 0.0f, 1.0f);
    s.t = std::max(1.0f - sharp, std::min(1.0f, 1.5f / period));
    s.k1 = 1.0f - s.t;
    s.k0 = 0.5f * s.t;
    return s;
}

inline float Threshold(const Screen& s, float v, float pattern) {
    const float sp = s.k0 + s.k1 * pattern;
    return geo::Clamp((v - sp) / s.t + 0.5f, 0.0f, 1.0f);
}

// The screen's frame coordinates of pixel (0, y) and their steps per pixel in x, in periods:
// u along the angle, v across it (y up, angles counter-clockwise on screen).
inline void FrameRow(const Screen& s, int y, float& u0, float& v0, float& du, float& dv) {
    const double X = 0.5 - s.cx, Y = s.cy - (y + 0.5);
    // The patterns repeat every period, so whole periods are dropped to keep phases small.
    u0 = float(std::remainder((X * s.cosA + Y * s.sinA) * s.inv, 1.0));
    v0 = float(std::remainder((-X * s.sinA + Y * s.cosA) * s.inv, 1.0));
    du = s.cosA * s.inv;
    dv = -s.sinA * s.inv;
}

inline float Luma(const uint8_t* px) {
    return (0.2126f * px[0] + 0.7152f * px[1] + 0.0722f * px[2]) * (1.0f / 255.0f);
}

// 0..1 (already in range) to a byte, rounded; no clamp so that the loops vectorise.
inline uint8_t UnitToByte(float v) { return uint8_t(v * 255.0f + 0.5f); }

enum class Pattern { Dots, Lines, Rings };

void RunScreen(uint8_t* rgba, int w, int h, const Params& p, Pattern kind) {
    const Screen s = MakeScreen(p, w, h, p.Get("inputAngle", 0.0f), 0.7f);
#pragma omp parallel
    {
        std::vector<float> pat(w);
#pragma omp for schedule(static)
        for (int y = 0; y < h; ++y) {
            float u0, v0, du, dv;
            FrameRow(s, y, u0, v0, du, dv);
            if (kind == Pattern::Dots) {
                for (int x = 0; x < w; ++x)
                    pat[x] = 0.5f + 0.25f * (CosTurn(u0 + x * du) + CosTurn(v0 + x * dv));
            } else if (kind == Pattern::Lines) {
                for (int x = 0; x < w; ++x) pat[x] = 0.5f + 0.5f * CosTurn(v0 + x * dv);
            } else {
                const float X0 = 0.5f - s.cx, Y = s.cy - (y + 0.5f);
                for (int x = 0; x < w; ++x) {
                    const float X = X0 + x;
                    pat[x] = 0.5f + 0.5f * CosTurn(std::sqrt(X * X + Y * Y) * s.inv);
                }
            }
            uint8_t* row = rgba + std::size_t(y) * w * 4;
            for (int x = 0; x < w; ++x) {
                uint8_t* d = row + x * 4;
                const uint8_t g = UnitToByte(Threshold(s, Luma(d), pat[x]));
                const uint8_t keep = d[3] ? 0xFF : 0;
                d[0] = d[1] = d[2] = g & keep;
            }
        }
    }
}

}  // namespace

void CIDotScreen(uint8_t* rgba, int w, int h, const Params& p) { RunScreen(rgba, w, h, p, Pattern::Dots); }
void CILineScreen(uint8_t* rgba, int w, int h, const Params& p) { RunScreen(rgba, w, h, p, Pattern::Lines); }
void CICircularScreen(uint8_t* rgba, int w, int h, const Params& p) {
    RunScreen(rgba, w, h, p, Pattern::Rings);
}

// Four dot screens on white: cyan at angle + 15 degrees, magenta + 75, yellow + 0, black + 45.
// Inks from the straight colour: C = 1 - R, M = 1 - G, Y = 1 - B, K = min(C, M, Y) x inputGCR
// (0..1, default 1), and K x inputUCR (0..1, default 0.5) taken out of C, M and Y. Each printed
// dot absorbs its ink's primary: R = (1 - c)(1 - k), G = (1 - m)(1 - k), B = (1 - y)(1 - k).
void CICMYKHalftone(uint8_t* rgba, int w, int h, const Params& p) {
    const float angle = p.Get("inputAngle", 0.0f);
    const float deg = 0.017453292519943295f;
    const Screen sc = MakeScreen(p, w, h, angle + 15 * deg, 0.7f);
    const Screen sm = MakeScreen(p, w, h, angle + 75 * deg, 0.7f);
    const Screen sy = MakeScreen(p, w, h, angle, 0.7f);
    const Screen sk = MakeScreen(p, w, h, angle + 45 * deg, 0.7f);
    const float gcr = geo::Clamp(p.Get("inputGCR", 1.0f), 0.0f, 1.0f);
    const float ucr = geo::Clamp(p.Get("inputUCR", 0.5f), 0.0f, 1.0f);
    const Screen* screens[4] = {&sc, &sm, &sy, &sk};
#pragma omp parallel
    {
        std::vector<float> pat(std::size_t(w) * 4);
#pragma omp for schedule(static)
        for (int y = 0; y < h; ++y) {
            for (int k = 0; k < 4; ++k) {
                float u0, v0, du, dv;
                FrameRow(*screens[k], y, u0, v0, du, dv);
                float* pk = pat.data() + std::size_t(k) * w;
                for (int x = 0; x < w; ++x)
                    pk[x] = 0.5f + 0.25f * (CosTurn(u0 + x * du) + CosTurn(v0 + x * dv));
            }
            const float* pc = pat.data();
            const float* pm = pc + w;
            const float* py = pm + w;
            const float* pkk = py + w;
            uint8_t* row = rgba + std::size_t(y) * w * 4;
            for (int x = 0; x < w; ++x) {
                uint8_t* d = row + x * 4;
                float c = 1.0f - d[0] * (1.0f / 255.0f);
                float m = 1.0f - d[1] * (1.0f / 255.0f);
                float yy = 1.0f - d[2] * (1.0f / 255.0f);
                const float k = std::min(c, std::min(m, yy)) * gcr;
                c -= k * ucr;
                m -= k * ucr;
                yy -= k * ucr;
                const float ic = Threshold(sc, c, pc[x]);
                const float im = Threshold(sm, m, pm[x]);
                const float iy = Threshold(sy, yy, py[x]);
                const float ik = Threshold(sk, k, pkk[x]);
                const uint8_t keep = d[3] ? 0xFF : 0;
                d[0] = UnitToByte((1.0f - ic) * (1.0f - ik)) & keep;
                d[1] = UnitToByte((1.0f - im) * (1.0f - ik)) & keep;
                d[2] = UnitToByte((1.0f - iy) * (1.0f - ik)) & keep;
            }
        }
    }
}

}  // namespace vfilter
