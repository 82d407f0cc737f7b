// snap_crop.h - the canvas aids: snap lock while dragging and the crop rectangle.
#pragma once

void SetSnapLock(bool on);
void EnableCropArea(bool on);
