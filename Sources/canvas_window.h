// canvas_window.h - the canvas: the one document window, whose content is the composite at the
// base picture's size times the zoom. Creates and closes it, keeps its size in step with the
// picture, reacts to its window events and receives dropped files. Owns the canvas globals and
// the mouse state of a gesture.
#pragma once

#include "platform.h"

struct Point16 {
    int16_t v, h;
};

extern WindowRef window;               // the canvas
extern uintptr_t gWindowEventHandler;  // non-zero while the window handler and drop receiver are installed
extern Point16 newMouse;               // mouse of the current event, canvas content coordinates
extern Point16 oldMouse;               // previous mouse of the same gesture
extern int currMouse;                  // 0 no button on the canvas, 1 primary, 2 secondary
extern int trackedDown;                // crop-handle tracking state
extern bool cropActive;                // a crop rectangle is being edited
extern int snapActive;                 // new layers are aligned by the anchor buttons

bool CreateWindow();
void CloseWindow();
void UpdateWindowSize();
int WindowEventHandler(EventHandlerCallRef next, const Event* event, void* userData);
int dragReceiveHandler(WindowRef w, void* refCon, const std::vector<std::string>& paths, float x, float y);
void HandleCurrLayerDetect(int x, int y);
// Mouse and wheel events of the canvas, after the application handler has read them.
void HandleCanvasMouse(const Event* event);
