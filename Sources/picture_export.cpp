// picture_export.cpp - exporting the composite: the whole stack drawn at 1:1 into the offscreen
// framebuffer (whatever the canvas's size and zoom), read back and written in the base picture's
// format; the export command with its message when the file can't be written.
#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>

#include "compositor.h"
#include "gl_context.h"
#include "layer_table.h"
#include "navigation.h"
#include "picture_files.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

// Draws the stack into the components of the colour mask: for PNG a first pass at 0.6 opacity,
// then the stack as it is.
void DrawPasses(OSType type) {
    if (type == FourCC("PNGf")) RenderImages(false, 0.6f);
    RenderImages(false, -1.0f);
}

}  // namespace

int WriteComposite(const char* path, int width, int height, OSType type) {
    printf("\nsaving image %s size %dx%d... ", path, width, height);
    fflush(stdout);
    if (!glContext || !bufContext || width <= 0 || height <= 0) return -1;
    if (!EnsureOffscreenSize(width, height)) return -1;
    size_t size = size_t(width) * 4 * height;
    auto* buffer = static_cast<uint8_t*>(malloc(size));
    if (!buffer) return -1;
    float savedZoom = scaleFactor;
    scaleFactor = 1.0f;

    plat_MakeCurrent(bufContext);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Colour over the white clear colour, then the alpha channel as accumulated coverage.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    DrawPasses(type);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    DrawPasses(type);
    plat_MakeCurrent(bufContext);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glFinish();
    // The picture sits at the framebuffer's top-left; rows are read bottom-up.
    int fbw = 0, fbh = 0;
    plat_GetOffscreenBufferSize(bufContext, &fbw, &fbh);
    glReadPixels(0, fbh - height, width, height, GL_BGRA, GL_UNSIGNED_BYTE, buffer);
    glClearColor(0, 0, 0, 0);

    util_swapRGBA(buffer, int(size), 4);
    printf("\n...flipping data...");
    util_flip(buffer, width, height, 4);
    printf("\n...image type is %c%c%c%c ...", char(type >> 24), char(type >> 16), char(type >> 8), char(type));
    int result = QTSave(path, buffer, width, height, type);
    printf("\n...done, exit code %d", result);
    fflush(stdout);
    free(buffer);
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
