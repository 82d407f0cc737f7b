// filter_color.cpp - PLACEHOLDER until this family is written: leaves the picture unchanged.
#include "filter_kernels.h"

namespace vfilter {

void CIColorPosterize(uint8_t*, int, int, const Params&) {}
void CIExposureAdjust(uint8_t*, int, int, const Params&) {}
void CIGammaAdjust(uint8_t*, int, int, const Params&) {}
void CIColorControls(uint8_t*, int, int, const Params&) {}
void CIHueAdjust(uint8_t*, int, int, const Params&) {}

}  // namespace vfilter
