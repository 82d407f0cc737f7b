// fuzz_preferences.cpp - the settings file reader, into buffers of the program's sizes.
// The ordinary test run links this file too, under a name of its own, to replay tests/corpus.
#ifndef FUZZ_ENTRY
#define FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

#include <cstring>

#include "fuzz_file.h"
#include "preferences_format.h"
#include "util_files.h"

extern "C" int FUZZ_ENTRY(const uint8_t* data, size_t size) {
    int a = 1, b = 1, c = 1, d = 1, e = 0, g = 0;
    char theme[kPathSize] = "", picture[kPathSize] = "";
    FILE* f = FuzzFile(data, size);
    ReadConfigFields(f, {&a, &b, &c, &d, theme, picture, &e, &g});
    fclose(f);
    // The names stay terminated strings within their buffers.
    if (strnlen(theme, kPathSize) == kPathSize || strnlen(picture, kPathSize) == kPathSize) abort();
    return 0;
}
