// project_file.cpp - the project file: the whole layer stack with the embedded layer pictures.
#include "navigation.h"

char currProject[1024] = "";
bool currProjectSaved = false;

void LoadProject(const char*, bool) {}
void SaveProject(const char*) {}
void ExplodeProject(const char*) {}
