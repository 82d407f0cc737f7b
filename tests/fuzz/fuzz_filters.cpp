// fuzz_filters.cpp - the filter engine: a filter, a picture size up to 32 x 32, up to eight
// values (raw floats from the input, or NaN, the infinities, -0, 1e38 and other extremes) and
// the pixels. Every run must succeed, stay in the buffer and give the same result twice, in
// place and into another buffer.
// The ordinary test run links this file too, under a name of its own, to replay tests/corpus.
#ifndef FUZZ_ENTRY
#define FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "filter_engine.h"

namespace {

const char* const kFilters[] = {
    "CIBloom", "CIGloom", "CIGaussianBlur", "CIBoxBlur", "CIDiscBlur", "CIMotionBlur",
    "CINoiseReduction", "CIEdges", "CIEdgeWork", "CILineOverlay", "CIHeightFieldFromMask",
    "CIColorPosterize", "CIExposureAdjust", "CIGammaAdjust", "CIColorControls", "CIHueAdjust",
    "CIPixellate", "CIHexagonalPixellate", "CICrystallize", "CIPointillize", "CICMYKHalftone",
    "CIDotScreen", "CILineScreen", "CICircularScreen", "CIBumpDistortion",
    "CIBumpDistortionLinear", "CIPinchDistortion", "CIHoleDistortion", "CICircularWrap",
    "CIOpTile", "CIEightfoldReflectedTile", "CITwelvefoldReflectedTile"};
const char* const kKeys[] = {
    "inputRadius", "inputIntensity", "inputAngle", "inputNoiseLevel", "inputSharpness",
    "inputEdgeIntensity", "inputThreshold", "inputLevels", "inputEV", "inputPower",
    "inputSaturation", "inputBrightness", "inputContrast", "inputScale", "inputCenter",
    "inputWidth", "inputGCR", "inputUCR"};
const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(), INFINITY, -INFINITY, -0.0f, 1e38f,
                          -1e38f, 0.0f, 1.0f, -1.0f, 1e-38f, 2147483648.0f, 65536.0f, 0.5f, 1e6f, -1e6f, 3.0f};

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t Byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    float Float() {
        uint8_t sel = Byte();
        if (sel < 128) return kSpecial[sel % 16];
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= uint32_t(Byte()) << (8 * i);
        float f;
        memcpy(&f, &u, 4);
        return f;
    }
};

}  // namespace

extern "C" int FUZZ_ENTRY(const uint8_t* data, size_t size) {
    Input in{data, size};
    const char* name = kFilters[in.Byte() % (sizeof kFilters / sizeof *kFilters)];
    int width = 1 + in.Byte() % 32, height = 1 + in.Byte() % 32;
    int count = in.Byte() % 9;
    vfilter::Value values[8];
    for (int i = 0; i < count; ++i) {
        values[i].key = kKeys[in.Byte() % (sizeof kKeys / sizeof *kKeys)];
        values[i].x = in.Float();
        values[i].y = in.Float();
    }
    size_t bytes = size_t(width) * height * 4;
    std::vector<uint8_t> pixels(bytes);
    for (size_t i = 0; i < bytes; ++i) pixels[i] = in.n ? in.Byte() : uint8_t(i * 37);
    std::vector<uint8_t> again = pixels, from(bytes);
    if (!vfilter::RunFrom(name, values, count, pixels.data(), from.data(), width, height)) abort();
    if (!vfilter::Run(name, values, count, pixels.data(), width, height)) abort();
    if (!vfilter::Run(name, values, count, again.data(), width, height)) abort();
    if (pixels != again || pixels != from) abort();
    return 0;
}
