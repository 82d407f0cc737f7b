// textures.cpp - layer textures and the background pattern.
#include "textures.h"

#include <GL/glu.h>

#include "gl_context.h"
#include "platform.h"

namespace {
// Pictures larger than this many pixels are refused before they are decoded.
const int64_t kMaxPicturePixels = int64_t(16384) * 16384;
}

GLuint LoadBaseTexture(const char* path) {
    if (!glContext || !plat_MakeCurrent(glContext)) return 0;
    DecodedImage img;
    if (plat_DecodeImage(path, kMaxPicturePixels, &img) != noErr) return 0;
    glDisable(mapTarget);
    glEnable(GL_TEXTURE_2D);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (useRectMap)
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, img.width, img.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, img.rgba.data());
    else
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, img.width, img.height, GL_RGBA, GL_UNSIGNED_BYTE, img.rgba.data());
    glDisable(GL_TEXTURE_2D);
    glEnable(mapTarget);
    return name;
}
