// filter_halftone.cpp - PLACEHOLDER until this family is written: leaves the picture unchanged.
#include "filter_kernels.h"

namespace vfilter {

void CICMYKHalftone(uint8_t*, int, int, const Params&) {}
void CIDotScreen(uint8_t*, int, int, const Params&) {}
void CILineScreen(uint8_t*, int, int, const Params&) {}
void CICircularScreen(uint8_t*, int, int, const Params&) {}

}  // namespace vfilter
