// compositor.cpp - drawing the layer stack on screen and off screen, and the placement
// operations that move, rotate, tilt, align and fit a layer.
//
// Coordinates are base-picture pixels, x right, y down; the stack is scaled by scaleFactor about
// the picture's top-left corner. Every draw sets the state it relies on (blend, environment,
// targets, depth) instead of trusting what the last draw left.
#include "compositor.h"

#include <GL/gl.h>
#include <algorithm>
#include <cstdlib>

#include "app_state.h"
#include "canvas_window.h"
#include "effect_passes.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "picture_files.h"
#include "snap_crop.h"
#include "textures.h"
#include "tools_window.h"

namespace {

const float kBackgroundSize = 2000.0f;
const float kBackgroundRepeat = 150.0f;
const float kFrameZ = -19999.0f;

// Colour blends over what is below by the source alpha; the destination alpha accumulates coverage.
void SetStackBlend() {
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}

void SetDepth(bool on) {
    glDepthMask(on ? GL_TRUE : GL_FALSE);
    if (on) glEnable(GL_DEPTH_TEST);
    else glDisable(GL_DEPTH_TEST);
}

void DrawBackground() {
    glDisable(mapTarget);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, baseTexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_BLEND);
    SetDepth(false);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(0, 0, kFrameZ);
    glTexCoord2f(kBackgroundRepeat, 0);
    glVertex3f(kBackgroundSize, 0, kFrameZ);
    glTexCoord2f(kBackgroundRepeat, kBackgroundRepeat);
    glVertex3f(kBackgroundSize, kBackgroundSize, kFrameZ);
    glTexCoord2f(0, kBackgroundRepeat);
    glVertex3f(0, kBackgroundSize, kFrameZ);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glEnable(mapTarget);
    SetStackBlend();
    SetDepth(true);
}

void DrawOutline() {
    const TexImage& b = texImages[0];
    glDisable(mapTarget);
    SetDepth(false);
    SetLineWidth(4.0f);
    glColor4f(1, 1, 1, 0.5f);
    glBegin(GL_LINE_STRIP);
    glVertex3f(0, 0, kFrameZ);
    glVertex3f(float(b.width), 0, kFrameZ);
    glVertex3f(float(b.width), float(b.height), kFrameZ);
    glVertex3f(0, float(b.height), kFrameZ);
    glVertex3f(0, 0, kFrameZ);
    glEnd();
    SetLineWidth(2.0f);
    glEnable(mapTarget);
    SetDepth(true);
}

// The layer's transform: its place and depth, then the three rotations about its centre.
void LayerTransform(const TexImage& t, bool rotate) {
    glTranslatef(float(t.posX), float(t.posY), float(t.depth));
    if (!rotate) return;
    float hw = float(t.width / 2), hh = float(t.height / 2);
    glTranslatef(hw, hh, 0);
    glRotatef(float(t.rotX), 1, 0, 0);
    glRotatef(float(t.rotY), 0, 1, 0);
    glRotatef(float(t.rotZ), 0, 0, 1);
    glTranslatef(-hw, -hh, 0);
}

// The quad of a reflection layer: only its top part, fading from half opacity to nothing.
void DrawReflectionQuad(const TexImage& t, float c, float a) {
    float r = t.reflection;
    int h = int(r * float(t.height));
    float tw = useRectMap ? float(t.texWidth) : 1.0f;
    float th = useRectMap ? float(int(r * float(t.texHeight))) : r;
    glBegin(GL_QUADS);
    glColor4f(c, c, c, a * 0.5f);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(tw, 0);
    glVertex2f(float(t.width), 0);
    glColor4f(c, c, c, 0);
    glTexCoord2f(tw, th);
    glVertex2f(float(t.width), float(h));
    glTexCoord2f(0, th);
    glVertex2f(0, float(h));
    glEnd();
}

// Everything of one layer inside its transform: shadow, the layer itself (with lightness, mask or
// reflection) and the frame.
void DrawLayerBody(int s, float factor) {
    const TexImage& t = texImages[s];
    glBindTexture(mapTarget, t.texture);
    float a = factor > 0 ? factor * t.alpha : t.alpha;
    glColor4f(1, 1, 1, a);
    if (s >= 1 && t.shadow) RenderShadow(s, factor > 0 ? factor : -1.0f);
    glColor4f(1, 1, 1, a);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    float c = 1.0f;
    if (t.lightness > 0) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
        c = t.lightness;
    } else if (t.lightness < 0) {
        c = 1.0f + t.lightness;
    }
    if (t.mask > 0) {
        RenderMask(s, a);
    } else if (t.reflection >= 1.0f) {
        glColor4f(c, c, c, a);
        DrawLayerQuad(s);
    } else {
        DrawReflectionQuad(t, c, a);
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

}  // namespace

bool LayerDrawsOpaque(int slot, float factor) {
    if (slot < 0 || slot >= kSlotCount) return false;
    const TexImage& t = texImages[slot];
    const float a = factor > 0 ? factor * t.alpha : t.alpha;
    if (!t.texture || !(a >= 1.0f) || t.mask > 0 || !(t.reflection >= 1.0f)) return false;   // NaN too
    return TextureIsOpaque(t.texture, mapTarget);
}

void RenderImages(bool onScreen, float factor) {
    if (!glContext) return;
    // On screen into the canvas; off screen into the offscreen framebuffer (export).
    if (!plat_MakeCurrent(onScreen ? glContext : (bufContext ? bufContext : glContext))) return;
    if (onScreen) {
        int dw = 0, dh = 0;
        plat_GetDrawableSize(glContext, &dw, &dh);
        double dpr = plat_DevicePixelRatio(window);
        SetWindowProjection(int(dw / dpr + 0.5), int(dh / dpr + 0.5));
        lineScale = float(dpr);
        SetLineWidth(2.0f);
        SetDepth(true);   // a depth clear obeys the depth mask
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glActiveTexture(GL_TEXTURE0);
    glEnable(mapTarget);
    SetDepth(true);
    SetStackBlend();
    if (!onScreen) {
        SetDepth(false);
        lineScale = 1.0f;
        SetLineWidth(2.0f);
    }
    if (onScreen && baseTexture) DrawBackground();

    // Off screen an opaque base is drawn without blending: the same pixels, without reading back
    // every sample below it. (On screen the answer would be sought again after every texture
    // upload, live video's frames included.)
    const bool baseReplaces = !onScreen && LayerDrawsOpaque(0, factor);
    glPushMatrix();
    glScalef(scaleFactor, scaleFactor, 1.0f);
    for (int s = 0; s < kSlotCount; ++s) {
        const TexImage& t = texImages[s];
        if (!t.texture) continue;
        glPushMatrix();
        LayerTransform(t, true);
        if (s == 0 && baseReplaces) glDisable(GL_BLEND);
        DrawLayerBody(s, factor);
        SetStackBlend();
        if (s >= 1 && t.frame) RenderFrame(s, false);
        glPopMatrix();
    }
    if (onScreen) {
        DrawOutline();
        if (!DrawCropArea() && currMouse != 0 && HasValidLayer()) SnapLock();
    }
    glPopMatrix();
    if (onScreen) plat_SwapBuffers(glContext);
    else plat_ResolveOffscreenBuffer(plat_CurrentContext(), texImages[0].width, texImages[0].height);   // what the export reads
    glFlush();
}

void RenderOffscreen(int slot, bool rotate, float factor) {
    if (!glContext || slot < 0 || slot >= kSlotCount) return;
    if (!plat_MakeCurrent(bufContext ? bufContext : glContext)) return;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glActiveTexture(GL_TEXTURE0);
    glEnable(mapTarget);
    SetDepth(false);
    glDisable(GL_BLEND);
    glPushMatrix();
    glScalef(scaleFactor, scaleFactor, 1.0f);
    if (texImages[slot].texture) {
        glPushMatrix();
        LayerTransform(texImages[slot], rotate);
        DrawLayerBody(slot, factor);
        if (slot >= 1 && texImages[slot].frame) RenderFrame(slot, false);
        glPopMatrix();
    }
    glPopMatrix();
    plat_ResolveOffscreenBuffer(plat_CurrentContext());
    glFlush();
}

uint8_t* BakeLayer(int slot, bool rotate, int left, int top, int w, int h) {
    if (!bufContext || slot < 1 || slot > kLastLayer || w <= 0 || h <= 0) return nullptr;
    // Whatever of the block lies outside the framebuffer (a layer past the picture's left or top
    // edge) is not drawn anywhere: it stays transparent.
    auto* block = static_cast<uint8_t*>(calloc(size_t(w) * h, 4));
    if (!block) return nullptr;
    float savedZoom = scaleFactor;
    scaleFactor = 1.0f;
    EnsureOffscreenSize(texImages[0].texWidth, texImages[0].texHeight);
    plat_MakeCurrent(bufContext);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The layer keeps its shadow and frame and draws them around the new pixels, so neither is
    // baked in. The layer is drawn without blending, so it is drawn single-sampled: partly covered
    // samples would resolve to colours darkened toward the black clear colour.
    TexImage& t = texImages[slot];
    bool shadow = t.shadow, frame = t.frame;
    t.shadow = t.frame = false;
    glDisable(GL_MULTISAMPLE);
    RenderOffscreen(slot, rotate, -1.0f);
    if (multisampleLevel > 0) glEnable(GL_MULTISAMPLE);
    t.shadow = shadow;
    t.frame = frame;
    // The offscreen framebuffer holds the picture at its top-left; rows are read bottom-up. Only
    // the part of the block inside the framebuffer is read, into its place in the block.
    int fbw = 0, fbh = 0;
    plat_GetOffscreenBufferSize(bufContext, &fbw, &fbh);
    int bottomRow = fbh - (top + h);   // framebuffer row of the block's lowest row
    int x0 = std::max(left, 0), x1 = std::min(left + w, fbw);
    int y0 = std::max(bottomRow, 0), y1 = std::min(bottomRow + h, fbh);
    if (x0 < x1 && y0 < y1) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, w);
        glPixelStorei(GL_PACK_SKIP_PIXELS, x0 - left);
        glPixelStorei(GL_PACK_SKIP_ROWS, y0 - bottomRow);
        glReadPixels(x0, y0, x1 - x0, y1 - y0, GL_RGBA, GL_UNSIGNED_BYTE, block);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
        glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    }
    util_flip(block, w, h, 4);
    scaleFactor = savedZoom;
    plat_MakeCurrent(glContext);
    return block;
}

void ClearBakedEffects(int slot) {
    if (slot < kFirstLayer || slot > kLastLayer) return;
    TexImage& t = texImages[slot];
    t.hue = 0.0f;
    t.saturation = 1.0f;
    t.fillR = t.fillG = t.fillB = -1.0f;
    t.lightness = 0.0f;
    t.alpha = 1.0f;
    t.mask = 0;
    t.reflection = 1.0f;
    t.isText = false;   // the layer is its baked picture now, which a project embeds
}

void TranslateTexture(int dx, int dy) {
    if (!HasValidLayer()) return;
    plat_MakeCurrent(glContext);
    TexImage& t = texImages[currentLayer];
    t.originX += int(float(dx) / scaleFactor);
    t.posX = (t.texWidth - t.width) / 2 + t.originX;
    t.originY += int(float(dy) / scaleFactor);
    t.posY = (t.texHeight - t.height) / 2 + t.originY;
    MarkModified();
    RenderImages(true, -1.0f);
}

void MoveTexture(int dx, int dy) { TranslateTexture(dx, dy); }

void RotateTexture(int delta, int) {
    if (!HasValidLayer()) return;
    TexImage& t = texImages[currentLayer];
    t.rotZ += delta;
    if (t.rotZ >= 181) t.rotZ = 180;
    if (t.rotZ < -180) t.rotZ = -180;
    MarkModified();
    HandleRotate(float(t.rotZ));
    RenderImages(true, -1.0f);
}

void ApplyFX(int slot, int kind, int delta) {
    if (!IsValidLayer(slot)) return;
    if (kind == 1) texImages[slot].rotY += delta;
    else if (kind == 2) texImages[slot].rotX += delta;
    RenderImages(true, -1.0f);
}

void PositionImage() {
    if (!HasValidLayer()) return;
    const TexImage& b = texImages[0];
    TexImage& l = texImages[currentLayer];
    int right = b.width - l.width, bottom = b.height - l.height;
    int midX = right / 2, midY = bottom / 2;
    if (centerimage < kAnchorFirst || centerimage > kAnchorLast) centerimage = kAnchorCentre;
    int column = (centerimage - kAnchorFirst) % 3, row = (centerimage - kAnchorFirst) / 3;
    l.posX = column == 0 ? 0 : column == 1 ? midX : right;
    l.posY = row == 0 ? 0 : row == 1 ? midY : bottom;
    // The origin is the unscaled rectangle's corner, from which a drag recomputes the place
    // (posX = (texWidth - width) / 2 + originX): for a scaled layer it is not the drawn corner.
    l.originX = l.posX - (l.texWidth - l.width) / 2;
    l.originY = l.posY - (l.texHeight - l.height) / 2;
}

void RescaleImage() {
    if (!HasValidLayer()) return;
    TexImage& l = texImages[currentLayer];
    if (l.width <= 0 || l.height <= 0) return;
    auto limit = [](float v) { return v < 0.1f ? 0.1f : (v > 3.0f ? 3.0f : v); };
    l.scaleX = limit(float(texImages[0].width) / float(l.width));
    l.scaleY = limit(float(texImages[0].height) / float(l.height));
}
