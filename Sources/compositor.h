// compositor.h - drawing the layer stack: on screen into the canvas, off screen at 1:1 for
// export and baking, and the placement operations that move, rotate and align a layer.
#pragma once

#include <cstdint>

// Draws the whole stack. onScreen: into the canvas with the background and the editing aids;
// otherwise into the offscreen buffer at 1:1. highlight >= 0 outlines that layer.
void RenderImages(bool onScreen, float highlight);
void TranslateTexture(int dx, int dy);   // window-pixel delta of a drag
void MoveTexture(int dx, int dy);        // keyboard nudge
void RotateTexture(int dx, int dy);      // degrees from horizontal mouse movement
void ApplyFX(int slot, int axis, int degrees);   // axis 1 = rotY, 2 = rotX
void PositionImage();                    // align the current layer by centerimage
void RescaleImage();                     // factors that fit the current layer to the picture
