// tools_window.cpp - building the Tools window and its drawers, their placement, the drawer
// toggle, the tab control and the enable rules of the picture- and layer-dependent controls.
#include "tools_window.h"

#include <cstdio>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "drawers.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "navigation.h"
#include "picture_files.h"
#include "snap_crop.h"
#include "switching.h"
#include "theme_library.h"
#include "util_controls.h"
#include "write_back.h"

WindowRef dialog = nullptr;
WindowRef drawer_text = nullptr;
WindowRef drawer_filter = nullptr;
WindowRef drawer_color = nullptr;
WindowRef drawer_extras = nullptr;
WindowRef drawer_alpha = nullptr;
int centerimage = kAnchorCentre;
int exportQuality = 3;
int scaleLocked = 1;
int16_t lastTabIndex = 0;
ControlActionProc scaleControlActionUPP = nullptr;
ControlActionProc rotateControlActionUPP = nullptr;
ControlActionProc scaleLayerXControlActionUPP = nullptr;
ControlActionProc scaleLayerYControlActionUPP = nullptr;
ControlActionProc alphaControlActionUPP = nullptr;

namespace {


void SetAnchorButtons() {
    for (int id = kAnchorFirst; id <= kAnchorLast; ++id) util_SetControl(dialog, id, id == centerimage ? 1 : 0);
}

bool SlotOneInUse() { return texImages[1].texture != 0; }

// Number of the command "pNNN", -1 when code is not of that form.
int CommandNumber(OSType code) {
    char t[5];
    plat_FourCCText(code, t);
    if (t[0] != 'p' || t[1] < '0' || t[1] > '9' || t[2] < '0' || t[2] > '9' || t[3] < '0' || t[3] > '9') return -1;
    return (t[1] - '0') * 100 + (t[2] - '0') * 10 + (t[3] - '0');
}

}  // namespace

bool CreateDialog() {
    IBNibRef nib = plat_CreateNibReference("main");
    if (!nib) return false;
    struct {
        const char* name;
        WindowRef* out;
    } windows[] = {{"Tools", &dialog},          {"DrawerText", &drawer_text},     {"DrawerFilter", &drawer_filter},
                   {"DrawerColors", &drawer_color}, {"DrawerExtras", &drawer_extras}, {"DrawerAlpha", &drawer_alpha}};
    for (auto& w : windows) {
        if (plat_CreateWindowFromNib(nib, w.name, w.out) != noErr) {
            plat_DisposeNibReference(nib);
            return false;
        }
    }
    plat_DisposeNibReference(nib);

    InstallTabHandler();
    plat_ShowWindow(dialog);
    InitValues();
    EnableSubControls();
    EnableSubLayerControls(false);

    WindowRef drawers[] = {drawer_text, drawer_filter, drawer_color, drawer_extras, drawer_alpha};
    for (WindowRef d : drawers) {
        plat_SetWindowAlpha(d, 0.95f);
        plat_SetDrawerParent(d, dialog);
    }
    InitText();
    InitFilter();
    InitColors();
    InitExtras();
    InitAlpha();
    return true;
}

void CloseDialog() {}

bool InitValues() {
    util_SetSegmentedControl(dialog, kModeSegments, allThemes ? 2 : 1);
    util_SetControl(dialog, kAspectLockCheck, scaleLocked);
    util_SetControl(dialog, kSnapNewCheck, snapActive);
    util_FillThemeMenu(dialog, kThemePopup, themeFolder, currentTheme, THEME_EXT);
    themeLoaded = false;
    if (!HandleThemeChange(false) && bootComplete) return false;   // the user kept the work
    util_ShowControl(dialog, kCropButton, true);
    util_ShowControl(dialog, kEndCropButton, false);
    util_EnableControl(dialog, kRestoreButton, false);
    SetAnchorButtons();
    if (HasValidLayer()) {
        PositionImage();
        MarkModified();
        RenderImages(true, -1.0f);
    }
    scaleControlActionUPP = util_InstallAction(dialog, kZoomSlider, LiveHandleScale);
    rotateControlActionUPP = util_InstallAction(dialog, kRotateSlider, LiveHandleRotate);
    scaleLayerXControlActionUPP = util_InstallAction(dialog, kScaleXSlider, LiveHandleScaleLayerX);
    alphaControlActionUPP = util_InstallAction(dialog, kOpacitySlider, LiveHandleAlphaLayer);
    scaleLayerYControlActionUPP = util_InstallAction(dialog, kScaleYSlider, LiveHandleScaleLayerY);
    util_InstallAction(dialog, kRotateArrows, RotateActionProc);
    RenderImages(true, -1.0f);
    return true;
}

void DialogEvent(OSType code) {
    if (!bootComplete) return;
    int n = CommandNumber(code);
    if (code == FourCC("pAll") || code == FourCC("pPre")) {
        ChangePictureMode(code == FourCC("pAll") ? 1 : 0);
        return;
    }
    if (n >= kAnchorFirst && n <= kAnchorLast) {
        centerimage = n;
        SetAnchorButtons();
        if (HasValidLayer()) {
            PositionImage();
            MarkModified();
            RenderImages(true, -1.0f);
        }
        return;
    }
    switch (n) {
    case 100: ChooseTheme(); break;
    case 101: HandlePictureChange(false); break;
    case 102: HandleScaleFactor(-1.0f); break;
    case 103: UndoMain(); break;
    case 105: Save(); break;
    case 106:
        currentLayer = util_GetControl(dialog, kLayerPopup);
        EnableSubLayerControls(true);
        EnableSubControls();
        if (HasValidLayer()) ShowLayerTitle();
        break;
    case 107: HandleRotate(666.0f); break;
    case 109: HandleDeleteLayer(); break;
    case 110: HandleMoveLayer(true); break;
    case 111: HandleMoveLayer(false); break;
    case 112: HandleScaleLayerX(-1.0f); break;
    case 114: HandleTransparency(-1.0f); break;
    case 116: HandleReset(); break;
    case 122: HandleScaleLayerY(-1.0f); break;
    case 125:
        exportQuality = util_GetControl(dialog, kQualityPopup);
        if (exportQuality < 1 || exportQuality > 5) {
            exportQuality = 3;
            util_SetControl(dialog, kQualityPopup, 3);
        }
        break;
    case 151: DuplicateLayer(-1, true); break;
    case 192:
        DeleteTextures(1);
        RenderImages(true, -1.0f);
        break;
    case 290: snapActive = util_GetControl(dialog, kSnapNewCheck); break;
    case 291: scaleLocked = util_GetControl(dialog, kAspectLockCheck); break;
    case 301: ExportPicture(); break;
    case 556: ToggleDrawers(drawer_color); break;
    case 557: ToggleDrawers(drawer_text); break;
    case 558: ToggleDrawers(drawer_alpha); break;
    case 559: ToggleDrawers(drawer_filter); break;
    case 560: ToggleDrawers(drawer_extras); break;
    case 561: SetSnapLock(util_GetControl(dialog, kSnapLockCheck) != 0); break;
    case 800: ApplyFX(currentLayer, 1, 180); break;
    case 801: ApplyFX(currentLayer, 2, 180); break;
    case 802: HandleFit(); break;
    case 840: LoadProject(nullptr, true); break;
    case 841: SaveProject(nullptr); break;
    case 842: SaveProject(currProjectSaved ? currProject : nullptr); break;
    case 843: LoadProject(nullptr, false); break;
    case 921: EnableCropArea(true); break;
    case 922: EnableCropArea(false); break;
    default: break;   // 150 and 999 do nothing
    }
}

void EnableControls(bool enable) {
    bool T = themeLoaded, L = SlotOneInUse();
    for (int id : {kPicturePopup, kZoomSlider, kRestoreButton}) util_EnableControl(dialog, id, enable);
    util_EnableControl(dialog, kSaveAsButton, enable && T && L);
    util_EnableControl(dialog, kSaveButton, enable && T && L);
    util_EnableControl(dialog, kImportButton, enable && T);
    util_EnableMenuItem(kMenuProject, 2, enable && T);
    util_EnableMenuItem(kMenuProject, 3, enable && T && L);
    util_EnableMenuItem(kMenuProject, 4, enable && T && L);
    for (int id : {kExportButton, kQualityPopup}) util_EnableControl(dialog, id, enable && L);
    util_EnableControl(dialog, kWriteButton, enable && L && T);   // only a theme picture is written back
    util_SetControl(dialog, kQualityPopup, exportQuality);
    EnableSubControls();
    RenderImages(true, -1.0f);
}

void EnableSubControls() {
    bool L = SlotOneInUse(), T = themeLoaded;
    for (int id : {kExportButton, kQualityPopup}) util_EnableControl(dialog, id, L);
    util_EnableControl(dialog, kWriteButton, L && T);   // only a theme picture is written back
    util_EnableControl(dialog, kSaveAsButton, L && T);
    util_EnableControl(dialog, kSaveButton, L && T);
    util_EnableControl(dialog, kImportButton, T);
    util_EnableMenuItem(kMenuProject, 2, T);
    util_EnableMenuItem(kMenuProject, 3, L && T);
    util_EnableMenuItem(kMenuProject, 4, L && T);
    for (int id : {kLayerPopup, kDeleteButton, kResetButton, kRotateSlider, kRotateText, kRotateArrows, kScaleXSlider,
                   kScaleXText, kOpacitySlider, kTransparencyText, kCropButton, kEndCropButton, kScaleYSlider,
                   kScaleYText, kAspectLockCheck})
        util_EnableControl(dialog, id, L);
    util_EnableControl(dialog, kDuplicateButton, L && HasValidLayer());   // a copy needs a selected layer
    TextDrawerControlsEnable(L);
    ColorDrawerControlsEnable(L);
    ExtrasDrawerControlsEnable(L);
    AlphaDrawerControlsEnable(L);
    FilterDrawerControlsEnable(L);
    EnableSubLayerControls(L);
    if (L && HasValidLayer()) {
        const TexImage& t = texImages[currentLayer];
        char text[32];
        util_SetControl(dialog, kRotateSlider, t.rotZ);
        util_SetInt(dialog, kRotateText, t.rotZ);
        int sx = int(t.scaleX * 100), sy = int(t.scaleY * 100), op = int(t.alpha * 100);
        util_SetControl(dialog, kScaleXSlider, sx);
        snprintf(text, sizeof text, "%d%%", sx);
        util_SetText(dialog, kScaleXText, text);
        util_SetControl(dialog, kOpacitySlider, op);
        snprintf(text, sizeof text, "%d%%", 100 - op);
        util_SetText(dialog, kTransparencyText, text);
        util_SetControl(dialog, kScaleYSlider, sy);
        snprintf(text, sizeof text, "%d%%", sy);
        util_SetText(dialog, kScaleYText, text);
    }
}

void EnableSubLayerControls(bool enable) {
    if (currentLayer == 0 || !SlotOneInUse()) {
        util_EnableControl(dialog, kUpButton, false);
        util_EnableControl(dialog, kDownButton, false);
        return;
    }
    bool up = enable && currentLayer < kLastLayer && texImages[currentLayer + 1].texture != 0;
    bool down = enable && currentLayer - 1 > 0 && currentLayer - 1 <= kLastLayer && texImages[currentLayer - 1].texture != 0;
    util_EnableControl(dialog, kUpButton, up);
    util_EnableControl(dialog, kDownButton, down);
}

void UpdateDialogPosition() {
    Rect canvas, tools;
    if (!window || !dialog) return;
    if (plat_GetWindowBounds(window, &canvas) != noErr || plat_GetWindowBounds(dialog, &tools) != noErr) return;
    int width = tools.right - tools.left;
    plat_MoveWindow(dialog, canvas.left - width - 3, canvas.top - 10);
}

void ToggleDrawers(WindowRef drawer) {
    WindowRef order[] = {drawer_color, drawer_text, drawer_alpha, drawer_filter, drawer_extras};
    for (WindowRef d : order)
        if (d != drawer && plat_IsDrawerOpen(d)) plat_CloseDrawer(d);
    if (plat_IsDrawerOpen(drawer)) plat_CloseDrawer(drawer);
    else plat_OpenDrawer(drawer);
}

void InstallTabHandler() {
    ControlRef tab = nullptr;
    if (!util_GetControlRef(dialog, kTabControl, &tab)) return;
    plat_SetControlEventHandler(tab, MyTabEventHandlerProc, dialog);
    plat_SetControlValue(tab, 1);
    MySwitchItemOfTabControl(dialog, tab, 1);
}

void MyTabEventHandlerProc(ControlRef tab, void* userData) {
    int16_t value = int16_t(plat_GetControlValue(tab));
    if (value == lastTabIndex) return;
    MySwitchItemOfTabControl(static_cast<WindowRef>(userData), tab, value);
    lastTabIndex = value;
}

void MySwitchItemOfTabControl(WindowRef w, ControlRef tab, int index) {
    const int panes[] = {kTabPane1, kTabPane2};
    for (int i = 0; i < 2; ++i) {
        if (i + 1 == index) {
            plat_ClearKeyboardFocus(w);
            util_ShowControl(w, panes[i], true);
        } else {
            util_ShowControl(w, panes[i], false);
        }
    }
    plat_RedrawControl(tab);
}
