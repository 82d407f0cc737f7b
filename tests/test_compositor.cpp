// Compositor and export: pixels of exported stacks computed independently here, from real picture
// files drawn by real OpenGL.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>

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
    int Layer(const char* name, int w, int h, QColor c) {
        EXPECT_TRUE(LoadTexture(Solid(name, w, h, c).c_str(), -1, true, false));
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
