// write_back.cpp - writing the composite into the theme picture, and restoring its backup.
//
// Save flattens the layer stack over the current theme picture, in the picture's own format and
// size, after keeping the untouched file once under the bundle's "Originals" folder (which mirrors
// the images folder: Editable_Images/x.jpg is kept as Originals/Editable_Images/x.jpg). UndoMain
// moves that backup back over the picture and reloads it as the base.
//
// The picture name comes from a popup and the bundle's contents from anywhere, so neither is
// trusted: names with "." or ".." components are refused, nothing is read or written through a
// symbolic link or in a folder that resolves outside the bundle, a backup is linked into place
// from a complete temporary copy and never replaces what is already there, and an existing
// picture is not written at all when its backup could not be made (a picture missing from the
// bundle has no original to keep: the user is told and it is written afresh). A failed write is
// reported and leaves the work marked unsaved. Nothing is written unless a theme picture is the
// base: after the picture is closed the start picture is on the canvas, and it must never end
// up in the theme.
#include "write_back.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app_state.h"
#include "compositor.h"
#include "ids.h"
#include "layer_table.h"
#include "picture_files.h"
#include "textures.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

const char kWriteFailed[] = "Unable to write the picture into the theme";

struct WriteBackPaths {
    std::string bundle;         // themeFolder + currentTheme + THEME_EXT
    std::string images;         // bundle + "/Contents/Images/"
    std::string subfolder;      // backup subfolder below "Originals", empty when none
    std::string file;           // file part of currentPicture
    std::string picture;        // the picture file the mode names
    std::string backupFolder;   // images + "Originals/" [+ subfolder + "/"]
    std::string restoreFolder;  // images [+ subfolder + "/"]: where a backup goes back to
};

// A relative name made only of real components: no empty, "." or ".." part, so it cannot climb
// out of the folder it is appended to.
bool IsPlainName(const char* name) {
    if (!name || !*name) return false;
    std::string text(name);
    size_t start = 0;
    while (true) {
        size_t end = text.find('/', start);
        std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

// The paths of the current theme and picture; false when a name is unusable or a path too long.
bool BuildPaths(WriteBackPaths* p) {
    if (!IsPlainName(currentTheme) || !IsPlainName(currentPicture)) return false;
    char folder[kPathSize], file[kPathSize];
    bool hasFolder = util_SplitFolderAndFile(currentPicture, folder, file);
    p->bundle = std::string(themeFolder) + currentTheme + THEME_EXT;
    p->images = p->bundle + "/Contents/Images/";
    p->file = file;
    p->subfolder = hasFolder ? folder : (allThemes == 0 ? "Editable_Images" : "");
    std::string sub = p->subfolder.empty() ? std::string() : p->subfolder + "/";
    p->picture = p->images + (allThemes ? "" : "Editable_Images/") + currentPicture;
    p->backupFolder = p->images + "Originals/" + sub;
    p->restoreFolder = p->images + sub;
    size_t longest = p->backupFolder.size() + p->file.size() + 32;   // room for a temporary name
    return !p->file.empty() && longest < size_t(kPathSize) && p->picture.size() < size_t(kPathSize);
}

// True when the folder holding path resolves, links followed, to the bundle or a folder in it.
bool FolderInsideBundle(const std::string& bundle, const std::string& path) {
    size_t cut = path.rfind('/');
    if (cut == std::string::npos) return false;
    char realBundle[PATH_MAX], realFolder[PATH_MAX];
    if (!realpath(bundle.c_str(), realBundle) || !realpath(path.substr(0, cut).c_str(), realFolder))
        return false;
    size_t n = strlen(realBundle);
    return strncmp(realFolder, realBundle, n) == 0 && (realFolder[n] == 0 || realFolder[n] == '/');
}

// True when path is a regular file itself (not a link to one); a missing file passes when
// missingOk, so a picture or backup that is gone can still be written afresh.
bool IsPlainFileOrMissing(const std::string& path, bool missingOk) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return missingOk && errno == ENOENT;
    return S_ISREG(info.st_mode);
}

bool CopyBytes(int in, int out) {
    char chunk[64 * 1024];
    while (true) {
        ssize_t got = read(in, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return got == 0;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(out, chunk + done, size_t(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
    }
}

// Copies picture to backupFolder + name: the bytes go into a fresh temporary file beside the
// backup, which is then given the final name with link(2) (or a no-replace rename where links are
// not supported). Either fails when the name exists, whatever it is, so an existing backup or a
// planted link is never replaced or followed, and the backup is never seen half written.
bool MakeBackup(const std::string& picture, const std::string& backupFolder, const std::string& name) {
    int in = open(picture.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return false;
    struct stat info {};
    std::string temp = backupFolder + ".backup-XXXXXX";
    int out = -1;
    if (fstat(in, &info) == 0 && S_ISREG(info.st_mode)) out = mkostemp(&temp[0], O_CLOEXEC);
    bool ok = out >= 0 && CopyBytes(in, out) && fchmod(out, info.st_mode & 0777) == 0 && fsync(out) == 0;
    close(in);
    if (out < 0) return false;
    if (close(out) != 0) ok = false;
    std::string backup = backupFolder + name;
    bool renamed = false;
    if (ok && link(temp.c_str(), backup.c_str()) != 0) {
        ok = false;
        if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == ENOSYS)
            ok = renamed = renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE) == 0;
    }
    if (!renamed) unlink(temp.c_str());
    return ok;
}

}  // namespace

void Save() {
    if (!themeLoaded || texImages[1].texture == 0) return;
    util_EnableControl(dialog, kRestoreButton, true);

    WriteBackPaths p;
    // The picture must be a plain file of this bundle: a link would be written through (or its
    // target copied into the backup), and a name that climbs out would reach any file.
    if (!BuildPaths(&p) || !IsPlainFileOrMissing(p.picture, true) || !FolderInsideBundle(p.bundle, p.picture)) {
        util_MessageBox(false, kWriteFailed);
        return;
    }
    // Each folder is checked to lie in the bundle before anything is made inside it, so a linked
    // "Originals" gets nothing created through it.
    std::string originals = p.images + "Originals";
    if (!util_CreateFolder(p.images.c_str(), "Originals") || !FolderInsideBundle(p.bundle, originals + "/") ||
        (!p.subfolder.empty() && !util_CreateFolder(originals.c_str(), p.subfolder.c_str())) ||
        !FolderInsideBundle(p.bundle, p.backupFolder + p.file)) {
        util_MessageBox(false, "Unable to create backup folder");
        return;
    }
    // An existing regular backup holds the picture as it was before its first write-back and is
    // kept. Anything else in its place is refused, and without a backup an existing picture is
    // not written, since the original would be lost. A picture that is gone from the bundle has
    // nothing to back up: the user is told, and the composite takes its place.
    std::string backup = p.backupFolder + p.file;
    struct stat info {};
    bool haveBackup = lstat(backup.c_str(), &info) == 0;
    if (haveBackup ? !S_ISREG(info.st_mode) : !MakeBackup(p.picture, p.backupFolder, p.file)) {
        util_MessageBox(false, "Unable to create backup image");
        bool pictureGone = !haveBackup && lstat(p.picture.c_str(), &info) != 0 && errno == ENOENT;
        if (!pictureGone) return;
    }

    const TexImage& base = texImages[0];
    if (!SaveImage(p.picture.c_str(), base.width, base.height, base.fileType)) {
        util_MessageBox(false, kWriteFailed);
        return;
    }
    RenderImages(true, -1.0f);
    toSave = false;
}

void UndoMain() {
    char picked[kPathSize] = "";
    if (util_GetMenuItem(dialog, kPicturePopup, picked) == 0) return;
    snprintf(currentPicture, sizeof currentPicture, "%s", picked);

    WriteBackPaths p;
    if (!BuildPaths(&p)) return;
    std::string backup = p.backupFolder + p.file, target = p.restoreFolder + p.file;
    // Only a plain backup file goes back, and only over a plain file (or none) of this bundle.
    if (!IsPlainFileOrMissing(backup, false) || !IsPlainFileOrMissing(target, true) ||
        !FolderInsideBundle(p.bundle, backup) || !FolderInsideBundle(p.bundle, target))
        return;
    if (!util_CopyFile(p.backupFolder.c_str(), p.file.c_str(), p.restoreFolder.c_str(), p.file.c_str(), true))
        return;
    DeleteTextures(0);
    LoadTexture(target.c_str(), -1, true, false);
    RenderImages(true, -1.0f);
    toSave = false;
}
