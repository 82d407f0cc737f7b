// The preview window while the Tools window's popups are browsed for real (the popup's list
// opened, items highlighted with the mouse, the list closed): which picture is shown, where and
// how large, the size caption, the layer outline on the canvas, the switches that turn previews
// off, and the decoding of each picture once per opening at the window's size.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>

#include <vector>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "platform_codecs.h"
#include "preferences.h"
#include "preview_window.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

const QColor kSmall(220, 30, 30), kLarge(30, 200, 60), kBig(30, 60, 220);

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        themes = new ThemeFolder;
        themes->Picture("Alpha.pagewrighttheme/contents/preview.png", 200, 100, kSmall);
        themes->Picture("Beta.pagewrighttheme/contents/preview.png", 200, 100, kSmall);
        themes->Picture("Beta.pagewrighttheme/contents/preview_large.jpg", 1200, 900, kLarge);
        themes->Picture("Alpha.pagewrighttheme/Contents/Images/big.png", 1200, 900, kBig);
        for (int i = 1; i <= 3; ++i)
            themes->Picture("Alpha.pagewrighttheme/Contents/Images/huge" + std::to_string(i) + ".jpg", 4000, 3000,
                            QColor(40 * i, 90, 160));
        ScriptedModals quiet;
        InitValues();
        ResetProgramState();
    }
    void TearDown() override {
        Close();
        previewEnabled = 1;
        ResetProgramState();
        delete themes;
        ScriptedModals quiet;
        InitValues();
        ResetProgramState();
    }

    QComboBox* Popup(int id) {
        ControlRef c = nullptr;
        EXPECT_TRUE(plat_GetControlByID(dialog, id, &c));
        open = reinterpret_cast<QComboBox*>(c);
        return open;
    }
    void Open(int id) {
        // The window system's answers to an earlier list's closing arrive a little later; a list
        // opened before they have would be closed by them at once.
        plat_ProcessEvents(300);
        Popup(id)->showPopup();
        plat_ProcessEvents(50);
    }
    // Makes the item with this text the open list's current item, as the list does when the
    // mouse moves onto it.
    void Highlight(const char* text) {
        ASSERT_NE(open, nullptr);
        int row = open->findText(QString::fromUtf8(text));
        ASSERT_GE(row, 0) << text;
        QAbstractItemView* view = open->view();
        view->setCurrentIndex(view->model()->index(row, 0));
        plat_ProcessEvents(30);
    }
    void Close() {
        if (!open) return;
        open->hidePopup();
        plat_ProcessEvents(50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        open = nullptr;
    }
    // The preview window's last frame; pixel (x, y) in window pixels.
    struct Frame {
        std::vector<uint8_t> px;
        int w = 0, h = 0;
        QColor At(int x, int y) const {
            const uint8_t* p = px.data() + (size_t(y) * w + x) * 4;
            return QColor(p[0], p[1], p[2]);
        }
    };
    Frame Shot(GLContextRef ctx) {
        Frame f;
        EXPECT_TRUE(plat_ReadWindowPixels(ctx, &f.px, &f.w, &f.h));
        plat_MakeCurrent(glContext);
        return f;
    }
    static bool Near(QColor a, QColor b) {
        return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
               std::abs(a.blue() - b.blue()) < 12;
    }
    static int PreviewWidgets() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) n += w->objectName() == "preview";
        return n;
    }

    ThemeFolder* themes = nullptr;
    QComboBox* open = nullptr;
};

}  // namespace

TEST_F(Preview, ThemePreviewsAreTriedInOrderAndScaledIntoTheWindow) {
    Open(kThemePopup);
    ASSERT_NE(preview, nullptr);
    ASSERT_NE(pglContext, nullptr);
    EXPECT_NE(backTexture, 0u);
    Rect canvas{}, win{};
    plat_GetWindowBounds(window, &canvas);
    plat_GetWindowBounds(preview, &win);
    EXPECT_EQ(win.left, canvas.left + 10);
    EXPECT_EQ(win.top, canvas.top + 10);
    const int W = win.right - win.left, H = win.bottom - win.top;
    ASSERT_EQ(W, 320);
    ASSERT_EQ(H, 280);

    Highlight("Alpha");   // only preview.png: drawn at its own size, centred
    EXPECT_EQ(previewImage.width, 200);
    EXPECT_EQ(previewImage.height, 100);
    Frame f = Shot(pglContext);
    ASSERT_EQ(f.w, W);
    QColor back = f.At(2, 140);
    EXPECT_FALSE(Near(back, kSmall));
    EXPECT_TRUE(Near(f.At(61, 91), kSmall));
    EXPECT_TRUE(Near(f.At(258, 188), kSmall));
    EXPECT_TRUE(Near(f.At(57, 140), back));
    EXPECT_TRUE(Near(f.At(160, 87), back));
    EXPECT_TRUE(Near(f.At(160, 260), back)) << "no size caption for themes";

    Highlight("Beta");    // preview_large.jpg wins over preview.png; s = min(310/1200, 270/900)
    EXPECT_EQ(previewImage.width, 1200);
    EXPECT_EQ(previewImage.height, 900);
    f = Shot(pglContext);
    // 310 x 232.5 pixels centred: x 5..315, y 23.75..256.25.
    EXPECT_TRUE(Near(f.At(6, 140), kLarge));
    EXPECT_TRUE(Near(f.At(313, 25), kLarge));
    EXPECT_TRUE(Near(f.At(160, 255), kLarge));
    EXPECT_TRUE(Near(f.At(3, 140), back));
    EXPECT_TRUE(Near(f.At(160, 22), back));
    EXPECT_TRUE(Near(f.At(160, 258), back));
}

TEST_F(Preview, PicturesShowTheirSizeLowerRight) {
    Open(kPicturePopup);
    ASSERT_NE(preview, nullptr);
    Highlight("big.png");
    EXPECT_EQ(previewImage.width, 1200);
    EXPECT_EQ(previewImage.height, 900);
    Frame f = Shot(pglContext);
    // "1200x900": white glyphs with their black shadow one pixel down and right, ending left of
    // the right edge, the baseline 10 pixels above the bottom.
    int white = 0, shadowed = 0, left = f.w, right = 0, top = f.h, bottom = 0;
    for (int y = 0; y < f.h - 1; ++y)
        for (int x = 0; x < f.w - 1; ++x) {
            QColor c = f.At(x, y);
            if (c.red() < 240 || c.green() < 240 || c.blue() < 240) continue;
            ++white;
            QColor below = f.At(x + 1, y + 1);
            if (below.red() < 20 && below.green() < 20 && below.blue() < 20) ++shadowed;
            left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
        }
    ASSERT_GT(white, 40);
    EXPECT_GT(shadowed, 5);
    EXPECT_GE(left, f.w - 100);
    EXPECT_LT(right, f.w - 5);
    EXPECT_LE(bottom, f.h - 10 + 1);
    EXPECT_GE(top, f.h - 10 - 15);
    // Eight characters of the 18-point font are wider than seven ("200x100").
    EXPECT_GT(right - left, 50);

    // A listed picture that has gone from the disk leaves the previous one on show.
    ASSERT_EQ(remove((themes->root + "Alpha.pagewrighttheme/Contents/Images/header.jpg").c_str()), 0);
    Highlight("header.jpg");
    EXPECT_EQ(previewImage.width, 1200);
    EXPECT_NE(previewImage.texture, 0u);
}

TEST_F(Preview, EachPictureIsDecodedOncePerOpeningAtTheWindowsSize) {
    Open(kPicturePopup);
    long before = plat_DecodeStats().count;
    for (int round = 0; round < 3; ++round)
        for (const char* name : {"huge1.jpg", "huge2.jpg", "huge3.jpg"}) {
            Highlight(name);
            EXPECT_EQ(previewImage.width, 4000);
            EXPECT_EQ(previewImage.height, 3000);
        }
    EXPECT_EQ(plat_DecodeStats().count - before, 3);
    EXPECT_LE(plat_DecodeStats().lastWidth, 320);
    EXPECT_LE(plat_DecodeStats().lastHeight, 280);
    EXPECT_GE(plat_DecodeStats().lastWidth, 300);
    Frame f = Shot(pglContext);
    EXPECT_TRUE(Near(f.At(160, 140), QColor(120, 90, 160)));

    Close();
    EXPECT_EQ(preview, nullptr);
    EXPECT_EQ(pglContext, nullptr);
    EXPECT_EQ(backTexture, 0u);
    EXPECT_EQ(previewImage.texture, 0u);
    EXPECT_EQ(PreviewWidgets(), 0) << "the window is gone";
    EXPECT_EQ(plat_CurrentContext(), glContext);

    Open(kPicturePopup);   // a new opening decodes again
    before = plat_DecodeStats().count;
    Highlight("huge1.jpg");
    EXPECT_EQ(plat_DecodeStats().count - before, 1);
}

TEST_F(Preview, BrowsingLayersOutlinesTheHighlightedLayerInOrange) {
    MakeBasePicture(100, 60);
    MakeLayer(1, 20, 20, 0x0000ffff);
    MakeLayer(2, 20, 20, 0x00ff00ff);
    texImages[2].posX = texImages[2].originX = 50;
    texImages[2].posY = texImages[2].originY = 20;
    util_SetMenuItem(dialog, kLayerPopup, 1, true, "layer1");
    util_SetMenuItem(dialog, kLayerPopup, 2, false, "layer2");
    util_EnableControl(dialog, kLayerPopup, true);
    currentLayer = 1;
    previewEnabled = 0;   // the outline does not depend on the preview switch
    Open(kLayerPopup);
    EXPECT_EQ(preview, nullptr) << "no window for layers";
    const float red = texImages[2].frameColorR;
    Highlight("layer2");
    EXPECT_EQ(currentLayer, 1);
    EXPECT_FALSE(texImages[2].frame);
    EXPECT_EQ(texImages[2].frameSize, 7) << "the layer's own frame comes back";
    EXPECT_EQ(texImages[2].frameColorR, red);
    Frame f = Shot(glContext);
    double dpr = plat_DevicePixelRatio(window);
    auto at = [&](int x, int y) { return f.At(int(x * dpr), int(y * dpr)); };
    EXPECT_TRUE(Near(at(47, 30), QColor(255, 178, 0))) << at(47, 30).name().toStdString();
    EXPECT_TRUE(Near(at(60, 17), QColor(255, 178, 0)));
    EXPECT_TRUE(Near(at(60, 30), QColor(0, 255, 0)));
    EXPECT_FALSE(Near(at(43, 30), QColor(255, 178, 0)));
    EXPECT_FALSE(Near(at(17, 17), QColor(255, 178, 0))) << "layer 1 is not outlined";
}

TEST_F(Preview, SwitchedOffOrAtTheStartPictureNoWindowOpens) {
    previewEnabled = 0;
    Open(kThemePopup);
    EXPECT_EQ(preview, nullptr);
    Close();
    previewEnabled = 1;
    kickStart = true;   // the start picture shows: themes only
    Open(kPicturePopup);
    EXPECT_EQ(preview, nullptr);
    Close();
    Open(kThemePopup);
    EXPECT_NE(preview, nullptr);
    Close();
    kickStart = false;
}
