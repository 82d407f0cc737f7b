// layer_ops.h - what the Tools window, the keys and the wheel do to the selected layer:
// rotation, scale, opacity, zoom, alignment, fit, reset, stack order, duplicate and delete.
// Marker arguments: -1.0 (666.0 for rotation) means "read the value from the slider"; any other
// value is a new setting that is also written into the slider.
#pragma once

#include "platform.h"

void HandleRotate(float degrees);
void HandleScaleLayerX(float factor);
void HandleScaleLayerY(float factor);
void HandleTransparency(float opacity);
void HandleScaleFactor(float zoom);
void HandleCenter(int mode);
void HandleFit();
void HandleReset();
void HandleMoveLayer(bool up);
void HandleDeleteLayer();
int DuplicateLayer(int flip, bool redraw);
void RotateActionProc(ControlRef control, int part);
void LiveHandleRotate(ControlRef control, int part);
void LiveHandleScaleLayerX(ControlRef control, int part);
void LiveHandleScaleLayerY(ControlRef control, int part);
void LiveHandleAlphaLayer(ControlRef control, int part);
void LiveHandleScale(ControlRef control, int part);
