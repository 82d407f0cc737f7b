// Interface: the windows built from the interface definitions, the control wrappers against the
// real controls, the menu bar, the drawers, the tab control and the message box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "ids.h"
#include "layer_table.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class Interface : public ::testing::Test {
protected:
    void SetUp() override { EnsureProgramStarted(); }
    void TearDown() override { ResetProgramState(); }
};

bool Has(WindowRef w, int id) {
    ControlRef c = nullptr;
    return plat_GetControlByID(w, id, &c);
}

}  // namespace

TEST_F(Interface, EveryWindowCarriesItsNumberedControls) {
    for (int id : {100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 122, 123,
                   125, 151, 184, 192, 280, 284, 288, 290, 291, 301, 556, 557, 558, 559, 560, 561, 800, 801, 802,
                   828, 829, 830, 840, 841, 842, 843, 901, 921, 922})
        EXPECT_TRUE(Has(dialog, id)) << "Tools " << id;
    for (int id : {567, 568, 569, 570, 571, 572, 573}) EXPECT_TRUE(Has(drawer_text, id)) << "text " << id;
    for (int id : {567, 568, 569, 570, 571, 575, 576}) EXPECT_TRUE(Has(drawer_filter, id)) << "filter " << id;
    for (int id : {600, 601, 602, 603, 604, 605, 901, 903, 905, 152}) EXPECT_TRUE(Has(drawer_color, id)) << id;
    for (int id : {260, 261, 263, 117, 160, 170, 180, 182, 183, 543, 544}) EXPECT_TRUE(Has(drawer_extras, id)) << id;
    for (int id = 300; id <= 323; ++id) EXPECT_TRUE(Has(drawer_alpha, id)) << id;
    for (int id : {201, 202, 203, 204, 205, 206, 207}) EXPECT_TRUE(Has(drawer_alpha, id)) << id;
}

TEST_F(Interface, RangesTheCodeReliesOn) {
    struct Range {
        WindowRef w;
        int id, min, max;
    } ranges[] = {{dialog, kRotateSlider, -180, 180}, {dialog, kScaleXSlider, 10, 500}, {dialog, kScaleYSlider, 10, 500},
                  {dialog, kOpacitySlider, 0, 100},   {drawer_filter, 569, 0, 100},    {drawer_filter, 571, 0, 100},
                  {drawer_color, 600, 0, 360},        {drawer_color, 602, 0, 200},     {drawer_color, 604, -100, 100}};
    for (const Range& r : ranges) {
        ControlRef c = nullptr;
        ASSERT_TRUE(plat_GetControlByID(r.w, r.id, &c)) << r.id;
        EXPECT_EQ(plat_GetControlMinimum(c), r.min) << r.id;
        EXPECT_EQ(plat_GetControlMaximum(c), r.max) << r.id;
    }
    ControlRef zoom = nullptr, reflection = nullptr, quality = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kZoomSlider, &zoom));
    EXPECT_LE(plat_GetControlMinimum(zoom), 100);
    EXPECT_GE(plat_GetControlMaximum(zoom), 200);
    ASSERT_TRUE(plat_GetControlByID(drawer_extras, 183, &reflection));
    EXPECT_LE(plat_GetControlMaximum(reflection), 100);
    ASSERT_TRUE(plat_GetControlByID(dialog, kQualityPopup, &quality));
    EXPECT_EQ(plat_CountMenuItems(plat_GetControlMenu(quality)), 5);
}

TEST_F(Interface, ControlsSendTheirCommands) {
    ControlRef c = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kWriteButton, &c));
    EXPECT_EQ(plat_GetControlCommand(c), FourCC("p105"));
    ASSERT_TRUE(plat_GetControlByID(drawer_extras, 170, &c));
    EXPECT_EQ(plat_GetControlCommand(c), 0u) << "the shadow offset slider sends nothing";
    ASSERT_TRUE(plat_GetControlByID(drawer_text, 572, &c));
    EXPECT_EQ(plat_GetControlCommand(c), 0u);
    ASSERT_TRUE(plat_GetControlByID(drawer_alpha, 317, &c));
    EXPECT_EQ(plat_GetControlCommand(c), FourCC("p317"));
    ASSERT_TRUE(plat_GetControlByID(dialog, kRotateText, &c));
    EXPECT_EQ(plat_GetControlCommand(c), 0u);
}

TEST_F(Interface, PictureModeSegmentsSendTheirOwnCommands) {
    ControlRef seg = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kModeSegments, &seg));
    plat_SetControlValue(seg, 1);
    plat_ClickControl(seg);
    EXPECT_EQ(allThemes, 0);
    EXPECT_EQ(oldThemes, 0) << "the theme switch ran and rebuilt the lists for the new mode";
    plat_SetControlValue(seg, 2);
    plat_ClickControl(seg);
    EXPECT_EQ(allThemes, 1);
    EXPECT_EQ(plat_GetControlValue(seg), 2);
}

TEST_F(Interface, MissingControlsAreSkippedAndReadAsZero) {
    EXPECT_EQ(util_GetControl(dialog, 4321), 0);
    EXPECT_EQ(util_SetControl(dialog, 4321, 5), errUnknownControl);
    EXPECT_EQ(util_EnableControl(dialog, 4321, true), errUnknownControl);
    EXPECT_EQ(util_GetControl(nullptr, kZoomSlider), 0);
    char text[1024] = "unchanged";
    EXPECT_FALSE(util_GetText(dialog, 4321, text));
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(util_GetMenu(dialog, kZoomSlider), nullptr) << "a slider has no menu";
    EXPECT_EQ(util_GetMenuItem(dialog, 4321, text), 0);
}

TEST_F(Interface, ValuesAndTextsRoundTripThroughRealControls) {
    util_SetControl(dialog, kRotateSlider, 45);
    EXPECT_EQ(util_GetControl(dialog, kRotateSlider), 45);
    util_SetControl(dialog, kRotateSlider, 999);
    EXPECT_EQ(util_GetControl(dialog, kRotateSlider), 180) << "a slider keeps its range";
    util_SetControl(dialog, kSnapLockCheck, 1);
    EXPECT_EQ(util_GetControl(dialog, kSnapLockCheck), 1);
    util_SetControl(dialog, kSnapLockCheck, 0);
    util_SetInt(dialog, kRotateText, -12);
    char text[1024];
    ASSERT_TRUE(util_GetText(dialog, kRotateText, text));
    EXPECT_STREQ(text, "-12");
    util_SetText(drawer_text, 572, "Grüße");
    ASSERT_TRUE(util_GetText(drawer_text, 572, text));
    EXPECT_STREQ(text, "Grüße");
    util_EnableControl(dialog, kDeleteButton, false);
    ControlRef del = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kDeleteButton, &del));
    EXPECT_FALSE(plat_IsControlEnabled(del));
    util_ShowControl(dialog, kEndCropButton, true);
    ControlRef end = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kEndCropButton, &end));
    EXPECT_TRUE(plat_IsControlVisible(end));
    util_ShowControl(dialog, kEndCropButton, false);
    EXPECT_FALSE(plat_IsControlVisible(end));
}

TEST_F(Interface, PopupItemsAreAddedRenamedAndFoundByExactText) {
    util_ClearMenu(dialog, kLayerPopup);
    char text[1024];
    EXPECT_EQ(util_GetMenuItem(dialog, kLayerPopup, text), 0) << "empty menu";
    EXPECT_EQ(util_SetMenuItem(dialog, kLayerPopup, 1, false, "Blue2"), noErr);
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kLayerPopup)), 1);
    // Item 1 again replaces the first item, as on a fresh menu with its placeholder.
    util_SetMenuItem(dialog, kLayerPopup, 1, false, "Blue2");
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kLayerPopup)), 1);
    util_SetMenuItem(dialog, kLayerPopup, 2, true, "Blue");
    util_SetMenuItem(dialog, kLayerPopup, 3, false, "Red");
    EXPECT_EQ(util_GetControl(dialog, kLayerPopup), 2);
    EXPECT_TRUE(util_SelectMenuByString(dialog, kLayerPopup, "Red"));
    EXPECT_EQ(util_GetControl(dialog, kLayerPopup), 3);
    EXPECT_TRUE(util_SelectMenuByString(dialog, kLayerPopup, "Blue"));
    EXPECT_EQ(util_GetControl(dialog, kLayerPopup), 2) << "Blue does not select Blue2";
    EXPECT_FALSE(util_SelectMenuByString(dialog, kLayerPopup, "Green"));
    EXPECT_EQ(util_GetMenuItem(dialog, kLayerPopup, text), 2);
    EXPECT_STREQ(text, "Blue");
    util_SetMenuItemText(dialog, kLayerPopup, 3, true, "Crimson");
    EXPECT_EQ(util_GetMenuItemByIndex(dialog, kLayerPopup, 3, text), 3);
    EXPECT_STREQ(text, "Crimson");
    EXPECT_EQ(util_GetControl(dialog, kLayerPopup), 3);
    EXPECT_EQ(util_GetMenuItemByIndex(dialog, kLayerPopup, 9, text), 0);
    util_DeleteMenuItem(dialog, kLayerPopup, 1);
    EXPECT_EQ(util_GetMenuItemByIndex(dialog, kLayerPopup, 1, text), 1);
    EXPECT_STREQ(text, "Blue");
}

TEST_F(Interface, LittleArrowsStepByTheirIncrement) {
    MakeBasePicture(100, 100);
    MakeLayer(1, 10, 10);
    currentLayer = 1;
    ControlRef arrows = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kRotateArrows, &arrows));
    ASSERT_NE(plat_GetControlAction(arrows), nullptr);
    util_SetControl(dialog, kRotateSlider, 30);
    int step = plat_GetControlIncrement(arrows);
    plat_GetControlAction(arrows)(arrows, kControlUpButtonPart);
    EXPECT_EQ(texImages[1].rotZ, 30 + step);
    plat_GetControlAction(arrows)(arrows, kControlUpButtonPart);
    EXPECT_EQ(texImages[1].rotZ, 30 + 2 * step);
    plat_GetControlAction(arrows)(arrows, kControlDownButtonPart);
    EXPECT_EQ(util_GetControl(dialog, kRotateSlider), 30 + step);
    plat_GetControlAction(arrows)(arrows, 0);
    EXPECT_EQ(texImages[1].rotZ, 30 + step);
}

TEST_F(Interface, DrawersOpenOneAtATime) {
    ToggleDrawers(drawer_text);
    EXPECT_TRUE(plat_IsDrawerOpen(drawer_text));
    ToggleDrawers(drawer_alpha);
    EXPECT_FALSE(plat_IsDrawerOpen(drawer_text));
    EXPECT_TRUE(plat_IsDrawerOpen(drawer_alpha));
    EXPECT_TRUE(plat_IsWindowVisible(drawer_alpha));
    ToggleDrawers(drawer_alpha);
    EXPECT_FALSE(plat_IsDrawerOpen(drawer_alpha));
    EXPECT_FALSE(plat_IsWindowVisible(drawer_alpha));
}

TEST_F(Interface, AnOpenDrawerHangsBelowTheToolsWindowAndFollowsIt) {
    ToggleDrawers(drawer_extras);
    Rect tools, drawer;
    plat_GetWindowBounds(dialog, &tools);
    plat_GetWindowBounds(drawer_extras, &drawer);
    EXPECT_EQ(drawer.left, tools.left);
    EXPECT_GE(drawer.top, tools.bottom);
    EXPECT_EQ(drawer.right - drawer.left, tools.right - tools.left);
    plat_MoveWindow(dialog, tools.left + 40, tools.top + 20);
    plat_ProcessEvents(50);
    Rect moved;
    plat_GetWindowBounds(drawer_extras, &moved);
    EXPECT_EQ(moved.left, drawer.left + 40);
    EXPECT_EQ(moved.top, drawer.top + 20);
    UpdateDialogPosition();
    ToggleDrawers(drawer_extras);
}

TEST_F(Interface, TabControlShowsOnePaneAndIgnoresTheShownTab) {
    ControlRef tab = nullptr, pane1 = nullptr, pane2 = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kTabControl, &tab));
    ASSERT_TRUE(plat_GetControlByID(dialog, kTabPane1, &pane1));
    ASSERT_TRUE(plat_GetControlByID(dialog, kTabPane2, &pane2));
    plat_SetControlValue(tab, 2);
    plat_ClickControl(tab);
    EXPECT_EQ(lastTabIndex, 2);
    EXPECT_FALSE(plat_IsControlVisible(pane1));
    EXPECT_TRUE(plat_IsControlVisible(pane2));
    // The shown tab again: nothing is switched, even if a pane was changed behind its back.
    util_ShowControl(dialog, kTabPane1, true);
    plat_ClickControl(tab);
    EXPECT_TRUE(plat_IsControlVisible(pane1));
    plat_SetControlValue(tab, 1);
    plat_ClickControl(tab);
    EXPECT_TRUE(plat_IsControlVisible(pane1));
    EXPECT_FALSE(plat_IsControlVisible(pane2));
    EXPECT_EQ(lastTabIndex, 1);
}

TEST_F(Interface, MoveButtonsFollowThePlaceInTheStack) {
    MakeBasePicture(100, 100);
    for (int s = 1; s <= 3; ++s) MakeLayer(s, 5, 5);
    ControlRef up = nullptr, down = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kUpButton, &up));
    ASSERT_TRUE(plat_GetControlByID(dialog, kDownButton, &down));
    currentLayer = 3;
    EnableSubLayerControls(true);
    EXPECT_FALSE(plat_IsControlEnabled(up));
    EXPECT_TRUE(plat_IsControlEnabled(down));
    currentLayer = 1;
    EnableSubLayerControls(true);
    EXPECT_TRUE(plat_IsControlEnabled(up));
    EXPECT_FALSE(plat_IsControlEnabled(down));
    EnableSubLayerControls(false);
    EXPECT_FALSE(plat_IsControlEnabled(up));
    for (int s = 4; s <= 98; ++s) MakeLayer(s, 1, 1);
    currentLayer = 98;
    EnableSubLayerControls(true);
    EXPECT_FALSE(plat_IsControlEnabled(up));
    EXPECT_TRUE(plat_IsControlEnabled(down));
}

TEST_F(Interface, MenuBarCarriesEveryGlobalCommand) {
    const char* codes[] = {"pwop", "pwip", "pwsa", "pwss", "pwex", "sFnt", "sOtc", "sThe",
                           "sPrv", "welp", "updt", "help", "faqs", "mweb", "mst1", "mth1"};
    for (const char* c : codes) EXPECT_TRUE(plat_FindMenuCommand(plat_CodeFromText(c), nullptr, nullptr)) << c;
    const char* project[] = {"pwop", "pwip", "pwsa", "pwss"};
    for (int i = 0; i < 4; ++i) {
        int menu = 0, item = 0;
        ASSERT_TRUE(plat_FindMenuCommand(plat_CodeFromText(project[i]), &menu, &item));
        EXPECT_EQ(menu, kMenuProject);
        EXPECT_EQ(item, i + 1);
    }
    const char* options[] = {"sThe", "sPrv", "sFnt"};
    for (int i = 0; i < 3; ++i) {
        int menu = 0, item = 0;
        ASSERT_TRUE(plat_FindMenuCommand(plat_CodeFromText(options[i]), &menu, &item));
        EXPECT_EQ(menu, kMenuOptions);
        EXPECT_EQ(item, i + 1);
    }
}

TEST_F(Interface, MenuShortcutsLeaveTheProgramsKeysAlone) {
    // Letters the key table uses with any modifier, and the Cmd keys it claims.
    const std::string taken = "ACFORLM";
    for (const std::string& s : plat_MenuShortcuts()) {
        std::string key = s.substr(s.rfind('+') + 1);
        EXPECT_FALSE(key.size() == 1 && taken.find(key[0]) != std::string::npos) << s;
        for (const char* claimed : {"Ctrl+S", "Ctrl+W", "Ctrl+T", "Ctrl+B", "Ctrl+D"}) EXPECT_NE(s, claimed);
        for (const char* k : {"Left", "Right", "Up", "Down", "Del", "Backspace", "PgUp", "PgDown", "Delete"})
            EXPECT_NE(key, k) << s;
    }
}

TEST_F(Interface, ProjectMenuItemsFollowTheEnableRules) {
    themeLoaded = true;
    EnableSubControls();
    EXPECT_TRUE(plat_IsMenuItemEnabled(kMenuProject, 2));
    EXPECT_FALSE(plat_IsMenuItemEnabled(kMenuProject, 3));
    MakeLayer(1, 4, 4);
    EnableSubControls();
    EXPECT_TRUE(plat_IsMenuItemEnabled(kMenuProject, 3));
    EXPECT_TRUE(plat_IsMenuItemEnabled(kMenuProject, 4));
    themeLoaded = false;
    EnableSubControls();
    EXPECT_FALSE(plat_IsMenuItemEnabled(kMenuProject, 2));
    EXPECT_FALSE(plat_IsMenuItemEnabled(kMenuProject, 4));
}

TEST_F(Interface, MessageBoxRecordsItsExactTextAndTitle) {
    {
        ScriptedModals answer(false);
        EXPECT_FALSE(util_MessageBox(true, "Invalid image format"));
        ASSERT_EQ(answer.requests.size(), 1u);
        EXPECT_EQ(answer.requests[0].kind, ModalKind::Alert);
        EXPECT_EQ(answer.requests[0].title, "Vintrel v2.2.0");
        EXPECT_EQ(answer.requests[0].message, "Invalid image format");
        EXPECT_EQ(answer.requests[0].okText, "OK");
        EXPECT_EQ(answer.requests[0].cancelText, "Cancel");
    }
    ScriptedModals ok(true);
    EXPECT_TRUE(util_MessageBox(false, "x"));
    EXPECT_TRUE(ok.requests[0].cancelText.empty());
    EXPECT_EQ(plat_ModalLog().back().message, "x");
}
