// theme_library.h - where the host's themes live, the layout of a theme bundle and the two
// popups that list themes and pictures. Owns the theme and picture names and folders.
#pragma once

#include "platform.h"

extern char themeFolder[1024];     // the host's theme folder, ending in "/"
extern char tempFolder[1024];      // the user's temporary folder, ending in "/"
extern char THEME_EXT[256];        // ".pwtheme" or ".pagewrighttheme"
extern char currentTheme[1024];    // bundle path relative to themeFolder, without THEME_EXT
extern char currentPicture[1024];  // picture relative to the images folder of the mode
extern int allThemes;              // 1 all pictures, 0 editable pictures only
extern int oldThemes;              // allThemes when the theme popup was last filled
extern int total_themes;
extern const char fFormat[16][5];

// Sets THEME_EXT from supportPW5.
void SetThemeExtension();
bool util_GetThemeFolder(char* out);
int util_FillThemeMenu(WindowRef w, int controlId, const char* root, char* selected, const char* ext);
// Lists the themes in folder and its plain subfolders (depth first); returns total_themes.
int sub_util_FillThemeMenu(WindowRef w, int controlId, const char* root, const char* folder,
                           char* selected, const char* ext);
bool util_IsValid(const char* root, const char* theme);
int util_FillPictureMenu(WindowRef w, int controlId, const char* root, const char* theme, const char* selected);
// Appends the pictures directly inside folder as items start+1, start+2, ..., each named
// prefix + file name; returns the last item number used (start when none was added).
int util_FillPictureSubMenu(WindowRef w, int controlId, int start, const char* folder,
                            const char* prefix, const char* selected);
