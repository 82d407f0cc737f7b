// drawer_colors.cpp - the colour drawer: hue, saturation and lightness of the current layer, and
// the flat fill. Values live in the layer record; hue and saturation rebuild the texture through
// the colour matrix, lightness is applied by the compositor while drawing.
#include <cstdio>

#include "app_state.h"
#include "compositor.h"
#include "drawers.h"
#include "gl_context.h"
#include "layer_table.h"
#include "pixel_ops.h"
#include "tools_window.h"
#include "util_controls.h"

int fillColorR = 32767, fillColorG = 32767, fillColorB = 32767;
ControlActionProc HueControlActionUPP = nullptr;
ControlActionProc SaturationControlActionUPP = nullptr;
ControlActionProc LightnessControlActionUPP = nullptr;

namespace {

enum { kHueSlider = 600, kHueText = 601, kHueArrows = 901, kSatSlider = 602, kSatText = 603, kSatArrows = 903,
       kLightSlider = 604, kLightText = 605, kLightArrows = 905, kFillButton = 152 };

bool colorPickerEnabled = false;

bool Imaging() { return HasValidLayer() && useImaging; }

void MarkAndRedraw(bool matrix) {
    MarkModified();
    if (matrix) ApplyColorMatrix(currentLayer);
    RenderImages(true, -1.0f);
}

void LiveHandleHue(ControlRef, int) { HandleHue(-1.0f); }
void LiveHandleSaturation(ControlRef, int) { HandleSaturation(-1.0f); }
void LiveHandleLightness(ControlRef, int) { HandleLightness(666.0f); }

// Arrows count in display units: the handler gets the new value.
void Step(ControlRef control, int part, void (*handler)(float)) {
    if (part != kControlUpButtonPart && part != kControlDownButtonPart) return;
    int value = plat_GetControlValue(control), step = plat_GetControlIncrement(control);
    int next = part == kControlUpButtonPart ? value + step : value - step;
    plat_SetControlValue(control, next);
    handler(float(next));
}
void HueActionProc(ControlRef c, int part) { Step(c, part, HandleHue); }
void SaturationActionProc(ControlRef c, int part) { Step(c, part, HandleSaturation); }
void LightnessActionProc(ControlRef c, int part) { Step(c, part, HandleLightness); }


}  // namespace

void InitColors() {
    HueControlActionUPP = util_InstallAction(drawer_color, kHueSlider, LiveHandleHue);
    SaturationControlActionUPP = util_InstallAction(drawer_color, kSatSlider, LiveHandleSaturation);
    LightnessControlActionUPP = util_InstallAction(drawer_color, kLightSlider, LiveHandleLightness);
    util_InstallAction(drawer_color, kHueArrows, HueActionProc);
    util_InstallAction(drawer_color, kSatArrows, SaturationActionProc);
    util_InstallAction(drawer_color, kLightArrows, LightnessActionProc);
}

void ColorDrawerControlsEnable(bool enable) {
    bool on = enable && HasValidLayer() && !texImages[currentLayer].live;
    bool imaging = on && useImaging;
    for (int id : {kHueSlider, kSatSlider, kHueArrows, kSatArrows}) util_EnableControl(drawer_color, id, imaging);
    for (int id : {kLightSlider, kLightArrows, kFillButton}) util_EnableControl(drawer_color, id, on);
    if (!on) return;
    const TexImage& t = texImages[currentLayer];
    int hue = int(t.hue), sat = int(t.saturation * 100), light = int(t.lightness * 100);
    util_SetControl(drawer_color, kHueSlider, hue);
    util_SetControl(drawer_color, kHueArrows, hue);
    util_SetInt(drawer_color, kHueText, hue);
    util_SetControl(drawer_color, kSatSlider, sat);
    util_SetControl(drawer_color, kSatArrows, sat);
    util_SetInt(drawer_color, kSatText, sat);
    util_SetControl(drawer_color, kLightSlider, light);
    util_SetControl(drawer_color, kLightArrows, light);
    util_SetInt(drawer_color, kLightText, light);
}

// A live-video toggle: the drawer is disabled whatever the layer.
void HandleLiveColor() { ColorDrawerControlsEnable(false); }

void HandleHue(float v) {
    if (!Imaging()) return;
    TexImage& t = texImages[currentLayer];
    if (v == -1.0f) {
        t.hue = float(util_GetControl(drawer_color, kHueSlider));
        util_SetControl(drawer_color, kHueArrows, int(t.hue));
    } else {
        if (v < 0) v = 0;
        if (v > 360) v = 360;
        t.hue = v;
        util_SetControl(drawer_color, kHueSlider, int(v));
    }
    util_SetInt(drawer_color, kHueText, int(t.hue));
    MarkAndRedraw(true);
}

void HandleSaturation(float v) {
    if (!Imaging()) return;
    TexImage& t = texImages[currentLayer];
    if (v == -1.0f) {
        t.saturation = float(util_GetControl(drawer_color, kSatSlider)) / 100.0f;
        util_SetControl(drawer_color, kSatArrows, int(t.saturation * 100));
    } else {
        t.saturation = v < 0 ? 0.0f : (v > 200 ? 2.0f : v / 100.0f);
        util_SetControl(drawer_color, kSatSlider, int(t.saturation * 100));
    }
    util_SetInt(drawer_color, kSatText, int(t.saturation * 100));
    MarkAndRedraw(true);
}

void HandleLightness(float v) {
    if (!HasValidLayer()) return;
    TexImage& t = texImages[currentLayer];
    if (v == 666.0f) {
        t.lightness = float(util_GetControl(drawer_color, kLightSlider)) / 100.0f;
        util_SetControl(drawer_color, kLightArrows, int(t.lightness * 100));
    } else {
        t.lightness = v < -100 ? -1.0f : (v > 100 ? 1.0f : v / 100.0f);
        util_SetControl(drawer_color, kLightSlider, int(t.lightness * 100));
    }
    util_SetInt(drawer_color, kLightText, int(t.lightness * 100));
    MarkAndRedraw(false);
}

void HandleLayerFill(bool) {
    if (!HasValidLayer() || colorPickerEnabled) return;
    colorPickerEnabled = true;
    ModalRequest r;
    r.kind = ModalKind::Color;
    r.rgb[0] = uint16_t(255 * fillColorR);
    r.rgb[1] = uint16_t(255 * fillColorG);
    r.rgb[2] = uint16_t(255 * fillColorB);
    ModalAnswer a = plat_RunModal(r);
    if (a.accepted) {
        int* globals[3] = {&fillColorR, &fillColorG, &fillColorB};
        for (int i = 0; i < 3; ++i) *globals[i] = a.rgb[i] / 255 > 255 ? 255 : a.rgb[i] / 255;
        ChangeTextureColor(currentLayer, fillColorR, fillColorG, fillColorB);
    }
    if (texImages[currentLayer].hue == 0.0f) HandleHue(1.0f);
    RenderImages(true, -1.0f);
    colorPickerEnabled = false;
    MarkModified();
}
