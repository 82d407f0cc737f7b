// picture_files.h - picture files in and out, and the pixel orders at their boundaries.
//
// LoadImage reads any allowed picture format into the layer form (R,G,B,A, top row first); QTSave
// writes the writer form (A,R,G,B, top row first) in a chosen format, JPEG at the quality picked by
// exportQuality (tools_window.h); SaveTempImage turns a layer-form buffer into a fresh numbered PNG
// in the temporary folder; SaveImage exports the composite. The three util_ functions convert
// between the forms in place. The module owns no globals.
#pragma once

#include <cstdint>

#include "platform.h"
#include "platform_codecs.h"

// Reads the picture at path into a malloc'ed buffer of width x height x 4 bytes in the layer form
// (the caller frees it with free()). On success sets width, height, channels = 4 and type (the
// format's code, 'PNGf', 'JPEG', 'TIFF', 'GIFf', 'BMPf', 'TPIC', 'WEBP'); on failure returns null
// and leaves them alone.
unsigned char* LoadImage(const char* path, long* width, long* height, int* channels, unsigned long* type);
// Writes width x height writer-form pixels to path in the format type. 0 on success, 1 when the
// file cannot be created or written (folder missing or unwritable, path a link or a folder), 2 when
// the buffer is refused (null, empty or too large), 3 when there is no writer for type. The file
// is replaced atomically: after a failure an existing file is exactly as it was.
int QTSave(const char* path, unsigned char* pixels, int width, int height, unsigned long type);
// QTSave with the pixels read by read (R,G,B,A rows, read bottom row first, see platform_codecs.h)
// rather than given in the writer form: the same file and the same codes. A JPEG is encoded band
// by band while the next band is read.
int QTSaveRows(const char* path, int width, int height, unsigned long type, const PlatRowReader& read);
// Exports the composite of the whole layer table to path at width x height in the format fileType.
bool SaveImage(const char* path, int width, int height, OSType fileType);
// SaveImage up to the written file, without the canvas redraw after it: QTSave's code, or -1 when
// nothing could be drawn. The window context is current on return.
int WriteComposite(const char* path, int width, int height, OSType fileType);
// The export command: asks for the file (HandleSaveImage) and writes the composite at the base
// picture's size and format there; a write that fails is reported in a message box naming the file.
void ExportPicture();
// Writes a copy of a 4-channel layer-form buffer as "<temporary folder><prefix><n>.png" for the
// first n from 1 whose name is free, and puts that path into outPath[1024]. outPath is changed only
// when the file was written.
void SaveTempImage(char* outPath, const char* prefix, unsigned char* pixels, int width, int height, int channels);
// Reverses the order of the rows (a row is width x channels bytes) in place.
void util_flip(void* buffer, int width, int height, int channels);
// channels 4: each pixel's bytes 0,1,2,3 become 3,0,1,2 (R,G,B,A to A,R,G,B); channels 3: the
// first and third byte of each pixel swap; other counts: unchanged. size is in bytes.
void util_swapBGRA(unsigned char* buffer, int size, int channels);
// Reverses the four bytes at every step-th offset from 0 while four bytes remain within size.
void util_swapRGBA(void* buffer, int size, int step);
