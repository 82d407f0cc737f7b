// drawer_alpha.cpp - the alpha drawer: choose one of the 24 masks for the current layer, its size,
// angle and fit, and bake the masked layer into new pixels. The compositor applies an attached
// mask live at every redraw.
#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>

#include "compositor.h"
#include "drawers.h"
#include "gl_context.h"
#include "layer_table.h"
#include "picture_files.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

int currentAlphaLayer = 0;
ControlActionProc alphaControlRadiusActionUPP = nullptr;
ControlActionProc alphaControlAngleActionUPP = nullptr;

namespace {

enum { kGroup = 201, kSize = 202, kAngle = 203, kAngleArrows = 204, kApply = 205, kRemove = 206, kFit = 207,
       kFirstView = 300, kLastView = 323 };

void alphaHandleRadiusSlider(ControlRef, int) {
    if (!HasValidLayer() || !IsValidLayer(currentAlphaLayer)) return;
    texImages[currentAlphaLayer].maskRadius = float(util_GetControl(drawer_alpha, kSize)) / 100.0f;
    RenderImages(true, -1.0f);
}

void alphaHandleAngleSlider(ControlRef, int) {
    if (!HasValidLayer() || !IsValidLayer(currentAlphaLayer)) return;
    texImages[currentAlphaLayer].maskAngle = util_GetControl(drawer_alpha, kAngle);
    RenderImages(true, -1.0f);
}

void AngleActionProc(ControlRef arrows, int part) {
    if (part != kControlUpButtonPart && part != kControlDownButtonPart) return;
    int v = util_GetControl(drawer_alpha, kAngle), step = plat_GetControlIncrement(arrows);
    int next = part == kControlUpButtonPart ? v + step : v - step;
    plat_SetControlValue(arrows, next);
    util_SetControl(drawer_alpha, kAngle, next);
    if (!IsValidLayer(currentAlphaLayer)) return;
    texImages[currentAlphaLayer].maskAngle = util_GetControl(drawer_alpha, kAngle);
    RenderImages(true, -1.0f);
}

}  // namespace

void InitAlpha() {
    currentAlphaLayer = 0;
    util_SetControl(drawer_alpha, kSize, 100);
    util_SetControl(drawer_alpha, kAngle, 0);
    alphaControlRadiusActionUPP = util_InstallAction(drawer_alpha, kSize, alphaHandleRadiusSlider);
    alphaControlAngleActionUPP = util_InstallAction(drawer_alpha, kAngle, alphaHandleAngleSlider);
    util_InstallAction(drawer_alpha, kAngleArrows, AngleActionProc);
    for (int id = kFirstView; id <= kLastView; ++id) {
        char name[32];
        snprintf(name, sizeof name, "alpha%dpreview", id - kFirstView + 1);
        util_FillImage(drawer_alpha, id, name, "jpg");
    }
}

void AlphaDrawerControlsEnable(bool enable) {
    bool on = enable && HasValidLayer() && !texImages[currentLayer].live;
    for (int id = kFirstView; id <= kLastView; ++id) util_EnableControl(drawer_alpha, id, on);
    const TexImage* t = HasValidLayer() ? &texImages[currentLayer] : nullptr;
    bool masked = t && t->mask >= 1;
    for (int id = kGroup; id <= kFit; ++id) util_EnableControl(drawer_alpha, id, on && masked);
    if (t && t->mask > 0) {
        currentAlphaLayer = currentLayer;
        util_SetControl(drawer_alpha, kSize, int(t->maskRadius * 100));
        util_SetControl(drawer_alpha, kAngle, t->maskAngle);
        util_SetControl(drawer_alpha, kFit, t->maskFit);
        util_EnableControl(drawer_alpha, kApply, true);
        util_EnableControl(drawer_alpha, kRemove, true);
    } else {
        util_SetControl(drawer_alpha, kSize, 100);
        util_SetControl(drawer_alpha, kAngle, 0);
        util_SetControl(drawer_alpha, kFit, 1);
        util_EnableControl(drawer_alpha, kApply, false);
        util_EnableControl(drawer_alpha, kRemove, false);
    }
}

// A live-video toggle: the drawer is disabled whatever the layer.
void HandleLiveAlpha() { AlphaDrawerControlsEnable(false); }

void AlphaActivate(int n) {
    if (!HasValidLayer()) {
        currentAlphaLayer = 0;
        return;
    }
    TexImage& t = texImages[currentLayer];
    t.mask = n;
    t.maskRadius = float(util_GetControl(drawer_alpha, kSize)) / 100.0f;
    t.maskAngle = util_GetControl(drawer_alpha, kAngle);
    t.maskFit = util_GetControl(drawer_alpha, kFit) != 0;
    currentAlphaLayer = currentLayer;
    RenderImages(true, -1.0f);
    AlphaDrawerControlsEnable(true);
}

void AlphaFit() {
    if (!IsValidLayer(currentAlphaLayer)) return;
    TexImage& t = texImages[currentAlphaLayer];
    t.maskFit = util_GetControl(drawer_alpha, kFit) != 0;
    t.maskRadius = t.maskFit ? 1.0f : 0.3f;
    util_SetControl(drawer_alpha, kSize, t.maskFit ? 100 : 30);
    RenderImages(true, -1.0f);
}

void ApplyAlpha() {
    if (!IsValidLayer(currentAlphaLayer) || !bufContext) return;
    int l = currentAlphaLayer;
    TexImage& t = texImages[l];
    int w = t.width, h = t.height;
    if (w <= 0 || h <= 0) return;
    // Drawn with its mask and effects but without its rotation, at its displayed size.
    uint8_t* block = BakeLayer(l, false, t.posX, t.posY, w, h);
    if (!block) return;
    ClearBakedEffects(l);   // the mask among them; the new texture's refresh shows the controls
    glDeleteTextures(1, &t.texture);
    t.texture = 0;
    CreateIndexedTexture(l, block, w, h);
    SaveTempImage(t.path, "alpha", block, w, h, 4);
    free(block);
    t.mask = 0;
    t.originX = t.posX;
    t.originY = t.posY;
    t.texWidth = w;
    t.texHeight = h;
    t.scaleX = t.scaleY = 1.0f;
    RenderImages(true, -1.0f);
    currentAlphaLayer = currentLayer = l;
    AlphaDrawerControlsEnable(true);
}
