// history.h - undo and redo of layer actions. A step holds the whole editable state of the layer
// table (every record and its pixel copy, pixel buffers shared between steps while unchanged)
// and the selection, taken before the action. An action's step begins where every edit passes
// (MarkModified) and ends with its gesture: a mouse drag at the button's release, a slider drag
// at the handle's release, a wheel turn or a run of arrow keys after a pause or another event.
#pragma once

#include <cstddef>
#include <string>

#include "platform.h"

enum { kHistoryMaxSteps = 100 };
extern size_t historyPixelBudget;   // bytes of distinct pixel buffers kept, about 512 MB

// Called by MarkModified: opens a step for the action being done unless one is open.
void HistoryNoteEdit();
// Names the step of the action being done ("Move", "Gaussian Blur"...).
void HistoryNameAction(const char* name);
// Forgets every step (a new picture or theme, an opened project, a closed picture, quitting);
// within an event the forgetting happens when the event is done, so the loading it causes is
// no step either.
void HistoryClear();
void HistoryUndo();
void HistoryRedo();
bool HistoryCanUndo();
bool HistoryCanRedo();
int HistoryUndoCount();
// The Edit menu's texts: "Undo <action>" / "Redo <action>", or "Undo" / "Redo" when greyed.
std::string HistoryUndoText();
std::string HistoryRedoText();

// Brackets the handling of one application event.
struct HistoryEventScope {
    explicit HistoryEventScope(const Event* e);
    ~HistoryEventScope();
    const Event* event;
};
