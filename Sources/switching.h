// switching.h - changing the theme or the picture being edited, with the questions asked before
// unsaved work is thrown away, and the canvas title that names the picture.
#pragma once

void HandleThemeChange(bool silent);
bool HandlePictureChange(bool silent);
void ShowLayerTitle();
