// pending.cpp - operations whose behaviour is not built yet. Each is reachable from its command,
// key or window event, and does nothing (or the least that keeps the program consistent) until
// its module is written; then it moves out of this file.
#include <GL/gl.h>

#include "compositor.h"
#include "drawers.h"
#include "gl_context.h"
#include "layer_ops.h"
#include "live_video.h"
#include "navigation.h"
#include "picture_files.h"
#include "preview_window.h"
#include "snap_crop.h"
#include "switching.h"
#include "textures.h"
#include "theme_library.h"
#include "update_check.h"
#include "write_back.h"
#include "canvas_window.h"





// Preview window, live video, update check.
void CreatePreview(int) {}
void ShowPreview(int, const char*) {}
void DestroyPreview() {}
void HandleLiveVideo() {}
void StopLiveCapture() {}
bool CheckVersionUpdate(bool) { return false; }

// Drawers.
int InitFilter() { return 34; }
void FilterDrawerControlsEnable(bool) {}
void FilterConfirm() {}
void FilterUndo() {}
void SetCurrentFilter() {}
