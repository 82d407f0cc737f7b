// tools_window.h - the Tools window: the floating panel left of the canvas with the theme and
// picture popups, the zoom, the layer controls, the anchors, the project and export buttons, and
// the five buttons that open the drawers hanging below it. Owns the Tools window and drawer
// references, the anchor, export quality, aspect lock and the installed slider actions.
#pragma once

#include "platform.h"

extern WindowRef dialog;
extern WindowRef drawer_text;
extern WindowRef drawer_filter;
extern WindowRef drawer_color;
extern WindowRef drawer_extras;
extern WindowRef drawer_alpha;
extern int centerimage;           // chosen anchor, 280..288
extern int exportQuality;         // JPEG quality step 1..5
extern int scaleLocked;           // aspect lock of the scale sliders
extern int16_t lastTabIndex;
extern ControlActionProc scaleControlActionUPP;
extern ControlActionProc rotateControlActionUPP;
extern ControlActionProc scaleLayerXControlActionUPP;
extern ControlActionProc scaleLayerYControlActionUPP;
extern ControlActionProc alphaControlActionUPP;

bool CreateDialog();
void CloseDialog();
bool InitValues();   // false when the user cancelled the theme change (nothing more changed)
void DialogEvent(OSType code);
void EnableControls(bool enable);
void EnableSubControls();
void EnableSubLayerControls(bool enable);
void UpdateDialogPosition();
void ToggleDrawers(WindowRef drawer);
void InstallTabHandler();
void MyTabEventHandlerProc(ControlRef tab, void* userData);
void MySwitchItemOfTabControl(WindowRef w, ControlRef tab, int index);
