// switching.h - changing the theme or the picture being edited, with the questions asked before
// unsaved work is thrown away, and the canvas title that names the picture. A change whose
// question is cancelled leaves the picture mode, the theme extension, the popups and the flags
// exactly as they were.
#pragma once

// False when the user cancelled (the theme change then changed nothing).
bool HandleThemeChange(bool silent);
bool HandlePictureChange(bool silent);
void ShowLayerTitle();

// Asks before unsaved layers are thrown away (closing the canvas or the picture, opening a
// project); true when nothing is unsaved or the user confirmed.
bool ConfirmDiscardWork();

// The Tools window's picture mode ('pAll' mode 1, 'pPre' mode 0) and theme choice ('p100'), and
// the theme-extension option ('sThe', check mark in menu); false when the user cancelled.
bool ChangePictureMode(int mode);
bool ChooseTheme();
bool ToggleThemeExtension(int menu);

// Start-up: loads the picture of the last run in place of the start picture when theme and
// picture (the names read from the preferences) are still installed and chosen in the popups.
void RestoreLastPicture(const char* theme, const char* picture);
