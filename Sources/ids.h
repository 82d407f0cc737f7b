// ids.h - control, window and menu numbers the program addresses, in one place. Never renumber:
// the interface definitions in resources/main carry the same numbers.
#pragma once

// Menus of the menu bar
enum MenuIds {
    kMenuProject = 1,       // items 1 to 4: open, import, save, save as
    kMenuOptions = 1234,    // items 1 'sThe', 2 'sPrv', 3 'sFnt'
    kMenuEdit = 2,          // items 1 undo, 2 redo
};
enum OptionItems { kItemShortExtension = 1, kItemPreviews = 2, kItemFontPreview = 3 };

// Tools window
enum ToolsControls {
    kThemePopup = 100, kPicturePopup = 101, kZoomSlider = 102, kRestoreButton = 103, kZoomText = 104,
    kWriteButton = 105, kLayerPopup = 106, kRotateSlider = 107, kRotateText = 108, kDeleteButton = 109,
    kUpButton = 110, kDownButton = 111, kScaleXSlider = 112, kScaleXText = 113, kOpacitySlider = 114,
    kTransparencyText = 115, kResetButton = 116, kScaleYSlider = 122, kScaleYText = 123,
    kQualityPopup = 125, kDuplicateButton = 151, kModeSegments = 184, kRemoveAllButton = 192,
    kAnchorFirst = 280, kAnchorCentre = 284, kAnchorLast = 288, kSnapNewCheck = 290,
    kAspectLockCheck = 291, kExportButton = 301, kColorsButton = 556, kTextButton = 557,
    kAlphaButton = 558, kFilterButton = 559, kExtrasButton = 560, kSnapLockCheck = 561,
    kMirrorButton = 800, kFlipButton = 801, kFitButton = 802, kTabControl = 828, kTabPane1 = 829,
    kTabPane2 = 830, kOpenProjectButton = 840, kSaveAsButton = 841, kSaveButton = 842,
    kImportButton = 843, kRotateArrows = 901, kCropButton = 921, kEndCropButton = 922,
};

// Extras drawer
enum ExtrasControls { kShadowCheck = 117, kFrameCheck = 260 };

// Welcome window
enum WelcomeControls { kWelcomeCheck = 123 };
