// platform_folders.cpp - the folders the program keeps its things in, after the XDG rules:
// user Library = data home, preferences = config home, temporary items = a per-user folder in the
// system temporary folder, resources = the installed or source-tree resources folder. Also the
// atomic write of the small files the program keeps there.
#include "platform.h"
#include "platform_internal.h"

#include <QSaveFile>
#include <QString>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>

#ifndef VINTREL_SOURCE_RESOURCES
#define VINTREL_SOURCE_RESOURCES ""
#endif

namespace {

bool copyOut(const std::string& s, char* out, size_t size) {
    if (!out || s.size() + 1 > size) return false;
    memcpy(out, s.c_str(), s.size() + 1);
    return true;
}

bool isDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string home() {
    const char* h = getenv("HOME");
    return h && *h ? h : "/tmp";
}

std::string withSlash(std::string p) {
    if (p.empty() || p.back() != '/') p += '/';
    return p;
}

std::string xdg(const char* var, const char* fallback) {
    const char* v = getenv(var);
    if (v && v[0] == '/') return v;   // relative values are invalid by the XDG rules
    return home() + fallback;
}

}  // namespace

bool plat_GetUserLibraryFolder(char* out, size_t size) {
    return copyOut(withSlash(xdg("XDG_DATA_HOME", "/.local/share")), out, size);
}

bool plat_GetPreferencesFolder(char* out, size_t size) {
    return copyOut(withSlash(xdg("XDG_CONFIG_HOME", "/.config")), out, size);
}

bool plat_GetTemporaryItemsFolder(char* out, size_t size) {
    const char* t = getenv("TMPDIR");
    std::string base = t && t[0] == '/' ? t : "/tmp";
    std::string folder = withSlash(base) + "vintrel-" + std::to_string(getuid());
    if (!isDir(folder)) {
        if (mkdir(folder.c_str(), 0700) != 0 && !isDir(folder)) return false;
    }
    // The folder must be ours: another user's folder (or a planted link) is refused.
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
    return copyOut(withSlash(folder), out, size);
}

bool plat_GetResourcesFolder(char* out, size_t size) {
    const char* env = getenv("VINTREL_RESOURCES");
    if (env && *env) {
        std::string p = env;
        while (p.size() > 1 && p.back() == '/') p.pop_back();
        return isDir(p) && copyOut(p, out, size);
    }
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        std::string dir = exe;
        dir = dir.substr(0, dir.rfind('/'));
        std::string installed = dir + "/../share/vintrel/resources";
        if (isDir(installed + "/main")) {
            char real[PATH_MAX];
            if (realpath(installed.c_str(), real)) return copyOut(real, out, size);
        }
    }
    std::string src = VINTREL_SOURCE_RESOURCES;
    return !src.empty() && isDir(src) && copyOut(src, out, size);
}

bool plat_WriteFileAtomically(const char* path, const void* data, size_t size) {
    if (!path || !*path || (size && !data)) return false;
    struct stat st;
    if (lstat(path, &st) == 0 && !S_ISREG(st.st_mode)) return false;
    QSaveFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (size && file.write(static_cast<const char*>(data), qint64(size)) != qint64(size)) {
        file.cancelWriting();
        return false;
    }
    return plat_commitSaveFile(file);
}
