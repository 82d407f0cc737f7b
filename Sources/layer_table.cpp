// layer_table.cpp - the layer table and its slot operations.
#include "layer_table.h"

#include <cstdlib>
#include <cstring>

#include "app_state.h"
#include "gl_context.h"
#include "history.h"
#include "ids.h"
#include "tools_window.h"
#include "util_controls.h"

TexImage texImages[kSlotCount];
int32_t currentLayer = 1;
float scaleFactor = 1.0f;
GLuint baseTexture = 0;
GLuint maskTexture[kMaskCount] = {};
int32_t masksizex[kMaskCount] = {};
int32_t masksizey[kMaskCount] = {};

namespace {

uint64_t lastPixelGeneration = 0;

// Puts every field whose reset value is fixed back to it. name, path, fileType, the sizes and
// depth are left as they are.
void ResetFields(TexImage& t) {
    t.texture = 0;
    t.posX = t.posY = 0;
    t.originX = t.originY = 0;
    t.rotX = t.rotY = t.rotZ = 0;
    t.channels = 3;
    t.scaleX = t.scaleY = 1.0f;
    t.alpha = 1.0f;
    t.shadow = false;
    t.live = false;
    t.reflection = 1.0f;
    t.shadowAngle = 45.0f;
    t.shadowOffset = 10.0f;
    t.shadowDarkness = 20.0f;
    t.hue = 0.0f;
    t.saturation = 1.0f;
    t.lightness = 0.0f;
    t.frame = false;
    t.frameSize = 7;
    t.fillR = t.fillG = t.fillB = -1.0f;
    t.frameColorR = t.frameColorG = t.frameColorB = 0.95f;
    t.isText = false;
    t.fontSize = 60;
    t.outlined = 0;
    t.textR = t.textG = t.textB = 1.0f;
    strcpy(t.fontText, "Hello");
    strcpy(t.fontName, "Arial");
    t.maskRadius = 1.0f;
    t.mask = 0;
    t.maskAngle = 0;
    t.maskFit = true;
}

}  // namespace

void NewPixelGeneration(TexImage& t) { t.pixelGeneration = ++lastPixelGeneration; }

int NewPos(int slot) { return (99 - slot) * -202; }

bool IsValidLayer(int slot) { return slot >= kFirstLayer && slot <= kLastLayer && texImages[slot].texture != 0; }
bool HasValidLayer() { return IsValidLayer(currentLayer); }

int FindFreeSlot(int from) {
    for (int i = from < 0 ? 0 : from; i < kSlotCount; ++i)
        if (texImages[i].texture == 0) return i;
    return -1;
}

void InitLayerTable() {
    for (int i = 0; i < kSlotCount; ++i) {
        TexImage& t = texImages[i];
        free(t.pixels);
        memset(&t, 0, sizeof t);
        ResetFields(t);
        t.depth = NewPos(i);
        t.pixels = nullptr;
        t.maskFit = false;
    }
}

void DeleteTexture(int slot) {
    if (unsigned(slot) > unsigned(kLastLayer)) return;
    TexImage& t = texImages[slot];
    if (t.texture) {
        plat_MakeCurrent(glContext);
        glDeleteTextures(1, &t.texture);
    }
    ResetFields(t);
    free(t.pixels);
    t.pixels = nullptr;
    t.pixelGeneration = 0;
}

void DeleteTextures(int first) {
    if (first == 0) HistoryClear();   // a new picture starts a new history
    if (first <= kLastLayer)
        for (int i = first < 0 ? 0 : first; i <= kLastLayer; ++i) DeleteTexture(i);
    util_ClearMenu(dialog, kLayerPopup);
    EnableSubControls();
    currentLayer = 0;
}

int SwapTextures(int a, int b) {
    if (a == b || !IsValidLayer(a) || !IsValidLayer(b)) return 0;
    TexImage tmp = texImages[a];
    texImages[a] = texImages[b];
    texImages[b] = tmp;
    texImages[a].depth = NewPos(a);
    texImages[b].depth = NewPos(b);
    MarkModified();
    return 1;
}

void RemoveLayerAndCompact(int s) {
    if (s < kFirstLayer || s > kLastLayer) return;
    DeleteTexture(s);
    TexImage freed = texImages[s];   // reset record: becomes the free slot 98 at the end
    for (int k = s + 1; k <= kLastLayer; ++k) {
        texImages[k - 1] = texImages[k];
        texImages[k - 1].depth = NewPos(k - 1);
    }
    freed.depth = NewPos(kLastLayer);
    freed.texture = 0;
    freed.pixels = nullptr;
    texImages[kLastLayer] = freed;
}
