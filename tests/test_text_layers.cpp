// Text layers: texture size rules, reading the text drawer, re-rendering in place, colour and
// outline rendering, the colour picker's guard and the rebuilding of a text layer from a project
// record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app_fixture.h"
#include "drawers.h"
#include "layer_table.h"
#include "tools_window.h"
#include "util_controls.h"

extern char _fontText[256];
extern char _fontName[256];
extern int _fontSize;
extern int _outlined;
extern float textr, textg, textb;

namespace {

enum { kFontPopup = 567, kOutlineCheck = 568, kNewButton = 569 };
enum { kSizeField = 571, kTextField = 572, kApplyButton = 573 };
const char* const kFamily = "DejaVu Sans";

class TextLayersBase : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        MakeBasePicture(800, 600);
        textr = textg = textb = 0.2f;
        ASSERT_TRUE(util_SelectMenuByString(drawer_text, kFontPopup, kFamily)) << kFamily << " missing from the menu";
        util_SetControl(drawer_text, kOutlineCheck, 0);
        util_SetText(drawer_text, kSizeField, "60");
        util_SetText(drawer_text, kTextField, "Hello World");
    }
    void TearDown() override { ResetProgramState(); }

    // Makes a new text layer from the drawer with the given text and size; returns its slot.
    static int NewText(const char* text, const char* size) {
        util_SetText(drawer_text, kTextField, text);
        util_SetText(drawer_text, kSizeField, size);
        CreateText(false);
        return currentLayer;
    }
    static std::string Field(int id) {
        char t[1024] = "";
        util_GetText(drawer_text, id, t);
        return t;
    }
    static bool Enabled(int id) {
        ControlRef c = nullptr;
        return util_GetControlRef(drawer_text, id, &c) && plat_IsControlEnabled(c);
    }
    static const uint8_t* Px(const TexImage& t, int x, int y) { return t.pixels + (size_t(y) * t.texWidth + x) * 4; }
};

class TextLayersSize : public TextLayersBase {};
class TextLayersDrawer : public TextLayersBase {};
class TextLayersPixels : public TextLayersBase {};
class TextLayersColour : public TextLayersBase {};
class TextLayersProject : public TextLayersBase {};

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST_F(TextLayersSize, ShortSmallTextGetsBothMinimums) {
    int slot = NewText("a", "10");
    ASSERT_EQ(slot, 1);
    const TexImage& t = texImages[1];
    EXPECT_NE(t.texture, 0u);
    EXPECT_EQ(t.texWidth, 128);
    EXPECT_EQ(t.texHeight, 32);
    EXPECT_EQ(t.width, 128);
    EXPECT_EQ(t.height, 32);
    EXPECT_EQ(t.channels, 4);
    EXPECT_TRUE(t.isText);
    ASSERT_NE(t.pixels, nullptr);
}

TEST_F(TextLayersSize, HeightIsFourThirdsOfThePointSizeWithMinimum32) {
    struct {
        const char* size;
        int height;
    } cases[] = {{"60", 80}, {"6", 32}, {"240", 320}, {"30", 40}, {"25", 33}};
    for (auto& c : cases) {
        int slot = NewText("Hello World", c.size);
        ASSERT_GE(slot, 1);
        EXPECT_EQ(texImages[slot].texHeight, c.height) << "size " << c.size;
        EXPECT_EQ(texImages[slot].fontSize, atoi(c.size));
    }
    // Each call made a new layer in the next free slot.
    EXPECT_EQ(currentLayer, 5);
}

TEST_F(TextLayersSize, WidthIsThePenAdvanceSoTrailingSpacesWidenIt) {
    int plain = NewText("Hello World", "60");
    int spaced = NewText("Hello World     ", "60");
    int wider = texImages[spaced].texWidth, narrower = texImages[plain].texWidth;
    EXPECT_GT(narrower, 128);
    // Five spaces of a 60-pixel font add far more than a few pixels.
    EXPECT_GT(wider, narrower + 5 * 10);
    // The advance grows with the size.
    int big = NewText("Hello World", "120");
    EXPECT_GT(texImages[big].texWidth, narrower * 3 / 2);
}

TEST_F(TextLayersSize, TextLongerThanTheRecordHoldsIsCutTo254Bytes) {
    std::string longText(300, 'x');
    int slot = NewText(longText.c_str(), "10");
    EXPECT_EQ(strlen(_fontText), 254u);
    EXPECT_EQ(std::string(texImages[slot].fontText), std::string(254, 'x'));
    // A multi-byte character across the cut is dropped whole, never split.
    std::string accented = std::string(253, 'y') + "\xC3\xA9" + "zz";
    slot = NewText(accented.c_str(), "10");
    EXPECT_EQ(std::string(texImages[slot].fontText), std::string(253, 'y'));
}

// ---------------------------------------------------------------------------------------------

TEST_F(TextLayersDrawer, InvalidSizeBecomes60AndIsWrittenBack) {
    for (const char* bad : {"5", "241", "abc", "", "-12"}) {
        int slot = NewText("Size", bad);
        EXPECT_EQ(Field(kSizeField), "60") << "input '" << bad << "'";
        EXPECT_EQ(_fontSize, 60);
        EXPECT_EQ(texImages[slot].fontSize, 60);
        EXPECT_EQ(texImages[slot].texHeight, 80);
    }
    // A leading number is taken as it stands.
    int slot = NewText("Size", "36pt");
    EXPECT_EQ(Field(kSizeField), "36pt");
    EXPECT_EQ(texImages[slot].fontSize, 36);
}

TEST_F(TextLayersDrawer, AnEmptyTextFieldKeepsThePreviousText) {
    NewText("Kept", "20");
    int slot = NewText("", "20");
    EXPECT_STREQ(texImages[slot].fontText, "Kept");
    EXPECT_STREQ(texImages[slot].name, "Kept");
}

TEST_F(TextLayersDrawer, ChoosingAFontOverAPictureLayerMakesANewTextLayer) {
    MakeLayer(1, 40, 30);
    currentLayer = 1;
    util_SetText(drawer_text, kTextField, "From the drawer");
    GetFontSelection();
    ASSERT_EQ(currentLayer, 2);
    EXPECT_TRUE(texImages[2].isText);
    EXPECT_STREQ(texImages[2].fontText, "From the drawer");
    EXPECT_STREQ(texImages[2].fontName, kFamily);
    EXPECT_STREQ(texImages[2].name, "From the drawer");
    EXPECT_EQ(texImages[2].fileType, FourCC("PNGf"));
    // The picture layer is untouched.
    EXPECT_FALSE(texImages[1].isText);
    EXPECT_EQ(texImages[1].texWidth, 40);
    EXPECT_TRUE(Enabled(kApplyButton));
}

TEST_F(TextLayersDrawer, ChangesReRenderTheSelectedTextLayerInPlaceButTheNewButtonAlwaysAdds) {
    int slot = NewText("Edit me", "30");
    ASSERT_EQ(slot, 1);
    texImages[1].posX = 77;
    texImages[1].hue = 45.0f;
    util_SetText(drawer_text, kSizeField, "90");
    GetSize();
    EXPECT_EQ(currentLayer, 1);
    EXPECT_FALSE(IsValidLayer(2));
    EXPECT_EQ(texImages[1].texHeight, 120);
    EXPECT_EQ(texImages[1].posX, 77);
    EXPECT_FLOAT_EQ(texImages[1].hue, 45.0f);
    EXPECT_STREQ(texImages[1].name, "Edit me");

    // The new-layer button goes through the command dispatch and makes another layer.
    ControlRef button = nullptr;
    ASSERT_TRUE(util_GetControlRef(drawer_text, kNewButton, &button));
    plat_ClickControl(button);
    plat_ProcessEvents();
    EXPECT_EQ(currentLayer, 2);
    EXPECT_TRUE(texImages[2].isText);
    EXPECT_EQ(texImages[2].fontSize, 90);
}

TEST_F(TextLayersDrawer, ReRenderingAHalfScaledLayerKeepsTheScale) {
    int slot = NewText("Scaled", "60");
    TexImage& t = texImages[slot];
    t.scaleX = 0.5f;
    t.scaleY = 0.5f;
    util_SetText(drawer_text, kTextField, "Scaled text, longer");
    util_SetText(drawer_text, kSizeField, "75");
    CreateText(true);
    EXPECT_EQ(currentLayer, slot);
    EXPECT_FLOAT_EQ(t.scaleX, 0.5f);
    EXPECT_FLOAT_EQ(t.scaleY, 0.5f);
    EXPECT_EQ(t.texHeight, 100);
    EXPECT_EQ(t.height, 50);
    EXPECT_GT(t.texWidth, 300);
    EXPECT_EQ(t.width, t.texWidth / 2);
}

TEST_F(TextLayersDrawer, SelectingATextLayerPutsItsValuesIntoTheDrawer) {
    int slot = NewText("First", "30");
    MakeLayer(2, 20, 20);
    TexImage& t = texImages[slot];
    snprintf(t.fontText, sizeof t.fontText, "%s", "Stored text");
    snprintf(t.fontName, sizeof t.fontName, "%s", kFamily);
    t.fontSize = 44;
    t.outlined = 1;
    t.textR = 0.1f;
    t.textG = 0.5f;
    t.textB = 0.9f;
    // Something else in the drawer first, so every value must come from the record.
    util_SetText(drawer_text, kTextField, "other");
    util_SetText(drawer_text, kSizeField, "12");
    util_SetControl(drawer_text, kOutlineCheck, 0);

    currentLayer = 2;  // a picture layer: the apply button is off and the fields stay
    TextDrawerControlsEnable(true);
    EXPECT_FALSE(Enabled(kApplyButton));
    EXPECT_EQ(Field(kTextField), "other");

    currentLayer = slot;
    testing::internal::CaptureStdout();
    TextDrawerControlsEnable(false);  // the argument does not matter
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("TextDrawerControlsEnable ************ FONTE DejaVu Sans DIM 44\n"), std::string::npos) << out;
    EXPECT_TRUE(Enabled(kApplyButton));
    EXPECT_EQ(Field(kTextField), "Stored text");
    EXPECT_EQ(Field(kSizeField), "44");
    EXPECT_EQ(util_GetControl(drawer_text, kOutlineCheck), 1);
    char item[1024] = "";
    util_GetMenuItem(drawer_text, kFontPopup, item);
    EXPECT_STREQ(item, kFamily);
    EXPECT_STREQ(_fontText, "Stored text");
    EXPECT_STREQ(_fontName, kFamily);
    EXPECT_EQ(_fontSize, 44);
    EXPECT_EQ(_outlined, 1);
    EXPECT_FLOAT_EQ(textr, 0.1f);
    EXPECT_FLOAT_EQ(textg, 0.5f);
    EXPECT_FLOAT_EQ(textb, 0.9f);
}

TEST_F(TextLayersDrawer, TheFontMenuListsTheInstalledFamiliesSortedOnce) {
    MenuRef menu = util_GetMenu(drawer_text, kFontPopup);
    ASSERT_NE(menu, nullptr);
    int count = plat_CountMenuItems(menu);
    ASSERT_GT(count, 0);
    char previous[1024] = "", item[1024] = "";
    for (int i = 1; i <= count; ++i) {
        ASSERT_TRUE(plat_GetMenuItemText(menu, i, item, sizeof item));
        EXPECT_LT(strcmp(previous, item), 0) << "not sorted or repeated at item " << i;
        snprintf(previous, sizeof previous, "%s", item);
    }
}

// ---------------------------------------------------------------------------------------------

namespace {
// The column of the widest run of opaque pixels on row y, -1 when there is none.
int WidestOpaqueRunCentre(const TexImage& t, int y, int* runLength) {
    int best = 0, centre = -1, start = -1;
    for (int x = 0; x <= t.texWidth; ++x) {
        bool opaque = x < t.texWidth && t.pixels[(size_t(y) * t.texWidth + x) * 4 + 3] == 255;
        if (opaque && start < 0) start = x;
        if (!opaque && start >= 0) {
            if (x - start > best) {
                best = x - start;
                centre = (start + x) / 2;
            }
            start = -1;
        }
    }
    *runLength = best;
    return centre;
}
}  // namespace

TEST_F(TextLayersPixels, OutlinedGlyphsAreHollow) {
    int filled = NewText("I", "200");
    util_SetControl(drawer_text, kOutlineCheck, 1);
    int outlined = NewText("I", "200");
    ASSERT_EQ(outlined, filled + 1);
    const TexImage& f = texImages[filled];
    const TexImage& o = texImages[outlined];
    ASSERT_EQ(f.texWidth, o.texWidth);
    ASSERT_EQ(f.texHeight, o.texHeight);
    EXPECT_EQ(o.outlined, 1);
    // Half-way up the stem: the baseline is 200 pixels from the top, the stem rises above it.
    int y = 200 - 70, run = 0;
    int x = WidestOpaqueRunCentre(f, y, &run);
    ASSERT_GE(x, 0);
    ASSERT_GE(run, 10) << "the filled stem should be solid";
    EXPECT_EQ(Px(o, x, y)[3], 0) << "the inside of an outlined stem is transparent";
    // Yet the outline has ink on both sides of that point on the same row.
    int left = 0, right = 0;
    for (int i = 0; i < x; ++i) left = std::max<int>(left, Px(o, i, y)[3]);
    for (int i = x + 1; i < o.texWidth; ++i) right = std::max<int>(right, Px(o, i, y)[3]);
    EXPECT_GT(left, 100);
    EXPECT_GT(right, 100);
    // An outline covers much less than the filled glyph.
    long fi = 0, oi = 0;
    for (int i = 0; i < f.texWidth * f.texHeight; ++i) {
        fi += f.pixels[i * 4 + 3];
        oi += o.pixels[i * 4 + 3];
    }
    EXPECT_GT(oi, 0);
    EXPECT_LT(oi * 2, fi);
}

TEST_F(TextLayersPixels, BaselineLeavesAThirdOfTheSizeBelowForDescenders) {
    int slot = NewText("H", "60");
    const TexImage& t = texImages[slot];
    ASSERT_EQ(t.texHeight, 80);
    int lowestInk = -1, highestInk = t.texHeight;
    for (int y = 0; y < t.texHeight; ++y)
        for (int x = 0; x < t.texWidth; ++x)
            if (Px(t, x, y)[3] > 128) {
                lowestInk = std::max(lowestInk, y);
                highestInk = std::min(highestInk, y);
            }
    // "H" sits on the baseline at row 60 and has no descender.
    EXPECT_GE(lowestInk, 57);
    EXPECT_LE(lowestInk, 60);
    EXPECT_GT(highestInk, 5);
    EXPECT_LT(highestInk, 30);
}

// ---------------------------------------------------------------------------------------------

TEST_F(TextLayersColour, ThePickerColourBecomesTheTextColour) {
    ScriptedModals script(true);
    plat_SetModalScript([&](const ModalRequest& r) {
        script.requests.push_back(r);
        ModalAnswer a;
        a.accepted = true;
        a.rgb[0] = 65535;
        a.rgb[1] = 32768;
        a.rgb[2] = 0;
        return a;
    });
    int slot = NewText("Colour", "60");
    GetColor();
    ASSERT_EQ(script.requests.size(), 1u);
    EXPECT_EQ(script.requests[0].kind, ModalKind::Color);
    EXPECT_EQ(script.requests[0].rgb[0], 13107);  // trunc(0.2 x 65535)
    EXPECT_EQ(script.requests[0].rgb[2], 13107);
    EXPECT_FLOAT_EQ(textr, 1.0f);
    EXPECT_NEAR(textg, 0.5f, 0.001f);
    EXPECT_FLOAT_EQ(textb, 0.0f);
    // The selected text layer was re-rendered in place in the new colour.
    EXPECT_EQ(currentLayer, slot);
    const TexImage& t = texImages[slot];
    EXPECT_FLOAT_EQ(t.textR, 1.0f);
    int solid = 0;
    for (int i = 0; i < t.texWidth * t.texHeight; ++i) {
        const uint8_t* p = t.pixels + i * 4;
        ASSERT_LE(p[0], p[3]) << "colour is premultiplied";
        ASSERT_LE(p[1], p[3]);
        ASSERT_EQ(p[2], 0);
        if (p[3] == 255) {
            ++solid;
            ASSERT_EQ(p[0], 255);
            ASSERT_NEAR(p[1], 128, 1);
        }
    }
    EXPECT_GT(solid, 100);
}

TEST_F(TextLayersColour, ACancelledPickerKeepsTheColourButStillReRenders) {
    ScriptedModals script(false);
    int slot = NewText("Keep", "40");
    util_SetText(drawer_text, kSizeField, "50");
    GetColor();
    EXPECT_EQ(script.requests.size(), 1u);
    EXPECT_FLOAT_EQ(textr, 0.2f);
    EXPECT_EQ(currentLayer, slot);
    EXPECT_EQ(texImages[slot].fontSize, 50);
    int solid = 0;
    const TexImage& t = texImages[slot];
    for (int i = 0; i < t.texWidth * t.texHeight; ++i)
        if (t.pixels[i * 4 + 3] == 255) {
            ++solid;
            EXPECT_EQ(t.pixels[i * 4], 51);  // 0.2 x 255
        }
    EXPECT_GT(solid, 50);
}

TEST_F(TextLayersColour, ASecondRequestWhileThePickerIsOpenDoesNothing) {
    ScriptedModals script(true);
    int inner = 0;
    plat_SetModalScript([&](const ModalRequest& r) {
        script.requests.push_back(r);
        if (++inner == 1) GetColor();  // the user clicks the swatch again while the picker is open
        ModalAnswer a;
        a.rgb[0] = a.rgb[1] = a.rgb[2] = 0;
        a.rgb[2] = 65535;
        return a;
    });
    NewText("Twice", "30");
    GetColor();
    EXPECT_EQ(script.requests.size(), 1u);
    EXPECT_FLOAT_EQ(textb, 1.0f);
    // Once closed, the picker opens again.
    GetColor();
    EXPECT_EQ(script.requests.size(), 2u);
}

// ---------------------------------------------------------------------------------------------

TEST_F(TextLayersProject, ARecordIsRebuiltInItsSlotKeepingPositionScaleAndEffects) {
    MakeLayer(1, 10, 10);
    MakeLayer(3, 10, 10);
    // What the project loader leaves in the first free slot: the record, no texture.
    TexImage& t = texImages[2];
    t.isText = true;
    snprintf(t.fontText, sizeof t.fontText, "%s", "From a project");
    snprintf(t.fontName, sizeof t.fontName, "%s", kFamily);
    t.fontSize = 30;
    t.outlined = 0;
    t.textR = 0.0f;
    t.textG = 1.0f;
    t.textB = 0.0f;
    t.posX = 321;
    t.posY = 123;
    t.scaleX = 2.0f;
    t.scaleY = 1.5f;
    t.shadow = true;
    t.hue = 90.0f;
    t.mask = 7;
    snprintf(t.name, sizeof t.name, "%s", "project name");
    util_SetText(drawer_text, kTextField, "drawer text");
    CreateStringFromProject(2);
    ASSERT_NE(t.texture, 0u);
    EXPECT_EQ(currentLayer, 2);
    EXPECT_TRUE(t.isText);
    EXPECT_EQ(t.texHeight, 40);
    EXPECT_EQ(t.height, 60);
    EXPECT_EQ(t.width, int(t.texWidth * 2.0f));
    EXPECT_EQ(t.posX, 321);
    EXPECT_EQ(t.posY, 123);
    EXPECT_TRUE(t.shadow);
    EXPECT_FLOAT_EQ(t.hue, 90.0f);
    EXPECT_EQ(t.mask, 7);
    EXPECT_STREQ(t.fontText, "From a project");
    EXPECT_STREQ(_fontText, "From a project");
    EXPECT_EQ(_fontSize, 30);
    EXPECT_FLOAT_EQ(textg, 1.0f);
    // The other layers are untouched, and the pixels are green.
    EXPECT_EQ(texImages[1].texWidth, 10);
    EXPECT_EQ(texImages[3].texWidth, 10);
    bool green = false;
    for (int i = 0; i < t.texWidth * t.texHeight; ++i)
        if (t.pixels[i * 4 + 3] == 255) {
            green = true;
            ASSERT_EQ(t.pixels[i * 4 + 1], 255);
            ASSERT_EQ(t.pixels[i * 4], 0);
        }
    EXPECT_TRUE(green);
}

TEST_F(TextLayersProject, AnUnknownFontStillRendersAndKeepsItsName) {
    TexImage& t = texImages[1];
    t.isText = true;
    snprintf(t.fontText, sizeof t.fontText, "%s", "Elsewhere");
    snprintf(t.fontName, sizeof t.fontName, "%s", "No Such Family 123");
    t.fontSize = 24;
    t.scaleX = t.scaleY = 1.0f;
    t.textR = t.textG = t.textB = 0.0f;
    CreateStringFromProject(1);
    ASSERT_NE(t.texture, 0u);
    EXPECT_STREQ(t.fontName, "No Such Family 123");
    EXPECT_EQ(t.texHeight, 32);
    int ink = 0;
    for (int i = 0; i < t.texWidth * t.texHeight; ++i) ink += t.pixels[i * 4 + 3] > 0;
    EXPECT_GT(ink, 20);
}
