// app_main.cpp - the order in which the program comes up and goes down.
#include "app_main.h"

#include <cstdio>
#include <cstring>

#include "app_state.h"
#include "canvas_window.h"
#include "dispatch.h"
#include "history.h"
#include "ids.h"
#include "layer_table.h"
#include "live_video.h"
#include "platform.h"
#include "preferences.h"
#include "switching.h"
#include "theme_library.h"
#include "tools_window.h"
#include "update_check.h"
#include "util_controls.h"
#include "util_files.h"

int StartUp() {
    EventTypeSpec types[16];
    for (int i = 0; i < 16; ++i) types[i] = kAppEventTypes[i];

    IBNibRef nib = plat_CreateNibReference("main");
    if (!nib) return kNoInterfaceFile;
    if (plat_SetMenuBarFromNib(nib, "MenuBar") != noErr) {
        plat_DisposeNibReference(nib);
        return kNoMenuBar;
    }
    plat_DisposeNibReference(nib);

    util_GetThemeFolder(themeFolder);
    util_GetTempFolder(tempFolder);
    strcpy(currentTheme, "?");
    ReadConfig();
    SetThemeExtension();
    // The names of the last run, before the popup fills choose others when these are gone.
    char lastTheme[kPathSize], lastPicture[kPathSize];
    snprintf(lastTheme, sizeof lastTheme, "%s", currentTheme);
    snprintf(lastPicture, sizeof lastPicture, "%s", currentPicture);

    if (!CreateWindow()) return kNoCanvas;
    if (!CreateDialog()) return kNoToolsWindow;

    // The canvas sits right of the Tools window; then the Tools window moves to its left edge.
    Rect canvas, tools;
    plat_GetWindowBounds(window, &canvas);
    plat_GetWindowBounds(dialog, &tools);
    plat_MoveWindow(window, (tools.right - tools.left) + 5, canvas.top);
    UpdateDialogPosition();

    plat_InstallApplicationEventHandler(AppEventHandler, types, 16, window);
    InstallAppleEventHandlers();

    util_SelectMenuByString(dialog, kThemePopup, currentTheme);
    HandleThemeChange(true);
    util_SelectMenuByString(dialog, kPicturePopup, currentPicture);
    HandlePictureChange(true);
    RestoreLastPicture(lastTheme, lastPicture);
    bootComplete = true;
    return kStartedUp;
}

void ShutDown() {
    StopLiveCapture();
    SavePreferences();   // says so when the settings could not be kept
    CloseDialog();
    CloseWindow();
    HistoryClear();   // the steps' pixel copies go with the layers
}

int RunProgram(int argc, char** argv) {
    plat_Init(argc, argv);
    int status = StartUp();
    if (status != kStartedUp) return status;
    if (CheckVersionUpdate(true)) return 0;
    plat_RunApplicationEventLoop();
    ShutDown();
    return 0;
}
