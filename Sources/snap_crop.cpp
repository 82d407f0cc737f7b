// snap_crop.cpp - snap lock and crop.
#include "snap_crop.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdlib>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "picture_files.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

bool snapLockEnabled = false;
bool wasLockedX = false;
bool wasLockedY = false;
int onCycle = 0;
int cropLayer = 0;
Rect cropArea = {10, 10, 200, 200};

namespace {

const int kGuideDistance = 20;
const int kSnapDistance = 10;
const int kLockRedraws = 9;
const int kRearmRedraws = 20;
const float kGuideZ = -19999.0f;
const int kGrab = 9;
const int kMinCropSide = 20;
const int kCropMargin = 2;

void Orange(float alpha) { glColor4f(1.0f, 0.6f, 0.0f, alpha); }

// The first pair of values within the guide distance: d is its difference, a and b the guide
// positions on the current and the other layer. Pairs are tested in the order given.
struct Pair {
    int mine, theirs;
};
bool FirstClosePair(const Pair* pairs, int count, int* d, int* a, int* b) {
    for (int i = 0; i < count; ++i) {
        int diff = pairs[i].mine - pairs[i].theirs;
        if (std::abs(diff) < kGuideDistance) {
            *d = diff;
            *a = pairs[i].mine;
            *b = pairs[i].theirs;
            return true;
        }
    }
    return false;
}

int Mid(int lo, int hi) { return lo + (hi - lo) / 2; }

}  // namespace

void GetRealPosition(int layer, Rect* out) {
    const TexImage& t = texImages[layer];
    int cx = t.texWidth / 2 + t.originX, cy = t.texHeight / 2 + t.originY;
    int hw = t.width / 2, hh = t.height / 2;
    float a = float(double(t.rotZ) * 3.14159265359 / 180.0);
    float cs = std::cos(a), sn = std::sin(a);
    const int corners[4][2] = {{-hw, hh}, {hw, hh}, {hw, -hh}, {-hw, -hh}};
    int minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        float dx = float(corners[i][0]), dy = float(corners[i][1]);
        int x = int(dx * cs - dy * sn) + cx;
        int y = int(dy * cs + dx * sn) + cy;
        if (i == 0 || x < minX) minX = x;
        if (i == 0 || x > maxX) maxX = x;
        if (i == 0 || y < minY) minY = y;
        if (i == 0 || y > maxY) maxY = y;
    }
    out->top = int16_t(minY);
    out->left = int16_t(minX);
    out->bottom = int16_t(maxY);
    out->right = int16_t(maxX);
}

void SetSnapLock(bool on) { snapLockEnabled = on; }
bool isLockedOnX() { return wasLockedX && onCycle <= kLockRedraws; }
bool isLockedOnY() { return wasLockedY && onCycle <= kLockRedraws; }

void SnapLock() {
    if (!snapLockEnabled) return;
    if (wasLockedX || wasLockedY) {
        if (++onCycle > kRearmRedraws) {
            wasLockedX = wasLockedY = false;
            onCycle = 0;
        }
        return;
    }
    Rect R;
    GetRealPosition(currentLayer, &R);
    int T = R.top, L = R.left, B = R.bottom, Rt = R.right;
    int cy = Mid(T, B), cx = Mid(L, Rt);
    TexImage& cur = texImages[currentLayer];
    int originX = cur.originX, originY = cur.originY;

    SetLineWidth(1.0f);
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(mapTarget);
    Orange(25.0f);
    glBegin(GL_LINES);
    for (int s = kFirstLayer; s <= kLastLayer; ++s) {
        if (s == currentLayer || !texImages[s].texture) continue;
        Rect r;
        GetRealPosition(s, &r);
        int t = r.top, l = r.left, b = r.bottom, rt = r.right;
        int ocy = Mid(t, b), ocx = Mid(l, rt);
        int d, h1 = 0, h2 = 0, v1 = 0, v2 = 0;
        const Pair vertical[] = {{cy, ocy}, {T, t}, {B, t}, {T, b}, {B, b}};
        if (FirstClosePair(vertical, 5, &d, &h1, &h2) && std::abs(d) < kSnapDistance) cur.originY -= d;
        const Pair horizontal[] = {{cx, ocx}, {L, l}, {Rt, l}, {L, rt}, {Rt, rt}};
        if (FirstClosePair(horizontal, 5, &d, &v1, &v2) && std::abs(d) < kSnapDistance) cur.originX -= d;
        if (cur.originX != originX) wasLockedX = true;
        if (cur.originY != originY) wasLockedY = true;
        if (h1 != 0 && h2 != 0) {
            glVertex3f(float(L), float(h1), kGuideZ);
            glVertex3f(float(Rt), float(h1), kGuideZ);
            glVertex3f(float(l), float(h2), kGuideZ);
            glVertex3f(float(rt), float(h2), kGuideZ);
        }
        if (v1 != 0 && v2 != 0) {
            glVertex3f(float(v1), float(T), kGuideZ);
            glVertex3f(float(v1), float(B), kGuideZ);
            glVertex3f(float(v2), float(t), kGuideZ);
            glVertex3f(float(v2), float(b), kGuideZ);
        }
        if (wasLockedX || wasLockedY) {
            onCycle = 0;
            break;
        }
    }
    glEnd();
    // A snap moved the origin: the drawn quad follows it.
    cur.posX = (cur.texWidth - cur.width) / 2 + cur.originX;
    cur.posY = (cur.texHeight - cur.height) / 2 + cur.originY;
    glEnable(mapTarget);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    SetLineWidth(2.0f);
}

void EnableCropArea(bool on) {
    if (!HasValidLayer()) return;
    cropActive = on;
    if (!on) CropLayer();
    const TexImage& t = texImages[currentLayer];
    cropArea.top = int16_t(t.posY);
    cropArea.left = int16_t(t.posX);
    cropArea.bottom = int16_t(t.posY + t.height);
    cropArea.right = int16_t(t.posX + t.width);
    cropLayer = currentLayer;
    util_ShowControl(dialog, kCropButton, !cropActive);
    util_ShowControl(dialog, kEndCropButton, cropActive);
    trackedDown = 0;
    RenderImages(true, -1.0f);
}

bool MoveCropArea(int px, int py, int pdx, int pdy) {
    if (!cropActive) return false;
    int x = int(float(px) / scaleFactor), y = int(float(py) / scaleFactor);
    int dx = int(float(pdx) / scaleFactor), dy = int(float(pdy) / scaleFactor);
    int top = cropArea.top, left = cropArea.left, bottom = cropArea.bottom, right = cropArea.right;
    if (trackedDown == 0) {
        if (std::abs(x - left) <= kGrab) trackedDown = 1;
        else if (std::abs(x - right) <= kGrab) trackedDown = 2;
        if (std::abs(y - top) <= kGrab) trackedDown = 3;
        else if (std::abs(y - bottom) <= kGrab) trackedDown = 4;
        else if (left + 10 < x && x < right - 10 && top + 10 < y && y < bottom - 10) trackedDown = 5;
    }
    switch (trackedDown) {
    case 1: left = x; break;
    case 2: right = x; break;
    case 3: top = y; break;
    case 4: bottom = y; break;
    case 5: left += dx; right += dx; top += dy; bottom += dy; break;
    default: break;
    }
    int pictureW = texImages[0].texWidth, pictureH = texImages[0].texHeight;
    if (bottom <= top + kMinCropSide) bottom = top + kMinCropSide;
    if (right <= left + kMinCropSide) right = left + kMinCropSide;
    if (bottom >= pictureH - kCropMargin) bottom = pictureH - kCropMargin;
    if (top < kCropMargin) top = kCropMargin;
    if (right >= pictureW - kCropMargin) right = pictureW - kCropMargin;
    if (left < kCropMargin) left = kCropMargin;
    cropArea = Rect{int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
    if (trackedDown != 0) RenderImages(true, -1.0f);
    return trackedDown != 0;
}

bool DrawCropArea() {
    if (!cropActive) return false;
    if (cropLayer != currentLayer || !IsValidLayer(cropLayer)) {
        cropActive = false;
        util_ShowControl(dialog, kCropButton, true);
        util_ShowControl(dialog, kEndCropButton, false);
        cropLayer = 0;
        trackedDown = 0;
        return false;
    }
    float l = cropArea.left, t = cropArea.top, r = cropArea.right, b = cropArea.bottom;
    glDepthMask(GL_FALSE);
    glDisable(mapTarget);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    auto quad = [&] {
        glBegin(GL_QUADS);
        glVertex3f(l, t, kGuideZ);
        glVertex3f(r, t, kGuideZ);
        glVertex3f(r, b, kGuideZ);
        glVertex3f(l, b, kGuideZ);
        glEnd();
    };
    glColor4f(1, 1, 1, 0.3f);
    quad();
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    Orange(1.0f);
    quad();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    SetPointSize(10.0f);
    int mx = Mid(cropArea.left, cropArea.right), my = Mid(cropArea.top, cropArea.bottom);
    glBegin(GL_POINTS);
    glVertex3f(float(mx), t, kGuideZ);
    glVertex3f(float(mx), b, kGuideZ);
    glVertex3f(l, float(my), kGuideZ);
    glVertex3f(r, float(my), kGuideZ);
    glVertex3f(float(mx), float(my), kGuideZ);
    glEnd();
    SetPointSize(1.0f);
    glEnable(mapTarget);
    glEnable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    return true;
}

void CropLayer() {
    if (!IsValidLayer(cropLayer)) return;
    int w = cropArea.right - cropArea.left, h = cropArea.bottom - cropArea.top;
    if (w <= 0 || h <= 0 || !bufContext) return;
    // Only this layer, rotated: other layers and the base picture do not end up in the result.
    uint8_t* block = BakeLayer(cropLayer, true, cropArea.left, cropArea.top, w, h);
    if (!block) return;
    ClearBakedEffects(cropLayer);   // before the new texture, whose refresh shows the controls

    TexImage& t = texImages[cropLayer];
    t.originX = t.posX = cropArea.left;
    t.originY = t.posY = cropArea.top;
    t.width = t.texWidth = w;
    t.height = t.texHeight = h;
    t.scaleX = t.scaleY = 1.0f;
    t.rotX = t.rotY = t.rotZ = 0;

    glDeleteTextures(1, &t.texture);
    t.texture = 0;
    CreateIndexedTexture(cropLayer, block, w, h);
    SaveTempImage(texImages[cropLayer].path, "crop", block, w, h, 4);
    free(block);
    HandleRotate(0.0f);
    RenderImages(true, -1.0f);
}
