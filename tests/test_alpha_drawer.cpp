// Alpha drawer: choosing masks with the drawer's settings, fit, and baking a masked layer.
#include <gtest/gtest.h>

#include <QImage>

#include <cstring>

#include "app_fixture.h"
#include "drawers.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "tools_window.h"
#include "util_controls.h"

extern int currentAlphaLayer;

namespace {

class AlphaDrawer : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        MakeBasePicture(200, 200);
        MakeLayer(1, 80, 60, 0x00ff00ff);
        currentLayer = 1;
        texImages[1].posX = texImages[1].originX = 50;
        texImages[1].posY = texImages[1].originY = 40;
    }
    void TearDown() override { ResetProgramState(); }
    static bool Enabled(int id) {
        ControlRef c = nullptr;
        plat_GetControlByID(drawer_alpha, id, &c);
        return plat_IsControlEnabled(c);
    }
};

}  // namespace

TEST_F(AlphaDrawer, ALayerWithoutMaskShowsTheDefaults) {
    util_SetControl(drawer_alpha, 202, 40);
    AlphaDrawerControlsEnable(true);
    EXPECT_EQ(util_GetControl(drawer_alpha, 202), 100);
    EXPECT_EQ(util_GetControl(drawer_alpha, 203), 0);
    EXPECT_EQ(util_GetControl(drawer_alpha, 207), 1);
    EXPECT_FALSE(Enabled(205));
    EXPECT_FALSE(Enabled(206));
    EXPECT_TRUE(Enabled(300));
    texImages[1].live = true;
    AlphaDrawerControlsEnable(true);
    EXPECT_FALSE(Enabled(300)) << "live video takes no mask";
    texImages[1].live = false;
}

TEST_F(AlphaDrawer, ANewMaskTakesTheSlidersSettings) {
    util_SetControl(drawer_alpha, 202, 40);
    util_SetControl(drawer_alpha, 203, 15);
    util_SetControl(drawer_alpha, 207, 0);
    AlphaActivate(5);
    EXPECT_EQ(texImages[1].mask, 5);
    EXPECT_FLOAT_EQ(texImages[1].maskRadius, 0.4f);
    EXPECT_EQ(texImages[1].maskAngle, 15);
    EXPECT_FALSE(texImages[1].maskFit);
    EXPECT_EQ(currentAlphaLayer, 1);
    EXPECT_TRUE(Enabled(205));
    AlphaActivate(0);
    EXPECT_EQ(texImages[1].mask, 0);
    EXPECT_FLOAT_EQ(texImages[1].maskRadius, 0.4f) << "removing keeps the last size";
    currentLayer = 0;
    AlphaActivate(3);
    EXPECT_EQ(currentAlphaLayer, 0);
}

TEST_F(AlphaDrawer, FitSwitchesBetweenFullAndThirtyPercent) {
    AlphaActivate(2);
    util_SetControl(drawer_alpha, 207, 0);
    AlphaFit();
    EXPECT_FLOAT_EQ(texImages[1].maskRadius, 0.3f);
    EXPECT_EQ(util_GetControl(drawer_alpha, 202), 30);
    util_SetControl(drawer_alpha, 207, 1);
    AlphaFit();
    EXPECT_FLOAT_EQ(texImages[1].maskRadius, 1.0f);
    EXPECT_EQ(util_GetControl(drawer_alpha, 202), 100);
}

TEST_F(AlphaDrawer, ApplyBakesTheMaskAtTheDisplayedSize) {
    HandleScaleLayerX(0.5f);
    HandleScaleLayerY(0.5f);
    int w = texImages[1].width, h = texImages[1].height;
    util_SetControl(drawer_alpha, 202, 100);
    util_SetControl(drawer_alpha, 207, 1);
    AlphaActivate(2);   // soft circle
    ApplyAlpha();
    const TexImage& t = texImages[1];
    EXPECT_EQ(t.mask, 0);
    EXPECT_EQ(t.texWidth, w);
    EXPECT_EQ(t.texHeight, h);
    EXPECT_FLOAT_EQ(t.scaleX, 1.0f);
    EXPECT_EQ(t.originX, t.posX);
    EXPECT_NE(strstr(t.path, "alpha"), nullptr);
    ASSERT_NE(t.pixels, nullptr);
    EXPECT_LT(t.pixels[3], 30) << "the corner is transparent";
    size_t centre = (size_t(h / 2) * w + w / 2) * 4;
    EXPECT_GT(t.pixels[centre + 3], 200);
    EXPECT_GT(t.pixels[centre + 1], 200);
    EXPECT_FALSE(Enabled(205)) << "no mask any more: apply and remove are off";
    QImage saved(QString::fromLocal8Bit(t.path));
    EXPECT_EQ(saved.width(), w);
}
