// filter_blur.cpp - PLACEHOLDER until this family is written: leaves the picture unchanged.
#include "filter_kernels.h"

namespace vfilter {

void GaussianBlurImage(FloatImage&, float) {}
void CIGaussianBlur(uint8_t*, int, int, const Params&) {}
void CIBoxBlur(uint8_t*, int, int, const Params&) {}
void CIDiscBlur(uint8_t*, int, int, const Params&) {}
void CIMotionBlur(uint8_t*, int, int, const Params&) {}
void CIBloom(uint8_t*, int, int, const Params&) {}
void CIGloom(uint8_t*, int, int, const Params&) {}
void CINoiseReduction(uint8_t*, int, int, const Params&) {}

}  // namespace vfilter
