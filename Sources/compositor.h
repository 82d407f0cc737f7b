// compositor.h - drawing the layer stack: on screen into the canvas, off screen at 1:1 for
// export and baking, and the placement operations that move, rotate and align a layer.
#pragma once

#include <cstdint>

// Draws the whole stack. onScreen: into the canvas with the background pattern, the picture's
// outline and the editing aids, then shows it; otherwise into the offscreen framebuffer (export),
// nothing shown. factor above 0 multiplies every layer's opacity and shadow strength.
void RenderImages(bool onScreen, float factor);
// True when every fragment of the layer's own quad has alpha 1 in a draw at factor: full
// opacity, no mask, no reflection's fade, and an opaque texture. Blending such a fragment
// replaces colour and alpha below it exactly (source alpha 1, destination factor 0).
bool LayerDrawsOpaque(int slot, float factor);
// Draws one layer alone into the offscreen framebuffer (no blending, no depth test, nothing
// cleared or shown), rotated only with rotate; callers clear first and read the layer back.
void RenderOffscreen(int slot, bool rotate, float factor);
// Draws the layer alone at zoom 1 into the cleared offscreen framebuffer and reads back the
// w x h block at (left, top) in picture pixels: a malloc'ed RGBA buffer, top row first, that the
// caller frees; null on failure. The window context is current on return.
// The shadow and the frame are not baked: they stay effects drawn around the new pixels.
uint8_t* BakeLayer(int slot, bool rotate, int left, int top, int w, int h);
// Once a baked block has replaced the layer's pixels: the effects BakeLayer drew into it (hue,
// saturation, fill, lightness, opacity, mask, reflection, the rendered text) become neutral in the
// record, so that nothing applies them a second time (a colour-matrix rebuild, undo and redo, a
// project reopened), and the drawers show them so.
void ClearBakedEffects(int slot);
void TranslateTexture(int dx, int dy);   // window-pixel delta of a drag
void MoveTexture(int dx, int dy);        // keyboard nudge
void RotateTexture(int delta, int unused); // degrees from horizontal mouse movement
void ApplyFX(int slot, int axis, int degrees);   // axis 1 = rotY, 2 = rotX
void PositionImage();                    // align the current layer by centerimage
void RescaleImage();                     // factors that fit the current layer to the picture
