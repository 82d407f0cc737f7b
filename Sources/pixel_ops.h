// pixel_ops.h - colour operations that change what a layer's texture holds: the flat fill (a
// silhouette in one colour that keeps the alpha, rewriting the pixel copy) and the colour matrix
// of hue and saturation (computed from the untouched pixel copy each time, so changes never
// accumulate). The matrix is a pure function, computed on the CPU.
#pragma once

#include <cstdint>

// The 4 x 4 colour transform, row-major on (R, G, B, A): saturation after a rotation of hue
// degrees about the grey axis. Identity for hue 0 and saturation 1.
void BuildColorMatrix(float hue, float saturation, float m[16]);
// Applies m to count RGBA pixels of in, clamping each component, into out (may equal in).
void TransformPixels(const float m[16], const uint8_t* in, uint8_t* out, int count);
// Fills the layer with (r, g, b), 0..255, keeping every pixel's alpha; nothing when a component
// is -1 or the slot is not a layer in use.
void ChangeTextureColor(int slot, int r, int g, int b);
// Rebuilds the layer's texture from its pixel copy through its hue and saturation.
void ApplyColorMatrix(int slot);
