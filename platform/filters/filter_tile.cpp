// filter_tile.cpp - op-art tile and the eightfold and twelvefold reflected tiles.
//
// Each builds a pattern in a frame rotated by inputAngle about the centre (y up, angles
// counter-clockwise on screen), folds every output pixel back into one small piece of the
// picture at the centre, and takes the bilinear sample (premultiplied, transparent beyond the
// picture) there. Only the rows that piece covers are copied before the output is written.
#include <cmath>
#include <vector>

#include "filter_kernels.h"
#include "filter_sampling.h"

namespace vfilter {
namespace {

constexpr float kMaxWidth = 1.0e7f;

struct Frame {
    float cx, cy, cosA, sinA;
    Frame(const Params& p, int w, int h) {
        cx = geo::ClampCentre(p.CenterX(w));
        cy = geo::ClampCentre(p.CenterY(h));
        const float a = p.Get("inputAngle", 0.0f);
        cosA = std::cos(a);
        sinA = std::sin(a);
    }
};

// Runs fold(u, v, sx, sy) over every pixel, where (sx, sy) is the offset (y up) from the centre
// of the input point to sample; `reach` bounds |(sx, sy)|. Each row goes in three passes: the
// sample points (vectorised), the samples, the stores (vectorised).
template <class Fold>
void RunFolded(uint8_t* rgba, int w, int h, const Frame& f, float reach, const Fold& fold) {
    geo::RowCopy src;
    src.Take(rgba, w, h, int(std::floor(f.cy - reach)) - 2, int(std::ceil(f.cy + reach)) + 2);
#pragma omp parallel
    {
        std::vector<float> px(w), py(w), acc(std::size_t(w) * 4);
#pragma omp for schedule(static)
        for (int y = 0; y < h; ++y) {
            const float Y = f.cy - (y + 0.5f), X0 = 0.5f - f.cx;
            for (int x = 0; x < w; ++x) {
                const float X = X0 + float(x);
                float sx, sy;
                fold(X * f.cosA + Y * f.sinA, -X * f.sinA + Y * f.cosA, sx, sy);
                px[x] = f.cx + sx;
                py[x] = f.cy - sy;
            }
            for (int x = 0; x < w; ++x) src.Sample(px[x], py[x], &acc[std::size_t(x) * 4]);
            geo::StoreRow(acc.data(), rgba + std::size_t(y) * w * 4, w);
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
        sx = (u - tile * geo::RoundEven(u * inv)) * scale;
        sy = (v - tile * geo::RoundEven(v * inv)) * scale;
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
        const float a = std::fabs(u - width * geo::RoundEven(u * inv));
        const float b = std::fabs(v - width * geo::RoundEven(v * inv));
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
        const float j0 = geo::RoundEven(v * invRow - 0.5f);  // floor(v / rowStep), either at a tie
        float qu, qv;
        {
            const float odd = j0 - 2.0f * geo::RoundEven(0.5f * j0);  // -1, 0 or 1
            const float shiftA = 0.5f * odd * odd;  // odd rows sit half a width along
            const float shiftB = 0.5f - shiftA;
            const float cuA = width * (geo::RoundEven(u * inv - shiftA) + shiftA);
            const float cuB = width * (geo::RoundEven(u * inv - shiftB) + shiftB);
            const float duA = u - cuA, dvA = v - j0 * rowStep;
            const float duB = u - cuB, dvB = dvA - rowStep;
            const bool lower = duB * duB + dvB * dvB < duA * duA + dvA * dvA;
            qu = lower ? duB : duA;
            qv = lower ? dvB : dvA;
        }
        // Fold into 0..30 degrees: both axes, then the 60- and 30-degree mirror lines.
        qu = std::fabs(qu);
        qv = std::fabs(qv);
        float d = std::max(0.0f, -0.8660254f * qu + 0.5f * qv);  // beyond the 60-degree line
        qu += 2 * d * 0.8660254f;
        qv -= 2 * d * 0.5f;
        d = std::max(0.0f, -0.5f * qu + 0.8660254f * qv);  // beyond the 30-degree line
        qu += 2 * d * 0.5f;
        qv -= 2 * d * 0.8660254f;
        sx = qu;
        sy = qv;
    });
}

}  // namespace vfilter
