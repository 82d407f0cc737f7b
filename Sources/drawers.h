// drawers.h - the five drawers below the Tools window: text, filter, colours, extras and alpha.
// Each has a one-time set-up, a refresh for the current layer and its command handlers.
#pragma once

// text
void InitText();
void TextDrawerControlsEnable(bool enable);
void GetFontSelection();
void GetOutline();
void CreateText(bool update);
void GetColor();
void GetSize();
void CreateString();
void CreateStringFromProject(int slot);
void HandleLiveText();
// filter
int InitFilter();
void FilterDrawerControlsEnable(bool enable);
void FilterConfirm();
void FilterUndo();
void SetCurrentFilter();
void HandleLiveFilter();
// colours
void InitColors();
void ColorDrawerControlsEnable(bool enable);
void HandleHue(float value);
void HandleSaturation(float value);
void HandleLightness(float value);
void HandleLayerFill(bool pick);
void HandleLiveColor();
// extras
void InitExtras();
void ExtrasDrawerControlsEnable(bool enable);
void HandleShadow(int mode);
void HandleRotateShadow(float value);
void HandleDarkShadow(float value);
void HandleReflectionLayer();
void HandleFrame(int mode);
void HandleColorPicker();
void HandleLiveExtras();
// alpha
void InitAlpha();
void AlphaDrawerControlsEnable(bool enable);
void ApplyAlpha();
void AlphaActivate(int mask);
void AlphaFit();
void HandleLiveAlpha();
