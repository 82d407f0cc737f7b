// codec_gif.h - writing GIF pictures: the colours are reduced to a palette of at most 256 entries
// by libimagequant (with dithering) and the indices are coded by giflib. Reading GIF stays with
// the toolkit's reader.
#pragma once

#include <cstdint>
#include <vector>

// Encodes width x height pixels (R,G,B,A bytes, not premultiplied, top row first, rows of
// width x 4 bytes) as a single-image GIF89a file into *out. GIF has one fully transparent colour
// and no partial alpha: pixels with alpha below 128 become that transparent colour, the others
// are written opaque. A picture of at most 256 distinct opaque colours keeps them exactly.
bool gif_Encode(const uint8_t* rgba, int width, int height, std::vector<uint8_t>* out);
