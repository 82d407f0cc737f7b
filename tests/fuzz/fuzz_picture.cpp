// fuzz_picture.cpp - the picture loader: LoadImage (format by content from the allow-list, the
// size limit before decoding, the decoders) over the input as a file. A picture it returns has a
// real size within the limit and its pixels are all there.
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "fuzz_file.h"
#include "picture_files.h"
#include "platform_codecs.h"

// What picture_files.cpp takes from the rest of the program, outside the loading path.
int exportQuality = 3;
bool util_GetTempFolder(char*) { return false; }
void plat_Log(const char*, ...) {}
void plat_FourCCText(OSType code, char out[5]) {
    for (int i = 0; i < 4; ++i) out[i] = char((code >> (24 - 8 * i)) & 0xff);
    out[4] = 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    long w = 0, h = 0;
    int channels = 0;
    unsigned long type = 0;
    unsigned char* pixels = LoadImage(FuzzPath(data, size), &w, &h, &channels, &type);
    if (!pixels) return 0;
    if (w <= 0 || h <= 0 || int64_t(w) * h > kMaxImagePixels || channels != 4 || type == 0) abort();
    // Every byte is readable (ASan reports a short buffer).
    volatile unsigned sum = 0;
    for (size_t i = 0; i < size_t(w) * h * 4; i += 61) sum += pixels[i];
    sum += pixels[size_t(w) * h * 4 - 1];
    free(pixels);
    return 0;
}
