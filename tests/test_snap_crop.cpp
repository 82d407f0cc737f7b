// Snap lock and crop: boxes of rotated layers, the snap pairs, distances and lock timing, the
// crop rectangle's grabbing and normalisation, and a baked crop's pixels.
#include <gtest/gtest.h>

#include <QImage>

#include <cstring>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "snap_crop.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class SnapCrop : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        MakeBasePicture(400, 300);
        wasLockedX = wasLockedY = false;
        onCycle = 0;
    }
    void TearDown() override {
        cropActive = false;
        SetSnapLock(false);
        wasLockedX = wasLockedY = false;
        onCycle = 0;
        ResetProgramState();
    }
    static void Place(int slot, int x, int y, int w, int h, uint32_t rgba = 0xff0000ff) {
        MakeLayer(slot, w, h, rgba);
        TexImage& t = texImages[slot];
        t.posX = t.originX = x;
        t.posY = t.originY = y;
    }
    // One canvas redraw during a drag of the current layer.
    static void DragRedraw() {
        currMouse = 1;
        RenderImages(true, -1.0f);
        currMouse = 0;
    }
};

}  // namespace

TEST_F(SnapCrop, BoxOfARotatedLayerSwapsItsSides) {
    Place(1, 100, 50, 80, 40);
    Rect r;
    GetRealPosition(1, &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right, 180);
    EXPECT_EQ(r.bottom, 90);
    texImages[1].rotZ = 90;
    GetRealPosition(1, &r);
    EXPECT_EQ(r.right - r.left, 40);
    EXPECT_EQ(r.bottom - r.top, 80);
    EXPECT_EQ(r.left, 120);
}

TEST_F(SnapCrop, TopsThreePixelsApartSnapTogether) {
    Place(1, 10, 100, 50, 40);
    Place(2, 200, 103, 50, 40);      // the dragged layer, of equal height, side by side
    currentLayer = 2;
    SetSnapLock(true);
    DragRedraw();
    EXPECT_EQ(texImages[2].originY, 100);
    EXPECT_EQ(texImages[2].posY, 100);
    EXPECT_TRUE(wasLockedY);
    EXPECT_FALSE(wasLockedX);
    EXPECT_TRUE(isLockedOnY());
    EXPECT_FALSE(isLockedOnX());
}

TEST_F(SnapCrop, FifteenOrExactlyTenPixelsOnlyGuide) {
    Place(1, 10, 100, 50, 40);
    Place(2, 200, 115, 50, 40);
    currentLayer = 2;
    SetSnapLock(true);
    DragRedraw();
    EXPECT_EQ(texImages[2].originY, 115);
    EXPECT_FALSE(wasLockedY);
    texImages[2].originY = texImages[2].posY = 110;
    DragRedraw();
    EXPECT_EQ(texImages[2].originY, 110);
    EXPECT_FALSE(wasLockedY);
}

TEST_F(SnapCrop, CentresAreTestedBeforeTops) {
    Place(1, 10, 100, 50, 40);        // top 100, centre 120
    Place(2, 200, 96, 50, 44);        // top 96 (4 away), centre 118 (2 away)
    currentLayer = 2;
    SetSnapLock(true);
    DragRedraw();
    EXPECT_EQ(texImages[2].originY, 98) << "the centres line up, not the tops";
    EXPECT_TRUE(wasLockedY);
}

TEST_F(SnapCrop, LockHoldsForTenRedrawsAndRearmsAfterTwentyOne) {
    Place(1, 10, 100, 50, 40);
    Place(2, 200, 103, 50, 40);
    currentLayer = 2;
    SetSnapLock(true);
    DragRedraw();
    ASSERT_TRUE(wasLockedY);
    for (int i = 1; i <= 9; ++i) {
        DragRedraw();
        EXPECT_TRUE(isLockedOnY()) << i;
    }
    DragRedraw();
    EXPECT_FALSE(isLockedOnY()) << "after ten redraws the axis is free again";
    EXPECT_TRUE(wasLockedY);
    for (int i = 11; i <= 20; ++i) DragRedraw();
    EXPECT_TRUE(wasLockedY) << "still counting at 20";
    DragRedraw();
    EXPECT_FALSE(wasLockedY) << "re-armed on the redraw that reaches 21";
    EXPECT_EQ(onCycle, 0);
}

TEST_F(SnapCrop, NothingSnapsWithoutTheLock) {
    Place(1, 10, 100, 50, 40);
    Place(2, 200, 103, 50, 40);
    currentLayer = 2;
    SetSnapLock(false);
    DragRedraw();
    EXPECT_EQ(texImages[2].originY, 103);
}

TEST_F(SnapCrop, CropRectangleGrabsEdgesAndStaysLargeEnough) {
    Place(1, 100, 50, 100, 80);
    currentLayer = 1;
    EnableCropArea(true);
    EXPECT_TRUE(cropActive);
    EXPECT_EQ(cropArea.left, 100);
    EXPECT_EQ(cropArea.bottom, 130);
    ControlRef end = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kEndCropButton, &end));
    EXPECT_TRUE(plat_IsControlVisible(end));
    // Exactly at the top-left corner: the top edge is taken, not the side.
    EXPECT_TRUE(MoveCropArea(100, 50, 0, 0));
    EXPECT_EQ(trackedDown, 3);
    EXPECT_TRUE(MoveCropArea(100, 200, 0, 150));   // top dragged below the bottom
    EXPECT_EQ(cropArea.bottom - cropArea.top, 20);
    trackedDown = 0;
    // Neither near an edge nor well inside: the canvas moves the layer instead.
    EXPECT_FALSE(MoveCropArea(20, 20, 3, 3));
    trackedDown = 0;
    cropArea = Rect{50, 100, 130, 200};
    EXPECT_TRUE(MoveCropArea(150, 90, 1000, 0));    // inside: the whole rectangle moves
    EXPECT_EQ(trackedDown, 5);
    EXPECT_EQ(cropArea.right, 400 - 2) << "kept 2 pixels inside the picture";
}

TEST_F(SnapCrop, DragsMoveTheCropRectangleAtAnyZoom) {
    Place(1, 100, 50, 100, 80);
    currentLayer = 1;
    EnableCropArea(true);
    scaleFactor = 2.0f;
    EXPECT_TRUE(MoveCropArea(2 * 199, 2 * 90, 0, 0));   // right edge, in window pixels
    EXPECT_EQ(trackedDown, 2);
    MoveCropArea(2 * 180, 2 * 90, 0, 0);
    EXPECT_EQ(cropArea.right, 180);
    scaleFactor = 1.0f;
}

TEST_F(SnapCrop, BakedCropKeepsTheScaledContentInsideTheRectangle) {
    // Left half red, right half blue, scaled to 200 %.
    std::vector<uint8_t> px(40 * 20 * 4);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            uint8_t* p = &px[(y * 40 + x) * 4];
            p[0] = x < 20 ? 255 : 0;
            p[2] = x < 20 ? 0 : 255;
            p[3] = 255;
        }
    ASSERT_TRUE(NewTexture(-1, px.data(), 40, 20, "halves"));
    int l = currentLayer;
    TexImage& t = texImages[l];
    t.originX = 100;
    t.originY = 100;
    HandleScaleLayerX(2.0f);
    HandleScaleLayerY(2.0f);
    EXPECT_EQ(t.posX, 80);     // scaled about its centre
    EnableCropArea(true);
    cropArea = Rect{90, 90, 110, 130};   // 40 x 20 across the middle, in the red and the blue
    EnableCropArea(false);
    EXPECT_FALSE(cropActive);
    EXPECT_EQ(t.width, 40);
    EXPECT_EQ(t.texHeight, 20);
    EXPECT_FLOAT_EQ(t.scaleX, 1.0f);
    EXPECT_EQ(t.rotZ, 0);
    EXPECT_EQ(t.posX, 90);
    EXPECT_EQ(t.originY, 90);
    EXPECT_NE(strstr(t.path, "crop"), nullptr);
    QImage saved(QString::fromLocal8Bit(t.path));
    ASSERT_EQ(saved.width(), 40);
    EXPECT_EQ(saved.pixelColor(5, 10).red(), 255);
    EXPECT_EQ(saved.pixelColor(35, 10).blue(), 255);
    EXPECT_EQ(t.pixels[(10 * 40 + 5) * 4 + 0], 255);
}

// The crop rectangle's border is 2 canvas points wide: 2 device pixels on a normal screen and
// 4 at a screen scale of 2 (run again with QT_SCALE_FACTOR=2), so it stays as visible.
TEST_F(SnapCrop, CropBorderIsTwoPointsWideAtTheScreensScale) {
    Place(1, 100, 50, 100, 80);
    currentLayer = 1;
    EnableCropArea(true);
    UpdateContext();
    plat_ProcessEvents(50);
    RenderImages(true, -1.0f);
    std::vector<uint8_t> px;
    int pw = 0, ph = 0;
    ASSERT_TRUE(plat_ReadWindowPixels(glContext, &px, &pw, &ph));
    const double dpr = plat_DevicePixelRatio(window);
    const int y = int(70 * dpr);   // away from the handle in the middle of the side
    int orange = 0;
    for (int x = int(90 * dpr); x < int(110 * dpr); ++x) {
        const uint8_t* p = px.data() + (size_t(y) * pw + x) * 4;
        if (p[0] > 220 && p[1] > 110 && p[1] < 190 && p[2] < 70) ++orange;
    }
    EXPECT_NEAR(orange, 2 * dpr, 1) << "device pixels of the left border at scale " << dpr;
    cropActive = false;
}
