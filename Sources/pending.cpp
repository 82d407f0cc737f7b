// pending.cpp - operations whose behaviour is not built yet. Each is reachable from its command,
// key or window event, and does nothing (or the least that keeps the program consistent) until
// its module is written; then it moves out of this file.
#include "live_video.h"
#include "preview_window.h"
#include "update_check.h"

// Preview window, live video, update check.
void CreatePreview(int) {}
void ShowPreview(int, const char*) {}
void DestroyPreview() {}
void HandleLiveVideo() {}
void StopLiveCapture() {}
bool CheckVersionUpdate(bool) { return false; }
