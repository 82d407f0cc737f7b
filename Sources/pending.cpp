// pending.cpp - operations whose behaviour is not built yet. Each is reachable from its command,
// key or window event, and does nothing (or the least that keeps the program consistent) until
// its module is written; then it moves out of this file.
#include "drawers.h"
#include "live_video.h"

// Live video.
void HandleLiveVideo() {}
void StopLiveCapture() {}

// Drawers.
int InitFilter() { return 34; }
void FilterDrawerControlsEnable(bool) {}
void FilterConfirm() {}
void FilterUndo() {}
void SetCurrentFilter() {}
