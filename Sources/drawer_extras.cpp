// drawer_extras.cpp - the extras drawer: frame, drop shadow and reflection of the current layer,
// and the live-video buttons it hosts. Only values of the layer record change here; the
// compositor and its passes draw them.
#include "app_state.h"
#include "compositor.h"
#include "drawers.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "snap_crop.h"
#include "tools_window.h"
#include "util_controls.h"

ControlActionProc frameControlActionUPP = nullptr;
ControlActionProc ReflectionControlActionUPP = nullptr;
ControlActionProc rotateShadowControlActionUPP = nullptr;
ControlActionProc offsetShadowControlActionUPP = nullptr;
ControlActionProc darkShadowControlActionUPP = nullptr;

namespace {

enum { kFrameBox = 260, kFrameSize = 261, kSwatch = 263, kShadowBox = 117, kShadowAngle = 160, kShadowOffset = 170,
       kShadowDark = 180, kReflectButton = 182, kReflectHeight = 183, kLiveStart = 543, kLiveStop = 544 };

bool extrasPickerEnabled = false;

bool ValidShadowed() { return HasValidLayer() && texImages[currentLayer].shadow; }

void MarkAndRedraw() {
    MarkModified();
    RenderImages(true, -1.0f);
}

void RedrawSwatch() {
    util_ShowControl(drawer_extras, kSwatch, false);
    util_ShowControl(drawer_extras, kSwatch, true);
}

// The swatch shows the current layer's frame colour (the base picture's without a layer).
void ColorPickerBackground(ControlRef control, PlatPainter* painter, void*) {
    const TexImage& t = texImages[HasValidLayer() ? currentLayer : 0];
    int w = 0, h = 0;
    plat_GetControlSize(control, &w, &h);
    plat_PainterFillRect(painter, 4, 4, float(w - 8), float(h - 8), t.frameColorR, t.frameColorG, t.frameColorB, 1);
    plat_PainterStrokeRect(painter, 0, 0, float(w), float(h), 2);
}

void LiveHandleFrame(ControlRef, int) { HandleFrame(-1); }
void LiveHandleReflection(ControlRef, int) { HandleReflectionLayer(); }
void LiveShadow(float TexImage::*field, int slider) {
    if (!ValidShadowed()) return;
    texImages[currentLayer].*field = float(util_GetControl(drawer_extras, slider));
    MarkAndRedraw();
}
void LiveHandleRotateShadow(ControlRef, int) { LiveShadow(&TexImage::shadowAngle, kShadowAngle); }
void LiveHandleOffsetShadow(ControlRef, int) { LiveShadow(&TexImage::shadowOffset, kShadowOffset); }
void LiveHandleDarkShadow(ControlRef, int) { LiveShadow(&TexImage::shadowDarkness, kShadowDark); }


void SetShadowValue(float TexImage::*field, int slider, float v) {
    if (!ValidShadowed()) return;
    TexImage& t = texImages[currentLayer];
    if (v == -1.0f) {
        t.*field = float(util_GetControl(drawer_extras, slider));
    } else {
        t.*field = v;
        util_SetControl(drawer_extras, slider, int(v));
    }
    MarkAndRedraw();
}

}  // namespace

void InitExtras() {
    ControlRef swatch = nullptr;
    if (util_GetControlRef(drawer_extras, kSwatch, &swatch)) plat_SetControlDrawHandler(swatch, ColorPickerBackground, nullptr);
    util_ShowControl(drawer_extras, kLiveStart, true);
    util_ShowControl(drawer_extras, kLiveStop, false);
    RedrawSwatch();
    frameControlActionUPP = util_InstallAction(drawer_extras, kFrameSize, LiveHandleFrame);
    ReflectionControlActionUPP = util_InstallAction(drawer_extras, kReflectHeight, LiveHandleReflection);
    rotateShadowControlActionUPP = util_InstallAction(drawer_extras, kShadowAngle, LiveHandleRotateShadow);
    offsetShadowControlActionUPP = util_InstallAction(drawer_extras, kShadowOffset, LiveHandleOffsetShadow);
    darkShadowControlActionUPP = util_InstallAction(drawer_extras, kShadowDark, LiveHandleDarkShadow);
}

void ExtrasDrawerControlsEnable(bool enable) {
    bool on = enable && HasValidLayer() && !texImages[currentLayer].live;
    for (int id : {kFrameBox, kSwatch, kFrameSize}) util_EnableControl(drawer_extras, id, on);
    util_EnableControl(drawer_extras, kLiveStop, texImages[1].texture != 0);
    bool live = HasValidLayer() && texImages[currentLayer].live;
    util_ShowControl(drawer_extras, kLiveStart, !live);
    util_ShowControl(drawer_extras, kLiveStop, live);
    for (int id : {kReflectButton, kReflectHeight, kShadowBox, kShadowAngle, kShadowOffset, kShadowDark})
        util_EnableControl(drawer_extras, id, on);
    if (!on) return;
    const TexImage& t = texImages[currentLayer];
    util_SetControl(drawer_extras, kFrameBox, t.frame);
    util_SetControl(drawer_extras, kFrameSize, t.frameSize);
    util_EnableControl(drawer_extras, kSwatch, t.frame);
    util_EnableControl(drawer_extras, kFrameSize, t.frame);
    RedrawSwatch();
    bool reflection = t.reflection != 1.0f;
    util_EnableControl(drawer_extras, kReflectButton, !reflection);
    util_EnableControl(drawer_extras, kReflectHeight, reflection);
    if (reflection) util_SetControl(drawer_extras, kReflectHeight, int(t.reflection * 100));
    util_SetControl(drawer_extras, kShadowBox, t.shadow);
    for (int id : {kShadowAngle, kShadowOffset, kShadowDark}) util_EnableControl(drawer_extras, id, t.shadow);
    util_SetControl(drawer_extras, kShadowAngle, int(t.shadowAngle));
    util_SetControl(drawer_extras, kShadowOffset, int(t.shadowOffset));
    util_SetControl(drawer_extras, kShadowDark, int(t.shadowDarkness));
}

// A live-video toggle: the drawer is disabled, and the Start or Stop button shows for the layer.
void HandleLiveExtras() { ExtrasDrawerControlsEnable(false); }

void HandleFrame(int mode) {
    bool enable;
    if (mode == -1) {
        if (!HasValidLayer()) return;
        TexImage& t = texImages[currentLayer];
        t.frame = util_GetControl(drawer_extras, kFrameBox) != 0;
        t.frameSize = util_GetControl(drawer_extras, kFrameSize);
        enable = t.frame;
    } else {
        TexImage& t = texImages[currentLayer];
        t.frameColorR = t.frameColorG = t.frameColorB = 0.95f;
        t.frame = false;
        t.frameSize = 7;
        util_SetControl(drawer_extras, kFrameBox, 0);
        util_SetControl(drawer_extras, kFrameSize, 7);
        enable = false;
    }
    MarkModified();
    util_EnableControl(drawer_extras, kSwatch, enable);
    util_EnableControl(drawer_extras, kFrameSize, enable);
    RenderImages(true, -1.0f);
}

void HandleColorPicker() {
    if (!HasValidLayer() || !texImages[currentLayer].frame || extrasPickerEnabled) return;
    extrasPickerEnabled = true;
    TexImage& t = texImages[currentLayer];
    ModalRequest r;
    r.kind = ModalKind::Color;
    r.rgb[0] = uint16_t(t.frameColorR * 65535);
    r.rgb[1] = uint16_t(t.frameColorG * 65535);
    r.rgb[2] = uint16_t(t.frameColorB * 65535);
    ModalAnswer a = plat_RunModal(r);
    if (a.accepted) {
        t.frameColorR = a.rgb[0] / 65535.0f;
        t.frameColorG = a.rgb[1] / 65535.0f;
        t.frameColorB = a.rgb[2] / 65535.0f;
    }
    RedrawSwatch();
    RenderImages(true, -1.0f);
    extrasPickerEnabled = false;
    MarkModified();
}

void HandleShadow(int mode) {
    if (!HasValidLayer()) return;
    TexImage& t = texImages[currentLayer];
    if (mode == 0) {
        t.shadow = false;
        t.shadowAngle = 45.0f;
        t.shadowOffset = 10.0f;
        t.shadowDarkness = 20.0f;
    } else {
        t.shadow = util_GetControl(drawer_extras, kShadowBox) != 0;
    }
    EnableSubControls();
    MarkAndRedraw();
}

void HandleRotateShadow(float v) { SetShadowValue(&TexImage::shadowAngle, kShadowAngle, v); }
void HandleDarkShadow(float v) { SetShadowValue(&TexImage::shadowDarkness, kShadowDark, v); }

void HandleReflectionLayer() {
    if (!HasValidLayer() || texImages[currentLayer].live) return;
    if (texImages[currentLayer].reflection != 1.0f) {
        texImages[currentLayer].reflection = float(util_GetControl(drawer_extras, kReflectHeight)) / 100.0f;
    } else {
        int src = currentLayer;
        Rect r;
        GetRealPosition(src, &r);
        int srcOriginY = texImages[src].originY, srcRot = texImages[src].rotZ;
        if (!DuplicateLayer(1, false)) return;
        TexImage& copy = texImages[currentLayer];
        // The copy's drawn box starts one pixel below the source's (and clear of both frames);
        // its place follows from the origin as a drag computes it, so the first drag does not jump.
        copy.originY = r.bottom + 1 + (srcOriginY - r.top) + (copy.frame ? 2 * copy.frameSize : 0);
        copy.posY = (copy.texHeight - copy.height) / 2 + copy.originY;
        copy.reflection = 0.8f;
        copy.rotZ = -srcRot;
        copy.shadow = false;
        EnableSubControls();
    }
    MarkAndRedraw();
}
