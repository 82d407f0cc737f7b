// textures.h - turning pictures and pixel buffers into layer textures, and back.
#pragma once

#include <GL/gl.h>
#include <cstdint>

// Loads a picture file into slot (-1 = first free slot); returns the slot's texture or 0.
GLuint LoadTexture(const char* path, int slot, bool select, bool keepPosition);
// The background pattern behind the canvas: a repeating 2-D texture; 0 when unreadable.
GLuint LoadBaseTexture(const char* path);
