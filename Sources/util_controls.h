// util_controls.h - thin wrappers over the platform's controls, popup menus and menu bar, and the
// program's message box. Every wrapper takes the window and the control number; a control that
// is missing is skipped, and reads of it give 0.
#pragma once

#include "platform.h"

bool util_GetControlRef(WindowRef w, int id, ControlRef* out);
int32_t util_GetControl(WindowRef w, int id);
int util_SetControl(WindowRef w, int id, int value);
int util_SetItemRange(WindowRef w, int id, int min, int max);
int util_EnableControl(WindowRef w, int id, bool enable);
int util_ShowControl(WindowRef w, int id, bool show);
int util_SetSegmentedControl(WindowRef w, int id, int segment);
int util_SetText(WindowRef w, int id, const char* text);
int util_SetInt(WindowRef w, int id, int value);
bool util_GetText(WindowRef w, int id, char* out);           // out: 1024 bytes
MenuRef util_GetMenu(WindowRef w, int id);
int util_GetMenuItem(WindowRef w, int id, char* out);         // selected item number, 0 on failure
int util_GetMenuItemByIndex(WindowRef w, int id, int item, char* out);
bool util_SelectMenuByString(WindowRef w, int id, const char* text);
int util_SetMenuItem(WindowRef w, int id, int item, bool select, const char* text);
int util_SetMenuItemText(WindowRef w, int id, int item, bool select, const char* text);
void util_ChangeMenuItem(WindowRef w, int id, int item, const char* text);
int util_DeleteMenuItem(WindowRef w, int id, int item);
int util_ClearMenu(WindowRef w, int id);
int util_FillImage(WindowRef w, int id, const char* name, const char* ext);
void util_SetWindowTitle(WindowRef w, const char* text);
int util_SetTitle(WindowRef w, const char* text);
int util_SetPort(WindowRef w);
int util_EnableMenuItem(short menuId, int item, bool enable);
void util_SetRect(Rect* r, int left, int top, int right, int bottom);

// Installs proc as the action of the control (live slider action, little arrows); returns proc,
// or null when the control is missing.
ControlActionProc util_InstallAction(WindowRef w, int id, ControlActionProc proc);

// The program's modal message box, titled "Vintrel v2.2.0"; true when OK was pressed.
bool util_MessageBox(bool withCancel, const char* text);
