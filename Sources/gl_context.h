// gl_context.h - the OpenGL contexts of the canvas: the window context that draws the canvas
// and owns every texture, and the offscreen context that shares those textures and draws into a
// framebuffer at least 2048 x 2048 (and as large as the base picture). Owns the contexts and the
// capabilities probed at start-up.
//
// Context rule: every function here that works on the offscreen context makes the window context
// current again before it returns.
#pragma once

#include <GL/gl.h>

#include "platform.h"

#ifndef GL_TEXTURE_RECTANGLE_ARB
#define GL_TEXTURE_RECTANGLE_ARB 0x84F5
#endif
#ifndef GL_MULTISAMPLE_ARB
#define GL_MULTISAMPLE_ARB 0x809D
#endif

enum { kOffscreenSize = 2048 };

extern GLContextRef glContext;     // window context; null = OpenGL not running
extern GLContextRef bufContext;    // offscreen context sharing glContext's textures
extern GLContextRef pbuffer;       // the offscreen drawable: bufContext's framebuffer
extern GLenum mapTarget;           // target of every slot and mask texture
extern bool useRectMap;            // rectangle textures available
extern bool useImaging;            // the colour matrix (hue, saturation) can be applied
extern bool imagingInHardware;     // "GL_ARB_imaging" present: the matrix could run on the card
extern bool multisampleSupported;  // "GL_ARB_multisample" present
extern int32_t multisampleLevel;   // samples requested; negative = antialiasing switched off

// Creates both contexts on the canvas, probes the capabilities, initialises the layer table and
// loads the background pattern; false when the canvas cannot be drawn.
bool StartOpenGL();
// Releases every texture and both contexts.
void CloseOpenGL();
// Fits the canvas to the picture x zoom, resets the window projection and redraws.
void UpdateContext();
// True when name occurs in the current context's extension string.
bool util_checkGLExtension(const char* name);
// The window projection for a content of width x height logical pixels: one unit per logical
// pixel, y down, (0, 0) at the top-left; the viewport covers the drawable in device pixels.
void SetWindowProjection(int width, int height);
// The offscreen projection over the whole framebuffer, made current on bufContext.
void SetOffscreenProjection();
// Sizes the offscreen framebuffer to max(2048, width) x max(2048, height), growing or shrinking it;
// the window context is current on return.
bool EnsureOffscreenSize(int width, int height);
// On the first launch only, warns that a missing capability (rectangle textures or the colour
// matrix) is emulated; true when the warning was shown.
bool ShowHardwareWarning(bool rectangles, bool imaging, bool firstLaunch);
// The A key: negates multisampleLevel and switches multisampling to match.
void ToggleMultisample();
// The state both contexts start with, and the window context's own additions.
void SetCommonState();
void SetWindowState();
// Lines and points of the canvas overlays (outline, guides, crop rectangle) are given in canvas
// points and drawn at that many device pixels times lineScale: the screen's scale while the
// canvas is drawn, 1 for pictures drawn off screen.
extern float lineScale;
void SetLineWidth(float points);
void SetPointSize(float points);
