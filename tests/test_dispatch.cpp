// Dispatch: command routing by code and window, the key table with its modifier rules, the
// next-handler rule, menu tracking and document events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "dispatch.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "platform_internal.h"
#include "preferences.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { EnsureProgramStarted(); }
    void TearDown() override { ResetProgramState(); }

    static int Key(uint32_t code, uint32_t mods = 0) {
        Event e;
        e.eventClass = kEventClassKeyboard;
        e.kind = kEventRawKeyDown;
        e.window = dialog;
        e.keyCode = code;
        e.modifiers = mods;
        return plat_DispatchEvent(e);
    }
    static int Command(WindowRef w, const char (&code)[5], int menuId = 0) {
        Event e;
        e.eventClass = kEventClassCommand;
        e.kind = kEventCommandProcess;
        e.window = w;
        e.command = FourCC(code);
        e.menuId = uint16_t(menuId);
        return plat_DispatchEvent(e);
    }
    static std::string Handler(WindowRef w, const char (&code)[5]) {
        const CommandRoute* r = FindCommandRoute(w, FourCC(code));
        return r ? r->handler : "";
    }
    // Three layers in slots 1..3 listed in the layer popup, the given one selected.
    static void ThreeLayers(int selected) {
        MakeBasePicture(200, 100);
        for (int s = 1; s <= 3; ++s) {
            MakeLayer(s, 10 * s, 10);
            util_SetMenuItem(dialog, kLayerPopup, s, s == selected, texImages[s].name);
        }
        currentLayer = selected;
    }
};

}  // namespace

TEST_F(Dispatch, GlobalCommandsReachTheirOperationFromAnyWindow) {
    for (WindowRef w : {static_cast<WindowRef>(nullptr), dialog, drawer_text, window}) {
        EXPECT_EQ(Handler(w, "pwop"), "LoadProject");
        EXPECT_EQ(Handler(w, "pwss"), "SaveProject");
        EXPECT_EQ(Handler(w, "pwex"), "ExplodeProject");
        EXPECT_EQ(Handler(w, "sOtc"), "OpenTheme");
        EXPECT_EQ(Handler(w, "updt"), "CheckVersionUpdate");
    }
}

TEST_F(Dispatch, TheWindowDecidesWhatACodeMeans) {
    EXPECT_EQ(Handler(drawer_text, "p567"), "GetFontSelection");
    EXPECT_EQ(Handler(drawer_filter, "p567"), "SetCurrentFilter");
    EXPECT_EQ(Handler(dialog, "p567"), "");
    EXPECT_EQ(Handler(drawer_extras, "p260"), "HandleFrame");
    EXPECT_EQ(Handler(drawer_extras, "p261"), "HandleFrame");
    EXPECT_EQ(Handler(drawer_extras, "p544"), "HandleLiveVideo");
    EXPECT_EQ(Handler(drawer_color, "p604"), "HandleLightness");
    EXPECT_EQ(Handler(drawer_color, "p117"), "");
    EXPECT_EQ(Handler(drawer_alpha, "p300"), "AlphaActivate");
    EXPECT_EQ(Handler(drawer_alpha, "p323"), "AlphaActivate");
    EXPECT_EQ(Handler(drawer_alpha, "p324"), "");
    EXPECT_EQ(Handler(drawer_text, "p573"), "CreateText");
    EXPECT_EQ(Handler(nullptr, "p100"), "");
}

TEST_F(Dispatch, ToolsWindowCommandsGoToDialogEvent) {
    const char* routed[] = {"p100", "p103", "p105", "p107", "p109", "p112", "p114", "p116", "p122", "p125",
                            "p150", "p151", "p192", "p280", "p288", "p290", "p291", "p301", "p556", "p561",
                            "p800", "p802", "p840", "p843", "p921", "p922", "pAll", "pPre", "p999"};
    for (const char* c : routed)
        EXPECT_NE(FindCommandRoute(dialog, plat_CodeFromText(c)), nullptr) << c;
    for (const char* c : {"p104", "p108", "p113", "p115", "p123", "p289", "p562"})
        EXPECT_EQ(FindCommandRoute(dialog, plat_CodeFromText(c)), nullptr) << c;
}

TEST_F(Dispatch, ARealButtonClickOpensItsDrawerOnlyAfterStartUp) {
    ControlRef text = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kTextButton, &text));
    bootComplete = false;
    plat_ClickControl(text);
    EXPECT_FALSE(plat_IsDrawerOpen(drawer_text)) << "Tools commands before start-up completes are dropped";
    bootComplete = true;
    plat_ClickControl(text);
    EXPECT_TRUE(plat_IsDrawerOpen(drawer_text));
}

TEST_F(Dispatch, NothingHappensWhenTheNextHandlerTookTheEvent) {
    plat_SetNextHandlerResult(noErr);
    EXPECT_EQ(Command(dialog, "p557"), noErr);
    EXPECT_FALSE(plat_IsDrawerOpen(drawer_text));
    int level = multisampleLevel;
    EXPECT_EQ(Key(0), noErr);
    EXPECT_EQ(multisampleLevel, level);
    plat_SetNextHandlerResult(eventNotHandledErr);
    EXPECT_EQ(Command(dialog, "p557"), eventNotHandledErr) << "answers not-handled after acting";
    EXPECT_TRUE(plat_IsDrawerOpen(drawer_text));
}

TEST_F(Dispatch, OptionCommandsToggleTheirSettingAndCheckMark) {
    int before = enableFontPreview;
    Command(nullptr, "sFnt", kMenuOptions);
    EXPECT_EQ(enableFontPreview, !before);
    EXPECT_EQ(plat_IsMenuItemChecked(kMenuOptions, kItemFontPreview), enableFontPreview != 0);
    Command(nullptr, "sFnt", kMenuOptions);
    EXPECT_EQ(enableFontPreview, before);
    int previews = previewEnabled;
    Command(nullptr, "sPrv", kMenuOptions);
    EXPECT_EQ(previewEnabled, !previews);
    EXPECT_EQ(plat_IsMenuItemChecked(kMenuOptions, kItemPreviews), previewEnabled != 0);
    Command(nullptr, "sPrv", kMenuOptions);
}

TEST_F(Dispatch, HelpCommandsOpenTheirPages) {
    ScriptedModals modals;
    Command(nullptr, "help");
    Command(nullptr, "faqs");
    Command(nullptr, "mth1");
    ASSERT_EQ(modals.requests.size(), 3u);
    EXPECT_EQ(modals.requests[0].kind, ModalKind::OpenURL);
    EXPECT_EQ(modals.requests[0].url, "file://" VINTREL_SOURCE_DIR "/resources/help/guide.html");
    EXPECT_EQ(modals.requests[1].url, "file://" VINTREL_SOURCE_DIR "/resources/help/faq.html");
    EXPECT_EQ(modals.requests[2].url, "file://" VINTREL_SOURCE_DIR "/resources/help/themes.html");
    // Every help page ships with the program.
    for (const char* page : {kQuickGuideURL, kFaqURL, kMakerURL, kAddOnsURL, kThemesURL}) {
        std::string path = std::string(VINTREL_SOURCE_DIR "/resources/") + page;
        EXPECT_TRUE(util_exists(path.c_str())) << page;
    }
}

TEST_F(Dispatch, MultisampleKeyTwiceRestoresTheLevel) {
    int level = multisampleLevel;
    Key(0);
    EXPECT_EQ(multisampleLevel, -level);
    if (multisampleSupported) {
        plat_MakeCurrent(glContext);
        EXPECT_EQ(glIsEnabled(GL_MULTISAMPLE_ARB) == GL_TRUE, multisampleLevel >= 0);
    }
    Key(0, cmdKey | shiftKey);   // any modifier
    EXPECT_EQ(multisampleLevel, level);
}

TEST_F(Dispatch, KeypadZoomStopsAtOneAndTwo) {
    MakeBasePicture(100, 50);
    for (int i = 0; i < 50; ++i) Key(69);
    EXPECT_FLOAT_EQ(scaleFactor, 2.0f);
    EXPECT_EQ(util_GetControl(dialog, kZoomSlider), 200);
    char text[1024];
    util_GetText(dialog, kZoomText, text);
    EXPECT_STREQ(text, "200%");
    Key(78);
    EXPECT_FLOAT_EQ(scaleFactor, float(2.0 - 0.03));
    for (int i = 0; i < 50; ++i) Key(78);
    EXPECT_FLOAT_EQ(scaleFactor, 1.0f);
}

TEST_F(Dispatch, CommandArrowsScaleBothAxesWithinLimits) {
    MakeBasePicture(100, 50);
    MakeLayer(1, 100, 40);
    currentLayer = 1;
    texImages[1].scaleX = 4.995f;
    texImages[1].scaleY = 1.0f;
    Key(126, cmdKey);
    EXPECT_FLOAT_EQ(texImages[1].scaleX, 5.0f);
    EXPECT_FLOAT_EQ(texImages[1].scaleY, 5.0f);
    EXPECT_EQ(texImages[1].width, 500);
    texImages[1].scaleX = 0.105f;
    Key(125, cmdKey);
    EXPECT_FLOAT_EQ(texImages[1].scaleX, 0.1f);
    EXPECT_FLOAT_EQ(texImages[1].scaleY, 0.1f);
    EXPECT_EQ(util_GetControl(dialog, kScaleYSlider), 10);
}

TEST_F(Dispatch, CommandLeftAndRightRotateByOneDegree) {
    MakeBasePicture(100, 50);
    MakeLayer(1, 10, 10);
    currentLayer = 1;
    Key(124, cmdKey);
    Key(124, cmdKey);
    Key(123, cmdKey);
    EXPECT_EQ(texImages[1].rotZ, 1);
    EXPECT_EQ(util_GetControl(dialog, kRotateSlider), 1);
    char text[1024];
    util_GetText(dialog, kRotateText, text);
    EXPECT_STREQ(text, "1");
    EXPECT_TRUE(toSave);
}

TEST_F(Dispatch, LayerKeysNeedAValidLayer) {
    MakeBasePicture(100, 50);
    MakeLayer(1, 10, 10);
    currentLayer = 0;
    Key(124, cmdKey);
    Key(126, cmdKey);
    Key(117);
    EXPECT_EQ(texImages[1].rotZ, 0);
    EXPECT_FLOAT_EQ(texImages[1].scaleX, 1.0f);
    EXPECT_NE(texImages[1].texture, 0u);
    EXPECT_FALSE(toSave);
}

TEST_F(Dispatch, StackKeysMoveTheLayer) {
    ThreeLayers(2);
    Key(126, optionKey);                  // Option-Up: toward the front
    EXPECT_EQ(currentLayer, 3);
    EXPECT_EQ(texImages[3].width, 20);
    Key(121);                             // Page Down
    EXPECT_EQ(currentLayer, 2);
    EXPECT_EQ(texImages[2].width, 20);
    Key(126, optionKey | cmdKey);         // Cmd wins: scale, not move
    EXPECT_EQ(currentLayer, 2);
    EXPECT_FLOAT_EQ(texImages[2].scaleX, 1.01f);
}

TEST_F(Dispatch, ForwardDeleteRemovesTheLayerAndSelectsTheOneBelow) {
    ThreeLayers(2);
    Key(117);
    EXPECT_EQ(currentLayer, 1);
    EXPECT_EQ(texImages[2].width, 30);
    EXPECT_EQ(texImages[3].texture, 0u);
    EXPECT_EQ(plat_CountMenuItems(util_GetMenu(dialog, kLayerPopup)), 2);
}

TEST_F(Dispatch, UnlistedKeysAreOnlyPrinted) {
    MakeBasePicture(100, 50);
    MakeLayer(1, 10, 10);
    currentLayer = 1;
    testing::internal::CaptureStdout();
    Key(4);      // H
    Key(127);
    Key(17);     // T without Cmd: nothing
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\nkey pressed 4"), std::string::npos);
    EXPECT_NE(out.find("\nkey pressed 127"), std::string::npos);
    EXPECT_EQ(out.find("key pressed 17"), std::string::npos);
    EXPECT_FALSE(toSave);
}

TEST_F(Dispatch, RealKeyPressesAreTranslatedButTextFieldsKeepTheirKeys) {
    auto* tools = static_cast<PlatWindow*>(dialog)->widget.data();
    int level = multisampleLevel;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(tools, &press);
    EXPECT_EQ(multisampleLevel, -level);
    QKeyEvent again(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, "A");
    QApplication::sendEvent(tools, &again);
    EXPECT_EQ(multisampleLevel, level);

    ControlRef field = nullptr;
    ASSERT_TRUE(plat_GetControlByID(drawer_text, 572, &field));
    auto* edit = reinterpret_cast<QLineEdit*>(field);
    edit->clear();
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(edit, &typed);
    EXPECT_EQ(multisampleLevel, level);
    EXPECT_EQ(edit->text(), "a");

    MakeBasePicture(100, 50);
    QKeyEvent plus(QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier, "+");
    QApplication::sendEvent(tools, &plus);
    EXPECT_FLOAT_EQ(scaleFactor, 1.03f);
}

TEST_F(Dispatch, MenuTrackingFollowsTheThreePopups) {
    Event e;
    e.eventClass = kEventClassMenu;
    e.kind = kEventMenuBeginTracking;
    e.menu = util_GetMenu(dialog, kPicturePopup);
    plat_DispatchEvent(e);
    EXPECT_EQ(currMenuID, kPicturePopup);
    e.kind = kEventMenuEndTracking;
    plat_DispatchEvent(e);
    EXPECT_EQ(currMenuID, 0);
    e.kind = kEventMenuBeginTracking;
    e.menu = util_GetMenu(dialog, kQualityPopup);
    plat_DispatchEvent(e);
    EXPECT_EQ(currMenuID, 0) << "other popups are not previewed";
    e.menu = util_GetMenu(dialog, kLayerPopup);
    plat_DispatchEvent(e);
    EXPECT_EQ(currMenuID, kLayerPopup);
    e.kind = kEventMenuEndTracking;
    plat_DispatchEvent(e);
}

TEST_F(Dispatch, OpenDocumentsTakesOnlyAnExistingFirstItem) {
    AEDocumentList none;
    EXPECT_EQ(HandleOdoc(&none), noErr);
    AEDocumentList missing;
    missing.items = {"/no/such/project.vntr", "/tmp"};
    EXPECT_EQ(HandleOdoc(&missing), fnfErr);
    std::string dir = MakeTempDir("odoc");
    std::string first = dir + "/a.vntr";
    FILE* f = fopen(first.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fclose(f);
    AEDocumentList three;
    three.items = {first, "/no/such/b.vntr", "/no/such/c.vntr"};
    EXPECT_EQ(HandleOdoc(&three), noErr);
    EXPECT_EQ(HandleOapp(&none), errAEEventNotHandled);
    EXPECT_EQ(HandleQuit(&none), errAEEventNotHandled);
    EXPECT_EQ(plat_AEGetEventHandler(FourCC("aevt"), FourCC("odoc")), &HandleOdoc);
}

TEST_F(Dispatch, TextInputIsPassedOn) {
    Event e;
    e.eventClass = kEventClassTextInput;
    e.kind = kEventTextInputUnicodeText;
    EXPECT_EQ(plat_DispatchEvent(e), eventNotHandledErr);
    plat_SetNextHandlerResult(noErr);
    EXPECT_EQ(plat_DispatchEvent(e), noErr);
}

TEST_F(Dispatch, CentreKeysClearTheAnchorsAndCheckboxKeysToggleTheDrawer) {
    MakeBasePicture(100, 50);
    MakeLayer(1, 10, 10);
    currentLayer = 1;
    centerimage = 286;
    Key(8);       // C: every anchor off, the layer centred, the anchor back to the centre
    for (int id = kAnchorFirst; id <= kAnchorLast; ++id) EXPECT_EQ(util_GetControl(dialog, id), 0) << id;
    EXPECT_EQ(centerimage, kAnchorCentre);
    EXPECT_EQ(texImages[1].posX, 45);
    EXPECT_EQ(texImages[1].posY, 20);
    currentLayer = 0;
    Key(31, cmdKey);   // O, any modifier; no layer: the anchor stays as the key set it
    EXPECT_EQ(centerimage, 0);
    currentLayer = 1;
    int shadow = util_GetControl(drawer_extras, kShadowCheck);
    Key(1);       // S without Cmd
    EXPECT_EQ(util_GetControl(drawer_extras, kShadowCheck), !shadow);
    int frame = util_GetControl(drawer_extras, kFrameCheck);
    Key(11);      // B without Cmd
    EXPECT_EQ(util_GetControl(drawer_extras, kFrameCheck), !frame);
    currentLayer = 0;
    Key(1);
    EXPECT_EQ(util_GetControl(drawer_extras, kShadowCheck), !shadow) << "needs a valid layer";
    centerimage = kAnchorCentre;
}

TEST_F(Dispatch, CommandWClosesThePictureButKeepsThePopups) {
    MakeBasePicture(100, 50);
    MakeLayer(1, 10, 10);
    themeLoaded = true;
    plat_SetWindowTitle(window, "header.jpg 100x50");
    Key(13);      // W without Cmd: nothing
    EXPECT_TRUE(themeLoaded);
    Key(13, cmdKey);
    EXPECT_FALSE(themeLoaded);
    EXPECT_EQ(texImages[1].texture, 0u);
    EXPECT_EQ(currentLayer, 0);
}

TEST_F(Dispatch, OpeningARealPopupIsTrackedUntilItCloses) {
    ControlRef popup = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kQualityPopup, &popup));
    ASSERT_TRUE(plat_GetControlByID(dialog, kLayerPopup, &popup));
    util_SetMenuItem(dialog, kLayerPopup, 1, true, "one");
    util_EnableControl(dialog, kLayerPopup, true);
    auto* combo = reinterpret_cast<QComboBox*>(popup);
    combo->showPopup();
    plat_ProcessEvents(50);
    EXPECT_EQ(currMenuID, kLayerPopup);
    combo->hidePopup();
    plat_ProcessEvents(50);
    EXPECT_EQ(currMenuID, 0);
}
