// dispatch.cpp - routing commands, keys, mouse and menu tracking; document events.
#include "dispatch.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "drawers.h"
#include "gl_context.h"
#include "history.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "live_video.h"
#include "navigation.h"
#include "preferences.h"
#include "preview_window.h"
#include "switching.h"
#include "textures.h"
#include "theme_library.h"
#include "tools_window.h"
#include "update_check.h"
#include "util_controls.h"
#include "util_files.h"

const char* const kQuickGuideURL = "help/guide.html";
const char* const kFaqURL = "help/faq.html";
const char* const kMakerURL = "help/about.html";
const char* const kAddOnsURL = "help/add-ons.html";
const char* const kThemesURL = "help/themes.html";

std::string HelpPageURL(const char* page) {
    char path[kPathSize];
    if (!util_ResourcePath(page, path)) return "";
    // A file address: every byte outside the unreserved set and "/" is percent-encoded.
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; ++p) {
        if (isalnum(*p) || strchr("/-._~", *p)) url += char(*p);
        else url += {'%', kHex[*p >> 4], kHex[*p & 15]};
    }
    return url;
}

const EventTypeSpec kAppEventTypes[16] = {
    {kEventClassCommand, kEventCommandProcess},   {kEventClassCommand, kEventCommandUpdateStatus},
    {kEventClassMouse, kEventMouseDown},          {kEventClassMouse, kEventMouseUp},
    {kEventClassMouse, kEventMouseDragged},       {kEventClassMouse, kEventMouseMoved},
    {kEventClassMouse, kEventMouseEntered13},     {kEventClassMouse, kEventMouseWheelMoved},
    {kEventClassKeyboard, kEventRawKeyDown},      {kEventClassKeyboard, kEventRawKeyRepeat},
    {kEventClassMenu, kEventMenuTargetItem},      {kEventClassMenu, kEventMenuEndTracking},
    {kEventClassMenu, kEventMenuBeginTracking},   {kEventClassTextInput, kEventTextInputUpdateActiveInputArea},
    {kEventClassTextInput, kEventTextInputUnicodeText}, {kEventClassApplication, kEventAppActivated},
};

namespace {

int gCommandMenu = kMenuOptions;   // menu of the command being run (check marks go there)

int Digits(OSType code) { return int((code >> 16 & 0xFF) - '0') * 100 + int((code >> 8 & 0xFF) - '0') * 10 + int((code & 0xFF) - '0'); }

void ToggleOption(int* setting, int item) {
    *setting = !*setting;
    plat_CheckMenuItem(gCommandMenu, item, *setting != 0);
}

#define ROUTE(code, name, body) {FourCC(code), FourCC(code), name, [](OSType) { body; }}
#define RANGE(a, b, name, body) {FourCC(a), FourCC(b), name, [](OSType c) { (void)c; body; }}

const CommandRoute kGlobal[] = {
    ROUTE("pwop", "LoadProject", LoadProject(nullptr, true)),
    ROUTE("pwip", "LoadProject", LoadProject(nullptr, false)),
    ROUTE("pwsa", "SaveProject", SaveProject(currProject)),
    ROUTE("pwss", "SaveProject", SaveProject(nullptr)),
    ROUTE("pwex", "ExplodeProject", ExplodeProject(nullptr)),
    ROUTE("sFnt", "ToggleFontPreview", ToggleOption(&enableFontPreview, kItemFontPreview)),
    ROUTE("sOtc", "OpenTheme", OpenTheme()),
    ROUTE("sThe", "ToggleThemeExtension", ToggleThemeExtension(gCommandMenu)),
    ROUTE("sPrv", "TogglePreviews", ToggleOption(&previewEnabled, kItemPreviews)),
    ROUTE("undo", "HistoryUndo", HistoryUndo()),
    ROUTE("redo", "HistoryRedo", HistoryRedo()),
    ROUTE("welp", "CreateWelcomeDialog", CreateWelcomeDialog()),
    ROUTE("updt", "CheckVersionUpdate", CheckVersionUpdate(false)),
    ROUTE("help", "OpenQuickGuide", plat_OpenURL(HelpPageURL(kQuickGuideURL).c_str())),
    ROUTE("faqs", "OpenFAQ", plat_OpenURL(HelpPageURL(kFaqURL).c_str())),
    ROUTE("mweb", "OpenMakerPage", plat_OpenURL(HelpPageURL(kMakerURL).c_str())),
    ROUTE("mst1", "OpenAddOnsPage", plat_OpenURL(HelpPageURL(kAddOnsURL).c_str())),
    ROUTE("mth1", "OpenThemesPage", plat_OpenURL(HelpPageURL(kThemesURL).c_str())),
};

const CommandRoute kExtras[] = {
    ROUTE("p117", "HandleShadow", HandleShadow(-1)),
    ROUTE("p160", "HandleRotateShadow", HandleRotateShadow(-1.0f)),
    ROUTE("p180", "HandleDarkShadow", HandleDarkShadow(-1.0f)),
    ROUTE("p182", "HandleReflectionLayer", HandleReflectionLayer()),
    RANGE("p260", "p261", "HandleFrame", HandleFrame(-1)),
    ROUTE("p263", "HandleColorPicker", HandleColorPicker()),
    RANGE("p543", "p544", "HandleLiveVideo", HandleLiveVideo()),
};

const CommandRoute kColors[] = {
    ROUTE("p600", "HandleHue", HandleHue(-1.0f)),
    ROUTE("p602", "HandleSaturation", HandleSaturation(-1.0f)),
    ROUTE("p604", "HandleLightness", HandleLightness(666.0f)),
    ROUTE("p152", "HandleLayerFill", HandleLayerFill(true)),
};

const CommandRoute kText[] = {
    ROUTE("p567", "GetFontSelection", GetFontSelection()),
    ROUTE("p568", "GetOutline", GetOutline()),
    ROUTE("p569", "CreateText", CreateText(false)),
    ROUTE("p573", "CreateText", CreateText(true)),
    ROUTE("p570", "GetColor", GetColor()),
    ROUTE("p571", "GetSize", GetSize()),
};

const CommandRoute kFilter[] = {
    ROUTE("p575", "FilterConfirm", FilterConfirm()),
    ROUTE("p576", "FilterUndo", FilterUndo()),
    ROUTE("p567", "SetCurrentFilter", SetCurrentFilter()),
};

const CommandRoute kAlpha[] = {
    ROUTE("p205", "ApplyAlpha", ApplyAlpha()),
    ROUTE("p206", "AlphaActivate", AlphaActivate(0)),
    ROUTE("p207", "AlphaFit", AlphaFit()),
    RANGE("p300", "p323", "AlphaActivate", AlphaActivate(Digits(c) - 299)),
};

const CommandRoute kTools[] = {
    RANGE("p100", "p103", "DialogEvent", DialogEvent(c)), RANGE("p105", "p107", "DialogEvent", DialogEvent(c)),
    RANGE("p109", "p112", "DialogEvent", DialogEvent(c)), RANGE("p114", "p114", "DialogEvent", DialogEvent(c)),
    RANGE("p116", "p116", "DialogEvent", DialogEvent(c)), RANGE("p122", "p122", "DialogEvent", DialogEvent(c)),
    RANGE("p125", "p125", "DialogEvent", DialogEvent(c)), RANGE("p150", "p151", "DialogEvent", DialogEvent(c)),
    RANGE("p192", "p192", "DialogEvent", DialogEvent(c)), RANGE("p280", "p288", "DialogEvent", DialogEvent(c)),
    RANGE("p290", "p291", "DialogEvent", DialogEvent(c)), RANGE("p301", "p301", "DialogEvent", DialogEvent(c)),
    RANGE("p556", "p561", "DialogEvent", DialogEvent(c)), RANGE("p800", "p802", "DialogEvent", DialogEvent(c)),
    RANGE("p840", "p843", "DialogEvent", DialogEvent(c)), RANGE("p921", "p922", "DialogEvent", DialogEvent(c)),
    RANGE("pAll", "pAll", "DialogEvent", DialogEvent(c)), RANGE("pPre", "pPre", "DialogEvent", DialogEvent(c)),
    RANGE("p999", "p999", "DialogEvent", DialogEvent(c)),
};

const CommandRoute kWelcome = {0, 0xFFFFFFFFu, "WelcomeDialogEvent", [](OSType c) { WelcomeDialogEvent(c); }};

template <size_t N>
const CommandRoute* Find(const CommandRoute (&table)[N], OSType code) {
    for (const CommandRoute& r : table)
        if (code >= r.first && code <= r.last) return &r;
    return nullptr;
}

bool TrackedPopup(int id) { return id == kThemePopup || id == kPicturePopup || id == kLayerPopup; }

void Nudge(int dx, int dy) {
    currMouse = 1;
    MoveTexture(dx, dy);
    currMouse = 0;
}

void ToggleDrawerCheck(int id) {
    util_SetControl(drawer_extras, id, util_GetControl(drawer_extras, id) ? 0 : 1);
}

void HandleMenuTracking(const Event* e) {
    if (e->kind == kEventMenuBeginTracking) {
        currMenuID = 0;
        for (int id : {kThemePopup, kPicturePopup, kLayerPopup})
            if (util_GetMenu(dialog, id) == e->menu && e->menu) currMenuID = int16_t(id);
        if (TrackedPopup(currMenuID)) CreatePreview(currMenuID);
    } else if (e->kind == kEventMenuTargetItem) {
        if (!TrackedPopup(currMenuID) || e->menuItemIndex == 0) return;
        char text[kPathSize] = "";
        util_GetMenuItemByIndex(dialog, currMenuID, e->menuItemIndex, text);
        if (currMenuID == kPicturePopup) util_GetMenuItem(dialog, kThemePopup, currentTheme);
        ShowPreview(e->menuItemIndex, text);
    } else if (e->kind == kEventMenuEndTracking) {
        currMenuID = 0;
        DestroyPreview();
    }
}

}  // namespace

const CommandRoute* FindCommandRoute(WindowRef w, OSType code) {
    if (const CommandRoute* r = Find(kGlobal, code)) return r;
    if (!w) return nullptr;
    if (w == welcomeDialog) return &kWelcome;
    if (w == drawer_extras) return Find(kExtras, code);
    if (w == drawer_color) return Find(kColors, code);
    if (w == drawer_text) return Find(kText, code);
    if (w == drawer_filter) return Find(kFilter, code);
    if (w == drawer_alpha) return Find(kAlpha, code);
    if (w == dialog) return Find(kTools, code);
    return nullptr;
}

void DispatchCommand(WindowRef w, OSType code, int menuId) {
    gCommandMenu = menuId ? menuId : kMenuOptions;
    if (const CommandRoute* r = FindCommandRoute(w, code)) r->run(code);
}

void ClosePicture() {
    if (!ConfirmDiscardWork()) return;
    themeLoaded = false;
    HandleReset();
    DeleteTextures(0);
    char path[kPathSize];
    if (!util_ResourcePath("first_window2852.png", path)) return;
    if (texImages[0].texture) return;
    LoadTexture(path, -1, true, false);
    RenderImages(true, -1.0f);
    util_SetWindowTitle(window, "");
}

void HandleKey(uint32_t code, uint32_t mods) {
    const bool cmd = mods & cmdKey, option = mods & optionKey, valid = HasValidLayer();
    if (code > 126) {
        printf("\nkey pressed %d", int(code));
        fflush(stdout);
        return;
    }
    switch (code) {
    case 0: ToggleMultisample(); break;
    case 1:
        if (cmd) DialogEvent(FourCC("p301"));
        else if (valid) {
            ToggleDrawerCheck(kShadowCheck);
            HandleShadow(-1);
        }
        break;
    case 2: if (cmd && valid) DuplicateLayer(-1, true); break;
    case 3: if (valid) ApplyFX(currentLayer, 2, 180); break;
    case 6: if (cmd) (mods & shiftKey) ? HistoryRedo() : HistoryUndo(); break;
    case 8: HandleCenter(1); break;
    case 11:
        if (!valid) break;
        if (cmd) DialogEvent(FourCC("p103"));
        else {
            ToggleDrawerCheck(kFrameCheck);
            HandleFrame(-1);
        }
        break;
    case 13: if (cmd) ClosePicture(); break;
    case 15: HandleReflectionLayer(); break;
    case 16: if (cmd) HistoryRedo(); break;
    case 17: if (cmd && valid) DialogEvent(FourCC("p105")); break;
    case 31: HandleCenter(0); break;
    case 37: HandleLiveVideo(); break;
    case 46: if (valid) ApplyFX(currentLayer, 1, 180); break;
    case 51: HandleReset(); break;
    case 69:
    case 78: {
        double z = double(scaleFactor) + (code == 69 ? 0.03 : -0.03);
        scaleFactor = float(z);
        if (scaleFactor > 2.0f) scaleFactor = 2.0f;
        if (scaleFactor < 1.0f) scaleFactor = 1.0f;
        HandleScaleFactor(scaleFactor);
        break;
    }
    case 116: if (valid) DialogEvent(FourCC("p110")); break;
    case 121: if (valid) DialogEvent(FourCC("p111")); break;
    case 117: if (valid) HandleDeleteLayer(); break;
    case 123:
    case 124:
        if (!valid) break;
        if (cmd) {
            texImages[currentLayer].rotZ += code == 123 ? -1 : 1;
            HandleRotate(float(texImages[currentLayer].rotZ));
        } else {
            Nudge(code == 123 ? -1 : 1, 0);
        }
        break;
    case 125:
    case 126:
        if (!valid) break;
        if (cmd) {
            double s = double(texImages[currentLayer].scaleX) + (code == 126 ? 0.01 : -0.01);
            if (s > 5.0) s = 5.0;
            if (s < 0.1) s = 0.1;
            HandleScaleLayerX(float(s));
            HandleScaleLayerY(float(s));
        } else if (option) {
            DialogEvent(FourCC(code == 126 ? "p110" : "p111"));
        } else {
            Nudge(0, code == 126 ? -1 : 1);
        }
        break;
    default:
        printf("\nkey pressed %d", int(code));
        fflush(stdout);
        break;
    }
}

int AppEventHandler(EventHandlerCallRef next, const Event* e, void*) {
    HistoryEventScope history(e);
    switch (e->eventClass) {
    case kEventClassCommand: {
        if (e->kind != kEventCommandProcess) break;
        window_evt = e->window;
        int r = plat_CallNextEventHandler(next, e);
        if (r != eventNotHandledErr) return r;
        plat_SetArrowCursor();
        DispatchCommand(window_evt, e->command, e->menuId);
        break;
    }
    case kEventClassKeyboard: {
        if (e->kind != kEventRawKeyDown && e->kind != kEventRawKeyRepeat) break;
        int r = plat_CallNextEventHandler(next, e);
        if (r != eventNotHandledErr) return r;
        HandleKey(e->keyCode, e->modifiers);
        break;
    }
    case kEventClassMouse: {
        if (e->kind != kEventMouseDown && e->kind != kEventMouseUp && e->kind != kEventMouseDragged &&
            e->kind != kEventMouseWheelMoved)
            break;
        window_evt = e->window;
        int r = plat_CallNextEventHandler(next, e);
        if (r != eventNotHandledErr) return r;
        if (window_evt && window_evt == window) HandleCanvasMouse(e);
        break;
    }
    case kEventClassMenu:
        HandleMenuTracking(e);
        break;
    case kEventClassTextInput:
        return plat_CallNextEventHandler(next, e);
    default:
        break;
    }
    return eventNotHandledErr;
}

// ---------------------------------------------------------------------------------------------
int InstallAppleEventHandlers() {
    long response = 0;
    int err = plat_Gestalt(FourCC("evnt"), &response);
    if (err != noErr) return err;
    plat_AEInstallEventHandler(FourCC("aevt"), FourCC("oapp"), HandleOapp);
    plat_AEInstallEventHandler(FourCC("aevt"), FourCC("odoc"), HandleOdoc);
    plat_AEInstallEventHandler(FourCC("aevt"), FourCC("pdoc"), HandlePdoc);
    plat_AEInstallEventHandler(FourCC("aevt"), FourCC("quit"), HandleQuit);
    return noErr;
}

int HandleOapp(const AEDocumentList*) { return errAEEventNotHandled; }
int HandlePdoc(const AEDocumentList*) { return errAEEventNotHandled; }
int HandleQuit(const AEDocumentList*) { return errAEEventNotHandled; }

int HandleOdoc(const AEDocumentList* list) {
    if (!list) return errAEDescNotFound;
    if (list->items.empty()) return noErr;
    char path[kPathSize];
    int err = plat_DocumentItemToPath(list->items[0], path, sizeof path);
    if (err != noErr) return err;
    LoadProject(path, true);
    return noErr;
}
