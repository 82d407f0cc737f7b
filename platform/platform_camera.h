// platform_camera.h - the camera: frames of the default video input (Qt Multimedia) or of a
// generated test pattern, kept until the program asks for them on the main thread, and the frame
// scaler that converts a frame of any pixel format and size into RGBA pixels of a fixed size
// (libswscale, one pass for the colour conversion and the scaling).
//
// The source is chosen when a camera is opened, from the environment variable VINTREL_CAMERA:
//   unset or empty   the default video input of the desktop;
//   "test-pattern"   moving colour bars, 1280 x 720 YUYV frames at about 60 a second, made on the
//                    main thread and handed to the same video sink a real camera feeds;
//   "none"           no camera at all, as on a machine without one.
// Frames of either source take the same road: video sink, the waiting frame, plat_CameraIdle,
// the program's data procedure, plat_ScaleFrame.
#pragma once

#include <cstddef>
#include <cstdint>

struct PlatCamera;
typedef PlatCamera* CameraRef;
struct PlatCameraFrame;
typedef const PlatCameraFrame* CameraFrameRef;   // valid during the data procedure's call only
struct PlatFrameScaler;
typedef PlatFrameScaler* FrameScalerRef;

// Called by plat_CameraIdle, on the main thread, with a frame that arrived; returns a status.
typedef int (*CameraDataProc)(CameraRef camera, CameraFrameRef frame, void* userData);

// Opens the source and starts it delivering to proc. Null when there is no camera or it refuses
// to start (busy, no permission); reason (reasonSize bytes) then says why.
CameraRef plat_OpenCamera(CameraDataProc proc, void* userData, char* reason, size_t reasonSize);
// Hands the newest waiting frame to the data procedure (older ones are dropped, as a live view
// wants). Returns 1 when a frame was delivered, 0 when none waited, and -1 once, on the first call
// after the source stopped (unplugged, failed); plat_CameraFailure then gives the reason.
int plat_CameraIdle(CameraRef camera);
// Why the source stopped; "" while it runs.
const char* plat_CameraFailure(CameraRef camera);
// Stops the source and releases the device; null is ignored.
void plat_CloseCamera(CameraRef camera);
// Number of cameras open now (nothing held after the last close).
int plat_OpenCameraCount();

// The frame's size as the source delivered it.
void plat_GetCameraFrameSize(CameraFrameRef frame, int* width, int* height);

// A scaler to RGBA frames of width x height (rows top to bottom, width x 4 bytes each); null for a
// size below 1.
FrameScalerRef plat_BeginFrameScaler(int width, int height);
// Converts and scales frame into dst (width x height x 4 bytes). 0 on success; -50 when the
// frame cannot be read or its format is unknown (dst is then untouched).
int plat_ScaleFrame(FrameScalerRef scaler, CameraFrameRef frame, uint8_t* dst);
void plat_EndFrameScaler(FrameScalerRef scaler);
