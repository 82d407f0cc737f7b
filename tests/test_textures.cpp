// Layer textures: loading into slots, the pixel copy, duplicates, buffers shown without being
// committed, masks and a full table.
#include <gtest/gtest.h>

#include <QImage>

#include <cstring>

#include "app_fixture.h"
#include "canvas_window.h"
#include "compositor.h"
#include "dispatch.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "picture_files.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class Textures : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        dir = MakeTempDir("textures");
    }
    void TearDown() override { ResetProgramState(); }
    std::string dir;

    // A picture whose pixel (x, y) is (x * 40, y * 40, 7, 255).
    std::string Pattern(const char* name, int w, int h) {
        QImage img(w, h, QImage::Format_RGBA8888);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) img.setPixelColor(x, y, QColor(x * 40 % 256, y * 40 % 256, 7));
        std::string path = dir + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path)));
        return path;
    }
    int PopupCount() { return plat_CountMenuItems(util_GetMenu(dialog, kLayerPopup)); }
};

}  // namespace

TEST_F(Textures, TheBasePictureFillsSlotZeroWithoutTouchingTheLayers) {
    currentLayer = 5;
    ASSERT_TRUE(LoadTexture(Pattern("base.png", 30, 20).c_str(), -1, true, false));
    EXPECT_NE(texImages[0].texture, 0u);
    EXPECT_EQ(texImages[0].width, 30);
    EXPECT_EQ(texImages[0].fileType, FourCC("PNGf"));
    EXPECT_EQ(texImages[0].pixels, nullptr) << "the base picture keeps no pixel copy";
    EXPECT_EQ(currentLayer, 5);
    EXPECT_EQ(PopupCount(), 0);
    Rect r;
    plat_GetWindowBounds(window, &r);
    EXPECT_EQ(r.right - r.left, 30);
    EXPECT_EQ(r.bottom - r.top, 20);
}

TEST_F(Textures, ALayerGetsItsPixelCopyNameAndPopupItem) {
    ASSERT_TRUE(LoadTexture(Pattern("base.png", 30, 20).c_str(), -1, true, false));
    std::string path = Pattern("three by two.png", 3, 2);
    ASSERT_TRUE(LoadTexture(path.c_str(), -1, true, false));
    const TexImage& t = texImages[1];
    EXPECT_EQ(currentLayer, 1);
    EXPECT_EQ(t.width, 3);
    EXPECT_EQ(t.height, 2);
    EXPECT_EQ(t.channels, 4);
    ASSERT_NE(t.pixels, nullptr);
    const uint8_t expected[24] = {0, 0, 7, 255, 40, 0, 7, 255, 80, 0, 7, 255, 0, 40, 7, 255, 40, 40, 7, 255, 80, 40, 7, 255};
    EXPECT_EQ(memcmp(t.pixels, expected, 24), 0);
    EXPECT_STREQ(t.name, "three by two.png");
    EXPECT_STREQ(t.path, path.c_str());
    char item[1024];
    EXPECT_EQ(util_GetMenuItemByIndex(dialog, kLayerPopup, 1, item), 1);
    EXPECT_STREQ(item, "three by two.png");
    // Loading again with renaming replaces the item instead of adding one.
    DeleteTexture(1);
    ASSERT_TRUE(LoadTexture(Pattern("other.png", 2, 2).c_str(), 1, true, true));
    EXPECT_EQ(PopupCount(), 1);
    util_GetMenuItemByIndex(dialog, kLayerPopup, 1, item);
    EXPECT_STREQ(item, "other.png");
}

TEST_F(Textures, UnreadablePicturesAndAFullTableLoadNothing) {
    std::string bad = dir + "/bad.png";
    FILE* f = fopen(bad.c_str(), "wb");
    fputs("not a picture", f);
    fclose(f);
    EXPECT_FALSE(LoadTexture(bad.c_str(), -1, true, false));
    EXPECT_FALSE(LoadTexture((dir + "/missing.png").c_str(), -1, true, false));
    EXPECT_EQ(texImages[0].texture, 0u);
    EXPECT_FALSE(LoadTexture(Pattern("a.png", 2, 2).c_str(), 99, true, false));
    EXPECT_FALSE(LoadTexture(Pattern("a.png", 2, 2).c_str(), -2, true, false));
    MakeBasePicture(10, 10);
    for (int s = 1; s <= 98; ++s) MakeLayer(s, 1, 1);
    EXPECT_FALSE(LoadTexture(Pattern("b.png", 2, 2).c_str(), -1, true, false));
    EXPECT_EQ(DuplicateTexture(5, -1), 0);
    uint8_t px[16] = {};
    EXPECT_FALSE(NewTexture(-1, px, 2, 2, "text"));
}

TEST_F(Textures, DuplicateCopiesEverythingAndFlipsOnRequest) {
    ASSERT_TRUE(LoadTexture(Pattern("base.png", 30, 20).c_str(), -1, true, false));
    ASSERT_TRUE(LoadTexture(Pattern("p.png", 4, 3).c_str(), -1, true, false));
    texImages[1].rotZ = 33;
    texImages[1].hue = 12.0f;
    texImages[1].mask = 3;
    int copy = DuplicateTexture(1, -1);
    ASSERT_EQ(copy, 2);
    EXPECT_EQ(texImages[2].rotZ, 33);
    EXPECT_FLOAT_EQ(texImages[2].hue, 12.0f);
    EXPECT_EQ(texImages[2].mask, 3);
    EXPECT_EQ(texImages[2].depth, NewPos(2));
    EXPECT_NE(texImages[2].texture, texImages[1].texture);
    EXPECT_NE(texImages[2].pixels, texImages[1].pixels);
    EXPECT_EQ(memcmp(texImages[2].pixels, texImages[1].pixels, 4 * 3 * 4), 0);
    int flipped = DuplicateTexture(1, 1);
    ASSERT_EQ(flipped, 3);
    EXPECT_EQ(memcmp(texImages[3].pixels, texImages[1].pixels + 2 * 16, 16), 0) << "top row = source's bottom row";
    EXPECT_EQ(DuplicateTexture(0, -1), 0);
    texImages[1].live = true;
    EXPECT_EQ(DuplicateTexture(1, -1), 0);
    texImages[1].live = false;
}

TEST_F(Textures, BufferShownBeforeItIsCommitted) {
    ASSERT_TRUE(LoadTexture(Pattern("base.png", 8, 8).c_str(), -1, true, false));
    ASSERT_TRUE(LoadTexture(Pattern("p.png", 8, 8).c_str(), -1, true, false));
    PositionImage();
    std::vector<uint8_t> blue(8 * 8 * 4);
    for (size_t i = 0; i < blue.size(); i += 4) blue[i + 2] = blue[i + 3] = 255;
    uint8_t before = texImages[1].pixels[4];
    Buffer2Texture(1, blue.data());
    EXPECT_EQ(texImages[1].pixels[4], before) << "the pixel copy is untouched";
    std::string out = dir + "/shown.png";
    ASSERT_TRUE(SaveImage(out.c_str(), 8, 8, FourCC("PNGf")));
    QImage shown(QString::fromStdString(out));
    EXPECT_EQ(shown.pixelColor(3, 3), QColor(0, 0, 255));
    Texture2Buffer(1);
    if (useRectMap) {
        EXPECT_EQ(texImages[1].pixels[6], 255);
    }
}

TEST_F(Textures, NewTextureInAnExplicitSlotKeepsThePlaceAndEffects) {
    MakeBasePicture(50, 50);
    uint8_t px[2 * 2 * 4] = {};
    ASSERT_TRUE(NewTexture(-1, px, 2, 2, "Hello"));
    EXPECT_EQ(currentLayer, 1);
    EXPECT_STREQ(texImages[1].name, "Hello");
    EXPECT_EQ(texImages[1].fileType, FourCC("PNGf"));
    texImages[1].originX = 17;
    texImages[1].shadow = true;
    glDeleteTextures(1, &texImages[1].texture);
    texImages[1].texture = 0;
    uint8_t bigger[6 * 4 * 4] = {};
    ASSERT_TRUE(NewTexture(1, bigger, 6, 4, "ignored"));
    EXPECT_EQ(texImages[1].texWidth, 6);
    EXPECT_EQ(texImages[1].originX, 17);
    EXPECT_TRUE(texImages[1].shadow);
    EXPECT_STREQ(texImages[1].name, "Hello");
    EXPECT_EQ(PopupCount(), 1);
}

TEST_F(Textures, MaskAlphaComesFromBlue) {
    QImage img(2, 1, QImage::Format_RGB32);
    img.setPixelColor(0, 0, QColor(255, 255, 0));
    img.setPixelColor(1, 0, QColor(0, 0, 255));
    std::string path = dir + "/mask.png";
    ASSERT_TRUE(img.save(QString::fromStdString(path)));
    int w = 0, h = 0;
    GLuint name = LoadMaskTexture(path.c_str(), w, h);
    ASSERT_NE(name, 0u);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    if (useRectMap) {
        uint8_t px[8] = {};
        glBindTexture(mapTarget, name);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(mapTarget, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
        EXPECT_EQ(px[3], 0);
        EXPECT_EQ(px[7], 255);
    }
    glDeleteTextures(1, &name);
    EXPECT_EQ(LoadMaskTexture((dir + "/none.jpg").c_str(), w, h), 0u);
}

TEST_F(Textures, CommandWShowsTheStartPicture) {
    MakeBasePicture(100, 50);
    HandleKey(13, cmdKey);
    EXPECT_NE(texImages[0].texture, 0u);
    QImage start(VINTREL_SOURCE_DIR "/resources/first_window2852.png");
    EXPECT_EQ(texImages[0].width, start.width());
    EXPECT_EQ(texImages[0].height, start.height());
    EXPECT_EQ(plat_GetWindowTitle(window), "");
}
