// canvas_window.cpp - creating, sizing and closing the canvas; its window events.
#include "canvas_window.h"

#include "compositor.h"
#include "gl_context.h"
#include "layer_table.h"
#include "switching.h"
#include "tools_window.h"

WindowRef window = nullptr;
uintptr_t gWindowEventHandler = 0;
Point16 newMouse = {0, 0};
Point16 oldMouse = {0, 0};
int currMouse = 0;
int trackedDown = 0;
bool cropActive = false;
int snapActive = 1;

static const EventTypeSpec kWindowEvents[] = {
    {kEventClassWindow, kEventWindowCollapsing}, {kEventClassWindow, kEventWindowShown},
    {kEventClassWindow, kEventWindowActivated},  {kEventClassWindow, kEventWindowDeactivated},
    {kEventClassWindow, kEventWindowClose},      {kEventClassWindow, kEventWindowCloseAll},
    {kEventClassWindow, kEventWindowDrawContent}, {kEventClassWindow, kEventWindowPaint},
    {kEventClassWindow, kEventWindowInit},       {kEventClassWindow, kEventWindowDrawFrame},
    {kEventClassWindow, kEventWindowDrawPart},   {kEventClassWindow, kEventWindowBoundsChanged},
};

bool CreateWindow() {
    Rect content{50, 50, 250, 250};
    window = plat_CreateCanvasWindow(content);
    if (!window) return false;
    plat_SetUserFocusWindow(window);
    if (!StartOpenGL()) return false;
    UpdateContext();
    plat_InstallWindowEventHandler(window, WindowEventHandler, kWindowEvents,
                                   int(sizeof kWindowEvents / sizeof kWindowEvents[0]), window);
    plat_InstallReceiveHandler(dragReceiveHandler, nullptr);
    gWindowEventHandler = 1;
    plat_ShowWindow(window);
    return true;
}

void CloseWindow() {
    if (gWindowEventHandler) {
        plat_RemoveReceiveHandler();
        plat_RemoveWindowEventHandler(window);
    }
    gWindowEventHandler = 0;
    CloseOpenGL();
}

void UpdateWindowSize() {
    if (!texImages[0].texture) return;
    int16_t w = int16_t(int(float(texImages[0].width) * scaleFactor));
    int16_t h = int16_t(int(float(texImages[0].height) * scaleFactor));
    Rect r;
    plat_GetWindowBounds(window, &r);
    r.bottom = int16_t(r.top + h);
    r.right = int16_t(r.left + w);
    plat_SetWindowBounds(window, r);
}

int WindowEventHandler(EventHandlerCallRef, const Event* e, void*) {
    if (e->eventClass != kEventClassWindow) return eventNotHandledErr;
    window = e->window;
    switch (e->kind) {
    case kEventWindowShown:
    case kEventWindowDrawFrame:
    case kEventWindowDrawPart:
    case kEventWindowInit:
    case kEventWindowPaint:
        RenderImages(true, -1.0f);
        break;
    case kEventWindowBoundsChanged:
        UpdateDialogPosition();
        break;
    case kEventWindowActivated:
        plat_ShowFloatingWindows(true);
        break;
    case kEventWindowCollapsing:
        plat_ShowFloatingWindows(false);
        break;
    case kEventWindowClose:
    case kEventWindowCloseAll:
        // Closing the canvas ends the program; unsaved layers are asked about first, and taking
        // the event (noErr) keeps the window open when the user cancels.
        if (!ConfirmDiscardWork()) return noErr;
        plat_QuitApplicationEventLoop();
        break;
    default:
        break;
    }
    return eventNotHandledErr;
}
