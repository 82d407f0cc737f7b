// Unsaved work on a real theme folder: the question before the layers are thrown away by closing
// the canvas, the Quit item, Cmd-W and opening a project, and the switches (picture mode, theme
// extension, theme) that a cancelled question must leave exactly as they were, so that a later
// write-back still reaches the picture being edited.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <string>
#include <sys/stat.h>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "dispatch.h"
#include "ids.h"
#include "layer_table.h"
#include "navigation.h"
#include "preferences.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

const char* kLose = "Any change and layers will be lost, are you sure to continue?";

bool Exists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

class UnsavedWork : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        themes = new ThemeFolder;
        ScriptedModals quiet;
        InitValues();   // Alpha's header.jpg (200 x 100) is the picture being edited
        ASSERT_EQ(texImages[0].width, 200);
    }
    void TearDown() override {
        InstallDefaultModalScript();
        ResetProgramState();
        supportPW5 = 0;
        SetThemeExtension();
        plat_CheckMenuItem(kMenuOptions, kItemShortExtension, false);
        delete themes;
        ScriptedModals quiet;
        InitValues();
        ResetProgramState();
    }
    // A layer the user has added and not written anywhere yet.
    void AddUnsavedLayer() {
        DeleteTexture(1);
        MakeLayer(1, 20, 10);
        util_SetMenuItem(dialog, kLayerPopup, 1, true, texImages[1].name);
        currentLayer = 1;
        texImages[1].posX = texImages[1].originX = 33;
        toSave = true;
    }
    // Answers alerts with ok and file dialogs with path; records everything.
    void Answer(bool ok, const std::string& path = "") {
        plat_SetModalScript([this, ok, path](const ModalRequest& r) {
            seen.push_back(r);
            ModalAnswer a;
            a.accepted = r.kind == ModalKind::Alert ? ok : !path.empty();
            a.path = path;
            return a;
        });
    }
    static std::string Selected(int popup) {
        char text[1024] = "";
        util_GetMenuItem(dialog, popup, text);
        return text;
    }
    // The questions among what was shown.
    int Questions() const {
        int n = 0;
        for (const ModalRequest& r : seen) n += r.message == kLose && r.cancelText == "Cancel";
        return n;
    }
    // Runs the event loop; close() runs once it is going. Returns the milliseconds until the loop
    // ended, which is about limitMs when nothing ended it.
    static qint64 RunLoopAndClose(const std::function<void()>& close, int limitMs = 700) {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { plat_QuitApplicationEventLoop(); });
        guard.start(limitMs);
        QTimer::singleShot(30, close);
        QElapsedTimer clock;
        clock.start();
        plat_RunApplicationEventLoop();
        guard.stop();
        return clock.elapsed();
    }
    static QAction* QuitItem() {
        for (QWidget* w : QApplication::allWidgets())
            for (QAction* a : w->actions())
                if (a->property("standard").toString() == "quit") return a;
        return nullptr;
    }
    // A project of the theme and picture given, with no layers (the header alone).
    std::string ProjectFile(const std::string& theme, const std::string& picture, int w, int h) {
        std::string path = MakeTempDir("project") + "/work.vntr";
        FILE* f = fopen(path.c_str(), "wb");
        auto put = [f](uint32_t v) {
            unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
            fwrite(b, 1, 4, f);
        };
        put(4);
        put(uint32_t(theme.size()));
        fwrite(theme.data(), 1, theme.size(), f);
        put(uint32_t(picture.size()));
        fwrite(picture.data(), 1, picture.size(), f);
        put(uint32_t(w));
        put(uint32_t(h));
        fclose(f);
        return path;
    }
    // Writes the picture into the theme as the Write button does; true when no failure was shown.
    bool WriteIntoTheme() {
        Answer(true);
        size_t before = seen.size();
        DialogEvent(FourCC("p105"));
        return seen.size() == before;
    }
    std::string Images(const char* theme = "Alpha") const {
        return themes->root + theme + ".pagewrighttheme/Contents/Images/";
    }

    ThemeFolder* themes = nullptr;
    std::vector<ModalRequest> seen;
};

}  // namespace

// The canvas's close box and the Quit item (Ctrl+Q) end the program: with unsaved layers the user
// is asked first, and Cancel keeps the window open and the program running.
TEST_F(UnsavedWork, ClosingTheCanvasOrQuittingAsksAndCancelKeepsTheProgramRunning) {
    QAction* quit = QuitItem();
    ASSERT_NE(quit, nullptr);
    const std::function<void()> ways[] = {[] { plat_RequestClose(window); }, [quit] { quit->trigger(); }};
    for (const auto& close : ways) {
        AddUnsavedLayer();
        Answer(false);
        EXPECT_GE(RunLoopAndClose(close), 650) << "Cancel must not end the program";
        EXPECT_EQ(Questions(), 1);
        EXPECT_TRUE(plat_IsWindowVisible(window));
        EXPECT_NE(texImages[1].texture, 0u);
        EXPECT_TRUE(toSave);

        seen.clear();
        Answer(true);
        EXPECT_LT(RunLoopAndClose(close, 5000), 4000) << "OK ends the program";
        EXPECT_EQ(Questions(), 1);
        EXPECT_FALSE(plat_IsWindowVisible(window));
        plat_ShowWindow(window);

        seen.clear();   // nothing unsaved: closed without a question
        toSave = false;
        EXPECT_LT(RunLoopAndClose(close, 5000), 4000);
        EXPECT_TRUE(seen.empty());
        plat_ShowWindow(window);
        seen.clear();
        DeleteTextures(1);
    }
    plat_ProcessEvents(50);
}

TEST_F(UnsavedWork, CommandWAsksBeforeClosingThePicture) {
    AddUnsavedLayer();
    Answer(false);
    HandleKey(13, cmdKey);
    EXPECT_EQ(Questions(), 1);
    EXPECT_NE(texImages[1].texture, 0u) << "Cancel keeps the layers";
    EXPECT_EQ(texImages[0].width, 200) << "and the picture";
    EXPECT_TRUE(themeLoaded);
    EXPECT_TRUE(toSave);

    seen.clear();
    toSave = false;   // nothing unsaved: closed at once
    HandleKey(13, cmdKey);
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(themeLoaded);
    EXPECT_EQ(texImages[1].texture, 0u);
}

// Opening a project replaces the picture and its layers with the project's: asked first.
TEST_F(UnsavedWork, OpeningAProjectAsksBeforeTheWorkIsReplaced) {
    std::string project = ProjectFile("Beta", "banner.png", 160, 80);
    AddUnsavedLayer();
    Answer(false, project);
    DialogEvent(FourCC("p840"));
    EXPECT_EQ(Questions(), 1);
    EXPECT_NE(texImages[1].texture, 0u);
    EXPECT_EQ(texImages[1].posX, 33);
    EXPECT_EQ(texImages[0].width, 200);
    EXPECT_STREQ(currentTheme, "Alpha");
    EXPECT_EQ(Selected(kThemePopup), "Alpha") << "the theme popup is put back";
    EXPECT_EQ(Selected(kPicturePopup), "header.jpg");
    EXPECT_TRUE(toSave);

    seen.clear();
    Answer(true, project);
    DialogEvent(FourCC("p840"));
    EXPECT_EQ(Questions(), 1) << "asked once";
    EXPECT_STREQ(currentTheme, "Beta");
    EXPECT_EQ(texImages[0].width, 160);
}

// Cancelling the picture-mode question leaves the mode, the lists and the flags as they were, so
// the write-back still writes Alpha's header.jpg with its backup in Images/Originals.
TEST_F(UnsavedWork, CancelledPictureModeChangePutsEverythingBack) {
    AddUnsavedLayer();
    Answer(false);
    ControlRef segments = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kModeSegments, &segments));
    util_SetControl(dialog, kModeSegments, 1);   // the user picks "editable only"
    plat_ClickControl(segments);
    EXPECT_EQ(Questions(), 1);
    EXPECT_EQ(allThemes, 1);
    EXPECT_EQ(oldThemes, 1);
    EXPECT_TRUE(themeLoaded);
    EXPECT_EQ(util_GetControl(dialog, kModeSegments), 2);
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kThemePopup)), 2);
    EXPECT_EQ(Selected(kThemePopup), "Alpha");
    EXPECT_EQ(Selected(kPicturePopup), "header.jpg");
    EXPECT_NE(texImages[1].texture, 0u);

    EXPECT_TRUE(WriteIntoTheme());
    EXPECT_TRUE(Exists(Images() + "Originals/header.jpg"));
    EXPECT_FALSE(Exists(Images() + "Editable_Images/Originals")) << "no stray folder in the bundle";
    EXPECT_FALSE(toSave);
}

TEST_F(UnsavedWork, CancelledExtensionChangePutsEverythingBack) {
    themes->Picture("Gamma.pwtheme/Contents/Images/top.png", 50, 40, QColor(10, 10, 10));
    AddUnsavedLayer();
    Answer(false);
    DispatchCommand(nullptr, FourCC("sThe"), kMenuOptions);
    EXPECT_EQ(Questions(), 1);
    EXPECT_EQ(supportPW5, 0);
    EXPECT_STREQ(THEME_EXT, ".pagewrighttheme");
    EXPECT_FALSE(plat_IsMenuItemChecked(kMenuOptions, kItemShortExtension));
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kThemePopup)), 2);
    EXPECT_EQ(Selected(kThemePopup), "Alpha");
    EXPECT_TRUE(themeLoaded);
    EXPECT_EQ(texImages[1].posX, 33) << "the layer stays where the user put it";

    EXPECT_TRUE(WriteIntoTheme());
    EXPECT_TRUE(Exists(Images() + "Originals/header.jpg"));

    seen.clear();   // confirmed: the short-extension themes are listed and Gamma is loaded
    AddUnsavedLayer();
    Answer(true);
    DispatchCommand(nullptr, FourCC("sThe"), kMenuOptions);
    EXPECT_EQ(supportPW5, 1);
    EXPECT_TRUE(plat_IsMenuItemChecked(kMenuOptions, kItemShortExtension));
    EXPECT_EQ(Selected(kThemePopup), "Gamma");
    EXPECT_EQ(texImages[0].width, 50);
}

// A cancelled theme choice puts the theme popup back and keeps whether a theme picture is loaded
// (after Cmd-W the start picture is not one, and must not become one).
TEST_F(UnsavedWork, CancelledThemeChoicePutsThePopupAndTheFlagBack) {
    AddUnsavedLayer();
    themeLoaded = false;
    util_SetControl(dialog, kThemePopup, 2);
    Answer(false);
    DialogEvent(FourCC("p100"));
    EXPECT_EQ(Questions(), 1);
    EXPECT_EQ(Selected(kThemePopup), "Alpha");
    EXPECT_FALSE(themeLoaded);
    EXPECT_NE(texImages[1].texture, 0u);
}
