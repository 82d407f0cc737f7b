// Layer table: slot defaults, removal with compaction, swaps and the bounds of every slot
// operation.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "app_state.h"
#include "ids.h"
#include "layer_table.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class LayerTable : public ::testing::Test {
protected:
    void SetUp() override { EnsureProgramStarted(); }
    void TearDown() override { ResetProgramState(); }
};

}  // namespace

TEST_F(LayerTable, DepthOfEverySlotFollowsItsNumber) {
    EXPECT_EQ(NewPos(0), -19998);
    EXPECT_EQ(NewPos(98), -202);
    for (int i = 0; i < kSlotCount; ++i) EXPECT_EQ(texImages[i].depth, NewPos(i)) << "slot " << i;
}

TEST_F(LayerTable, FreedSlotHasDefaultsAndKeepsItsNames) {
    MakeLayer(1, 10, 10);
    TexImage& t = texImages[1];
    t.scaleX = 2.5f;
    t.fillR = t.fillG = t.fillB = 12.0f;
    t.mask = 4;
    t.isText = true;
    t.frameSize = 30;
    strcpy(t.path, "/x/y.png");
    DeleteTexture(1);
    EXPECT_EQ(t.texture, 0u);
    EXPECT_EQ(t.pixels, nullptr);
    EXPECT_FLOAT_EQ(t.scaleX, 1.0f);
    EXPECT_FLOAT_EQ(t.fillR, -1.0f);
    EXPECT_FLOAT_EQ(t.fillG, -1.0f);
    EXPECT_FLOAT_EQ(t.fillB, -1.0f);
    EXPECT_EQ(t.mask, 0);
    EXPECT_FALSE(t.isText);
    EXPECT_EQ(t.frameSize, 7);
    EXPECT_FLOAT_EQ(t.shadowAngle, 45.0f);
    EXPECT_FLOAT_EQ(t.frameColorR, 0.95f);
    EXPECT_STREQ(t.fontText, "Hello");
    EXPECT_STREQ(t.fontName, "Arial");
    EXPECT_TRUE(t.maskFit);
    EXPECT_EQ(t.channels, 3);
    EXPECT_STREQ(t.path, "/x/y.png");   // kept until the slot is reused
    EXPECT_EQ(t.depth, NewPos(1));
}

TEST_F(LayerTable, DeleteOutsideTheTableDoesNothing) {
    MakeLayer(1, 4, 4);
    MakeLayer(98, 4, 4);
    DeleteTexture(-1);
    DeleteTexture(99);
    DeleteTexture(1000);
    EXPECT_NE(texImages[1].texture, 0u);
    EXPECT_NE(texImages[98].texture, 0u);
}

TEST_F(LayerTable, RemovingFromTheMiddleCompactsTheStack) {
    for (int s = 1; s <= 5; ++s) MakeLayer(s, 10 + s, 10);
    RemoveLayerAndCompact(3);
    int widths[] = {0, 11, 12, 14, 15};
    for (int s = 1; s <= 4; ++s) {
        EXPECT_NE(texImages[s].texture, 0u) << s;
        EXPECT_EQ(texImages[s].width, widths[s]) << s;
        EXPECT_EQ(texImages[s].depth, NewPos(s)) << s;
    }
    EXPECT_EQ(texImages[1].depth, -19796);
    EXPECT_EQ(texImages[4].depth, -19190);
    EXPECT_EQ(texImages[5].texture, 0u);
    EXPECT_EQ(texImages[98].texture, 0u);
    EXPECT_EQ(texImages[98].pixels, nullptr);
    // Former slot 4 and 5 own distinct pixel copies: no record shares a buffer with another.
    EXPECT_NE(texImages[3].pixels, texImages[4].pixels);
}

TEST_F(LayerTable, RemovingTheTopSlotLeavesItFreeAndUnshared) {
    for (int s = 1; s <= 98; ++s) MakeLayer(s, 2, 2);
    RemoveLayerAndCompact(50);
    EXPECT_NE(texImages[97].texture, 0u);
    EXPECT_EQ(texImages[98].texture, 0u);
    EXPECT_EQ(texImages[98].pixels, nullptr);
    EXPECT_NE(texImages[97].pixels, nullptr);
    EXPECT_EQ(texImages[98].depth, NewPos(98));
}

TEST_F(LayerTable, SwapsOnlyDistinctInUseLayers) {
    MakeLayer(1, 5, 5);
    MakeLayer(2, 6, 6);
    MakeLayer(3, 7, 7);
    EXPECT_EQ(SwapTextures(2, 2), 0);
    EXPECT_EQ(SwapTextures(0, 3), 0);
    EXPECT_EQ(SwapTextures(3, 99), 0);
    EXPECT_EQ(SwapTextures(3, 4), 0);   // slot 4 is free
    EXPECT_EQ(texImages[3].width, 7);
    GLuint tex1 = texImages[1].texture;
    uint8_t* px1 = texImages[1].pixels;
    EXPECT_EQ(SwapTextures(1, 3), 1);
    EXPECT_EQ(texImages[3].texture, tex1);
    EXPECT_EQ(texImages[3].pixels, px1);
    EXPECT_EQ(texImages[1].width, 7);
    EXPECT_EQ(texImages[1].depth, NewPos(1));
    EXPECT_EQ(texImages[3].depth, NewPos(3));
}

TEST_F(LayerTable, SwapMarksTheWorkUnsavedOnlyAfterStartUp) {
    MakeLayer(1, 5, 5);
    MakeLayer(2, 6, 6);
    kickStart = true;
    ASSERT_EQ(SwapTextures(1, 2), 1);
    EXPECT_FALSE(toSave);
    kickStart = false;
    bootComplete = false;
    ASSERT_EQ(SwapTextures(1, 2), 1);
    EXPECT_FALSE(toSave);
    bootComplete = true;
    ASSERT_EQ(SwapTextures(1, 2), 1);
    EXPECT_TRUE(toSave);
}

TEST_F(LayerTable, DeleteLayersKeepsTheBasePicture) {
    MakeBasePicture(40, 30);
    MakeLayer(1, 5, 5);
    MakeLayer(2, 5, 5);
    util_SetMenuItem(dialog, kLayerPopup, 1, false, "layer1");
    util_SetMenuItem(dialog, kLayerPopup, 2, true, "layer2");
    currentLayer = 2;
    DeleteTextures(1);
    EXPECT_NE(texImages[0].texture, 0u);
    EXPECT_EQ(texImages[1].texture, 0u);
    EXPECT_EQ(currentLayer, 0);
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kLayerPopup)), 0);
    DeleteTextures(0);
    EXPECT_EQ(texImages[0].texture, 0u);
}

TEST_F(LayerTable, FreeSlotSearchAndFullTable) {
    MakeBasePicture(10, 10);
    EXPECT_EQ(FindFreeSlot(0), 1);
    for (int s = 1; s <= 98; ++s) MakeLayer(s, 1, 1);
    EXPECT_EQ(FindFreeSlot(0), -1);
    EXPECT_EQ(FindFreeSlot(2), -1);
    DeleteTexture(40);
    EXPECT_EQ(FindFreeSlot(2), 40);
}
