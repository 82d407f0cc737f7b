// platform_text.h - the font list and the text renderer behind the text layers.
//
// Text arrives as a byte string. Bytes that form valid UTF-8 (the encoding of this desktop's text
// fields) are read as UTF-8; any other byte string (a text layer saved on a system whose 8-bit
// encoding was Mac Roman) is read as Mac Roman. Plain ASCII reads the same either way.
// Sizes are in pixels, one pixel per point.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The installed font families, sorted, one entry per family.
std::vector<std::string> plat_FontFamilies();

// The installed family the desktop sets its text in: the family of its general font as the font
// matching resolves it, or when that is not installed the best match for "sans-serif". Empty
// when neither names an installed family.
std::string plat_DefaultFontFamily();

// The pen advance of text set in family at size pixels: where the pen stands after the last
// glyph, trailing spaces included (not the ink's extent). A family that is not installed is
// replaced by the toolkit's closest match. Returns a value >= 0.
double plat_TextAdvance(const char* family, int size, const char* text, size_t length);

// Draws text into a width x height picture that starts fully transparent, anti-aliased, with its
// baseline size pixels below the top edge (height - size pixels above the bottom edge). Glyphs are
// filled with (r, g, b), or with outlined their outlines are stroked with a 1-pixel line of that
// colour. rgba receives width x height x 4 bytes R,G,B,A, top row first, colour premultiplied by
// alpha. False (rgba left empty) when width or height is not positive.
bool plat_RenderText(const char* family, int size, const char* text, size_t length, bool outlined, float r,
                     float g, float b, int width, int height, std::vector<uint8_t>* rgba);
