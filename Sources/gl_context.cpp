// gl_context.cpp - OpenGL contexts, capabilities and projections.
#include "gl_context.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "canvas_window.h"
#include "compositor.h"
#include "ids.h"
#include "layer_table.h"
#include "preferences.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

GLContextRef glContext = nullptr;
GLContextRef bufContext = nullptr;
GLContextRef pbuffer = nullptr;
GLenum mapTarget = GL_TEXTURE_2D;
bool useRectMap = false;
bool useImaging = false;
bool imagingInHardware = false;
bool multisampleSupported = false;
int32_t multisampleLevel = 4;

static const char* kHardwareWarning =
    "Warning: some functions will be compromised because they arent natively supported by your card. "
    "In some cases the functions are emulated thru software, in this case the tool works fine but "
    "it's slower applying some specific effect";

bool ShowHardwareWarning(bool rectangles, bool imaging, bool firstLaunch) {
    if ((rectangles && imaging) || !firstLaunch) return false;
    util_MessageBox(false, kHardwareWarning);
    return true;
}

bool util_checkGLExtension(const char* name) {
    const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return ext && name && strstr(ext, name) != nullptr;
}

void SetCommonState() {
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glClearDepth(1.0);
    glDisable(GL_SCISSOR_TEST);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(mapTarget);
}

// Multisampled drawing on or off in the current context.
static void SetMultisample(bool on) {
    if (on) glEnable(GL_MULTISAMPLE_ARB);
    else glDisable(GL_MULTISAMPLE_ARB);
}

float lineScale = 1.0f;

void SetLineWidth(float points) { glLineWidth(points * lineScale); }
void SetPointSize(float points) { glPointSize(points * lineScale); }

void SetWindowState() {
    SetCommonState();
    glFrontFace(GL_CW);
    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    glDisable(GL_ALPHA_TEST);
    SetLineWidth(2.0f);
}

void SetWindowProjection(int width, int height) {
    int dw = 0, dh = 0;
    plat_GetDrawableSize(glContext, &dw, &dh);
    if (dw <= 0 || dh <= 0) {
        dw = width;
        dh = height;
    }
    glViewport(0, 0, dw, dh);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, 1.0, 21000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void SetOffscreenProjection() {
    int w = kOffscreenSize, h = kOffscreenSize;
    plat_GetOffscreenBufferSize(bufContext, &w, &h);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, h, 0, 1.0, 21000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

bool EnsureOffscreenSize(int width, int height) {
    if (!bufContext) return false;
    // Never below the minimum, and no larger than asked: a large picture's buffer is given back
    // when a smaller one follows.
    bool ok = plat_ResizeOffscreenBuffer(bufContext, std::max(width, int(kOffscreenSize)),
                                         std::max(height, int(kOffscreenSize)));
    if (ok) SetOffscreenProjection();
    plat_MakeCurrent(glContext);
    return ok;
}

bool StartOpenGL() {
    GLFormatRequest fmt;
    fmt.samples = multisampleLevel > 0 ? multisampleLevel : 0;
    glContext = plat_CreateWindowGLContext(window, fmt);
    if (!glContext) return false;

    useRectMap = false;
    mapTarget = GL_TEXTURE_2D;
    imagingInHardware = util_checkGLExtension("GL_ARB_imaging");
    // Hue and saturation are computed on the CPU when the card lacks the imaging subset, so the
    // colour matrix can always be applied.
    useImaging = true;
    if (util_checkGLExtension("GL_ARB_texture_rectangle") || util_checkGLExtension("GL_EXT_texture_rectangle")) {
        useRectMap = true;
        mapTarget = GL_TEXTURE_RECTANGLE_ARB;
    }
    ShowHardwareWarning(useRectMap, useImaging, firstTimeLaunch != 0);
    plat_MakeCurrent(glContext);

    SetWindowState();
    multisampleSupported = util_checkGLExtension("GL_ARB_multisample");
    if (multisampleSupported) glEnable(GL_MULTISAMPLE_ARB);

    for (int i = 0; i < kMaskCount; ++i) maskTexture[i] = 0;
    InitLayerTable();
    UpdateContext();

    // Exports and bakes are antialiased like the canvas: the offscreen framebuffer has as many
    // samples as the window asks for, and the antialiasing switch decides whether they are used.
    bufContext = plat_CreateOffscreenGLContext(glContext, kOffscreenSize, kOffscreenSize, std::abs(multisampleLevel));
    pbuffer = bufContext;
    if (bufContext) {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        SetOffscreenProjection();
        SetCommonState();
        SetMultisample(multisampleLevel > 0);
    }
    plat_MakeCurrent(glContext);

    char path[kPathSize];
    if (!util_ResourcePath("background.tif", path)) return false;
    baseTexture = LoadBaseTexture(path);
    return baseTexture != 0;
}

void UpdateContext() {
    if (!glContext) return;
    plat_MakeCurrent(glContext);
    UpdateWindowSize();
    Rect r;
    plat_GetWindowBounds(window, &r);
    SetWindowProjection(r.right - r.left, r.bottom - r.top);
    RenderImages(true, -1.0f);
}

void ToggleMultisample() {
    multisampleLevel = -multisampleLevel;
    if (multisampleSupported && plat_MakeCurrent(glContext)) SetMultisample(multisampleLevel >= 0);
    if (bufContext && plat_MakeCurrent(bufContext)) SetMultisample(multisampleLevel >= 0);
    plat_MakeCurrent(glContext);
    RenderImages(true, -1.0f);
}

void CloseOpenGL() {
    if (glContext) plat_MakeCurrent(glContext);
    for (int i = 0; i < kSlotCount; ++i) DeleteTexture(i);
    util_ClearMenu(dialog, kLayerPopup);
    EnableSubControls();
    currentLayer = 0;
    if (glContext) {
        if (baseTexture) glDeleteTextures(1, &baseTexture);
        for (int i = 0; i < kMaskCount; ++i)
            if (maskTexture[i]) glDeleteTextures(1, &maskTexture[i]);
    }
    baseTexture = 0;
    for (int i = 0; i < kMaskCount; ++i) maskTexture[i] = 0;
    if (glContext) {
        plat_DestroyGLContext(bufContext);
        bufContext = pbuffer = nullptr;
        plat_DestroyGLContext(glContext);
        glContext = nullptr;
    }
}
