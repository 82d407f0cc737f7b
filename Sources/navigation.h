// navigation.h - project files (save, open, import, unpack) and the file dialogs.
#pragma once

extern char currProject[1024];
extern bool currProjectSaved;

void LoadProject(const char* path, bool open);
void SaveProject(const char* path);
void ExplodeProject(const char* path);
void OpenTheme();
bool HandleSaveImage(char* pathOut);
