// project_file.cpp - the project file (".vntr"): the whole layer stack with the embedded layer
// pictures. SaveProject writes it, LoadProject opens it on its own theme and picture or imports
// its layers onto the picture being edited, ExplodeProject unpacks the embedded pictures into a
// folder. Owns currProject and currProjectSaved.
//
// The format: 32-bit little-endian integers and IEEE floats, one-byte flags, strings as a 32-bit
// length and that many bytes. A header (version, theme, picture, base size) is followed by layer
// records until the end of the file. Version 4 is written. Any version is read: a version of 1
// or lower has the fields of version 1, one of 4 or higher those of version 4.
//
// A project is untrusted input. Every length is checked against its limit and against the bytes
// left in the file before anything is read or allocated; a record is read whole and checked
// before its slot is touched, so a damaged record leaves its slot free and reset and ends the
// walk. Layer names become file names only after they are reduced to one harmless path
// component. Files are written under a temporary name beside the target and renamed into place,
// so a failed write never damages an existing file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "history.h"
#include "ids.h"
#include "layer_ops.h"
#include "layer_table.h"
#include "navigation.h"
#include "pixel_ops.h"
#include "project_reader.h"
#include "switching.h"
#include "textures.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

// Rebuilds a text layer's texture from the record in slot (the text layers module).
void CreateStringFromProject(int slot);

char currProject[1024] = "";
bool currProjectSaved = false;
const char* const kProjectSaveFailed = "Unable to save the project";

namespace {

const int32_t kProjectVersion = 4;
// Results of LoadProject and ExplodeProject besides noErr, fnfErr (file or theme picture missing)
// and paramErr (not a project, damaged, nothing to load onto).
const int kUserCanceled = -128;   // a dialog was cancelled
const int kWriteFailed = -36;     // a picture could not be written out
// A file name made from a layer name is kept well below the file system's 255 bytes.
const size_t kMaxFileNameBytes = 200;

const char* kThemeMissing =
    "The Theme \"%s\" referred in the Project \"%s\" is not currently available. However you can "
    "apply this Project on any Image by selecting \"Load Project\"";
const char* kPictureMissing =
    "The Image \"%s\" referred in the Project \"%s\" is not currently available. However you can "
    "apply this Project on any Image by selecting \"Load Project\"";

// The reading of the format lives in project_reader.cpp, shared with the fuzz target.
using Reader = ProjectReader;
using Header = ProjectHeader;
using Walk = ProjectWalk;
inline bool ReadHeadStart(Reader& r, Header& h) { return ReadProjectHeadStart(r, h); }
inline bool ReadHeadRest(Reader& r, Header& h) { return ReadProjectHeadRest(r, h); }
inline Walk ReadRecord(Reader& r, int version, TexImage& t, uint32_t* component) {
    return ReadProjectRecord(r, version, t, component);
}

// ---------------------------------------------------------------------------------------------
// Writing files: a fresh file beside the target, renamed over it when complete.

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Creates a new file in folder that nothing else can have opened; its path goes to *path.
int CreateScratchFile(const std::string& folder, std::string* path) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[64];
        snprintf(name, sizeof name, ".vntr-%ld-%u.part", long(getpid()), ++counter);
        *path = folder + name;
        int fd = open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// A file written beside its target and renamed over it when complete. The finished file keeps
// the permissions of the file it replaces, or gets those of a new file.
class AtomicFile {
public:
    bool Open(const std::string& target) {
        target_ = target;
        // A file its owner made read-only is not replaced (the picture writes refuse it too).
        struct stat existing;
        if (lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) && access(target.c_str(), W_OK) != 0)
            return false;
        int fd = CreateScratchFile(FolderOf(target), &scratch_);
        if (fd < 0) return false;
        struct stat st;
        if (lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
        f_ = fdopen(fd, "wb");
        if (!f_) {
            close(fd);
            unlink(scratch_.c_str());
        }
        return f_ != nullptr;
    }
    bool Write(const void* p, size_t n) {
        if (n && fwrite(p, 1, n, f_) != n) failed_ = true;
        return !failed_;
    }
    // Puts the file in place; false (and the target untouched) when any write failed.
    bool Commit() {
        bool ok = !failed_ && fflush(f_) == 0 && fsync(fileno(f_)) == 0;
        ok = fclose(f_) == 0 && ok;
        f_ = nullptr;
        if (ok && rename(scratch_.c_str(), target_.c_str()) == 0) return true;
        unlink(scratch_.c_str());
        return false;
    }
    ~AtomicFile() {
        if (f_) {
            fclose(f_);
            unlink(scratch_.c_str());
        }
    }

private:
    FILE* f_ = nullptr;
    std::string target_, scratch_;
    bool failed_ = false;
};

// Copies the next size bytes of the project into a new file at target. The reader always ends
// up after those bytes when they were there to read.
bool ExtractComponent(Reader& r, uint32_t size, const std::string& target) {
    AtomicFile out;
    bool ok = target.size() < kPathSize && out.Open(target);
    std::vector<uint8_t> chunk(64 * 1024);
    uint32_t left = size;
    while (left > 0) {
        size_t n = left < chunk.size() ? left : chunk.size();
        if (!r.Raw(chunk.data(), n)) return false;
        if (ok) ok = out.Write(chunk.data(), n);
        left -= uint32_t(n);
    }
    return ok && out.Commit();
}

// The file name for a layer name taken from a project: its last path component without leading
// dots, shortened (keeping a short extension) when very long, "layer" when nothing is left.
// It can never name a folder other than the one it is joined to.
std::string SafeFileName(const char* layerName) {
    std::string s = layerName;
    size_t slash = s.rfind('/');
    if (slash != std::string::npos) s = s.substr(slash + 1);
    size_t first = s.find_first_not_of('.');
    s = first == std::string::npos ? std::string() : s.substr(first);
    if (s.size() > kMaxFileNameBytes) {
        size_t dot = s.rfind('.');
        std::string ext = dot != std::string::npos && s.size() - dot <= 16 ? s.substr(dot) : "";
        s = s.substr(0, kMaxFileNameBytes - ext.size()) + ext;
    }
    return s.empty() ? std::string("layer") : s;
}

bool PathOfLayerInUse(const std::string& path) {
    for (int s = kFirstLayer; s <= kLastLayer; ++s)
        if (texImages[s].texture && path == texImages[s].path) return true;
    return false;
}

// Where a component of the given file name goes in the temporary folder: tempFolder + name,
// unless a layer on the canvas already refers to that file; then a fresh private subfolder,
// so that every layer keeps its own file (and the name it had) for a later save.
bool TemporaryTarget(const std::string& fileName, std::string* target) {
    if (!tempFolder[0]) return false;   // never the current folder
    *target = std::string(tempFolder) + fileName;
    if (!PathOfLayerInUse(*target)) return target->size() < kPathSize;
    std::string tmpl = std::string(tempFolder) + "vntr-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) return false;
    *target = std::string(buf.data()) + "/" + fileName;
    return target->size() < kPathSize;
}

// ---------------------------------------------------------------------------------------------
// Saving.

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xff));
}
void PutI32(std::string& out, int32_t v) {
    uint32_t u;
    memcpy(&u, &v, 4);
    PutU32(out, u);
}
void PutF32(std::string& out, float v) {
    uint32_t u;
    memcpy(&u, &v, 4);
    PutU32(out, u);
}
void PutFlag(std::string& out, bool v) { out.push_back(v ? 1 : 0); }
void PutStr(std::string& out, const char* s, size_t capacity) {
    size_t n = strnlen(s, capacity - 1);
    PutU32(out, uint32_t(n));
    out.append(s, n);
}

// The layer record of the current version, without the component.
std::string RecordBytes(const TexImage& t) {
    std::string b;
    PutStr(b, t.name, sizeof t.name);
    for (int32_t v : {t.width, t.height, t.depth, t.posX, t.posY, t.rotX, t.rotY, t.rotZ, t.channels})
        PutI32(b, v);
    PutF32(b, t.scaleX);
    PutF32(b, t.scaleY);
    PutF32(b, t.alpha);
    PutFlag(b, t.shadow);
    for (float v : {t.shadowAngle, t.shadowOffset, t.shadowDarkness, t.hue, t.saturation, t.lightness})
        PutF32(b, v);
    PutFlag(b, t.frame);
    PutI32(b, t.frameSize);
    for (float v : {t.frameColorR, t.frameColorG, t.frameColorB, t.fillR, t.fillG, t.fillB, t.reflection})
        PutF32(b, v);
    PutI32(b, t.texWidth);
    PutI32(b, t.texHeight);
    PutFlag(b, t.isText);
    PutI32(b, t.fontSize);
    PutI32(b, t.outlined);
    for (float v : {t.textR, t.textG, t.textB}) PutF32(b, v);
    PutStr(b, t.fontText, sizeof t.fontText);
    PutStr(b, t.fontName, sizeof t.fontName);
    PutF32(b, t.maskRadius);
    PutI32(b, t.mask);
    PutI32(b, t.maskAngle);
    PutFlag(b, t.maskFit);
    return b;
}

// The whole picture file of a layer; false when it can't be read (or could not be stored).
bool ReadComponent(const char* path, std::string* bytes) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    struct stat st;
    bool ok = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= UINT32_MAX;
    if (ok) {
        bytes->resize(size_t(st.st_size));
        ok = bytes->empty() || fread(&(*bytes)[0], 1, bytes->size(), f) == bytes->size();
    }
    fclose(f);
    return ok;
}

// Theme + "-" + picture without its last four characters + ".vntr"; a picture name too short
// to lose four characters is kept whole, and "/" (a theme or picture subfolder) becomes "-" so
// that the suggestion stays a file name.
std::string DefaultProjectName() {
    std::string picture = currentPicture;
    if (picture.size() > 4) picture.resize(picture.size() - 4);
    std::string name = currentTheme;
    if (!picture.empty()) name += (name.empty() ? "" : "-") + picture;
    if (name.empty()) name = "project";
    for (char& c : name)
        if (c == '/') c = '-';
    return name + ".vntr";
}

// ---------------------------------------------------------------------------------------------
// Loading.

// Open mode, steps before any layer is read: the project's theme and picture become the ones
// being edited. False (after the message) when either is not installed.
bool SwitchToProjectPicture(const Header& h, const char* projectPath) {
    char text[4096];
    if (!util_SelectMenuByString(dialog, kThemePopup, h.theme)) {
        snprintf(text, sizeof text, kThemeMissing, h.theme, projectPath);
        util_MessageBox(false, text);
        return false;
    }
    // The project's picture replaces the picture and its layers: unsaved work is asked about.
    if (!ConfirmDiscardWork()) {
        util_SelectMenuByString(dialog, kThemePopup, currentTheme);
        return false;
    }
    HandleThemeChange(true);
    EnableSubControls();
    std::string editable = std::string("Editable_Images") + "/" + h.picture;
    if (!util_SelectMenuByString(dialog, kPicturePopup, h.picture) &&
        !util_SelectMenuByString(dialog, kPicturePopup, editable.c_str())) {
        snprintf(text, sizeof text, kPictureMissing, h.picture, projectPath);
        util_MessageBox(false, text);
        return false;
    }
    HandlePictureChange(true);
    EnableSubControls();
    return true;
}

// Puts the picture or text of the record now in slot on the canvas; false (slot as it was) when
// that fails. For a picture layer the component is first written to the temporary folder.
bool MaterialiseLayer(Reader& r, int slot, const TexImage& record, uint32_t component, bool* readFailed) {
    TexImage& t = texImages[slot];
    TexImage before;
    memcpy(&before, &t, sizeof before);
    std::string target;
    if (!record.isText) {
        std::string fileName = SafeFileName(record.name);
        bool placed = TemporaryTarget(fileName, &target);
        uint64_t leftBefore = r.Left();
        bool written = placed && ExtractComponent(r, component, target);
        // Whatever happened to the copy, the reader must stand after the component.
        uint64_t consumed = leftBefore - r.Left();
        if (consumed < component && !r.Skip(component - consumed)) *readFailed = true;
        if (!written) {
            printf("\n(LOAD)component <%s> could not be written", fileName.c_str());
            return false;
        }
    }
    memcpy(&t, &record, sizeof t);
    t.texture = 0;
    t.pixels = nullptr;
    t.depth = NewPos(slot);
    bool ok;
    if (t.isText) {
        CreateStringFromProject(slot);
        ok = t.texture != 0;
    } else {
        printf("\n(LOAD)SAVING %s\nNAME %s", target.c_str(), record.name);
        ok = LoadTexture(target.c_str(), slot, true, false);
    }
    if (!ok) {
        DeleteTexture(slot);
        memcpy(&t, &before, sizeof t);
    }
    return ok;
}

// The record's look that loading the pixels reset: position, fill, size and colour matrix.
void RestoreLayerLook(int slot, bool reposition) {
    TexImage& t = texImages[slot];
    if (reposition) {
        currentLayer = slot;
        PositionImage();
    }
    if (t.fillR > -1.0f && t.fillG > -1.0f && t.fillB > -1.0f) {
        // The fill goes through the colour drawer, which resets the colour adjustments of the
        // selected layer; the record's own adjustments are put back afterwards.
        float hue = t.hue, saturation = t.saturation, lightness = t.lightness;
        ChangeTextureColor(slot, int(t.fillR), int(t.fillG), int(t.fillB));
        t.hue = hue;
        t.saturation = saturation;
        t.lightness = lightness;
    }
    t.width = int32_t(float(t.texWidth) * t.scaleX);
    t.height = int32_t(float(t.texHeight) * t.scaleY);
    t.originX = t.posX;
    t.originY = t.posY;
    ApplyColorMatrix(slot);
}

struct FileCloser {
    FILE* f;
    ~FileCloser() {
        if (f) fclose(f);
    }
};

}  // namespace

void SaveProject(const char* path) {
    char target[kPathSize] = "";
    if (!path || !currProjectSaved) {
        snprintf(target, sizeof target, "%s", DefaultProjectName().c_str());
        if (!HandleSaveProject(target)) return;
    } else {
        snprintf(target, sizeof target, "%s", path);
    }
    snprintf(currProject, sizeof currProject, "%s", target);
    AtomicFile out;
    if (!out.Open(target)) {
        currProjectSaved = false;   // currProject names a file that does not hold this work
        util_MessageBox(false, kProjectSaveFailed);
        return;
    }

    std::string head;
    PutI32(head, kProjectVersion);
    PutStr(head, currentTheme, sizeof currentTheme);
    PutStr(head, currentPicture, sizeof currentPicture);
    PutI32(head, texImages[0].width);
    PutI32(head, texImages[0].height);
    out.Write(head.data(), head.size());

    for (int s = kFirstLayer; s <= kLastLayer; ++s) {
        const TexImage& t = texImages[s];
        if (!t.texture) continue;
        std::string component;
        if (!t.isText && !ReadComponent(t.path, &component)) continue;
        printf("\nprocessing component %d <%s> optional text <%s>", s, t.name, t.fontText);
        std::string record = RecordBytes(t);
        if (!t.isText) PutU32(record, uint32_t(component.size()));
        out.Write(record.data(), record.size());
        out.Write(component.data(), component.size());
    }
    // A failed write (a full disk, a size limit) leaves the previous file and says so.
    currProjectSaved = out.Commit();
    if (!currProjectSaved) util_MessageBox(false, kProjectSaveFailed);
}

int LoadProject(const char* path, bool open) {
    if (!open && !themeLoaded) return paramErr;
    currProjectSaved = false;
    char chosen[kPathSize] = "";
    if (path) snprintf(chosen, sizeof chosen, "%s", path);
    else if (!HandleLoadProject(chosen)) return kUserCanceled;

    FileCloser file{fopen(chosen, "rb")};
    if (!file.f) return fnfErr;
    Reader r(file.f);
    Header h;
    // The whole header is read before anything changes, so a damaged one changes nothing.
    if (!ReadHeadStart(r, h) || !ReadHeadRest(r, h)) {
        printf("\n(LOAD)%s is not a project this program can read", chosen);
        return paramErr;
    }
    if (open && !SwitchToProjectPicture(h, chosen)) return fnfErr;
    if (!texImages[0].texture) return paramErr;   // no picture to put the layers on

    bool reposition = snapActive != 0 && (texImages[0].width < h.width || texImages[0].height < h.height);
    int last = 0;
    bool ended = false, damaged = false;
    for (int slot = kFirstLayer; slot <= kLastLayer && !ended; ++slot) {
        if (texImages[slot].texture) continue;
        for (;;) {
            printf("\nprocessing component %d <%s>", slot, texImages[slot].name);
            TexImage record;
            memcpy(&record, &texImages[slot], sizeof record);
            uint32_t component = 0;
            Walk w = ReadRecord(r, h.version, record, &component);
            if (w != Walk::Record) {
                ended = true;
                damaged = w == Walk::Refused;
                if (damaged) printf("\n(LOAD)damaged layer record: the rest is left out");
                break;
            }
            bool readFailed = false;
            bool loaded = MaterialiseLayer(r, slot, record, component, &readFailed);
            if (loaded) {
                RestoreLayerLook(slot, reposition);
                last = slot;
            }
            if (readFailed) ended = damaged = true;
            if (loaded || ended) break;
            // A layer that could not be put on the canvas is left out; the next record gets
            // this slot.
        }
    }
    fclose(file.f);
    file.f = nullptr;

    // A damaged file that gave no layer leaves the work as it was.
    if (damaged && last == 0) return paramErr;
    // Replacing the last loaded layer by a duplicate of itself refreshes the popup and controls.
    // When the project filled every slot there is no room for the duplicate: the last layer
    // stays (it must not be deleted without its copy) and the refresh is done directly.
    currentLayer = last;
    if (DuplicateLayer(-1, true) != 0) {
        currentLayer = last;
        HandleDeleteLayer();
    } else if (last != 0) {
        currentLayer = last;
        util_SetControl(dialog, kLayerPopup, last);
        EnableSubControls();
        EnableSubLayerControls(true);
        MarkModified();
    }
    // An opened project starts a new history, its loading included (in an event the forgetting
    // waits for the event's end; a document event has none).
    if (open) HistoryClear();
    RenderImages(true, -1.0f);
    return damaged ? paramErr : noErr;
}

int ExplodeProject(const char* path) {
    char chosen[kPathSize] = "";
    if (path) snprintf(chosen, sizeof chosen, "%s", path);
    else if (!HandleLoadProject(chosen)) return kUserCanceled;
    FileCloser file{fopen(chosen, "rb")};
    if (!file.f) return fnfErr;
    Reader r(file.f);
    Header h;
    if (!ReadHeadStart(r, h)) return paramErr;
    char folder[kPathSize] = "";
    std::string suggested = std::string("images_for_") + h.theme;
    if (!HandleSaveFolder(folder, suggested.c_str())) return kUserCanceled;
    if (!ReadHeadRest(r, h)) return paramErr;

    int result = noErr;
    for (;;) {
        TexImage record{};   // only the name, the kind of layer and the component are used
        uint32_t component = 0;
        Walk w = ReadRecord(r, h.version, record, &component);
        if (w == Walk::Refused) {
            printf("\n(EXPLODE)damaged layer record: the rest is left out");
            result = paramErr;
        }
        if (w != Walk::Record) break;
        if (record.isText) continue;
        std::string target = std::string(folder) + SafeFileName(record.name);
        printf("\n(EXPLODE)SAVING %s\nNAME %s", target.c_str(), record.name);
        uint64_t leftBefore = r.Left();
        bool written = ExtractComponent(r, component, target);
        uint64_t consumed = leftBefore - r.Left();
        if (!written) {
            printf("\n(EXPLODE)%s could not be written", target.c_str());
            if (result == noErr) result = kWriteFailed;
        }
        if (consumed < component && !r.Skip(component - consumed)) return paramErr;
    }
    return result;
}
