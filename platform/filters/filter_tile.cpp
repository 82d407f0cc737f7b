// filter_tile.cpp - PLACEHOLDER until this family is written: leaves the picture unchanged.
#include "filter_kernels.h"

namespace vfilter {

void CIOpTile(uint8_t*, int, int, const Params&) {}
void CIEightfoldReflectedTile(uint8_t*, int, int, const Params&) {}
void CITwelvefoldReflectedTile(uint8_t*, int, int, const Params&) {}

}  // namespace vfilter
