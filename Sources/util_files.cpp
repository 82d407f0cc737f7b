// util_files.cpp - path, file and folder helpers (see util_files.h).
//
// Plain POSIX: open/read/write/rename for the copy, stat and mkdir for folders. Every output path
// is assembled in a local buffer first and copied out only when it fits, so callers' kPathSize
// buffers are never overrun and a failed call leaves them as they were (unless said otherwise).
#include "util_files.h"

#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longest name one folder entry may carry.
constexpr size_t kMaxNameLength = 255;

// Copies text into out[kPathSize]; false (out untouched) when it does not fit.
bool CopyOut(const std::string& text, char* out) {
    if (text.size() >= size_t(kPathSize)) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// a + b, false when the result would not fit in a kPathSize buffer.
bool Join(const char* a, const char* b, std::string* out) {
    if (!a || !b) return false;
    *out = a;
    *out += b;
    return out->size() < size_t(kPathSize);
}

bool ReadWholeFile(const std::string& path, std::vector<char>* data, struct stat* info) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fstat(fd, info) == 0 && S_ISREG(info->st_mode);
    data->clear();
    // Read to the end of the file rather than trusting the size stat reported.
    char chunk[64 * 1024];
    while (ok) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ok = false;
        if (got <= 0) break;
        data->insert(data->end(), chunk, chunk + got);
    }
    close(fd);
    return ok;
}

bool WriteAll(int fd, const std::vector<char>& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t put = write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += size_t(put);
    }
    return true;
}

// Writes data to path through a fresh temporary file in path's folder, renamed into place.
// An existing file at path keeps its permission bits; a new one gets the usual 0666 & ~umask.
bool ReplaceFile(const std::string& path, const std::vector<char>& data) {
    size_t cut = path.rfind('/');
    std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
    if (base.empty()) return false;

    struct stat old {};
    bool hadFile = stat(path.c_str(), &old) == 0;
    if (hadFile && S_ISDIR(old.st_mode)) return false;

    std::string temp;
    int fd = -1;
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".tmp%ld.%u", long(getpid()), ++counter);
        // Short hidden name so long destination names still leave room for it.
        temp = folder + "." + base.substr(0, 64) + suffix;
        if (temp.size() >= size_t(kPathSize)) return false;
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = WriteAll(fd, data);
    if (ok && hadFile && S_ISREG(old.st_mode)) ok = fchmod(fd, old.st_mode & 07777) == 0;
    if (ok) ok = fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

// Folder wrappers: asks the platform into a roomy buffer so a long answer is seen as long rather
// than silently cut, then checks it fits the caller's buffer once the ending is adjusted.
typedef bool (*PlatformFolderProc)(char* out, size_t size);

bool FetchFolder(PlatformFolderProc proc, bool trailingSlash, char* out) {
    if (!out) return false;
    char buf[2 * kPathSize] = {};
    if (!proc(buf, sizeof buf)) return false;
    size_t len = strnlen(buf, sizeof buf);
    if (len == 0 || len == sizeof buf) return false;
    std::string path(buf, len);
    if (trailingSlash) {
        if (path.back() != '/') path += '/';
    } else {
        while (path.size() > 1 && path.back() == '/') path.pop_back();
    }
    return CopyOut(path, out);
}

}  // namespace

bool util_SplitPath(char* folderOut, char* path, char* extOut) {
    if (!path) return false;
    size_t len = std::strlen(path);
    if (len < 2 || len >= size_t(kPathSize)) return false;

    size_t slash = 0, dot = 0;
    for (size_t i = len - 1; i >= 1; --i) {
        if (slash == 0 && path[i] == '/') slash = i;
        if (dot == 0 && path[i] == '.') dot = i;
    }
    if (slash == 0) return false;
    if (dot == 0 && extOut) return false;

    std::string whole(path, len);
    std::string base = dot > slash + 1 ? whole.substr(slash + 1, dot - slash - 1) : std::string();
    if (folderOut) CopyOut(whole.substr(0, slash + 1), folderOut);
    if (extOut) CopyOut(whole.substr(dot), extOut);
    CopyOut(base, path);
    return true;
}

bool util_SplitFolderAndFile(const char* path, char* folderOut, char* fileOut) {
    std::string folder, file;
    bool split = false;
    size_t len = path ? std::strlen(path) : 0;
    if (path && len < size_t(kPathSize)) {
        const char* sep = len > 1 ? std::strchr(path + 1, '/') : nullptr;
        if (sep) {
            folder.assign(path, size_t(sep - path));
            file.assign(sep + 1);
            split = true;
        } else {
            file.assign(path, len);
        }
    }
    if (folderOut) CopyOut(folder, folderOut);
    if (fileOut) CopyOut(file, fileOut);
    return split;
}

bool util_exists(const char* path) {
    if (!path || !*path) return false;
    // O_NONBLOCK keeps a probe of a named pipe from waiting for a writer.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

long util_fileDim(const char* path) {
    if (!path || !*path) return 0;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat info {};
    long size = 0;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) size = long(info.st_size);
    close(fd);
    return size;
}

bool util_CopyFile(const char* srcFolder, const char* srcName, const char* dstFolder,
                   const char* dstName, bool move) {
    std::string src, dst;
    if (!Join(srcFolder, srcName, &src) || !Join(dstFolder, dstName, &dst)) return false;

    std::vector<char> data;
    struct stat srcInfo {};
    if (!ReadWholeFile(src, &data, &srcInfo)) return false;

    // Copying a file onto itself is already done; deleting the "source" would lose it.
    struct stat dstInfo {};
    if (stat(dst.c_str(), &dstInfo) == 0 && dstInfo.st_dev == srcInfo.st_dev &&
        dstInfo.st_ino == srcInfo.st_ino)
        return true;

    if (!ReplaceFile(dst, data)) return false;
    // The copy is complete; a source that can't be deleted stays behind next to a good copy.
    if (move) unlink(src.c_str());
    return true;
}

bool util_CreateFolder(const char* parent, const char* name) {
    if (!parent || !*parent || !name || !*name) return false;
    size_t nameLen = std::strlen(name);
    if (nameLen > kMaxNameLength || std::strchr(name, '/')) return false;

    struct stat info {};
    if (stat(parent, &info) != 0 || !S_ISDIR(info.st_mode)) return false;

    std::string path = parent;
    if (path.back() != '/') path += '/';
    path += name;
    if (path.size() >= size_t(kPathSize)) return false;

    if (mkdir(path.c_str(), 0777) == 0) return true;
    if (errno != EEXIST) return false;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool util_GetPrefsFolder(char* out) {
    return FetchFolder(plat_GetPreferencesFolder, true, out);
}

bool util_GetTempFolder(char* out) {
    return FetchFolder(plat_GetTemporaryItemsFolder, true, out);
}

bool GetResFolder(char* out) {
    return FetchFolder(plat_GetResourcesFolder, false, out);
}

bool util_ResourcePath(const char* name, char* out) {
    char folder[kPathSize];
    if (!name || !GetResFolder(folder)) return false;
    std::string path = std::string(folder) + "/" + name;
    if (path.size() + 1 > kPathSize) return false;
    memcpy(out, path.c_str(), path.size() + 1);
    return true;
}
