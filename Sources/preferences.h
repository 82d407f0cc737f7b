// preferences.h - the settings kept between runs in "Vintrel.preferences", and the welcome window.
#pragma once

#include "platform.h"

extern int showWelcome;
extern int firstTimeLaunch;
extern int previewEnabled;
extern int enableFontPreview;
extern int supportPW5;
extern WindowRef welcomeDialog;

void ReadConfig();
bool WriteConfig();
// WriteConfig, telling the user when the file could not be written (the old one stays).
bool SavePreferences();
extern const char* const kPrefsWriteFailed;
bool CreateWelcomeDialog();
void WelcomeDialogEvent(OSType command);
