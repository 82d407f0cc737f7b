// Operating the Tools window and the drawers as a user does: sliders by their track, the keys
// and the wheel; Tab, Space and Escape on buttons, popups and the welcome window while the
// editor's own keys keep working; pictures dropped on the Tools window and on a drawer; the
// family new text starts in. Real widgets from the interface definitions, real Qt input events.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSlider>
#include <QUrl>
#include <QWheelEvent>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "drawers.h"
#include "ids.h"
#include "layer_table.h"
#include "preferences.h"
#include "tools_window.h"
#include "util_controls.h"

extern char _fontName[256];

namespace {

QWidget* Widget(WindowRef w, int id) {
    ControlRef c = nullptr;
    EXPECT_TRUE(plat_GetControlByID(w, id, &c)) << id;
    return reinterpret_cast<QWidget*>(c);
}

void Key(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(target, &release);
}

// A left click on the slider's track near its right end, away from the handle.
void ClickTrack(QSlider* s) {
    QPointF at(s->width() - 3, s->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, s->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(s, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, s->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(s, &release);
}

void Wheel(QWidget* s) {
    QPointF at(s->width() / 2, s->height() / 2);
    QWheelEvent e(at, s->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(s, &e);
}

// Drags local picture files over target (a control or a window) and drops them there, as a file
// manager does: the drag enters the widget under the pointer and goes to the first one up its
// parents that takes drops.
bool DropOn(QWidget* target, const std::string& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(target->mapTo(target->window(), at)), Qt::CopyAction, &data, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(target->window(), &drop);
    return drop.isAccepted();
}

class ControlsAndKeys : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        MakeBasePicture(200, 100);
        MakeLayer(1, 40, 20);
        util_SetMenuItem(dialog, kLayerPopup, 1, false, texImages[1].name);
        currentLayer = 1;
        EnableSubControls();
    }
    void TearDown() override {
        ResetProgramState();
        snapActive = 1;
        util_SetControl(dialog, kSnapNewCheck, 1);
    }
};

}  // namespace

// Shadow offset, reflection height, mask size and mask angle: each way of moving the slider
// changes the layer to the slider's new value; the program's own value sets do not.
TEST_F(ControlsAndKeys, EverySliderActsOnTrackClicksKeysAndTheWheel) {
    struct Case {
        WindowRef drawer;
        int id;
        std::function<void(TexImage&)> prepare;
        std::function<int(const TexImage&)> value;
    } cases[] = {
        {drawer_extras, 170, [](TexImage& t) { t.shadow = true; }, [](const TexImage& t) { return int(t.shadowOffset); }},
        {drawer_extras, 183, [](TexImage& t) { t.reflection = 0.5f; },
         [](const TexImage& t) { return int(std::lround(t.reflection * 100)); }},
        {drawer_alpha, 202, [](TexImage& t) { t.mask = 3; },
         [](const TexImage& t) { return int(std::lround(t.maskRadius * 100)); }},
        {drawer_alpha, 203, [](TexImage& t) { t.mask = 3; }, [](const TexImage& t) { return t.maskAngle; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        c.prepare(texImages[1]);
        EnableSubControls();
        if (!plat_IsDrawerOpen(c.drawer)) ToggleDrawers(c.drawer);
        auto* slider = qobject_cast<QSlider*>(Widget(c.drawer, c.id));
        ASSERT_NE(slider, nullptr);
        ASSERT_TRUE(slider->isEnabled());
        const std::function<void()> ways[] = {
            [&] { ClickTrack(slider); },
            [&] { Key(slider, Qt::Key_Right); },
            [&] { Key(slider, Qt::Key_PageUp); },
            [&] { Wheel(slider); },
        };
        for (size_t i = 0; i < sizeof ways / sizeof ways[0]; ++i) {
            SCOPED_TRACE(i);
            int before = slider->value();
            ways[i]();
            ASSERT_NE(slider->value(), before) << "the handle moves";
            EXPECT_EQ(c.value(texImages[1]), slider->value()) << "and the layer follows";
        }
        int kept = c.value(texImages[1]);
        util_SetControl(c.drawer, c.id, slider->minimum());
        EXPECT_EQ(c.value(texImages[1]), kept) << "a value set by the program runs no action";
    }
    EXPECT_EQ(texImages[1].posX, 0) << "the arrows stepped the slider, not the layer";
}

TEST_F(ControlsAndKeys, TabSpaceAndEscapeReachTheFocusedControl) {
    QWidget* snap = Widget(dialog, kSnapNewCheck);
    QWidget* tools = snap->window();
    snap->setFocus();
    int before = snapActive;
    Key(snap, Qt::Key_Space);
    EXPECT_NE(snapActive, before) << "Space presses the focused check box";
    EXPECT_EQ(util_GetControl(dialog, kSnapNewCheck), snapActive);
    ASSERT_EQ(tools->focusWidget(), snap);
    Key(snap, Qt::Key_Tab);
    EXPECT_NE(tools->focusWidget(), snap) << "Tab moves the focus on";

    auto* quality = qobject_cast<QComboBox*>(Widget(dialog, kQualityPopup));
    ASSERT_TRUE(quality && quality->isEnabled());
    Key(quality, Qt::Key_Space);
    plat_ProcessEvents(20);
    EXPECT_TRUE(quality->view()->isVisible()) << "Space opens the focused popup";
    quality->hidePopup();
    plat_ProcessEvents(20);

    ASSERT_TRUE(CreateWelcomeDialog());
    QWidget* check = Widget(welcomeDialog, kWelcomeCheck);
    int shown = showWelcome;
    Key(check, Qt::Key_Space);
    EXPECT_NE(showWelcome, shown);
    Key(check, Qt::Key_Space);
    EXPECT_EQ(showWelcome, shown);
    Key(check, Qt::Key_Escape);
    EXPECT_FALSE(plat_IsWindowVisible(welcomeDialog)) << "Escape closes the welcome window";

    // The editor's keys still act on the layer from a focused button, and the arrows on a
    // focused slider step the slider.
    QWidget* mirror = Widget(dialog, kMirrorButton);
    Key(mirror, Qt::Key_M);
    EXPECT_EQ(texImages[1].rotY, 180);
    Key(mirror, Qt::Key_Right);
    EXPECT_EQ(texImages[1].posX, 1);
    Key(Widget(dialog, kRotateSlider), Qt::Key_Right);
    EXPECT_EQ(texImages[1].rotZ, 1);
    EXPECT_EQ(texImages[1].posX, 1);
}

TEST_F(ControlsAndKeys, PicturesDroppedOnTheToolsWindowOrADrawerBecomeLayers) {
    std::string path = MakeTempDir("drop") + "/dropped.png";
    QImage img(20, 10, QImage::Format_ARGB32);
    img.fill(Qt::green);
    ASSERT_TRUE(img.save(QString::fromStdString(path)));

    // Without aligning by the anchor a layer goes under the pointer, which is off the canvas
    // here: it is centred on the picture instead.
    snapActive = 0;
    util_SetControl(dialog, kSnapNewCheck, 0);
    ASSERT_TRUE(DropOn(Widget(dialog, kDuplicateButton), path));
    ASSERT_NE(texImages[2].texture, 0u);
    EXPECT_STREQ(texImages[2].name, "dropped.png");
    EXPECT_EQ(currentLayer, 2);
    EXPECT_EQ(texImages[2].posX, 90);
    EXPECT_EQ(texImages[2].posY, 45);
    EXPECT_TRUE(toSave);

    ToggleDrawers(drawer_extras);
    ASSERT_TRUE(DropOn(Widget(drawer_extras, kFrameCheck), path));
    EXPECT_NE(texImages[3].texture, 0u);
    EXPECT_EQ(currentLayer, 3);
}

TEST(TextStart, NewTextIsSetInTheDesktopsSansSerifFamily) {
    EnsureProgramStarted();
    std::string family;
    if (FILE* p = popen("fc-match -f '%{family[0]}' sans-serif", "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) family += buf;
        pclose(p);
    }
    ASSERT_FALSE(family.empty()) << "fontconfig names no sans-serif family";
    char selected[256];
    ASSERT_GT(util_GetMenuItem(drawer_text, 567, selected), 0);
    EXPECT_EQ(std::string(selected), family);
    EXPECT_EQ(std::string(_fontName), family);
    MakeBasePicture(400, 200);
    currentLayer = 0;
    CreateText(false);
    ASSERT_TRUE(HasValidLayer());
    EXPECT_EQ(std::string(texImages[currentLayer].fontName), family);
    ResetProgramState();
}
