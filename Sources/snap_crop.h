// snap_crop.h - two canvas aids over the layer rectangles in picture pixels. Snap lock draws the
// alignment guides while a layer is dragged, pulls it onto a neighbour's centre or edge when it
// comes within 10 pixels and holds it there for ten redraws. Crop shows an adjustable rectangle
// over the current layer and bakes the layer's pixels inside it into a new layer picture.
// Owns the snap-lock state and the crop rectangle (cropActive and trackedDown live with the
// canvas's mouse state).
#pragma once

#include "platform.h"

extern bool snapLockEnabled;   // snapping is on for the current drag
extern bool wasLockedX;        // the last snap moved the layer horizontally
extern bool wasLockedY;
extern int onCycle;            // redraws since the last snap
extern int cropLayer;          // layer being cropped
extern Rect cropArea;          // the crop rectangle, picture pixels

// The layer's drawn bounding box in picture pixels (rotation in the picture plane included).
void GetRealPosition(int layer, Rect* out);
void SetSnapLock(bool on);
bool isLockedOnX();
bool isLockedOnY();
// Draws the snap guides of the dragged layer and pulls it onto a neighbour's edge.
void SnapLock();
// Starts (true) or applies (false) the crop of the current layer.
void EnableCropArea(bool on);
// A canvas drag in window pixels; true when the crop rectangle took it.
bool MoveCropArea(int x, int y, int dx, int dy);
// Draws the crop rectangle while cropping; false when nothing was drawn.
bool DrawCropArea();
// Replaces the cropped layer by its drawn pixels inside the rectangle.
void CropLayer();
