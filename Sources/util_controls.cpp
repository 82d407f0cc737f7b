// util_controls.cpp - control, menu and message-box wrappers.
#include "util_controls.h"

#include <cstdio>
#include <cstring>

#include "util_files.h"

namespace {
ControlRef find(WindowRef w, int id) {
    ControlRef c = nullptr;
    plat_GetControlByID(w, id, &c);
    return c;
}
}  // namespace

bool util_GetControlRef(WindowRef w, int id, ControlRef* out) { return plat_GetControlByID(w, id, out); }

int32_t util_GetControl(WindowRef w, int id) {
    ControlRef c = find(w, id);
    return c ? plat_GetControlValue(c) : 0;
}

int util_SetControl(WindowRef w, int id, int value) {
    ControlRef c = find(w, id);
    if (!c) return errUnknownControl;
    plat_SetControlValue(c, value);
    return noErr;
}

int util_SetItemRange(WindowRef w, int id, int min, int max) {
    ControlRef c = find(w, id);
    if (!c) return errUnknownControl;
    plat_SetControlMinimum(c, min);
    plat_SetControlMaximum(c, max);
    return noErr;
}

int util_EnableControl(WindowRef w, int id, bool enable) {
    ControlRef c = find(w, id);
    if (!c) return errUnknownControl;
    plat_EnableControl(c, enable);
    return noErr;
}

int util_ShowControl(WindowRef w, int id, bool show) {
    ControlRef c = find(w, id);
    if (!c) return errUnknownControl;
    plat_ShowControl(c, show);
    return noErr;
}

int util_SetSegmentedControl(WindowRef w, int id, int segment) { return util_SetControl(w, id, segment); }

int util_SetText(WindowRef w, int id, const char* text) {
    ControlRef c = find(w, id);
    if (!c) return errUnknownControl;
    plat_SetControlText(c, text);
    return noErr;
}

int util_SetInt(WindowRef w, int id, int value) {
    char buf[32];
    snprintf(buf, sizeof buf, "%d", value);
    return util_SetText(w, id, buf);
}

bool util_GetText(WindowRef w, int id, char* out) {
    ControlRef c = find(w, id);
    if (!c) return false;
    plat_GetControlText(c, out, kPathSize);
    return true;
}

MenuRef util_GetMenu(WindowRef w, int id) {
    ControlRef c = find(w, id);
    return c ? plat_GetControlMenu(c) : nullptr;
}

int util_GetMenuItem(WindowRef w, int id, char* out) {
    ControlRef c = find(w, id);
    MenuRef m = c ? plat_GetControlMenu(c) : nullptr;
    if (!m || plat_CountMenuItems(m) == 0) return 0;
    int item = plat_GetControlValue(c);
    if (!plat_GetMenuItemText(m, item, out, kPathSize)) return 0;
    return item;
}

int util_GetMenuItemByIndex(WindowRef w, int id, int item, char* out) {
    MenuRef m = util_GetMenu(w, id);
    if (!m || !plat_GetMenuItemText(m, item, out, kPathSize)) return 0;
    return item;
}

bool util_SelectMenuByString(WindowRef w, int id, const char* text) {
    MenuRef m = util_GetMenu(w, id);
    if (!m || !text) return false;
    int count = plat_CountMenuItems(m);
    char item[kPathSize];
    for (int i = 1; i <= count; ++i) {
        if (util_GetMenuItemByIndex(w, id, i, item) == 0) return false;
        if (strcmp(item, text) == 0) {
            util_SetControl(w, id, i);
            return true;
        }
    }
    return false;
}

int util_SetMenuItem(WindowRef w, int id, int item, bool select, const char* text) {
    ControlRef c = find(w, id);
    MenuRef m = c ? plat_GetControlMenu(c) : nullptr;
    if (!m) return errUnknownControl;
    if (item < 2) plat_DeleteMenuItem(m, 1);   // the placeholder of a fresh menu, or the old first item
    int r = plat_InsertMenuItem(m, item - 1, text, uint32_t(item));
    if (r != noErr) return r;
    plat_SetControlMinimum(c, 1);
    plat_SetControlMaximum(c, item);
    if (select) plat_SetControlValue(c, item);
    return noErr;
}

int util_SetMenuItemText(WindowRef w, int id, int item, bool select, const char* text) {
    ControlRef c = find(w, id);
    MenuRef m = c ? plat_GetControlMenu(c) : nullptr;
    if (!m) return errUnknownControl;
    int r = plat_SetMenuItemText(m, item, text);
    if (r == noErr && select) plat_SetControlValue(c, item);
    return r;
}

void util_ChangeMenuItem(WindowRef w, int id, int item, const char* text) {
    if (MenuRef m = util_GetMenu(w, id)) plat_SetMenuItemText(m, item, text);
}

int util_DeleteMenuItem(WindowRef w, int id, int item) {
    MenuRef m = util_GetMenu(w, id);
    return m ? plat_DeleteMenuItem(m, item) : errUnknownControl;
}

int util_ClearMenu(WindowRef w, int id) {
    MenuRef m = util_GetMenu(w, id);
    return m ? plat_DeleteAllMenuItems(m) : errUnknownControl;
}

int util_FillImage(WindowRef w, int id, const char* name, const char* ext) {
    char res[kPathSize], path[kPathSize];
    ControlRef c = find(w, id);
    if (!c || !GetResFolder(res)) return 0;
    if (snprintf(path, sizeof path, "%s/%s.%s", res, name, ext) >= int(sizeof path)) return 0;
    plat_SetControlImage(c, path);
    plat_ShowControl(c, true);
    return 0;
}

void util_SetWindowTitle(WindowRef w, const char* text) { plat_SetWindowTitle(w, text); }

int util_SetTitle(WindowRef w, const char* text) {
    if (!w) return paramErr;
    char buf[256];
    snprintf(buf, sizeof buf, "%s", text ? text : "");   // at most 255 bytes, as a short title
    plat_SetWindowTitle(w, buf);
    return noErr;
}

int util_SetPort(WindowRef w) { return w ? noErr : paramErr; }

int util_EnableMenuItem(short menuId, int item, bool enable) { return plat_EnableMenuItem(menuId, item, enable); }

void util_SetRect(Rect* r, int left, int top, int right, int bottom) {
    if (!r) return;
    r->left = int16_t(left);
    r->top = int16_t(top);
    r->right = int16_t(right);
    r->bottom = int16_t(bottom);
}

ControlActionProc util_InstallAction(WindowRef w, int id, ControlActionProc proc) {
    ControlRef c = find(w, id);
    if (!c) return nullptr;
    plat_SetControlAction(c, proc);
    return proc;
}

bool util_MessageBox(bool withCancel, const char* text) { return plat_MessageBox(withCancel, text); }
