// app_main.h - start-up and shut-down of the program, in their fixed order.
#pragma once

// Exit statuses of start-up.
enum StartUpStatus {
    kStartedUp = 0,
    kNoInterfaceFile = 1,      // resources/main cannot be opened
    kNoMenuBar = 2,            // its "MenuBar" cannot be installed
    kNoCanvas = 3,             // the canvas window or OpenGL cannot be created
    kNoToolsWindow = 4,        // the Tools window or a drawer cannot be created
};

// Builds the interface, restores the remembered theme and picture and marks start-up complete.
// kStartedUp, or the exit status of the step that failed.
int StartUp();
// Stops a running capture, writes the preferences and closes the windows and OpenGL.
void ShutDown();
// The whole program: start-up, the update check, the event loop, shut-down. Returns the exit
// status.
int RunProgram(int argc, char** argv);
