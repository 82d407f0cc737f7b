// drawer_filter.h - the filter drawer: one of the catalogue's 34 filters previewed on the current
// layer on every slider move, then confirmed (the result becomes the layer's picture, a PNG in
// the temporary folder) or undone (the untouched pixels come back). Previews always start from
// the layer's untouched pixel copy, so they never accumulate. Owns currFilter, currentCoreLayer,
// gCoreFilter and the sliders' live actions.
//
// Slider moves are coalesced: a move records its value and asks for one preview on the next
// turn of the event loop, so a drag over a large layer computes only the latest position.
#pragma once

#include <cstdint>

#include "filter_catalogue.h"
#include "platform.h"

extern int currFilter;                       // selected catalogue record, 0-based
extern int currentCoreLayer;                 // layer whose texture shows an unconfirmed result; 0 = none
extern const FilterRecord* gCoreFilter;      // record used by the last filtering
extern ControlActionProc slider1ControlActionUPP;
extern ControlActionProc slider2ControlActionUPP;

// Live actions of sliders 569 and 571: store the record's value, ask for a preview.
void LiveHandleSlider1(ControlRef control, int part);
void LiveHandleSlider2(ControlRef control, int part);
// Filters a copy of the layer's pixels with the current record and shows it in the texture.
void ApplyCoreFilter(int layer);
// Filters buffer (width x height x bytesPerPixel, layer form) in place with the current record;
// only 4 bytes per pixel are filtered.
void ProcessFilter(unsigned char* buffer, int width, int height, int bytesPerPixel);
// Runs a preview that a slider move asked for and that has not run yet (tests, and before any
// action that must see the latest preview).
void FlushFilterPreview();
