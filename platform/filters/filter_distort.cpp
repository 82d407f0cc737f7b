// filter_distort.cpp - bump, linear bump, pinch, hole and circular-wrap distortions.
//
// Each output pixel inside the distortion's reach takes the bilinear sample (premultiplied,
// transparent beyond the picture's edges) of the input at the place its mapping names; pixels
// outside the reach are not written at all, so they keep their bytes exactly. A radius at or
// below 0 (or not finite) leaves the picture as it is. The radial mappings send the reach onto
// itself, so only the rows of the reach (plus one for the bilinear taps) are copied.
#include <cmath>
#include <cstring>

#include "filter_kernels.h"
#include "filter_sampling.h"

namespace vfilter {
namespace {

constexpr float kMaxRadius = 1.0e7f;

// Calls map(x, y, dx, dy, d2, out) for every pixel whose centre lies strictly inside the disc of
// radius `reach` about (cx, cy), where (dx, dy) is the pixel centre minus the centre and d2 its
// squared length; map fills the premultiplied output, which is stored over the pixel.
template <class Map>
void ForDisc(uint8_t* rgba, int w, int h, float cx, float cy, float reach, const Map& map) {
    const double r2 = double(reach) * reach;
    const int y0 = std::max(0, int(std::floor(cy - reach - 0.5f)));
    const int y1 = std::min(h, int(std::ceil(cy + reach + 0.5f)) + 1);
#pragma omp parallel for schedule(dynamic, 8)
    for (int y = y0; y < y1; ++y) {
        const double dy = y + 0.5 - cy;
        const double rest = r2 - dy * dy;
        if (rest <= 0) continue;
        const double half = std::sqrt(rest);
        const int x0 = std::max(0, int(std::floor(cx - half - 0.5)));
        const int x1 = std::min(w, int(std::ceil(cx + half + 0.5)) + 1);
        uint8_t* row = rgba + std::size_t(y) * w * 4;
        for (int x = x0; x < x1; ++x) {
            const double dx = x + 0.5 - cx;
            const double d2 = dx * dx + dy * dy;
            if (!(d2 < r2)) continue;
            float out[4];
            map(float(x + 0.5), float(y + 0.5), float(dx), float(dy), float(d2), out);
            geo::Store(out, row + x * 4);
        }
    }
}

// Rows a disc of radius `reach` about cy touches, with a margin for the bilinear taps.
inline void DiscRows(float cy, float reach, int& y0, int& y1) {
    y0 = int(std::floor(cy - reach)) - 2;
    y1 = int(std::ceil(cy + reach)) + 2;
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
    ForDisc(rgba, w, h, cx, cy, r, [&](float, float, float dx, float dy, float d2, float out[4]) {
        const float f = BumpFactor(std::sqrt(d2) * inv, scale);
        src.Sample(cx + dx * f, cy + dy * f, out);
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
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        uint8_t* row = rgba + std::size_t(y) * w * 4;
        const float dy = y + 0.5f - cy;
        for (int x = 0; x < w; ++x) {
            const float dx = x + 0.5f - cx;
            const float across = dx * nx + dy * ny;
            if (!(std::fabs(across) < r)) continue;
            const float f = BumpFactor(std::fabs(across) * inv, scale);
            const float shift = across * (f - 1.0f);
            float out[4];
            src.Sample(x + 0.5f + nx * shift, y + 0.5f + ny * shift, out);
            geo::Store(out, row + x * 4);
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
    ForDisc(rgba, w, h, cx, cy, r, [&](float, float, float dx, float dy, float d2, float out[4]) {
        const float rho = std::sqrt(d2) * inv;
        // At the very centre the offset is (near) zero, so a large factor stays harmless.
        const float sn = std::max(std::sin(1.5707963268f * rho), 1.0e-6f);
        const float f = std::pow(sn, -scale);
        src.Sample(cx + dx * f, cy + dy * f, out);
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
    ForDisc(rgba, w, h, cx, cy, reach, [&](float, float, float dx, float dy, float d2, float out[4]) {
        if (d2 <= r2) {
            out[0] = out[1] = out[2] = out[3] = 0.0f;
            return;
        }
        const float d = std::sqrt(d2);
        const float f = reach * std::pow((d - r) * inv3r, 0.75f) / d;
        src.Sample(cx + dx * f, cy + dy * f, out);
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
    const float pi = 3.14159265358979f;
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        uint8_t* row = rgba + std::size_t(y) * w * 4;
        const float up = cy - (y + 0.5f);
        for (int x = 0; x < w; ++x) {
            const float right = x + 0.5f - cx;
            const float d = std::sqrt(right * right + up * up);
            float out[4] = {0, 0, 0, 0};
            if (d >= r) {
                float arc = std::atan2(-right, up) - angle;  // counter-clockwise from up
                if (arc > pi) arc -= 2 * pi;
                if (arc <= -pi) arc += 2 * pi;
                src.Sample(cx - arc * r, float(h) - (d - r), out);
            }
            geo::Store(out, row + x * 4);
        }
    }
}

}  // namespace vfilter
