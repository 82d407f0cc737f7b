// codec_png.h - PNG pictures read through libspng and written with libdeflate, without the
// toolkit's intermediate images.
//
// Reading takes every standard variant (grey, grey with alpha, true colour, true colour with
// alpha, palette; 1 to 16 bits; interlaced or not) into R,G,B,A bytes, not premultiplied, top
// row first. Transparency chunks become alpha, for 16-bit pictures too (compared at 16 bits,
// before the reduction). 16-bit samples become the nearest 8-bit value to v / 257, as the
// toolkit's reader made them. Gamma and colour chunks are left alone: the samples are the file's own.
// Damaged files (bad checksums of critical chunks or of the compressed data, bad headers,
// missing or short image data) are refused. A damaged ancillary chunk is dropped, as libpng does.
//
// Writing gives 8-bit true colour, with alpha unless every pixel is opaque, each row filtered by
// the filter with the smallest sum of absolute differences (libpng's choice), compressed by
// libdeflate at its level 7 in strips side by side, joined into one zlib stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reads the signature and header only: whether the bytes start a PNG file, and its declared size.
bool png_Probe(const uint8_t* data, size_t size, int* width, int* height);

// Decodes the file into out: height rows of width x 4 bytes. out must hold png_DecodeBytes bytes,
// one more per row (the fast path inflates the rows into out itself). width and
// height must be those png_Probe reported. False when the file is refused; out may then be
// partly written.
inline size_t png_DecodeBytes(int width, int height) { return size_t(width) * size_t(height) * 4 + size_t(height); }
bool png_Decode(const uint8_t* data, size_t size, uint8_t* out, int width, int height);

// Encodes width x height pixels given as A,R,G,B bytes (rows of width x 4 bytes, top row first)
// into a PNG file in *out.
bool png_EncodeArgb(const uint8_t* argb, int width, int height, std::vector<uint8_t>* out);
