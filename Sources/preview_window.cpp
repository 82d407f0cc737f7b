// preview_window.cpp - the theme and picture preview window and the layer highlight.
#include "preview_window.h"

#include <GL/glu.h>
#include <GL/glut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <string>

#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "ids.h"
#include "picture_files.h"
#include "platform_codecs.h"
#include "platform_text.h"
#include "preferences.h"
#include "textures.h"
#include "theme_library.h"
#include "util_files.h"

WindowRef preview = nullptr;
GLContextRef pglContext = nullptr;
int32_t preview_type = 101;
GLuint backTexture = 0;
TexImage previewImage = {};

namespace {

// Pictures decoded during the current popup opening, by path, at the size they are shown.
// Failed decodes are remembered too, so a broken file is not read again while browsing.
struct Decoded {
    uint8_t* pixels = nullptr;   // width x height x 4, R,G,B,A, top row first; null = unreadable
    int width = 0, height = 0;   // decoded size
    int fullWidth = 0, fullHeight = 0;
};
std::map<std::string, Decoded> gDecoded;
size_t gDecodedBytes = 0;
// Beyond this the remembered pictures are dropped and decoded again when highlighted.
const size_t kDecodedBudget = size_t(128) << 20;

void ForgetDecoded() {
    for (auto& d : gDecoded) free(d.second.pixels);
    gDecoded.clear();
    gDecodedBytes = 0;
}

// The window's content size in logical pixels.
void PortSize(int* w, int* h) {
    Rect r{};
    plat_GetWindowBounds(preview, &r);
    *w = r.right - r.left;
    *h = r.bottom - r.top;
}

const Decoded& DecodeForWindow(const char* path) {
    auto found = gDecoded.find(path);
    if (found != gDecoded.end()) return found->second;
    int W = 0, H = 0;
    PortSize(&W, &H);
    double dpr = plat_DevicePixelRatio(preview);
    Decoded d;
    plat_Log("\nloading image %s", path);
    if (plat_DecodeImageFit(path, kMaxImagePixels, int(W * dpr + 0.5), int(H * dpr + 0.5), &d.pixels, &d.width,
                            &d.height, &d.fullWidth, &d.fullHeight) != noErr)
        d.pixels = nullptr;
    size_t bytes = size_t(d.width) * size_t(d.height) * 4;
    if (gDecodedBytes + bytes > kDecodedBudget) ForgetDecoded();
    gDecodedBytes += bytes;
    return gDecoded.emplace(path, d).first->second;
}

// A GL_TEXTURE_2D texture of the current context for 4-channel pixels.
GLuint UploadPreviewPicture(const uint8_t* pixels, int width, int height) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, (width & 1) ? 1 : 2);
    NoteTextureUpload();
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    return name;
}

// Makes pglContext current and gives the caller's context back when it goes out of scope, so
// that the canvas code after a popup event finds its own context current.
class PreviewContext {
public:
    PreviewContext() : saved_(plat_CurrentContext()) { ok_ = pglContext && plat_MakeCurrent(pglContext); }
    ~PreviewContext() {
        if (saved_ && saved_ != pglContext) plat_MakeCurrent(saved_);
    }
    bool ok() const { return ok_; }

private:
    GLContextRef saved_;
    bool ok_ = false;
};

// GLUT's bitmap fonts need glutInit, which ends the process when it finds no X11 display with
// GLX; it is called only when the platform has checked for one.
bool GlutFontsUsable() {
    static int state = -1;
    if (state < 0) {
        state = 0;
        if (plat_HasX11GLX()) {
            static char name[] = "vintrel";
            static char* argv[] = {name, nullptr};
            int argc = 1;
            glutInit(&argc, argv);
            state = 1;
        }
    }
    return state == 1;
}

// text with its baseline's left end at (x, y) in the window's coordinates, in the colour set.
void DrawCaption(const char* text, float x, float y, float r, float g, float b) {
    glColor4f(r, g, b, 1.0f);
    if (GlutFontsUsable()) {
        glRasterPos3f(x, y, -20.0f);
        for (const char* c = text; *c; ++c) glutBitmapCharacter(GLUT_BITMAP_HELVETICA_18, *c);
        return;
    }
    // The platform's text engine: 18-pixel Helvetica, premultiplied, drawn downward from the top
    // of its box (the baseline is 18 pixels below it).
    const int size = 18, boxW = 120, boxH = 24;
    std::vector<uint8_t> rgba;
    if (!plat_RenderText("Helvetica", size, text, strlen(text), false, r, g, b, boxW, boxH, &rgba)) return;
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glRasterPos3f(x, y - float(size), -20.0f);
    glPixelZoom(1.0f, -1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glDrawPixels(boxW, boxH, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPixelZoom(1.0f, 1.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void Quad(float w, float h, float z) {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(0, 0, z);
    glTexCoord2f(1, 0);
    glVertex3f(w, 0, z);
    glTexCoord2f(1, 1);
    glVertex3f(w, h, z);
    glTexCoord2f(0, 1);
    glVertex3f(0, h, z);
    glEnd();
}

void HighlightLayer(int item) {
    if (item < kFirstLayer || item > kLastLayer || !texImages[item].texture) return;
    TexImage& t = texImages[item];
    bool frame = t.frame;
    int32_t size = t.frameSize;
    float r = t.frameColorR, g = t.frameColorG, b = t.frameColorB;
    t.frame = true;
    t.frameSize = 5;
    t.frameColorR = 1.0f;
    t.frameColorG = 0.7f;
    t.frameColorB = 0.0f;
    RenderImages(true, -1.0f);
    t.frame = frame;
    t.frameSize = size;
    t.frameColorR = r;
    t.frameColorG = g;
    t.frameColorB = b;
}

// Draws the background, the preview picture and, for pictures, its size into the window and
// shows it. pglContext is current.
void DrawPreview() {
    int iw = 0, ih = 0;
    PortSize(&iw, &ih);
    float W = float(iw), H = float(ih);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    if (backTexture) {
        glBindTexture(GL_TEXTURE_2D, backTexture);
        Quad(W, H, -30.0f);
    }
    double width = previewImage.width, height = previewImage.height;
    double s = 1.0;
    if (width >= W || height >= H) s = std::min((W - 10) / width, (H - 10) / height);
    glPushMatrix();
    glTranslatef(float(W * 0.5 - width * s * 0.5), float(H * 0.5 - height * s * 0.5), -20.0f);
    glScalef(float(s), float(s), 1.0f);
    glBindTexture(GL_TEXTURE_2D, previewImage.texture);
    glColor4f(1, 1, 1, 1);
    Quad(float(width), float(height), 0.0f);
    glPopMatrix();
    if (preview_type == kPicturePopup) {
        char caption[32];
        snprintf(caption, sizeof caption, "%dx%d", previewImage.width, previewImage.height);
        glDisable(GL_TEXTURE_2D);
        DrawCaption(caption, W - 99, H - 9, 0, 0, 0);
        DrawCaption(caption, W - 100, H - 10, 1, 1, 1);
        glEnable(GL_TEXTURE_2D);
    }
    plat_SwapBuffers(pglContext);
}

bool gShown = false;   // a picture has been highlighted since the window opened

// The window system asks for the window's content (it was shown or uncovered): the current
// preview is drawn again. A highlight that arrived before the window could show is not lost.
int PreviewWindowHandler(EventHandlerCallRef, const Event* e, void*) {
    if (e->kind != kEventWindowPaint || !gShown) return eventNotHandledErr;
    PreviewContext current;
    if (current.ok()) DrawPreview();
    return noErr;
}

}  // namespace

bool CreatePreview(int type) {
    preview_type = type;
    if (type == kLayerPopup) return true;
    if (!previewEnabled) return false;
    if (type != kThemePopup && type != kPicturePopup) return false;
    if (kickStart && type != kThemePopup) return false;
    ForgetDecoded();
    gShown = false;
    if (previewImage.texture) {
        PreviewContext current;
        if (current.ok()) glDeleteTextures(1, &previewImage.texture);
    }
    previewImage.texture = 0;
    if (preview) return true;
    IBNibRef nib = plat_CreateNibReference("main");
    if (!nib) return false;
    int r = plat_CreateWindowFromNib(nib, "preview", &preview);
    plat_DisposeNibReference(nib);
    if (r != noErr || !preview) {
        preview = nullptr;
        return false;
    }
    Rect canvas{};
    plat_GetWindowBounds(window, &canvas);
    plat_MoveWindow(preview, canvas.left + 10, canvas.top + 10);
    const EventTypeSpec paint = {kEventClassWindow, kEventWindowPaint};
    plat_InstallWindowEventHandler(preview, PreviewWindowHandler, &paint, 1, nullptr);
    // Shown before its context is made: a native window made for GL while still hidden leaves
    // the canvas's surface without its content on X11.
    plat_ShowWindow(preview);
    GLContextRef saved = plat_CurrentContext();
    InitPreviewOpenGL();
    if (saved) plat_MakeCurrent(saved);
    return true;
}

bool InitPreviewOpenGL() {
    if (!preview) return false;
    pglContext = plat_CreateWindowSurfaceGLContext(preview);
    if (!pglContext) return false;
    int W = 0, H = 0;
    PortSize(&W, &H);
    double dpr = plat_DevicePixelRatio(preview);
    glFrontFace(GL_CW);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, W, H, 0, 1.0, 100.0);
    glViewport(0, 0, int(W * dpr + 0.5), int(H * dpr + 0.5));
    glMatrixMode(GL_MODELVIEW);
    glClearColor(0, 0, 0, 0);
    if (backTexture == 0) {
        char path[kPathSize];
        if (!util_ResourcePath("fondo_preview.png", path)) return false;
        backTexture = LoadPreviewBaseTexture(path);
    }
    return true;
}

GLuint LoadPreviewBaseTexture(const char* path) {
    if (!pglContext || !plat_MakeCurrent(pglContext)) return 0;
    long w = 0, h = 0;
    int channels = 0;
    unsigned long type = 0;
    unsigned char* pixels = LoadImage(path, &w, &h, &channels, &type);
    if (!pixels) return 0;
    GLuint name = UploadPreviewPicture(pixels, int(w), int(h));
    free(pixels);
    return name;
}

bool LoadPreviewTexture(const char* name) {
    if (!preview || !pglContext || !name) return false;
    char path[kPathSize];
    if (preview_type == kThemePopup) {
        static const char* const kPreviews[] = {"/contents/preview_large.png", "/contents/preview_large.jpg",
                                                "/contents/preview.png"};
        for (const char* p : kPreviews) {
            if (snprintf(path, sizeof path, "%s%s%s%s", themeFolder, name, THEME_EXT, p) >= int(sizeof path)) return false;
            if (util_exists(path)) break;   // the last one is used whether it exists or not
        }
    } else if (preview_type == kPicturePopup) {
        const char* images = allThemes ? "/Contents/Images/" : "/Contents/Images/Editable_Images/";
        if (snprintf(path, sizeof path, "%s%s%s%s%s", themeFolder, currentTheme, THEME_EXT, images, name) >=
            int(sizeof path))
            return false;
        // A missing picture leaves the previous one (and its size) on show.
        if (!util_exists(path)) return false;
    } else {
        return false;
    }
    if (previewImage.texture) glDeleteTextures(1, &previewImage.texture);
    previewImage.texture = 0;
    const Decoded& d = DecodeForWindow(path);
    if (!d.pixels) return false;
    previewImage.width = d.fullWidth;
    previewImage.height = d.fullHeight;
    previewImage.channels = 4;
    previewImage.texture = UploadPreviewPicture(d.pixels, d.width, d.height);
    return true;
}

void ShowPreview(int item, const char* name) {
    if (preview_type == kLayerPopup) {
        HighlightLayer(item);
        return;
    }
    if (!preview) return;
    PreviewContext current;
    if (!current.ok()) return;
    LoadPreviewTexture(name);
    gShown = true;
    DrawPreview();
}

void DeletePreviewOpenGL() {
    if (!preview || !pglContext) return;
    GLContextRef saved = plat_CurrentContext();
    if (saved == pglContext) saved = nullptr;
    if (plat_MakeCurrent(pglContext)) {
        if (backTexture) glDeleteTextures(1, &backTexture);
        if (previewImage.texture) glDeleteTextures(1, &previewImage.texture);
    }
    previewImage.texture = 0;
    plat_DoneCurrent();
    plat_DestroyGLContext(pglContext);
    pglContext = nullptr;
    backTexture = 0;
    if (saved) plat_MakeCurrent(saved);
}

void DestroyPreview() {
    if (preview_type == kLayerPopup) return;
    ForgetDecoded();
    gShown = false;
    plat_RemoveWindowEventHandler(preview);
    DeletePreviewOpenGL();
    plat_DisposeWindow(preview);
    preview = nullptr;
}
