// preferences.cpp - "Vintrel.preferences": a small binary file of 32-bit little-endian integers
// and length-prefixed strings, read at start-up and written at quit.
#include "preferences.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>
#include <string>
#include <vector>

#include "ids.h"
#include "theme_library.h"
#include "util_controls.h"
#include "util_files.h"

int showWelcome = 1;
int firstTimeLaunch = 1;
int previewEnabled = 1;
int enableFontPreview = 0;
int supportPW5 = 0;
WindowRef welcomeDialog = nullptr;

namespace {

const char* kFileName = "Vintrel.preferences";
const int kReservedWords = 47;
const uint32_t kMaxName = 1023;

bool PrefsPath(char* out) {
    char folder[kPathSize];
    if (!util_GetPrefsFolder(folder)) return false;
    return snprintf(out, kPathSize, "%s%s", folder, kFileName) < kPathSize;
}

class Reader {
public:
    explicit Reader(FILE* f) : f_(f) {}
    bool Int(int* v) {
        uint8_t b[4];
        if (fread(b, 1, 4, f_) != 4) return false;
        *v = int(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
        return true;
    }
    // A string into out (kPathSize bytes); lengths beyond the name limit are refused.
    bool String(char* out) {
        int n;
        if (!Int(&n) || uint32_t(n) > kMaxName) return false;
        char buf[kPathSize];
        if (n > 0 && fread(buf, 1, size_t(n), f_) != size_t(n)) return false;
        buf[n] = 0;
        if (out) memcpy(out, buf, size_t(n) + 1);
        return true;
    }
private:
    FILE* f_;
};

void PutInt(std::vector<uint8_t>& b, int v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}
void PutString(std::vector<uint8_t>& b, const char* s) {
    size_t n = strnlen(s, kMaxName);
    PutInt(b, int(n));
    b.insert(b.end(), s, s + n);
}

}  // namespace

void ReadConfig() {
    char path[kPathSize];
    if (!PrefsPath(path)) return;
    FILE* f = fopen(path, "rb");
    if (!f) return;
    Reader r(f);
    int reserved;
    // Fields read before an early end take effect; the rest keep their defaults.
    bool ok = r.Int(&showWelcome) && r.Int(&allThemes) && r.Int(&firstTimeLaunch) && r.Int(&previewEnabled);
    for (int i = 0; ok && i < kReservedWords; ++i) ok = r.Int(&reserved);
    ok = ok && r.String(nullptr) && r.String(currentTheme) && r.String(currentPicture) && r.String(nullptr) &&
         r.Int(&enableFontPreview) && r.Int(&supportPW5);
    fclose(f);
    plat_CheckMenuItem(kMenuOptions, kItemShortExtension, supportPW5 != 0);
    plat_CheckMenuItem(kMenuOptions, kItemPreviews, previewEnabled != 0);
    plat_CheckMenuItem(kMenuOptions, kItemFontPreview, enableFontPreview != 0);
}

bool WriteConfig() {
    char path[kPathSize];
    if (!PrefsPath(path)) return false;
    firstTimeLaunch = 0;
    std::vector<uint8_t> b;
    PutInt(b, showWelcome);
    PutInt(b, allThemes);
    PutInt(b, 0);
    PutInt(b, previewEnabled);
    for (int i = 0; i < kReservedWords; ++i) PutInt(b, 0);
    PutString(b, "");
    PutString(b, currentTheme);
    PutString(b, currentPicture);
    PutString(b, "");
    PutInt(b, enableFontPreview);
    PutInt(b, supportPW5);
    // Written beside the file and renamed into place, so a failed write keeps the old settings.
    char folder[kPathSize];
    if (util_GetPrefsFolder(folder)) mkdir(folder, 0700);
    // Whatever goes by the temporary name (a leftover, or a link planted to have another file
    // overwritten) is removed, and the file is then created anew: "x" never opens an existing
    // name and so never follows a link.
    std::string tmp = std::string(path) + ".tmp";
    unlink(tmp.c_str());
    FILE* f = fopen(tmp.c_str(), "wbx");
    if (!f) return false;
    bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path) != 0) {
        remove(tmp.c_str());
        return false;
    }
    return true;
}

bool CreateWelcomeDialog() {
    if (welcomeDialog && plat_IsWindowVisible(welcomeDialog)) return false;
    if (!welcomeDialog) {
        IBNibRef nib = plat_CreateNibReference("main");
        if (!nib) return false;
        int r = plat_CreateWindowFromNib(nib, "Window", &welcomeDialog);
        plat_DisposeNibReference(nib);
        if (r != noErr) return false;
    }
    plat_ShowWindow(welcomeDialog);
    util_SetControl(welcomeDialog, kWelcomeCheck, showWelcome);
    return true;
}

void WelcomeDialogEvent(OSType command) {
    if (command == FourCC("p123")) {
        showWelcome = util_GetControl(welcomeDialog, kWelcomeCheck) != 0;
        WriteConfig();
    } else if (command == FourCC("p124")) {
        plat_OpenURL("https://www.pagewright-themes.example/vintrel/themes");
    }
}
