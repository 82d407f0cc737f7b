// Compositor and export: pixels of exported stacks computed independently here, from real picture
// files drawn by real OpenGL.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <string>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "gl_context.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "picture_files.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class Compositor : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        dir = MakeTempDir("compositor");
    }
    void TearDown() override { ResetProgramState(); }

    std::string dir;

    // Writes a solid picture (with alpha) and returns its path.
    std::string Solid(const char* name, int w, int h, QColor c) {
        QImage img(w, h, QImage::Format_ARGB32);
        img.fill(c);
        std::string path = dir + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path)));
        return path;
    }
    void Base(int w, int h, QColor c = QColor(200, 100, 50)) {
        ASSERT_TRUE(LoadTexture(Solid("base.png", w, h, c).c_str(), -1, true, false));
        ASSERT_NE(texImages[0].texture, 0u);
    }
    // A new layer aligned by the current anchor, as a dropped picture is.
    int Layer(const char* name, int w, int h, QColor c) {
        EXPECT_TRUE(LoadTexture(Solid(name, w, h, c).c_str(), -1, true, false));
        PositionImage();
        return currentLayer;
    }
    QImage Export(OSType type = FourCC("PNGf"), const char* name = "out.png") {
        std::string path = dir + "/" + name;
        EXPECT_TRUE(SaveImage(path.c_str(), texImages[0].width, texImages[0].height, type));
        return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32);
    }
};

void ExpectColor(const QImage& img, int x, int y, int r, int g, int b, int tolerance = 2) {
    QColor c = img.pixelColor(x, y);
    EXPECT_NEAR(c.red(), r, tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(c.green(), g, tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(c.blue(), b, tolerance) << "at " << x << "," << y;
}

}  // namespace

TEST_F(Compositor, ExportOfTheBasePictureAloneIsThePicture) {
    Base(100, 50);
    QImage out = Export();
    ASSERT_EQ(out.width(), 100);
    ASSERT_EQ(out.height(), 50);
    ExpectColor(out, 0, 0, 200, 100, 50);
    ExpectColor(out, 99, 49, 200, 100, 50);
    EXPECT_EQ(qAlpha(out.pixel(50, 25)), 255);
}

TEST_F(Compositor, HalfTransparentLayerOverThePicture) {
    Base(100, 50);
    int l = Layer("red.png", 40, 20, QColor(255, 0, 0));
    HandleTransparency(0.5f);
    EXPECT_EQ(texImages[l].posX, 30);
    QImage png = Export(FourCC("PNGf"));
    ExpectColor(png, 50, 25, 228, 50, 25);
    ExpectColor(png, 10, 10, 200, 100, 50);
    EXPECT_EQ(qAlpha(png.pixel(50, 25)), 255);
    QImage jpg = Export(FourCC("JPEG"), "out.jpg");
    ExpectColor(jpg, 50, 25, 228, 50, 25, 8);
}

TEST_F(Compositor, RotatedLayerTurnsAboutItsCentre) {
    Base(100, 50);
    Layer("white.png", 40, 20, QColor(255, 255, 255));
    HandleRotate(90.0f);
    QImage out = Export();
    ExpectColor(out, 50, 8, 255, 255, 255);     // above the unrotated layer, inside the turned one
    ExpectColor(out, 33, 25, 200, 100, 50);     // inside the unrotated layer, outside the turned one
    ExpectColor(out, 50, 43, 255, 255, 255);
    ExpectColor(out, 50, 47, 200, 100, 50);
}

TEST_F(Compositor, ReflectionShowsItsTopPartFadingOut) {
    Base(100, 120, QColor(200, 100, 50));
    centerimage = 280;
    int l = Layer("black.png", 20, 101, QColor(0, 0, 0));
    texImages[l].reflection = 0.5f;
    QImage out = Export();
    ExpectColor(out, 10, 0, 101, 51, 26, 4);          // half opacity at the top
    ExpectColor(out, 10, 25, 151, 76, 38, 5);         // a quarter halfway down
    ExpectColor(out, 10, 52, 200, 100, 50, 2);        // 50 rows drawn (trunc(50.5))
    ExpectColor(out, 30, 10, 200, 100, 50, 1);
    centerimage = 284;
}

TEST_F(Compositor, ShadowFollowsItsAngle) {
    Base(100, 100);
    int l = Layer("white.png", 20, 20, QColor(255, 255, 255));
    texImages[l].shadow = true;
    texImages[l].shadowAngle = 0.0f;
    QImage right = Export(FourCC("PNGf"), "right.png");
    double dark = std::pow(0.95, 20);
    ExpectColor(right, 65, 50, int(200 * dark + 0.5), int(100 * dark + 0.5), int(50 * dark + 0.5), 3);
    ExpectColor(right, 50, 65, 200, 100, 50);
    ExpectColor(right, 50, 50, 255, 255, 255);
    texImages[l].shadowAngle = 90.0f;
    QImage below = Export(FourCC("PNGf"), "below.png");
    ExpectColor(below, 50, 65, int(200 * dark + 0.5), int(100 * dark + 0.5), int(50 * dark + 0.5), 3);
    ExpectColor(below, 65, 50, 200, 100, 50);
    // The export's first pass draws shadows at 0.6 of their strength, but the second covers it.
    QImage jpeg = Export(FourCC("JPEG"), "below.jpg");
    ExpectColor(jpeg, 50, 65, int(200 * dark + 0.5), int(100 * dark + 0.5), int(50 * dark + 0.5), 8);
}

TEST_F(Compositor, FrameOfSevenAroundALayer) {
    Base(200, 100);
    int l = Layer("blue.png", 100, 50, QColor(0, 0, 255));
    texImages[l].frame = true;
    ASSERT_EQ(texImages[l].frameSize, 7);
    QImage out = Export();
    int f = int(0.95f * 255 + 0.5f);
    ExpectColor(out, 43, 30, f, f, f);
    ExpectColor(out, 42, 30, 200, 100, 50);
    ExpectColor(out, 156, 70, f, f, f);
    ExpectColor(out, 157, 70, 200, 100, 50);
    ExpectColor(out, 100, 18, f, f, f);
    ExpectColor(out, 100, 17, 200, 100, 50);
    ExpectColor(out, 100, 81, f, f, f);
    ExpectColor(out, 100, 82, 200, 100, 50);
    ExpectColor(out, 43, 18, f, f, f);   // the side bars cover the corners
    ExpectColor(out, 60, 40, 0, 0, 255);
}

TEST_F(Compositor, MaskedLayerIsTransparentWhereTheMaskIsBlack) {
    Base(100, 100);
    int l = Layer("green.png", 64, 64, QColor(0, 255, 0));
    texImages[l].mask = 2;        // a soft circle: white centre, black corners
    texImages[l].maskFit = true;
    texImages[l].maskRadius = 1.0f;
    QImage out = Export();
    ExpectColor(out, 50, 50, 0, 255, 0, 6);
    ExpectColor(out, 19, 19, 200, 100, 50, 6);
    ExpectColor(out, 80, 80, 200, 100, 50, 6);
    EXPECT_NE(maskTexture[2], 0u) << "the mask is cached after its first use";
    texImages[l].mask = 25;       // no such mask: the masked layer draws nothing
    QImage none = Export(FourCC("PNGf"), "none.png");
    ExpectColor(none, 50, 50, 200, 100, 50);
    texImages[l].mask = 0;        // no mask: the plain layer
    QImage plain = Export(FourCC("PNGf"), "plain.png");
    ExpectColor(plain, 19, 19, 0, 255, 0);
}

TEST_F(Compositor, LightnessAddsAboveZeroAndDarkensBelow) {
    Base(100, 50);
    int l = Layer("brown.png", 40, 20, QColor(100, 50, 0));
    texImages[l].lightness = 0.5f;
    QImage lighter = Export(FourCC("PNGf"), "lighter.png");
    ExpectColor(lighter, 50, 25, 228, 178, 128);
    texImages[l].lightness = -0.5f;
    QImage darker = Export(FourCC("PNGf"), "darker.png");
    ExpectColor(darker, 50, 25, 50, 25, 0);
}

TEST_F(Compositor, ExportIgnoresTheCanvasZoom) {
    Base(120, 80);
    int l = Layer("red.png", 30, 20, QColor(255, 0, 0));
    HandleRotate(30.0f);
    texImages[l].shadow = true;
    QImage one = Export(FourCC("PNGf"), "one.png");
    HandleScaleFactor(0.5f);
    QImage half = Export(FourCC("PNGf"), "half.png");
    EXPECT_FLOAT_EQ(scaleFactor, 0.5f) << "the zoom is back after the export";
    HandleScaleFactor(2.0f);
    QImage twice = Export(FourCC("PNGf"), "twice.png");
    HandleScaleFactor(1.0f);
    EXPECT_TRUE(one == half);
    EXPECT_TRUE(one == twice);
}

TEST_F(Compositor, ExportOfAPictureLargerThanTheOffscreenMinimum) {
    Base(2300, 60);
    Layer("red.png", 10, 10, QColor(255, 0, 0));
    centerimage = 288;
    PositionImage();
    centerimage = 284;
    QImage out = Export();
    ASSERT_EQ(out.width(), 2300);
    ExpectColor(out, 2295, 55, 255, 0, 0);
    ExpectColor(out, 2280, 55, 200, 100, 50);
}

TEST_F(Compositor, PowerOfTwoTexturesGiveTheSamePicture) {
    auto stack = [&]() {
        Base(90, 70, QColor(20, 140, 220));
        int l = Layer("grad.png", 33, 21, QColor(250, 200, 10));
        HandleTransparency(0.7f);
        HandleRotate(20.0f);
        texImages[l].frame = true;
        return Export(FourCC("PNGf"), useRectMap ? "rect.png" : "pot.png");
    };
    if (!useRectMap) GTEST_SKIP() << "this driver has no rectangle textures";
    QImage rect = stack();
    ResetProgramState();
    auto useTarget = [](bool rectangles) {
        GLenum before = mapTarget;
        useRectMap = rectangles;
        mapTarget = rectangles ? GL_TEXTURE_RECTANGLE_ARB : GL_TEXTURE_2D;
        for (GLContextRef c : {glContext, bufContext}) {
            plat_MakeCurrent(c);
            glDisable(before);
            glEnable(mapTarget);
        }
        plat_MakeCurrent(glContext);
    };
    useTarget(false);
    QImage pot = stack();
    ResetProgramState();
    useTarget(true);
    ASSERT_EQ(rect.size(), pot.size());
    int worst = 0;
    for (int y = 0; y < rect.height(); ++y)
        for (int x = 0; x < rect.width(); ++x) {
            QRgb a = rect.pixel(x, y), b = pot.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    // Resampling to power-of-two sizes blurs edges a little; a misplaced layer would differ fully.
    EXPECT_LE(worst, 120);
    ExpectColor(pot, 45, 35, int(0.7 * 250 + 0.3 * 20 + 0.5), int(0.7 * 200 + 0.3 * 140 + 0.5), int(0.7 * 10 + 0.3 * 220 + 0.5), 6);
    ExpectColor(pot, 2, 2, 20, 140, 220, 2);
}

TEST_F(Compositor, DragMovesByWindowPixelsOverTheZoom) {
    Base(100, 100);
    int l = Layer("red.png", 10, 10, QColor(255, 0, 0));
    int x0 = texImages[l].originX;
    scaleFactor = 2.0f;
    TranslateTexture(3, 0);
    EXPECT_EQ(texImages[l].originX, x0 + 1);
    MoveTexture(1, 0);                     // a key nudge at zoom 2: trunc(0.5) = 0
    EXPECT_EQ(texImages[l].originX, x0 + 1);
    scaleFactor = 0.5f;
    TranslateTexture(3, -2);
    EXPECT_EQ(texImages[l].originX, x0 + 7);
    EXPECT_EQ(texImages[l].posX, texImages[l].originX);
    EXPECT_TRUE(toSave);
    scaleFactor = 1.0f;
}

TEST_F(Compositor, RotationByMouseStaysWithinAHalfTurn) {
    Base(100, 100);
    int l = Layer("red.png", 10, 10, QColor(255, 0, 0));
    texImages[l].rotZ = 175;
    RotateTexture(10, 0);
    EXPECT_EQ(texImages[l].rotZ, 180);
    EXPECT_EQ(util_GetControl(dialog, 107), 180);
    texImages[l].rotZ = -175;
    RotateTexture(-10, 0);
    EXPECT_EQ(texImages[l].rotZ, -180);
    texImages[l].rotZ = -170;
    RotateTexture(-10, 99);
    EXPECT_EQ(texImages[l].rotZ, -180);
}

TEST_F(Compositor, TiltsAddWithoutLimitsAndDoNotMarkTheWork) {
    Base(100, 100);
    int l = Layer("red.png", 10, 10, QColor(255, 0, 0));
    toSave = false;
    ApplyFX(l, 1, 180);
    ApplyFX(l, 1, 180);
    ApplyFX(l, 2, 180);
    ApplyFX(l, 3, 180);
    ApplyFX(0, 1, 180);
    EXPECT_EQ(texImages[l].rotY, 360);
    EXPECT_EQ(texImages[l].rotX, 180);
    EXPECT_EQ(texImages[0].rotY, 0) << "the base picture takes no layer effects";
    EXPECT_FALSE(toSave);
}

TEST_F(Compositor, AnchorsPlaceTheLayer) {
    Base(200, 100);
    int l = Layer("red.png", 51, 21, QColor(255, 0, 0));
    struct {
        int anchor, x, y;
    } cases[] = {{280, 0, 0}, {281, 74, 0}, {282, 149, 0}, {283, 0, 39}, {284, 74, 39},
                 {285, 149, 39}, {286, 0, 79}, {287, 74, 79}, {288, 149, 79}, {289, 74, 39}};
    for (auto& c : cases) {
        centerimage = c.anchor;
        PositionImage();
        EXPECT_EQ(texImages[l].posX, c.x) << c.anchor;
        EXPECT_EQ(texImages[l].posY, c.y) << c.anchor;
        EXPECT_EQ(texImages[l].originX, c.x);
    }
    EXPECT_EQ(centerimage, 284);
    QImage out = Export();
    ExpectColor(out, 75, 40, 255, 0, 0);
}

TEST_F(Compositor, FitScalesWithinLimits) {
    Base(2000, 500);
    int l = Layer("small.png", 10, 10, QColor(255, 0, 0));
    RescaleImage();
    EXPECT_FLOAT_EQ(texImages[l].scaleX, 3.0f);
    EXPECT_FLOAT_EQ(texImages[l].scaleY, 3.0f);
    ResetProgramState();
    Base(200, 200);
    l = Layer("big.png", 4000, 4000, QColor(255, 0, 0));
    RescaleImage();
    EXPECT_FLOAT_EQ(texImages[l].scaleX, 0.1f);
    EXPECT_FLOAT_EQ(texImages[l].scaleY, 0.1f);
}

TEST_F(Compositor, ReflectionFrameHasNoBottomBarAndFadingSides) {
    Base(200, 200);
    centerimage = 280;
    int l = Layer("blue.png", 100, 100, QColor(0, 0, 255));
    centerimage = 284;
    texImages[l].posX = texImages[l].originX = 50;
    texImages[l].posY = texImages[l].originY = 20;
    texImages[l].reflection = 0.8f;
    texImages[l].frame = true;
    QImage out = Export();
    // Top bar at half opacity over the base; the sides end at y = 7 + 0.8 x 100 below the top.
    int f = int(0.95f * 255 + 0.5f);
    ExpectColor(out, 100, 15, (f + 200) / 2, (f + 100) / 2, (f + 50) / 2, 4);
    ExpectColor(out, 46, 14, (f + 200) / 2, (f + 100) / 2, (f + 50) / 2, 6);
    ExpectColor(out, 46, 20 + 86, 200, 100, 50, 4);      // alpha has faded to nothing at y1
    ExpectColor(out, 100, 20 + 100 + 3, 200, 100, 50);   // no bottom bar
}

TEST_F(Compositor, MaskRotationAndUnfittedScale) {
    Base(100, 100);
    int l = Layer("green.png", 64, 64, QColor(0, 255, 0));
    texImages[l].mask = 4;          // ramp: black on the left, white on the right
    texImages[l].maskFit = true;
    QImage plain = Export(FourCC("PNGf"), "ramp.png");
    EXPECT_LT(plain.pixelColor(20, 50).green(), plain.pixelColor(80, 50).green());
    texImages[l].maskAngle = 180;   // turned about its centre: white on the left
    QImage turned = Export(FourCC("PNGf"), "turned.png");
    EXPECT_GT(turned.pixelColor(20, 50).green(), turned.pixelColor(80, 50).green());
    ExpectColor(turned, 20, 50, plain.pixelColor(80, 50).red(), plain.pixelColor(80, 50).green(),
                plain.pixelColor(80, 50).blue(), 12);
    if (useRectMap) {
        // Not fitted, size 1.0: every layer pixel takes the mask's centre texel.
        texImages[l].maskAngle = 0;
        texImages[l].maskFit = false;
        QImage centre = Export(FourCC("PNGf"), "centre.png");
        QColor a = centre.pixelColor(20, 50), b = centre.pixelColor(80, 50);
        EXPECT_NEAR(a.green(), b.green(), 3);
        EXPECT_NEAR(a.red(), b.red(), 3);
    }
}
