// Undo and redo of layer actions, driven as a person does: canvas drags, real sliders, commands
// and keys through the application handler. After undo the export and a saved project are those
// of the earlier state; redo gives the later one back.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QSlider>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "dispatch.h"
#include "drawer_filter.h"
#include "drawers.h"
#include "filter_catalogue.h"
#include "history.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "navigation.h"
#include "picture_files.h"
#include "snap_crop.h"
#include "theme_fixture.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

class Undo : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        dir = MakeTempDir("undo");
        MakeBasePicture(120, 80);
        // Layers from picture files, as dropped: the project embeds them.
        Layer("red.png", 30, 20, Qt::red);
        Layer("green.png", 16, 12, Qt::green);
        texImages[1].originX = texImages[1].posX = 10;
        texImages[1].originY = texImages[1].posY = 10;
        texImages[2].originX = texImages[2].posX = 40;
        texImages[2].originY = texImages[2].posY = 25;
        currentLayer = 1;
        HistoryClear();
        historyCheckSharing = true;   // every shared pixel copy is compared with the layer's bytes
        historySharingFaults = 0;
    }
    void TearDown() override {
        EXPECT_EQ(historySharingFaults, 0) << "a writer of layer pixels gave no new generation";
        historyCheckSharing = false;
        ResetProgramState();
    }

    std::string dir;
    int files = 0;

    void Layer(const char* name, int w, int h, Qt::GlobalColor c) {
        QImage img(w, h, QImage::Format_ARGB32);
        img.fill(c);
        for (int y = 0; y < h; ++y)   // right half blue: a crop or a stretched texture shows
            for (int x = w / 2; x < w; ++x) img.setPixelColor(x, y, QColor(0, 0, 255));
        std::string path = dir + "/" + name;
        ASSERT_TRUE(img.save(QString::fromStdString(path)));
        ASSERT_TRUE(LoadTexture(path.c_str(), -1, true, false));
    }

    void Send(WindowRef w, const char* code) {
        Event e;
        e.eventClass = kEventClassCommand;
        e.kind = kEventCommandProcess;
        e.window = w;
        e.command = OSType(code[0]) << 24 | OSType(code[1]) << 16 | OSType(code[2]) << 8 | OSType(code[3]);
        plat_DispatchEvent(e);
    }
    void Key(uint32_t code, uint32_t mods = 0) {
        Event e;
        e.eventClass = kEventClassKeyboard;
        e.kind = kEventRawKeyDown;
        e.window = window;
        e.keyCode = code;
        e.modifiers = mods;
        plat_DispatchEvent(e);
    }
    QImage Export() {
        std::string path = dir + "/e" + std::to_string(++files) + ".png";
        EXPECT_TRUE(SaveImage(path.c_str(), texImages[0].width, texImages[0].height, FourCC("PNGf")));
        return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32);
    }
    QByteArray Project() {
        std::string path = dir + "/p" + std::to_string(++files) + ".vntr";
        {
            ScriptedModals none(false);
            currProjectSaved = true;
            SaveProject(path.c_str());
            currProjectSaved = false;
            EXPECT_TRUE(none.requests.empty());
        }
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    // Runs an action that must become exactly one step named name, then checks the round trip.
    template <class F>
    void RoundTrip(const char* name, F action, bool visible = true) {
        SCOPED_TRACE(name);
        QImage before = Export();
        QByteArray beforeProject = Project();
        int steps = HistoryUndoCount();
        action();
        ASSERT_EQ(HistoryUndoCount(), steps + 1);
        EXPECT_EQ(plat_GetMenuBarItemText(kMenuEdit, 1), std::string("Undo ") + name);
        QImage after = Export();
        QByteArray afterProject = Project();
        Key(6, cmdKey);   // Ctrl+Z
        EXPECT_TRUE(Export() == before) << "undo gives the earlier composite";
        EXPECT_TRUE(Project() == beforeProject) << "and the earlier project";
        EXPECT_EQ(plat_GetMenuBarItemText(kMenuEdit, 2), std::string("Redo ") + name);
        Key(6, cmdKey | shiftKey);
        EXPECT_TRUE(Export() == after) << "redo gives the later composite";
        EXPECT_TRUE(Project() == afterProject);
        EXPECT_NE(beforeProject, afterProject) << "the action changed the stack";
        if (visible) {
            EXPECT_NE(before, after) << "the action changed the picture";
        }
    }
    void Drag(float x, float y, float dx, float dy) {
        CanvasMouse(kEventMouseDown, x, y);
        for (int i = 1; i <= 4; ++i) CanvasMouse(kEventMouseDragged, x + dx * i / 4, y + dy * i / 4);
        CanvasMouse(kEventMouseUp, x + dx, y + dy);
    }
};

}  // namespace

TEST_F(Undo, EachKindOfActionRoundTrips) {
    RoundTrip("Move", [&] { Drag(20, 15, 12, 8); });
    RoundTrip("Hue", [&] {
        ControlRef c = nullptr;
        ASSERT_TRUE(plat_GetControlByID(drawer_color, 600, &c));
        auto* slider = reinterpret_cast<QSlider*>(c);
        slider->setSliderDown(true);
        slider->setValue(40);
        slider->setValue(90);
        slider->setSliderDown(false);
    });
    RoundTrip("Crop", [&] {
        currentLayer = 2;
        Send(dialog, "p921");
        cropArea = Rect{int16_t(texImages[2].posY + 2), int16_t(texImages[2].posX + 3),
                        int16_t(texImages[2].posY + 9), int16_t(texImages[2].posX + 12)};
        Send(dialog, "p922");
    });
    RoundTrip("Move Layer Up", [&] {
        currentLayer = 1;
        Send(dialog, "p110");
    });
    RoundTrip("Gaussian Blur", [&] {   // the preview is no step, the confirmation is
        currentLayer = 2;
        EnableSubControls();
        for (int i = 0; i < kFilterCount; ++i)
            if (std::string(gFilter[i].title) == "Gaussian Blur") util_SetControl(drawer_filter, 567, i + 1);
        Send(drawer_filter, "p567");
        ControlRef c = nullptr;
        ASSERT_TRUE(plat_GetControlByID(drawer_filter, 569, &c));
        auto* slider = reinterpret_cast<QSlider*>(c);
        slider->setSliderDown(true);
        slider->setValue(slider->value() + 20);
        slider->setSliderDown(false);
        FlushFilterPreview();
        EXPECT_EQ(HistoryUndoCount(), 4);
        Send(drawer_filter, "p575");
    });
    // The copy lies exactly over its source: the composite stays, the stack does not.
    RoundTrip("Duplicate Layer", [&] { Send(dialog, "p151"); }, false);
    ASSERT_TRUE(IsValidLayer(3));
    Key(6, cmdKey);
    EXPECT_FALSE(IsValidLayer(3));
    Key(16, cmdKey);   // Ctrl+Y
    ASSERT_TRUE(IsValidLayer(3));
    RoundTrip("Delete Layer", [&] {   // the layer lies under its copy
        currentLayer = 2;
        Send(dialog, "p109");
    }, false);
    EXPECT_EQ(HistoryUndoCount(), 7);
}

TEST_F(Undo, NewActionDropsRedoAndMenuGreys) {
    EXPECT_EQ(plat_GetMenuBarItemText(kMenuEdit, 1), "Undo");
    EXPECT_FALSE(plat_IsMenuItemEnabled(kMenuEdit, 1));
    EXPECT_FALSE(plat_IsMenuItemEnabled(kMenuEdit, 2));
    Key(124);   // a run of nudges is one step
    Key(124);
    Key(124);
    EXPECT_EQ(HistoryUndoCount(), 1);
    EXPECT_EQ(texImages[1].originX, 13);
    EXPECT_TRUE(plat_IsMenuItemEnabled(kMenuEdit, 1));
    Send(nullptr, "undo");
    EXPECT_EQ(texImages[1].originX, 10);
    EXPECT_TRUE(plat_IsMenuItemEnabled(kMenuEdit, 2));
    EXPECT_EQ(plat_GetMenuBarItemText(kMenuEdit, 2), "Redo Move");
    Send(dialog, "p800");   // mirror: a new action
    EXPECT_FALSE(HistoryCanRedo());
    EXPECT_FALSE(plat_IsMenuItemEnabled(kMenuEdit, 2));
    EXPECT_EQ(plat_GetMenuBarItemText(kMenuEdit, 1), "Undo Mirror");
    Key(16, cmdKey);   // Ctrl+Y with nothing to redo changes nothing
    EXPECT_EQ(HistoryUndoCount(), 1);
    // A new picture starts a new history.
    DeleteTextures(0);
    EXPECT_FALSE(HistoryCanUndo());
    // So does closing the picture with Cmd-W, once its question is answered.
    MakeBasePicture(120, 80);
    Layer("red.png", 30, 20, Qt::red);
    Send(dialog, "p800");
    ASSERT_TRUE(HistoryCanUndo());
    {
        ScriptedModals yes(true);
        Key(13, cmdKey);
    }
    EXPECT_FALSE(HistoryCanUndo());
    EXPECT_EQ(HistoryKeptBytes(), 0u);
}

TEST_F(Undo, HistoryKeepsTheNewestHundredSteps) {
    for (int i = 0; i < 101; ++i) Send(dialog, "p800");
    EXPECT_EQ(HistoryUndoCount(), 100);
    for (int i = 0; i < 100; ++i) Key(6, cmdKey);
    EXPECT_FALSE(HistoryCanUndo());
    EXPECT_EQ(texImages[1].rotY, 180) << "the oldest mirror stays done";
    // The pixel budget drops the oldest steps too.
    size_t saved = historyPixelBudget;
    historyPixelBudget = 30 * 20 * 4 + 16 * 12 * 4 + 100;
    HistoryClear();
    Send(dialog, "p151");   // a duplicate adds a buffer beyond the budget
    EXPECT_FALSE(HistoryCanUndo());
    historyPixelBudget = saved;
}

// Crop and mask apply bake the layer's look into new pixels: the look is the same afterwards and
// stays so through undo and redo (which rebuild the texture from the record), the record's baked
// effects are neutral and the drawers show that.
TEST_F(Undo, BakingKeepsTheLookOnce) {
    auto worst = [](const QImage& a, const QImage& b, QRect r) {
        int most = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
                most = std::max({most, std::abs(p.red() - q.red()), std::abs(p.green() - q.green()),
                                  std::abs(p.blue() - q.blue())});
            }
        return most;
    };
    auto look = [&](int slot) {
        currentLayer = slot;
        HandleHue(120.0f);
        HandleLightness(-30.0f);
        HandleTransparency(0.6f);
    };
    look(1);
    QImage before = Export();
    Send(dialog, "p921");
    const TexImage& t = texImages[1];
    cropArea = Rect{int16_t(t.posY + 2), int16_t(t.posX + 3), int16_t(t.posY + 16), int16_t(t.posX + 26)};
    QRect inside(cropArea.left, cropArea.top, cropArea.right - cropArea.left, cropArea.bottom - cropArea.top);
    Send(dialog, "p922");
    QImage cropped = Export();
    EXPECT_LE(worst(before, cropped, inside), 3) << "the crop shows what was there";
    EXPECT_EQ(util_GetControl(drawer_color, 600), 0) << "hue baked";
    EXPECT_EQ(util_GetControl(drawer_color, 604), 0) << "lightness baked";
    EXPECT_EQ(util_GetControl(dialog, kOpacitySlider), 100) << "opacity baked";
    Key(6, cmdKey);
    Key(6, cmdKey | shiftKey);
    EXPECT_TRUE(Export() == cropped) << "redo of the crop shows it once";

    look(2);
    Send(drawer_alpha, "p302");
    before = Export();
    Send(drawer_alpha, "p205");
    QImage applied = Export();
    EXPECT_LE(worst(before, applied, applied.rect()), 3) << "the applied mask shows what was there";
    EXPECT_EQ(texImages[2].mask, 0);
    EXPECT_EQ(util_GetControl(drawer_color, 600), 0);
    Key(6, cmdKey);
    EXPECT_TRUE(Export() == before) << "undo gives the masked layer back";
    Key(6, cmdKey | shiftKey);
    EXPECT_TRUE(Export() == applied) << "redo of the mask shows it once";
}

// Moves share the one pixel copy of a 4000 x 3000 layer: memory stays flat over 1000 of them, and
// the newest 100 steps are kept while a run of nudges is still open.
TEST_F(Undo, MemoryStaysFlatOverAThousandMoves) {
    const size_t layer = size_t(4000) * 3000 * 4, small = 30 * 20 * 4 + 16 * 12 * 4;
    {
        std::vector<uint8_t> big(layer, 0x80);
        ASSERT_TRUE(NewTexture(-1, big.data(), 4000, 3000, "big"));
    }
    // Beside the picture: the redraws have nothing of it to draw.
    texImages[currentLayer].originX = texImages[currentLayer].posX = 5000;
    HistoryClear();
    historyCheckSharing = false;   // the comparison is what sharing by generation saves
    auto rss = [] {
        long pages = 0, resident = 0;
        FILE* f = fopen("/proc/self/statm", "r");
        if (f && fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        if (f) fclose(f);
        return size_t(resident) * size_t(sysconf(_SC_PAGESIZE));
    };
    size_t most = 0, start = 0;
    for (int i = 0; i < 1000; ++i) {
        Key(i % 2 ? 123 : 124);   // a nudge the other way each time: a step of its own
        most = std::max(most, HistoryKeptBytes());
        if (i == 0) start = rss();
    }
    EXPECT_EQ(HistoryUndoCount(), 100);
    EXPECT_EQ(most, layer + small) << "one copy of each buffer, shared by every step";
#if defined(__SANITIZE_ADDRESS__)
    (void)start;   // AddressSanitizer keeps freed memory resident in its quarantine
#else
    EXPECT_LT(rss(), start + (size_t(64) << 20)) << "resident memory stays flat";
#endif
}

// A project opened as a document (outside the event handler) starts a new history: neither the
// earlier steps nor its own loading can be undone.
TEST_F(Undo, OpeningAProjectStartsANewHistory) {
    ThemeFolder themes;
    {
        ScriptedModals quiet;
        InitValues();
    }
    Layer("red.png", 30, 20, Qt::red);
    Project();
    AEDocumentList project;
    project.items = {dir + "/p" + std::to_string(files) + ".vntr"};
    Send(dialog, "p800");
    ASSERT_TRUE(HistoryCanUndo());
    {
        ScriptedModals yes(true);   // the unsaved work is asked about
        EXPECT_EQ(HandleOdoc(&project), noErr);
    }
    EXPECT_TRUE(IsValidLayer(1));
    EXPECT_FALSE(HistoryCanUndo());
}

// A cropped text layer is its cropped picture: a project keeps the crop instead of rendering the
// text anew when it is opened.
TEST_F(Undo, ACroppedTextLayerReopensAsItsCrop) {
    ThemeFolder themes;
    {
        ScriptedModals quiet;
        InitValues();
    }
    ASSERT_TRUE(util_SelectMenuByString(drawer_text, 567, "DejaVu Sans"));
    util_SetText(drawer_text, 571, "40");
    util_SetText(drawer_text, 572, "Crop me");
    CreateText(false);
    int slot = currentLayer;
    ASSERT_TRUE(IsValidLayer(slot) && texImages[slot].isText);
    Send(dialog, "p921");
    const TexImage& t = texImages[slot];
    cropArea = Rect{int16_t(t.posY + 5), int16_t(t.posX + 10), int16_t(t.posY + 35), int16_t(t.posX + 70)};
    Send(dialog, "p922");
    ASSERT_EQ(texImages[slot].texWidth, 60);
    Project();
    std::string path = dir + "/p" + std::to_string(files) + ".vntr";
    {
        ScriptedModals yes(true);
        EXPECT_EQ(LoadProject(path.c_str(), true), noErr);
    }
    ASSERT_TRUE(IsValidLayer(1));
    EXPECT_EQ(texImages[1].texWidth, 60);
    EXPECT_EQ(texImages[1].texHeight, 30);
}
