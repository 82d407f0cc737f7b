// File dialogs: titles, suggested names and results through the scripted modal seam, and the
// theme folder shown in the file manager through a valid file address.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "ids.h"
#include "layer_table.h"
#include "navigation.h"
#include "theme_library.h"
#include "tools_window.h"

namespace {

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override { EnsureProgramStarted(); }
    void TearDown() override {
        InstallDefaultModalScript();
        ResetProgramState();
    }
    // Answers every request with (accepted, path) and records it.
    void Answer(bool accepted, const std::string& path) {
        plat_SetModalScript([this, accepted, path](const ModalRequest& r) {
            seen.push_back(r);
            ModalAnswer a;
            a.accepted = accepted;
            a.path = path;
            return a;
        });
    }
    std::vector<ModalRequest> seen;
};

}  // namespace

TEST_F(FileDialogs, LoadProjectAcceptsOnlyPathsWithTheProjectExtension) {
    char out[1024] = "";
    Answer(true, "/home/u/notes.txt");
    EXPECT_FALSE(HandleLoadProject(out));
    EXPECT_STREQ(out, "/home/u/notes.txt") << "the path is handed back all the same";
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, ModalKind::OpenFile);
    EXPECT_EQ(seen[0].title, "Load Project");
    Answer(true, "/home/u/a.vntr.bak");
    EXPECT_TRUE(HandleLoadProject(out));
    Answer(false, "");
    EXPECT_FALSE(HandleLoadProject(out));
}

TEST_F(FileDialogs, SaveProjectSuggestsTheGivenName) {
    char inOut[1024] = "header.vntr";
    Answer(true, "/home/u/mine.vntr");
    EXPECT_TRUE(HandleSaveProject(inOut));
    EXPECT_STREQ(inOut, "/home/u/mine.vntr");
    EXPECT_EQ(seen[0].kind, ModalKind::SaveFile);
    EXPECT_EQ(seen[0].title, "Save Project");
    EXPECT_EQ(seen[0].suggestedName, "header.vntr");
    Answer(false, "");
    strcpy(inOut, "x.vntr");
    EXPECT_FALSE(HandleSaveProject(inOut));
    EXPECT_STREQ(inOut, "x.vntr");
}

TEST_F(FileDialogs, ExportSuggestsTheFilePartOfThePicture) {
    snprintf(currentPicture, sizeof currentPicture, "Editable_Images/header.jpg");
    char out[1024] = "";
    Answer(true, "/home/u/export.jpg");
    EXPECT_TRUE(HandleSaveImage(out));
    EXPECT_EQ(seen[0].suggestedName, "header.jpg");
    EXPECT_STREQ(out, "/home/u/export.jpg");
    currentPicture[0] = 0;
}

TEST_F(FileDialogs, ChosenFolderEndsInASlash) {
    char out[1024] = "";
    Answer(true, "/home/u/images_for_Blue");
    EXPECT_TRUE(HandleSaveFolder(out, "images_for_Blue"));
    EXPECT_STREQ(out, "/home/u/images_for_Blue/");
    EXPECT_EQ(seen[0].kind, ModalKind::ChooseFolder);
    EXPECT_EQ(seen[0].title, "Select a folder for the images");
    EXPECT_EQ(seen[0].suggestedName, "images_for_Blue");
    Answer(false, "");
    EXPECT_FALSE(HandleSaveFolder(out, "x"));
}

TEST_F(FileDialogs, ExportButtonWritesThePictureWhereTheUserChose) {
    MakeBasePicture(40, 30);
    MakeLayer(1, 10, 10);
    std::string target = MakeTempDir("export") + "/out.png";
    Answer(true, target);
    DialogEvent(FourCC("p301"));
    FILE* f = fopen(target.c_str(), "rb");
    ASSERT_NE(f, nullptr) << "the export was written";
    unsigned char sig[8] = {};
    EXPECT_EQ(fread(sig, 1, 8, f), 8u);
    fclose(f);
    EXPECT_EQ(sig[1], 'P');
    EXPECT_EQ(sig[2], 'N');
    Answer(false, "");
    std::string other = target + ".not";
    DialogEvent(FourCC("p301"));
    EXPECT_EQ(fopen(other.c_str(), "rb"), nullptr);
}

// An export that can't be written (here: its folder is gone) says so, from the Export button and
// from Cmd-S; a good export says nothing.
TEST_F(FileDialogs, AFailedExportNamesTheFileThatCouldNotBeWritten) {
    MakeBasePicture(40, 30);
    MakeLayer(1, 10, 10);
    EnableSubControls();
    ControlRef button = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kExportButton, &button));
    std::string folder = MakeTempDir("export");
    std::string target = folder + "/gone/out.png";
    const std::function<void()> ways[] = {[button] { plat_ClickControl(button); }, [] {
        Event e;
        e.eventClass = kEventClassKeyboard;
        e.kind = kEventRawKeyDown;
        e.window = window;
        e.keyCode = 1;
        e.modifiers = cmdKey;
        plat_DispatchEvent(e);
    }};
    for (const auto& exportNow : ways) {
        seen.clear();
        Answer(true, target);
        exportNow();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].kind, ModalKind::SaveFile);
        EXPECT_EQ(seen[1].kind, ModalKind::Alert);
        EXPECT_EQ(seen[1].message, "Unable to export the image: the file \"" + target + "\" could not be written");
        EXPECT_TRUE(seen[1].cancelText.empty());
        seen.clear();
        Answer(true, folder + "/out.png");
        exportNow();
        EXPECT_EQ(seen.size(), 1u) << "a written export shows no message";
    }
}

// The real folder dialog proposes "images_for_<theme>" in its name field, lets the user accept it
// although no such folder exists yet, and creates it.
TEST_F(FileDialogs, TheRealFolderDialogProposesTheNewFolderAndCreatesIt) {
    std::string parent = MakeTempDir("unpack");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(parent.c_str()), 0);   // the dialog opens in the current folder
    plat_SetModalScript(ModalScript());
    QString proposed, title;
    bool acceptable = false;
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (++tries > 100)
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
            return;
        }
        poll.stop();
        title = dialog->windowTitle();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (name) proposed = name->text();
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        QPushButton* choose = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
        acceptable = choose && choose->isEnabled();
        if (acceptable) choose->click();
        else dialog->reject();
    });
    poll.start(30);
    char out[1024] = "";
    bool chosen = HandleSaveFolder(out, "images_for_Alpha");
    poll.stop();
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(title.toStdString(), "Select a folder for the images");
    EXPECT_EQ(proposed.toStdString(), "images_for_Alpha");
    EXPECT_TRUE(acceptable) << "the proposed new folder can be chosen";
    EXPECT_TRUE(chosen);
    EXPECT_EQ(std::string(out), parent + "/images_for_Alpha/");
    struct stat st;
    EXPECT_TRUE(stat((parent + "/images_for_Alpha").c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

TEST_F(FileDialogs, OpenThemeShowsTheContentsFolderThroughAnEncodedAddress) {
    char saved[1024], theme[1024];
    memcpy(saved, themeFolder, sizeof saved);
    memcpy(theme, currentTheme, sizeof theme);
    snprintf(themeFolder, sizeof themeFolder, "/home/u/Library/Application Support/Pagewright/");
    snprintf(currentTheme, sizeof currentTheme, "Sub/Blue Sky");
    Answer(true, "");
    EXPECT_EQ(OpenTheme(), noErr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, ModalKind::OpenURL);
    EXPECT_EQ(seen[0].url,
              "file:///home/u/Library/Application%20Support/Pagewright/Sub/Blue%20Sky.pagewrighttheme/Contents/");
    memcpy(themeFolder, saved, sizeof saved);
    memcpy(currentTheme, theme, sizeof theme);
}
