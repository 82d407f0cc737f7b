// codec_tga.h - Truevision TGA pictures, read and written without any toolkit.
//
// Reading takes the common variants: uncompressed and run-length coded, true colour of 15, 16, 24
// and 32 bits, grey of 8 bits (16 with alpha), colour-mapped with 8- or 16-bit indices into a map
// of 15 to 32-bit entries, any of the four origins, with or without the version-2 footer.
// Writing gives one variant every reader takes: run-length coded true colour, bottom-left origin,
// 24 bits when every pixel is opaque and 32 bits with 8 alpha bits otherwise, with the footer.
// Pixels on both sides are R,G,B,A bytes, not premultiplied, top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Whether the first bytes of a file are a TGA header of a variant read here, in a file long
// enough to hold the pixels it declares; sets the declared size. Only the header is looked at,
// so this is cheap enough to run before any decoding and the size can be checked against the
// limits first.
bool tga_Probe(const uint8_t* data, size_t size, int* width, int* height);

// Decodes the whole file into out, which holds height rows of stride bytes (at least width x 4).
// False when the header is not one tga_Probe accepts, or when the file ends before its last
// pixel or names a colour outside its map; out may then be partly written.
bool tga_Decode(const uint8_t* data, size_t size, uint8_t* out, size_t stride);

// Encodes width x height pixels (rows of width x 4 bytes) as a TGA file into *out.
bool tga_Encode(const uint8_t* rgba, int width, int height, std::vector<uint8_t>* out);
