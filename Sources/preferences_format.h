// preferences_format.h - reading the bytes of "Vintrel.preferences": 32-bit little-endian
// integers and length-prefixed strings. Pure parsing over an open file, shared by the program
// (preferences.cpp) and the fuzz target. Owns no globals.
#pragma once

#include <cstdio>

// Where each setting goes; theme and picture are buffers of kPathSize bytes.
struct ConfigFields {
    int* showWelcome;
    int* allThemes;
    int* firstTimeLaunch;
    int* previewEnabled;
    char* theme;
    char* picture;
    int* enableFontPreview;
    int* supportPW5;
};

// Reads the settings in file order. Fields read before an early end or a refused string take
// effect; the rest keep their values. True when every field was read.
bool ReadConfigFields(FILE* f, const ConfigFields& out);
