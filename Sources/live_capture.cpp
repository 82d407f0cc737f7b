// live_capture.cpp - the cLive capture object and its shared state. Frames reach LiveDataProc
// from within the camera's idle processing, which LiveTimerAction triggers on the main loop, so
// everything here runs on the main thread.
#include "live_capture.h"

#include <cstdlib>

#include "compositor.h"
#include "gl_context.h"
#include "layer_table.h"
#include "textures.h"
#include "util_controls.h"

CameraRef liveSeqGrabber = nullptr;
uint8_t* liveGWorld = nullptr;
OSType livePixelFormat = FourCC("RGBA");
FrameScalerRef liveDecomSeq = nullptr;
GLuint liveTexAddress = 0;
GLContextRef liveGLContext = nullptr;
Rect liveTextureRect = {0, 0, 256, 256};
Rect liveVideoRect = {0, 0, 240, 320};
unsigned long liveFramesShown = 0;

namespace {

bool frameShown = false;           // a frame reached the texture since the last redraw
const cLive* captureOwner = nullptr;  // the object that passed the one-capture guard

// The texture still belongs to a live layer. A layer freed while live (picture change, remove all)
// gives its texture name back to OpenGL, which may hand it to a new layer: frames must then stop.
bool LiveTextureInUse() {
    for (int s = 0; s < kSlotCount; ++s)
        if (texImages[s].texture == liveTexAddress && texImages[s].live) return true;
    return false;
}

}  // namespace

cLive::cLive(WindowRef, GLContextRef context, unsigned int& texture, long& width, long& height, int&,
             float interval)
    : active(false), timer(nullptr) {
    if (liveSeqGrabber) {
        plat_Log("\nlive video: a capture is already running");
        return;
    }
    captureOwner = this;
    liveGLContext = context;
    liveTexAddress = texture;
    int w = int(width), h = int(height);
    // The upload must fit level 0: where textures are resampled to powers of two, level 0 is not
    // the layer's size, and the frames take level 0's size instead.
    if (context && plat_MakeCurrent(context) && texture) {
        GLint tw = 0, th = 0;
        glBindTexture(mapTarget, texture);
        glGetTexLevelParameteriv(mapTarget, 0, GL_TEXTURE_WIDTH, &tw);
        glGetTexLevelParameteriv(mapTarget, 0, GL_TEXTURE_HEIGHT, &th);
        if (tw > 0 && th > 0) {
            w = tw;
            h = th;
        }
    }
    if (w < 1 || h < 1 || w > 32767 || h > 32767 || !texture) {
        plat_Log("\nlive video: no texture to capture into");
        Delete();
        return;
    }
    util_SetRect(&liveTextureRect, 0, 0, w, h);

    char reason[256] = "";
    liveSeqGrabber = plat_OpenCamera(LiveDataProc, this, reason, sizeof reason);
    if (!liveSeqGrabber) {
        plat_Log("\nlive video: %s", reason);
        Delete();
        return;
    }
    liveGWorld = static_cast<uint8_t*>(calloc(size_t(w) * h, 4));
    livePixelFormat = FourCC("RGBA");
    if (!liveGWorld) {
        plat_Log("\nlive video: no memory for the frame buffer");
        Delete();
        return;
    }
    timer = plat_InstallEventLoopTimer(0, interval, LiveTimerAction, this);
    if (!timer) {
        plat_Log("\nlive video: no timer");
        Delete();
        return;
    }
    active = true;
    plat_Log("\nlive video started: %d x %d", w, h);
}

cLive::~cLive() { Delete(); }

void cLive::Delete() {
    if (timer) plat_RemoveEventLoopTimer(timer);
    // Only the object that passed the one-capture guard releases the shared state: deleting a
    // refused second object leaves the running capture alone.
    if (captureOwner == this) {
        captureOwner = nullptr;
        plat_CloseCamera(liveSeqGrabber);
        plat_EndFrameScaler(liveDecomSeq);
        free(liveGWorld);
        liveSeqGrabber = nullptr;
        liveDecomSeq = nullptr;
        liveGWorld = nullptr;
    }
    timer = nullptr;
    active = false;
}

int LiveDataProc(CameraRef, CameraFrameRef frame, void*) {
    if (!liveGWorld) return 0;
    const int w = liveTextureRect.right, h = liveTextureRect.bottom;
    if (!liveDecomSeq) {
        int fw = 0, fh = 0;
        plat_GetCameraFrameSize(frame, &fw, &fh);
        util_SetRect(&liveVideoRect, 0, 0, fw, fh);
        liveDecomSeq = plat_BeginFrameScaler(w, h);
        if (!liveDecomSeq) return paramErr;
    }
    int status = plat_ScaleFrame(liveDecomSeq, frame, liveGWorld);
    if (status != noErr) return status;
    if (!LiveTextureInUse() || !plat_MakeCurrent(liveGLContext)) return noErr;
    glBindTexture(mapTarget, liveTexAddress);
    if (livePixelFormat == FourCC("RGBA")) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        NoteTextureUpload();
        glTexSubImage2D(mapTarget, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, liveGWorld);
        frameShown = true;
    }
    return status;
}

void LiveTimerAction(TimerRef, void*) {
    if (!liveSeqGrabber || !liveTexAddress) return;
    if (plat_CameraIdle(liveSeqGrabber) < 0) plat_Log("\nlive video stopped: %s", plat_CameraFailure(liveSeqGrabber));
    if (!frameShown) return;
    frameShown = false;
    RenderImages(true, -1.0f);
    ++liveFramesShown;
}
