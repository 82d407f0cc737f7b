// Writing the composite back into a theme picture and restoring it: a real theme bundle in a
// temporary folder with JPEG and PNG pictures, the base and a layer loaded as the program loads
// them, then Save and UndoMain checked on the files they leave (format by content, size, pixels,
// backup place and bytes), and the failure paths (blocked backup folder, planted links, names that
// climb out of the bundle, a write that fails).
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app_fixture.h"
#include "app_state.h"
#include "compositor.h"
#include "fault_fixture.h"
#include "ids.h"
#include "layer_table.h"
#include "platform_codecs.h"
#include "textures.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"
#include "write_back.h"

namespace {

const QColor kBaseColour(40, 90, 200);
const QColor kLayerColour(230, 20, 20);
const char kWriteFailed[] = "Unable to write the picture into the theme";

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool IsLink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool IsJpeg(const std::string& bytes) { return bytes.compare(0, 3, "\xFF\xD8\xFF") == 0; }
bool IsPng(const std::string& bytes) { return bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0; }

// Each channel within tolerance (JPEG blurs a little even on flat colour).
::testing::AssertionResult Near(QColor got, QColor want, int tolerance) {
    if (std::abs(got.red() - want.red()) <= tolerance && std::abs(got.green() - want.green()) <= tolerance &&
        std::abs(got.blue() - want.blue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.red() << "," << got.green() << "," << got.blue()
                                         << ") want (" << want.red() << "," << want.green() << ","
                                         << want.blue() << ")";
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// A theme "Blue" in a fresh theme folder, made current for the test; the program's theme state,
// picture popup, anchor and restore control are put back afterwards.
class WriteBack : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        snprintf(savedFolder, sizeof savedFolder, "%s", themeFolder);
        snprintf(savedTheme, sizeof savedTheme, "%s", currentTheme);
        snprintf(savedExt, sizeof savedExt, "%s", THEME_EXT);
        snprintf(savedPicture, sizeof savedPicture, "%s", currentPicture);
        savedAll = allThemes;
        savedAnchor = centerimage;
        savedThemeLoaded = themeLoaded;
        themeLoaded = true;   // each test's picture stands for a theme picture picked in the popups
        MenuRef menu = util_GetMenu(dialog, kPicturePopup);
        for (int i = 1, n = plat_CountMenuItems(menu); i <= n; ++i) {
            char text[1024] = "";
            util_GetMenuItemByIndex(dialog, kPicturePopup, i, text);
            savedItems.push_back(text);
        }
        savedSelection = util_GetControl(dialog, kPicturePopup);
        savedRestoreEnabled = RestoreEnabled();

        root = MakeTempDir("writeback");
        ASSERT_FALSE(root.empty());
        snprintf(themeFolder, sizeof themeFolder, "%s/themes/", root.c_str());
        snprintf(THEME_EXT, sizeof THEME_EXT, "%s", ".pwtheme");
        snprintf(currentTheme, sizeof currentTheme, "%s", "Blue");
        images = std::string(themeFolder) + "Blue.pwtheme/Contents/Images/";
        ASSERT_EQ(system(("mkdir -p '" + images + "Editable_Images'").c_str()), 0);
        centerimage = kAnchorCentre;
    }

    void TearDown() override {
        ResetProgramState();
        snprintf(themeFolder, sizeof themeFolder, "%s", savedFolder);
        snprintf(currentTheme, sizeof currentTheme, "%s", savedTheme);
        snprintf(THEME_EXT, sizeof THEME_EXT, "%s", savedExt);
        snprintf(currentPicture, sizeof currentPicture, "%s", savedPicture);
        allThemes = savedAll;
        centerimage = savedAnchor;
        themeLoaded = savedThemeLoaded;
        util_ClearMenu(dialog, kPicturePopup);
        for (size_t i = 0; i < savedItems.size(); ++i)
            util_SetMenuItem(dialog, kPicturePopup, int(i + 1), int(i + 1) == savedSelection, savedItems[i].c_str());
        util_EnableControl(dialog, kRestoreButton, savedRestoreEnabled);
    }

    bool RestoreEnabled() {
        ControlRef c = nullptr;
        return util_GetControlRef(dialog, kRestoreButton, &c) && plat_IsControlEnabled(c);
    }

    // A flat-coloured picture of w x h written by Qt in format ("JPEG" or "PNG") at path.
    std::string MakePicture(const std::string& path, const char* format, int w = 64, int h = 48) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(kBaseColour);
        EXPECT_TRUE(img.save(QString::fromStdString(path), format, 95)) << path;
        return ReadBytes(path);
    }

    // A 300 x 300 PNG of noise (some 350 KiB, it does not compress) at path; returns its bytes.
    std::string MakeNoisePng(const std::string& path) {
        QImage noise(300, 300, QImage::Format_RGB32);
        uint32_t x = 99;
        for (int y = 0; y < 300; ++y)
            for (int i = 0; i < 300; ++i) noise.setPixel(i, y, (x = x * 1103515245u + 12345u) | 0xff000000u);
        EXPECT_TRUE(noise.save(QString::fromStdString(path), "PNG"));
        return ReadBytes(path);
    }

    // Makes name the current picture in the mode, as the picture popup would: its only item.
    void Pick(int mode, const char* name) {
        allThemes = mode;
        snprintf(currentPicture, sizeof currentPicture, "%s", name);
        util_ClearMenu(dialog, kPicturePopup);
        util_SetMenuItem(dialog, kPicturePopup, 1, true, name);
    }

    // Loads the picture as the base and a 16 x 12 layer in kLayerColour, anchored as chosen, and
    // marks the work unsaved as an edit would.
    void LoadBaseAndLayer(const std::string& picture, int anchor = kAnchorCentre) {
        ASSERT_TRUE(LoadTexture(picture.c_str(), -1, true, false));
        QImage layer(16, 12, QImage::Format_RGB32);
        layer.fill(kLayerColour);
        std::string layerPath = root + "/layer.png";
        ASSERT_TRUE(layer.save(QString::fromStdString(layerPath)));
        ASSERT_TRUE(LoadTexture(layerPath.c_str(), -1, true, false));
        ASSERT_EQ(currentLayer, 1);
        centerimage = anchor;
        PositionImage();
        toSave = true;
    }

    std::vector<std::string> Messages() {
        std::vector<std::string> texts;
        for (const ModalRequest& r : modals.requests) texts.push_back(r.message);
        return texts;
    }

    ScriptedModals modals{true};
    std::string root, images;
    char savedFolder[1024], savedTheme[1024], savedExt[256], savedPicture[1024];
    int savedAll = 1, savedAnchor = kAnchorCentre, savedSelection = 0;
    bool savedRestoreEnabled = false, savedThemeLoaded = false;
    std::vector<std::string> savedItems;
};

using WriteBackFailures = WriteBack;

}  // namespace

// Editable-only mode, x.jpg: written as JPEG with the layer at the base's size, backed up once in
// Originals/Editable_Images, restored to the original bytes, and a second restore changes nothing.
TEST_F(WriteBack, JpegPictureIsWrittenBackedUpOnceAndRestored) {
    std::string picture = images + "Editable_Images/x.jpg";
    std::string backup = images + "Originals/Editable_Images/x.jpg";
    std::string original = MakePicture(picture, "JPEG");
    Pick(0, "x.jpg");
    LoadBaseAndLayer(picture);
    util_EnableControl(dialog, kRestoreButton, false);

    Save();
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(toSave);
    EXPECT_TRUE(RestoreEnabled());
    std::string written = ReadBytes(picture);
    EXPECT_TRUE(IsJpeg(written));
    EXPECT_NE(written, original);
    QImage out;
    ASSERT_TRUE(out.loadFromData(reinterpret_cast<const uchar*>(written.data()), int(written.size())));
    EXPECT_EQ(out.size(), QSize(64, 48));
    // Centre anchor: the layer covers x 24..39, y 18..29.
    EXPECT_TRUE(Near(out.pixelColor(31, 23), kLayerColour, 16));
    EXPECT_TRUE(Near(out.pixelColor(4, 4), kBaseColour, 16));
    EXPECT_TRUE(Near(out.pixelColor(60, 44), kBaseColour, 16));
    EXPECT_EQ(ReadBytes(backup), original);
    EXPECT_EQ(Entries(images + "Originals/Editable_Images"), std::vector<std::string>{"x.jpg"})
        << "no temporary file is left beside the backup";
    EXPECT_NE(texImages[1].texture, 0u) << "the layers stay on the canvas";

    // A second write-back, with the layer moved to the top-left corner, keeps the first backup.
    centerimage = kAnchorFirst;
    PositionImage();
    toSave = true;
    Save();
    EXPECT_FALSE(toSave);
    ASSERT_TRUE(out.load(QString::fromStdString(picture)));
    EXPECT_TRUE(Near(out.pixelColor(4, 4), kLayerColour, 16));
    EXPECT_EQ(ReadBytes(backup), original);

    toSave = true;
    UndoMain();
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_FALSE(Exists(backup));
    EXPECT_FALSE(toSave);
    EXPECT_STREQ(currentPicture, "x.jpg");
    EXPECT_NE(texImages[0].texture, 0u) << "the restored picture is the new base";
    EXPECT_EQ(texImages[0].width, 64);
    EXPECT_EQ(texImages[0].fileType, FourCC("JPEG"));
    EXPECT_EQ(texImages[1].texture, 0u) << "the layers are discarded";

    // No backup any more: a second restore leaves the picture, the canvas and the flag alone.
    GLuint base = texImages[0].texture;
    toSave = true;
    UndoMain();
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_EQ(texImages[0].texture, base);
    EXPECT_TRUE(toSave);
    EXPECT_TRUE(Messages().empty());
}

// All-pictures mode, a.png directly in the images folder: PNG stays PNG, backup in Originals.
TEST_F(WriteBack, PngPictureInTheImagesFolderIsBackedUpDirectlyInOriginals) {
    std::string picture = images + "a.png";
    std::string original = MakePicture(picture, "PNG", 40, 30);
    Pick(1, "a.png");
    LoadBaseAndLayer(picture, kAnchorLast);

    Save();
    EXPECT_TRUE(Messages().empty());
    std::string written = ReadBytes(picture);
    EXPECT_TRUE(IsPng(written));
    QImage out;
    ASSERT_TRUE(out.loadFromData(reinterpret_cast<const uchar*>(written.data()), int(written.size())));
    EXPECT_EQ(out.size(), QSize(40, 30));
    // Bottom-right anchor: the layer covers x 24..39, y 18..29; PNG is exact.
    EXPECT_EQ(out.pixelColor(39, 29).rgb(), kLayerColour.rgb());
    EXPECT_EQ(out.pixelColor(24, 18).rgb(), kLayerColour.rgb());
    EXPECT_EQ(out.pixelColor(23, 17).rgb(), kBaseColour.rgb());
    EXPECT_EQ(out.pixelColor(0, 0).rgb(), kBaseColour.rgb());
    EXPECT_EQ(ReadBytes(images + "Originals/a.png"), original);
    EXPECT_EQ(Entries(images + "Originals"), std::vector<std::string>{"a.png"});

    UndoMain();
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_FALSE(Exists(images + "Originals/a.png"));
}

// An editable picture has one backup whichever mode names it.
TEST_F(WriteBack, BothModesReachTheSameBackupOfAnEditablePicture) {
    std::string picture = images + "Editable_Images/x.jpg";
    std::string backup = images + "Originals/Editable_Images/x.jpg";
    std::string original = MakePicture(picture, "JPEG");
    Pick(0, "x.jpg");
    LoadBaseAndLayer(picture);
    Save();
    ASSERT_EQ(ReadBytes(backup), original);
    std::string firstWrite = ReadBytes(picture);

    DeleteTextures(0);
    Pick(1, "Editable_Images/x.jpg");
    LoadBaseAndLayer(picture, kAnchorFirst);
    Save();
    EXPECT_TRUE(Messages().empty());
    EXPECT_NE(ReadBytes(picture), firstWrite) << "the picture was written again";
    EXPECT_EQ(ReadBytes(backup), original) << "the backup of the first write-back is kept";
    EXPECT_FALSE(Exists(images + "Originals/x.jpg"));

    UndoMain();
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_FALSE(Exists(backup));
}

TEST_F(WriteBack, OnlyTheBasePictureWritesNothing) {
    std::string picture = images + "Editable_Images/x.jpg";
    std::string original = MakePicture(picture, "JPEG");
    Pick(0, "x.jpg");
    ASSERT_TRUE(LoadTexture(picture.c_str(), -1, true, false));
    util_EnableControl(dialog, kRestoreButton, false);
    toSave = true;

    Save();
    EXPECT_FALSE(RestoreEnabled());
    EXPECT_FALSE(Exists(images + "Originals"));
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_TRUE(toSave);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(WriteBackFailures, BackupFolderThatCannotBeCreatedStopsTheWrite) {
    std::string picture = images + "Editable_Images/x.jpg";
    std::string original = MakePicture(picture, "JPEG");
    Pick(0, "x.jpg");
    LoadBaseAndLayer(picture);

    // A file where "Originals" should be.
    { std::ofstream(images + "Originals") << "not a folder"; }
    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Unable to create backup folder"});
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_TRUE(toSave);
    EXPECT_TRUE(RestoreEnabled());

    // "Originals" fine, but a file where its "Editable_Images" subfolder should be.
    ASSERT_EQ(unlink((images + "Originals").c_str()), 0);
    ASSERT_EQ(mkdir((images + "Originals").c_str(), 0777), 0);
    { std::ofstream(images + "Originals/Editable_Images") << "not a folder"; }
    modals.requests.clear();
    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Unable to create backup folder"});
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_TRUE(toSave);

    // "Originals" a link to a folder outside the bundle: nothing lands there.
    std::string outside = root + "/elsewhere";
    ASSERT_EQ(mkdir(outside.c_str(), 0777), 0);
    ASSERT_EQ(system(("rm -rf '" + images + "Originals'").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (images + "Originals").c_str()), 0);
    modals.requests.clear();
    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Unable to create backup folder"});
    EXPECT_TRUE(Entries(outside).empty());
    EXPECT_EQ(ReadBytes(picture), original);
}

TEST_F(WriteBackFailures, PictureLinkedOutOfTheBundleIsNotWrittenThrough) {
    std::string outside = root + "/outside.jpg";
    std::string original = MakePicture(outside, "JPEG");
    std::string picture = images + "Editable_Images/x.jpg";
    ASSERT_EQ(symlink(outside.c_str(), picture.c_str()), 0);
    Pick(0, "x.jpg");
    LoadBaseAndLayer(picture);

    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{kWriteFailed});
    EXPECT_EQ(ReadBytes(outside), original);
    EXPECT_TRUE(IsLink(picture));
    EXPECT_FALSE(Exists(images + "Originals/Editable_Images/x.jpg")) << "the link's target is not copied in";
    EXPECT_TRUE(toSave);

    // The same escape through a linked folder: Editable_Images is a link to an outside folder.
    std::string folder = root + "/linked";
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    std::string theirs = MakePicture(folder + "/x.jpg", "JPEG");
    ASSERT_EQ(system(("rm -rf '" + images + "Editable_Images' '" + images + "Originals'").c_str()), 0);
    ASSERT_EQ(symlink(folder.c_str(), (images + "Editable_Images").c_str()), 0);
    modals.requests.clear();
    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{kWriteFailed});
    EXPECT_EQ(ReadBytes(folder + "/x.jpg"), theirs);
    EXPECT_FALSE(Exists(images + "Originals"));
}

TEST_F(WriteBackFailures, PlantedLinkInPlaceOfTheBackupIsNeitherFollowedNorReplaced) {
    std::string picture = images + "Editable_Images/x.jpg";
    std::string original = MakePicture(picture, "JPEG");
    Pick(0, "x.jpg");
    LoadBaseAndLayer(picture);
    ASSERT_EQ(system(("mkdir -p '" + images + "Originals/Editable_Images'").c_str()), 0);
    std::string backup = images + "Originals/Editable_Images/x.jpg";

    // A dangling link: following it would create the outside file.
    std::string outside = root + "/planted.jpg";
    ASSERT_EQ(symlink(outside.c_str(), backup.c_str()), 0);
    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Unable to create backup image"});
    EXPECT_FALSE(Exists(outside));
    EXPECT_TRUE(IsLink(backup));
    EXPECT_EQ(ReadBytes(picture), original) << "no picture is written without its backup";
    EXPECT_TRUE(toSave);
    EXPECT_EQ(Entries(images + "Originals/Editable_Images"), std::vector<std::string>{"x.jpg"});

    // A link to an existing outside file: not taken for a backup, and not restored from.
    std::string secret = MakePicture(outside, "PNG", 8, 8);
    modals.requests.clear();
    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Unable to create backup image"});
    EXPECT_EQ(ReadBytes(outside), secret);
    EXPECT_EQ(ReadBytes(picture), original);
    UndoMain();
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_TRUE(IsLink(backup));
    EXPECT_NE(texImages[1].texture, 0u) << "a refused restore keeps the canvas";
}

TEST_F(WriteBackFailures, RestoreDoesNotWriteThroughALinkedPicture) {
    std::string backup = images + "Originals/Editable_Images/x.jpg";
    ASSERT_EQ(system(("mkdir -p '" + images + "Originals/Editable_Images'").c_str()), 0);
    std::string kept = MakePicture(backup, "JPEG");
    std::string outside = root + "/outside.png";
    std::string theirs = MakePicture(outside, "PNG", 8, 8);
    std::string picture = images + "Editable_Images/x.jpg";
    ASSERT_EQ(symlink(outside.c_str(), picture.c_str()), 0);
    Pick(0, "x.jpg");

    UndoMain();
    EXPECT_EQ(ReadBytes(outside), theirs);
    EXPECT_TRUE(IsLink(picture));
    EXPECT_EQ(ReadBytes(backup), kept) << "the backup stays when it can't go back";
    EXPECT_TRUE(Messages().empty());

    // Editable_Images a link to an outside folder: the backup is not moved out into it.
    std::string folder = root + "/linked";
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    std::string linkedPicture = MakePicture(folder + "/x.jpg", "PNG", 8, 8);
    ASSERT_EQ(system(("rm -rf '" + images + "Editable_Images'").c_str()), 0);
    ASSERT_EQ(symlink(folder.c_str(), (images + "Editable_Images").c_str()), 0);
    UndoMain();
    EXPECT_EQ(ReadBytes(folder + "/x.jpg"), linkedPicture);
    EXPECT_EQ(ReadBytes(backup), kept);
}

TEST_F(WriteBackFailures, RestoreDoesNotBringBackAFileFromOutsideTheBundle) {
    // "Originals" a link to an outside folder laid out like a backup folder.
    std::string outside = root + "/elsewhere";
    ASSERT_EQ(system(("mkdir -p '" + outside + "/Editable_Images'").c_str()), 0);
    std::string theirs = MakePicture(outside + "/Editable_Images/x.jpg", "PNG", 8, 8);
    ASSERT_EQ(symlink(outside.c_str(), (images + "Originals").c_str()), 0);
    std::string picture = images + "Editable_Images/x.jpg";
    std::string original = MakePicture(picture, "JPEG");
    Pick(0, "x.jpg");
    ASSERT_TRUE(LoadTexture(picture.c_str(), -1, true, false));
    toSave = true;

    UndoMain();
    EXPECT_EQ(ReadBytes(picture), original);
    EXPECT_EQ(ReadBytes(outside + "/Editable_Images/x.jpg"), theirs) << "the outside file is not moved in";
    EXPECT_TRUE(toSave);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(WriteBackFailures, NamesThatClimbOutOfTheBundleAreRefused) {
    // From Editable_Images, "../../../../../victim.jpg" reaches the test folder.
    std::string victim = root + "/victim.jpg";
    std::string original = MakePicture(victim, "JPEG");
    std::string picture = images + "Editable_Images/x.jpg";
    MakePicture(picture, "JPEG");
    Pick(0, "x.jpg");
    LoadBaseAndLayer(picture);
    Pick(0, "../../../../../victim.jpg");
    ASSERT_EQ(ReadBytes(images + "Editable_Images/" + currentPicture), original);

    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{kWriteFailed});
    EXPECT_EQ(ReadBytes(victim), original);
    EXPECT_FALSE(Exists(images + "Originals"));
    EXPECT_TRUE(toSave);

    // A ".." component is refused even where it would stay inside the bundle.
    std::string a = MakePicture(images + "a.png", "PNG");
    Pick(1, "Editable_Images/../a.png");
    modals.requests.clear();
    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{kWriteFailed});
    EXPECT_EQ(ReadBytes(images + "a.png"), a);
    EXPECT_FALSE(Exists(images + "Originals"));

    // Restoring "../../../../x.jpg" would move the bundle's own Blue.pwtheme/x.jpg over the
    // theme folder's x.jpg, outside the bundle.
    std::string inside = MakePicture(std::string(themeFolder) + "Blue.pwtheme/x.jpg", "PNG", 8, 8);
    std::string outside = MakePicture(std::string(themeFolder) + "x.jpg", "JPEG", 8, 8);
    ASSERT_EQ(mkdir((images + "Originals").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((images + "Originals/Editable_Images").c_str(), 0777), 0);
    Pick(0, "../../../../x.jpg");
    ASSERT_EQ(ReadBytes(images + "Originals/Editable_Images/" + currentPicture), inside);
    ASSERT_EQ(ReadBytes(images + "Editable_Images/" + currentPicture), outside);
    UndoMain();
    EXPECT_EQ(ReadBytes(std::string(themeFolder) + "x.jpg"), outside);
    EXPECT_EQ(ReadBytes(std::string(themeFolder) + "Blue.pwtheme/x.jpg"), inside);
    EXPECT_NE(texImages[1].texture, 0u) << "a refused restore keeps the canvas";
    EXPECT_EQ(Messages().size(), 1u) << "a refused restore is silent";
}

TEST_F(WriteBackFailures, FailedWriteIsReportedAndKeepsTheWorkUnsaved) {
    std::string picture = images + "Editable_Images/x.jpg";
    std::string original = MakePicture(picture, "JPEG");
    Pick(0, "x.jpg");
    LoadBaseAndLayer(picture);
    // A base of a type no writer handles: the writer refuses.
    ASSERT_FALSE(plat_HasImageWriter(FourCC("PICT")));
    texImages[0].fileType = FourCC("PICT");

    Save();
    EXPECT_EQ(Messages(), std::vector<std::string>{kWriteFailed});
    EXPECT_TRUE(toSave);
    EXPECT_EQ(ReadBytes(picture), original) << "a failed write leaves the picture as it was";
    EXPECT_EQ(ReadBytes(images + "Originals/Editable_Images/x.jpg"), original);
    EXPECT_EQ(Entries(images + "Editable_Images"), std::vector<std::string>{"x.jpg"})
        << "no temporary file is left beside the picture";
}

// Under a file-size limit at every 64 KiB step below the written picture's size, the write-back
// fails, says so and keeps the work unsaved; the picture is as it was, the backup absent or the
// whole original, and no temporary file is left in either folder.
TEST_F(WriteBackFailures, AFileSizeLimitAtAnyStepKeepsThePictureAndAWholeBackup) {
    std::string picture = images + "x.png";
    std::string backup = images + "Originals/x.png";
    const std::string original = MakeNoisePng(picture);
    ASSERT_GT(original.size(), 256u * 1024);
    Pick(1, "x.png");
    LoadBaseAndLayer(picture);
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    sighandler_t oldSignal = signal(SIGXFSZ, SIG_IGN);   // a refused write fails instead of killing
    for (rlim_t limit = 0; limit < original.size(); limit += 64 * 1024) {
        SCOPED_TRACE(limit);
        modals.requests.clear();
        toSave = true;
        struct rlimit lower = old;
        lower.rlim_cur = limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lower), 0);
        Save();
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_FALSE(Messages().empty()) << "the failure is reported";
        EXPECT_TRUE(toSave);
        ASSERT_EQ(ReadBytes(picture), original);
        if (Exists(backup)) {
            ASSERT_EQ(ReadBytes(backup), original);
        }
        std::vector<std::string> names = Entries(images);
        names.erase(std::remove(names.begin(), names.end(), "Originals"), names.end());
        std::sort(names.begin(), names.end());
        ASSERT_EQ(names, (std::vector<std::string>{"Editable_Images", "x.png"})) << "no temporary file";
        for (const std::string& n : Entries(images + "Originals")) ASSERT_EQ(n, "x.png") << "no temporary file";
    }
    signal(SIGXFSZ, oldSignal);
    modals.requests.clear();
    Save();
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(toSave);
    EXPECT_NE(ReadBytes(picture), original);
    EXPECT_EQ(ReadBytes(backup), original);
}

// The theme on a small file system of its own: full before the backup, full after the backup but
// before the new picture, read-only, and a read-only picture in a writable folder. Each time the
// write-back says it failed and keeps the work unsaved; the picture keeps its bytes, the backup
// is absent or the whole original, and no temporary file is left.
TEST_F(WriteBackFailures, FullOrReadOnlyFileSystemsAndReadOnlyPicturesKeepEverything) {
    SmallFileSystem fs(root + "/themes", 4 << 20);
    if (!fs.mounted()) GTEST_SKIP() << "this machine does not allow mounting a tmpfs";
    ASSERT_EQ(system(("mkdir -p '" + images + "Editable_Images'").c_str()), 0);
    const std::string picture = images + "x.png", backup = images + "Originals/x.png";
    const std::string original = MakeNoisePng(picture);
    Pick(1, "x.png");
    LoadBaseAndLayer(picture);
    auto expectKept = [&](const char* what, bool backupWhole) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(Messages().empty()) << "the failure is reported";
        EXPECT_TRUE(toSave);
        EXPECT_TRUE(ReadBytes(picture) == original) << "the picture keeps its bytes";
        if (backupWhole) EXPECT_TRUE(ReadBytes(backup) == original) << "the backup is whole";
        else EXPECT_FALSE(Exists(backup)) << "no partial backup";
        std::vector<std::string> names = Entries(images), kept = Entries(images + "Originals");
        names.erase(std::remove(names.begin(), names.end(), "Originals"), names.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"Editable_Images", "x.png"})) << "no temporary file";
        EXPECT_TRUE(kept.empty() || kept == std::vector<std::string>{"x.png"}) << "no temporary file";
        modals.requests.clear();
    };
    ASSERT_TRUE(fs.LeaveFree(16 << 10));
    Save();
    expectKept("full before the backup", false);
    fs.Unfill();
    ASSERT_TRUE(fs.LeaveFree(long(original.size()) + (64 << 10)));
    Save();
    expectKept("full after the backup", true);
    fs.Unfill();
    ASSERT_TRUE(fs.MakeReadOnly(true));
    Save();
    expectKept("read-only file system", true);
    ASSERT_TRUE(fs.MakeReadOnly(false));
    ASSERT_EQ(chmod(picture.c_str(), 0444), 0);
    {
        NoPermissionOverride asUser;
        Save();
    }
    expectKept("read-only picture", true);
    ASSERT_EQ(chmod(picture.c_str(), 0644), 0);
    Save();
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(toSave);
    EXPECT_FALSE(ReadBytes(picture) == original);
}
