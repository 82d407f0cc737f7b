// filter_tile.cpp - op-art tile and the eightfold and twelvefold reflected tiles.
//
// Each builds a pattern in a frame rotated by inputAngle about the centre (y up, angles
// counter-clockwise on screen), folds every output pixel back into one small piece of the
// picture at the centre, and takes the bilinear sample (premultiplied, transparent beyond the
// picture) there. Only the rows that piece covers are copied before the output is written.
#include <cmath>

#include "filter_kernels.h"
#include "filter_sampling.h"

namespace vfilter {
namespace {

constexpr float kMaxWidth = 1.0e7f;

// floor(v + 0.5) for |v| < 2^31, without a library call, so loops vectorise.
inline float RoundHalfUp(float v) {
    const float t = v + 0.5f;
    float i = float(int(t));
    return i - ((i > t) ? 1.0f : 0.0f);
}

struct Frame {
    float cx, cy, cosA, sinA;
    Frame(const Params& p, int w, int h) {
        cx = geo::ClampCentre(p.CenterX(w));
        cy = geo::ClampCentre(p.CenterY(h));
        const float a = p.Get("inputAngle", 0.0f);
        cosA = std::cos(a);
        sinA = std::sin(a);
    }
    // Rotated coordinates (u, v) of the centre of pixel (x, y).
    void At(int x, int y, float& u, float& v) const {
        const float X = x + 0.5f - cx, Y = cy - (y + 0.5f);
        u = X * cosA + Y * sinA;
        v = -X * sinA + Y * cosA;
    }
};

// Runs fold(u, v, sx, sy) over every pixel, where (sx, sy) is the offset (y up) from the centre
// of the input point to sample; `reach` bounds |(sx, sy)|.
template <class Fold>
void RunFolded(uint8_t* rgba, int w, int h, const Frame& f, float reach, const Fold& fold) {
    geo::RowCopy src;
    src.Take(rgba, w, h, int(std::floor(f.cy - reach)) - 2, int(std::ceil(f.cy + reach)) + 2);
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        uint8_t* row = rgba + std::size_t(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            float u, v, sx, sy, out[4];
            f.At(x, y, u, v);
            fold(u, v, sx, sy);
            src.Sample(f.cx + sx, f.cy - sy, out);
            geo::Store(out, row + x * 4);
        }
    }
}

}  // namespace

// Op tile: the square of side inputWidth px at the centre, shrunk inputScale times (so larger
// scales give more, smaller tiles), repeated over the picture in the rotated frame; the piece
// itself is taken upright.
void CIOpTile(uint8_t* rgba, int w, int h, const Params& p) {
    const float width = geo::Clamp(p.Get("inputWidth", 65.0f), 1.0f, kMaxWidth);
    const float scale = geo::Clamp(p.Get("inputScale", 2.8f), 0.01f, 1000.0f);
    const Frame f(p, w, h);
    const float tile = width / scale, inv = scale / width;
    RunFolded(rgba, w, h, f, width * 0.7072f, [&](float u, float v, float& sx, float& sy) {
        sx = (u - tile * RoundHalfUp(u * inv)) * scale;
        sy = (v - tile * RoundHalfUp(v * inv)) * scale;
    });
}

// Eightfold: squares of side inputWidth px, one centred on the centre; each shows the triangle
// 0 <= b <= a <= width / 2 of the picture mirrored into its 8 parts (across both axes and the
// diagonal), so neighbouring squares meet as mirror images.
void CIEightfoldReflectedTile(uint8_t* rgba, int w, int h, const Params& p) {
    const float width = geo::Clamp(p.Get("inputWidth", 100.0f), 1.0f, kMaxWidth);
    const Frame f(p, w, h);
    const float inv = 1.0f / width;
    RunFolded(rgba, w, h, f, width * 0.7072f, [&](float u, float v, float& sx, float& sy) {
        const float a = std::fabs(u - width * RoundHalfUp(u * inv));
        const float b = std::fabs(v - width * RoundHalfUp(v * inv));
        sx = std::max(a, b);
        sy = std::min(a, b);
    });
}

// Twelvefold: hexagons of width inputWidth px (neighbours that far apart), one centred on the
// centre; each shows the 30-degree wedge of the picture between the frame's u axis and the line
// at 30 degrees, mirrored into its 12 parts, so neighbouring hexagons meet as mirror images.
void CITwelvefoldReflectedTile(uint8_t* rgba, int w, int h, const Params& p) {
    const float width = geo::Clamp(p.Get("inputWidth", 100.0f), 1.0f, kMaxWidth);
    const Frame f(p, w, h);
    const float rowStep = width * 0.8660254f, invRow = 1.0f / rowStep, inv = 1.0f / width;
    RunFolded(rgba, w, h, f, width * 0.5774f, [&](float u, float v, float& sx, float& sy) {
        // The nearest lattice point lies in the row of centres just below or just above v.
        const float j0 = RoundHalfUp(v * invRow - 0.5f);  // floor(v / rowStep)
        float best = 3.0e38f, qu = 0, qv = 0;
        for (int k = 0; k < 2; ++k) {
            const float j = j0 + float(k);
            const float shift = (int(j) & 1) ? 0.5f : 0.0f;
            const float cu = width * (RoundHalfUp(u * inv - shift) + shift);
            const float du = u - cu, dv = v - j * rowStep;
            const float d2 = du * du + dv * dv;
            if (d2 < best) {
                best = d2;
                qu = du;
                qv = dv;
            }
        }
        // Fold into 0..30 degrees: both axes, then the 60- and 30-degree mirror lines.
        qu = std::fabs(qu);
        qv = std::fabs(qv);
        float d = -0.8660254f * qu + 0.5f * qv;  // side of the 60-degree line
        if (d > 0) {
            qu += 2 * d * 0.8660254f;
            qv -= 2 * d * 0.5f;
        }
        d = -0.5f * qu + 0.8660254f * qv;  // side of the 30-degree line
        if (d > 0) {
            qu += 2 * d * 0.5f;
            qv -= 2 * d * 0.8660254f;
        }
        sx = qu;
        sy = qv;
    });
}

}  // namespace vfilter
