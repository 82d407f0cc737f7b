// preview_window.h - the small window that previews themes and pictures while a popup is open.
#pragma once

void CreatePreview(int menuId);
void ShowPreview(int index, const char* itemText);
void DestroyPreview();
