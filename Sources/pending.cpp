// pending.cpp - operations whose behaviour is not built yet. Each is reachable from its command,
// key or window event, and does nothing (or the least that keeps the program consistent) until
// its module is written; then it moves out of this file.
#include "preview_window.h"
#include "update_check.h"

// Preview window, update check.
void CreatePreview(int) {}
void ShowPreview(int, const char*) {}
void DestroyPreview() {}
bool CheckVersionUpdate(bool) { return false; }
