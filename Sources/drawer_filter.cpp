// drawer_filter.cpp - the filter drawer: choosing a filter, previewing it on the current layer from
// the sliders, confirming and undoing. The filters themselves are the platform's filter engine,
// which takes the layer's pixels in their true colour order.
#include "drawer_filter.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app_state.h"
#include "compositor.h"
#include "drawers.h"
#include "filter_engine.h"
#include "gl_context.h"
#include "history.h"
#include "layer_table.h"
#include "picture_files.h"
#include "pixel_ops.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

int currFilter = 0;
int currentCoreLayer = 0;
const FilterRecord* gCoreFilter = nullptr;
ControlActionProc slider1ControlActionUPP = nullptr;
ControlActionProc slider2ControlActionUPP = nullptr;

namespace {

enum { kFilterPopup = 567, kKey1Text = 568, kSlider1 = 569, kKey2Text = 570, kSlider2 = 571,
       kConfirmButton = 575, kUndoButton = 576 };

// The last preview: the filtered pixels, and the bytes the texture was given for it (the same,
// or passed through the layer's hue and saturation). Confirm commits the filtered pixels when
// the texture still shows that preview; anything that rebuilt the texture from the pixel copy
// since (a hue change, a fill) has discarded it.
std::vector<uint8_t> previewPixels;
std::vector<uint8_t> previewShown;

// A preview asked for by a slider move and not run yet.
TimerRef pendingTimer = nullptr;
int pendingLayer = 0;

bool HasKey(const FilterParam& p) { return p.key[0] != 0; }

void SetButtons(bool confirm, bool undo) {
    util_EnableControl(drawer_filter, kConfirmButton, confirm);
    util_EnableControl(drawer_filter, kUndoButton, undo);
}

void CancelPending() {
    if (pendingTimer) plat_RemoveEventLoopTimer(pendingTimer);
    pendingTimer = nullptr;
    pendingLayer = 0;
}

void RunPending(TimerRef, void*) {
    int layer = pendingLayer;
    CancelPending();
    if (IsValidLayer(layer)) ApplyCoreFilter(layer);
}

// Shows pixels in the layer's texture through the layer's hue and saturation, as every other
// rebuild of a layer's texture does; shown receives the bytes the texture was given.
void ShowInTexture(int slot, const uint8_t* pixels, std::vector<uint8_t>* shown) {
    TexImage& t = texImages[slot];
    size_t size = size_t(t.texWidth) * t.texHeight * t.channels;
    if (useImaging && (t.hue != 0.0f || t.saturation != 1.0f) && t.channels == 4) {
        float m[16];
        BuildColorMatrix(t.hue, t.saturation, m);
        std::vector<uint8_t> colored(size);
        TransformPixels(m, pixels, colored.data(), t.texWidth * t.texHeight);
        Buffer2Texture(slot, colored.data());
        if (shown) *shown = std::move(colored);
    } else {
        Buffer2Texture(slot, pixels);
        if (shown) shown->assign(pixels, pixels + size);
    }
}

// True when the layer's texture still holds the last preview.
bool PreviewOnScreen(int slot) {
    TexImage& t = texImages[slot];
    size_t size = size_t(t.texWidth) * t.texHeight * t.channels;
    if (previewPixels.size() != size || previewShown.size() != size) return false;
    std::vector<uint8_t> copy(t.pixels, t.pixels + size);
    uint64_t generation = t.pixelGeneration;
    Texture2Buffer(slot);   // the texture's contents into the pixel copy, for a moment
    bool same = memcmp(t.pixels, previewShown.data(), size) == 0;
    memcpy(t.pixels, copy.data(), size);
    t.pixelGeneration = generation;   // the copy is as it was
    return same;
}

void SliderMoved(int k, int sliderId) {
    if (!HasValidLayer()) return;
    FilterParam& p = gFilter[currFilter].param[k];
    p.value = float(util_GetControl(drawer_filter, sliderId)) * p.max / 100.0f;
    pendingLayer = currentLayer;
    if (pendingTimer) return;
    pendingTimer = plat_InstallEventLoopTimer(0.0, 0.0, RunPending, nullptr);
    if (!pendingTimer) RunPending(nullptr, nullptr);   // no event loop: filter at once
}

}  // namespace

int InitFilter() {
    if (MenuRef menu = util_GetMenu(drawer_filter, kFilterPopup)) {
        plat_DeleteAllMenuItems(menu);
        for (int i = 0; i < kFilterCount; ++i) plat_InsertMenuItem(menu, i, gFilter[i].title, uint32_t(i + 1));
        util_SetItemRange(drawer_filter, kFilterPopup, 1, kFilterCount);
        util_SetControl(drawer_filter, kFilterPopup, currFilter + 1);
    }
    slider1ControlActionUPP = util_InstallAction(drawer_filter, kSlider1, LiveHandleSlider1);
    slider2ControlActionUPP = util_InstallAction(drawer_filter, kSlider2, LiveHandleSlider2);
    SetCurrentFilter();
    return kFilterCount;
}

void SetCurrentFilter() {
    if (!drawer_filter) return;
    FlushFilterPreview();
    for (int id : {kKey1Text, kSlider1, kKey2Text, kSlider2}) util_ShowControl(drawer_filter, id, false);
    int item = util_GetControl(drawer_filter, kFilterPopup);
    if (item >= 1 && item <= kFilterCount) currFilter = item - 1;
    const FilterRecord& r = gFilter[currFilter];
    if (HasKey(r.param[0])) {
        util_SetText(drawer_filter, kKey1Text, r.param[0].key);
        util_ShowControl(drawer_filter, kKey1Text, true);
        util_ShowControl(drawer_filter, kSlider1, true);
        util_SetControl(drawer_filter, kSlider1, r.param[0].max > 0 ? int(r.param[0].value * 100 / r.param[0].max) : 0);
        if (HasKey(r.param[1])) {
            util_SetText(drawer_filter, kKey2Text, r.param[1].key);
            util_ShowControl(drawer_filter, kKey2Text, true);
            util_ShowControl(drawer_filter, kSlider2, true);
            util_SetControl(drawer_filter, kSlider2,
                            r.param[1].max > 0 ? int(100 * r.param[1].value / r.param[1].max) : 0);
        }
    }
    SetButtons(false, false);
}

void LiveHandleSlider1(ControlRef, int) { SliderMoved(0, kSlider1); }
void LiveHandleSlider2(ControlRef, int) { SliderMoved(1, kSlider2); }

void FlushFilterPreview() {
    if (pendingTimer) RunPending(pendingTimer, nullptr);
}

namespace {
// The current record's values for the engine; returns how many.
int CurrentValues(vfilter::Value* values, int width, int height) {
    const FilterRecord& r = gFilter[currFilter];
    gCoreFilter = &r;
    int n = 0;
    if (r.centered) {
        const TexImage& t = texImages[IsValidLayer(currentCoreLayer) ? currentCoreLayer : 0];
        int cw = IsValidLayer(currentCoreLayer) ? t.texWidth : width;
        int ch = IsValidLayer(currentCoreLayer) ? t.texHeight : height;
        values[n++] = {"inputCenter", float(cw / 2), float(ch / 2)};
    }
    for (const FilterParam& p : r.param)
        if (HasKey(p)) values[n++] = {p.key, p.value, 0.0f};
    return n;
}
}  // namespace

void ProcessFilter(unsigned char* buffer, int width, int height, int bytesPerPixel) {
    if (!buffer || bytesPerPixel != 4) return;
    vfilter::Value values[kFilterParams + 1];
    const int n = CurrentValues(values, width, height);
    vfilter::Run(gFilter[currFilter].ciName, values, n, buffer, width, height);
}

void ApplyCoreFilter(int layer) {
    if (!IsValidLayer(layer) || !texImages[layer].pixels || texImages[layer].live) return;
    TexImage& t = texImages[layer];
    currentCoreLayer = layer;
    size_t size = size_t(t.texWidth) * t.texHeight * t.channels;
    // The filter reads the untouched pixels and writes the preview buffer: the bytes of filtering
    // a copy, without making the copy first.
    previewPixels.resize(size);
    if (t.channels == 4) {
        vfilter::Value values[kFilterParams + 1];
        const int n = CurrentValues(values, t.texWidth, t.texHeight);
        vfilter::RunFrom(gFilter[currFilter].ciName, values, n, t.pixels, previewPixels.data(), t.texWidth, t.texHeight);
    } else {
        std::copy(t.pixels, t.pixels + size, previewPixels.begin());
    }
    ShowInTexture(layer, previewPixels.data(), &previewShown);
    RenderImages(true, -1.0f);
    SetButtons(true, true);
}

void FilterConfirm() {
    FlushFilterPreview();
    HistoryNameAction(gFilter[currFilter].title);
    int slot = currentCoreLayer;
    if (!IsValidLayer(slot) || !texImages[slot].pixels) return;
    TexImage& t = texImages[slot];
    size_t size = size_t(t.texWidth) * t.texHeight * t.channels;
    // What the texture shows: the preview while it is still there, else the pixel copy (the
    // texture shows it through the hue and saturation, which stay effects of the layer).
    std::vector<uint8_t> result = PreviewOnScreen(slot) ? previewPixels : std::vector<uint8_t>(t.pixels, t.pixels + size);

    char path[kPathSize] = "";
    SaveTempImage(path, "filter", result.data(), t.texWidth, t.texHeight, t.channels);
    if (!path[0]) {
        // Nothing could be written: the preview stays on screen, nothing is lost.
        util_MessageBox(false, "Unable to save the filtered picture in the temporary folder");
        return;
    }
    plat_MakeCurrent(glContext);
    glDeleteTextures(1, &t.texture);
    t.texture = 0;
    free(t.pixels);
    t.pixels = nullptr;
    if (!LoadTexture(path, slot, false, true)) {
        NewTexture(slot, result.data(), t.texWidth, t.texHeight, nullptr);
        snprintf(t.path, sizeof t.path, "%s", path);
    }
    if (useImaging && (t.hue != 0.0f || t.saturation != 1.0f)) ApplyColorMatrix(slot);
    previewPixels.clear();
    previewShown.clear();
    t.width = int32_t(t.texWidth * t.scaleX);
    t.height = int32_t(t.texHeight * t.scaleY);
    currentLayer = slot;
    MarkModified();
    EnableSubControls();
    RenderImages(true, -1.0f);
    SetButtons(false, false);
}

void FilterUndo() {
    CancelPending();
    if (currentCoreLayer == 0) return;
    if (IsValidLayer(currentCoreLayer) && texImages[currentCoreLayer].pixels)
        ShowInTexture(currentCoreLayer, texImages[currentCoreLayer].pixels, nullptr);
    previewPixels.clear();
    previewShown.clear();
    currentCoreLayer = 0;
    RenderImages(true, -1.0f);
    SetButtons(false, false);
}

void FilterDrawerControlsEnable(bool enable) {
    if (!drawer_filter) return;
    bool on = enable && HasValidLayer() && !texImages[currentLayer].live;
    for (int id : {kFilterPopup, kSlider1, kSlider2, kConfirmButton}) util_EnableControl(drawer_filter, id, on);
    util_EnableControl(drawer_filter, kUndoButton, on && currentCoreLayer == currentLayer);
}

void HandleLiveFilter() { FilterDrawerControlsEnable(false); }
