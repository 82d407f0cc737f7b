// app_fixture.cpp - the running program shared by the tests of one process.
#include "app_fixture.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "app_main.h"
#include "app_state.h"
#include "canvas_window.h"
#include "gl_context.h"
#include "layer_table.h"
#include "tools_window.h"

namespace {
bool gStarted = false;
int gStartStatus = -1;
}

std::string MakeTempDir(const char* tag) {
    std::string base = std::string(getenv("HOME")) + "/" + tag + "-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back(0);
    const char* made = mkdtemp(buf.data());
    return made ? std::string(made) : std::string();
}

void EnsureProgramStarted() {
    if (!gStarted) {
        gStarted = true;
        ScriptedModals answers(true);
        gStartStatus = StartUp();
    }
    ASSERT_EQ(gStartStatus, kStartedUp) << "start-up failed";
    ResetProgramState();
}

void ResetProgramState() {
    plat_SetNextHandlerResult(eventNotHandledErr);
    DeleteTextures(0);
    currentLayer = 0;
    scaleFactor = 1.0f;
    kickStart = false;
    bootComplete = true;
    toSave = false;
    currMouse = 0;
    for (WindowRef d : {drawer_text, drawer_filter, drawer_color, drawer_extras, drawer_alpha})
        if (plat_IsDrawerOpen(d)) plat_CloseDrawer(d);
}

static GLuint UploadSolid(int width, int height, uint32_t rgba, uint8_t** pixelsOut) {
    plat_MakeCurrent(glContext);
    size_t n = size_t(width) * height;
    auto* px = static_cast<uint8_t*>(malloc(n * 4));
    for (size_t i = 0; i < n; ++i) {
        px[i * 4 + 0] = uint8_t(rgba >> 24);
        px[i * 4 + 1] = uint8_t(rgba >> 16);
        px[i * 4 + 2] = uint8_t(rgba >> 8);
        px[i * 4 + 3] = uint8_t(rgba);
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(mapTarget, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(mapTarget, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
    *pixelsOut = px;
    return name;
}

void MakeBasePicture(int width, int height) {
    TexImage& t = texImages[0];
    uint8_t* px = nullptr;
    t.texture = UploadSolid(width, height, 0xffffffff, &px);
    free(px);
    t.width = t.texWidth = width;
    t.height = t.texHeight = height;
    t.channels = 4;
    t.fileType = FourCC("PNGf");
}

void MakeLayer(int slot, int width, int height, uint32_t rgba) {
    TexImage& t = texImages[slot];
    t.texture = UploadSolid(width, height, rgba, &t.pixels);
    NewPixelGeneration(t);
    t.width = t.texWidth = width;
    t.height = t.texHeight = height;
    t.channels = 4;
    t.fileType = FourCC("PNGf");
    snprintf(t.name, sizeof t.name, "layer%d", slot);
}

namespace {
ScriptedModals* gInnermost = nullptr;
}

ScriptedModals::ScriptedModals(bool answer) : answer_(answer), outer_(gInnermost) {
    gInnermost = this;
    Install();
}

void ScriptedModals::Install() {
    plat_SetModalScript([this](const ModalRequest& r) {
        requests.push_back(r);
        ModalAnswer a;
        a.accepted = answer_;
        return a;
    });
}

ScriptedModals::~ScriptedModals() {
    gInnermost = outer_;
    if (outer_) outer_->Install();
    else InstallDefaultModalScript();
}

void InstallDefaultModalScript() {
    // A test never waits for a person: a modal request no test scripted is answered with OK (or
    // cancel for file dialogs) and reported.
    plat_SetModalScript([](const ModalRequest& r) {
        fprintf(stderr, "unscripted modal request: %s%s\n", r.message.c_str(), r.url.c_str());
        ModalAnswer a;
        a.accepted = r.kind == ModalKind::Alert;
        return a;
    });
}

void CanvasMouse(uint32_t kind, float x, float y, uint32_t modifiers, uint16_t button, int wheel) {
    Event e;
    e.eventClass = kEventClassMouse;
    e.kind = kind;
    e.window = window;
    e.mouseX = x;
    e.mouseY = y;
    e.modifiers = modifiers;
    e.button = button;
    e.wheelDelta = wheel;
    plat_DispatchEvent(e);
}
