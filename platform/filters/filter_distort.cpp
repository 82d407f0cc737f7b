// filter_distort.cpp - bump, linear bump, pinch, hole and circular-wrap distortions.
//
// Each output pixel inside the distortion's reach takes the bilinear sample (premultiplied,
// transparent beyond the picture's edges) of the input at the place its mapping names; pixels
// outside the reach are not written at all, so they keep their bytes exactly. A radius at or
// below 0 (or not finite) leaves the picture as it is. The radial mappings send the reach onto
// itself, so only the rows of the reach (plus one for the bilinear taps) are copied.
#include <cmath>
#include <limits>
#include <cstring>
#include <vector>

#include "filter_kernels.h"
#include "filter_sampling.h"

namespace vfilter {
namespace {

constexpr float kMaxRadius = 1.0e7f;

// Per-thread rows of sample points and samples.
struct Span {
    std::vector<float> px, py, acc;
    explicit Span(int w) : px(w), py(w), acc(std::size_t(w) * 4) {}
    // Samples the points x0 .. x1 - 1 and stores them over those pixels of row.
    void Finish(const geo::RowCopy& src, uint8_t* row, int x0, int x1) {
        for (int x = x0; x < x1; ++x) src.Sample(px[x], py[x], &acc[std::size_t(x) * 4]);
        geo::StoreRow(acc.data() + std::size_t(x0) * 4, row + std::size_t(x0) * 4, x1 - x0);
    }
};

// Calls map(dx, dy, d2, sx, sy) for every pixel whose centre lies strictly inside the disc of
// radius `reach` about (cx, cy), where (dx, dy) is the pixel centre minus the centre and d2 its
// squared length; map names the point (sx, sy) to sample, which is stored over the pixel.
template <class Map>
void ForDisc(uint8_t* rgba, int w, int h, float cx, float cy, float reach, const geo::RowCopy& src,
             const Map& map) {
    const double r2 = double(reach) * reach;
    const int y0 = std::max(0, int(std::floor(cy - reach - 0.5f)));
    const int y1 = std::min(h, int(std::ceil(cy + reach + 0.5f)) + 1);
    const double work = double(std::max(y1 - y0, 0)) * std::min(2.0 * reach, double(w));
#pragma omp parallel if (work > 32768)  // a small disc is not worth waking threads for
    {
        Span span(w);
#pragma omp for schedule(dynamic, 8)
        for (int y = y0; y < y1; ++y) {
            const double dy = y + 0.5 - cy;
            const double rest = r2 - dy * dy;
            if (rest <= 0) continue;
            const double half = std::sqrt(rest);
            int x0 = std::max(0, int(std::floor(cx - half - 0.5)));
            int x1 = std::min(w, int(std::ceil(cx + half + 0.5)) + 1);
            // The inside of a disc on a row is one run: trim the ends to it exactly.
            auto inside = [&](int x) {
                const double dx = x + 0.5 - cx;
                return dx * dx + dy * dy < r2;
            };
            while (x0 < x1 && !inside(x0)) ++x0;
            while (x1 > x0 && !inside(x1 - 1)) --x1;
            if (x0 >= x1) continue;
            const float fdy = float(dy);
            for (int x = x0; x < x1; ++x) {
                const float dx = float(x + 0.5 - cx);
                map(dx, fdy, dx * dx + fdy * fdy, span.px[x], span.py[x]);
            }
            span.Finish(src, rgba + std::size_t(y) * w * 4, x0, x1);
        }
    }
}

// Rows a disc of radius `reach` about cy touches, with a margin for the bilinear taps.
inline void DiscRows(float cy, float reach, int& y0, int& y1) {
    y0 = int(std::floor(cy - reach)) - 2;
    y1 = int(std::ceil(cy + reach)) + 2;
}

// atan2(y, x) within 1e-5 radians, branch-free so row loops vectorise.
inline float Atan2(float y, float x) {
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float a = std::min(ax, ay) / std::max(std::max(ax, ay), 1.0e-30f);
    const float s = a * a;
    float r = ((((0.0208351f * s - 0.0851330f) * s + 0.1801410f) * s - 0.3302995f) * s + 0.9998660f) * a;
    r = ay > ax ? 1.57079637f - r : r;
    r = x < 0 ? 3.14159274f - r : r;
    return y < 0 ? -r : r;
}

// The bump's radial profile: a point at relative distance rho (0..1) samples at rho x this.
// Monotonic for scale in -1..1, 1 at the rim with slope 1, so the rim is seamless.
inline float BumpFactor(float rho, float scale) {
    const float q = 1.0f - rho;
    return 1.0f - scale * q * q;
}

}  // namespace

void CIBumpDistortion(uint8_t* rgba, int w, int h, const Params& p) {
    const float r = std::min(p.Get("inputRadius", 0.0f), kMaxRadius);
    const float scale = geo::Clamp(p.Get("inputScale", 0.0f), -1.0f, 1.0f);
    if (!(r > 0.0f)) return;
    const float cx = geo::ClampCentre(p.CenterX(w)), cy = geo::ClampCentre(p.CenterY(h));
    int y0, y1;
    DiscRows(cy, r, y0, y1);
    if (y1 <= 0 || y0 >= h) return;
    geo::RowCopy src;
    src.Take(rgba, w, h, y0, y1);
    const float inv = 1.0f / r;
    ForDisc(rgba, w, h, cx, cy, r, src, [&](float dx, float dy, float d2, float& sx, float& sy) {
        const float f = BumpFactor(std::sqrt(d2) * inv, scale);
        sx = cx + dx * f;
        sy = cy + dy * f;
    });
}

// The bump across a line through the centre at inputAngle: the distance from the line is
// remapped with the bump's profile within inputRadius of it, the distance along it is kept.
void CIBumpDistortionLinear(uint8_t* rgba, int w, int h, const Params& p) {
    const float r = std::min(p.Get("inputRadius", 0.0f), kMaxRadius);
    const float scale = geo::Clamp(p.Get("inputScale", 0.0f), -1.0f, 1.0f);
    if (!(r > 0.0f)) return;
    const float cx = geo::ClampCentre(p.CenterX(w)), cy = geo::ClampCentre(p.CenterY(h));
    const float angle = p.Get("inputAngle", 0.0f);
    // Unit normal of the line in picture coordinates (y down): the line runs along
    // (cos a, -sin a) on screen, counter-clockwise from the x axis.
    const float nx = std::sin(angle), ny = std::cos(angle);
    geo::RowCopy src;
    src.Take(rgba, w, h, 0, h);
    const float inv = 1.0f / r;
#pragma omp parallel
    {
        Span span(w);
#pragma omp for schedule(static)
        for (int y = 0; y < h; ++y) {
            const float dy = y + 0.5f - cy;
            auto across = [&](int x) { return (x + 0.5f - cx) * nx + dy * ny; };
            // The pixels within r of the line form one run of the row: estimate it, then trim
            // its ends to the exact test.
            int x0 = 0, x1 = w;
            if (std::fabs(nx) > 1.0e-12f) {
                const double a = cx - 0.5 + (-r - double(dy) * ny) / nx;
                const double b = cx - 0.5 + (r - double(dy) * ny) / nx;
                x0 = int(std::min(std::max(std::floor(std::min(a, b)) - 1, 0.0), double(w)));
                x1 = int(std::min(std::max(std::ceil(std::max(a, b)) + 2, 0.0), double(w)));
            }
            while (x0 < x1 && !(std::fabs(across(x0)) < r)) ++x0;
            while (x1 > x0 && !(std::fabs(across(x1 - 1)) < r)) --x1;
            if (x0 >= x1) continue;
            for (int x = x0; x < x1; ++x) {
                const float t = across(x);
                const float shift = t * (BumpFactor(std::fabs(t) * inv, scale) - 1.0f);
                span.px[x] = x + 0.5f + nx * shift;
                span.py[x] = y + 0.5f + ny * shift;
            }
            span.Finish(src, rgba + std::size_t(y) * w * 4, x0, x1);
        }
    }
}

// Pinch: a point at relative distance rho samples at rho x sin(pi/2 rho)^-scale; scale 0..1
// pulls the picture towards the centre (1 the strongest), -1..0 pushes it out; monotonic for
// scale in -1..1 and seamless at the rim.
void CIPinchDistortion(uint8_t* rgba, int w, int h, const Params& p) {
    const float r = std::min(p.Get("inputRadius", 0.0f), kMaxRadius);
    const float scale = geo::Clamp(p.Get("inputScale", 0.0f), -1.0f, 1.0f);
    if (!(r > 0.0f)) return;
    const float cx = geo::ClampCentre(p.CenterX(w)), cy = geo::ClampCentre(p.CenterY(h));
    int y0, y1;
    DiscRows(cy, r, y0, y1);
    if (y1 <= 0 || y0 >= h) return;
    geo::RowCopy src;
    src.Take(rgba, w, h, y0, y1);
    const float inv = 1.0f / r;
    ForDisc(rgba, w, h, cx, cy, r, src, [&](float dx, float dy, float d2, float& sx, float& sy) {
        const float rho = std::sqrt(d2) * inv;
        // At the very centre the offset is (near) zero, so a large factor stays harmless.
        const float sn = std::max(std::sin(1.5707963268f * rho), 1.0e-6f);
        const float f = std::pow(sn, -scale);
        sx = cx + dx * f;
        sy = cy + dy * f;
    });
}

// Hole: a transparent round hole of inputRadius r at the centre; the picture between r and 4r
// is pushed outwards (a point at distance d samples at 4r ((d - r) / 3r)^0.75, which meets the
// picture with slope 1 at 4r); beyond 4r nothing changes.
void CIHoleDistortion(uint8_t* rgba, int w, int h, const Params& p) {
    const float r = std::min(p.Get("inputRadius", 0.0f), kMaxRadius / 4);
    if (!(r > 0.0f)) return;
    const float cx = geo::ClampCentre(p.CenterX(w)), cy = geo::ClampCentre(p.CenterY(h));
    const float reach = 4.0f * r;
    int y0, y1;
    DiscRows(cy, reach, y0, y1);
    if (y1 <= 0 || y0 >= h) return;
    geo::RowCopy src;
    src.Take(rgba, w, h, y0, y1);
    const float r2 = r * r, inv3r = 1.0f / (3.0f * r);
    const float nan = std::numeric_limits<float>::quiet_NaN();  // samples as clear
    ForDisc(rgba, w, h, cx, cy, reach, src, [&](float dx, float dy, float d2, float& sx, float& sy) {
        const float d = std::sqrt(d2);
        const float f = d2 > r2 ? reach * std::pow((d - r) * inv3r, 0.75f) / d : nan;
        sx = cx + dx * f;
        sy = cy + dy * f;
    });
}

// Circular wrap: the picture bent round a transparent circle of inputRadius r at the centre,
// its bottom edge on the circle and its rows outwards; arc length along the circle is the
// picture's x (its middle column cx at inputAngle, measured counter-clockwise from straight up);
// what falls beyond the picture is transparent. This remaps the whole picture; a radius below
// one pixel leaves it as it is.
void CICircularWrap(uint8_t* rgba, int w, int h, const Params& p) {
    const float r = std::min(p.Get("inputRadius", 0.0f), kMaxRadius);
    if (!(r >= 1.0f)) return;
    const float cx = geo::ClampCentre(p.CenterX(w)), cy = geo::ClampCentre(p.CenterY(h));
    const float angle = std::remainder(p.Get("inputAngle", 0.0f), 6.283185307179586f);
    geo::RowCopy src;
    src.Take(rgba, w, h, 0, h);
    const float twoPi = 6.283185307f, nan = std::numeric_limits<float>::quiet_NaN();
#pragma omp parallel
    {
        Span span(w);
#pragma omp for schedule(static)
        for (int y = 0; y < h; ++y) {
            const float up = cy - (y + 0.5f);
            for (int x = 0; x < w; ++x) {
                const float right = x + 0.5f - cx;
                const float d = std::sqrt(right * right + up * up);
                float arc = Atan2(-right, up) - angle;  // counter-clockwise from up
                arc -= twoPi * geo::RoundEven(arc * (1.0f / twoPi));  // into -pi..pi
                span.px[x] = d >= r ? cx - arc * r : nan;  // inside the circle: clear
                span.py[x] = float(h) - (d - r);
            }
            span.Finish(src, rgba + std::size_t(y) * w * 4, 0, w);
        }
    }
}

}  // namespace vfilter
