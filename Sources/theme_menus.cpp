// theme_menus.cpp - filling the theme and picture popups from the theme folder.
#include "theme_library.h"

int util_FillThemeMenu(WindowRef, int, const char*, char*, const char*) { return 0; }
bool util_IsValid(const char*, const char*) { return false; }
int util_FillPictureMenu(WindowRef, int, const char*, const char*, const char*) { return 0; }
