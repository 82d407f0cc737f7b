// The typical edit from start to finish, as a person does it: pick a theme and a picture, drop a
// picture onto the canvas, drag it, write the result into the theme, write again, restore.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <sys/stat.h>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "ids.h"
#include "layer_table.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

void Mouse(uint32_t kind, float x, float y) { CanvasMouse(kind, x, y); }

bool Exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

}  // namespace

TEST(FullEdit, PickDropDragWriteBackAndRestore) {
    EnsureProgramStarted();
    ThemeFolder themes;
    {
        ScriptedModals quiet;
        InitValues();
    }
    // Pick the second theme and its editable photo.
    util_SetControl(dialog, kThemePopup, 2);
    DialogEvent(FourCC("p100"));
    ASSERT_STREQ(currentTheme, "Beta");
    ASSERT_TRUE(util_SelectMenuByString(dialog, kPicturePopup, "Editable_Images/photo.jpg"));
    DialogEvent(FourCC("p101"));
    ASSERT_EQ(texImages[0].width, 90);
    ASSERT_EQ(texImages[0].fileType, FourCC("JPEG"));
    EXPECT_EQ(plat_GetWindowTitle(window), "Editable_Images/photo.jpg");
    EXPECT_FALSE(kickStart);

    std::string picture = themes.root + "Beta.pagewrighttheme/Contents/Images/Editable_Images/photo.jpg";
    std::string backup = themes.root + "Beta.pagewrighttheme/Contents/Images/Originals/Editable_Images/photo.jpg";
    std::string original = themes.Bytes(picture);

    // Drop a yellow 20 x 10 picture: centred by the anchor at (35, 25).
    std::string drop = MakeTempDir("drop") + "/sticker.png";
    QImage sticker(20, 10, QImage::Format_ARGB32);
    sticker.fill(QColor(255, 255, 0));
    ASSERT_TRUE(sticker.save(QString::fromStdString(drop)));
    plat_SimulateDrop(window, {drop}, 40, 30);
    ASSERT_EQ(currentLayer, 1);
    EXPECT_EQ(texImages[1].posX, 35);
    EXPECT_TRUE(toSave);

    // Drag it 20 pixels left and 15 up: it ends at the top-left area.
    Mouse(kEventMouseDown, 45, 30);
    Mouse(kEventMouseDragged, 35, 22);
    Mouse(kEventMouseDragged, 25, 15);
    Mouse(kEventMouseUp, 25, 15);
    ASSERT_EQ(texImages[1].posX, 15);
    ASSERT_EQ(texImages[1].posY, 10);

    // Write it into the theme.
    {
        ScriptedModals noMessages;
        DialogEvent(FourCC("p105"));
        EXPECT_TRUE(noMessages.requests.empty());
    }
    EXPECT_FALSE(toSave);
    ASSERT_TRUE(Exists(backup));
    EXPECT_EQ(themes.Bytes(backup), original);
    QImage written(QString::fromStdString(picture));
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), QSize(90, 60));
    EXPECT_EQ(QString::fromLatin1(QImageReader(QString::fromStdString(picture)).format()), "jpeg");
    QColor inside = written.pixelColor(25, 15), outside = written.pixelColor(70, 45);
    EXPECT_GT(inside.green(), 200);
    EXPECT_LT(inside.blue(), 60);
    EXPECT_GT(outside.red(), 170);
    EXPECT_LT(outside.green(), 70);
    ControlRef restore = nullptr;
    ASSERT_TRUE(plat_GetControlByID(dialog, kRestoreButton, &restore));
    EXPECT_TRUE(plat_IsControlEnabled(restore));

    // A second write leaves the backup as it was; the restore brings back the original bytes.
    texImages[1].posX += 30;
    DialogEvent(FourCC("p105"));
    EXPECT_EQ(themes.Bytes(backup), original);
    DialogEvent(FourCC("p103"));
    EXPECT_EQ(themes.Bytes(picture), original);
    EXPECT_FALSE(Exists(backup));
    EXPECT_EQ(texImages[1].texture, 0u) << "the restored picture is loaded alone";
    EXPECT_EQ(texImages[0].width, 90);

    ResetProgramState();
    ScriptedModals quiet;
    InitValues();
}
