// codec_jpeg.cpp - JPEG decoding through TurboJPEG into the layer form in one pass, and encoding from
// the writer form.
#include "codec_jpeg.h"

#include <algorithm>

#include <turbojpeg.h>

namespace {

struct Decompressor {
    tjhandle h = tjInitDecompress();
    ~Decompressor() {
        if (h) tjDestroy(h);
    }
};

bool header(tjhandle h, const uint8_t* data, size_t size, int* width, int* height, int* colourspace) {
    int w = 0, hgt = 0, subsampling = 0, space = 0;
    if (!h || !data || size < 4 || size > 0xFFFFFFFFu) return false;
    if (tjDecompressHeader3(h, data, (unsigned long)size, &w, &hgt, &subsampling, &space) != 0) return false;
    if (w <= 0 || hgt <= 0) return false;
    *width = w, *height = hgt, *colourspace = space;
    return true;
}

}  // namespace

bool jpeg_Probe(const uint8_t* data, size_t size, int* width, int* height) {
    Decompressor d;
    int w, h, space;
    if (!header(d.h, data, size, &w, &h, &space)) return false;
    if (width) *width = w;
    if (height) *height = h;
    return true;
}

bool jpeg_Decode(const uint8_t* data, size_t size, uint8_t* out, int width, int height) {
    Decompressor d;
    int w, h, space;
    if (!out || !header(d.h, data, size, &w, &h, &space) || w != width || h != height) return false;
    bool ink = space == TJCS_CMYK || space == TJCS_YCCK;
    // A progressive file with more scans than any encoder writes is a denial-of-service attempt.
    int flags = TJFLAG_LIMITSCANS;
    if (tjDecompress2(d.h, data, (unsigned long)size, out, width, width * 4, height,
                      ink ? TJPF_CMYK : TJPF_RGBA, flags) != 0 &&
        tjGetErrorCode(d.h) != TJERR_WARNING)
        return false;
    if (ink) {
        // Adobe's inverted CMYK: each colour is its ink value scaled by the black value.
        size_t n = size_t(width) * size_t(height) * 4;
        for (size_t i = 0; i < n; i += 4) {
            unsigned k = out[i + 3];
            out[i] = uint8_t(k * out[i] / 255);
            out[i + 1] = uint8_t(k * out[i + 1] / 255);
            out[i + 2] = uint8_t(k * out[i + 2] / 255);
            out[i + 3] = 255;
        }
    }
    return true;
}

bool jpeg_EncodeArgb(const uint8_t* argb, int width, int height, int quality, std::vector<uint8_t>* out) {
    if (!argb || !out || width < 1 || height < 1 || quality < 1 || quality > 100) return false;
    tjhandle h = tjInitCompress();
    if (!h) return false;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const bool ok = tjCompress2(h, argb, width, width * 4, height, TJPF_ARGB, &jpeg, &size, TJSAMP_420, quality,
                                TJFLAG_ACCURATEDCT) == 0;
    if (ok) out->assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(h);
    // The JFIF header's resolution: 96 dots per inch, as the toolkit's writer gives a picture of
    // its default resolution (TurboJPEG leaves 1:1 without a unit), so the files are the same.
    static const uint8_t kJfif[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    if (ok && out->size() > 18 && std::equal(kJfif, kJfif + sizeof kJfif, out->begin())) {
        uint8_t* d = out->data();
        d[13] = 1;                        // dots per inch
        d[14] = 0, d[15] = 96, d[16] = 0, d[17] = 96;
    }
    return ok;
}
