// live_video.cpp - the live camera layer toggle and the controls a live layer disables.
#include "live_video.h"

#include <GL/glu.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "drawers.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "live_capture.h"
#include "picture_files.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

cLive* _cLive = nullptr;

namespace {

// Copies the placeholder "live.jpg" to the first free "<temporary folder>live<n>.jpg" and loads
// the copy as a new layer, which becomes the current layer. False, leaving nothing behind, when a
// folder is missing, the copy fails, there is no picture or no layer slot is free.
bool AddPlaceholderLayer() {
    char resFolder[kPathSize], tempFolder[kPathSize], name[64], copy[kPathSize + 64];
    if (FindFreeSlot(0) < kFirstLayer) return false;
    if (!GetResFolder(resFolder) || !util_GetTempFolder(tempFolder)) return false;
    strncat(resFolder, "/", sizeof resFolder - strlen(resFolder) - 1);
    int n = 1;
    do {
        snprintf(name, sizeof name, "live%d.jpg", n++);
        snprintf(copy, sizeof copy, "%s%s", tempFolder, name);
    } while (util_exists(copy));
    if (!util_CopyFile(resFolder, "live.jpg", tempFolder, name, false)) return false;
    if (!LoadTexture(copy, -1, true, false)) {
        remove(copy);
        return false;
    }
    return true;
}

// The layer's texture, as last shown, becomes its pixel copy (4 channels, texWidth x texHeight,
// rows top to bottom) and is written over its file in the file's format.
void FreezeLayer(int slot) {
    TexImage& t = texImages[slot];
    if (!plat_MakeCurrent(glContext)) return;
    const size_t size = size_t(t.texWidth) * t.texHeight * 4;
    auto* pixels = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (!pixels) return;
    GLint lw = 0, lh = 0;
    glBindTexture(mapTarget, t.texture);
    glGetTexLevelParameteriv(mapTarget, 0, GL_TEXTURE_WIDTH, &lw);
    glGetTexLevelParameteriv(mapTarget, 0, GL_TEXTURE_HEIGHT, &lh);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    if (lw == t.texWidth && lh == t.texHeight) {
        glGetTexImage(mapTarget, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    } else {
        // A power-of-two level 0 holds the frame resampled: bring it back to the layer's size.
        auto* level = static_cast<uint8_t*>(malloc(size_t(lw > 0 ? lw : 1) * (lh > 0 ? lh : 1) * 4));
        if (!level || lw < 1 || lh < 1) {
            free(level);
            free(pixels);
            return;
        }
        glGetTexImage(mapTarget, 0, GL_RGBA, GL_UNSIGNED_BYTE, level);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gluScaleImage(GL_RGBA, lw, lh, GL_UNSIGNED_BYTE, level, t.texWidth, t.texHeight, GL_UNSIGNED_BYTE, pixels);
        free(level);
    }
    free(t.pixels);
    t.pixels = pixels;
    t.channels = 4;
    NewPixelGeneration(t);
    auto* writer = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (!writer) return;
    memcpy(writer, pixels, size);
    util_swapBGRA(writer, int(size), 4);
    if (QTSave(t.path, writer, t.texWidth, t.texHeight, t.fileType) != 0)
        plat_Log("\nlive video: the frozen frame could not be written to %s", t.path);
    free(writer);
}

void StartLive() {
    if (!AddPlaceholderLayer()) return;
    TexImage& t = texImages[currentLayer];
    long width = t.width, height = t.height;
    int channels = t.channels;
    _cLive = new cLive(window, glContext, t.texture, width, height, channels, 0.002f);
    t.live = true;
    t.posX = t.originX = (texImages[0].width - t.width) / 2;
    t.posY = t.originY = (texImages[0].height - t.height) / 2;
    MarkModified();
    HandleLiveLayerControls();
    RenderImages(true, -1.0f);
}

void StopLive() {
    delete _cLive;
    _cLive = nullptr;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (!texImages[slot].live || !texImages[slot].texture) continue;
        texImages[slot].live = false;
        FreezeLayer(slot);
        MarkModified();
    }
    HandleLiveLayerControls();
    RenderImages(true, -1.0f);
}

}  // namespace

void HandleLiveVideo() {
    if (_cLive) StopLive();
    else StartLive();
}

void HandleLiveLayerControls() {
    if (!HasValidLayer()) return;
    const bool E = !texImages[currentLayer].live;
    for (int id : {kDuplicateButton, kUpButton, kDownButton, kDeleteButton, kRestoreButton, kWriteButton,
                   kExportButton, kOpenProjectButton, kSaveAsButton, kSaveButton})
        util_EnableControl(dialog, id, E);
    for (int item = 1; item <= 3; ++item) util_EnableMenuItem(kMenuProject, item, E);
    HandleLiveColor();
    HandleLiveText();
    HandleLiveFilter();
    HandleLiveExtras();
    HandleLiveAlpha();
}

void StopLiveCapture() {
    delete _cLive;
    _cLive = nullptr;
}
