// write_back.cpp - writing the composite into the theme picture, and restoring its backup.
#include "write_back.h"

void Save() {}
void UndoMain() {}
