// navigation.h - the file dialogs (open and save a project, export the picture, choose a folder,
// show the theme in the file manager) and the project files (save, open, import, unpack).
#pragma once

extern char currProject[1024];     // the project file of the current work, "" when none
extern bool currProjectSaved;      // currProject has been written or read
extern const char* const kProjectSaveFailed;   // the message of a project that could not be written
extern char outFilePath[1024];     // the last path a dialog produced

// "Load Project": true when a file was chosen and its path contains ".vntr"; out gets the path.
bool HandleLoadProject(char* out);
// "Save Project" with the suggested name in inOut; true when confirmed, inOut = path to write.
bool HandleSaveProject(char* inOut);
// The export dialog, suggesting the file part of currentPicture; true when confirmed.
bool HandleSaveImage(char* out);
// "Select a folder for the images"; true when chosen, out = folder + "/".
bool HandleSaveFolder(char* out, const char* suggested);
// Shows the current theme's "Contents" folder in the file manager; the platform's result.
int OpenTheme();

// Open (open = true) or import a project; null path = ask. noErr when every record was read;
// -128 when the dialog was cancelled, fnfErr when the file or the project's theme or picture is
// missing, paramErr when it is no project, damaged (the layers before the damage stay) or there
// is no picture to import onto. Callers may ignore it.
int LoadProject(const char* path, bool open);
void SaveProject(const char* path);
// Writes the project's pictures into a folder the user picks; null path = ask. noErr, -128,
// fnfErr, paramErr as LoadProject; -36 when a picture could not be written.
int ExplodeProject(const char* path);
