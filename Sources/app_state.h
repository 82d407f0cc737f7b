// app_state.h - the state flags of a run: whether start-up has finished, whether the start
// picture is showing, whether there is unsaved work, whether a theme picture is loaded, and
// which popup menu is being tracked. Owned here; every module reads them.
#pragma once

#include "platform.h"

extern bool kickStart;          // the start picture shows; no user picture loaded yet
extern bool bootComplete;       // start-up has finished
extern bool toSave;             // unsaved changes to the picture
extern bool themeLoaded;        // a valid theme picture is loaded
extern int16_t currMenuID;      // popup being tracked: 100, 101, 106 or 0
extern WindowRef window_evt;    // window of the command or mouse event being handled

// The modification rule: an edit marks the work unsaved, except while the start picture shows
// or before start-up has finished.
void MarkModified();
