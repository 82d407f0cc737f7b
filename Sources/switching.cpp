// switching.cpp - changing the picture or the theme: the questions before work is lost, the start
// picture before start-up completes, and the canvas title of the selected layer.
#include "switching.h"

#include <cstdio>
#include <cstring>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
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

}  // namespace

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

void HandleThemeChange(bool silent) {
    if (!silent && !HandlePictureChange(false)) return;
    char item[kPathSize] = "";
    if (util_GetMenuItem(dialog, kThemePopup, item)) snprintf(currentTheme, sizeof currentTheme, "%s", item);
    if (oldThemes != allThemes) {
        util_FillThemeMenu(dialog, kThemePopup, themeFolder, currentTheme, THEME_EXT);
        if (util_GetMenuItemByIndex(dialog, kThemePopup, 1, item)) snprintf(currentTheme, sizeof currentTheme, "%s", item);
        util_SetControl(dialog, kThemePopup, 1);
    }
    DeleteTextures(0);
    bool valid = util_IsValid(themeFolder, currentTheme);
    if (valid) {
        util_FillPictureMenu(dialog, kPicturePopup, themeFolder, currentTheme, currentPicture);
        if (oldThemes != allThemes) {
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
}

void ShowLayerTitle() {
    if (!HasValidLayer()) return;
    char item[kPathSize] = "", title[kPathSize + 64];
    util_GetMenuItemByIndex(dialog, kLayerPopup, currentLayer, item);
    snprintf(title, sizeof title, "%s %dx%d", item, texImages[currentLayer].width, texImages[currentLayer].height);
    util_SetWindowTitle(window, title);
}
