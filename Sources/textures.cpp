// textures.cpp - layer textures: loading pictures into slots, building them from pixel buffers and
// from other layers, replacing and reading back their contents; mask textures and the background
// pattern. Every operation makes the window context current first.
#include "textures.h"

#include <GL/glu.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "canvas_window.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "picture_files.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

GLenum PixelFormat(int channels) {
    if (channels == 1) return GL_LUMINANCE;
    if (channels == 4) return GL_RGBA;
    return GL_RGB;
}

// Counts every upload of texture pixels, so that what was learnt from a texture's pixels can tell
// whether it still holds.
uint64_t textureUploads = 0;

void SetUnpackAlignment(int width) { glPixelStorei(GL_UNPACK_ALIGNMENT, (width & 1) ? 1 : 2); }

// Uploads width x height pixels of the given channel count to the bound texture: level 0 as it is
// with rectangle textures, a resampled power-of-two mipmap chain otherwise.
void Upload(GLenum target, const uint8_t* pixels, int width, int height, int channels) {
    NoteTextureUpload();
    if (useRectMap)
        glTexImage2D(target, 0, channels, width, height, 0, PixelFormat(channels), GL_UNSIGNED_BYTE, pixels);
    else
        gluBuild2DMipmaps(target, channels, width, height, PixelFormat(channels), GL_UNSIGNED_BYTE, pixels);
}

// Without rectangle textures a texture's level 0 is a resampled power-of-two picture, so what
// Buffer2Texture showed cannot be read back from it: the shown buffer is kept here, by texture
// name, until Texture2Buffer takes it (or the texture is replaced).
struct ShownBuffer {
    GLuint texture;
    int width, height, channels;
    std::vector<uint8_t> pixels;
};
std::vector<ShownBuffer> shownBuffers;

// Drops kept buffers whose texture is no longer a slot's (deleted, or its name made anew).
void ForgetStaleShownBuffers(GLuint renamed) {
    auto stale = [renamed](const ShownBuffer& b) {
        if (b.texture == renamed) return true;
        for (int s = kFirstLayer; s <= kLastLayer; ++s)
            if (texImages[s].texture == b.texture) return false;
        return true;
    };
    shownBuffers.erase(std::remove_if(shownBuffers.begin(), shownBuffers.end(), stale), shownBuffers.end());
}

// A new texture name bound to target with the modulate environment, the filter for both
// minification and magnification, and the wrap mode on both axes.
GLuint NewBoundTexture(GLenum target, GLint filter, GLint wrap) {
    GLuint name = 0;
    glGenTextures(1, &name);
    if (!shownBuffers.empty()) ForgetStaleShownBuffers(name);
    glBindTexture(target, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, wrap);
    return name;
}

// The standard upload of a slot: a new texture name on mapTarget with the slot's conventions.
void UploadSlot(int slot, const uint8_t* pixels) {
    TexImage& t = texImages[slot];
    glEnable(mapTarget);
    SetUnpackAlignment(t.texWidth);
    t.texture = NewBoundTexture(mapTarget, (slot == 0 && useRectMap) ? GL_NEAREST : GL_LINEAR, GL_CLAMP_TO_EDGE);
    Upload(mapTarget, pixels, t.texWidth, t.texHeight, t.channels);
}

// The slot's pixel copy. With rectangle textures level 0 holds exactly the uploaded pixels; the
// power-of-two path resamples, so there the uploaded buffer itself is kept.
void MakePixelCopy(int slot, const uint8_t* uploaded) {
    TexImage& t = texImages[slot];
    free(t.pixels);
    NewPixelGeneration(t);
    size_t size = size_t(t.texWidth) * t.texHeight * t.channels;
    t.pixels = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (!t.pixels) return;
    if (useRectMap) {
        glBindTexture(mapTarget, t.texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(mapTarget, 0, PixelFormat(t.channels), GL_UNSIGNED_BYTE, t.pixels);
    } else {
        memcpy(t.pixels, uploaded, size);
    }
}

// Slot chosen by an operation: -1 searches the first free slot from 0, 0..98 is taken as given.
int ChooseSlot(int slot) {
    if (slot == -1) return FindFreeSlot(0);
    if (slot < 0 || slot > kLastLayer) return -1;
    return slot;
}

// Adds name as item slot of the layer popup (or renames that item) and selects it.
void ListLayer(int slot, const char* name, bool rename) {
    if (rename) util_SetMenuItemText(dialog, kLayerPopup, slot, true, name);
    else util_SetMenuItem(dialog, kLayerPopup, slot, true, name);
}

}  // namespace

bool LoadTexture(const char* path, int slot, bool refreshControls, bool renameItem) {
    if (!glContext || !plat_MakeCurrent(glContext)) return false;
    slot = ChooseSlot(slot);
    if (slot < 0) return false;
    TexImage& t = texImages[slot];
    long w = 0, h = 0;
    int channels = 0;
    unsigned long type = 0;
    uint8_t* pixels = LoadImage(path, &w, &h, &channels, &type);
    if (!pixels) return false;
    t.texWidth = int32_t(w);
    t.texHeight = int32_t(h);
    t.channels = channels;
    t.width = t.texWidth;
    t.height = t.texHeight;
    UploadSlot(slot, pixels);
    if (slot == 0) {
        EnsureOffscreenSize(t.width, t.height);
        UpdateContext();
        UpdateDialogPosition();
        util_SetWindowTitle(window, currentPicture);
    } else {
        MakePixelCopy(slot, pixels);
        snprintf(t.path, sizeof t.path, "%s", path);
        char base[kPathSize], ext[kPathSize] = "";
        snprintf(base, sizeof base, "%s", path);
        if (!util_SplitPath(nullptr, base, ext)) {
            // No extension: the name is the last path component.
            const char* slash = strrchr(path, '/');
            snprintf(base, sizeof base, "%s", slash ? slash + 1 : path);
            ext[0] = 0;
        }
        snprintf(t.name, sizeof t.name, "%s%s", base, ext);
        ListLayer(slot, t.name, renameItem);
        currentLayer = slot;
        if (refreshControls) EnableSubControls();
    }
    free(pixels);
    t.fileType = OSType(type);
    return true;
}

bool NewTexture(int slot, const uint8_t* rgba, int width, int height, const char* name) {
    if (!glContext || !plat_MakeCurrent(glContext) || !rgba || width <= 0 || height <= 0) return false;
    bool searched = slot == -1;
    slot = ChooseSlot(slot);
    if (slot < 0) return false;
    TexImage& t = texImages[slot];
    t.width = t.texWidth = width;
    t.height = t.texHeight = height;
    t.channels = 4;
    t.fileType = FourCC("PNGf");
    UploadSlot(slot, rgba);
    MakePixelCopy(slot, rgba);
    if (searched) {
        ListLayer(slot, name ? name : "", false);
        snprintf(t.name, sizeof t.name, "%s", name ? name : "");
        snprintf(t.path, sizeof t.path, "%s", name ? name : "");
    }
    currentLayer = slot;
    EnableSubControls();
    return true;
}

bool CreateIndexedTexture(int slot, const uint8_t* rgba, int width, int height) {
    if (slot < 0 || slot > kLastLayer) return false;
    return NewTexture(slot, rgba, width, height, nullptr);
}

int DuplicateTexture(int source, int flip) {
    if (!glContext || !plat_MakeCurrent(glContext)) return 0;
    if (!IsValidLayer(source) || texImages[source].live || !texImages[source].pixels) return 0;
    int slot = FindFreeSlot(2);
    if (slot < 0) return 0;
    const TexImage& s = texImages[source];
    TexImage& t = texImages[slot];
    uint8_t* oldCopy = t.pixels;
    t = s;                          // every field, then what must not be shared
    t.texture = 0;
    t.pixels = oldCopy;
    t.live = false;
    t.depth = NewPos(slot);
    free(t.pixels);
    t.pixels = nullptr;
    size_t size = size_t(s.texWidth) * s.texHeight * s.channels;
    auto* copy = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (!copy) return 0;
    memcpy(copy, s.pixels, size);
    if (flip == 1) util_flip(copy, s.texWidth, s.texHeight, s.channels);
    UploadSlot(slot, copy);
    MakePixelCopy(slot, copy);
    free(copy);
    return slot;
}

void Buffer2Texture(int slot, const uint8_t* pixels) {
    if (!IsValidLayer(slot) || !pixels || !plat_MakeCurrent(glContext)) return;
    TexImage& t = texImages[slot];
    glDeleteTextures(1, &t.texture);
    t.texture = 0;
    UploadSlot(slot, pixels);
    if (!useRectMap) {
        ForgetStaleShownBuffers(0);
        size_t size = size_t(t.texWidth) * t.texHeight * t.channels;
        shownBuffers.push_back({t.texture, t.texWidth, t.texHeight, t.channels, std::vector<uint8_t>(pixels, pixels + size)});
    }
}

void ReuploadSlot(int slot) {
    if (!IsValidLayer(slot) || !texImages[slot].pixels || !plat_MakeCurrent(glContext)) return;
    TexImage& t = texImages[slot];
    glDeleteTextures(1, &t.texture);
    t.texture = 0;
    std::vector<uint8_t> copy(t.pixels, t.pixels + size_t(t.texWidth) * t.texHeight * t.channels);
    UploadSlot(slot, copy.data());
    MakePixelCopy(slot, copy.data());
}

void RemakeSlotTexture(int slot) {
    if (slot < kFirstLayer || slot > kLastLayer || !texImages[slot].pixels || !plat_MakeCurrent(glContext)) return;
    UploadSlot(slot, texImages[slot].pixels);
}

void Texture2Buffer(int slot) {
    if (!IsValidLayer(slot) || !texImages[slot].pixels || !plat_MakeCurrent(glContext)) return;
    TexImage& t = texImages[slot];
    NewPixelGeneration(t);
    if (!useRectMap) {
        // The buffer Buffer2Texture showed; a texture built from the pixel copy has nothing new.
        for (auto b = shownBuffers.begin(); b != shownBuffers.end(); ++b) {
            if (b->texture != t.texture) continue;
            if (b->width == t.texWidth && b->height == t.texHeight && b->channels == t.channels)
                memcpy(t.pixels, b->pixels.data(), b->pixels.size());
            shownBuffers.erase(b);
            break;
        }
        return;
    }
    glBindTexture(mapTarget, t.texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(mapTarget, 0, PixelFormat(t.channels), GL_UNSIGNED_BYTE, t.pixels);
}

GLuint LoadMaskTexture(const char* path, int& width, int& height) {
    if (!glContext || !plat_MakeCurrent(glContext)) return 0;
    long w = 0, h = 0;
    int channels = 0;
    unsigned long type = 0;
    uint8_t* pixels = LoadImage(path, &w, &h, &channels, &type);
    if (!pixels) return 0;
    // A grey mask becomes an alpha ramp: every pixel's alpha takes its blue value.
    size_t size = size_t(w) * h * channels;
    for (size_t i = 3; i < size; i += size_t(channels)) pixels[i] = pixels[i - 1];
    glEnable(mapTarget);
    SetUnpackAlignment(int(w));
    GLuint name = NewBoundTexture(mapTarget, GL_LINEAR, GL_CLAMP_TO_EDGE);
    Upload(mapTarget, pixels, int(w), int(h), channels);
    free(pixels);
    width = int(w);
    height = int(h);
    return name;
}

GLuint LoadBaseTexture(const char* path) {
    if (!glContext || !plat_MakeCurrent(glContext)) return 0;
    long w = 0, h = 0;
    int channels = 0;
    unsigned long type = 0;
    uint8_t* pixels = LoadImage(path, &w, &h, &channels, &type);
    if (!pixels) return 0;
    glDisable(mapTarget);
    glEnable(GL_TEXTURE_2D);
    GLuint name = NewBoundTexture(GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT);
    SetUnpackAlignment(int(w));
    NoteTextureUpload();
    if (useRectMap)
        glTexImage2D(GL_TEXTURE_2D, 0, channels, int(w), int(h), 0, PixelFormat(channels), GL_UNSIGNED_BYTE, pixels);
    else
        gluBuild2DMipmaps(GL_TEXTURE_2D, channels, int(w), int(h), PixelFormat(channels), GL_UNSIGNED_BYTE, pixels);
    free(pixels);
    glDisable(GL_TEXTURE_2D);
    glEnable(mapTarget);
    return name;
}

namespace {

bool TextureIsOpaqueNow(GLuint texture, GLenum target) {
    glBindTexture(target, texture);
    GLint w = 0, h = 0, wrapS = 0, wrapT = 0, minFilter = 0, magFilter = 0;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexParameteriv(target, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(target, GL_TEXTURE_WRAP_T, &wrapT);
    glGetTexParameteriv(target, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(target, GL_TEXTURE_MAG_FILTER, &magFilter);
    if (w <= 0 || h <= 0) return false;
    // A clamp to the border colour mixes the border's alpha into the edge texels when filtered.
    auto border = [](GLint wrap) { return wrap == GL_CLAMP || wrap == GL_CLAMP_TO_BORDER; };
    if ((border(wrapS) || border(wrapT)) && (minFilter != GL_NEAREST || magFilter != GL_NEAREST)) return false;
    std::vector<uint8_t> alpha(size_t(w) * size_t(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glGetTexImage(target, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    uint8_t all = 255;
    for (uint8_t a : alpha) all &= a;
    return all == 255;
}

}  // namespace

void NoteTextureUpload() { ++textureUploads; }

bool TextureIsOpaque(GLuint texture, GLenum target) {
    if (!texture) return false;
    glBindTexture(target, texture);
    // The answer for the last texture asked about, until any texture is uploaded again: an export
    // asks about the base picture every time, and reading its alpha back costs milliseconds.
    static struct {
        GLuint texture;
        GLenum target;
        uint64_t uploads;
        bool opaque;
    } last{0, 0, 0, false};
    if (last.texture == texture && last.target == target && last.uploads == textureUploads) return last.opaque;
    last = {texture, target, textureUploads, TextureIsOpaqueNow(texture, target)};
    return last.opaque;
}
