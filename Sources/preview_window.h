// preview_window.h - the small borderless window that previews the highlighted theme or picture
// while the theme or picture popup of the Tools window is open, and the outline of the
// highlighted layer on the canvas while the layer popup is open.
//
// The window has an OpenGL context of its own (sharing nothing with the canvas) and two textures
// in it: the background picture and the current preview picture. Window, context and textures
// exist only while a popup is open. A picture is decoded at most once per opening, at the size
// it is shown in the window (not the full picture), so browsing long lists of large pictures
// stays fluid. Owns the globals below; previewEnabled belongs to the preferences.
#pragma once

#include "layer_table.h"
#include "platform.h"

extern WindowRef preview;         // the preview window, null while no popup is previewed
extern GLContextRef pglContext;   // its own context
extern int32_t preview_type;      // menu id of the popup being browsed: 100, 101 or 106
extern GLuint backTexture;        // "fondo_preview.png", the window's background
extern TexImage previewImage;     // the preview picture: texture, width, height, channels used;
                                  // width and height are the picture's own size

// A popup opened (its menu id). 106 (layers) opens no window. Otherwise false when previews are
// switched off, for other popups, and for the picture popup while the start picture shows; else
// the window is shown 10 pixels right of and below the canvas's content origin.
bool CreatePreview(int type);
// The highlighted item changed: item number and text.
void ShowPreview(int item, const char* name);
// The popup closed: the window, its context and both textures are released (not for 106).
void DestroyPreview();
bool InitPreviewOpenGL();
GLuint LoadPreviewBaseTexture(const char* path);
bool LoadPreviewTexture(const char* name);
void DeletePreviewOpenGL();
