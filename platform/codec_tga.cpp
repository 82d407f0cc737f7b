// codec_tga.cpp - reading and writing TGA pictures (see codec_tga.h for the variants).
//
// The header's fields are little-endian. Descriptor byte: bits 0-3 the number of alpha bits per
// pixel, bit 4 set when columns run right to left, bit 5 set when rows run top to bottom
// (otherwise the first row in the file is the bottom one). Run-length packets start with a byte
// whose top bit tells a run (one pixel repeated) from a raw packet, and whose low seven bits are
// the pixel count minus one; packets may run on from one row into the next.
#include "codec_tga.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 18;
const char kFooterSignature[] = "TRUEVISION-XFILE.";   // written with its terminating zero

enum : uint8_t { kColourMapped = 1, kTrueColour = 2, kGrey = 3, kRunLength = 8 };

unsigned le16(const uint8_t* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }

struct Header {
    unsigned idLength, mapType, imageType, mapFirst, mapLength, mapBits;
    unsigned width, height, bits, descriptor;
    unsigned kind() const { return imageType & ~unsigned(kRunLength); }
    bool runLength() const { return imageType & kRunLength; }
    unsigned alphaBits() const { return descriptor & 0x0F; }
};

bool ValidEntryBits(unsigned bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

bool ParseHeader(const uint8_t* d, size_t size, Header* h) {
    if (!d || size < kHeaderSize) return false;
    *h = Header{d[0], d[1], d[2], le16(d + 3), le16(d + 5), d[7], le16(d + 12), le16(d + 14), d[16], d[17]};
    if (h->mapType > 1 || h->width == 0 || h->height == 0) return false;
    if (h->descriptor & 0xC0) return false;   // interleaved rows: a variant nobody writes any more
    if (h->mapType == 1 && (!ValidEntryBits(h->mapBits) || h->mapLength == 0)) return false;
    switch (h->kind()) {
    case kColourMapped: return h->mapType == 1 && (h->bits == 8 || h->bits == 16);
    case kTrueColour: return ValidEntryBits(h->bits);
    case kGrey: return h->bits == 8 || h->bits == 16;
    default: return false;
    }
}

uint8_t Expand5(unsigned v) { return uint8_t((v << 3) | (v >> 2)); }

// One true-colour value of bits 15, 16, 24 or 32 (stored B,G,R[,A] or as a 5-5-5 word whose top
// bit is the alpha bit) into R,G,B,A. withAlpha tells whether the file's alpha is taken at all.
void ColourValue(const uint8_t* s, unsigned bits, bool withAlpha, uint8_t* out) {
    if (bits >= 24) {
        out[0] = s[2], out[1] = s[1], out[2] = s[0];
        out[3] = bits == 32 && withAlpha ? s[3] : 255;
        return;
    }
    unsigned v = le16(s);
    out[0] = Expand5((v >> 10) & 31), out[1] = Expand5((v >> 5) & 31), out[2] = Expand5(v & 31);
    out[3] = bits == 16 && withAlpha ? ((v & 0x8000) ? 255 : 0) : 255;
}

// Whether values of this many bits carry alpha under this header. A 16-bit value's top bit is
// alpha only when the descriptor declares an alpha bit; 32-bit values and 16-bit grey always
// carry it (many writers leave the descriptor's alpha count at 0; see Decode's last step).
bool CarriesAlpha(const Header& h, unsigned bits, bool grey) {
    if (grey) return bits == 16;
    return bits == 32 || (bits == 16 && h.alphaBits() > 0);
}

}  // namespace

bool tga_Probe(const uint8_t* data, size_t size, int* width, int* height) {
    Header h;
    if (!ParseHeader(data, size, &h)) return false;
    // The fewest bytes that can hold the declared pixels: one value each uncompressed, one
    // packet of at most 128 pixels (a count byte and one value) each run-length coded. A file
    // shorter than that is refused here, before anything of the declared size is allocated.
    const uint64_t pixelBytes = (h.bits + 7) / 8, total = uint64_t(h.width) * h.height;
    uint64_t need = kHeaderSize + h.idLength + (h.mapType == 1 ? uint64_t(h.mapLength) * ((h.mapBits + 7) / 8) : 0);
    need += h.runLength() ? (total + 127) / 128 * (1 + pixelBytes) : total * pixelBytes;
    if (size < need) return false;
    if (width) *width = int(h.width);
    if (height) *height = int(h.height);
    return true;
}

bool tga_Decode(const uint8_t* data, size_t size, uint8_t* out, size_t stride) {
    Header h;
    if (!ParseHeader(data, size, &h) || !out || stride < size_t(h.width) * 4) return false;
    size_t p = kHeaderSize + h.idLength;

    // The colour map, converted once; it is skipped by the other kinds.
    std::vector<uint8_t> map;
    if (h.mapType == 1) {
        size_t entryBytes = (h.mapBits + 7) / 8, mapBytes = size_t(h.mapLength) * entryBytes;
        if (p > size || size - p < mapBytes) return false;
        if (h.kind() == kColourMapped) {
            map.resize(size_t(h.mapLength) * 4);
            bool alpha = CarriesAlpha(h, h.mapBits, false);
            for (size_t i = 0; i < h.mapLength; ++i) ColourValue(data + p + i * entryBytes, h.mapBits, alpha, &map[i * 4]);
        }
        p += mapBytes;
    }

    const size_t pixelBytes = (h.bits + 7) / 8;
    const bool grey = h.kind() == kGrey;
    const bool alpha = h.kind() == kColourMapped ? CarriesAlpha(h, h.mapBits, false) : CarriesAlpha(h, h.bits, grey);
    const bool topDown = h.descriptor & 0x20, rightToLeft = h.descriptor & 0x10;
    const size_t total = size_t(h.width) * h.height;

    // A pixel's value as it stands in the file, into R,G,B,A; false for an index outside the map.
    auto convert = [&](const uint8_t* s, uint8_t* px) {
        if (grey) {
            px[0] = px[1] = px[2] = s[0];
            px[3] = h.bits == 16 ? s[1] : 255;
        } else if (h.kind() == kTrueColour) {
            ColourValue(s, h.bits, alpha, px);
        } else {
            unsigned index = h.bits == 8 ? s[0] : le16(s);
            if (index < h.mapFirst || index - h.mapFirst >= h.mapLength) return false;
            memcpy(px, &map[size_t(index - h.mapFirst) * 4], 4);
        }
        return true;
    };
    // Where the n-th pixel of the file lands.
    auto target = [&](size_t n) {
        size_t x = n % h.width, y = n / h.width;
        if (!topDown) y = h.height - 1 - y;
        if (rightToLeft) x = h.width - 1 - x;
        return out + y * stride + x * 4;
    };

    bool anyAlpha = false;
    for (size_t n = 0; n < total;) {
        size_t count = 1;
        bool run = false;
        if (h.runLength()) {
            if (p >= size) return false;
            uint8_t packet = data[p++];
            run = packet & 0x80;
            count = std::min<size_t>((packet & 0x7F) + 1, total - n);
        }
        size_t need = run ? pixelBytes : count * pixelBytes;
        if (p > size || size - p < need) return false;
        uint8_t px[4];
        for (size_t i = 0; i < count; ++i, ++n) {
            if ((i == 0 || !run) && !convert(data + p + (run ? 0 : i * pixelBytes), px)) return false;
            memcpy(target(n), px, 4);
            anyAlpha |= px[3] != 0;
        }
        p += need;
    }

    // A file that declares no alpha bits and whose alpha is zero everywhere was written without
    // alpha (the fourth byte is padding): the picture is opaque, not invisible.
    if (alpha && h.alphaBits() == 0 && !anyAlpha)
        for (unsigned y = 0; y < h.height; ++y)
            for (unsigned x = 0; x < h.width; ++x) out[y * stride + x * 4 + 3] = 255;
    return true;
}

bool tga_Encode(const uint8_t* rgba, int width, int height, std::vector<uint8_t>* out) {
    if (!rgba || !out || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return false;
    const size_t row = size_t(width) * 4;
    bool opaque = true;
    for (size_t i = 3; i < row * height && opaque; i += 4) opaque = rgba[i] == 255;
    const size_t pixelBytes = opaque ? 3 : 4;

    out->clear();
    out->reserve(kHeaderSize + size_t(width) * height * (pixelBytes + 1) / 2 + 64);
    uint8_t header[kHeaderSize] = {};
    header[2] = kTrueColour | kRunLength;
    header[12] = uint8_t(width), header[13] = uint8_t(width >> 8);
    header[14] = uint8_t(height), header[15] = uint8_t(height >> 8);
    header[16] = uint8_t(pixelBytes * 8);
    header[17] = opaque ? 0 : 8;   // bottom-left origin; 8 alpha bits when there is alpha
    out->insert(out->end(), header, header + kHeaderSize);

    auto put = [&](const uint8_t* px) {
        uint8_t bgra[4] = {px[2], px[1], px[0], px[3]};
        out->insert(out->end(), bgra, bgra + pixelBytes);
    };
    auto same = [](const uint8_t* a, const uint8_t* b) { return memcmp(a, b, 4) == 0; };
    // Rows bottom first; packets end with their row so that every reader takes them.
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* line = rgba + size_t(y) * row;
        int x = 0;
        while (x < width) {
            int run = 1;
            while (x + run < width && run < 128 && same(line + x * 4, line + (x + run) * 4)) ++run;
            if (run >= 2) {
                out->push_back(uint8_t(0x80 | (run - 1)));
                put(line + x * 4);
                x += run;
                continue;
            }
            // A raw packet up to the next pair of equal pixels.
            int raw = 1;
            while (x + raw < width && raw < 128 &&
                   !(x + raw + 1 < width && same(line + (x + raw) * 4, line + (x + raw + 1) * 4)))
                ++raw;
            out->push_back(uint8_t(raw - 1));
            for (int i = 0; i < raw; ++i) put(line + (x + i) * 4);
            x += raw;
        }
    }
    // Version-2 footer: no extension area, no developer directory.
    out->insert(out->end(), 8, 0);
    out->insert(out->end(), kFooterSignature, kFooterSignature + sizeof kFooterSignature);
    return true;
}
