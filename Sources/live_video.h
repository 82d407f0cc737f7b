// live_video.h - the live camera layer toggle: the first toggle adds a copy of the placeholder
// picture as a new layer and starts a capture into it; the second stops the capture and freezes
// the last frame into the layer's pixels and its file. Owns _cLive, the one running capture.
#pragma once

class cLive;

extern cLive* _cLive;   // the running capture, null when none

// The toggle (L key, 'p543', 'p544').
void HandleLiveVideo();
// Enables the controls that must not act on a live layer when the current layer is not live,
// disables them when it is, and lets the drawers adapt.
void HandleLiveLayerControls();
// Ends a running capture without freezing (at quit); nothing when none runs.
void StopLiveCapture();
