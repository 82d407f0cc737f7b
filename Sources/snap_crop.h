// snap_crop.h - the canvas aids: snap lock while dragging and the crop rectangle.
#pragma once

void SetSnapLock(bool on);
void EnableCropArea(bool on);
// Draws the crop rectangle while cropping; false when nothing was drawn.
bool DrawCropArea();
// Draws the snap guides of the dragged layer and pulls it onto a neighbour's edge.
void SnapLock();
