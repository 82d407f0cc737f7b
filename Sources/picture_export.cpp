// picture_export.cpp - exporting the composite: the whole stack drawn at 1:1 into the offscreen
// framebuffer (whatever the canvas's size and zoom), read back and written in the base picture's
// format; the export command with its message when the file can't be written.
#include <GL/gl.h>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

#include "compositor.h"
#include "gl_context.h"
#include "layer_table.h"
#include "navigation.h"
#include "picture_files.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

// True when slot 0 alone decides every pixel of the width x height picture in a draw of the
// stack: its quad covers the whole picture unturned and every fragment of it has alpha 1, so it
// replaces colour and alpha, and nothing drawn before the full pass, the 0.6 pass included, can
// reach the result.
bool BaseHidesEarlierPasses(int width, int height) {
    const TexImage& b = texImages[0];
    if (b.rotX != 0 || b.rotY != 0 || b.rotZ != 0) return false;
    if (b.posX > 0 || b.posY > 0 || int64_t(b.posX) + b.width < width || int64_t(b.posY) + b.height < height)
        return false;
    return LayerDrawsOpaque(0, -1.0f);
}

// The stack blends colour and alpha apart (source alpha for colour, one for alpha) with the
// separate blend functions; without them colour and alpha need a pass each.
bool HasSeparateBlend() {
    static int known = -1;
    if (known < 0) {
        int major = 0, minor = 0;
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        if (version) sscanf(version, "%d.%d", &major, &minor);
        known = (major > 1 || (major == 1 && minor >= 4) || util_checkGLExtension("GL_EXT_blend_func_separate")) ? 1 : 0;
    }
    return known == 1;
}

// Draws the stack: for PNG a first pass at 0.6 opacity (left out where the base hides it), then
// the stack as it is. Every layer sets the separate blend state, so one pass writes colour and
// alpha at once; without it the colour components and the alpha component get a pass each, with
// the blend functions of each.
void DrawPasses(OSType type, bool baseHides) {
    bool pre = type == FourCC("PNGf") && !baseHides;
    if (HasSeparateBlend()) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        if (pre) RenderImages(false, 0.6f);
        RenderImages(false, -1.0f);
        return;
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (pre) RenderImages(false, 0.6f);
    RenderImages(false, -1.0f);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    if (pre) RenderImages(false, 0.6f);
    RenderImages(false, -1.0f);
}

}  // namespace

int WriteComposite(const char* path, int width, int height, OSType type) {
    printf("\nsaving image %s size %dx%d... ", path, width, height);
    fflush(stdout);
    if (!glContext || !bufContext || width <= 0 || height <= 0) return -1;
    if (!EnsureOffscreenSize(width, height)) return -1;
    float savedZoom = scaleFactor;
    scaleFactor = 1.0f;

    plat_MakeCurrent(bufContext);
    // Colour over the white clear colour, the alpha channel as accumulated coverage. A base that
    // hides what is below it writes every sample of the picture whatever they held, so the clear
    // is left out; the export draws without the depth test, so depth is never cleared.
    const bool baseHides = BaseHidesEarlierPasses(width, height);
    glClearColor(1, 1, 1, 0);
    if (!baseHides) glClear(GL_COLOR_BUFFER_BIT);
    DrawPasses(type, baseHides);
    plat_MakeCurrent(bufContext);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glClearColor(0, 0, 0, 0);
    // Errors the draw left are taken first, so that one the read raises is told apart (bounded:
    // OpenGL keeps one flag per kind of error).
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    // The picture sits at the framebuffer's top-left; rows are read bottom-up, in the layout the
    // framebuffer holds (R,G,B,A), in bands the writer asks for while it encodes those above.
    int fbw = 0, fbh = 0;
    plat_GetOffscreenBufferSize(bufContext, &fbw, &fbh);
    auto read = [&](int first, int count, uint8_t* block) {
        glReadPixels(0, fbh - first - count, width, count, GL_RGBA, GL_UNSIGNED_BYTE, block);
        return glGetError() == GL_NO_ERROR;
    };
    printf("\n...flipping data...");
    printf("\n...image type is %c%c%c%c ...", char(type >> 24), char(type >> 16), char(type >> 8), char(type));
    int result = QTSaveRows(path, width, height, type, read);
    printf("\n...done, exit code %d", result);
    fflush(stdout);
    scaleFactor = savedZoom;
    plat_MakeCurrent(glContext);
    return result;
}

bool SaveImage(const char* path, int width, int height, OSType type) {
    int result = WriteComposite(path, width, height, type);
    if (result < 0) return false;
    RenderImages(true, -1.0f);
    return result == 0;
}

void ExportPicture() {
    char path[kPathSize];
    if (!HandleSaveImage(path)) return;
    const TexImage& base = texImages[0];
    if (SaveImage(path, base.width, base.height, base.fileType)) return;
    char text[kPathSize + 128];
    snprintf(text, sizeof text, "Unable to export the image: the file \"%s\" could not be written", path);
    util_MessageBox(false, text);
}
