// picture_files.cpp - reading picture files into the layer form, writing the writer form, the
// numbered temporary PNG files, and the in-place pixel-order conversions between the forms.
//
// Decoding and encoding are the platform's (platform_codecs.h): formats recognised by content from
// an allow-list, sizes limited before decoding, files replaced atomically.
#include "picture_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform_codecs.h"
#include "tools_window.h"
#include "util_files.h"

namespace {

// The writer's quality scale runs from 0 (minimum) to 1023 (maximum); 1024 means lossless.
const int kQualityNormal = 512;

// The JPEG quality picked by the export quality step of the Tools window (1..5).
int JpegQuality(int step) {
    switch (step) {
    case 1: return 0;
    case 2: return 256;
    case 3: return 512;
    case 4: return 768;
    case 5: return 1023;
    default: return kQualityNormal;
    }
}

// Whether anything at all (file, folder, link, even a dangling one) goes by the name path.
bool NameTaken(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

}  // namespace

unsigned char* LoadImage(const char* path, long* width, long* height, int* channels, unsigned long* type) {
    plat_Log("\nloading image %s", path ? path : "");
    uint8_t* pixels = nullptr;
    int w = 0, h = 0;
    OSType code = 0;
    int status = plat_DecodeImageBuffer(path, kMaxImagePixels, &pixels, &w, &h, &code);
    // No code: missing, not an allowed picture format, or too large - refused before decoding.
    if (code == 0) return nullptr;
    char text[5];
    plat_FourCCText(code, text);
    plat_Log("\n... image type is %s", text);
    if (status != noErr) return nullptr;
    // Some decoders name their formats 'PNG ' and 'JPG '; the program knows them as 'PNGf' and 'JPEG'.
    if (strstr(text, "PNG ")) {
        code = FourCC("PNGf");
        plat_Log("\n**WARNING** wrong PNG file format: coherced");
    }
    if (strstr(text, "JPG ")) {
        code = FourCC("JPEG");
        plat_Log("\n**WARNING** wrong JPG file format: coherced");
    }
    if (width) *width = w;
    if (height) *height = h;
    if (channels) *channels = 4;
    if (type) *type = code;
    return pixels;
}

namespace {

// The quality the writer is given: the chosen export quality for JPEG, the normal one otherwise.
int QualityFor(unsigned long type) { return type == FourCC("JPEG") ? JpegQuality(exportQuality) : kQualityNormal; }

// QTSave's code for the platform's result, with its log lines. The platform checks the target
// first, then the buffer, then the writer, and writes only when all three are good: no
// placeholder file is ever created.
int SaveCode(int result) {
    if (result == kEncodeBadTarget) {
        plat_Log("\n...QTSave :: util_GetFSSpec failed\n");
        return 1;
    }
    plat_Log("\n...QTSave :: building QTNewGWorldFromPtr....\n");
    switch (result) {
    case kEncodeDone:
        plat_Log("\n...QTSave :: no error detected\n");
        return 0;
    case kEncodeBadPixels:
        plat_Log("\n...QTSave :: QTNewGWorldFromPtr failed\n");
        return 2;
    case kEncodeNoWriter:
        plat_Log("\n...QTSave :: OpenADefaultComponent failed\n");
        return 3;
    default:   // the encoder or the final rename failed: the file could not be created
        plat_Log("\n...QTSave :: util_GetFSSpec failed\n");
        return 1;
    }
}

}  // namespace

int QTSave(const char* path, unsigned char* pixels, int width, int height, unsigned long type) {
    return SaveCode(plat_EncodeImage(path, pixels, width, height, OSType(type), QualityFor(type)));
}

int QTSaveRows(const char* path, int width, int height, unsigned long type, const PlatRowReader& read) {
    return SaveCode(plat_EncodeImageRows(path, width, height, OSType(type), QualityFor(type), read));
}

void SaveTempImage(char* outPath, const char* prefix, unsigned char* pixels, int width, int height, int channels) {
    if (!outPath || !pixels || width <= 0 || height <= 0 || channels != 4) return;
    if (int64_t(width) * height > kMaxImagePixels) return;
    if (!prefix) prefix = "";
    char folder[kPathSize];
    if (!util_GetTempFolder(folder)) return;
    char path[kPathSize];
    for (int n = 1;; ++n) {
        int length = snprintf(path, sizeof path, "%s%s%d.png", folder, prefix, n);
        if (length < 0 || length >= int(sizeof path) || n == 0x7fffffff) return;
        if (!NameTaken(path)) break;
    }
    size_t size = size_t(width) * height * 4;
    auto* copy = static_cast<unsigned char*>(malloc(size));
    if (!copy) return;
    memcpy(copy, pixels, size);
    plat_Log("\nsaving %s", path);
    util_swapBGRA(copy, int(size), channels);
    if (QTSave(path, copy, width, height, FourCC("PNGf")) == 0) memcpy(outPath, path, strlen(path) + 1);
    free(copy);
}

void util_flip(void* buffer, int width, int height, int channels) {
    if (!buffer || width <= 0 || height <= 1 || channels <= 0) return;
    size_t row = size_t(width) * size_t(channels);
    auto* top = static_cast<unsigned char*>(buffer);
    unsigned char* bottom = top + row * size_t(height - 1);
    unsigned char chunk[4096];
    for (; top < bottom; top += row, bottom -= row) {
        for (size_t done = 0; done < row; done += sizeof chunk) {
            size_t n = row - done < sizeof chunk ? row - done : sizeof chunk;
            memcpy(chunk, top + done, n);
            memcpy(top + done, bottom + done, n);
            memcpy(bottom + done, chunk, n);
        }
    }
}

void util_swapBGRA(unsigned char* buffer, int size, int channels) {
    if (!buffer || size <= 0) return;
    if (channels == 4) {
        size_t pixels = size_t(size) / 4;
        for (size_t i = 0; i < pixels; ++i) {
            uint32_t v;
            memcpy(&v, buffer + 4 * i, 4);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            v = v << 8 | v >> 24;   // bytes 0,1,2,3 -> 3,0,1,2
#else
            v = v >> 8 | v << 24;
#endif
            memcpy(buffer + 4 * i, &v, 4);
        }
    } else if (channels == 3) {
        unsigned char* end = buffer + size_t(size) / 3 * 3;
        for (unsigned char* p = buffer; p < end; p += 3) {
            unsigned char first = p[0];
            p[0] = p[2];
            p[2] = first;
        }
    }
}

void util_swapRGBA(void* buffer, int size, int step) {
    if (!buffer || size < 4 || step <= 0) return;
    auto* bytes = static_cast<unsigned char*>(buffer);
    size_t last = size_t(size) - 4;   // the last offset whose four bytes lie within size
    if (step == 4) {
        for (size_t offset = 0; offset <= last; offset += 4) {
            uint32_t v;
            memcpy(&v, bytes + offset, 4);
            v = __builtin_bswap32(v);
            memcpy(bytes + offset, &v, 4);
        }
        return;
    }
    for (size_t offset = 0; offset <= last; offset += size_t(step)) {
        unsigned char* p = bytes + offset;
        unsigned char a = p[0], b = p[1];
        p[0] = p[3];
        p[1] = p[2];
        p[2] = b;
        p[3] = a;
    }
}
