// filter_stylize.cpp - PLACEHOLDER until this family is written: leaves the picture unchanged.
#include "filter_kernels.h"

namespace vfilter {

void CIPixellate(uint8_t*, int, int, const Params&) {}
void CIHexagonalPixellate(uint8_t*, int, int, const Params&) {}
void CICrystallize(uint8_t*, int, int, const Params&) {}
void CIPointillize(uint8_t*, int, int, const Params&) {}

}  // namespace vfilter
