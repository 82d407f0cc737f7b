// live_video.h - the live camera layer toggle.
#pragma once

void HandleLiveVideo();
// Ends a running capture (at quit); nothing when none runs.
void StopLiveCapture();
