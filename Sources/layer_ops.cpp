// layer_ops.cpp - rotation, scale, opacity, zoom, alignment and stack order of the selected layer.
#include "layer_ops.h"

#include <cstdio>
#include <string>

#include "app_state.h"
#include "drawers.h"
#include "picture_files.h"
#include "pixel_ops.h"
#include "textures.h"
#include "theme_library.h"
#include "compositor.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

void SetPercentText(int id, int percent) {
    char text[32];
    snprintf(text, sizeof text, "%d%%", percent);
    util_SetText(dialog, id, text);
}

// Width, height and position of the drawn quad from both factors: the layer scales about the
// centre of its unscaled rectangle.
void RecomputeRect(TexImage& t) {
    t.width = int(float(t.texWidth) * t.scaleX);
    t.height = int(float(t.texHeight) * t.scaleY);
    t.posX = (t.texWidth - t.width) / 2 + t.originX;
    t.posY = (t.texHeight - t.height) / 2 + t.originY;
}

void ScaleAxis(bool horizontal, float v) {
    if (!HasValidLayer()) return;
    TexImage& t = texImages[currentLayer];
    int slider = horizontal ? kScaleXSlider : kScaleYSlider;
    float& scale = horizontal ? t.scaleX : t.scaleY;
    if (v != -1.0f) {
        scale = v;
        util_SetControl(dialog, slider, int(v * 100));
    } else {
        scale = float(util_GetControl(dialog, slider)) / 100.0f;
    }
    SetPercentText(horizontal ? kScaleXText : kScaleYText, int(100 * scale));
    // The user moved one slider with the aspect locked: the other axis follows.
    if (scaleLocked && v == -1.0f) ScaleAxis(!horizontal, scale);
    MarkModified();
    RecomputeRect(t);
    RenderImages(true, -1.0f);
}

}  // namespace

void HandleRotate(float v) {
    if (!HasValidLayer()) return;
    TexImage& t = texImages[currentLayer];
    if (v != 666.0f) {
        t.rotZ = int(v);
        util_SetControl(dialog, kRotateSlider, int(v));
    } else {
        t.rotZ = util_GetControl(dialog, kRotateSlider);
    }
    util_SetInt(dialog, kRotateText, t.rotZ);
    MarkModified();
    RenderImages(true, -1.0f);
}

void HandleScaleLayerX(float v) { ScaleAxis(true, v); }
void HandleScaleLayerY(float v) { ScaleAxis(false, v); }

void HandleTransparency(float v) {
    if (!HasValidLayer()) return;
    TexImage& t = texImages[currentLayer];
    if (v != -1.0f) {
        t.alpha = v;
        util_SetControl(dialog, kOpacitySlider, int(v * 100));
    } else {
        t.alpha = float(util_GetControl(dialog, kOpacitySlider)) / 100.0f;
    }
    SetPercentText(kTransparencyText, 100 - int(100 * t.alpha));
    MarkModified();
    RenderImages(true, -1.0f);
}

void HandleScaleFactor(float v) {
    if (v != -1.0f) {
        scaleFactor = v;
        util_SetControl(dialog, kZoomSlider, int(v * 100));
    } else {
        scaleFactor = float(util_GetControl(dialog, kZoomSlider)) / 100.0f;
    }
    SetPercentText(kZoomText, int(100 * scaleFactor));
    UpdateContext();
    MarkModified();
}

void HandleCenter(int mode) {
    centerimage = mode;
    for (int id = kAnchorFirst; id <= kAnchorLast; ++id) util_SetControl(dialog, id, id == centerimage ? 1 : 0);
    if (!HasValidLayer()) return;
    PositionImage();
    MarkModified();
    RenderImages(true, -1.0f);
}

void HandleMoveLayer(bool up) {
    if (!HasValidLayer()) return;
    int from = currentLayer, to = up ? currentLayer + 1 : currentLayer - 1;
    if (!SwapTextures(from, to)) return;
    char fromText[1024] = "", toText[1024] = "";
    util_GetMenuItemByIndex(dialog, kLayerPopup, from, fromText);
    util_GetMenuItemByIndex(dialog, kLayerPopup, to, toText);
    util_SetMenuItemText(dialog, kLayerPopup, from, false, toText);
    util_SetMenuItemText(dialog, kLayerPopup, to, true, fromText);
    currentLayer = to;
    MarkModified();
    EnableSubLayerControls(true);
    RenderImages(true, -1.0f);
}

void HandleDeleteLayer() {
    if (currentLayer <= 0) return;
    if (HasValidLayer()) RemoveLayerAndCompact(currentLayer);
    util_DeleteMenuItem(dialog, kLayerPopup, currentLayer);
    currentLayer = currentLayer - 1;
    util_SetControl(dialog, kLayerPopup, currentLayer);
    if (texImages[1].texture == 0) {
        util_ClearMenu(dialog, kLayerPopup);
        currentLayer = 0;
    }
    EnableSubControls();
    EnableSubLayerControls(texImages[1].texture != 0);
    RenderImages(true, -1.0f);
    MarkModified();
}

void RotateActionProc(ControlRef control, int part) {
    if (part != kControlUpButtonPart && part != kControlDownButtonPart) return;
    int value = util_GetControl(dialog, kRotateSlider);
    int step = plat_GetControlIncrement(control);
    int next = part == kControlUpButtonPart ? value + step : value - step;
    plat_SetControlValue(control, next);
    HandleRotate(float(next));
}

void LiveHandleRotate(ControlRef, int) { HandleRotate(666.0f); }
void LiveHandleScaleLayerX(ControlRef, int) { HandleScaleLayerX(-1.0f); }
void LiveHandleScaleLayerY(ControlRef, int) { HandleScaleLayerY(-1.0f); }
void LiveHandleAlphaLayer(ControlRef, int) { HandleTransparency(-1.0f); }
void LiveHandleScale(ControlRef, int) { HandleScaleFactor(-1.0f); }

void HandleFit() {
    if (!HasValidLayer()) return;
    RescaleImage();
    scaleLocked = 0;
    util_SetControl(dialog, kAspectLockCheck, 0);
    HandleScaleLayerX(texImages[currentLayer].scaleX);
    HandleScaleLayerY(texImages[currentLayer].scaleY);
    MarkModified();
    RenderImages(true, -1.0f);
}

void HandleReset() {
    if (!HasValidLayer()) return;
    TexImage& t = texImages[currentLayer];
    t.rotX = t.rotY = 0;
    HandleRotate(0.0f);
    HandleScaleLayerX(1.0f);
    HandleScaleLayerY(1.0f);
    HandleShadow(0);
    HandleTransparency(1.0f);
    HandleHue(0.0f);
    HandleLightness(0.0f);
    HandleSaturation(100.0f);
    HandleFrame(0);
    ApplyColorMatrix(currentLayer);
    MarkModified();
    RenderImages(true, -1.0f);
}

int DuplicateLayer(int flip, bool redraw) {
    if (!HasValidLayer()) {
        // Nothing selected while layers remain (after deleting layer 1): nothing to copy, and the
        // layers stay where they are. Only an empty stack (a project without layers being opened;
        // the button and the key need a selected layer) gets the theme picture itself as layer 1
        // at the picture's corner.
        if (texImages[1].texture != 0) return 0;
        std::string path = std::string(themeFolder) + currentTheme + THEME_EXT +
                           (allThemes ? "/Contents/Images/" : "/Contents/Images/Editable_Images/") + currentPicture;
        if (path.size() >= 1024 || !LoadTexture(path.c_str(), -1, true, false) || currentLayer != 1) return 0;
        TexImage& t = texImages[1];
        t.posX = t.posY = t.originX = t.originY = 0;
        return 1;
    }
    int n = DuplicateTexture(currentLayer, flip);
    if (n == 0) return 0;
    currentLayer = n;
    TexImage& t = texImages[n];
    SaveTempImage(t.path, "duplicate", t.pixels, t.texWidth, t.texHeight, t.channels);
    util_SetMenuItem(dialog, kLayerPopup, n, true, t.name);
    EnableSubControls();
    if (t.hue == 0.0f) HandleHue(1.0f);
    ApplyColorMatrix(currentLayer);
    if (redraw) RenderImages(true, -1.0f);
    return n;
}
