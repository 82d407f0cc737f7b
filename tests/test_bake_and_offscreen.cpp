// Baked layers and the offscreen framebuffer: crop and mask apply of a layer past the picture's
// edge, shadows kept out of a bake, placement of scaled layers and their reflections, antialiased
// exports, the framebuffer's size across pictures, and the power-of-two texture path.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <malloc.h>

#include <cstring>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "canvas_window.h"
#include "compositor.h"
#include "drawers.h"
#include "gl_context.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "picture_files.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class Bake : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        dir = MakeTempDir("bake");
    }
    void TearDown() override {
        mallopt(M_PERTURB, 0);
        ResetProgramState();
    }

    std::string dir;

    std::string Solid(const std::string& name, int w, int h, QColor c) {
        QImage img(w, h, QImage::Format_ARGB32);
        img.fill(c);
        std::string path = dir + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path)));
        return path;
    }
    void Base(int w, int h, QColor c = QColor(255, 255, 255)) {
        DeleteTextures(0);
        ASSERT_TRUE(LoadTexture(Solid("base" + std::to_string(w) + ".png", w, h, c).c_str(), -1, true, false));
    }
    // A picture dropped as a layer, placed with its top-left corner at (x, y).
    int Layer(const std::string& name, int w, int h, QColor c, int x, int y) {
        EXPECT_TRUE(LoadTexture(Solid(name, w, h, c).c_str(), -1, true, false));
        TexImage& t = texImages[currentLayer];
        t.posX = t.originX = x;
        t.posY = t.originY = y;
        return currentLayer;
    }
    static void Click(WindowRef w, int id) {
        ControlRef c = nullptr;
        ASSERT_TRUE(util_GetControlRef(w, id, &c));
        plat_ClickControl(c);
    }
    QImage Export(const char* name) {
        std::string path = dir + "/" + name;
        EXPECT_TRUE(SaveImage(path.c_str(), texImages[0].width, texImages[0].height, FourCC("PNGf")));
        return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32);
    }
    static std::vector<uint8_t> Pixels(int slot) {
        const TexImage& t = texImages[slot];
        return std::vector<uint8_t>(t.pixels, t.pixels + size_t(t.texWidth) * t.texHeight * t.channels);
    }
    // Switches between rectangle textures and the power-of-two path on both contexts.
    static void UseRectangles(bool rectangles) {
        GLenum before = mapTarget;
        useRectMap = rectangles;
        mapTarget = rectangles ? GL_TEXTURE_RECTANGLE_ARB : GL_TEXTURE_2D;
        for (GLContextRef c : {glContext, bufContext}) {
            plat_MakeCurrent(c);
            glDisable(before);
            glEnable(mapTarget);
        }
        plat_MakeCurrent(glContext);
    }
};

// The bytes of a baked block at (x, y).
const uint8_t* At(const std::vector<uint8_t>& px, int w, int x, int y) { return px.data() + (size_t(y) * w + x) * 4; }

}  // namespace

TEST_F(Bake, CropAndMaskApplyPastTheTopLeftEdgeAreTransparentThereAndRepeatable) {
    Base(200, 150);
    // Fresh heap blocks come filled with garbage (0xcd, then 0xaa), as a long run leaves them.
    auto cropped = [&](const char* name, int garbage) {
        int l = Layer(name, 60, 40, QColor(255, 0, 0), -20, -10);
        mallopt(M_PERTURB, garbage ^ 0xff);
        Click(dialog, 921);   // Crop
        Click(dialog, 922);   // End Crop, without a drag
        mallopt(M_PERTURB, 0);
        EXPECT_EQ(texImages[l].texWidth, 60);
        EXPECT_NE(strstr(texImages[l].path, "crop"), nullptr);
        return l;
    };
    int a = cropped("red1.png", 0xcd), b = cropped("red2.png", 0xaa);
    std::vector<uint8_t> pa = Pixels(a);
    ASSERT_EQ(pa.size(), 60u * 40 * 4);
    EXPECT_TRUE(pa == Pixels(b)) << "the same crop gives the same bytes on every run";
    int dirty = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            const uint8_t* p = At(pa, 60, x, y);
            bool outside = x < 20 || y < 10;
            if (outside ? (p[0] | p[1] | p[2] | p[3]) != 0 : (p[0] != 255 || p[3] != 255)) ++dirty;
        }
    EXPECT_EQ(dirty, 0) << "transparent where the layer lay outside the picture, red inside";
    QImage fa(QString::fromLocal8Bit(texImages[a].path)), fb(QString::fromLocal8Bit(texImages[b].path));
    EXPECT_EQ(qAlpha(fa.pixel(5, 5)), 0);
    EXPECT_TRUE(fa == fb) << "the temporary pictures are alike";

    // Mask apply of a layer in the same place.
    auto applied = [&](const char* name, int garbage) {
        int l = Layer(name, 60, 40, QColor(0, 255, 0), -20, -10);
        util_SetControl(drawer_alpha, 202, 100);
        util_SetControl(drawer_alpha, 207, 1);
        Click(drawer_alpha, 300);   // mask 1, the radial ramp
        EXPECT_EQ(texImages[l].mask, 1);
        mallopt(M_PERTURB, garbage ^ 0xff);
        Click(drawer_alpha, 205);   // apply
        mallopt(M_PERTURB, 0);
        EXPECT_EQ(texImages[l].mask, 0);
        return l;
    };
    int m1 = applied("green1.png", 0xcd), m2 = applied("green2.png", 0xaa);
    std::vector<uint8_t> q = Pixels(m1);
    EXPECT_TRUE(q == Pixels(m2));
    dirty = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            const uint8_t* p = At(q, 60, x, y);
            if ((x < 20 || y < 10) && (p[0] | p[1] | p[2] | p[3]) != 0) ++dirty;
        }
    EXPECT_EQ(dirty, 0);
    EXPECT_GT(At(q, 60, 30, 20)[3], 200) << "the mask's opaque centre is there";
}

TEST_F(Bake, ACroppedShadowedLayerCarriesNoBakedShadow) {
    Base(200, 150);
    int l = Layer("blue.png", 40, 40, QColor(0, 0, 255), 80, 50);
    HandleRotate(45.0f);
    texImages[l].shadow = true;   // 45 degrees, 10 pixels: toward the lower right
    Click(dialog, 921);
    Click(dialog, 922);
    std::vector<uint8_t> px = Pixels(l);
    ASSERT_EQ(px.size(), 40u * 40 * 4);
    // The lower-right corner lies outside the turned square but inside its shadow.
    EXPECT_EQ(At(px, 40, 38, 38)[3], 0) << "no shadow in the baked pixels";
    EXPECT_EQ(At(px, 40, 20, 20)[2], 255);
    EXPECT_TRUE(texImages[l].shadow) << "the layer still casts its shadow live";
}

TEST_F(Bake, AnAlignedScaledLayerAndItsReflectionFollowTheDragWithoutAJump) {
    Base(300, 200);
    int l = Layer("wide.png", 100, 40, QColor(255, 0, 0), 0, 0);
    HandleScaleLayerX(0.5f);
    HandleScaleLayerY(0.5f);
    Click(dialog, 280);   // top-left anchor
    EXPECT_EQ(texImages[l].posX, 0);
    EXPECT_EQ(texImages[l].posY, 0);
    CanvasMouse(kEventMouseDown, 10, 10);
    CanvasMouse(kEventMouseDragged, 11, 10);
    CanvasMouse(kEventMouseUp, 11, 10);
    EXPECT_EQ(texImages[l].posX, 1) << "one pixel of drag moves the layer one pixel";
    EXPECT_EQ(texImages[l].posY, 0);

    Click(drawer_extras, 182);   // make reflection
    ASSERT_EQ(currentLayer, 2);
    const TexImage& copy = texImages[2];
    EXPECT_EQ(copy.posY, texImages[l].posY + texImages[l].height + 1) << "one pixel below the source's box";
    EXPECT_EQ(copy.posX, texImages[l].posX);
    int y = copy.posY;
    CanvasMouse(kEventMouseDown, 10, float(y + 5));
    CanvasMouse(kEventMouseDragged, 12, float(y + 5));
    CanvasMouse(kEventMouseUp, 12, float(y + 5));
    EXPECT_EQ(currentLayer, 2);
    EXPECT_EQ(copy.posY, y) << "a sideways drag leaves the reflection's height";
    EXPECT_EQ(copy.posX, texImages[l].posX + 2);
}

TEST_F(Bake, ExportedRotatedEdgesAreAntialiased) {
    ASSERT_GT(plat_GetOffscreenBufferSamples(bufContext), 0) << "Mesa offers multisample framebuffers";
    Base(200, 150);
    Layer("black.png", 60, 60, QColor(0, 0, 0), 70, 45);
    HandleRotate(30.0f);
    auto greys = [](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qRed(img.pixel(x, y)) > 30 && qRed(img.pixel(x, y)) < 225) ++n;
        return n;
    };
    QImage smooth = Export("smooth.png");
    EXPECT_GT(greys(smooth), 100) << "the edges blend into the white picture";
    EXPECT_EQ(qRed(smooth.pixel(100, 75)), 0);
    ToggleMultisample();   // the antialiasing switch holds for exports too
    QImage hard = Export("hard.png");
    ToggleMultisample();
    EXPECT_EQ(greys(hard), 0);
}

TEST_F(Bake, TheOffscreenFramebufferFollowsTheBasePictureBackDown) {
    int w = 0, h = 0;
    Base(3000, 2100);
    plat_GetOffscreenBufferSize(bufContext, &w, &h);
    EXPECT_EQ(w, 3000);
    EXPECT_EQ(h, 2100);
    Base(300, 200);
    plat_GetOffscreenBufferSize(bufContext, &w, &h);
    EXPECT_EQ(w, 2048);
    EXPECT_EQ(h, 2048);
    Base(2500, 100);
    plat_GetOffscreenBufferSize(bufContext, &w, &h);
    EXPECT_EQ(w, 2500);
    EXPECT_EQ(h, 2048);
    EXPECT_EQ(plat_CurrentContext(), glContext);
    QImage out = Export("after.png");
    EXPECT_EQ(out.width(), 2500);
    EXPECT_EQ(qRed(out.pixel(2499, 99)), 255);
}

TEST_F(Bake, PowerOfTwoTexturesCommitFiltersAndTurnMasks) {
    bool rect = useRectMap;
    UseRectangles(false);
    Base(120, 100, QColor(0, 0, 255));
    int l = Layer("green.png", 33, 21, QColor(0, 255, 0), 10, 10);
    std::vector<uint8_t> shown(33 * 21 * 4);
    for (size_t i = 0; i < shown.size(); ++i) shown[i] = uint8_t(i * 7 + i / 97);
    std::vector<uint8_t> before = Pixels(l);
    Buffer2Texture(l, shown.data());
    EXPECT_TRUE(Pixels(l) == before) << "shown, not yet taken";
    Texture2Buffer(l);
    EXPECT_TRUE(Pixels(l) == shown) << "the confirmed buffer becomes the layer's pixels exactly";

    DeleteTexture(l);
    int m = Layer("square.png", 80, 60, QColor(0, 255, 0), 20, 20);
    texImages[m].mask = 3;   // hard-ish circle
    texImages[m].maskFit = true;
    texImages[m].maskRadius = 1.0f;
    texImages[m].maskAngle = 45;
    QImage out = Export("turned.png");
    UseRectangles(rect);
    QColor centre = out.pixelColor(60, 50), corner = out.pixelColor(21, 21);
    EXPECT_GT(centre.green(), 200) << "the turned mask still shows the layer's middle";
    EXPECT_LT(centre.blue(), 50);
    EXPECT_GT(corner.blue(), 200) << "and still hides its corner";
}
