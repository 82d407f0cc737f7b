// app_fixture.h - the running program for tests that need its windows and OpenGL: start-up runs
// once per test process against a theme folder made for the tests, and helpers make layers with
// real textures.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

// Runs the program's start-up once (later calls do nothing) and fails the test when it did not
// succeed.
void EnsureProgramStarted();
// Frees every slot, clears the selection and undoes the flags tests change, so each test starts
// from a loaded program with no picture.
void ResetProgramState();
// Puts a base picture of width x height into slot 0 (real texture, no file).
void MakeBasePicture(int width, int height);
// Puts a layer of width x height (opaque colour rgba) into slot with a real texture and pixels.
void MakeLayer(int slot, int width, int height, uint32_t rgba = 0xff0000ff);
// Answers every modal request with accepted = answer and records it. Scripts nest: the
// destructor gives the answering back to the enclosing script (or the default one).
struct ScriptedModals {
    explicit ScriptedModals(bool answer = true);
    ~ScriptedModals();
    std::vector<ModalRequest> requests;

private:
    void Install();
    bool answer_;
    ScriptedModals* outer_;
};
// Answers every modal request no test scripted (OK for alerts, cancel otherwise) and reports it.
void InstallDefaultModalScript();
// A mouse event on the canvas at (x, y) in canvas pixels, through the application handler.
void CanvasMouse(uint32_t kind, float x, float y, uint32_t modifiers = 0, uint16_t button = kMouseButtonPrimary,
                 int wheel = 0);
// A unique empty folder under the test home; removed at process end with the home.
std::string MakeTempDir(const char* tag);
