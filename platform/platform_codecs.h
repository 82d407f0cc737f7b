// platform_codecs.h - picture codecs: decoding a picture file into a buffer the caller owns, and
// encoding a buffer into a picture file, atomically.
//
// Formats are recognised by the file's content, never by its name, and only from an allow-list:
// PNG 'PNGf', JPEG 'JPEG', TIFF 'TIFF', GIF 'GIFf', BMP 'BMPf', TGA 'TPIC', WebP 'WEBP' (TGA,
// which has no signature, is taken when no other format claims the file and its header is valid).
// A picture's declared size is checked against the limits below before anything is decoded, and
// files that end early are refused rather than decoded into a half-grey picture. Every format
// that is read is also written (WebP where Qt's plug-in is installed).
#pragma once

#include <cstdint>

#include "platform.h"

// Largest picture read or written: each side at most kMaxImageSide pixels, and at most
// kMaxImagePixels pixels in all (400 MB as 8-bit RGBA).
constexpr int kMaxImageSide = 16384;
constexpr int64_t kMaxImagePixels = 100000000;

// Decodes the picture file at path into a malloc'ed buffer of width x height x 4 bytes (R,G,B,A,
// not premultiplied, top row first) that the caller frees with free(). maxPixels lowers the pixel
// limit for this call (values above kMaxImagePixels count as kMaxImagePixels).
// *fileType gets the format's code as soon as the content is recognised and its declared size is
// accepted, even when decoding then fails; it stays untouched for files that are missing, not a
// picture of an allowed format, or too large. *rgba, *width and *height are set on success only.
// Returns noErr, fnfErr (no such file) or paramErr (anything unreadable).
int plat_DecodeImageBuffer(const char* path, int64_t maxPixels, uint8_t** rgba, int* width,
                           int* height, OSType* fileType);

// As plat_DecodeImageBuffer, but a picture larger than fitWidth x fitHeight is decoded scaled down
// to fit into that box (aspect kept) without building the full picture first; *width and *height
// get the decoded size, *fullWidth and *fullHeight the picture's own. The pixel limit applies to
// the picture's own size.
int plat_DecodeImageFit(const char* path, int64_t maxPixels, int fitWidth, int fitHeight, uint8_t** rgba,
                        int* width, int* height, int* fullWidth, int* fullHeight);

// How many pictures the decoder has decoded in this run and the size of the last one (tests).
struct PlatDecodeStats {
    long count = 0;
    int lastWidth = 0;
    int lastHeight = 0;
};
PlatDecodeStats plat_DecodeStats();

// Results of plat_EncodeImage, in the order the checks are made.
enum PlatEncodeResult : int {
    kEncodeDone = 0,
    kEncodeBadTarget = 1,     // path empty, its folder missing or unwritable, or the path names a
                              // symbolic link, a folder or another non-regular file
    kEncodeBadPixels = 2,     // no buffer, or a size that is empty or beyond the limits above
    kEncodeNoWriter = 3,      // no encoder for the type
    kEncodeWriteFailed = 4,   // the encoder or the final rename failed
};

// Writes width x height pixels given as A,R,G,B bytes, top row first, rows of width x 4 bytes, to
// path in the format named by type. quality1023 is the program's quality scale, 0 (minimum) to
// 1023 (maximum), 1024 meaning lossless; it matters to the lossy formats (JPEG, WebP) only.
// The file is written beside the target under a temporary name and renamed over it when
// complete, so an existing file is either replaced whole or left exactly as it was.
int plat_EncodeImage(const char* path, const uint8_t* argb, int width, int height, OSType type,
                     int quality1023);

// Reads rows [first, first + count) of a picture being written into block: R,G,B,A bytes (alpha
// is kept where the format has it), rows of width x 4 bytes, the lowest of those rows first (the
// order OpenGL reads them in). False when they cannot be had.
using PlatRowReader = std::function<bool(int first, int count, uint8_t* block)>;

// As plat_EncodeImage, with the pixels read by read on the calling thread: for JPEG band by band,
// each band encoded on another thread while the next is read; for the other formats at once. The
// same file as plat_EncodeImage writes of the same pixels. A read that fails gives
// kEncodeWriteFailed, and the target is left as it was.
int plat_EncodeImageRows(const char* path, int width, int height, OSType type, int quality1023,
                         const PlatRowReader& read);

// Whether an encoder, or a decoder, for type exists here.
bool plat_HasImageWriter(OSType type);
bool plat_HasImageReader(OSType type);

// The format code of the picture in the file at path, told from its first bytes without decoding
// it: non-zero when it is an allowed format whose declared size is within the limits; 0 for a
// missing file or anything else.
OSType plat_PictureTypeOf(const char* path);
