// Export pixels: the exported file against the composite drawn the long way, kept here as the
// reference: the stack drawn into the colour components and then into the alpha component, each
// time with the 0.6 pass first for PNG, read back as B,G,R,A rows bottom-up, converted with
// util_swapRGBA and util_flip, written with QTSave. Real picture files, real OpenGL, shadows,
// frames, masks, reflections, lightness and multisampling included.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "compositor.h"
#include "gl_context.h"
#include "layer_table.h"
#include "picture_files.h"
#include "textures.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Decoded(const std::string& path) {
    long w = 0, h = 0;
    int c = 0;
    unsigned long type = 0;
    unsigned char* p = LoadImage(path.c_str(), &w, &h, &c, &type);
    std::vector<uint8_t> out;
    if (p) out.assign(p, p + size_t(w) * h * 4);
    free(p);
    return out;
}

// The export as it is drawn without shortcuts; with06 false leaves out the 0.6 pass.
void ReferenceExport(const std::string& path, int width, int height, OSType type, bool with06) {
    ASSERT_TRUE(EnsureOffscreenSize(width, height));
    std::vector<uint8_t> buffer(size_t(width) * 4 * height);
    float savedZoom = scaleFactor;
    scaleFactor = 1.0f;
    plat_MakeCurrent(bufContext);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    auto passes = [&] {
        if (with06 && type == FourCC("PNGf")) RenderImages(false, 0.6f);
        RenderImages(false, -1.0f);
    };
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    passes();
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    passes();
    plat_MakeCurrent(bufContext);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glFinish();
    int fbw = 0, fbh = 0;
    plat_GetOffscreenBufferSize(bufContext, &fbw, &fbh);
    glReadPixels(0, fbh - height, width, height, GL_BGRA, GL_UNSIGNED_BYTE, buffer.data());
    glClearColor(0, 0, 0, 0);
    util_swapRGBA(buffer.data(), int(buffer.size()), 4);
    util_flip(buffer.data(), width, height, 4);
    EXPECT_EQ(QTSave(path.c_str(), buffer.data(), width, height, type), 0);
    scaleFactor = savedZoom;
    plat_MakeCurrent(glContext);
}

class ExportPixels : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        dir = MakeTempDir("export-pixels");
    }
    void TearDown() override { ResetProgramState(); }

    std::string dir;

    // A picture with a diagonal gradient and rings; alpha0 is the alpha at the top-left corner.
    std::string Picture(const char* name, int w, int h, int alpha0, QColor a, QColor b) {
        QImage img(w, h, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        QPainter p(&img);
        QLinearGradient g(0, 0, w, h);
        a.setAlpha(alpha0);
        g.setColorAt(0, a);
        g.setColorAt(1, b);
        p.fillRect(img.rect(), g);
        p.setPen(QColor(255, 255, 255, alpha0));
        for (int i = 0; i < 6; ++i) p.drawEllipse(QPoint((i * 37) % w, (i * 23) % h), w / 5, h / 5);
        p.end();
        std::string path = dir + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path)));
        return path;
    }
    // The base and a stack of layers that uses every pass of the compositor.
    void Stack(int baseAlpha0) {
        ASSERT_TRUE(LoadTexture(Picture("base.png", 160, 121, baseAlpha0, QColor(20, 80, 160), QColor(230, 190, 40)).c_str(), -1,
                                false, false));
        std::string layer = Picture("layer.png", 60, 40, 140, QColor(250, 30, 60), QColor(40, 220, 90));
        for (int i = 0; i < 7; ++i) {
            ASSERT_TRUE(LoadTexture(layer.c_str(), -1, false, false));
            TexImage& t = texImages[currentLayer];
            t.posX = t.originX = -15 + i * 23;
            t.posY = t.originY = -10 + i * 17;
            t.rotZ = i * 11 - 30;
            t.alpha = 0.5f + 0.07f * float(i);
            t.shadow = i % 2 == 0;
            t.frame = i % 3 == 0;
            if (i == 2) t.lightness = 0.3f;
            if (i == 3) t.lightness = -0.4f;
            if (i == 4) t.reflection = 0.6f;
            if (i == 5) t.mask = 3, t.maskRadius = 0.9f;
        }
    }
    // Our export and the reference of the same stack: the same bytes, the same decoded pixels.
    void ExpectSameAsReference(const char* what) {
        const TexImage& b = texImages[0];
        for (const char* format : {"PNGf", "JPEG"}) {
            OSType type = plat_CodeFromText(format);
            std::string ours = dir + "/" + what + "-ours." + format, ref = dir + "/" + what + "-ref." + format;
            ASSERT_TRUE(SaveImage(ours.c_str(), b.width, b.height, type));
            ReferenceExport(ref, b.width, b.height, type, true);
            std::vector<uint8_t> a = Decoded(ours), r = Decoded(ref);
            ASSERT_EQ(a.size(), size_t(b.width) * b.height * 4) << what << " " << format;
            EXPECT_TRUE(a == r) << what << " " << format << ": the exported pixels differ from the reference";
            EXPECT_TRUE(Bytes(ours) == Bytes(ref)) << what << " " << format << ": the files differ";
        }
    }
};

}  // namespace

TEST_F(ExportPixels, OpaqueBaseGivesTheReferenceFiles) {
    Stack(255);
    ExpectSameAsReference("opaque");
    // Multisampling off: the draws go straight into the framebuffer that is read back.
    multisampleLevel = -multisampleLevel;
    glDisable(GL_MULTISAMPLE);
    ExpectSameAsReference("single-sampled");
    multisampleLevel = -multisampleLevel;
    // A see-through picture in place of a base that an export has found opaque.
    ASSERT_TRUE(LoadTexture(Picture("base2.png", 160, 121, 90, QColor(200, 40, 40), QColor(30, 30, 220)).c_str(), 0, false, false));
    ExpectSameAsReference("replaced-see-through");
}

// Bases whose picture, opacity, place or turn let the 0.6 pass show through: the scene must be
// one where leaving it out would be seen.
TEST_F(ExportPixels, BaseThatLetsThe06PassShowGivesTheReferenceFiles) {
    Stack(90);
    std::string with = dir + "/with.png", without = dir + "/without.png";
    ReferenceExport(with, 160, 121, FourCC("PNGf"), true);
    ReferenceExport(without, 160, 121, FourCC("PNGf"), false);
    ASSERT_FALSE(Decoded(with) == Decoded(without)) << "the 0.6 pass shows through this base";
    ExpectSameAsReference("see-through");

    ResetProgramState();
    Stack(255);
    struct Change {
        const char* what;
        void (*apply)(TexImage&);
    } changes[] = {
        {"faded", [](TexImage& t) { t.alpha = 0.7f; }},
        {"moved", [](TexImage& t) { t.posX = 3; }},
        {"moved-up", [](TexImage& t) { t.posY = -2; }},
        {"turned", [](TexImage& t) { t.rotZ = 4; }},
        {"tilted", [](TexImage& t) { t.rotY = 20; }},
        {"reflected", [](TexImage& t) { t.reflection = 0.7f; }},
        {"masked", [](TexImage& t) { t.mask = 5, t.maskRadius = 0.9f; }},
        {"shrunk", [](TexImage& t) { t.width -= 3; }},
    };
    TexImage saved = texImages[0];
    for (const Change& c : changes) {
        c.apply(texImages[0]);
        ExpectSameAsReference(c.what);
        texImages[0] = saved;
    }
}
