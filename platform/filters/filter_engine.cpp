// filter_engine.cpp - the engine's door: the table of filter names and their kernels.
#include "filter_engine.h"

#include <cstring>

#include "filter_kernels.h"

namespace vfilter {
namespace {

struct Entry {
    const char* name;
    Kernel kernel;
};

const Entry kFilters[] = {
    {"CIGaussianBlur", CIGaussianBlur},
    {"CIBoxBlur", CIBoxBlur},
    {"CIDiscBlur", CIDiscBlur},
    {"CIMotionBlur", CIMotionBlur},
    {"CIBloom", CIBloom},
    {"CIGloom", CIGloom},
    {"CINoiseReduction", CINoiseReduction},
    {"CIColorPosterize", CIColorPosterize},
    {"CIExposureAdjust", CIExposureAdjust},
    {"CIGammaAdjust", CIGammaAdjust},
    {"CIColorControls", CIColorControls},
    {"CIHueAdjust", CIHueAdjust},
    {"CIEdges", CIEdges},
    {"CIEdgeWork", CIEdgeWork},
    {"CILineOverlay", CILineOverlay},
    {"CIHeightFieldFromMask", CIHeightFieldFromMask},
    {"CIPixellate", CIPixellate},
    {"CIHexagonalPixellate", CIHexagonalPixellate},
    {"CICrystallize", CICrystallize},
    {"CIPointillize", CIPointillize},
    {"CICMYKHalftone", CICMYKHalftone},
    {"CIDotScreen", CIDotScreen},
    {"CILineScreen", CILineScreen},
    {"CICircularScreen", CICircularScreen},
    {"CIBumpDistortion", CIBumpDistortion},
    {"CIBumpDistortionLinear", CIBumpDistortionLinear},
    {"CIPinchDistortion", CIPinchDistortion},
    {"CIHoleDistortion", CIHoleDistortion},
    {"CICircularWrap", CICircularWrap},
    {"CIOpTile", CIOpTile},
    {"CIEightfoldReflectedTile", CIEightfoldReflectedTile},
    {"CITwelvefoldReflectedTile", CITwelvefoldReflectedTile},
};

Kernel Find(const char* name) {
    if (!name) return nullptr;
    for (const Entry& e : kFilters)
        if (std::strcmp(e.name, name) == 0) return e.kernel;
    return nullptr;
}

}  // namespace

bool Known(const char* name) { return Find(name) != nullptr; }

bool Run(const char* name, const Value* values, int count, uint8_t* rgba, int width, int height) {
    Kernel k = Find(name);
    if (!k || !rgba || width < 1 || height < 1) return false;
    Params p;
    p.values = values;
    p.count = values ? count : 0;
    k(rgba, width, height, p);
    return true;
}

}  // namespace vfilter
