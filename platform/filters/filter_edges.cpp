// filter_edges.cpp - PLACEHOLDER until this family is written: leaves the picture unchanged.
#include "filter_kernels.h"

namespace vfilter {

void CIEdges(uint8_t*, int, int, const Params&) {}
void CIEdgeWork(uint8_t*, int, int, const Params&) {}
void CILineOverlay(uint8_t*, int, int, const Params&) {}
void CIHeightFieldFromMask(uint8_t*, int, int, const Params&) {}

}  // namespace vfilter
