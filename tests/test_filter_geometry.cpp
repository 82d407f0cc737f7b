// Geometric filters of the engine (pixellate, hexagonal pixellate, crystallize, pointillize, the
// halftone screens, the distortions and the reflected tiles): cells flat and equal to their
// mean, same bytes for the same input with any number of threads, distortions that leave the
// outside of their reach byte for byte, true colour order in the halftones, transparency kept,
// and a defined picture for extreme values. Pure functions: no window, no OpenGL.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "filter_engine.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Pic {
    int w, h;
    Bytes px;
    uint8_t* At(int x, int y) { return px.data() + (std::size_t(y) * w + x) * 4; }
    const uint8_t* At(int x, int y) const { return px.data() + (std::size_t(y) * w + x) * 4; }
};

// A busy picture: gradients, hashed noise, alpha from opaque to clear, and colour left in
// fully transparent pixels (which a filter must not show).
Pic Busy(int w, int h) {
    Pic p{w, h, Bytes(std::size_t(w) * h * 4)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t n = uint32_t(x * 73856093u) ^ uint32_t(y * 19349663u);
            n = (n ^ (n >> 13)) * 0x5bd1e995u;
            uint8_t* d = p.At(x, y);
            d[0] = uint8_t(x * 255 / w);
            d[1] = uint8_t(y * 255 / h);
            d[2] = uint8_t(n >> 24);
            d[3] = x < w / 8 ? 0 : (y > h * 3 / 4 ? uint8_t(n >> 16) : 255);
        }
    return p;
}

Pic Flat(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    Pic p{w, h, Bytes(std::size_t(w) * h * 4)};
    for (std::size_t i = 0; i < p.px.size(); i += 4) {
        p.px[i] = r;
        p.px[i + 1] = g;
        p.px[i + 2] = b;
        p.px[i + 3] = a;
    }
    return p;
}

Pic Filtered(const char* name, std::vector<vfilter::Value> values, Pic p, bool centred = true) {
    if (centred) values.push_back({"inputCenter", p.w / 2.0f, p.h / 2.0f});
    EXPECT_TRUE(vfilter::Run(name, values.data(), int(values.size()), p.px.data(), p.w, p.h)) << name;
    return p;
}

// Each of the filters of this family with values that make it do visible work.
struct Case {
    const char* name;
    std::vector<vfilter::Value> values;
};
std::vector<Case> Cases() {
    return {
        {"CIPixellate", {{"inputScale", 5, 0}}},
        {"CIHexagonalPixellate", {{"inputScale", 9, 0}}},
        {"CICrystallize", {{"inputRadius", 8, 0}}},
        {"CIPointillize", {{"inputRadius", 5, 0}}},
        {"CICMYKHalftone", {{"inputWidth", 6, 0}, {"inputAngle", 0.3f, 0}}},
        {"CIDotScreen", {{"inputAngle", 0.2f, 0}, {"inputWidth", 6, 0}, {"inputSharpness", 0.7f, 0}}},
        {"CILineScreen", {{"inputWidth", 6, 0}, {"inputSharpness", 0.7f, 0}}},
        {"CICircularScreen", {{"inputWidth", 5, 0}, {"inputSharpness", 1, 0}}},
        {"CIBumpDistortion", {{"inputRadius", 30, 0}, {"inputScale", 0.5f, 0}}},
        {"CIBumpDistortionLinear", {{"inputRadius", 20, 0}, {"inputScale", 0.5f, 0}, {"inputAngle", 0.4f, 0}}},
        {"CIPinchDistortion", {{"inputRadius", 30, 0}, {"inputScale", 0.5f, 0}}},
        {"CIHoleDistortion", {{"inputRadius", 8, 0}}},
        {"CICircularWrap", {{"inputRadius", 20, 0}, {"inputAngle", 0.5f, 0}}},
        {"CIOpTile", {{"inputScale", 2.8f, 0}, {"inputWidth", 30, 0}}},
        {"CIEightfoldReflectedTile", {{"inputAngle", 0.3f, 0}, {"inputWidth", 30, 0}}},
        {"CITwelvefoldReflectedTile", {{"inputAngle", 0.3f, 0}, {"inputWidth", 30, 0}}},
    };
}

// Straight mean of premultiplied colour, as a filter paints a cell: colour sum(c a) / sum(a),
// alpha sum(a) / n, rounded to nearest.
struct Mean {
    uint64_t c[3] = {0, 0, 0}, a = 0, n = 0;
    void Add(const uint8_t* p) {
        for (int k = 0; k < 3; ++k) c[k] += uint64_t(p[k]) * p[3];
        a += p[3];
        ++n;
    }
    void Expect(const uint8_t* got, const std::string& where) const {
        if (a == 0) {
            EXPECT_EQ(got[3], 0) << where;
            return;
        }
        for (int k = 0; k < 3; ++k) EXPECT_EQ(got[k], (c[k] + a / 2) / a) << where << " channel " << k;
        EXPECT_EQ(got[3], (a + n / 2) / n) << where;
    }
};

}  // namespace

TEST(FilterGeometry, PixellateCellsAreFlatMeansAlignedOnTheCentre) {
    // 42 x 30 with scale 5: the centre (21, 15) is a cell corner, so cells start at x = 1, 6, ...
    const Pic in = Busy(42, 30);
    const Pic out = Filtered("CIPixellate", {{"inputScale", 5, 0}}, in, false);
    std::vector<Mean> cells(10 * 8);
    auto cell = [](int x, int y) { return int(std::floor((y + 0.5 - 15) / 5.0) + 4) * 10 + int(std::floor((x + 0.5 - 21) / 5.0) + 5); };
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) cells[cell(x, y)].Add(in.At(x, y));
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x)
            cells[cell(x, y)].Expect(out.At(x, y), "pixel " + std::to_string(x) + "," + std::to_string(y));
    // Half white, half clear black inside one cell: the colour stays white (no dark fringe).
    Pic edge = Flat(20, 10, 0, 0, 0, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 11; ++x) edge.At(x, y)[0] = edge.At(x, y)[1] = edge.At(x, y)[2] = edge.At(x, y)[3] = 255;
    edge = Filtered("CIPixellate", {{"inputScale", 4, 0}}, edge, false);
    EXPECT_EQ(edge.At(11, 1)[0], 255);
    EXPECT_GT(edge.At(11, 1)[3], 0);
    EXPECT_LT(edge.At(11, 1)[3], 255);
}

TEST(FilterGeometry, HexagonalPixellatePaintsEachHexagonWithItsMean) {
    // Centres of the triangular lattice: neighbours 10 px apart, one on the picture's centre.
    const Pic in = Busy(60, 50);
    const Pic out = Filtered("CIHexagonalPixellate", {{"inputScale", 10, 0}}, in);
    const double s = 10, dy = s * std::sqrt(3.0) / 2, cx = 30, cy = 25;
    auto nearest = [&](int x, int y) {
        double best = 1e30;
        int code = 0;
        for (int j = -5; j <= 5; ++j)
            for (int i = -5; i <= 5; ++i) {
                const double px = cx + (i + ((j & 1) ? 0.5 : 0.0)) * s, py = cy + j * dy;
                const double d = (x + 0.5 - px) * (x + 0.5 - px) + (y + 0.5 - py) * (y + 0.5 - py);
                if (d < best) best = d, code = (j + 5) * 11 + (i + 5);
            }
        return code;
    };
    std::vector<Mean> cells(121);
    std::vector<int> codes(std::size_t(in.w) * in.h);
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) cells[codes[y * in.w + x] = nearest(x, y)].Add(in.At(x, y));
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x)
            cells[codes[y * in.w + x]].Expect(out.At(x, y), "pixel " + std::to_string(x) + "," + std::to_string(y));
}

TEST(FilterGeometry, SameBytesOnEveryRunAndWithOneOrTwoThreads) {
    const Pic in = Busy(97, 61);
    for (const Case& c : Cases()) {
        omp_set_num_threads(1);
        const Pic one = Filtered(c.name, c.values, in);
        omp_set_num_threads(2);
        const Pic two = Filtered(c.name, c.values, in);
        const Pic again = Filtered(c.name, c.values, in);
        EXPECT_EQ(one.px, two.px) << c.name;
        EXPECT_EQ(two.px, again.px) << c.name;
        EXPECT_NE(one.px, in.px) << c.name << " changed nothing";
    }
}

TEST(FilterGeometry, CrystallizeAndPointillizeTakeTheirColoursFromThePicture) {
    const Pic in = Flat(120, 90, 0, 0, 0, 255);
    Pic src = in;
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) {
            uint8_t* d = src.At(x, y);
            d[0] = uint8_t(x * 2);
            d[1] = uint8_t(y * 2);
            d[2] = uint8_t((x * 7 + y * 13) & 255);
        }
    std::set<uint32_t> inColours;
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) {
            const uint8_t* d = src.At(x, y);
            inColours.insert(uint32_t(d[0]) << 16 | d[1] << 8 | d[2]);
        }
    const Pic cr = Filtered("CICrystallize", {{"inputRadius", 12, 0}}, src);
    std::set<uint32_t> cells;
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) {
            const uint8_t* d = cr.At(x, y);
            const uint32_t c = uint32_t(d[0]) << 16 | d[1] << 8 | d[2];
            ASSERT_TRUE(inColours.count(c)) << "crystallize made a colour at " << x << "," << y;
            ASSERT_EQ(d[3], 255);
            cells.insert(c);
        }
    // About one cell per 12 x 12 px (with the cells reaching past the edges).
    EXPECT_GT(cells.size(), 40u);
    EXPECT_LT(cells.size(), 160u);

    const Pic po = Filtered("CIPointillize", {{"inputRadius", 6, 0}}, src);
    int clear = 0, dots = 0;
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) {
            const uint8_t* d = po.At(x, y);
            if (d[3] == 0) {
                EXPECT_EQ(d[0] | d[1] | d[2], 0);
                ++clear;
                continue;
            }
            ++dots;
            EXPECT_TRUE(inColours.count(uint32_t(d[0]) << 16 | d[1] << 8 | d[2])) << x << "," << y;
        }
    // Dots of radius 6 on a 12 px grid leave the background showing between them.
    EXPECT_GT(clear, in.w * in.h / 10);
    EXPECT_GT(dots, in.w * in.h / 2);
}

TEST(FilterGeometry, DistortionsLeaveTheOutsideOfTheirReachUntouched) {
    const Pic in = Busy(120, 100);
    const float cx = 60, cy = 50;
    struct Reach {
        const char* name;
        std::vector<vfilter::Value> values;
        float radius;
        bool linear;
    };
    const std::vector<Reach> reaches = {
        {"CIBumpDistortion", {{"inputRadius", 30, 0}, {"inputScale", 0.8f, 0}}, 30, false},
        {"CIBumpDistortion", {{"inputRadius", 30, 0}, {"inputScale", -1, 0}}, 30, false},
        {"CIPinchDistortion", {{"inputRadius", 35, 0}, {"inputScale", 1, 0}}, 35, false},
        {"CIHoleDistortion", {{"inputRadius", 7, 0}}, 28, false},  // pushes out to 4 x radius
        {"CIBumpDistortionLinear", {{"inputRadius", 15, 0}, {"inputScale", 0.7f, 0}, {"inputAngle", 0, 0}}, 15, true},
    };
    for (const Reach& r : reaches) {
        const Pic out = Filtered(r.name, r.values, in);
        int changedInside = 0;
        for (int y = 0; y < in.h; ++y)
            for (int x = 0; x < in.w; ++x) {
                const float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
                const float d = r.linear ? std::fabs(dy) : std::sqrt(dx * dx + dy * dy);
                const bool same = std::equal(in.At(x, y), in.At(x, y) + 4, out.At(x, y));
                if (d >= r.radius + 0.01f)
                    ASSERT_TRUE(same) << r.name << " touched " << x << "," << y;
                else if (!same)
                    ++changedInside;
            }
        EXPECT_GT(changedInside, 100) << r.name;
    }
    // Radius 0 (the catalogue's starting value) is the picture itself, as is a radius not given.
    for (const char* name : {"CIBumpDistortion", "CIBumpDistortionLinear", "CIPinchDistortion", "CIHoleDistortion",
                             "CICircularWrap"}) {
        EXPECT_EQ(Filtered(name, {{"inputRadius", 0, 0}, {"inputScale", 0.5f, 0}}, in).px, in.px) << name;
        EXPECT_EQ(Filtered(name, {{"inputScale", 0.5f, 0}}, in).px, in.px) << name;
    }
    // The hole itself is clear.
    const Pic hole = Filtered("CIHoleDistortion", {{"inputRadius", 10, 0}}, Flat(120, 100, 200, 100, 50, 255));
    EXPECT_EQ(hole.At(60, 50)[3], 0);
    EXPECT_EQ(hole.At(60, 50 - 12)[3], 255);
}

TEST(FilterGeometry, DistortionSamplesGiveNoFringeAtATransparentEdge) {
    // Opaque grey left of x = 37, clear right of it with white left in the clear pixels; each
    // distortion moves that edge about, and its soft edge keeps the grey.
    Pic in = Flat(80, 60, 255, 255, 255, 0);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 37; ++x) {
            std::fill(in.At(x, y), in.At(x, y) + 3, 100);
            in.At(x, y)[3] = 255;
        }
    for (const char* name : {"CIBumpDistortion", "CIPinchDistortion", "CIBumpDistortionLinear", "CICircularWrap"}) {
        const Pic out = Filtered(name, {{"inputRadius", 25, 0}, {"inputScale", 0.7f, 0}, {"inputAngle", 1.5708f, 0}}, in);
        int partial = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x) {
                const uint8_t* d = out.At(x, y);
                if (d[3] == 0) continue;
                partial += d[3] < 255;
                ASSERT_TRUE(d[0] == 100 && d[1] == 100 && d[2] == 100)
                    << name << " at " << x << "," << y << " alpha " << int(d[3]) << " grey " << int(d[1]);
            }
        EXPECT_GT(partial, 0) << name;
    }
}

TEST(FilterGeometry, ScreensKeepWhiteWhiteAndBlackBlack) {
    for (const char* name : {"CICMYKHalftone", "CIDotScreen", "CILineScreen", "CICircularScreen"}) {
        for (float sharpness : {0.0f, 0.7f, 1.0f}) {
            std::vector<vfilter::Value> v = {{"inputWidth", 6, 0}, {"inputSharpness", sharpness, 0}, {"inputAngle", 0.4f, 0}};
            const Pic white = Filtered(name, v, Flat(64, 48, 255, 255, 255, 255));
            const Pic black = Filtered(name, v, Flat(64, 48, 0, 0, 0, 255));
            EXPECT_EQ(white.px, Flat(64, 48, 255, 255, 255, 255).px) << name << " sharpness " << sharpness;
            EXPECT_EQ(black.px, Flat(64, 48, 0, 0, 0, 255).px) << name << " sharpness " << sharpness;
        }
        // Mid grey gives a real pattern of both.
        const Pic grey = Filtered(name, {{"inputWidth", 6, 0}, {"inputSharpness", 1, 0}}, Flat(64, 48, 128, 128, 128, 255));
        int dark = 0, light = 0;
        for (std::size_t i = 0; i < grey.px.size(); i += 4) {
            dark += grey.px[i + 1] < 64;
            light += grey.px[i + 1] > 192;
        }
        EXPECT_GT(dark, 300) << name;
        EXPECT_GT(light, 300) << name;
    }
}

TEST(FilterGeometry, HalftonesSeeTrueColourOrder) {
    auto mean = [](const Pic& p, int c) {
        double s = 0;
        for (std::size_t i = 0; i < p.px.size(); i += 4) s += p.px[i + c];
        return s / (p.px.size() / 4);
    };
    // Pure cyan prints cyan ink: red absorbed, green and blue kept; pure yellow absorbs blue.
    const std::vector<vfilter::Value> v = {{"inputWidth", 6, 0}, {"inputAngle", 0, 0}};
    const Pic cyan = Filtered("CICMYKHalftone", v, Flat(64, 48, 0, 255, 255, 255));
    EXPECT_LT(mean(cyan, 0), 40);
    EXPECT_GT(mean(cyan, 1), 215);
    EXPECT_GT(mean(cyan, 2), 215);
    const Pic yellow = Filtered("CICMYKHalftone", v, Flat(64, 48, 255, 255, 0, 255));
    EXPECT_GT(mean(yellow, 0), 215);
    EXPECT_LT(mean(yellow, 2), 40);
    // Luminance weighs red (0.2126) well above blue (0.0722).
    const std::vector<vfilter::Value> d = {{"inputWidth", 6, 0}, {"inputSharpness", 0, 0}};
    const double red = mean(Filtered("CIDotScreen", d, Flat(64, 48, 255, 0, 0, 255)), 1);
    const double blue = mean(Filtered("CIDotScreen", d, Flat(64, 48, 0, 0, 255, 255)), 1);
    EXPECT_NEAR(red, 0.2126 * 255, 2);
    EXPECT_NEAR(blue, 0.0722 * 255, 2);
}

TEST(FilterGeometry, ReflectedTilesAreMirrorSymmetricAboutTheCentre) {
    const Pic in = Busy(100, 80);  // centre (50, 40) on a pixel corner
    const Pic eight = Filtered("CIEightfoldReflectedTile", {{"inputWidth", 30, 0}, {"inputAngle", 0, 0}}, in);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            ASSERT_TRUE(std::equal(eight.At(x, y), eight.At(x, y) + 4, eight.At(99 - x, y))) << x << "," << y;
            ASSERT_TRUE(std::equal(eight.At(x, y), eight.At(x, y) + 4, eight.At(x, 79 - y))) << x << "," << y;
            const int tx = 50 + (y - 40), ty = 40 + (x - 50);  // across the diagonal
            if (tx >= 0 && tx < 100 && ty >= 0 && ty < 80) {
                ASSERT_TRUE(std::equal(eight.At(x, y), eight.At(x, y) + 4, eight.At(tx, ty))) << x << "," << y;
            }
        }
    // Twelvefold: mirror images across both axes (a few pixels may sit on a cell boundary).
    const Pic twelve = Filtered("CITwelvefoldReflectedTile", {{"inputWidth", 30, 0}, {"inputAngle", 0, 0}}, in);
    int differ = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            differ += !std::equal(twelve.At(x, y), twelve.At(x, y) + 4, twelve.At(99 - x, y));
            differ += !std::equal(twelve.At(x, y), twelve.At(x, y) + 4, twelve.At(x, 79 - y));
        }
    EXPECT_LT(differ, 40);
    // Op tile: one shrunk piece repeated with the tile's period (40 / 2 = 20 px).
    const Pic op = Filtered("CIOpTile", {{"inputWidth", 40, 0}, {"inputScale", 2, 0}}, in);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x + 20 < 100; ++x)
            ASSERT_TRUE(std::equal(op.At(x, y), op.At(x, y) + 4, op.At(x + 20, y))) << x << "," << y;
}

TEST(FilterGeometry, TransparentStaysTransparent) {
    Pic clear = Flat(50, 40, 250, 10, 120, 0);  // colour left in clear pixels
    for (const Case& c : Cases()) {
        const Pic out = Filtered(c.name, c.values, clear);
        for (std::size_t i = 0; i < out.px.size(); i += 4)
            ASSERT_EQ(out.px[i + 3], 0) << c.name << " pixel " << i / 4;
    }
}

TEST(FilterGeometry, ExtremeValuesGiveADefinedPicture) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float extremes[] = {0.0f, -3.0f, 1e-20f, 0.5f, 1e6f, 1e30f, -1e30f, 3e38f, -3e38f, nan, inf, -inf};
    // On a flat opaque grey every geometric filter gives that grey or clear, and the screens a
    // grey level; nothing else (no garbage from overflowing coordinates).
    const Pic grey = Flat(48, 36, 90, 90, 90, 255);
    for (const Case& c : Cases()) {
        const bool cmyk = std::string(c.name) == "CICMYKHalftone";
        const bool screen = cmyk || std::string(c.name).find("Screen") != std::string::npos;
        for (std::size_t k = 0; k <= c.values.size(); ++k)  // k == size: the centre
            for (float e : extremes) {
                std::vector<vfilter::Value> v = c.values;
                if (k < v.size())
                    v[k].x = e;
                else
                    v.push_back({"inputCenter", e, -e});
                Pic p = grey;
                ASSERT_TRUE(vfilter::Run(c.name, v.data(), int(v.size()), p.px.data(), p.w, p.h));
                for (std::size_t i = 0; i < p.px.size(); i += 4) {
                    const uint8_t* d = &p.px[i];
                    if (d[3] == 0) continue;
                    if (screen)
                        ASSERT_TRUE(d[3] == 255 && (cmyk || (d[0] == d[1] && d[1] == d[2])))
                            << c.name << " key " << k << " value " << e;
                    else
                        ASSERT_TRUE(d[0] == 90 && d[1] == 90 && d[2] == 90)
                            << c.name << " key " << k << " value " << e << " pixel " << i / 4;
                }
            }
    }
}
