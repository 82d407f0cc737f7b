// test_filter_engine.cpp - the filter engine as a pure function over pixel buffers: every
// catalogue filter at its table values and at its extremes (same size, transparent stays
// transparent, same bytes on every run, for 1 or 2 threads and into another buffer), and the
// exact values of the filters whose mathematics is exact.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "filter_catalogue.h"
#include "filter_engine.h"
#include "filter_kernels.h"

namespace {

typedef std::vector<uint8_t> Pixels;

// A test picture: colour gradients, an opaque block, a half-transparent band, a transparent
// corner whose hidden colour is green.
Pixels Picture(int w, int h) {
    Pixels p(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* d = &p[(std::size_t(y) * w + x) * 4];
            d[0] = uint8_t(x * 255 / std::max(w - 1, 1));
            d[1] = uint8_t(y * 255 / std::max(h - 1, 1));
            d[2] = uint8_t((x * 7 + y * 13) & 255);
            d[3] = x > w * 3 / 4 ? 0 : (y > h / 2 ? 128 : 255);
            if (d[3] == 0) d[0] = 0, d[1] = 255, d[2] = 0;
        }
    return p;
}

std::vector<vfilter::Value> RecordValues(const FilterRecord& r, int w, int h, float (*pick)(const FilterParam&)) {
    std::vector<vfilter::Value> v;
    for (const FilterParam& q : r.param)
        if (q.key[0]) v.push_back({q.key, pick(q), 0});
    if (r.centered) v.push_back({"inputCenter", float(w / 2), float(h / 2)});
    return v;
}

Pixels RunOn(const char* name, const std::vector<vfilter::Value>& v, Pixels p, int w, int h) {
    EXPECT_TRUE(vfilter::Run(name, v.data(), int(v.size()), p.data(), w, h)) << name;
    return p;
}

const char* const kNames[] = {
    "CIGaussianBlur", "CIBoxBlur", "CIDiscBlur", "CIMotionBlur", "CIBloom", "CIGloom", "CINoiseReduction",
    "CIColorPosterize", "CIExposureAdjust", "CIGammaAdjust", "CIColorControls", "CIHueAdjust", "CIEdges",
    "CIEdgeWork", "CILineOverlay", "CIHeightFieldFromMask", "CIPixellate", "CIHexagonalPixellate",
    "CICrystallize", "CIPointillize", "CICMYKHalftone", "CIDotScreen", "CILineScreen", "CICircularScreen",
    "CIBumpDistortion", "CIBumpDistortionLinear", "CIPinchDistortion", "CIHoleDistortion", "CICircularWrap",
    "CIOpTile", "CIEightfoldReflectedTile", "CITwelvefoldReflectedTile"};

}  // namespace

TEST(FilterEngine, EveryCatalogueFilterIsDefinedAtItsValuesAndExtremes) {
    std::set<std::string> names;
    for (const FilterRecord& r : gFilter) names.insert(r.ciName);
    for (const char* n : kNames) EXPECT_TRUE(names.count(n) && vfilter::Known(n)) << n;
    EXPECT_EQ(names.size(), 32u);
    EXPECT_FALSE(vfilter::Known("CINoSuchFilter"));

    float (*const picks[])(const FilterParam&) = {
        [](const FilterParam& q) { return q.value; },
        [](const FilterParam&) { return 0.0f; },
        [](const FilterParam& q) { return q.max; },
        [](const FilterParam& q) { return -q.max - 1.0f; },
        [](const FilterParam&) { return std::numeric_limits<float>::quiet_NaN(); },
        [](const FilterParam&) { return std::numeric_limits<float>::infinity(); },
        [](const FilterParam&) { return 1e30f; },
    };
    const int sizes[][2] = {{41, 27}, {1, 1}, {2, 5}};
    for (const FilterRecord& r : gFilter)
        for (auto pick : picks)
            for (const auto& s : sizes) {
                const int w = s[0], h = s[1];
                const auto v = RecordValues(r, w, h, pick);
                SCOPED_TRACE(std::string(r.title) + " value " + std::to_string(v.empty() ? 0 : v[0].x) + " size " +
                             std::to_string(w) + "x" + std::to_string(h));
                const Pixels in = Picture(w, h);
                const Pixels a = RunOn(r.ciName, v, in, w, h);
                const Pixels b = RunOn(r.ciName, v, in, w, h);
                ASSERT_EQ(a.size(), in.size());
                EXPECT_TRUE(a == b) << "two runs differ";
                Pixels from(in.size(), 0x5A);
                ASSERT_TRUE(vfilter::RunFrom(r.ciName, v.data(), int(v.size()), in.data(), from.data(), w, h));
                EXPECT_TRUE(from == a) << "filtering into another buffer differs from filtering in place";
                if (w > 2) {
                    omp_set_num_threads(1);
                    const Pixels c = RunOn(r.ciName, v, in, w, h);
                    omp_set_num_threads(2);
                    EXPECT_TRUE(a == c) << "1 and 2 threads differ";
                }
                const Pixels clear = RunOn(r.ciName, v, Pixels(in.size(), 0), w, h);
                for (std::size_t i = 3; i < clear.size(); i += 4) ASSERT_EQ(clear[i], 0) << "transparent input got alpha";
            }
    uint8_t px[4] = {1, 2, 3, 4};
    EXPECT_FALSE(vfilter::Run("CIGaussianBlur", nullptr, 0, px, 0, 1));
    EXPECT_FALSE(vfilter::Run("CINoSuchFilter", nullptr, 0, px, 1, 1));
    EXPECT_EQ(px[0] + px[1] + px[2] + px[3], 10);
}

TEST(FilterEngine, ColourFiltersKnownValues) {
    // Every byte value once per channel, opaque.
    const int w = 256, h = 1;
    Pixels ramp(std::size_t(w) * 4);
    for (int x = 0; x < w; ++x) ramp[x * 4] = ramp[x * 4 + 1] = ramp[x * 4 + 2] = uint8_t(x), ramp[x * 4 + 3] = 255;
    auto run = [&](const char* name, const char* key, float value) {
        vfilter::Value v{key, value, 0};
        return RunOn(name, {v}, ramp, w, h);
    };
    auto linear = [](double b) {
        double v = b / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    // Exposure +1 EV doubles linear light up to white.
    const Pixels ev = run("CIExposureAdjust", "inputEV", 1.0f);
    for (int x = 0; x < w; ++x) {
        const double want = std::min(1.0, 2.0 * linear(x));
        const int got = ev[x * 4];
        EXPECT_TRUE(linear(got - 1) <= want + 1e-9 && want <= linear(got + 1) + 1e-9) << x << " -> " << got;
        EXPECT_EQ(ev[x * 4 + 3], 255);
    }
    EXPECT_TRUE(run("CIGammaAdjust", "inputPower", 1.0f) == ramp);
    // Gamma 2 squares.
    const Pixels g2 = run("CIGammaAdjust", "inputPower", 2.0f);
    EXPECT_EQ(g2[128 * 4], uint8_t(std::lround(255.0 * (128 / 255.0) * (128 / 255.0))));
    for (int levels : {2, 6, 30}) {
        const Pixels p = run("CIColorPosterize", "inputLevels", float(levels));
        std::set<int> values;
        for (int x = 0; x < w; ++x) values.insert(p[x * 4 + 1]);
        EXPECT_EQ(int(values.size()), levels);
        EXPECT_TRUE(values.count(0) && values.count(255));
    }
    // A full turn of hue is no change; a third of a turn carries red to green.
    Pixels colours = Picture(40, 10);
    vfilter::Value turn{"inputAngle", float(2 * M_PI), 0};
    const Pixels same = RunOn("CIHueAdjust", {turn}, colours, 40, 10);
    for (std::size_t i = 0; i < same.size(); ++i)
        if (colours[i | 3]) {
            ASSERT_LE(std::abs(same[i] - colours[i]), 1) << i;
        }
    Pixels red = {255, 0, 0, 255};
    vfilter::Value third{"inputAngle", float(2 * M_PI / 3), 0};
    red = RunOn("CIHueAdjust", {third}, red, 1, 1);
    EXPECT_TRUE(red[0] <= 1 && red[1] >= 254 && red[2] <= 1) << int(red[0]) << "," << int(red[1]) << "," << int(red[2]);
    // Brightness and contrast: contrast 1 and brightness 0 are neutral.
    EXPECT_TRUE(run("CIColorControls", "inputContrast", 1.0f) == ramp);
    EXPECT_EQ(run("CIColorControls", "inputBrightness", 0.5f)[100 * 4], 228);
}

// The box blur walks down column strips of 64 or 128 pixels with a ring of row sums. On an
// opaque picture it must equal the plain mean of the (2R + 1)^2 pixels around each pixel, the
// picture's edge pixels repeated outside, computed here directly.
TEST(FilterEngine, BoxBlurIsTheMeanOfTheSquareAroundEachPixel) {
    const int w = 300, h = 90;
    Pixels in = Picture(w, h);
    for (std::size_t i = 0; i < in.size(); i += 4) in[i + 3] = 255;
    for (int R : {2, 30}) {
        const Pixels out = RunOn("CIBoxBlur", {{"inputRadius", float(R), 0}}, in, w, h);
        const auto clampX = [&](int x) { return std::min(std::max(x, 0), w - 1); };
        const auto clampY = [&](int y) { return std::min(std::max(y, 0), h - 1); };
        for (int c = 0; c < 3; ++c) {
            std::vector<double> rows(std::size_t(w) * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    double t = 0;
                    for (int d = -R; d <= R; ++d) t += in[(std::size_t(y) * w + clampX(x + d)) * 4 + c];
                    rows[std::size_t(y) * w + x] = t;
                }
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    double t = 0;
                    for (int d = -R; d <= R; ++d) t += rows[std::size_t(clampY(y + d)) * w + x];
                    const double want = t / double((2 * R + 1) * (2 * R + 1));
                    ASSERT_NEAR(out[(std::size_t(y) * w + x) * 4 + c], want, 0.51)
                        << "R " << R << " channel " << c << " at " << x << "," << y;
                }
        }
    }
}

TEST(FilterEngine, GaussianBlurOfOnePointIsSymmetricAndKeepsItsSum) {
    for (float sigma : {0.3f, 0.9f, 1.5f, 8.0f, 50.0f}) {
        const int n = std::max(41, int(16 * sigma) | 1), c = n / 2;
        std::vector<float> plane(std::size_t(n) * n, 0.0f);
        plane[std::size_t(c) * n + c] = 1000.0f;
        vfilter::GaussianBlurPlane(plane.data(), n, n, 1, sigma);
        double sum = 0.0, var = 0.0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const float v = plane[std::size_t(y) * n + x];
                sum += v;
                var += v * double((x - c) * (x - c));
                EXPECT_NEAR(v, plane[std::size_t(n - 1 - y) * n + (n - 1 - x)], 1e-3) << sigma;
                EXPECT_NEAR(v, plane[std::size_t(x) * n + y], 1e-3) << sigma;
            }
        EXPECT_NEAR(sum, 1000.0, 1.0) << sigma;
        EXPECT_NEAR(std::sqrt(var / sum), sigma, 0.1 * sigma) << "standard deviation";
    }
    // Through the engine: a white point on black spreads evenly and keeps its light.
    const int n = 41;
    Pixels p(std::size_t(n) * n * 4, 0);
    for (std::size_t i = 3; i < p.size(); i += 4) p[i] = 255;
    std::memset(&p[(std::size_t(20) * n + 20) * 4], 255, 3);
    vfilter::Value r{"inputRadius", 1.0f, 0};
    const Pixels b = RunOn("CIGaussianBlur", {r}, p, n, n);
    int sum = 0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            sum += b[(std::size_t(y) * n + x) * 4];
            EXPECT_EQ(b[(std::size_t(y) * n + x) * 4], b[(std::size_t(n - 1 - x) * n + y) * 4]);
        }
    EXPECT_NEAR(sum, 255, 12);
    EXPECT_LT(b[(std::size_t(20) * n + 20) * 4], 50);
}

TEST(FilterEngine, BlursOfAHalfTransparentLayerKeepItsColour) {
    // Left half opaque red, right half transparent with green hidden under it.
    const int w = 40, h = 12;
    Pixels p(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* d = &p[(std::size_t(y) * w + x) * 4];
            const bool left = x < w / 2;
            d[0] = left ? 255 : 0, d[1] = left ? 0 : 255, d[2] = 0, d[3] = left ? 255 : 0;
        }
    const vfilter::Value v[] = {{"inputRadius", 4.0f, 0}, {"inputAngle", 0.0f, 0}};
    for (const char* name : {"CIGaussianBlur", "CIBoxBlur", "CIDiscBlur", "CIMotionBlur", "CIBloom", "CIGloom",
                             "CINoiseReduction"}) {
        Pixels b = p;
        ASSERT_TRUE(vfilter::Run(name, v, 2, b.data(), w, h));
        int softened = 0;
        for (std::size_t i = 0; i < b.size(); i += 4) {
            if (!b[i + 3]) continue;
            softened += b[i + 3] != 255;
            ASSERT_TRUE(b[i] >= 250 && b[i + 1] <= 4 && b[i + 2] <= 4)
                << name << " pixel " << i / 4 << ": " << int(b[i]) << "," << int(b[i + 1]) << "," << int(b[i + 2]);
        }
        if (std::strcmp(name, "CIBloom") && std::strcmp(name, "CIGloom") && std::strcmp(name, "CINoiseReduction")) {
            EXPECT_GT(softened, 0) << name << " left the edge hard";
        }
    }
}

TEST(FilterEngine, MotionBlurAcrossIsMotionBlurAlongTheTransposedPicture) {
    const int w = 37, h = 23;
    const Pixels p = Picture(w, h);
    Pixels t(p.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) std::memcpy(&t[(std::size_t(x) * h + y) * 4], &p[(std::size_t(y) * w + x) * 4], 4);
    const Pixels along = RunOn("CIMotionBlur", {{"inputRadius", 5, 0}, {"inputAngle", 0, 0}}, p, w, h);
    const Pixels across = RunOn("CIMotionBlur", {{"inputRadius", 5, 0}, {"inputAngle", float(M_PI / 2), 0}}, t, h, w);
    EXPECT_FALSE(along == p);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_LE(std::abs(along[(std::size_t(y) * w + x) * 4 + c] - across[(std::size_t(x) * h + y) * 4 + c]), 1)
                    << x << "," << y;
}
