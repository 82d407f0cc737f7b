// write_back.h - writing the composite into the theme, with a one-time backup, and restoring it.
#pragma once

void Save();
void UndoMain();
