// Canvas: picking layers, dragging and rotating them, the wheel, and files dropped from a file
// manager, through real event records and real drop events.
#include <gtest/gtest.h>

#include <QImage>

#include <sys/stat.h>
#include <unistd.h>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "navigation.h"
#include "snap_crop.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        dir = MakeTempDir("canvas");
    }
    void TearDown() override {
        ResetProgramState();
        scaleLocked = 1;
        util_SetControl(dialog, kAspectLockCheck, 1);
        util_SetControl(dialog, kSnapLockCheck, 0);
        snapActive = 1;
    }
    std::string dir;

    std::string Picture(const char* name, int w, int h, QColor c = QColor(255, 0, 0)) {
        QImage img(w, h, QImage::Format_ARGB32);
        img.fill(c);
        std::string path = dir + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path)));
        return path;
    }
    static void Mouse(uint32_t kind, float x, float y, uint32_t mods = 0, uint16_t button = kMouseButtonPrimary,
                      int wheel = 0) {
        CanvasMouse(kind, x, y, mods, button, wheel);
    }
    // A layer of w x h at (x, y) in picture pixels.
    void LayerAt(int slot, int x, int y, int w, int h) {
        MakeLayer(slot, w, h);
        TexImage& t = texImages[slot];
        t.posX = t.originX = x;
        t.posY = t.originY = y;
        util_SetMenuItem(dialog, kLayerPopup, slot, false, t.name);
    }
};

}  // namespace

TEST_F(Canvas, ClickPicksTheFrontMostLayerInsideItsStrictEdges) {
    MakeBasePicture(200, 100);
    LayerAt(1, 10, 10, 50, 50);
    LayerAt(2, 40, 20, 50, 50);
    currentLayer = 0;
    Mouse(kEventMouseDown, 45, 30);
    Mouse(kEventMouseUp, 45, 30);
    EXPECT_EQ(currentLayer, 2) << "the higher slot is in front";
    EXPECT_EQ(util_GetControl(dialog, kLayerPopup), 2);
    Mouse(kEventMouseDown, 20, 30);
    Mouse(kEventMouseUp, 20, 30);
    EXPECT_EQ(currentLayer, 1);
    Mouse(kEventMouseDown, 10, 30);   // exactly on the left edge
    Mouse(kEventMouseUp, 10, 30);
    EXPECT_EQ(currentLayer, 1) << "a click on an edge or on empty canvas keeps the selection";
    Mouse(kEventMouseDown, 150, 90);
    Mouse(kEventMouseUp, 150, 90);
    EXPECT_EQ(currentLayer, 1);
    EXPECT_EQ(plat_GetWindowTitle(window), "layer1 50x50");
}

TEST_F(Canvas, PickingFollowsTheZoom) {
    MakeBasePicture(200, 100);
    LayerAt(1, 40, 40, 20, 20);
    currentLayer = 0;
    scaleFactor = 2.0f;
    Mouse(kEventMouseDown, 100, 100);   // picture point (50, 50)
    Mouse(kEventMouseUp, 100, 100);
    EXPECT_EQ(currentLayer, 1);
    currentLayer = 0;
    Mouse(kEventMouseDown, 50, 50);     // picture point (25, 25): outside
    Mouse(kEventMouseUp, 50, 50);
    EXPECT_EQ(currentLayer, 0);
    scaleFactor = 1.0f;
}

TEST_F(Canvas, ClicksDoNotPickWhileCropping) {
    MakeBasePicture(200, 100);
    LayerAt(1, 10, 10, 50, 50);
    LayerAt(2, 100, 10, 50, 50);
    currentLayer = 1;
    cropActive = true;
    Mouse(kEventMouseDown, 120, 30);
    Mouse(kEventMouseUp, 120, 30);
    EXPECT_EQ(currentLayer, 1);
    cropActive = false;
}

TEST_F(Canvas, DragMovesAndCommandDragRotates) {
    MakeBasePicture(200, 100);
    LayerAt(1, 10, 10, 50, 50);
    Mouse(kEventMouseDown, 20, 20);
    Mouse(kEventMouseDragged, 25, 22);
    Mouse(kEventMouseDragged, 35, 24);
    Mouse(kEventMouseUp, 35, 24);
    EXPECT_EQ(texImages[1].originX, 25);
    EXPECT_EQ(texImages[1].originY, 14);
    EXPECT_EQ(currMouse, 0);
    Mouse(kEventMouseDown, 40, 30, cmdKey);
    Mouse(kEventMouseDragged, 47, 80, cmdKey);
    Mouse(kEventMouseUp, 47, 80, cmdKey);
    EXPECT_EQ(texImages[1].rotZ, 7) << "one degree per pixel of horizontal movement";
    EXPECT_EQ(texImages[1].originX, 25);
    Mouse(kEventMouseDown, 40, 30, cmdKey | shiftKey);
    Mouse(kEventMouseDragged, 44, 30, cmdKey | shiftKey);
    Mouse(kEventMouseUp, 44, 30);
    EXPECT_EQ(texImages[1].rotZ, 7) << "Cmd with Shift moves";
    EXPECT_EQ(texImages[1].originX, 29);
    Mouse(kEventMouseDragged, 80, 80);   // no button held: nothing
    EXPECT_EQ(texImages[1].originX, 29);
}

TEST_F(Canvas, OptionClickTurnsSnapLockOnForTheGesture) {
    MakeBasePicture(200, 100);
    LayerAt(1, 10, 10, 50, 50);
    util_SetControl(dialog, kSnapLockCheck, 0);
    Mouse(kEventMouseDown, 20, 20, optionKey);
    EXPECT_TRUE(snapLockEnabled);
    Mouse(kEventMouseUp, 20, 20);
    Mouse(kEventMouseDown, 20, 20, optionKey | shiftKey);
    EXPECT_FALSE(snapLockEnabled);
    Mouse(kEventMouseUp, 20, 20);
    util_SetControl(dialog, kSnapLockCheck, 1);
    Mouse(kEventMouseDown, 20, 20);
    EXPECT_TRUE(snapLockEnabled);
    Mouse(kEventMouseUp, 20, 20);
}

TEST_F(Canvas, CommandWheelScalesUniformlyAndLocksTheAspect) {
    MakeBasePicture(200, 100);
    LayerAt(1, 10, 10, 50, 40);
    currentLayer = 1;
    scaleLocked = 0;
    util_SetControl(dialog, kAspectLockCheck, 0);
    texImages[1].scaleY = 2.0f;
    Mouse(kEventMouseWheelMoved, 20, 20, cmdKey, 0, -10);
    EXPECT_FLOAT_EQ(texImages[1].scaleX, 1.1f);
    EXPECT_FLOAT_EQ(texImages[1].scaleY, 1.1f);
    EXPECT_EQ(scaleLocked, 1);
    EXPECT_EQ(util_GetControl(dialog, kAspectLockCheck), 1);
    Mouse(kEventMouseWheelMoved, 20, 20, 0, 0, -10);   // without Cmd: nothing
    EXPECT_FLOAT_EQ(texImages[1].scaleX, 1.1f);
    Mouse(kEventMouseWheelMoved, 20, 20, cmdKey, 0, 1000);
    EXPECT_FLOAT_EQ(texImages[1].scaleX, 0.1f);
}

TEST_F(Canvas, DroppedPicturesBecomeConsecutiveLayers) {
    MakeBasePicture(200, 100);
    std::vector<std::string> files = {Picture("a.png", 20, 10), Picture("b.png", 30, 10), Picture("c.png", 40, 10)};
    plat_SimulateDrop(window, files, 50, 50);
    EXPECT_NE(texImages[1].texture, 0u);
    EXPECT_NE(texImages[3].texture, 0u);
    EXPECT_EQ(texImages[4].texture, 0u);
    EXPECT_EQ(currentLayer, 3);
    EXPECT_EQ(texImages[3].width, 40);
    EXPECT_EQ(texImages[3].posX, 80) << "aligned by the centre anchor";
    EXPECT_TRUE(toSave);
    char item[1024];
    util_GetMenuItemByIndex(dialog, kLayerPopup, 2, item);
    EXPECT_STREQ(item, "b.png");
}

TEST_F(Canvas, DropWithoutSnappingCentresTheLayerUnderTheMouse) {
    MakeBasePicture(200, 100);
    snapActive = 0;
    plat_SimulateDrop(window, {Picture("a.png", 20, 10)}, 70, 40);
    EXPECT_EQ(texImages[1].posX, 60);
    EXPECT_EQ(texImages[1].posY, 35);
    EXPECT_EQ(texImages[1].originX, 60);
}

TEST_F(Canvas, BadDropsAreReportedAndTheRestStillLoads) {
    MakeBasePicture(200, 100);
    std::string text = dir + "/notes.txt";
    FILE* f = fopen(text.c_str(), "w");
    fputs("hello", f);
    fclose(f);
    ScriptedModals modals;
    plat_SimulateDrop(window, {text, Picture("ok.png", 10, 10)}, 50, 50);
    ASSERT_EQ(modals.requests.size(), 1u);
    EXPECT_EQ(modals.requests[0].message, "Invalid image format");
    EXPECT_NE(texImages[1].texture, 0u);
    for (int s = 2; s <= 98; ++s) MakeLayer(s, 1, 1);
    plat_SimulateDrop(window, {Picture("full.png", 10, 10)}, 50, 50);
    EXPECT_EQ(modals.requests.size(), 2u) << "a full table is reported the same way";
}

TEST_F(Canvas, DropsAreIgnoredWhileTheStartPictureShows) {
    MakeBasePicture(200, 100);
    kickStart = true;
    ScriptedModals modals;
    plat_SimulateDrop(window, {Picture("a.png", 20, 10)}, 50, 50);
    EXPECT_EQ(texImages[1].texture, 0u);
    EXPECT_TRUE(modals.requests.empty());
    EXPECT_FALSE(toSave);
}

TEST_F(Canvas, TheToolsWindowFollowsTheCanvas) {
    MakeBasePicture(300, 200);
    UpdateContext();
    Rect canvas, tools;
    plat_GetWindowBounds(window, &canvas);
    plat_MoveWindow(window, canvas.left + 30, canvas.top + 20);
    plat_ProcessEvents(50);
    plat_GetWindowBounds(window, &canvas);
    plat_GetWindowBounds(dialog, &tools);
    EXPECT_EQ(tools.right, canvas.left - 3);
    EXPECT_EQ(tools.top, canvas.top - 10);
}

TEST_F(Canvas, ADroppedProjectAddsItsLayers) {
    MakeBasePicture(200, 100);
    themeLoaded = true;
    plat_SimulateDrop(window, {Picture("a.png", 20, 10), Picture("b.png", 30, 10)}, 50, 50);
    ASSERT_NE(texImages[2].texture, 0u);
    std::string folder = dir + "/in.vntr.d";   // ".vntr" anywhere in the path marks a project
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::string project = folder + "/mine.project";
    plat_SetModalScript([project](const ModalRequest&) {
        ModalAnswer a;
        a.path = project;
        return a;
    });
    SaveProject(nullptr);
    InstallDefaultModalScript();
    ASSERT_EQ(access(project.c_str(), R_OK), 0);
    DeleteTextures(1);
    plat_SimulateDrop(window, {project}, 50, 50);
    EXPECT_NE(texImages[1].texture, 0u);
    EXPECT_NE(texImages[2].texture, 0u);
    EXPECT_EQ(texImages[2].width, 30);
    EXPECT_EQ(texImages[3].texture, 0u);
}
