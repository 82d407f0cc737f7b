// Layer operations, the colour and extras drawers' values, and the colour operations on pixels.
#include <gtest/gtest.h>

#include <QImage>
#include <QSlider>

#include <cmath>
#include <cstring>

#include "app_fixture.h"
#include "app_state.h"
#include "drawers.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "pixel_ops.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class LayerOps : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        MakeBasePicture(300, 200);
    }
    void TearDown() override {
        scaleLocked = 1;
        ResetProgramState();
    }
    static void Stack(int count) {
        for (int s = 1; s <= count; ++s) {
            MakeLayer(s, 10 + s, 10);
            util_SetMenuItem(dialog, kLayerPopup, s, false, texImages[s].name);
        }
    }
    static std::string Text(WindowRef w, int id) {
        char t[1024] = "";
        util_GetText(w, id, t);
        return t;
    }
    static std::string Item(int n) {
        char t[1024] = "";
        util_GetMenuItemByIndex(dialog, kLayerPopup, n, t);
        return t;
    }
};

}  // namespace

TEST_F(LayerOps, TheSliderScalesBothAxesWhenLockedButADirectCallOnlyOne) {
    Stack(1);
    currentLayer = 1;
    scaleLocked = 1;
    util_SetControl(dialog, kScaleXSlider, 150);
    HandleScaleLayerX(-1.0f);
    EXPECT_FLOAT_EQ(texImages[1].scaleX, 1.5f);
    EXPECT_FLOAT_EQ(texImages[1].scaleY, 1.5f);
    EXPECT_EQ(Text(dialog, kScaleYText), "150%");
    HandleScaleLayerX(0.5f);
    EXPECT_FLOAT_EQ(texImages[1].scaleX, 0.5f);
    EXPECT_FLOAT_EQ(texImages[1].scaleY, 1.5f);
}

TEST_F(LayerOps, ScalingKeepsTheUnscaledCentre) {
    MakeLayer(1, 101, 20);
    currentLayer = 1;
    texImages[1].originX = 10;
    HandleScaleLayerX(0.5f);
    EXPECT_EQ(texImages[1].width, 50);
    EXPECT_EQ(texImages[1].posX, 35);
    EXPECT_EQ(util_GetControl(dialog, kScaleXSlider), 50);
}

TEST_F(LayerOps, OpacityShowsTransparency) {
    Stack(1);
    currentLayer = 1;
    HandleTransparency(0.25f);
    EXPECT_EQ(util_GetControl(dialog, kOpacitySlider), 25);
    EXPECT_EQ(Text(dialog, kTransparencyText), "75%");
}

TEST_F(LayerOps, MovesStopAtTheEndsOfTheStackAndSwapThePopupTexts) {
    Stack(3);
    currentLayer = 3;
    HandleMoveLayer(true);
    EXPECT_EQ(currentLayer, 3);
    currentLayer = 1;
    HandleMoveLayer(false);
    EXPECT_EQ(currentLayer, 1);
    EXPECT_FALSE(toSave);
    HandleMoveLayer(true);
    EXPECT_EQ(currentLayer, 2);
    EXPECT_EQ(texImages[2].width, 11);
    EXPECT_EQ(Item(1), "layer2");
    EXPECT_EQ(Item(2), "layer1");
    EXPECT_EQ(util_GetControl(dialog, kLayerPopup), 2);
    EXPECT_TRUE(toSave);
}

TEST_F(LayerOps, DeletingSelectsTheLayerBelowAndCompacts) {
    Stack(5);
    currentLayer = 3;
    HandleDeleteLayer();
    EXPECT_EQ(currentLayer, 2);
    EXPECT_EQ(texImages[3].width, 14);
    EXPECT_EQ(texImages[4].width, 15);
    EXPECT_EQ(texImages[5].texture, 0u);
    EXPECT_EQ(Item(3), "layer4");
    currentLayer = 1;
    HandleDeleteLayer();
    EXPECT_EQ(currentLayer, 0) << "deleting layer 1 leaves no layer selected";
    EXPECT_NE(texImages[1].texture, 0u);
}

TEST_F(LayerOps, DeletingTheOnlyLayerEmptiesThePopup) {
    Stack(1);
    currentLayer = 1;
    HandleDeleteLayer();
    EXPECT_EQ(currentLayer, 0);
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kLayerPopup)), 0);
}

TEST_F(LayerOps, DuplicateWritesATemporaryPictureAndBumpsTheHue) {
    Stack(1);
    currentLayer = 1;
    int n = DuplicateLayer(-1, true);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(currentLayer, 2);
    EXPECT_NE(strstr(texImages[2].path, "duplicate"), nullptr);
    QImage saved(QString::fromLocal8Bit(texImages[2].path));
    EXPECT_EQ(saved.width(), 11);
    EXPECT_EQ(saved.pixelColor(3, 3).red(), 255);
    EXPECT_FLOAT_EQ(texImages[2].hue, 1.0f);
    EXPECT_EQ(Item(2), "layer1");
    texImages[2].live = true;
    EXPECT_EQ(DuplicateLayer(-1, true), 0) << "a live layer is not duplicated";
    texImages[2].live = false;
    for (int s = 3; s <= 98; ++s) MakeLayer(s, 1, 1);
    EXPECT_EQ(DuplicateLayer(-1, true), 0);
}

TEST_F(LayerOps, DuplicateWithNothingSelectedDoesNothingAndIsDisabled) {
    ThemeFolder themes;
    snprintf(currentTheme, sizeof currentTheme, "Alpha");
    snprintf(currentPicture, sizeof currentPicture, "header.jpg");
    Stack(2);
    texImages[2].posX = texImages[2].originX = 30;
    texImages[2].posY = texImages[2].originY = 20;
    currentLayer = 1;
    EnableSubControls();
    ControlRef duplicate = nullptr, remove = nullptr;
    ASSERT_TRUE(util_GetControlRef(dialog, kDuplicateButton, &duplicate));
    ASSERT_TRUE(util_GetControlRef(dialog, kDeleteButton, &remove));
    EXPECT_TRUE(plat_IsControlEnabled(duplicate));
    plat_ClickControl(remove);   // deleting layer 1 leaves nothing selected
    ASSERT_EQ(currentLayer, 0);
    EXPECT_FALSE(plat_IsControlEnabled(duplicate));
    plat_ClickControl(duplicate);
    DialogEvent(FourCC("p151"));
    EXPECT_EQ(texImages[2].texture, 0u) << "no picture added";
    EXPECT_EQ(texImages[1].posX, 30) << "the remaining layer stays where it was";
    EXPECT_EQ(texImages[1].originY, 20);
}

TEST_F(LayerOps, ResetRestoresEveryAdjustmentButThePlace) {
    Stack(1);
    currentLayer = 1;
    TexImage& t = texImages[1];
    t.originX = 33;
    t.rotX = 180;
    HandleRotate(45.0f);
    HandleScaleLayerX(2.0f);
    HandleTransparency(0.5f);
    t.shadow = true;
    t.shadowAngle = 90;
    t.frame = true;
    t.frameSize = 20;
    t.frameColorR = 0.1f;
    HandleHue(100.0f);
    HandleLightness(30.0f);
    HandleSaturation(20.0f);
    t.mask = 5;
    HandleReset();
    EXPECT_EQ(t.rotZ, 0);
    EXPECT_EQ(t.rotX, 0);
    EXPECT_FLOAT_EQ(t.scaleX, 1.0f);
    EXPECT_FLOAT_EQ(t.alpha, 1.0f);
    EXPECT_FALSE(t.shadow);
    EXPECT_FLOAT_EQ(t.shadowAngle, 45.0f);
    EXPECT_FALSE(t.frame);
    EXPECT_EQ(t.frameSize, 7);
    EXPECT_FLOAT_EQ(t.frameColorR, 0.95f);
    EXPECT_FLOAT_EQ(t.hue, 0.0f);
    EXPECT_FLOAT_EQ(t.lightness, 0.0f);
    EXPECT_FLOAT_EQ(t.saturation, 1.0f);
    EXPECT_EQ(t.mask, 5) << "mask, place and fill stay";
    EXPECT_EQ(t.originX, 33);
}

TEST_F(LayerOps, ColourValuesAreClampedAndShown) {
    Stack(1);
    currentLayer = 1;
    HandleSaturation(100.0f);
    EXPECT_FLOAT_EQ(texImages[1].saturation, 1.0f);
    EXPECT_EQ(Text(drawer_color, 603), "100");
    HandleSaturation(250.0f);
    EXPECT_FLOAT_EQ(texImages[1].saturation, 2.0f);
    EXPECT_EQ(Text(drawer_color, 603), "200");
    HandleLightness(-150.0f);
    EXPECT_FLOAT_EQ(texImages[1].lightness, -1.0f);
    EXPECT_EQ(Text(drawer_color, 605), "-100");
    HandleLightness(-1.0f);
    EXPECT_FLOAT_EQ(texImages[1].lightness, -0.01f) << "-1 is a value for lightness, not a marker";
    HandleHue(400.0f);
    EXPECT_FLOAT_EQ(texImages[1].hue, 360.0f);
    HandleHue(-5.0f);
    EXPECT_FLOAT_EQ(texImages[1].hue, 0.0f);
    util_SetControl(drawer_color, 600, 90);
    HandleHue(-1.0f);
    EXPECT_FLOAT_EQ(texImages[1].hue, 90.0f);
    EXPECT_EQ(util_GetControl(drawer_color, 901), 90);
}

TEST_F(LayerOps, FillPicksWhiteAs255AndKeepsTheAlpha) {
    MakeLayer(1, 4, 1, 0x00ff0080);
    currentLayer = 1;
    plat_SetModalScript([](const ModalRequest& r) {
        ModalAnswer a;
        a.accepted = r.kind == ModalKind::Color;
        a.rgb[0] = a.rgb[1] = a.rgb[2] = 65535;
        return a;
    });
    HandleLayerFill(true);
    InstallDefaultModalScript();
    const TexImage& t = texImages[1];
    EXPECT_FLOAT_EQ(t.fillR, 255.0f);
    EXPECT_EQ(t.pixels[0], 255);
    EXPECT_EQ(t.pixels[1], 255);
    EXPECT_EQ(t.pixels[3], 0x80);
    EXPECT_FLOAT_EQ(t.hue, 1.0f) << "a fill leaves the hue at one degree";
    ChangeTextureColor(1, -1, 10, 10);
    EXPECT_FLOAT_EQ(t.fillG, 255.0f) << "-1 changes nothing, not even the stored colour";
}

TEST(ColorMatrix, SaturationAndHueOnSinglePixels) {
    float m[16];
    uint8_t px[4];
    BuildColorMatrix(0.0f, 0.0f, m);
    uint8_t red[4] = {255, 0, 0, 77};
    TransformPixels(m, red, px, 1);
    EXPECT_NEAR(px[0], 0.3086 * 255, 1);
    EXPECT_NEAR(px[1], 0.3086 * 255, 1);
    EXPECT_NEAR(px[2], 0.3086 * 255, 1);
    EXPECT_EQ(px[3], 77);
    BuildColorMatrix(0.0f, 2.0f, m);
    uint8_t grey[4] = {128, 128, 128, 255};
    TransformPixels(m, grey, px, 1);
    EXPECT_NEAR(px[0], 128, 1);
    EXPECT_NEAR(px[2], 128, 1);
    BuildColorMatrix(120.0f, 1.0f, m);
    TransformPixels(m, red, px, 1);
    EXPECT_NEAR(px[0], 0, 1);
    EXPECT_NEAR(px[1], 255, 1);
    EXPECT_NEAR(px[2], 0, 1);
    BuildColorMatrix(0.0f, 1.0f, m);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-6) << i;
}

TEST_F(LayerOps, ReflectionStartsBelowTheSourceMirrored) {
    MakeLayer(1, 50, 100);
    util_SetMenuItem(dialog, kLayerPopup, 1, true, "src");
    currentLayer = 1;
    TexImage& src = texImages[1];
    src.originY = src.posY = 100;
    src.shadow = true;
    HandleReflectionLayer();
    ASSERT_EQ(currentLayer, 2);
    EXPECT_EQ(texImages[2].originY, 201);
    EXPECT_FLOAT_EQ(texImages[2].reflection, 0.8f);
    EXPECT_FALSE(texImages[2].shadow);
    currentLayer = 1;
    src.frame = true;
    src.rotZ = 30;
    HandleReflectionLayer();
    ASSERT_EQ(currentLayer, 3);
    EXPECT_EQ(texImages[3].rotZ, -30);
    EXPECT_EQ(texImages[3].posY, texImages[3].originY) << "the frames' room is in the origin too: no jump on a drag";
    util_SetControl(drawer_extras, 183, 50);
    HandleReflectionLayer();
    EXPECT_FLOAT_EQ(texImages[3].reflection, 0.5f);
    EXPECT_EQ(currentLayer, 3) << "a reflection layer changes its height, no new copy";
}

TEST_F(LayerOps, ShadowValuesChangeOnlyWithTheShadowOn) {
    Stack(1);
    currentLayer = 1;
    HandleRotateShadow(90.0f);
    EXPECT_FLOAT_EQ(texImages[1].shadowAngle, 45.0f);
    texImages[1].shadow = true;
    HandleRotateShadow(90.0f);
    EXPECT_FLOAT_EQ(texImages[1].shadowAngle, 90.0f);
    EXPECT_EQ(util_GetControl(drawer_extras, 160), 90);
    HandleShadow(0);
    EXPECT_FALSE(texImages[1].shadow);
    EXPECT_FLOAT_EQ(texImages[1].shadowAngle, 45.0f);
}

// A real slider: while it is dragged its live action changes the layer at once; the release
// sends the command.
TEST_F(LayerOps, DraggingTheRotationSliderActsLiveAndReleaseCommands) {
    Stack(1);
    currentLayer = 1;
    ControlRef c = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kRotateSlider, &c));
    auto* slider = reinterpret_cast<QSlider*>(c);
    slider->setSliderDown(true);
    slider->setValue(25);
    EXPECT_EQ(texImages[1].rotZ, 25) << "live while dragged";
    slider->setValue(-40);
    EXPECT_EQ(texImages[1].rotZ, -40);
    EXPECT_EQ(Text(dialog, kRotateText), "-40");
    slider->setSliderDown(false);   // the release sends 'p107'
    EXPECT_EQ(texImages[1].rotZ, -40);
    EXPECT_TRUE(toSave);
}
