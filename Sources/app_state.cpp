// app_state.cpp - the run's state flags.
#include "app_state.h"

#include "history.h"

bool kickStart = true;
bool bootComplete = false;
bool toSave = false;
bool themeLoaded = false;
int16_t currMenuID = 0;
WindowRef window_evt = nullptr;

void MarkModified() {
    if (!kickStart && bootComplete) toSave = true;
    HistoryNoteEdit();
}
