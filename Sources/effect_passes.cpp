// effect_passes.cpp - shadow, frame and mask passes.
#include "effect_passes.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdio>

#include "gl_context.h"
#include "layer_table.h"
#include "textures.h"
#include "util_files.h"

namespace {

const int kShadowPasses = 20;
const float kShadowShrink = 0.995f;
const float kShadowDivisor = 400.0f;
const double kDegToRad = 3.14159265359 / 180.0;
const float kMaskZoom = 10.0f;

void Quad4(float x0, float y0, float x1, float y1) {
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
}

}  // namespace

void DrawLayerQuad(int slot) {
    const TexImage& t = texImages[slot];
    float tw = useRectMap ? float(t.texWidth) : 1.0f, th = useRectMap ? float(t.texHeight) : 1.0f;
    float w = float(t.width), h = float(t.height);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(tw, 0);
    glVertex2f(w, 0);
    glTexCoord2f(tw, th);
    glVertex2f(w, h);
    glTexCoord2f(0, th);
    glVertex2f(0, h);
    glEnd();
}

void RenderShadow(int slot, float factor) {
    const TexImage& t = texImages[slot];
    float s = (factor > 0 ? factor * t.shadowDarkness : t.shadowDarkness) / kShadowDivisor;
    glPushMatrix();
    double theta = double(t.shadowAngle) * kDegToRad;
    glTranslated(std::cos(theta) * t.shadowOffset, std::sin(theta) * t.shadowOffset, 0.0);
    glColor4f(0, 0, 0, s);
    int hw = t.width / 2, hh = t.height / 2;
    for (int i = 0; i < kShadowPasses; ++i) {
        glTranslatef(float(hw), float(hh), 0);
        glScalef(kShadowShrink, kShadowShrink, 1.0f);
        glTranslatef(float(-hw), float(-hh), 0);
        DrawLayerQuad(slot);
        if (t.frame) RenderFrame(slot, true);
    }
    glPopMatrix();
}

void RenderFrame(int slot, bool shadowMode) {
    const TexImage& t = texImages[slot];
    glDisable(mapTarget);
    if (!shadowMode) glColor4f(t.frameColorR, t.frameColorG, t.frameColorB, t.alpha);
    float f = float(t.frameSize), W = float(t.width), H = float(t.height);
    glBegin(GL_QUADS);
    if (t.reflection >= 1.0f || shadowMode) {
        Quad4(0, -f, W, 0);              // top
        Quad4(0, H, W, H + f);           // bottom
        Quad4(W, -f, W + f, H + f);      // right, covering the corners
        Quad4(-f, -f, 0, H + f);         // left
    } else {
        // A reflection's frame: no bottom bar, and sides that fade out like the reflection.
        float h = t.alpha * 0.5f, y1 = f + t.reflection * H;
        float r = t.frameColorR, g = t.frameColorG, b = t.frameColorB;
        glColor4f(r, g, b, h);
        Quad4(0, -f, W, 0);
        glColor4f(r, g, b, h);
        glVertex2f(W, -f);
        glVertex2f(W + f, -f);
        glColor4f(r, g, b, 0);
        glVertex2f(W + f, y1);
        glVertex2f(W, y1);
        glColor4f(r, g, b, h);
        glVertex2f(-f, -f);
        glVertex2f(0, -f);
        glColor4f(r, g, b, 0);
        glVertex2f(0, y1);
        glVertex2f(-f, y1);
    }
    glEnd();
    glEnable(mapTarget);
}

void RenderMask(int slot, float opacity) {
    const TexImage& t = texImages[slot];
    int m = t.mask;
    if (m < 1 || m > 24) return;
    if (maskTexture[m] == 0) {
        char name[32], path[kPathSize];
        snprintf(name, sizeof name, "alpha%d.jpg", m);
        if (!util_ResourcePath(name, path)) return;
        GLContextRef drawing = plat_CurrentContext();
        int w = 0, h = 0;
        maskTexture[m] = LoadMaskTexture(path, w, h);
        masksizex[m] = w;
        masksizey[m] = h;
        plat_MakeCurrent(drawing);   // the load made the window context current
        if (maskTexture[m] == 0) return;
    }
    // Unit 0: the layer as it is. Unit 1: the mask, multiplying colour and alpha.
    glActiveTexture(GL_TEXTURE0);
    glColor4f(1, 1, 1, opacity);
    glEnable(mapTarget);
    glBindTexture(mapTarget, t.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glEnable(mapTarget);
    glBindTexture(mapTarget, maskTexture[m]);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_MODULATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA, GL_SRC_ALPHA);
    int mx = masksizex[m], my = masksizey[m];
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    if (useRectMap) {
        glTranslatef(float(mx / 2), float(my / 2), 0);
        glRotatef(float(t.maskAngle), 0, 0, 1);
        glTranslatef(float(-(mx / 2)), float(-(my / 2)), 0);
    } else if (mx > 0 && my > 0) {
        // Normalised coordinates: the same turn about the mask's centre, made in texel units so
        // that a mask that is not square turns without shearing.
        glTranslatef(0.5f, 0.5f, 0);
        glScalef(1.0f / float(mx), 1.0f / float(my), 1.0f);
        glRotatef(float(t.maskAngle), 0, 0, 1);
        glScalef(float(mx), float(my), 1.0f);
        glTranslatef(-0.5f, -0.5f, 0);
    }
    glMatrixMode(GL_MODELVIEW);

    float k = 1.0f - t.maskRadius;
    float u[4], v[4];
    if (useRectMap && t.maskFit) {
        float ox = float(int(float(mx) * -k)), oy = float(int(float(my) * -k));
        float us[4] = {ox, mx - ox, mx - ox, ox}, vs[4] = {oy, oy, my - oy, my - oy};
        for (int i = 0; i < 4; ++i) u[i] = us[i], v[i] = vs[i];
    } else if (useRectMap) {
        float px = float(mx / 2), py = float(my / 2), z = k * kMaskZoom;
        float hx = float(t.texWidth / 2) * z, hy = z * float(t.texHeight / 2);
        float us[4] = {float(int(px - hx)), float(int(px + hx)), float(int(px + hx)), float(int(px - hx))};
        float vs[4] = {float(int(py - hy)), float(int(py - hy)), float(int(py + hy)), float(int(py + hy))};
        for (int i = 0; i < 4; ++i) u[i] = us[i], v[i] = vs[i];
    } else {
        float lo = t.maskRadius - 1.0f, hi = 2.0f - t.maskRadius;
        float us[4] = {lo, hi, hi, lo}, vs[4] = {lo, lo, hi, hi};
        for (int i = 0; i < 4; ++i) u[i] = us[i], v[i] = vs[i];
    }
    float tw = useRectMap ? float(t.texWidth) : 1.0f, th = useRectMap ? float(t.texHeight) : 1.0f;
    float s0[4] = {0, tw, tw, 0}, t0[4] = {0, 0, th, th};
    float x[4] = {0, float(t.width), float(t.width), 0}, y[4] = {0, 0, float(t.height), float(t.height)};
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        glMultiTexCoord2f(GL_TEXTURE0, s0[i], t0[i]);
        glMultiTexCoord2f(GL_TEXTURE1, u[i], v[i]);
        glVertex2f(x[i], y[i]);
    }
    glEnd();
    glDisable(mapTarget);
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
}
