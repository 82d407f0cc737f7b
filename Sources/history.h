// history.h - undo and redo of layer actions. A step holds the whole editable state of the layer
// table (every record and its pixel copy; a copy is shared between steps while its generation,
// NewPixelGeneration, stays the same, so no bytes are compared) and the selection, taken before
// the action. An action's step begins where every edit passes (MarkModified) and ends with its
// gesture: a mouse drag at the button's release, a slider drag at the handle's release, a wheel
// turn or a run of arrow keys after a pause or another event.
#pragma once

#include <cstddef>
#include <string>

#include "platform.h"

enum { kHistoryMaxSteps = 100 };
extern size_t historyPixelBudget;   // bytes of distinct pixel buffers kept, about 512 MB
// A check for tests: when set, every pixel copy shared by its generation is compared with the
// layer's bytes, and a difference (a writer of pixels that gave no new generation) is counted in
// historySharingFaults and copied instead.
extern bool historyCheckSharing;
extern int historySharingFaults;

// Called by MarkModified: opens a step for the action being done unless one is open.
void HistoryNoteEdit();
// Names the step of the action being done ("Move", "Gaussian Blur"...).
void HistoryNameAction(const char* name);
// Forgets every step (a new picture or theme, an opened project, a closed picture, quitting);
// within an event the forgetting happens when the event is done, so the loading it causes is
// no step either.
void HistoryClear();
// Both redraw the canvas unless told not to (a benchmark times the redraw apart).
void HistoryUndo(bool redraw = true);
void HistoryRedo(bool redraw = true);
bool HistoryCanUndo();
bool HistoryCanRedo();
int HistoryUndoCount();
// Bytes of the distinct pixel buffers the history keeps (the state as it is included).
size_t HistoryKeptBytes();
// The Edit menu's texts: "Undo <action>" / "Redo <action>", or "Undo" / "Redo" when greyed.
std::string HistoryUndoText();
std::string HistoryRedoText();

// Brackets the handling of one application event.
struct HistoryEventScope {
    explicit HistoryEventScope(const Event* e);
    ~HistoryEventScope();
    const Event* event;
};
