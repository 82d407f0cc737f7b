// layer_table.h - the layer table: 99 records, slot 0 the base picture, slots 1 to 98 the layers
// in stacking order. A slot is in use exactly when its texture is non-zero. Owns texImages,
// currentLayer, scaleFactor and the mask-texture cache; slot operations that keep the table's
// invariants (depth = NewPos(slot), contiguous layers after a removal) live here.
#pragma once

#include <GL/gl.h>
#include <cstdint>

#include "platform.h"

enum { kSlotCount = 99, kFirstLayer = 1, kLastLayer = 98, kMaskCount = 25 };

struct TexImage {
    OSType fileType;        // picture file type of the source ('PNGf', 'JPEG', ...)
    GLuint texture;         // 0 = slot free
    char name[1024];        // name shown in the layer popup
    char path[1024];        // source picture file
    int32_t width;          // displayed size in base-picture pixels: trunc(texWidth x scaleX)
    int32_t height;
    int32_t depth;          // always NewPos(slot)
    int32_t texWidth;       // size of the texture and of pixels
    int32_t texHeight;
    int32_t posX;           // left edge of the drawn (scaled) quad
    int32_t posY;
    int32_t originX;        // left edge of the unscaled layer
    int32_t originY;
    int32_t rotX;           // degrees
    int32_t rotY;
    int32_t rotZ;
    int32_t channels;       // bytes per pixel of pixels: 1, 3 or 4
    float scaleX;
    float scaleY;
    float alpha;            // opacity 0..1
    bool shadow;
    bool live;              // fed by the live-video capture
    float reflection;       // 1.0 ordinary; below 1.0 a reflection showing that fraction
    float shadowAngle;
    float shadowOffset;
    float shadowDarkness;
    float hue;
    float saturation;
    float lightness;        // -1..1
    bool frame;
    int32_t frameSize;
    float fillR, fillG, fillB;                  // 0..255, -1 = no fill
    float frameColorR, frameColorG, frameColorB;  // 0..1
    uint8_t* pixels;        // owned copy: texWidth x texHeight x channels, rows top to bottom
    bool isText;
    int32_t fontSize;
    int32_t outlined;
    float textR, textG, textB;
    char fontText[255];
    char fontName[256];
    float maskRadius;
    int32_t mask;           // 0 none, 1..24 mask picture
    int32_t maskAngle;
    bool maskFit;
    uint64_t pixelGeneration;  // names what pixels holds: a new number whenever they are written
};

extern TexImage texImages[kSlotCount];
extern int32_t currentLayer;            // selected slot, 0 = none
extern float scaleFactor;               // canvas zoom
extern GLuint baseTexture;              // background pattern behind the picture on screen
extern GLuint maskTexture[kMaskCount];  // mask pictures by number, loaded on first use
extern int32_t masksizex[kMaskCount];
extern int32_t masksizey[kMaskCount];

// Depth of a slot's quad: (99 - slot) x -202.
int NewPos(int slot);
// Start-up pass over every slot (after the GL context exists): defaults, depth, maskFit false.
void InitLayerTable();
// Frees a slot: deletes its texture, frees its pixels, resets the fields to their defaults
// (name, path, fileType, sizes and depth are kept). Slots outside 0..98 are ignored.
void DeleteTexture(int slot);
// DeleteTexture for first..98, then empties the layer popup, refreshes the Tools window and
// clears the selection.
void DeleteTextures(int first);
// Exchanges two in-use layers (1..98, distinct); 1 on success, 0 when refused.
int SwapTextures(int a, int b);
// Frees slot s and moves the records above it down one slot; slot 98 ends free.
void RemoveLayerAndCompact(int s);
// Gives the record's pixel copy a new generation number; every writer of pixels calls it (the
// history shares a copy between its steps while its generation stays the same).
void NewPixelGeneration(TexImage& t);
// True when slot is 1..98 and in use.
bool IsValidLayer(int slot);
// True when the selected layer is valid.
bool HasValidLayer();
// The first free slot at or above from, -1 when none.
int FindFreeSlot(int from);
