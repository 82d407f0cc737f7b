// history.cpp - the undo and redo steps of layer actions.
#include "history.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app_state.h"
#include "compositor.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "pixel_ops.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

size_t historyPixelBudget = size_t(512) << 20;
bool historyCheckSharing = false;
int historySharingFaults = 0;

namespace {

using Pixels = std::shared_ptr<const std::vector<uint8_t>>;
using Clock = std::chrono::steady_clock;

// The editable state of the layer table. Records are kept whole (their texture name and pixel
// pointer are not used when restoring); a record's pixelGeneration names its buffer in pixels.
struct State {
    std::vector<TexImage> records;   // slots 1..98
    std::vector<Pixels> pixels;
    int32_t selected = 0;
};
using StatePtr = std::shared_ptr<const State>;

struct Step {
    StatePtr state;     // undo: the state before the action; redo: the state after it
    std::string name;
};

std::deque<Step> undoSteps, redoSteps;
StatePtr committed;             // the state as it is between actions

enum Gesture { kNone, kCommand, kMouse, kWheel, kKeys, kOutside };
bool stepOpen = false;
Gesture openGesture = kNone;
uint32_t openKey = 0;
Clock::time_point lastEdit;
bool inEvent = false;
bool clearPending = false;
bool restoring = false;
bool staleCommit = true;
std::string eventName, pendingName;

size_t PixelSize(const TexImage& t) { return size_t(t.texWidth) * t.texHeight * t.channels; }

// The current state. A pixel copy whose generation the committed state holds shares that
// state's buffer; any other is copied. Generation 0 names nothing and is always copied.
StatePtr TakeState() {
    std::unordered_map<uint64_t, Pixels> known;
    if (committed)
        for (size_t i = 0; i < committed->records.size(); ++i)
            if (committed->pixels[i] && committed->records[i].pixelGeneration)
                known[committed->records[i].pixelGeneration] = committed->pixels[i];
    auto s = std::make_shared<State>();
    s->records.assign(texImages + kFirstLayer, texImages + kLastLayer + 1);
    s->pixels.resize(s->records.size());
    s->selected = currentLayer;
    for (int slot = kFirstLayer; slot <= kLastLayer; ++slot) {
        const TexImage& t = texImages[slot];
        if (!t.texture || !t.pixels) continue;
        size_t size = PixelSize(t);
        Pixels& out = s->pixels[slot - kFirstLayer];
        auto it = t.pixelGeneration ? known.find(t.pixelGeneration) : known.end();
        if (it != known.end() && it->second->size() == size) {
            out = it->second;
            if (!historyCheckSharing || memcmp(out->data(), t.pixels, size) == 0) continue;
            ++historySharingFaults;   // a writer of pixels that kept the generation
        }
        out = std::make_shared<const std::vector<uint8_t>>(t.pixels, t.pixels + size);
    }
    return s;
}

void Commit() {
    committed = TakeState();
    staleCommit = false;
}

// Bytes of the distinct pixel buffers the states hold.
size_t KeptBytes() {
    std::unordered_set<const void*> seen;
    size_t bytes = 0;
    auto count = [&](const StatePtr& s) {
        if (!s) return;
        for (const Pixels& p : s->pixels)
            if (p && seen.insert(p.get()).second) bytes += p->size();
    };
    count(committed);
    for (const Step& st : undoSteps) count(st.state);
    for (const Step& st : redoSteps) count(st.state);
    return bytes;
}

// Oldest steps go first beyond the step count or the pixel budget.
void Trim() {
    while (undoSteps.size() > kHistoryMaxSteps) undoSteps.pop_front();
    while (!undoSteps.empty() && KeptBytes() > historyPixelBudget) undoSteps.pop_front();
}

void RefreshMenu() {
    plat_SetMenuBarItemText(kMenuEdit, 1, HistoryUndoText().c_str());
    plat_SetMenuBarItemText(kMenuEdit, 2, HistoryRedoText().c_str());
    plat_EnableMenuItem(kMenuEdit, 1, HistoryCanUndo());
    plat_EnableMenuItem(kMenuEdit, 2, HistoryCanRedo());
}

void CloseStep() {
    if (!stepOpen) return;
    stepOpen = false;
    openGesture = kNone;
    Commit();
    Trim();
}

void Reset() {
    undoSteps.clear();
    redoSteps.clear();
    stepOpen = false;
    openGesture = kNone;
    Commit();   // keeps only the buffers of the layers as they are
    RefreshMenu();
}

// Brings the layer table to s. A slot whose pixel copy is of the wanted generation keeps it and
// its texture (made anew through the colour matrix when hue or saturation differ); any other
// in-use slot gets its pixel copy back and a new texture made from it.
void Restore(const State& s, bool redraw) {
    restoring = true;
    plat_MakeCurrent(glContext);
    for (int slot = kFirstLayer; slot <= kLastLayer; ++slot) {
        TexImage& t = texImages[slot];
        const TexImage& want = s.records[slot - kFirstLayer];
        const Pixels& px = s.pixels[slot - kFirstLayer];
        bool samePixels = t.texture && want.texture && px && t.pixels && t.pixelGeneration &&
                          t.pixelGeneration == want.pixelGeneration && PixelSize(t) == px->size() &&
                          t.live == want.live;
        bool neutral = want.hue == 0.0f && want.saturation == 1.0f;
        if (samePixels) {
            bool recolour = t.hue != want.hue || t.saturation != want.saturation;
            GLuint tex = t.texture;
            uint8_t* p = t.pixels;
            t = want;
            t.texture = tex;
            t.pixels = p;
            if (recolour && !t.live) {
                if (neutral) Buffer2Texture(slot, t.pixels);
                else ApplyColorMatrix(slot);
            }
            continue;
        }
        if (t.texture) DeleteTexture(slot);
        free(t.pixels);
        t = want;
        t.texture = 0;
        t.pixels = nullptr;
        if (!want.texture || !px) continue;
        t.pixels = static_cast<uint8_t*>(malloc(px->size() ? px->size() : 1));
        if (!t.pixels) {
            t.pixelGeneration = 0;
            continue;
        }
        memcpy(t.pixels, px->data(), px->size());   // the generation is the record's
        RemakeSlotTexture(slot);
        if (!neutral) ApplyColorMatrix(slot);
    }
    currentLayer = s.selected;
    // The layer popup lists the in-use slots by name.
    util_ClearMenu(dialog, kLayerPopup);
    for (int slot = kFirstLayer; slot <= kLastLayer && texImages[slot].texture; ++slot)
        util_SetMenuItem(dialog, kLayerPopup, slot, slot == currentLayer, texImages[slot].name);
    if (HasValidLayer()) util_SetControl(dialog, kLayerPopup, currentLayer);
    EnableSubControls();
    if (redraw) RenderImages(true, -1.0f);
    if (!kickStart && bootComplete) toSave = true;
    restoring = false;
}

// Names of actions by command code.
const std::map<std::string, const char*> kCommandNames = {
    {"p107", "Rotate"}, {"p109", "Delete Layer"}, {"p110", "Move Layer Up"}, {"p111", "Move Layer Down"},
    {"p112", "Scale"}, {"p122", "Scale"}, {"p114", "Opacity"}, {"p116", "Reset"}, {"p125", "Remove All Layers"},
    {"p151", "Duplicate Layer"}, {"p192", "Anchor"}, {"p106", "Anchor"}, {"p800", "Mirror"}, {"p801", "Tilt"},
    {"p802", "Fit"}, {"p843", "Import Project"}, {"p921", "Crop"}, {"p922", "Crop"},
    {"p600", "Hue"}, {"p602", "Saturation"}, {"p604", "Lightness"}, {"p152", "Fill"},
    {"p117", "Shadow"}, {"p160", "Shadow Angle"}, {"p180", "Shadow Darkness"}, {"p182", "Reflection"},
    {"p260", "Frame"}, {"p261", "Frame"}, {"p263", "Frame Color"}, {"p543", "Live Video"}, {"p544", "Live Video"},
    {"p567", "Text"}, {"p568", "Text"}, {"p569", "Text"}, {"p573", "Text"}, {"p570", "Text Color"},
    {"p571", "Text Size"}, {"p575", "Filter"}, {"p205", "Apply Mask"}, {"p206", "Mask"}, {"p207", "Mask Fit"},
};

std::string CommandName(OSType code) {
    char s[5] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code), 0};
    auto it = kCommandNames.find(s);
    if (it != kCommandNames.end()) return it->second;
    if (s[0] == 'p' && s[1] == '3' && code >= FourCC("p300") && code <= FourCC("p323")) return "Mask";
    return "";
}

std::string KeyName(uint32_t key, uint32_t mods) {
    bool cmd = mods & cmdKey;
    switch (key) {
    case 1: return cmd ? "" : "Shadow";
    case 2: return "Duplicate Layer";
    case 3: return "Tilt";
    case 8: case 31: return "Center";
    case 11: return cmd ? "" : "Frame";
    case 15: return "Reflection";
    case 37: return "Live Video";
    case 46: return "Mirror";
    case 51: return "Reset";
    case 116: case 126: return (mods & optionKey) || key == 116 ? "Move Layer Up" : cmd ? "Scale" : "Move";
    case 121: case 125: return (mods & optionKey) || key == 121 ? "Move Layer Down" : cmd ? "Scale" : "Move";
    case 117: return "Delete Layer";
    case 123: case 124: return cmd ? "Rotate" : "Move";
    default: return "";
    }
}

// Whether the layer stack differs from the committed state (texture names and pixel addresses
// aside: a preview makes a new texture without changing the layer; a new pixel generation is a
// difference). Catches the actions that change a record or its pixels without passing
// MarkModified.
bool RecordsDiffer() {
    if (!committed) return false;
    for (int slot = kFirstLayer; slot <= kLastLayer; ++slot) {
        TexImage a = texImages[slot], b = committed->records[slot - kFirstLayer];
        if ((a.texture != 0) != (b.texture != 0)) return true;
        if (!a.texture) continue;
        a.texture = b.texture = 0;
        a.pixels = b.pixels = nullptr;
        if (memcmp(&a, &b, sizeof a) != 0) return true;
    }
    return false;
}

void OpenStep(Gesture gesture) {
    std::string name = !pendingName.empty() ? pendingName : eventName;
    undoSteps.push_back({committed, name.empty() ? std::string("Change") : name});
    redoSteps.clear();
    stepOpen = true;
    openGesture = gesture;
    pendingName.clear();
    Trim();
    RefreshMenu();
}

bool IsArrow(uint32_t key) { return key >= 123 && key <= 126; }

bool Paused() { return Clock::now() - lastEdit > std::chrono::milliseconds(500); }

}  // namespace

void HistoryNoteEdit() {
    if (restoring) return;
    if (kickStart || !bootComplete) {
        staleCommit = true;
        return;
    }
    lastEdit = Clock::now();
    if (stepOpen) return;
    if (!committed || staleCommit) Commit();
    OpenStep(inEvent ? kCommand : kOutside);
}

void HistoryNameAction(const char* name) {
    if (!name || !*name) return;
    if (stepOpen && !undoSteps.empty()) undoSteps.back().name = name;
    else pendingName = name;
}

void HistoryClear() {
    if (inEvent) clearPending = true;
    else Reset();
}

bool HistoryCanUndo() { return !undoSteps.empty(); }
bool HistoryCanRedo() { return !redoSteps.empty(); }
int HistoryUndoCount() { return int(undoSteps.size()); }
size_t HistoryKeptBytes() { return KeptBytes(); }
std::string HistoryUndoText() { return undoSteps.empty() ? "Undo" : "Undo " + undoSteps.back().name; }
std::string HistoryRedoText() { return redoSteps.empty() ? "Redo" : "Redo " + redoSteps.back().name; }

namespace {
// Undo and redo are mirror images: the newest step of from is restored, and the state it
// replaces goes onto to under the same name.
void TakeStep(std::deque<Step>& from, std::deque<Step>& to, bool redraw) {
    CloseStep();
    if (from.empty()) return;
    Step st = from.back();
    from.pop_back();
    to.push_back({committed, st.name});
    Restore(*st.state, redraw);
    committed = st.state;
    RefreshMenu();
}
}  // namespace

void HistoryUndo(bool redraw) { TakeStep(undoSteps, redoSteps, redraw); }
void HistoryRedo(bool redraw) { TakeStep(redoSteps, undoSteps, redraw); }

HistoryEventScope::HistoryEventScope(const Event* e) : event(e) {
    inEvent = true;
    eventName.clear();
    if (e->eventClass == kEventClassCommand) {
        eventName = e->window == drawer_filter ? std::string("Filter") : CommandName(e->command);
        // A slider dragged by its handle edits before its release sends the command: that step
        // is the command's.
        if (stepOpen && openGesture == kOutside && !undoSteps.empty() && undoSteps.back().name == "Change") {
            if (!eventName.empty()) undoSteps.back().name = eventName;
            openGesture = kCommand;
        } else {
            CloseStep();
        }
    } else if (e->eventClass == kEventClassKeyboard) {
        eventName = KeyName(e->keyCode, e->modifiers);
        uint32_t key = e->keyCode << 16 | (e->modifiers & 0xFFFF);
        if (!(stepOpen && openGesture == kKeys && openKey == key && !Paused())) CloseStep();
    } else if (e->eventClass == kEventClassMouse) {
        if (e->kind == kEventMouseWheelMoved) {
            eventName = "Scale";
            if (!(stepOpen && openGesture == kWheel && !Paused())) CloseStep();
        } else if (e->kind == kEventMouseDown) {
            CloseStep();
            eventName = (e->modifiers & cmdKey) ? "Rotate" : "Move";   // a command-drag turns the layer
        } else if (stepOpen && openGesture == kMouse) {
            eventName = undoSteps.back().name;
        } else {
            CloseStep();
            eventName = "Move";
        }
    }
}

HistoryEventScope::~HistoryEventScope() {
    const Event* e = event;
    inEvent = false;
    if (!stepOpen && !clearPending && !kickStart && bootComplete && RecordsDiffer()) {
        lastEdit = Clock::now();
        OpenStep(kCommand);
    }
    if (clearPending) {
        clearPending = false;
        pendingName.clear();
        Reset();
    } else if (stepOpen && openGesture == kCommand) {
        if (e->eventClass == kEventClassKeyboard && IsArrow(e->keyCode)) {
            openGesture = kKeys;
            openKey = e->keyCode << 16 | (e->modifiers & 0xFFFF);
        } else if (e->eventClass == kEventClassMouse && e->kind == kEventMouseWheelMoved) {
            openGesture = kWheel;
        } else if (e->eventClass == kEventClassMouse && e->kind != kEventMouseUp) {
            openGesture = kMouse;
        } else {
            CloseStep();
        }
    } else if (stepOpen && openGesture == kMouse && e->eventClass == kEventClassMouse && e->kind == kEventMouseUp) {
        CloseStep();
    } else if (!stepOpen && e->eventClass != kEventClassMenu) {
        // Selection and other changes that are no step: the committed state follows them.
        Commit();
    }
    eventName.clear();
    RefreshMenu();
}
