// platform_images.cpp - picture files through Qt's image readers and writers, and the program's
// own TGA and GIF codecs where Qt has none that serves.
//
// Reading: the file is read whole (up to a size cap), its format recognised by content from an
// allow-list, its declared size checked against explicit limits before anything is decoded, and
// its structure walked for the formats whose decoder quietly accepts a file that ends early
// (JPEG, GIF, BMP). PNG and JPEG, the formats of nearly every theme picture, are decoded by
// codec_png (libspng) and codec_jpeg (TurboJPEG) straight into the caller's buffer; TGA, which has
// no signature and whose Qt reader takes only files with the version-2 footer, by codec_tga; the
// rest by Qt's readers. Writing: PNG and JPEG through codec_png and codec_jpeg, GIF and TGA
// through codec_gif and codec_tga, the rest as a QImage that QImageWriter encodes; always into a
// QSaveFile, so the target is replaced whole or not at all.
#include "platform_codecs.h"
#include "platform_internal.h"

#include "codec_gif.h"
#include "codec_jpeg.h"
#include "codec_png.h"
#include "codec_tga.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <webp/decode.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Files larger than this are not read at all (an uncompressed 16-bit RGBA picture at the pixel
// limit is 800 MB).
const qint64 kMaxImageFileBytes = qint64(1) << 30;
// Qt's own allocation cap for one decoded picture, in megabytes: the pixel limit at 8 bytes per
// pixel (16-bit channels), so that it only ever backs up the explicit size check.
const int kAllocationLimitMB = int(kMaxImagePixels * 8 / (1024 * 1024)) + 1;

struct FormatCode {
    const char* qtName;
    OSType code;
};

// The formats the program reads and writes, with the file-type codes it reports for them. The
// first entry of a code is the name its writer goes by.
const FormatCode kFormats[] = {
    {"png", FourCC("PNGf")}, {"jpeg", FourCC("JPEG")}, {"jpg", FourCC("JPEG")},
    {"tiff", FourCC("TIFF")}, {"tif", FourCC("TIFF")}, {"gif", FourCC("GIFf")},
    {"bmp", FourCC("BMPf")}, {"tga", FourCC("TPIC")}, {"webp", FourCC("WEBP")},
};

bool sizeAllowed(int64_t width, int64_t height, int64_t maxPixels);

OSType codeForFormat(const QByteArray& format) {
    for (const FormatCode& f : kFormats)
        if (format == f.qtName) return f.code;
    return 0;
}

const char* formatForCode(OSType code) {
    for (const FormatCode& f : kFormats)
        if (f.code == code) return f.qtName;
    return nullptr;
}

// --- structure checks -------------------------------------------------------------------------
// Each answers whether the bytes hold the whole of the (first) picture. Qt's decoders for these
// formats fill in whatever is missing instead of failing.

unsigned le16(const uchar* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }
uint32_t le32(const uchar* p) { return le16(p) | uint32_t(le16(p + 2)) << 16; }

// Segments from the start-of-image marker to the end-of-image marker; entropy-coded data runs to
// the next marker that is neither a stuffed 0xFF00 nor a restart marker.
bool jpegComplete(const uchar* d, qint64 n) {
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
    qint64 p = 2;
    while (p < n) {
        const void* ff = memchr(d + p, 0xFF, size_t(n - p));   // decoders skip stray bytes
        if (!ff) return false;
        p = static_cast<const uchar*>(ff) - d;
        while (p < n && d[p] == 0xFF) ++p;
        if (p >= n) return false;
        uchar marker = d[p++];
        if (marker == 0xD9) return true;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (p + 2 > n) return false;
        qint64 length = qint64(d[p]) << 8 | d[p + 1];
        if (length < 2 || p + length > n) return false;
        p += length;
        if (marker != 0xDA) continue;
        for (;;) {
            ff = memchr(d + p, 0xFF, size_t(n - p));
            if (!ff) return false;
            p = static_cast<const uchar*>(ff) - d;
            if (p + 1 >= n) return false;
            uchar next = d[p + 1];
            if (next != 0x00 && (next < 0xD0 || next > 0xD7)) break;
            p += 2;
        }
    }
    return false;
}

// Header, colour table, then blocks up to the end of the first image's data sub-blocks.
bool gifComplete(const uchar* d, qint64 n) {
    if (n < 13) return false;
    qint64 p = 13;
    if (d[10] & 0x80) p += qint64(3) << ((d[10] & 7) + 1);
    auto skipSubBlocks = [&]() {
        while (p < n) {
            uchar length = d[p++];
            if (length == 0) return true;
            p += length;
        }
        return false;
    };
    while (p < n) {
        uchar block = d[p++];
        if (block == 0x21) {                       // extension: label, then sub-blocks
            ++p;
            if (!skipSubBlocks()) return false;
        } else if (block == 0x2C) {                // image descriptor
            if (p + 9 > n) return false;
            uchar flags = d[p + 8];
            p += 9;
            if (flags & 0x80) p += qint64(3) << ((flags & 7) + 1);
            ++p;                                   // LZW minimum code size
            return skipSubBlocks();
        } else {
            return false;                          // trailer before any image, or garbage
        }
    }
    return false;
}

// Run-length coded rows: complete at the end-of-bitmap code or once every row has ended.
bool bmpRleComplete(const uchar* d, qint64 n, bool rle8, qint64 rows) {
    qint64 p = 0, row = 0;
    while (p + 1 < n) {
        uchar count = d[p], value = d[p + 1];
        p += 2;
        if (count) continue;
        if (value == 0) {
            if (++row >= rows) return true;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (p + 1 >= n) return false;
            row += d[p + 1];
            p += 2;
            if (row >= rows) return true;
        } else {
            qint64 bytes = rle8 ? value : (value + 1) / 2;
            p += (bytes + 1) & ~qint64(1);
        }
    }
    return false;
}

bool bmpComplete(const uchar* d, qint64 n) {
    if (n < 26) return false;
    qint64 offset = le32(d + 10), width, height;
    unsigned bpp;
    uint32_t compression = 0;
    if (le32(d + 14) == 12) {
        width = le16(d + 18);
        height = le16(d + 20);
        bpp = le16(d + 24);
    } else {
        if (n < 34) return false;
        width = int32_t(le32(d + 18));
        height = std::abs(qint64(int32_t(le32(d + 22))));
        bpp = le16(d + 28);
        compression = le32(d + 30);
    }
    if (width <= 0 || height <= 0 || bpp == 0 || offset >= n) return false;
    if (compression == 1 || compression == 2)
        return bmpRleComplete(d + offset, n - offset, compression == 1, height);
    if (compression != 0 && compression != 3 && compression != 6) return true;   // decoder decides
    qint64 stride = (width * bpp + 31) / 32 * 4;
    return offset + stride * (height - 1) + (width * bpp + 7) / 8 <= n;
}

// --- plausibility of the declared size --------------------------------------------------------
// A file of a few bytes can declare a picture of any size, and some decoders then build all of
// it: Qt's GIF reader fills in what the data leaves out, and libjpeg does the same for a short
// entropy-coded segment, so a 2 KB file became a 400 MB picture of nothing. Where the coding puts
// a floor under the bits each pixel costs, a size the bytes could not hold is refused before
// anything is decoded. The floors are the coding's own, so a real file always passes; a
// compressor that beats them does not exist.

// GIF: the LZW codes of an image are at least (minimum code size + 1) bits wide and one code
// stands for at most 4096 pixels (the size of the code table), so each byte of image data holds
// at most 4096 x 8 / 2 pixels. The logical screen, which is the picture Qt's reader builds (its
// size() tells the first image's), is held to the same limits as any picture and, since it has
// no data of its own, to the same ratio against the whole file.
const qint64 kGifPixelsPerByte = 4096 * 8 / 2;

bool gifPlausible(const uchar* d, qint64 n) {
    if (n < 13) return false;
    // A screen of 0 x 0 (written by some encoders) takes the size of the image (below).
    const qint64 screenW = le16(d + 6), screenH = le16(d + 8);
    if (screenW && screenH &&
        (!sizeAllowed(screenW, screenH, kMaxImagePixels) || screenW * screenH > kGifPixelsPerByte * n))
        return false;
    qint64 p = 13;
    if (d[10] & 0x80) p += qint64(3) << ((d[10] & 7) + 1);
    while (p < n && d[p] == 0x21) {   // extensions before the first image
        p += 2;
        while (p < n && d[p]) p += d[p] + 1;
        ++p;
    }
    if (p + 11 > n || d[p] != 0x2C) return true;   // no image: gifComplete refuses it
    const qint64 w = le16(d + p + 5), h = le16(d + p + 7);
    // A side of the screen given as 0 takes the image's far edge, the other side stays: the
    // picture the reader builds is then that wide or high.
    const qint64 builtW = screenW ? screenW : le16(d + p + 1) + w, builtH = screenH ? screenH : le16(d + p + 3) + h;
    if (!sizeAllowed(builtW, builtH, kMaxImagePixels) || builtW * builtH > kGifPixelsPerByte * n) return false;
    const uchar flags = d[p + 9];
    p += 10;
    if (flags & 0x80) p += qint64(3) << ((flags & 7) + 1);
    if (p >= n) return true;
    const qint64 codeBits = qint64(d[p]) + 1;
    ++p;
    qint64 data = 0;
    while (p < n && d[p]) {
        data += d[p];
        p += d[p] + 1;
    }
    if (!sizeAllowed(w, h, kMaxImagePixels)) return false;
    return w * h <= 4096 * (data * 8 / std::max<qint64>(codeBits, 2) + 1);
}

// Huffman-coded JPEG (every frame type but the arithmetic-coded ones): the DC difference of every
// 8 x 8 block of every component is coded, with at least one bit, so no component has more
// blocks than the file has bits. Arithmetic coding has no such floor and is left to the limits.
bool jpegPlausible(const uchar* d, qint64 n) {
    qint64 p = 2;
    while (p + 4 <= n) {
        if (d[p] != 0xFF) return true;   // jpegComplete judges the structure
        const uchar marker = d[p + 1];
        if (marker == 0xFF) {
            ++p;
            continue;
        }
        const qint64 length = qint64(d[p + 2]) << 8 | d[p + 3];
        const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (!sof) {
            if (marker == 0xDA || marker == 0xD9 || length < 2) return true;
            p += 2 + length;
            continue;
        }
        if (marker >= 0xC9 || p + 10 > n) return true;   // arithmetic coding, or too short to tell
        const qint64 h = qint64(d[p + 5]) << 8 | d[p + 6], w = qint64(d[p + 7]) << 8 | d[p + 8];
        const int components = d[p + 9];
        if (components == 0 || p + 10 + 3 * components > n) return true;
        int hMax = 1, vMax = 1;
        for (int c = 0; c < components; ++c) {
            hMax = std::max(hMax, d[p + 11 + 3 * c] >> 4);
            vMax = std::max(vMax, d[p + 11 + 3 * c] & 15);
        }
        qint64 fewest = -1;
        for (int c = 0; c < components; ++c) {
            const int hs = std::max(1, d[p + 11 + 3 * c] >> 4), vs = std::max(1, d[p + 11 + 3 * c] & 15);
            const qint64 cw = (w * hs + hMax - 1) / hMax, ch = (h * vs + vMax - 1) / vMax;
            const qint64 blocks = ((cw + 7) / 8) * ((ch + 7) / 8);
            if (fewest < 0 || blocks < fewest) fewest = blocks;
        }
        return fewest <= 8 * n;
    }
    return true;
}

// PNG: the rows (a filter byte and the pixels at the header's bits per pixel) are deflated, and
// deflate's best case is 258 bytes for a 2-bit length and distance pair, 1032 to 1.
bool pngPlausible(const uchar* d, qint64 n) {
    if (n < 33) return true;   // png_Probe refuses it
    auto be32 = [&](qint64 at) { return qint64(d[at]) << 24 | qint64(d[at + 1]) << 16 | d[at + 2] << 8 | d[at + 3]; };
    const qint64 w = be32(16), h = be32(20);
    const int depth = d[24], colour = d[25];
    const int channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
    const qint64 rowBytes = 1 + (w * depth * channels + 7) / 8;
    return h * rowBytes <= 1032 * n;
}

// TIFF: for the compressions whose best ratio is known (none, PackBits 64 to 1, LZW 4096 bytes
// for a 9-bit code, deflate 1032 to 1), the pixels at the header's bits per pixel can't be more
// than that many times the file. Other compressions (fax coding, JPEG, LZMA, Zstandard), YCbCr
// and BigTIFF are left to the limits.
bool tiffPlausible(const uchar* d, qint64 n) {
    if (n < 8) return true;
    const bool little = d[0] == 'I';
    auto u16 = [&](qint64 at) -> qint64 { return little ? d[at] | d[at + 1] << 8 : d[at] << 8 | d[at + 1]; };
    auto u32 = [&](qint64 at) -> qint64 { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
    if (u16(2) != 42) return true;
    const qint64 ifd = u32(4);
    if (ifd + 2 > n) return true;
    const qint64 entries = u16(ifd);
    qint64 w = 0, h = 0, bitsPerSample = 1, samples = 1, compression = 1, photometric = 0;
    for (qint64 i = 0; i < entries && ifd + 2 + 12 * (i + 1) <= n; ++i) {
        const qint64 e = ifd + 2 + 12 * i, tag = u16(e), type = u16(e + 2), count = u32(e + 4);
        qint64 value = type == 3 ? u16(e + 8) : u32(e + 8);
        if (tag == 258 && count > 1) {   // one value per sample, stored elsewhere when they don't fit
            qint64 at = count * 2 <= 4 ? e + 8 : u32(e + 8);
            value = at + 2 <= n ? u16(at) : 1;
        }
        if (tag == 256) w = value;
        if (tag == 257) h = value;
        if (tag == 258) bitsPerSample = std::max<qint64>(value, 1);
        if (tag == 277) samples = std::max<qint64>(value, 1);
        if (tag == 259) compression = value;
        if (tag == 262) photometric = value;
    }
    if (photometric == 6) return true;   // YCbCr may store its colour subsampled, fewer bytes than pixels
    qint64 ratio = compression == 1 ? 1 : compression == 32773 ? 64 : compression == 5 ? 4096 * 8 / 9
                 : compression == 8 || compression == 32946 ? 1032 : 0;
    if (!ratio || w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide) return true;
    return h * ((w * std::min<qint64>(bitsPerSample * samples, 128) + 7) / 8) <= ratio * n;
}

// WebP: its coding has no floor under the bits a pixel costs (a uniform picture costs almost
// nothing), and Qt's reader builds the whole picture before the data is decoded into it. A large
// one is first decoded shrunk to a thumbnail, which reads all of the data within a few MB; only a
// file whose data is all there goes on to the full decode.
const qint64 kWebpProbeAbovePixels = 4096 * 4096;

bool webpPlausible(const uchar* d, qint64 n) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config) || WebPGetFeatures(d, size_t(n), &config.input) != VP8_STATUS_OK)
        return false;
    const qint64 w = config.input.width, h = config.input.height;
    if (w * h <= kWebpProbeAbovePixels) return true;
    if (config.input.has_animation) return true;   // Qt's reader takes the frames one by one
    config.options.use_scaling = 1;
    config.options.scaled_width = std::max<int>(1, int(w / 64));
    config.options.scaled_height = std::max<int>(1, int(h / 64));
    config.output.colorspace = MODE_RGBA;
    const bool decoded = WebPDecode(d, size_t(n), &config) == VP8_STATUS_OK;
    WebPFreeDecBuffer(&config.output);
    return decoded;
}

bool sizePlausible(OSType code, const QByteArray& bytes) {
    const uchar* d = reinterpret_cast<const uchar*>(bytes.constData());
    switch (code) {
    case FourCC("GIFf"): return gifPlausible(d, bytes.size());
    case FourCC("JPEG"): return jpegPlausible(d, bytes.size());
    case FourCC("PNGf"): return pngPlausible(d, bytes.size());
    case FourCC("TIFF"): return tiffPlausible(d, bytes.size());
    case FourCC("WEBP"): return webpPlausible(d, bytes.size());
    default: return true;
    }
}

bool structureComplete(OSType code, const QByteArray& bytes) {
    const uchar* d = reinterpret_cast<const uchar*>(bytes.constData());
    qint64 n = bytes.size();
    switch (code) {
    case FourCC("JPEG"): return jpegComplete(d, n);
    case FourCC("GIFf"): return gifComplete(d, n);
    case FourCC("BMPf"): return bmpComplete(d, n);
    default: return true;   // Qt's PNG, TIFF and WebP decoders fail on a short file themselves
    }
}

// --- decoding -----------------------------------------------------------------------------------

// The allowed format of the bytes, or an empty name. PNG and JPEG are told by their signatures
// (the ones Qt's readers look for). TGA has no signature at its start (Qt's content probe may
// take it for an icon): a file that no signature names is a TGA picture when its header is one
// of a variant codec_tga reads.
QByteArray sniffFormat(QBuffer* buffer) {
    const QByteArray& d = buffer->data();
    if (d.startsWith("\x89PNG\r\n\x1a\n")) return "png";
    if (d.startsWith("\xFF\xD8")) return "jpeg";
    buffer->seek(0);
    QImageReader probe(buffer);
    probe.setDecideFormatFromContent(true);
    QByteArray format = probe.format();
    if (codeForFormat(format)) return format;
    return tga_Probe(reinterpret_cast<const uint8_t*>(d.constData()), size_t(d.size()), nullptr, nullptr)
               ? QByteArray("tga")
               : QByteArray();
}

bool sizeAllowed(int64_t width, int64_t height, int64_t maxPixels) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= maxPixels;
}

// The declared size of the picture in bytes whose allowed format is format, read from its header
// alone; false when it can't be told from the header.
bool declaredSize(QBuffer* buffer, const QByteArray& format, QSize* size) {
    const QByteArray& d = buffer->data();
    const auto* data = reinterpret_cast<const uint8_t*>(d.constData());
    int w = 0, h = 0;
    bool own = format == "tga" || format == "png" || format == "jpeg";
    if (own) {
        bool read = format == "tga"   ? tga_Probe(data, size_t(d.size()), &w, &h)
                    : format == "png" ? png_Probe(data, size_t(d.size()), &w, &h)
                                      : jpeg_Probe(data, size_t(d.size()), &w, &h);
        if (!read) return false;
        *size = QSize(w, h);
        return true;
    }
    buffer->seek(0);
    QImageReader reader(buffer, format);
    reader.setAutoDetectImageFormat(false);
    *size = reader.size();
    return size->isValid();
}

// Reads the file at path whole (or its first limit bytes) into *bytes; noErr, fnfErr or paramErr
// (unreadable or too big). The path's bytes are used as they are: a file name that is not valid
// UTF-8 (a layer name from a project, an old file) would not survive a trip through QString.
int readWhole(const char* path, QByteArray* bytes, qint64 limit = -1) {
    if (!path || !*path) return paramErr;
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return fnfErr;
    // Not blocking: the name may have become a pipe since.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return paramErr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxImageFileBytes) {
        close(fd);
        return paramErr;
    }
    qint64 want = limit < 0 ? qint64(st.st_size) : std::min<qint64>(limit, st.st_size);
    bytes->resize(want);
    qint64 got = 0;
    while (got < want) {
        ssize_t n = read(fd, bytes->data() + got, size_t(want - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;   // the file shrank meanwhile: what was read is what there is
        got += n;
    }
    close(fd);
    bytes->resize(got);
    return noErr;
}

PlatDecodeStats gStats;

// Reads the picture file at path and tells its allowed format, code and declared size, refusing
// a size over maxPixels before anything is decoded.
int readPicture(const char* path, int64_t maxPixels, QByteArray* bytes, QByteArray* format, OSType* code, QSize* size) {
    int status = readWhole(path, bytes);
    if (status != noErr) return status;
    QBuffer buffer(bytes);
    buffer.open(QIODevice::ReadOnly);
    *format = sniffFormat(&buffer);
    *code = codeForFormat(*format);
    if (!*code || !declaredSize(&buffer, *format, size)) return paramErr;
    if (!sizeAllowed(size->width(), size->height(), maxPixels)) return paramErr;
    return sizePlausible(*code, *bytes) ? noErr : paramErr;
}

// Copies the rows of an RGBA8888 image into dst, packed.
void copyRows(const QImage& img, uint8_t* dst) {
    size_t row = size_t(img.width()) * 4;
    if (size_t(img.bytesPerLine()) == row) {
        memcpy(dst, img.constBits(), row * size_t(img.height()));
        return;
    }
    for (int y = 0; y < img.height(); ++y) memcpy(dst + row * size_t(y), img.constScanLine(y), row);
}

// Decodes bytes of an allowed format with Qt's reader into an RGBA8888 image, scaled while
// decoding when scaled is valid; the decoded size is checked against maxPixels again.
int readWithQt(QByteArray* bytes, const QByteArray& format, int64_t maxPixels, QSize scaled, QImage* img) {
    QBuffer buffer(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(kAllocationLimitMB);
    if (scaled.isValid()) reader.setScaledSize(scaled);
    if (!reader.read(img) || img->isNull()) return paramErr;
    if (!sizeAllowed(img->width(), img->height(), maxPixels)) return paramErr;
    img->convertTo(QImage::Format_RGBA8888);
    return img->isNull() ? paramErr : noErr;
}

// Decodes path into a malloc'ed buffer *pixels of *width x *height R,G,B,A pixels, not
// premultiplied, top row first.
int decodeFile(const char* path, int64_t maxPixels, uint8_t** pixels, int* width, int* height, OSType* fileType) {
    maxPixels = std::min(maxPixels, kMaxImagePixels);
    QByteArray bytes, format;
    OSType code = 0;
    QSize size;
    int status = readPicture(path, maxPixels, &bytes, &format, &code, &size);
    if (status != noErr) return status;
    if (fileType) *fileType = code;
    ++gStats.count;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const size_t n = size_t(bytes.size());
    if (format == "tga" || format == "png" || format == "jpeg") {
        if (!structureComplete(code, bytes)) return paramErr;
        const int w = size.width(), h = size.height();
        // PNG rows are inflated into the buffer itself, with one filter byte per row.
        auto* out = static_cast<uint8_t*>(malloc(format == "png" ? png_DecodeBytes(w, h) : size_t(w) * size_t(h) * 4));
        if (!out) return paramErr;
        bool decoded = format == "tga"   ? tga_Decode(data, n, out, size_t(w) * 4)
                       : format == "png" ? png_Decode(data, n, out, w, h)
                                         : jpeg_Decode(data, n, out, w, h);
        if (!decoded) {
            free(out);
            return paramErr;
        }
        *pixels = out, *width = w, *height = h;
        gStats.lastWidth = w, gStats.lastHeight = h;
        return noErr;
    }
    if (!structureComplete(code, bytes)) return paramErr;
    QImage img;
    if ((status = readWithQt(&bytes, format, maxPixels, QSize(), &img)) != noErr) return status;
    auto* out = static_cast<uint8_t*>(malloc(size_t(img.width()) * size_t(img.height()) * 4));
    if (!out) return paramErr;
    copyRows(img, out);
    *pixels = out, *width = img.width(), *height = img.height();
    gStats.lastWidth = img.width(), gStats.lastHeight = img.height();
    return noErr;
}

// Decodes path into *image (RGBA8888, not premultiplied) for showing it small: a picture larger
// than fit is decoded scaled down into it (aspect kept; JPEG through the decoder's DCT scaling, so
// the full picture is never built); *fullSize gets the picture's own size.
int decodeFitted(const char* path, int64_t maxPixels, QImage* image, QSize fit, QSize* fullSize) {
    maxPixels = std::min(maxPixels, kMaxImagePixels);
    QByteArray bytes, format;
    OSType code = 0;
    QSize size;
    int status = readPicture(path, maxPixels, &bytes, &format, &code, &size);
    if (status != noErr) return status;
    if (fullSize) *fullSize = size;
    bool shrink = fit.isValid() && (size.width() > fit.width() || size.height() > fit.height());
    QSize scaled = shrink ? size.scaled(fit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)) : size;
    QImage img;
    ++gStats.count;
    if (format == "tga") {
        img = QImage(size, QImage::Format_RGBA8888);
        if (img.isNull() || !tga_Decode(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                                        img.bits(), size_t(img.bytesPerLine())))
            return paramErr;
        if (shrink) img = img.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        if (!structureComplete(code, bytes)) return paramErr;
        if ((status = readWithQt(&bytes, format, maxPixels, shrink ? scaled : QSize(), &img)) != noErr) return status;
    }
    gStats.lastWidth = img.width();
    gStats.lastHeight = img.height();
    *image = std::move(img);
    return noErr;
}

// --- encoding -----------------------------------------------------------------------------------

// The program's quality scale (0..1023, 1024 = lossless) onto Qt's 0..100, piecewise linear
// through (0, 5), (256, 50), (512, 75), (768, 90), (1023, 100): "normal" (512) gives quality 75,
// the usual default of JPEG encoders; "minimum" (0) still gives a recognisable picture; "high"
// (768) 90 and "maximum" (1023 and above) 100.
int qtQuality(int quality1023) {
    static const int kPoints[][2] = {{0, 5}, {256, 50}, {512, 75}, {768, 90}, {1023, 100}};
    if (quality1023 <= 0) return kPoints[0][1];
    for (int i = 1; i < 5; ++i) {
        const int* a = kPoints[i - 1];
        const int* b = kPoints[i];
        if (quality1023 <= b[0])
            return a[1] + ((quality1023 - a[0]) * (b[1] - a[1]) * 2 + (b[0] - a[0])) / (2 * (b[0] - a[0]));
    }
    return 100;
}

// The target may be created or replaced: its folder exists and is writable, and the path itself
// is missing or a writable regular file (never a link, which could lead out of the folder).
bool targetUsable(const char* path) {
    if (!path || !*path) return false;
    std::string p = path;
    if (p.back() == '/') return false;
    size_t slash = p.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (access(folder.c_str(), W_OK | X_OK) != 0) return false;
    if (lstat(path, &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode) && access(path, W_OK) == 0;
}

// Writes the encoded file whole, or leaves the target as it was.
int writeEncoded(const char* path, const std::vector<uint8_t>& encoded) {
    QSaveFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly)) return kEncodeWriteFailed;
    if (file.write(reinterpret_cast<const char*>(encoded.data()), qint64(encoded.size())) != qint64(encoded.size())) {
        file.cancelWriting();
        return kEncodeWriteFailed;
    }
    return plat_commitSaveFile(file) ? kEncodeDone : kEncodeWriteFailed;
}

// GIF and TGA through the program's own codecs, which take R,G,B,A; PNG through codec_png, which
// takes the writer form itself.
int encodeOwn(const char* path, const uint8_t* argb, int width, int height, OSType type) {
    std::vector<uint8_t> encoded;
    if (type == FourCC("PNGf"))
        return png_EncodeArgb(argb, width, height, &encoded) ? writeEncoded(path, encoded) : kEncodeWriteFailed;
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = argb[i + 1], rgba[i + 1] = argb[i + 2], rgba[i + 2] = argb[i + 3], rgba[i + 3] = argb[i];
    }
    bool made = type == FourCC("GIFf") ? gif_Encode(rgba.data(), width, height, &encoded)
                                       : tga_Encode(rgba.data(), width, height, &encoded);
    return made ? writeEncoded(path, encoded) : kEncodeWriteFailed;
}

}  // namespace

int plat_DecodeImage(const char* path, int64_t maxPixels, DecodedImage* out) {
    if (!out) return paramErr;
    uint8_t* pixels = nullptr;
    int w = 0, h = 0;
    OSType code = 0;
    int status = decodeFile(path, maxPixels, &pixels, &w, &h, &code);
    if (status != noErr) return status;
    out->width = w;
    out->height = h;
    out->fileType = code;
    out->rgba.assign(pixels, pixels + size_t(w) * size_t(h) * 4);
    free(pixels);
    return noErr;
}

int plat_DecodeImageBuffer(const char* path, int64_t maxPixels, uint8_t** rgba, int* width,
                           int* height, OSType* fileType) {
    if (!rgba) return paramErr;
    uint8_t* pixels = nullptr;
    int w = 0, h = 0;
    int status = decodeFile(path, maxPixels, &pixels, &w, &h, fileType);
    if (status != noErr) return status;
    *rgba = pixels;
    if (width) *width = w;
    if (height) *height = h;
    return noErr;
}

int plat_DecodeImageFit(const char* path, int64_t maxPixels, int fitWidth, int fitHeight, uint8_t** rgba,
                        int* width, int* height, int* fullWidth, int* fullHeight) {
    if (!rgba || fitWidth <= 0 || fitHeight <= 0) return paramErr;
    QImage img;
    QSize full;
    int status = decodeFitted(path, maxPixels, &img, QSize(fitWidth, fitHeight), &full);
    if (status != noErr) return status;
    auto* buffer = static_cast<uint8_t*>(malloc(size_t(img.width()) * img.height() * 4));
    if (!buffer) return paramErr;
    copyRows(img, buffer);
    *rgba = buffer;
    if (width) *width = img.width();
    if (height) *height = img.height();
    if (fullWidth) *fullWidth = full.width();
    if (fullHeight) *fullHeight = full.height();
    return noErr;
}

PlatDecodeStats plat_DecodeStats() { return gStats; }

bool plat_HasImageWriter(OSType type) {
    if (type == FourCC("GIFf") || type == FourCC("TPIC") || type == FourCC("PNGf")) return true;   // own codecs
    const char* format = formatForCode(type);
    return format && QImageWriter::supportedImageFormats().contains(QByteArray(format));
}

bool plat_HasImageReader(OSType type) {
    if (type == FourCC("TPIC") || type == FourCC("PNGf") || type == FourCC("JPEG")) return true;   // own codecs
    const char* format = formatForCode(type);
    return format && QImageReader::supportedImageFormats().contains(QByteArray(format));
}

OSType plat_PictureTypeOf(const char* path) {
    // The headers that name a format and its size lie at the start of the file.
    QByteArray bytes;
    if (readWhole(path, &bytes, qint64(1) << 20) != noErr) return 0;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QByteArray format = sniffFormat(&buffer);
    OSType code = codeForFormat(format);
    QSize size;
    if (!code || !declaredSize(&buffer, format, &size)) return 0;
    return sizeAllowed(size.width(), size.height(), kMaxImagePixels) ? code : 0;
}

int plat_EncodeImageRows(const char* path, int width, int height, OSType type, int quality1023,
                         const PlatRowReader& read) {
    if (!targetUsable(path)) return kEncodeBadTarget;
    if (!read || !sizeAllowed(width, height, kMaxImagePixels)) return kEncodeBadPixels;
    if (!plat_HasImageWriter(type)) return kEncodeNoWriter;
    const size_t row = size_t(width) * 4;
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[row * size_t(height)]);
    if (!pixels) return kEncodeBadPixels;
    if (type == FourCC("JPEG")) {
        std::vector<uint8_t> encoded;
        auto band = [&](int first, int count) {
            return read(first, count, pixels.get() + size_t(height - first - count) * row);
        };
        return jpeg_EncodeRgbaBands(pixels.get(), width, height, qtQuality(quality1023), band, &encoded)
                   ? writeEncoded(path, encoded)
                   : kEncodeWriteFailed;
    }
    if (!read(0, height, pixels.get())) return kEncodeWriteFailed;
    // Into the writer form (A,R,G,B, top row first) in one pass: rows exchanged in pairs across
    // threads, each pixel's bytes turned on the way.
    uint8_t* buffer = pixels.get();
    const long pairs = long(height + 1) / 2;   // the middle row of an odd height pairs with itself
#pragma omp parallel for schedule(static)
    for (long y = 0; y < pairs; ++y) {
        uint8_t* top = buffer + size_t(y) * row;
        uint8_t* bottom = buffer + size_t(height - 1 - y) * row;
        for (size_t x = 0; x < row; x += 4) {
            uint32_t a, b;   // R,G,B,A in memory: rotated by a byte, A,R,G,B
            memcpy(&a, top + x, 4);
            memcpy(&b, bottom + x, 4);
            a = a << 8 | a >> 24;
            b = b << 8 | b >> 24;
            memcpy(top + x, &b, 4);
            if (top != bottom) memcpy(bottom + x, &a, 4);
        }
    }
    return plat_EncodeImage(path, buffer, width, height, type, quality1023);
}

int plat_EncodeImage(const char* path, const uint8_t* argb, int width, int height, OSType type,
                     int quality1023) {
    if (!targetUsable(path)) return kEncodeBadTarget;
    if (!argb || !sizeAllowed(width, height, kMaxImagePixels)) return kEncodeBadPixels;
    if (!plat_HasImageWriter(type)) return kEncodeNoWriter;
    if (type == FourCC("GIFf") || type == FourCC("TPIC") || type == FourCC("PNGf"))
        return encodeOwn(path, argb, width, height, type);
    if (type == FourCC("JPEG")) {
        // TurboJPEG from the writer form itself: the toolkit writer's settings without its
        // conversion pass.
        std::vector<uint8_t> encoded;
        return jpeg_EncodeArgb(argb, width, height, qtQuality(quality1023), &encoded) ? writeEncoded(path, encoded)
                                                                                        : kEncodeWriteFailed;
    }
    QImage img(width, height, QImage::Format_ARGB32);
    if (img.isNull()) return kEncodeBadPixels;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = argb + size_t(y) * width * 4;
        auto* d = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x, s += 4)
            d[x] = QRgb(s[0]) << 24 | QRgb(s[1]) << 16 | QRgb(s[2]) << 8 | QRgb(s[3]);
    }
    QSaveFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly)) return kEncodeWriteFailed;
    QImageWriter writer(&file, formatForCode(type));
    // Quality is fidelity only for the lossy formats; for PNG and TIFF Qt would read it as
    // compression effort, so they keep their defaults.
    if (type == FourCC("JPEG") || type == FourCC("WEBP")) writer.setQuality(qtQuality(quality1023));
    if (!writer.write(img)) {
        file.cancelWriting();
        return kEncodeWriteFailed;
    }
    return plat_commitSaveFile(file) ? kEncodeDone : kEncodeWriteFailed;
}
