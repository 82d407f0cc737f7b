// effect_passes.h - the per-layer passes the compositor runs inside a layer's transform: the drop
// shadow before the layer, the frame after it, and the alpha mask in place of the layer's quad.
#pragma once

// 20 shrinking black copies of the layer, offset by the shadow's angle and distance. factor above
// 0 multiplies the shadow strength (the export's first pass). Expects the layer's texture bound.
void RenderShadow(int slot, float factor);
// The border ring; in shadow mode in the colour already set and never in the reflection shape.
void RenderFrame(int slot, bool shadowMode);
// The layer through its mask (two texture units), loading the mask picture on first use.
void RenderMask(int slot, float opacity);
// The layer's quad with whole-layer texture coordinates, vertices (0,0)..(width,height).
void DrawLayerQuad(int slot);
