// preferences.cpp - "Vintrel.preferences": a small binary file of 32-bit little-endian integers
// and length-prefixed strings, read at start-up and written at quit.
#include "preferences.h"

#include <cstdio>
#include <sys/stat.h>
#include <cstring>
#include <vector>

#include "ids.h"
#include "preferences_format.h"
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
    ReadConfigFields(f, {&showWelcome, &allThemes, &firstTimeLaunch, &previewEnabled, currentTheme,
                         currentPicture, &enableFontPreview, &supportPW5});
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
    return plat_WriteFileAtomically(path, b.data(), b.size());
}

const char* const kPrefsWriteFailed = "Unable to save the preferences";

bool SavePreferences() {
    if (WriteConfig()) return true;
    util_MessageBox(false, kPrefsWriteFailed);
    return false;
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
        SavePreferences();
    } else if (command == FourCC("p124")) {
        plat_OpenURL("https://www.pagewright-themes.example/vintrel/themes");
    }
}
