// textures.h - every picture on the canvas is an OpenGL texture owned by a slot of the layer table
// plus the slot's pixel copy. Creates them from picture files, from buffers and from other layers,
// replaces and reads back their contents, and loads the mask pictures and the background pattern
// (textures that are not slots). Textures live in the window context; the offscreen context
// shares them.
#pragma once

#include <GL/gl.h>
#include <cstdint>

// Loads a picture file into slot (-1 = first free slot from 0; 0..98 = that slot, which the
// caller has freed). Slot 0 is the base picture: the canvas is resized and titled, no pixel copy
// and no popup item. Other slots get the pixel copy, the path and name, the popup item (added, or
// renamed with renameItem) and become the current layer.
bool LoadTexture(const char* path, int slot, bool refreshControls, bool renameItem);
// A layer from RGBA pixels (top row first). Slot -1 searches and names the new layer; an explicit
// slot keeps its name, place and effects (pixels replaced in place).
bool NewTexture(int slot, const uint8_t* rgba, int width, int height, const char* name);
bool CreateIndexedTexture(int slot, const uint8_t* rgba, int width, int height);
// Copies a layer into the first free slot from 2 up, rows reversed when flip is 1; 0 when refused.
int DuplicateTexture(int source, int flip);
// Shows pixels in the slot's texture while its pixel copy stays as it was.
void Buffer2Texture(int slot, const uint8_t* pixels);
// Replaces the slot's texture by a new one made from its pixel copy.
void ReuploadSlot(int slot);
// A new texture for a slot whose record and pixel copy are already in place.
void RemakeSlotTexture(int slot);
// Takes the slot's texture into its pixel copy.
void Texture2Buffer(int slot);
// A mask picture as a texture whose alpha is the picture's blue; 0 when unreadable.
GLuint LoadMaskTexture(const char* path, int& width, int& height);
// The background pattern: a repeating 2-D texture; 0 when unreadable.
GLuint LoadBaseTexture(const char* path);
// True when every texel of level 0 of the texture has alpha 255 and sampling cannot bring in a
// border colour; textures without alpha are opaque. Binds the texture on target. The answer is
// kept until the next texture upload.
bool TextureIsOpaque(GLuint texture, GLenum target);
// To be called by code that uploads texture pixels itself, outside this module.
void NoteTextureUpload();
