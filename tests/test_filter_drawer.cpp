// Filter drawer: the sliders' remembered values, previews from the untouched pixels, coalesced
// slider moves, confirm and undo on the previewed layer.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <QDir>
#include <QImage>

#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "drawer_filter.h"
#include "drawers.h"
#include "pixel_ops.h"
#include "gl_context.h"
#include "layer_table.h"
#include "textures.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

enum { kPopup = 567, kKey1 = 568, kSlider1 = 569, kKey2 = 570, kSlider2 = 571, kConfirm = 575, kUndo = 576 };

int Index(const char* title) {
    for (int i = 0; i < kFilterCount; ++i)
        if (strcmp(gFilter[i].title, title) == 0) return i;
    return -1;
}

class FilterDrawer : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        saved_.assign(gFilter, gFilter + kFilterCount);
        MakeBasePicture(200, 150);
        MakeChecker(1, 64, 48);
        MakeChecker(2, 40, 30);
        currentLayer = 1;
    }
    void TearDown() override {
        FilterUndo();
        std::copy(saved_.begin(), saved_.end(), gFilter);
        ResetProgramState();
    }
    // A layer whose pixels a blur changes: a checkerboard of 4-pixel squares.
    static void MakeChecker(int slot, int w, int h) {
        std::vector<uint8_t> px(size_t(w) * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t v = ((x / 4 + y / 4) & 1) ? 230 : 20;
                uint8_t* p = &px[(size_t(y) * w + x) * 4];
                p[0] = v, p[1] = uint8_t(255 - v), p[2] = uint8_t(slot * 40), p[3] = 255;
            }
        ASSERT_TRUE(NewTexture(slot, px.data(), w, h, nullptr));
        snprintf(texImages[slot].name, sizeof texImages[slot].name, "layer%d", slot);
    }
    static void Choose(const char* title) {
        util_SetControl(drawer_filter, kPopup, Index(title) + 1);
        SetCurrentFilter();
    }
    // Moves slider id to value the way the user's drag does: the value changes, the live action runs.
    static void Slide(int id, int value) {
        util_SetControl(drawer_filter, id, value);
        ControlRef c = nullptr;
        ASSERT_TRUE(plat_GetControlByID(drawer_filter, id, &c));
        plat_GetControlAction(c)(c, 0);
    }
    static std::vector<uint8_t> Shown(int slot) {
        const TexImage& t = texImages[slot];
        std::vector<uint8_t> px(size_t(t.texWidth) * t.texHeight * 4);
        plat_MakeCurrent(glContext);
        glBindTexture(mapTarget, t.texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(mapTarget, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
    static std::vector<uint8_t> Pixels(int slot) {
        const TexImage& t = texImages[slot];
        return std::vector<uint8_t>(t.pixels, t.pixels + size_t(t.texWidth) * t.texHeight * 4);
    }
    static bool Enabled(int id) {
        ControlRef c = nullptr;
        plat_GetControlByID(drawer_filter, id, &c);
        return plat_IsControlEnabled(c);
    }
    std::vector<FilterRecord> saved_;
};

}  // namespace

TEST_F(FilterDrawer, ChoosingAFilterShowsItsSlidersAtTheirValues) {
    char title[1024] = "";
    util_GetMenuItemByIndex(drawer_filter, kPopup, 34, title);
    EXPECT_STREQ(title, "Edge Detection");
    Choose("Bloom");
    char key[1024] = "";
    util_GetText(drawer_filter, kKey1, key);
    EXPECT_STREQ(key, "inputRadius");
    EXPECT_EQ(util_GetControl(drawer_filter, kSlider1), 50);
    EXPECT_EQ(util_GetControl(drawer_filter, kSlider2), 100);
    EXPECT_FALSE(Enabled(kConfirm));

    ControlRef c = nullptr;
    plat_GetControlByID(drawer_filter, kSlider2, &c);
    Choose("Brightness");
    EXPECT_FALSE(plat_IsControlVisible(c)) << "one parameter, one slider";
    Choose("Dot Screen");
    EXPECT_TRUE(plat_IsControlVisible(c));
}

TEST_F(FilterDrawer, ASliderReopensWhereItWasLeft) {
    Choose("Gaussian Blur");
    Slide(kSlider1, 20);
    FlushFilterPreview();
    EXPECT_FLOAT_EQ(gFilter[Index("Gaussian Blur")].param[0].value, 20.0f);
    Choose("Bloom");
    Choose("Gaussian Blur");
    EXPECT_EQ(util_GetControl(drawer_filter, kSlider1), 20);
}

TEST_F(FilterDrawer, MovesAreCoalescedAndNeverCumulative) {
    std::vector<uint8_t> untouched = Pixels(1);
    Choose("Gaussian Blur");
    Slide(kSlider1, 2);
    FlushFilterPreview();
    std::vector<uint8_t> once = Shown(1);
    EXPECT_NE(once, untouched);
    Slide(kSlider1, 5);
    Slide(kSlider1, 9);
    EXPECT_EQ(Shown(1), once) << "moves wait for the event loop instead of filtering one by one";
    plat_ProcessEvents(20);
    std::vector<uint8_t> expected = untouched;
    ProcessFilter(expected.data(), 64, 48, 4);
    EXPECT_EQ(Shown(1), expected) << "the last position, filtered from the untouched pixels";
    EXPECT_EQ(Pixels(1), untouched);
    EXPECT_EQ(currentCoreLayer, 1);
    EXPECT_TRUE(Enabled(kUndo));

    FilterUndo();
    EXPECT_EQ(Shown(1), untouched);
    EXPECT_EQ(currentCoreLayer, 0);
    EXPECT_FALSE(Enabled(kUndo));
}

TEST_F(FilterDrawer, ConfirmActsOnThePreviewedLayerAndNumbersItsFiles) {
    Choose("Pixellate");
    Slide(kSlider1, 8);
    FlushFilterPreview();
    std::vector<uint8_t> preview = Shown(1);
    currentLayer = 2;
    EnableSubControls();
    FilterConfirm();
    EXPECT_EQ(currentLayer, 1);
    std::string first = std::string(tempFolder) + "filter1.png";
    EXPECT_STREQ(texImages[1].path, first.c_str());
    EXPECT_EQ(Pixels(1), preview);
    QImage file(QString::fromStdString(first));
    ASSERT_FALSE(file.isNull());
    file = file.convertToFormat(QImage::Format_RGBA8888);
    EXPECT_EQ(0, memcmp(file.constBits(), preview.data(), preview.size()));

    Slide(kSlider1, 16);
    FlushFilterPreview();
    FilterConfirm();
    EXPECT_STREQ(texImages[1].path, (std::string(tempFolder) + "filter2.png").c_str());
}

TEST_F(FilterDrawer, LiveVideoLayersTakeNoFilter) {
    FilterDrawerControlsEnable(true);
    EXPECT_TRUE(Enabled(kSlider1));
    texImages[1].live = true;
    FilterDrawerControlsEnable(true);
    EXPECT_FALSE(Enabled(kSlider1));
    EXPECT_FALSE(Enabled(kConfirm));
    texImages[1].live = false;
}

TEST_F(FilterDrawer, ConfirmKeepsHueAnEffectAndAHueChangeDiscardsThePreview) {
    std::vector<uint8_t> untouched = Pixels(1);
    HandleHue(120.0f);
    Choose("Pixellate");
    Slide(kSlider1, 8);
    FlushFilterPreview();
    std::vector<uint8_t> filtered = untouched;
    ProcessFilter(filtered.data(), 64, 48, 4);
    EXPECT_NE(Shown(1), filtered) << "the preview is shown through the layer's hue";
    FilterConfirm();
    EXPECT_EQ(Pixels(1), filtered) << "the hue is not baked into the pixels";
    EXPECT_FLOAT_EQ(texImages[1].hue, 120.0f);

    std::vector<uint8_t> before = Pixels(1);
    Choose("Brightness");
    Slide(kSlider1, 30);
    FlushFilterPreview();
    HandleHue(60.0f);   // rebuilds the texture from the pixel copy: the preview is gone
    FilterConfirm();
    EXPECT_EQ(Pixels(1), before);
}

// The filtered picture cannot be written to the temporary folder (a file-size limit of 0): the
// user is told, the layer keeps its pixels and the preview, and no file is left behind.
TEST_F(FilterDrawer, ConfirmThatCannotWriteItsPictureKeepsTheLayerAndSaysSo) {
    ScriptedModals modals(true);
    Choose("Pixellate");
    Slide(kSlider1, 8);
    FlushFilterPreview();
    const std::vector<uint8_t> untouched = Pixels(1), preview = Shown(1);
    const std::string path = texImages[1].path;
    const QStringList before = QDir(QString::fromLocal8Bit(tempFolder)).entryList(QDir::Files | QDir::Hidden);
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit none = saved;
    none.rlim_cur = 0;
    sighandler_t oldSignal = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &none);
    FilterConfirm();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldSignal);
    ASSERT_EQ(modals.requests.size(), 1u);
    EXPECT_EQ(modals.requests[0].message, "Unable to save the filtered picture in the temporary folder");
    EXPECT_EQ(Pixels(1), untouched);
    EXPECT_EQ(Shown(1), preview) << "the preview stays, so a later confirm can still take it";
    EXPECT_EQ(texImages[1].path, path);
    EXPECT_EQ(QDir(QString::fromLocal8Bit(tempFolder)).entryList(QDir::Files | QDir::Hidden), before)
        << "no file is left in the temporary folder";
}
