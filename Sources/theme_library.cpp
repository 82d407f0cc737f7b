// theme_library.cpp - the theme folder and the theme and picture names.
#include "theme_library.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

#include "preferences.h"
#include "util_files.h"

#ifndef VINTREL_HOST_CONTAINER_ID
#define VINTREL_HOST_CONTAINER_ID "com.pagewright.Pagewright"
#endif

char themeFolder[1024] = "";
char tempFolder[1024] = "";
char THEME_EXT[256] = ".pagewrighttheme";
char currentTheme[1024] = "?";
char currentPicture[1024] = "";
int allThemes = 1;
int oldThemes = 0;
int total_themes = 0;
const char fFormat[16][5] = {".bmp", ".BMP", ".gif", ".GIF", ".jpg", ".JPG", ".jpe", ".JPE",
                             ".pdf", ".PDF", ".png", ".PNG", ".tga", ".TGA", ".pic", ".PIC"};

void SetThemeExtension() { strcpy(THEME_EXT, supportPW5 ? ".pwtheme" : ".pagewrighttheme"); }

bool util_GetThemeFolder(char* out) {
    char library[kPathSize];
    if (!plat_GetUserLibraryFolder(library, sizeof library)) return false;
    size_t n = strlen(library);
    if (n > 1 && library[n - 1] == '/') library[n - 1] = 0;
    char composed[kPathSize];
    int len = snprintf(composed, sizeof composed, "%s/Containers/%s/Data/Library/Application Support/Pagewright",
                       library, VINTREL_HOST_CONTAINER_ID);
    if (len < 0 || len >= int(sizeof composed)) return false;
    printf("\n>>> origin path is %s", composed);
    fflush(stdout);
    strcpy(out, composed);

    DIR* dir = opendir(composed);
    if (!dir) return true;
    // The first entry's resolved path, cut at its last "/", is the folder's real location (the
    // container path may be a link).
    int seen = 0;
    bool found = false;
    while (struct dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        if (++seen > 5) break;
        char entry[kPathSize + 256], real[PATH_MAX];
        snprintf(entry, sizeof entry, "%s/%s", composed, e->d_name);
        if (!realpath(entry, real)) continue;
        size_t rl = strlen(real);
        if (rl > 0 && real[rl - 1] == '/') real[rl - 1] = 0;
        else {
            char* slash = strrchr(real + 1, '/');
            if (!slash) continue;
            *slash = 0;
        }
        if (strlen(real) + 2 > kPathSize) continue;
        snprintf(out, kPathSize, "%s/", real);
        found = true;
        break;
    }
    closedir(dir);
    if (found || seen == 0) printf("\n>>> main path is %s", out);
    fflush(stdout);
    return true;
}
