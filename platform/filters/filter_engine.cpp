// filter_engine.cpp - the engine's door: the table of filter names and their kernels.
#include "filter_engine.h"

#include <cstring>

#include "filter_kernels.h"

namespace vfilter {
namespace {

struct Entry {
    const char* name;
    Kernel kernel;      // in place
    KernelFrom from;    // from one buffer to another without a copy first, where the filter has it
};

// The in-place form of a kernel that may read and write the same buffer.
template <KernelFrom F>
void InPlace(uint8_t* rgba, int width, int height, const Params& p) {
    F(rgba, rgba, width, height, p);
}

const Entry kFilters[] = {
    {"CIGaussianBlur", CIGaussianBlur, nullptr},
    {"CIBoxBlur", CIBoxBlur, CIBoxBlurFrom},
    {"CIDiscBlur", CIDiscBlur, nullptr},
    {"CIMotionBlur", CIMotionBlur, nullptr},
    {"CIBloom", CIBloom, nullptr},
    {"CIGloom", CIGloom, nullptr},
    {"CINoiseReduction", CINoiseReduction, nullptr},
    {"CIColorPosterize", InPlace<CIColorPosterizeFrom>, CIColorPosterizeFrom},
    {"CIExposureAdjust", InPlace<CIExposureAdjustFrom>, CIExposureAdjustFrom},
    {"CIGammaAdjust", InPlace<CIGammaAdjustFrom>, CIGammaAdjustFrom},
    {"CIColorControls", InPlace<CIColorControlsFrom>, CIColorControlsFrom},
    {"CIHueAdjust", InPlace<CIHueAdjustFrom>, CIHueAdjustFrom},
    {"CIEdges", CIEdges, nullptr},
    {"CIEdgeWork", CIEdgeWork, nullptr},
    {"CILineOverlay", CILineOverlay, nullptr},
    {"CIHeightFieldFromMask", CIHeightFieldFromMask, nullptr},
    {"CIPixellate", CIPixellate, nullptr},
    {"CIHexagonalPixellate", CIHexagonalPixellate, nullptr},
    {"CICrystallize", CICrystallize, nullptr},
    {"CIPointillize", CIPointillize, nullptr},
    {"CICMYKHalftone", CICMYKHalftone, nullptr},
    {"CIDotScreen", CIDotScreen, nullptr},
    {"CILineScreen", CILineScreen, nullptr},
    {"CICircularScreen", CICircularScreen, nullptr},
    {"CIBumpDistortion", CIBumpDistortion, nullptr},
    {"CIBumpDistortionLinear", CIBumpDistortionLinear, nullptr},
    {"CIPinchDistortion", CIPinchDistortion, nullptr},
    {"CIHoleDistortion", CIHoleDistortion, nullptr},
    {"CICircularWrap", CICircularWrap, nullptr},
    {"CIOpTile", CIOpTile, nullptr},
    {"CIEightfoldReflectedTile", CIEightfoldReflectedTile, nullptr},
    {"CITwelvefoldReflectedTile", CITwelvefoldReflectedTile, nullptr},
};

const Entry* Find(const char* name) {
    if (!name) return nullptr;
    for (const Entry& e : kFilters)
        if (std::strcmp(e.name, name) == 0) return &e;
    return nullptr;
}

Params ParamsOf(const Value* values, int count) {
    Params p;
    p.values = values;
    p.count = values ? count : 0;
    return p;
}

}  // namespace

bool Known(const char* name) { return Find(name) != nullptr; }

bool Run(const char* name, const Value* values, int count, uint8_t* rgba, int width, int height) {
    const Entry* e = Find(name);
    if (!e || !rgba || width < 1 || height < 1) return false;
    e->kernel(rgba, width, height, ParamsOf(values, count));
    return true;
}

bool RunFrom(const char* name, const Value* values, int count, const uint8_t* src, uint8_t* dst, int width,
             int height) {
    const Entry* e = Find(name);
    if (!e || !src || !dst || width < 1 || height < 1) return false;
    if (src == dst) return Run(name, values, count, dst, width, height);
    if (e->from) {
        e->from(src, dst, width, height, ParamsOf(values, count));
    } else {
        std::memcpy(dst, src, std::size_t(width) * height * 4);
        e->kernel(dst, width, height, ParamsOf(values, count));
    }
    return true;
}

}  // namespace vfilter
