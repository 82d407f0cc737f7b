// Switching pictures and themes: the questions before work is lost and what a cancel keeps,
// the picture mode, and the state after a switch; on a real theme folder.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "ids.h"
#include "layer_table.h"
#include "switching.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

const char* kLose = "Any change and layers will be lost, are you sure to continue?";
const char* kFlatten = "Image will be flattened, continue?";

class Switching : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        themes = new ThemeFolder;
        ScriptedModals quiet;
        InitValues();   // fills the popups from the test folder and loads the first picture
    }
    void TearDown() override {
        ResetProgramState();
        delete themes;
        ScriptedModals quiet;
        InitValues();
        ResetProgramState();
    }
    ThemeFolder* themes = nullptr;

    static std::string Selected(int popup) {
        char text[1024] = "";
        util_GetMenuItem(dialog, popup, text);
        return text;
    }
};

}  // namespace

TEST_F(Switching, TheFirstThemeAndPictureAreLoaded) {
    EXPECT_STREQ(currentTheme, "Alpha");
    EXPECT_STREQ(currentPicture, "header.jpg");
    EXPECT_EQ(texImages[0].width, 200);
    EXPECT_EQ(texImages[0].fileType, FourCC("JPEG"));
    EXPECT_TRUE(themeLoaded);
    EXPECT_FALSE(kickStart);
    EXPECT_EQ(plat_GetWindowTitle(window), "header.jpg");
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kThemePopup)), 2);
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kPicturePopup)), 2);
}

TEST_F(Switching, UnsavedLayersAskAndCancelKeepsEverything) {
    MakeLayer(1, 10, 10);
    toSave = true;
    util_SetControl(dialog, kPicturePopup, 2);
    ScriptedModals answer(false);
    EXPECT_FALSE(HandlePictureChange(false));
    ASSERT_EQ(answer.requests.size(), 1u);
    EXPECT_EQ(answer.requests[0].message, kLose);
    EXPECT_EQ(answer.requests[0].cancelText, "Cancel");
    EXPECT_EQ(Selected(kPicturePopup), "header.jpg") << "the popup is put back";
    EXPECT_NE(texImages[1].texture, 0u);
    EXPECT_TRUE(toSave);
    EXPECT_EQ(texImages[0].width, 200);
}

TEST_F(Switching, ConfirmedSwitchLoadsThePictureAndClearsTheWork) {
    MakeLayer(1, 10, 10);
    toSave = true;
    util_SetControl(dialog, kPicturePopup, 2);
    ScriptedModals answer(true);
    EXPECT_TRUE(HandlePictureChange(false));
    EXPECT_STREQ(currentPicture, "Editable_Images/logo.png");
    EXPECT_EQ(texImages[0].width, 120);
    EXPECT_EQ(texImages[1].texture, 0u);
    EXPECT_EQ(currentLayer, 0);
    EXPECT_FALSE(toSave);
}

TEST_F(Switching, OneSavedLayerGoesWithoutAQuestionTwoAskToFlatten) {
    MakeLayer(1, 10, 10);
    ScriptedModals answers(false);
    EXPECT_TRUE(HandlePictureChange(false));
    EXPECT_TRUE(answers.requests.empty());
    EXPECT_EQ(texImages[1].texture, 0u);
    MakeLayer(1, 10, 10);
    MakeLayer(2, 10, 10);
    EXPECT_FALSE(HandlePictureChange(false));
    ASSERT_EQ(answers.requests.size(), 1u);
    EXPECT_EQ(answers.requests[0].message, kFlatten);
}

TEST_F(Switching, ThemeChangeAsksOnceAndLoadsTheNewThemesPicture) {
    MakeLayer(1, 10, 10);
    toSave = true;
    util_SetControl(dialog, kThemePopup, 2);
    ScriptedModals answer(true);
    DialogEvent(FourCC("p100"));
    EXPECT_EQ(answer.requests.size(), 1u);
    EXPECT_STREQ(currentTheme, "Beta");
    EXPECT_STREQ(currentPicture, "banner.png");
    EXPECT_EQ(texImages[0].width, 160);
    EXPECT_FALSE(toSave);
}

TEST_F(Switching, CancelledThemeChangeChangesNothing) {
    MakeLayer(1, 10, 10);
    toSave = true;
    util_SetControl(dialog, kThemePopup, 2);
    ScriptedModals answer(false);
    DialogEvent(FourCC("p100"));
    EXPECT_STREQ(currentTheme, "Alpha");
    EXPECT_NE(texImages[1].texture, 0u);
}

TEST_F(Switching, PictureModesRebuildBothLists) {
    ScriptedModals quiet;
    DialogEvent(FourCC("pPre"));
    EXPECT_EQ(allThemes, 0);
    EXPECT_EQ(oldThemes, 0);
    EXPECT_STREQ(currentPicture, "logo.png");
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kPicturePopup)), 1);
    EXPECT_EQ(texImages[0].width, 120);
    util_SetControl(dialog, kThemePopup, 2);
    DialogEvent(FourCC("p100"));
    EXPECT_STREQ(currentPicture, "photo.jpg");
    DialogEvent(FourCC("pAll"));   // back to all pictures: the first theme and picture again
    EXPECT_STREQ(currentTheme, "Alpha");
    EXPECT_STREQ(currentPicture, "header.jpg");
    DialogEvent(FourCC("pAll"));   // already all pictures: rebuilt all the same
    EXPECT_EQ(util_GetControl(dialog, kThemePopup), 1);
    EXPECT_EQ(util_GetControl(dialog, kPicturePopup), 1);
}

TEST_F(Switching, LayerDependentControlsFollowTheStack) {
    ControlRef c = nullptr;
    auto enabled = [&](int id) {
        plat_GetControlByID(dialog, id, &c);
        return plat_IsControlEnabled(c);
    };
    EnableSubControls();
    for (int id : {kWriteButton, kExportButton, kLayerPopup, kDeleteButton, kRotateSlider, kSaveAsButton})
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_TRUE(enabled(kImportButton)) << "import needs only a theme picture";
    MakeLayer(1, 10, 10);
    currentLayer = 1;
    texImages[1].rotZ = -12;
    texImages[1].alpha = 0.25f;
    EnableSubControls();
    for (int id : {kWriteButton, kExportButton, kLayerPopup, kDeleteButton, kRotateSlider, kSaveAsButton})
        EXPECT_TRUE(enabled(id)) << id;
    EXPECT_EQ(util_GetControl(dialog, kRotateSlider), -12);
    EXPECT_EQ(util_GetControl(dialog, kOpacitySlider), 25);
    char text[1024];
    util_GetText(dialog, kTransparencyText, text);
    EXPECT_STREQ(text, "75%");
    EnableControls(false);
    EXPECT_FALSE(enabled(kPicturePopup));
    EXPECT_FALSE(enabled(kRestoreButton));
    EnableControls(true);
    EXPECT_TRUE(enabled(kPicturePopup));
}

TEST_F(Switching, ExportQualityOutsideTheRangeBecomesNormal) {
    util_SetControl(dialog, kQualityPopup, 5);
    DialogEvent(FourCC("p125"));
    EXPECT_EQ(exportQuality, 5);
    util_SetControl(dialog, kQualityPopup, 0);   // an empty choice reads 0
    ControlRef q = nullptr;
    plat_GetControlByID(dialog, kQualityPopup, &q);
    plat_DeleteAllMenuItems(plat_GetControlMenu(q));
    DialogEvent(FourCC("p125"));
    EXPECT_EQ(exportQuality, 3);
    const char* items[] = {"Minimum", "Low", "Normal", "High", "Maximum"};
    for (int i = 0; i < 5; ++i) util_SetMenuItem(dialog, kQualityPopup, i + 1, i == 2, items[i]);
}
