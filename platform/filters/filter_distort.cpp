// filter_distort.cpp - PLACEHOLDER until this family is written: leaves the picture unchanged.
#include "filter_kernels.h"

namespace vfilter {

void CIBumpDistortion(uint8_t*, int, int, const Params&) {}
void CIBumpDistortionLinear(uint8_t*, int, int, const Params&) {}
void CIPinchDistortion(uint8_t*, int, int, const Params&) {}
void CIHoleDistortion(uint8_t*, int, int, const Params&) {}
void CICircularWrap(uint8_t*, int, int, const Params&) {}

}  // namespace vfilter
