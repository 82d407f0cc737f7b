// The 24 alpha masks "alpha1.jpg" .. "alpha24.jpg" (256 x 256) and their 48 x 48 previews
// "alpha1preview.jpg" .. "alpha24preview.jpg". White is opaque and black transparent; the
// pictures are grey (R = G = B), so the blue channel the compositor reads carries the alpha.
// Each mask is a small function of the pixel position in [-1, 1] x [-1, 1] (y downward)
// that returns the opacity in [0, 1]; shapes are signed distances with smooth edges.
#include "resgen.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const int kMaskSize = 256;
const int kPreviewSize = 48;
const float kPi = 3.14159265f;

struct Pt {
    float x, y;
};

float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

float SmoothStep(float e0, float e1, float x)
{
    const float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

// Opacity of a shape with signed distance d (negative inside) and a soft edge of half-width w.
float Inside(float d, float w) { return 1.0f - SmoothStep(-w, w, d); }

float Len(float x, float y) { return std::sqrt(x * x + y * y); }

// Signed distance to a box of half extents (hx, hy) with corner radius r.
float Box(float x, float y, float hx, float hy, float r)
{
    const float qx = std::fabs(x) - hx + r, qy = std::fabs(y) - hy + r;
    return Len(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - r;
}

// Signed distance to a closed polygon (any winding): nearest edge distance, sign by crossings.
float Polygon(const std::vector<Pt>& v, float x, float y)
{
    float best = 1e9f;
    bool inside = false;
    for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
        const float ex = v[j].x - v[i].x, ey = v[j].y - v[i].y;
        const float wx = x - v[i].x, wy = y - v[i].y;
        const float t = Clamp01((wx * ex + wy * ey) / (ex * ex + ey * ey));
        best = std::min(best, Len(wx - ex * t, wy - ey * t));
        if ((v[i].y > y) != (v[j].y > y) && x < v[i].x + ex * (y - v[i].y) / ey)
            inside = !inside;
    }
    return inside ? -best : best;
}

const std::vector<Pt>& HeartOutline()
{
    static std::vector<Pt> pts;
    if (pts.empty()) {
        for (int i = 0; i < 96; ++i) {   // the classic parametric heart curve, scaled to fit
            const float t = 2.0f * kPi * float(i) / 96.0f;
            const float X = 16.0f * std::pow(std::sin(t), 3.0f);
            const float Y = 13.0f * std::cos(t) - 5.0f * std::cos(2 * t) - 2.0f * std::cos(3 * t)
                            - std::cos(4 * t);
            pts.push_back({X * 0.052f, -(Y + 2.5f) * 0.052f});
        }
    }
    return pts;
}

const std::vector<Pt>& StarOutline()
{
    static std::vector<Pt> pts;
    if (pts.empty()) {
        for (int i = 0; i < 10; ++i) {   // five points, the first one straight up
            const float a = -kPi / 2.0f + float(i) * kPi / 5.0f;
            const float r = (i % 2 == 0) ? 0.9f : 0.37f;
            pts.push_back({r * std::cos(a), r * std::sin(a) + 0.06f});
        }
    }
    return pts;
}

const std::vector<Pt> kTriangle = {{0.0f, -0.8f}, {0.88f, 0.72f}, {-0.88f, 0.72f}};
const std::vector<Pt> kDiamond = {{0.0f, -0.9f}, {0.72f, 0.0f}, {0.0f, 0.9f}, {-0.72f, 0.0f}};

using MaskFunc = float (*)(float x, float y);

// The masks in the order of their numbers (1 .. 24).
const MaskFunc kMasks[24] = {
    // 1 radial ramp: opaque centre fading to the edges
    [](float x, float y) { return Clamp01(1.0f - Len(x, y)); },
    // 2 soft circle
    [](float x, float y) { return Inside(Len(x, y) - 0.62f, 0.28f); },
    // 3 hard-ish circle
    [](float x, float y) { return Inside(Len(x, y) - 0.8f, 0.025f); },
    // 4..7 linear ramps: left to right, right to left, top to bottom, bottom to top
    [](float x, float) { return Clamp01((x + 1.0f) * 0.5f); },
    [](float x, float) { return Clamp01((1.0f - x) * 0.5f); },
    [](float, float y) { return Clamp01((y + 1.0f) * 0.5f); },
    [](float, float y) { return Clamp01((1.0f - y) * 0.5f); },
    // 8 horizontal band fading at the top and bottom; 9 the same vertically
    [](float, float y) { return 1.0f - SmoothStep(0.25f, 0.85f, std::fabs(y)); },
    [](float x, float) { return 1.0f - SmoothStep(0.25f, 0.85f, std::fabs(x)); },
    // 10 vignette: a rounded rectangle with a wide soft edge
    [](float x, float y) { return Inside(Box(x, y, 0.62f, 0.62f, 0.25f), 0.3f); },
    // 11 heart
    [](float x, float y) { return Inside(Polygon(HeartOutline(), x, y), 0.035f); },
    // 12 five-point star
    [](float x, float y) { return Inside(Polygon(StarOutline(), x, y), 0.03f); },
    // 13 diamond
    [](float x, float y) { return Inside(Polygon(kDiamond, x, y), 0.04f); },
    // 14..16 stripes: horizontal, vertical, diagonal
    [](float, float y) { return SmoothStep(-0.35f, 0.35f, std::sin(y * kPi * 4.0f)); },
    [](float x, float) { return SmoothStep(-0.35f, 0.35f, std::sin(x * kPi * 4.0f)); },
    [](float x, float y) { return SmoothStep(-0.35f, 0.35f, std::sin((x + y) * kPi * 2.83f)); },
    // 17 soft checker, four by four
    [](float x, float y) {
        return SmoothStep(-0.3f, 0.3f, std::sin(x * kPi * 2.0f) * std::sin(y * kPi * 2.0f));
    },
    // 18 wide ellipse
    [](float x, float y) { return Inside((Len(x / 0.9f, y / 0.55f) - 1.0f) * 0.55f, 0.05f); },
    // 19 ring
    [](float x, float y) { return Inside(std::fabs(Len(x, y) - 0.6f) - 0.18f, 0.06f); },
    // 20 triangle
    [](float x, float y) { return Inside(Polygon(kTriangle, x, y), 0.04f); },
    // 21 cross
    [](float x, float y) {
        return Inside(std::min(Box(x, y, 0.82f, 0.24f, 0.06f), Box(x, y, 0.24f, 0.82f, 0.06f)),
                      0.04f);
    },
    // 22 two soft circles side by side
    [](float x, float y) {
        return std::max(Inside(Len(x + 0.45f, y) - 0.36f, 0.12f),
                        Inside(Len(x - 0.45f, y) - 0.36f, 0.12f));
    },
    // 23 wave: a band that follows a sine
    [](float x, float y) {
        return Inside(std::fabs(y - 0.28f * std::sin(x * kPi * 1.5f)) - 0.3f, 0.1f);
    },
    // 24 spotlight off-centre, toward the top left
    [](float x, float y) {
        const float dx = x + 0.3f, dy = y + 0.3f;
        return Clamp01(std::exp(-(dx * dx + dy * dy) / 0.3f) * 1.15f);
    },
};

QImage RenderMask(MaskFunc f)
{
    QImage img(kMaskSize, kMaskSize, QImage::Format_RGB888);
    for (int j = 0; j < kMaskSize; ++j) {
        uchar* row = img.scanLine(j);
        const float y = (float(j) + 0.5f) * 2.0f / kMaskSize - 1.0f;
        for (int i = 0; i < kMaskSize; ++i) {
            const float x = (float(i) + 0.5f) * 2.0f / kMaskSize - 1.0f;
            const uchar v = uchar(std::lround(Clamp01(f(x, y)) * 255.0f));
            row[3 * i] = row[3 * i + 1] = row[3 * i + 2] = v;
        }
    }
    return img;
}

} // namespace

bool WriteAlphaMasks(const QString& dir)
{
    for (int n = 1; n <= 24; ++n) {
        const QImage mask = RenderMask(kMasks[n - 1]);
        if (!SavePicture(mask, QStringLiteral("%1/alpha%2.jpg").arg(dir).arg(n), "jpg", 92))
            return false;
        const QImage preview = mask.scaled(kPreviewSize, kPreviewSize, Qt::IgnoreAspectRatio,
                                           Qt::SmoothTransformation);
        if (!SavePicture(preview, QStringLiteral("%1/alpha%2preview.jpg").arg(dir).arg(n), "jpg",
                         90))
            return false;
    }
    return true;
}
