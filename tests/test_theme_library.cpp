// test_theme_library.cpp - the theme and picture popups of the running program's Tools window,
// filled from real theme folders built in a scratch folder.
//
// Each test builds its own theme folder, fills the real popups (controls 100 and 101 of the
// Tools window) and reads back their items, their numbering and the selected item. Message boxes
// are answered and recorded by a script; the globals and popups a test touches are put back.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "app_fixture.h"
#include "ids.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

const char kEmptyMessage[] =
    "The Theme folder is empty, please install at least one thirdy party theme (by double-clicking "
    "on it) or duplicate an original PW theme";
const char kBundle[] = ".pagewrighttheme";
const char kBundle5[] = ".pwtheme";

// mkdir -p for a path below an existing folder.
void MakeFolders(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            std::string part = path.substr(0, at);
            mkdir(part.c_str(), 0755);
        }
    }
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
    ASSERT_TRUE(S_ISDIR(info.st_mode)) << path;
}

void MakeFile(const std::string& path) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fputs("not really a picture", f);
    fclose(f);
}

// A bundle root + name + ext with its all-pictures folder and, when asked, its editable folder.
void MakeBundle(const std::string& root, const std::string& name, const char* ext, bool editable) {
    std::string images = root + name + ext + "/Contents/Images";
    MakeFolders(editable ? images + "/Editable_Images" : images);
}

std::vector<std::string> Items(int id) {
    std::vector<std::string> items;
    MenuRef m = util_GetMenu(dialog, id);
    if (!m) return items;
    char text[1024];
    for (int i = 1; i <= plat_CountMenuItems(m); ++i) {
        text[0] = 0;
        util_GetMenuItemByIndex(dialog, id, i, text);
        items.emplace_back(text);
    }
    return items;
}

int Selected(int id) { return util_GetControl(dialog, id); }

typedef std::vector<std::string> Names;

class ThemeLibraryBase : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();
        ASSERT_NE(dialog, nullptr);
        ASSERT_NE(util_GetMenu(dialog, kThemePopup), nullptr);
        ASSERT_NE(util_GetMenu(dialog, kPicturePopup), nullptr);
        savedAll = allThemes;
        savedExt = THEME_EXT;
        savedTheme = currentTheme;
        savedPicture = currentPicture;
        savedThemeItems = Items(kThemePopup);
        savedPictureItems = Items(kPicturePopup);
        savedThemeValue = Selected(kThemePopup);
        savedPictureValue = Selected(kPicturePopup);
        root = MakeTempDir("themes") + "/";
        ASSERT_GT(root.size(), 1u);
        allThemes = 1;
        strcpy(THEME_EXT, kBundle);
    }
    void TearDown() override {
        Restore(kThemePopup, savedThemeItems, savedThemeValue);
        Restore(kPicturePopup, savedPictureItems, savedPictureValue);
        allThemes = savedAll;
        snprintf(THEME_EXT, sizeof THEME_EXT, "%s", savedExt.c_str());
        snprintf(currentTheme, sizeof currentTheme, "%s", savedTheme.c_str());
        snprintf(currentPicture, sizeof currentPicture, "%s", savedPicture.c_str());
        ResetProgramState();
    }
    static void Restore(int id, const Names& items, int value) {
        util_ClearMenu(dialog, id);
        for (size_t i = 0; i < items.size(); ++i)
            util_SetMenuItem(dialog, id, int(i) + 1, false, items[i].c_str());
        if (!items.empty()) util_SetControl(dialog, id, value);
    }
    // Fills the theme popup from root with the given selection; the selection buffer as the
    // fill left it goes to selectedOut.
    int FillThemes(const char* selection, const char* ext, std::string* selectedOut = nullptr) {
        char selected[1024];
        snprintf(selected, sizeof selected, "%s", selection);
        int n = util_FillThemeMenu(dialog, kThemePopup, root.c_str(), selected, ext);
        if (selectedOut) *selectedOut = selected;
        return n;
    }
    int FillPictures(const char* theme, const char* selection) {
        return util_FillPictureMenu(dialog, kPicturePopup, root.c_str(), theme, selection);
    }

    ScriptedModals modals{true};
    std::string root;
    int savedAll = 1;
    std::string savedExt, savedTheme, savedPicture;
    Names savedThemeItems, savedPictureItems;
    int savedThemeValue = 0, savedPictureValue = 0;
};

using ThemeLibraryThemes = ThemeLibraryBase;
using ThemeLibraryPictures = ThemeLibraryBase;
using ThemeLibraryMessages = ThemeLibraryBase;

// ---------------------------------------------------------------------------------------------
// The theme popup

TEST_F(ThemeLibraryThemes, NestedBundlesListedDepthFirstWithTheirRelativeNames) {
    MakeBundle(root, "A/B/Blue", kBundle, false);
    MakeBundle(root, "Blue", kBundle, false);
    MakeBundle(root, "C/Cyan", kBundle, false);
    MakeBundle(root, "v1.2/My.Theme", kBundle, false);   // dots in folder and theme names
    testing::internal::CaptureStdout();
    int n = FillThemes("?", kBundle);
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(n, 4);
    EXPECT_EQ(total_themes, 4);
    EXPECT_EQ(Items(kThemePopup), (Names{"A/B/Blue", "Blue", "C/Cyan", "v1.2/My.Theme"}));
    EXPECT_NE(out.find("\ntheme <A/B/Blue> added"), std::string::npos) << out;
    EXPECT_NE(out.find("\ntheme <v1.2/My.Theme> added"), std::string::npos) << out;
    // The listed names resolve back to their bundles through the theme folder formulas.
    EXPECT_TRUE(util_IsValid(root.c_str(), "A/B/Blue"));
    EXPECT_TRUE(util_IsValid(root.c_str(), "v1.2/My.Theme"));
    EXPECT_TRUE(modals.requests.empty());
}

TEST_F(ThemeLibraryThemes, OnlyBundlesWithTheExactExtensionOfTheModeAreListed) {
    MakeBundle(root, "Blue", kBundle, false);
    MakeBundle(root, "Green", kBundle5, false);
    MakeBundle(root, "Red", ".Pagewrighttheme", false);           // letter case differs
    MakeBundle(root, "Red", ".pagewrighttheme.Pagewrighttheme", false);
    MakeBundle(root, "Blue", ".pagewrighttheme.old", false);      // a renamed bundle
    // Bundles inside renamed ones, with and without images of their own: the walk must not
    // enter a folder whose path holds the extension.
    MakeBundle(root, "Blue.pagewrighttheme.old/Inner", kBundle, false);
    MakeBundle(root, "Old.pagewrighttheme.old/Inner", kBundle, false);
    MakeFolders(root + "Old.pagewrighttheme.old/Contents");
    MakeFolders(root + "Plain/Contents/Images");                  // images but no extension
    MakeFile(root + "Loose" + kBundle);                           // a file, not a folder

    EXPECT_EQ(FillThemes("Blue", kBundle), 1);
    EXPECT_EQ(Items(kThemePopup), (Names{"Blue"}));

    strcpy(THEME_EXT, kBundle5);
    EXPECT_EQ(FillThemes("Green", kBundle5), 1);
    EXPECT_EQ(Items(kThemePopup), (Names{"Green"}));
    EXPECT_TRUE(util_IsValid(root.c_str(), "Green"));
    EXPECT_FALSE(util_IsValid(root.c_str(), "Blue"));
    EXPECT_TRUE(modals.requests.empty());
}

TEST_F(ThemeLibraryThemes, EditableOnlyModeDropsBundlesWithoutEditableImages) {
    MakeBundle(root, "Amber", kBundle, true);
    MakeBundle(root, "Plain", kBundle, false);

    EXPECT_TRUE(util_IsValid(root.c_str(), "Amber"));
    EXPECT_TRUE(util_IsValid(root.c_str(), "Plain"));
    EXPECT_FALSE(util_IsValid(root.c_str(), "Missing"));
    EXPECT_EQ(FillThemes("Amber", kBundle), 2);
    EXPECT_EQ(Items(kThemePopup), (Names{"Amber", "Plain"}));

    allThemes = 0;
    EXPECT_TRUE(util_IsValid(root.c_str(), "Amber"));
    EXPECT_FALSE(util_IsValid(root.c_str(), "Plain"));
    EXPECT_FALSE(util_IsValid(root.c_str(), "Missing"));
    EXPECT_EQ(FillThemes("Amber", kBundle), 1);
    EXPECT_EQ(Items(kThemePopup), (Names{"Amber"}));
}

TEST_F(ThemeLibraryThemes, SelectionFlagsTheMatchingThemeOnly) {
    MakeBundle(root, "Amber", kBundle, false);
    MakeBundle(root, "Blue", kBundle, false);
    MakeBundle(root, "Cyan", kBundle, false);
    std::string selected;

    EXPECT_EQ(FillThemes("Cyan", kBundle, &selected), 3);
    EXPECT_EQ(Selected(kThemePopup), 3);
    EXPECT_EQ(selected, "Cyan");

    // A selection that names no item (not even by prefix) flags nothing and is kept.
    util_SetControl(dialog, kThemePopup, 2);
    EXPECT_EQ(FillThemes("Cyanide", kBundle, &selected), 3);
    EXPECT_EQ(Selected(kThemePopup), 1);
    EXPECT_EQ(selected, "Cyanide");
    EXPECT_EQ(FillThemes("Blu", kBundle, &selected), 3);
    EXPECT_EQ(Selected(kThemePopup), 1);
    EXPECT_EQ(selected, "Blu");
}

TEST_F(ThemeLibraryThemes, FirstThemeBecomesCurrentWithoutAUsableSelection) {
    MakeBundle(root, "Zeta", kBundle, false);
    MakeBundle(root, "A/Deep", kBundle, false);
    MakeBundle(root, "X", kBundle, false);

    // The start-up placeholder, an empty selection and any one-character name are not names:
    // the first theme found (depth first) replaces them and no item is flagged.
    for (const char* placeholder : {"?", "", "X"}) {
        std::string selected;
        EXPECT_EQ(FillThemes(placeholder, kBundle, &selected), 3) << placeholder;
        EXPECT_EQ(Items(kThemePopup), (Names{"A/Deep", "X", "Zeta"}));
        EXPECT_EQ(selected, "A/Deep") << placeholder;
        EXPECT_EQ(Selected(kThemePopup), 1) << placeholder;
    }

    // The real globals, as start-up passes them.
    strcpy(currentTheme, "?");
    EXPECT_EQ(util_FillThemeMenu(dialog, kThemePopup, root.c_str(), currentTheme, THEME_EXT), 3);
    EXPECT_STREQ(currentTheme, "A/Deep");
}

TEST_F(ThemeLibraryThemes, FolderLinksAreFollowedButCyclesAndOverlongPathsAreNot) {
    MakeBundle(root, "Blue", kBundle, false);
    std::string elsewhere = MakeTempDir("elsewhere") + "/";
    MakeBundle(elsewhere, "Teal", kBundle, false);
    ASSERT_EQ(symlink(elsewhere.c_str(), (root + "Linked").c_str()), 0);
    ASSERT_EQ(symlink(root.c_str(), (root + "Loop").c_str()), 0);
    ASSERT_EQ(symlink((root + "Nowhere").c_str(), (root + "Dangling" + kBundle).c_str()), 0);
    // A bundle so deep that its path can't fit a 1024-byte path buffer.
    std::string deep = root;
    for (int i = 0; i < 5; ++i) deep += std::string(200, char('d' + i)) + "/";
    MakeBundle(deep, "Far", kBundle, false);

    EXPECT_EQ(FillThemes("Blue", kBundle), 2);
    EXPECT_EQ(Items(kThemePopup), (Names{"Blue", "Linked/Teal"}));
    EXPECT_EQ(Selected(kThemePopup), 1);
}

// ---------------------------------------------------------------------------------------------
// The picture popup

TEST_F(ThemeLibraryPictures, AllPicturesModeListsOneSubfolderLevelNumberedWithoutGaps) {
    std::string images = root + "Blue" + kBundle + "/Contents/Images/";
    MakeFolders(images + "Editable_Images");
    MakeFolders(images + "Originals/Editable_Images");
    MakeFolders(images + "Other/Deeper");
    MakeFile(images + "a.png");
    MakeFile(images + "Editable_Images/b.jpg");
    MakeFile(images + "Originals/Editable_Images/b.jpg");   // a backup, two levels deep
    MakeFile(images + "Other/c.gif");
    MakeFile(images + "Other/Deeper/d.png");

    EXPECT_TRUE(util_IsValid(root.c_str(), "Blue"));
    EXPECT_EQ(FillPictures("Blue", "Editable_Images/b.jpg"), 3);
    EXPECT_EQ(Items(kPicturePopup), (Names{"a.png", "Editable_Images/b.jpg", "Other/c.gif"}));
    EXPECT_EQ(Selected(kPicturePopup), 2);

    EXPECT_EQ(FillPictures("Blue", "Other/c.gif"), 3);
    EXPECT_EQ(Selected(kPicturePopup), 3);

    // Appending after the items already there continues the numbering; a selection that
    // matches none of the new items leaves the selected item where it was.
    EXPECT_EQ(util_FillPictureSubMenu(dialog, kPicturePopup, 3, (images + "Other/Deeper/").c_str(),
                                      "Deeper/", "nothing.png"),
              4);
    EXPECT_EQ(Items(kPicturePopup).back(), "Deeper/d.png");
    EXPECT_EQ(Selected(kPicturePopup), 3);
    EXPECT_EQ(util_FillPictureSubMenu(dialog, kPicturePopup, 4, (root + "missing/").c_str(), "",
                                      nullptr),
              4);
}

TEST_F(ThemeLibraryPictures, EditableOnlyModeListsTheEditableFolderByFileName) {
    std::string images = root + "Blue" + kBundle + "/Contents/Images/";
    MakeFolders(images + "Editable_Images");
    MakeFile(images + "a.png");
    MakeFile(images + "Editable_Images/b.jpg");
    MakeFile(images + "Editable_Images/c.png");

    allThemes = 0;
    EXPECT_EQ(FillPictures("Blue", "c.png"), 2);
    EXPECT_EQ(Items(kPicturePopup), (Names{"b.jpg", "c.png"}));
    EXPECT_EQ(Selected(kPicturePopup), 2);
    // The all-pictures name of the same picture is no name in this mode.
    EXPECT_EQ(FillPictures("Blue", "Editable_Images/c.png"), 2);
    EXPECT_EQ(Selected(kPicturePopup), 1);
}

TEST_F(ThemeLibraryPictures, ExtensionRuleIsACaseSensitiveSubstringOfTheFilesOwnExtension) {
    std::string images = root + "Blue" + kBundle + "/Contents/Images/";
    MakeFolders(images + "shots.png");
    for (const char* name : {"photo.jpeg", "logo.PNG", "clip.pict", "x.pngx", "photo.Jpeg",
                             "notes.txt", "archive.png.txt", "README", "shots.png/inner.gif",
                             "shots.png/NOTES"})
        MakeFile(images + name);
    // ".pic" names a format without a reader: the file is listed because its content is a PNG.
    QImage clip(2, 2, QImage::Format_RGB32);
    clip.fill(Qt::white);
    ASSERT_TRUE(clip.save(QString::fromStdString(images + "clip.pict"), "PNG"));

    EXPECT_EQ(FillPictures("Blue", ""), 5);
    EXPECT_EQ(Items(kPicturePopup), (Names{"clip.pict", "logo.PNG", "photo.jpeg", "x.pngx",
                                           "shots.png/inner.gif"}));
}

TEST_F(ThemeLibraryPictures, MissingThemeEmptiesThePopup) {
    std::string images = root + "Blue" + kBundle + "/Contents/Images/";
    MakeFolders(images);
    MakeFile(images + "a.png");
    ASSERT_EQ(FillPictures("Blue", "a.png"), 1);

    EXPECT_EQ(FillPictures("Gone", "a.png"), 0);
    EXPECT_TRUE(Items(kPicturePopup).empty());
    strcpy(THEME_EXT, kBundle5);                      // same name, other bundle extension
    EXPECT_EQ(FillPictures("Blue", "a.png"), 0);
    EXPECT_TRUE(Items(kPicturePopup).empty());
    EXPECT_TRUE(modals.requests.empty());
}

// ---------------------------------------------------------------------------------------------
// No theme at all

TEST_F(ThemeLibraryMessages, EmptyOrMissingThemeFolderSaysSoOnce) {
    MakeBundle(root, "Blue", kBundle, false);
    ASSERT_EQ(FillThemes("Blue", kBundle), 1);   // the popup holds an item before

    std::string selected;
    EXPECT_EQ(util_FillThemeMenu(dialog, kThemePopup, (root + "missing/").c_str(), currentTheme,
                                 kBundle),
              0);
    EXPECT_TRUE(Items(kThemePopup).empty());
    ASSERT_EQ(modals.requests.size(), 1u);
    EXPECT_EQ(modals.requests[0].kind, ModalKind::Alert);
    EXPECT_EQ(modals.requests[0].message, kEmptyMessage);
    EXPECT_EQ(modals.requests[0].title, "Vintrel v2.2.0");
    EXPECT_TRUE(modals.requests[0].cancelText.empty());

    // A folder with things in it but no theme of this mode.
    MakeBundle(root, "Green", kBundle5, true);
    MakeFolders(root + "Sub/Empty");
    allThemes = 0;                               // Blue has no editable pictures
    EXPECT_EQ(FillThemes("?", kBundle, &selected), 0);
    EXPECT_EQ(total_themes, 0);
    EXPECT_EQ(selected, "?");
    EXPECT_TRUE(Items(kThemePopup).empty());
    ASSERT_EQ(modals.requests.size(), 2u);
    EXPECT_EQ(modals.requests[1].message, kEmptyMessage);
}

}  // namespace
