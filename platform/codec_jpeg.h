// codec_jpeg.h - JPEG pictures decoded through TurboJPEG straight into R,G,B,A bytes, and written
// from the writer form A,R,G,B.
//
// Grey, YCbCr (any subsampling, baseline or progressive), CMYK and YCCK pictures are read; the
// result is what libjpeg's own decoder gives with its default (accurate) transform and smooth
// upsampling. CMYK and YCCK pictures are taken as Adobe writes them (inverted ink values), which
// is how the toolkit's JPEG reader turned them into colour before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Reads the frame header only: whether the bytes start a JPEG picture TurboJPEG can decode, and
// its declared size. Cheap enough to run before any decoding so the size can be checked first.
bool jpeg_Probe(const uint8_t* data, size_t size, int* width, int* height);

// Decodes the picture into out: height rows of width x 4 bytes, R,G,B,A (alpha 255), top row
// first. width and height must be the ones jpeg_Probe reported. False when the data is refused;
// out may then be partly written. Recoverable damage that libjpeg only warns about is accepted.
bool jpeg_Decode(const uint8_t* data, size_t size, uint8_t* out, int width, int height);

// Encodes height rows of width x 4 bytes, A,R,G,B (alpha ignored), top row first, as a baseline
// JPEG of quality 1..100 with 4:2:0 chroma, libjpeg's accurate transform and its standard
// Huffman tables, and a JFIF header of 96 dots per inch: the file the toolkit's JPEG writer makes
// of a picture at its default resolution.
bool jpeg_EncodeArgb(const uint8_t* argb, int width, int height, int quality, std::vector<uint8_t>* out);

// The same file as jpeg_EncodeArgb makes of the same pixels, from height rows of width x 4 bytes,
// R,G,B,A (alpha ignored), held bottom row first in rgba (the order OpenGL reads them in) while
// they are still being filled: fill(first, count) is called on this thread for bands of rows, the
// top band first, and has filled rows [first, first + count) of the picture when it returns true.
// Another thread encodes each band once its fill has returned, so filling and encoding overlap.
// A fill that returns false ends the encoding, which then fails.
bool jpeg_EncodeRgbaBands(const uint8_t* rgba, int width, int height, int quality,
                          const std::function<bool(int first, int count)>& fill, std::vector<uint8_t>* out);
