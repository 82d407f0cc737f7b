// live_capture.h - live video capture: one cLive object at a time takes the camera's frames,
// scales each to the live layer's size, writes it into that layer's existing texture with a
// sub-image upload and redraws the canvas after each batch, on a short main-loop timer.
//
// Owns the shared capture state below (one capture per run). Only the texture changes while
// capturing; the layer's pixel copy keeps the placeholder until the live toggle freezes the last
// frame (live_video).
#pragma once

#include <GL/gl.h>
#include <cstdint>

#include "platform.h"
#include "platform_camera.h"

class cLive {
public:
    // Starts a capture into texture, frames scaled to width x height, the timer firing every
    // interval seconds. channels is not used. On any failure the object is inactive and holds
    // nothing; the reason is printed.
    cLive(WindowRef window, GLContextRef context, unsigned int& texture, long& width, long& height, int& channels,
          float interval);
    ~cLive();
    // Stops and releases the capture: timer, camera, scaler and frame buffer. Safe to repeat.
    void Delete();

    bool active;    // the capture started; false after a failed construction or Delete
    TimerRef timer; // the redraw timer, null when none
};

extern CameraRef liveSeqGrabber;       // the camera, non-null while a capture exists
extern uint8_t* liveGWorld;            // frame buffer: liveTextureRect's width x height x 4, RGBA
extern OSType livePixelFormat;         // pixel format of liveGWorld: 'RGBA'
extern FrameScalerRef liveDecomSeq;    // converter from the camera's frames, made with the first
extern GLuint liveTexAddress;          // the live layer's texture
extern GLContextRef liveGLContext;     // the context that owns it
extern Rect liveTextureRect;           // (0, 0, height, width) of the frames written to the texture
extern Rect liveVideoRect;             // the camera's frame bounds, known from the first frame
extern unsigned long liveFramesShown;  // redraws that showed a new frame, over the whole run

// Called by the camera for every delivered frame: convert and scale into liveGWorld, upload.
int LiveDataProc(CameraRef camera, CameraFrameRef frame, void* userData);
// Every interval: lets the camera deliver its waiting frame, then redraws when one was shown.
void LiveTimerAction(TimerRef timer, void* userData);
