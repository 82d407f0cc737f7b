// switching.cpp - changing the picture or the theme: the questions before work is lost and what a
// cancel puts back, the start picture before start-up completes, the picture of the last run, and
// the canvas title of the selected layer.
#include "switching.h"

#include <cstdio>
#include <cstring>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "preferences.h"
#include "textures.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

const char* kLoseLayers = "Any change and layers will be lost, are you sure to continue?";
const char* kFlatten = "Image will be flattened, continue?";

bool PicturePath(char* out) {
    const char* images = allThemes ? "/Contents/Images/" : "/Contents/Images/Editable_Images/";
    int n = snprintf(out, kPathSize, "%s%s%s%s%s", themeFolder, currentTheme, THEME_EXT, images, currentPicture);
    return n > 0 && n < kPathSize;
}

// What a picture-mode or theme-extension change alters before its question is asked.
struct SwitchState {
    int allThemes, oldThemes, supportPW5;
    bool themeLoaded;
};

SwitchState CurrentState() { return {allThemes, oldThemes, supportPW5, themeLoaded}; }

// Puts back what a cancelled switch had already changed: the settings and flags, the extension
// with its check mark in menu, the mode segments and the theme popup.
void PutBack(const SwitchState& s, int menu) {
    bool relist = s.allThemes != allThemes || s.supportPW5 != supportPW5;
    allThemes = s.allThemes;
    oldThemes = s.oldThemes;
    supportPW5 = s.supportPW5;
    themeLoaded = s.themeLoaded;
    SetThemeExtension();
    plat_CheckMenuItem(menu, kItemShortExtension, supportPW5 != 0);
    util_SetSegmentedControl(dialog, kModeSegments, allThemes ? 2 : 1);
    if (relist) {
        // These themes were listed before, so no empty-folder message; the fill may not rename
        // the current theme either, hence the copy.
        char keep[kPathSize];
        snprintf(keep, sizeof keep, "%s", currentTheme);
        util_ClearMenu(dialog, kThemePopup);
        total_themes = 0;
        sub_util_FillThemeMenu(dialog, kThemePopup, themeFolder, themeFolder, keep, THEME_EXT);
    }
    util_SelectMenuByString(dialog, kThemePopup, currentTheme);
}

}  // namespace

bool ConfirmDiscardWork() {
    if (!toSave || !texImages[1].texture) return true;
    return util_MessageBox(true, kLoseLayers);
}

bool HandlePictureChange(bool silent) {
    if (!silent) {
        const char* question = nullptr;
        if (toSave && texImages[1].texture) question = kLoseLayers;
        else if (!toSave && texImages[2].texture) question = kFlatten;
        if (question && !util_MessageBox(true, question)) {
            util_SelectMenuByString(dialog, kPicturePopup, currentPicture);
            return false;
        }
    }
    if (kickStart && !bootComplete) {
        char path[kPathSize];
        if (!util_ResourcePath("first_window2852.png", path)) return false;
        if (texImages[0].texture) return true;
        LoadTexture(path, -1, true, false);
        RenderImages(true, -1.0f);
        util_SetWindowTitle(window, "");
        return true;
    }
    char item[kPathSize] = "";
    if (util_GetMenuItem(dialog, kPicturePopup, item)) snprintf(currentPicture, sizeof currentPicture, "%s", item);
    DeleteTextures(0);
    char path[kPathSize];
    if (PicturePath(path)) LoadTexture(path, -1, true, false);
    UpdateDialogPosition();
    UpdateContext();
    RenderImages(true, -1.0f);
    if (bootComplete) kickStart = false;
    toSave = false;
    ShowLayerTitle();
    themeLoaded = true;
    EnableSubControls();
    return true;
}

bool HandleThemeChange(bool silent) {
    if (!silent && !HandlePictureChange(false)) {
        util_SelectMenuByString(dialog, kThemePopup, currentTheme);
        return false;
    }
    char item[kPathSize] = "";
    if (util_GetMenuItem(dialog, kThemePopup, item)) snprintf(currentTheme, sizeof currentTheme, "%s", item);
    // A rebuild chooses the first theme and picture, except that before start-up completes the
    // theme and picture of the last run stay chosen while they are still installed.
    const bool rebuild = oldThemes != allThemes;
    bool keepLast = false;
    if (rebuild) {
        util_FillThemeMenu(dialog, kThemePopup, themeFolder, currentTheme, THEME_EXT);
        keepLast = !bootComplete && util_SelectMenuByString(dialog, kThemePopup, currentTheme);
        if (!keepLast) {
            if (util_GetMenuItemByIndex(dialog, kThemePopup, 1, item))
                snprintf(currentTheme, sizeof currentTheme, "%s", item);
            util_SetControl(dialog, kThemePopup, 1);
        }
    }
    DeleteTextures(0);
    bool valid = util_IsValid(themeFolder, currentTheme);
    if (valid) {
        util_FillPictureMenu(dialog, kPicturePopup, themeFolder, currentTheme, currentPicture);
        if (rebuild && !(keepLast && util_SelectMenuByString(dialog, kPicturePopup, currentPicture))) {
            if (util_GetMenuItemByIndex(dialog, kPicturePopup, 1, item))
                snprintf(currentPicture, sizeof currentPicture, "%s", item);
            util_SetControl(dialog, kPicturePopup, 1);
        }
        HandlePictureChange(false);
    }
    toSave = false;
    EnableControls(valid);
    RenderImages(true, -1.0f);
    ShowLayerTitle();
    oldThemes = allThemes;
    return true;
}

bool ChangePictureMode(int mode) {
    SwitchState before = CurrentState();
    oldThemes = -1;   // forces the rebuild of both lists
    allThemes = mode;
    themeLoaded = false;
    if (HandleThemeChange(false)) return true;
    PutBack(before, kMenuOptions);
    return false;
}

bool ChooseTheme() {
    bool loaded = themeLoaded;
    themeLoaded = true;
    if (HandleThemeChange(false)) return true;
    themeLoaded = loaded;
    return false;
}

bool ToggleThemeExtension(int menu) {
    SwitchState before = CurrentState();
    supportPW5 = !supportPW5;
    plat_CheckMenuItem(menu, kItemShortExtension, supportPW5 != 0);
    SetThemeExtension();
    if (InitValues()) return true;
    PutBack(before, menu);
    return false;
}

void RestoreLastPicture(const char* theme, const char* picture) {
    char shown[kPathSize] = "", path[kPathSize];
    if (!theme || !picture || !*picture || strcmp(currentTheme, theme) != 0) return;
    if (!util_GetMenuItem(dialog, kPicturePopup, shown) || strcmp(shown, picture) != 0) return;
    snprintf(currentPicture, sizeof currentPicture, "%s", shown);
    if (!PicturePath(path) || !util_exists(path)) return;
    kickStart = false;   // a real picture takes the start picture's place
    HandlePictureChange(true);
    if (texImages[0].texture) return;
    // Unreadable: the start picture comes back, as on a start without a last picture.
    kickStart = true;
    themeLoaded = false;
    HandlePictureChange(true);
}

void ShowLayerTitle() {
    if (!HasValidLayer()) return;
    char item[kPathSize] = "", title[kPathSize + 64];
    util_GetMenuItemByIndex(dialog, kLayerPopup, currentLayer, item);
    snprintf(title, sizeof title, "%s %dx%d", item, texImages[currentLayer].width, texImages[currentLayer].height);
    util_SetWindowTitle(window, title);
}
