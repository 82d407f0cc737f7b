// canvas_mouse.cpp - the mouse on the canvas (picking, dragging, rotating, the wheel) and files
// dropped onto it (pictures become layers, projects are imported).
#include <cstdio>
#include <cstring>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "navigation.h"
#include "snap_crop.h"
#include "switching.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

Point16 EventPoint(const Event* e) { return Point16{int16_t(int(e->mouseY)), int16_t(int(e->mouseX))}; }

// Whether a point in canvas coordinates lies on the canvas's content.
bool InsideCanvas(int h, int v) {
    Rect r;
    if (plat_GetWindowBounds(window, &r) != noErr) return false;
    return h >= 0 && v >= 0 && h < r.right - r.left && v < r.bottom - r.top;
}

void MouseDown(const Event* e) {
    newMouse = EventPoint(e);
    oldMouse = newMouse;
    if (e->button == kMouseButtonPrimary) currMouse = 1;
    else if (e->button == kMouseButtonSecondary) currMouse = 2;
    HandleCurrLayerDetect(newMouse.h, newMouse.v);
    if (currMouse == 1 && e->modifiers == optionKey) SetSnapLock(true);
    else SetSnapLock(util_GetControl(dialog, kSnapLockCheck) != 0);
}

void MouseDragged(const Event* e) {
    newMouse = EventPoint(e);
    if (currMouse == 0) return;
    int dx = newMouse.h - oldMouse.h, dy = newMouse.v - oldMouse.v;
    if (!MoveCropArea(newMouse.h, newMouse.v, dx, dy) && currMouse == 1) {
        int x = isLockedOnX() ? 0 : dx;
        int y = isLockedOnY() ? 0 : dy;
        if (e->modifiers == cmdKey) RotateTexture(x, y);
        else TranslateTexture(x, y);
    }
    oldMouse = newMouse;
}

void MouseUp(const Event* e) {
    newMouse = EventPoint(e);
    currMouse = 0;
    trackedDown = 0;
    oldMouse = newMouse;
    RenderImages(true, -1.0f);
}

void Wheel(const Event* e) {
    if (currMouse != 0 || e->wheelDelta == 0 || !(e->modifiers & cmdKey) || !HasValidLayer()) return;
    float s = float(e->wheelDelta) * -0.01f + texImages[currentLayer].scaleX;
    if (s > 5.0f) s = 5.0f;
    if (s < 0.1f) s = 0.1f;
    HandleScaleLayerX(s);
    if (scaleLocked == 0) {
        scaleLocked = 1;
        util_SetControl(dialog, kAspectLockCheck, 1);
    }
    HandleScaleLayerY(s);
}

bool IsProject(const std::string& path) { return path.find(".vntr") != std::string::npos; }

}  // namespace

void HandleCanvasMouse(const Event* e) {
    switch (e->kind) {
    case kEventMouseDown: MouseDown(e); break;
    case kEventMouseDragged: MouseDragged(e); break;
    case kEventMouseUp: MouseUp(e); break;
    case kEventMouseWheelMoved: Wheel(e); break;
    default: break;
    }
}

void HandleCurrLayerDetect(int x, int y) {
    if (cropActive) return;
    if (!texImages[1].texture) {
        currentLayer = 0;
        return;
    }
    for (int s = kLastLayer; s >= kFirstLayer; --s) {
        if (!texImages[s].texture) continue;
        Rect r;
        GetRealPosition(s, &r);
        int left = int(r.left * scaleFactor), right = int(r.right * scaleFactor);
        int top = int(r.top * scaleFactor), bottom = int(r.bottom * scaleFactor);
        if (left < x && x < right && top < y && y < bottom) {
            currentLayer = s;
            util_SetControl(dialog, kLayerPopup, s);
            EnableSubControls();
            break;
        }
    }
    ShowLayerTitle();
}

int dragReceiveHandler(WindowRef, void*, const std::vector<std::string>& paths, float dropX, float dropY) {
    if (kickStart) return noErr;
    for (const std::string& path : paths) {
        if (path.size() >= 1024) continue;   // no file reference can be made for it
        if (IsProject(path)) {
            LoadProject(path.c_str(), false);
        } else if (LoadTexture(path.c_str(), -1, true, false)) {
            if (snapActive == 0 && HasValidLayer()) {
                // Centred under the mouse where the files were dropped (canvas pixels). Files
                // dropped on the Tools window or a drawer land outside the canvas, where the
                // layer could not be seen: they are centred on the picture instead.
                int h = int(dropX), v = int(dropY);
                TexImage& t = texImages[currentLayer];
                if (!InsideCanvas(h, v)) {
                    h = texImages[0].width / 2;
                    v = texImages[0].height / 2;
                }
                t.posX = h - t.width / 2;
                t.posY = v - t.height / 2;
                t.originX = t.posX;
                t.originY = t.posY;
            } else if (snapActive != 0) {
                PositionImage();
            }
            toSave = true;
        } else {
            util_MessageBox(false, "Invalid image format");
        }
        plat_SelectWindow(dialog);
        plat_ShowWindow(dialog);
        plat_SelectWindow(window);
        RenderImages(true, -1.0f);
    }
    return noErr;
}
