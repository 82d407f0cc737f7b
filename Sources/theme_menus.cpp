// theme_menus.cpp - filling the theme and picture popups from the theme folder.
//
// The theme popup lists every bundle below the theme folder whose name ends in THEME_EXT and
// whose images folder for the current picture mode exists, named by its path relative to the
// theme folder without the extension ("Sub/Blue"). The picture popup lists the pictures of one
// bundle: in editable-only mode those directly inside "Editable_Images", in all-pictures mode
// those directly inside "Images" and then those one subfolder deep ("Editable_Images/x.jpg").
// Folder entries are sorted by name so the lists are stable; items are numbered 1, 2, ... without
// gaps; files whose extension names a format that can't be read are left out unless their content
// is a readable picture. Folder links are followed, but a link back to a folder that is already
// being walked is not entered again, so a cycle can't make the walk endless.
#include "theme_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

#include "platform_codecs.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

const char kAllImages[] = "/Contents/Images/";
const char kEditableImages[] = "/Contents/Images/Editable_Images/";
const char kEmptyThemeFolder[] =
    "The Theme folder is empty, please install at least one thirdy party theme (by double-clicking "
    "on it) or duplicate an original PW theme";

// Deepest folder nesting the theme walk enters; deeper trees are not searched.
constexpr int kMaxThemeDepth = 32;

const char* ModeImagesPath() { return allThemes ? kAllImages : kEditableImages; }

// The entries of folder, without "." and "..", sorted by name; false when it can't be opened.
bool ListFolder(const char* folder, std::vector<std::string>* names) {
    names->clear();
    DIR* dir = opendir(folder);
    if (!dir) return false;
    while (struct dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        names->emplace_back(e->d_name);
    }
    closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

// folder + name (with a "/" between them when folder lacks one) into out[kPathSize]; false when
// it would not fit.
bool EntryPath(const char* folder, const std::string& name, char* out) {
    size_t n = strlen(folder);
    const char* sep = (n > 0 && folder[n - 1] == '/') ? "" : "/";
    int len = snprintf(out, kPathSize, "%s%s%s", folder, sep, name.c_str());
    return len >= 0 && len < int(kPathSize);
}

// a + b into out[kPathSize]; false when it would not fit.
bool Concat(const char* a, const char* b, char* out) {
    int len = snprintf(out, kPathSize, "%s%s", a, b);
    return len >= 0 && len < int(kPathSize);
}

typedef std::vector<std::pair<dev_t, ino_t>> FolderChain;

bool InChain(const FolderChain& chain, const struct stat& info) {
    for (const auto& f : chain)
        if (f.first == info.st_dev && f.second == info.st_ino) return true;
    return false;
}

// The theme walk: lists the bundles in folder and, depth first, in its plain subfolders. chain
// holds the folders being walked, from the root down.
void WalkThemes(WindowRef w, int controlId, const char* root, const char* folder, char* selected,
                const char* ext, FolderChain* chain) {
    struct stat here {};
    if (stat(folder, &here) != 0 || InChain(*chain, here) || int(chain->size()) >= kMaxThemeDepth)
        return;
    std::vector<std::string> names;
    if (!ListFolder(folder, &names)) return;
    chain->emplace_back(here.st_dev, here.st_ino);

    const size_t rootLength = strlen(root);
    char path[kPathSize], probe[kPathSize], split[kPathSize], found[kPathSize];
    for (const std::string& name : names) {
        if (!EntryPath(folder, name, path)) continue;
        struct stat info {};
        bool isFolder = stat(path, &info) == 0 && S_ISDIR(info.st_mode);

        // A plain subfolder (one that isn't, and isn't inside, a bundle) is searched in place.
        if (isFolder && !strstr(path, ext)) {
            char sub[kPathSize];
            if (Concat(path, "/", sub)) WalkThemes(w, controlId, root, sub, selected, ext, chain);
            continue;
        }

        // A candidate counts when its images folder for the mode opens ...
        if (!Concat(path, ModeImagesPath(), probe) || !util_exists(probe)) continue;
        // ... and its own extension is the bundle extension, letter for letter.
        strcpy(split, path);
        if (!util_SplitPath(nullptr, split, found) || strcmp(found, ext) != 0) continue;

        // The theme's name: its path below the root, without the extension.
        char themeName[kPathSize];
        strcpy(themeName, strlen(path) >= rootLength ? path + rootLength : path);
        if (themeName[0]) {
            char* dot = strrchr(themeName + 1, '.');
            if (dot) *dot = 0;
        }
        printf("\ntheme <%s> added", themeName);
        fflush(stdout);

        ++total_themes;
        bool flag = false;
        if (selected && strlen(selected) > 1)
            flag = strcmp(themeName, selected) == 0;
        else if (selected && total_themes == 1)
            strcpy(selected, themeName);   // first start: the first theme found becomes current
        util_SetMenuItem(w, controlId, total_themes, flag, themeName);
    }
    chain->pop_back();
}

// The format each picture extension names, upper and lower case alike.
const struct {
    const char* ext;
    OSType type;
} kExtensionFormats[] = {
    {".bmp", FourCC("BMPf")}, {".gif", FourCC("GIFf")}, {".jpg", FourCC("JPEG")}, {".jpe", FourCC("JPEG")},
    {".pdf", FourCC("PDF ")}, {".png", FourCC("PNGf")}, {".tga", FourCC("TPIC")}, {".pic", FourCC("PICT")},
};

// Whether the file at path, whose extension is ext, is listed: ext must contain one of the picture
// extensions (case-sensitive), and the format it names must have a reader here. A file whose
// extension names a format without one (".pdf", ".pic") could never be opened from the popup, so
// it is listed only when its content is a picture that can be read all the same.
bool IsListedPicture(const char* path, const char* ext) {
    const char* matched = nullptr;
    for (const auto& format : fFormat)
        if (strstr(ext, format)) {
            matched = format;
            break;
        }
    if (!matched) return false;
    for (const auto& f : kExtensionFormats)
        if (strcasecmp(matched, f.ext) == 0 && plat_HasImageReader(f.type)) return true;
    return plat_PictureTypeOf(path) != 0;
}

}  // namespace

int util_FillThemeMenu(WindowRef w, int controlId, const char* root, char* selected, const char* ext) {
    util_ClearMenu(w, controlId);
    total_themes = 0;
    int count = sub_util_FillThemeMenu(w, controlId, root, root, selected, ext);
    if (count == 0) util_MessageBox(false, kEmptyThemeFolder);
    return count;
}

int sub_util_FillThemeMenu(WindowRef w, int controlId, const char* root, const char* folder,
                           char* selected, const char* ext) {
    if (!root || !folder || !ext) return total_themes;
    FolderChain chain;
    WalkThemes(w, controlId, root, folder, selected, ext, &chain);
    return total_themes;
}

bool util_IsValid(const char* root, const char* theme) {
    char path[kPathSize];
    int len = snprintf(path, sizeof path, "%s%s%s%s", root, theme, THEME_EXT, ModeImagesPath());
    return len >= 0 && len < int(sizeof path) && util_exists(path);
}

int util_FillPictureMenu(WindowRef w, int controlId, const char* root, const char* theme,
                         const char* selected) {
    util_ClearMenu(w, controlId);
    char images[kPathSize];
    int len = snprintf(images, sizeof images, "%s%s%s%s", root, theme, THEME_EXT, ModeImagesPath());
    if (len < 0 || len >= int(sizeof images)) return 0;

    int count = util_FillPictureSubMenu(w, controlId, 0, images, "", selected);
    if (!allThemes) return count;

    // All pictures: then those one subfolder deep, named "<subfolder>/<file>".
    std::vector<std::string> names;
    if (!ListFolder(images, &names)) return count;
    char path[kPathSize], sub[kPathSize], prefix[kPathSize];
    for (const std::string& name : names) {
        if (!EntryPath(images, name, path)) continue;
        struct stat info {};
        if (stat(path, &info) != 0 || !S_ISDIR(info.st_mode)) continue;
        if (!Concat(path, "/", sub) || !Concat(name.c_str(), "/", prefix)) continue;
        count = util_FillPictureSubMenu(w, controlId, count, sub, prefix, selected);
    }
    return count;
}

int util_FillPictureSubMenu(WindowRef w, int controlId, int start, const char* folder,
                            const char* prefix, const char* selected) {
    std::vector<std::string> names;
    if (!folder || !ListFolder(folder, &names)) return start;
    int count = start;
    char path[kPathSize], base[kPathSize], ext[kPathSize], text[kPathSize];
    for (const std::string& name : names) {
        if (!EntryPath(folder, name, path)) continue;
        // Only entries that resolve to something other than a folder can be pictures.
        struct stat info {};
        if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) continue;
        strcpy(base, path);
        if (!util_SplitPath(nullptr, base, ext)) continue;
        // The "." must be in the file's own name, not in a folder above it.
        if (strchr(ext, '/') || !IsListedPicture(path, ext)) continue;
        int len = snprintf(text, sizeof text, "%s%s%s", prefix ? prefix : "", base, ext);
        if (len < 0 || len >= int(sizeof text)) continue;
        ++count;
        util_SetMenuItem(w, controlId, count, selected && strcmp(text, selected) == 0, text);
    }
    return count;
}
