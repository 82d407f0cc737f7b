// drawer_text.cpp - the text drawer: turns one line of text into a layer. The drawer's controls
// are read into the working globals below, the text is rendered into an RGBA buffer that just
// fits it (pen advance wide, four thirds of the point size high, with minimums) and the buffer
// becomes the layer's texture like any picture. The layer record keeps the text parameters, so
// selecting the layer puts them back into the drawer and any change re-renders it in place.
#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app_state.h"
#include "compositor.h"
#include "drawers.h"
#include "gl_context.h"
#include "layer_table.h"
#include "platform_text.h"
#include "preferences.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

// Working parameters of the drawer: rendering reads only these.
char _fontText[256] = "Hello World";
char _fontName[256] = "";
int _fontSize = 60;
int _outlined = 0;
float textr = 0.2f, textg = 0.2f, textb = 0.2f;

namespace {

enum { kFontPopup = 567, kOutlineCheck = 568, kSwatch = 570, kSizeField = 571, kTextField = 572, kApplyButton = 573 };
enum { kMinSize = 6, kMaxSize = 240, kDefaultSize = 60, kMaxTextBytes = 254 };

bool pickerEnabled = false;  // the colour picker is open

// Copies text into out (room for kMaxTextBytes bytes), cut so that a UTF-8 sequence is never split.
void CopyText(char* out, const char* text, size_t max) {
    size_t n = strnlen(text, max + 1);
    if (n > max) {
        n = max;
        while (n > 0 && (uint8_t(text[n]) & 0xC0) == 0x80) --n;  // text[n] continues a sequence
    }
    memcpy(out, text, n);
    out[n] = 0;
}

void CopyName(char* out, size_t size, const char* name) {
    size_t n = strnlen(name, size - 1);
    memcpy(out, name, n);
    out[n] = 0;
}

// The selected layer is a text layer.
bool CurrentIsText() {
    return currentLayer >= 1 && currentLayer <= 98 && IsValidLayer(currentLayer) && texImages[currentLayer].isText;
}

void RedrawSwatch() {
    util_ShowControl(drawer_text, kSwatch, false);
    util_ShowControl(drawer_text, kSwatch, true);
}

// Draws the colour swatch: the text colour inset by 4 points, framed by a 2-point line.
void ColorPickerBackground(ControlRef control, PlatPainter* painter, void*) {
    int w = 0, h = 0;
    plat_GetControlSize(control, &w, &h);
    plat_PainterFillRect(painter, 4, 4, float(w - 8), float(h - 8), textr, textg, textb, 1.0f);
    plat_PainterStrokeRect(painter, 0, 0, float(w), float(h), 2.0f);
}

}  // namespace

void InitText() {
    snprintf(_fontText, sizeof _fontText, "%s", "Hello World");
    MenuRef menu = util_GetMenu(drawer_text, kFontPopup);
    if (menu) {
        plat_DeleteAllMenuItems(menu);
        std::vector<std::string> families = plat_FontFamilies();
        int count = 0;
        for (const std::string& family : families) {
            ++count;
            plat_InsertMenuItem(menu, count - 1, family.c_str(), uint32_t(count));
            if (enableFontPreview) plat_SetMenuItemFont(menu, count, family.c_str());
        }
        util_SetItemRange(drawer_text, kFontPopup, 1, count);
        // New text starts in the desktop's own sans-serif family, not in whichever family
        // sorts first (often a symbol or mathematics font).
        std::string standard = plat_DefaultFontFamily();
        char selected[1024];
        if (count > 0 && (standard.empty() || !util_SelectMenuByString(drawer_text, kFontPopup, standard.c_str())))
            util_SetControl(drawer_text, kFontPopup, 1);
        if (util_GetMenuItem(drawer_text, kFontPopup, selected))
            CopyName(_fontName, sizeof _fontName, selected);
    }
    ControlRef swatch = nullptr;
    if (util_GetControlRef(drawer_text, kSwatch, &swatch))
        plat_SetControlDrawHandler(swatch, ColorPickerBackground, nullptr);
}

void TextDrawerControlsEnable(bool) {
    if (!drawer_text) return;
    bool isTextLayer = CurrentIsText();
    util_EnableControl(drawer_text, kApplyButton, isTextLayer);
    if (!isTextLayer) return;
    const TexImage& t = texImages[currentLayer];
    printf("TextDrawerControlsEnable ************ FONTE %s DIM %d\n", t.fontName, t.fontSize);
    util_SelectMenuByString(drawer_text, kFontPopup, t.fontName);
    CopyName(_fontName, sizeof _fontName, t.fontName);
    char text[256];
    CopyText(text, t.fontText, kMaxTextBytes);
    util_SetText(drawer_text, kTextField, text);
    CopyName(_fontText, sizeof _fontText, text);
    util_SetInt(drawer_text, kSizeField, t.fontSize);
    _fontSize = t.fontSize;
    util_SetControl(drawer_text, kOutlineCheck, t.outlined);
    _outlined = t.outlined;
    textr = t.textR;
    textg = t.textG;
    textb = t.textB;
    RedrawSwatch();
}

// A live-video toggle: the drawer is refreshed for the current layer rather than disabled.
void HandleLiveText() {
    if (HasValidLayer()) TextDrawerControlsEnable(true);
}

void CreateText(bool update) {
    char buffer[1024] = "";
    if (util_GetText(drawer_text, kTextField, buffer) && buffer[0]) CopyText(_fontText, buffer, kMaxTextBytes);
    buffer[0] = 0;
    util_GetText(drawer_text, kSizeField, buffer);
    int size = atoi(buffer);
    if (size < kMinSize || size > kMaxSize) {
        _fontSize = kDefaultSize;
        util_SetText(drawer_text, kSizeField, "60");
    } else {
        _fontSize = size;
    }
    _outlined = util_GetControl(drawer_text, kOutlineCheck);
    if (util_GetMenuItem(drawer_text, kFontPopup, buffer)) CopyName(_fontName, sizeof _fontName, buffer);
    bool inPlace = update && currentLayer >= 0 && currentLayer <= 98 && IsValidLayer(currentLayer) &&
                   texImages[currentLayer].isText;
    if (!inPlace) currentLayer = 0;
    CreateString();
    MarkModified();   // a new or re-rendered text layer is an edit like any other
    RenderImages(true, -1.0f);
}

namespace {
void WriteTextRecord(TexImage& t) {
    t.isText = true;
    t.fontSize = _fontSize;
    t.outlined = _outlined;
    t.textR = textr;
    t.textG = textg;
    t.textB = textb;
    t.fileType = FourCC("PNGf");
    CopyText(t.fontText, _fontText, kMaxTextBytes);
    CopyName(t.fontName, sizeof t.fontName, _fontName);
}
}  // namespace

void CreateString() {
    size_t length = strlen(_fontText);
    // Width: the pen advance after the text; height: four thirds of the point size, which leaves
    // a third below the baseline for descenders.
    int w = int(plat_TextAdvance(_fontName, _fontSize, _fontText, length));
    int h = int(double(_fontSize) / 3.0 + double(_fontSize));
    if (w <= 127) w = 128;
    if (h <= 31) h = 32;
    std::vector<uint8_t> rgba;
    if (!plat_RenderText(_fontName, _fontSize, _fontText, length, _outlined != 0, textr, textg, textb, w, h, &rgba))
        return;
    bool ok;
    if (CurrentIsText()) {
        // Re-render in place: the layer keeps its slot, name, position and effects.
        TexImage& t = texImages[currentLayer];
        WriteTextRecord(t);
        plat_MakeCurrent(glContext);
        glDeleteTextures(1, &t.texture);
        t.texture = 0;
        free(t.pixels);
        t.pixels = nullptr;
        ok = NewTexture(currentLayer, rgba.data(), w, h, _fontText);
    } else {
        ok = NewTexture(-1, rgba.data(), w, h, _fontText);
    }
    if (!ok || currentLayer < 0 || currentLayer > 98) return;
    TexImage& t = texImages[currentLayer];
    WriteTextRecord(t);
    t.width = int(float(t.texWidth) * t.scaleX);
    t.height = int(float(t.texHeight) * t.scaleY);
    util_EnableControl(drawer_text, kApplyButton, true);
}

void CreateStringFromProject(int slot) {
    if (slot < 0 || slot > 98) return;
    const TexImage& t = texImages[slot];
    _fontSize = t.fontSize;
    _outlined = t.outlined;
    textr = t.textR;
    textg = t.textG;
    textb = t.textB;
    CopyText(_fontText, t.fontText, kMaxTextBytes);
    char name[256];
    memcpy(name, t.fontName, sizeof name - 1);
    name[sizeof name - 1] = 0;
    CopyName(_fontName, sizeof _fontName, name);
    currentLayer = -1;
    CreateString();
}

void GetFontSelection() { CreateText(true); }
void GetSize() { CreateText(true); }
void GetOutline() { CreateText(true); }

void GetColor() {
    if (pickerEnabled) return;
    pickerEnabled = true;
    ModalRequest request;
    request.kind = ModalKind::Color;
    request.rgb[0] = uint16_t(textr * 65535.0f);
    request.rgb[1] = uint16_t(textg * 65535.0f);
    request.rgb[2] = uint16_t(textb * 65535.0f);
    ModalAnswer answer = plat_RunModal(request);
    if (answer.accepted) {
        textr = float(answer.rgb[0]) / 65535.0f;
        textg = float(answer.rgb[1]) / 65535.0f;
        textb = float(answer.rgb[2]) / 65535.0f;
    }
    RedrawSwatch();
    pickerEnabled = false;
    CreateText(true);
}
