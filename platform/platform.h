// platform.h - the program's one door to the desktop.
//
// Everything the editor needs from the desktop toolkit goes through these plain functions:
// windows built from the interface definitions, controls and menus addressed by number, the
// event record and its handlers, timers, modal questions and dialogs, folders, opening web
// addresses and the OpenGL contexts. The implementation sits on Qt 6 (platform_*.cpp); no other
// part of the program includes a Qt header.
//
// Conventions
// - Windows, controls, menus and GL contexts are opaque handles; a null handle matches nothing and
//   every call on it does nothing (reads give 0).
// - Controls are addressed by (window, number); the number is the control's id in its window.
// - Coordinates: global screen coordinates in logical pixels, y downward. Rect is top, left,
//   bottom, right in signed 16-bit integers.
// - Keys use Mac virtual key codes and modifier bits (command = Ctrl here).
// - Every modal interaction goes through plat_RunModal, which records what was shown and can be
//   answered by a script (tests) instead of a person.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef uint32_t OSType;

// Four-character code from a string literal: FourCC("p100").
constexpr OSType FourCC(const char (&s)[5]) {
    return (OSType(uint8_t(s[0])) << 24) | (OSType(uint8_t(s[1])) << 16) |
           (OSType(uint8_t(s[2])) << 8) | OSType(uint8_t(s[3]));
}
// Writes the four characters of code plus a terminator into out[5].
void plat_FourCCText(OSType code, char out[5]);
// The code of a four-character text; 0 when text is not four characters long.
OSType plat_CodeFromText(const char* text);

struct Rect {
    int16_t top, left, bottom, right;
};

// ---------------------------------------------------------------------------------------------
// Status codes
enum : int {
    noErr = 0,
    fnfErr = -43,                       // file not found
    paramErr = -50,
    errUnknownControl = -30584,
    errAEEventNotHandled = -1708,       // answer of a document handler that did nothing
    eventNotHandledErr = -9874,         // answer of an event handler that leaves the event alone
    errAEDescNotFound = -1701,
};

// ---------------------------------------------------------------------------------------------
// Handles
struct PlatWindow;
typedef PlatWindow* WindowRef;
struct PlatControl;
typedef PlatControl* ControlRef;
struct PlatMenu;
typedef PlatMenu* MenuRef;          // the menu of a popup control
struct PlatNib;
typedef PlatNib* IBNibRef;          // an opened set of interface definitions
struct PlatGLContext;
typedef PlatGLContext* GLContextRef;
struct PlatTimer;
typedef PlatTimer* TimerRef;

// ---------------------------------------------------------------------------------------------
// Events

enum : uint32_t {
    kEventClassCommand = FourCC("cmds"),
    kEventClassMouse = FourCC("mous"),
    kEventClassKeyboard = FourCC("keyb"),
    kEventClassMenu = FourCC("menu"),
    kEventClassTextInput = FourCC("text"),
    kEventClassApplication = FourCC("appl"),
    kEventClassWindow = FourCC("wind"),
    kEventClassControl = FourCC("cntl"),
};

enum : uint32_t {
    kEventCommandProcess = 1,
    kEventCommandUpdateStatus = 2,
    kEventMouseDown = 1,
    kEventMouseUp = 2,
    kEventMouseMoved = 5,
    kEventMouseDragged = 6,
    kEventMouseWheelMoved = 10,
    kEventMouseEntered13 = 13,
    kEventRawKeyDown = 1,
    kEventRawKeyRepeat = 2,
    kEventMenuBeginTracking = 1,
    kEventMenuEndTracking = 2,
    kEventMenuTargetItem = 6,
    kEventTextInputUpdateActiveInputArea = 1,
    kEventTextInputUnicodeText = 14,
    kEventAppActivated = 4,
    // window kinds
    kEventWindowDrawContent = 2,
    kEventWindowActivated = 5,
    kEventWindowDeactivated = 6,
    kEventWindowShown = 24,
    kEventWindowBoundsChanged = 27,
    kEventWindowClose = 72,
    kEventWindowCloseAll = 74,
    kEventWindowCollapsing = 86,
    kEventWindowDrawFrame = 1000,
    kEventWindowDrawPart = 1001,
    kEventWindowInit = 1004,
    kEventWindowPaint = 1013,
    // control kinds
    kEventControlHit = 1,
    kEventControlClick = 13,
    kEventControlDraw = 4,
};

// Modifier bits (Mac layout).
enum : uint32_t {
    cmdKey = 0x100,       // Ctrl
    shiftKey = 0x200,
    alphaLock = 0x400,    // Caps Lock
    optionKey = 0x800,    // Alt
    controlKey = 0x1000,  // Meta / Super
};

// Mouse buttons.
enum : uint16_t { kMouseButtonPrimary = 1, kMouseButtonSecondary = 2, kMouseButtonTertiary = 3 };

// Menu-item part codes of the little arrows.
enum : int { kControlUpButtonPart = 20, kControlDownButtonPart = 21 };

// The one event record. Fields that do not apply to the event's class keep their zero value.
struct Event {
    uint32_t eventClass = 0;
    uint32_t kind = 0;
    WindowRef window = nullptr;     // window of the command, key, mouse or window event
    // commands
    OSType command = 0;
    uint16_t menuId = 0;            // menu of a menu-bar command, 0 for controls
    uint16_t menuItem = 0;          // item of that menu (1-based), 0 for controls
    int controlNumber = 0;          // control that sent the command, 0 for menus
    // keys
    uint32_t keyCode = 0;           // Mac virtual key code
    uint32_t modifiers = 0;         // modifier bits above (also for mouse events)
    // mouse (window content coordinates of the canvas surface, logical pixels)
    float mouseX = 0, mouseY = 0;
    uint16_t button = 0;
    int32_t wheelDelta = 0;         // one per notch, positive away from the user
    // menu tracking of popups
    MenuRef menu = nullptr;
    int menuItemIndex = 0;          // target item (1-based), 0 = none
};

struct EventTypeSpec {
    uint32_t eventClass;
    uint32_t kind;
};

typedef void* EventHandlerCallRef;
typedef int (*EventHandlerProc)(EventHandlerCallRef next, const Event* event, void* userData);

// Installs the application-wide handler for the listed event types. One handler only; a new
// call replaces the previous one.
int plat_InstallApplicationEventHandler(EventHandlerProc proc, const EventTypeSpec* types, int count,
                                        void* userData);
// Installs a handler on one window for the listed (class 'wind') kinds.
int plat_InstallWindowEventHandler(WindowRef window, EventHandlerProc proc, const EventTypeSpec* types,
                                   int count, void* userData);
void plat_RemoveWindowEventHandler(WindowRef window);
// The toolkit's own handling of the event. It has already run by the time the program's handler
// is called, so this answers what it reported: eventNotHandledErr unless a test set another
// answer with plat_SetNextHandlerResult.
int plat_CallNextEventHandler(EventHandlerCallRef next, const Event* event);
void plat_SetNextHandlerResult(int result);
// Hands an event record to the installed handlers exactly as the toolkit translation does:
// window events to the window's handler, the rest to the application handler when its type is
// registered. Returns the handler's answer, eventNotHandledErr when no handler takes it.
int plat_DispatchEvent(const Event& event);

// Document events ('aevt' 'oapp', 'odoc', 'pdoc', 'quit'). The documents of an open-documents
// event are the paths given on the command line.
struct AEDocumentList {
    std::vector<std::string> items;   // as given; an item may fail to become a file reference
};
typedef int (*AEHandlerProc)(const AEDocumentList* list);
// Whether the document-event service is present ('evnt'); noErr when it is.
int plat_Gestalt(OSType selector, long* response);
int plat_AEInstallEventHandler(OSType eventClass, OSType eventId, AEHandlerProc proc);
AEHandlerProc plat_AEGetEventHandler(OSType eventClass, OSType eventId);
// Turns a document item into an absolute path of an existing file; fnfErr when it is not one.
int plat_DocumentItemToPath(const std::string& item, char* out, size_t outSize);

// ---------------------------------------------------------------------------------------------
// Application and event loop

// Creates the toolkit's application object. argv[1..] are documents to open after start-up.
void plat_Init(int argc, char** argv);
bool plat_IsInitialised();
// Runs the event loop until plat_QuitApplicationEventLoop; before it starts, the pending document
// event (open application, or open documents with the command-line paths) is queued.
void plat_RunApplicationEventLoop();
void plat_QuitApplicationEventLoop();
// Runs the events that are waiting (tests, and the drawing of modal progress).
void plat_ProcessEvents(int milliseconds = 0);
void plat_SetArrowCursor();

// Event-loop timers; the callback runs on the main thread.
typedef void (*TimerProc)(TimerRef timer, void* userData);
TimerRef plat_InstallEventLoopTimer(double firstFireSeconds, double intervalSeconds, TimerProc proc,
                                    void* userData);
void plat_RemoveEventLoopTimer(TimerRef timer);

// ---------------------------------------------------------------------------------------------
// Interface definitions and windows

// Opens the set of interface definitions "name" (the folder resources/<name>); null when missing.
IBNibRef plat_CreateNibReference(const char* name);
void plat_DisposeNibReference(IBNibRef nib);
// Installs the menu bar "name" of the set; noErr or an error status.
int plat_SetMenuBarFromNib(IBNibRef nib, const char* name);
// Builds the window "name" of the set (hidden); noErr or an error status.
int plat_CreateWindowFromNib(IBNibRef nib, const char* name, WindowRef* outWindow);

// Creates the canvas: a document window whose content is an OpenGL surface of the given content
// rectangle, with close box, zoom, minimise and resize. Hidden until shown.
WindowRef plat_CreateCanvasWindow(const Rect& content);

void plat_ShowWindow(WindowRef w);
void plat_HideWindow(WindowRef w);
bool plat_IsWindowVisible(WindowRef w);
void plat_SelectWindow(WindowRef w);                 // bring to the front and activate
void plat_BringToFront(WindowRef w);
void plat_SetUserFocusWindow(WindowRef w);
void plat_DisposeWindow(WindowRef w);
// Global content bounds in logical pixels.
int plat_GetWindowBounds(WindowRef w, Rect* out);
int plat_SetWindowBounds(WindowRef w, const Rect& content);
void plat_MoveWindow(WindowRef w, int left, int top);
void plat_SizeWindow(WindowRef w, int width, int height);
void plat_SetWindowTitle(WindowRef w, const char* title);
std::string plat_GetWindowTitle(WindowRef w);
void plat_SetWindowAlpha(WindowRef w, float alpha);
double plat_DevicePixelRatio(WindowRef w);
// Asks the window to close as its close box would (the window's handler sees kEventWindowClose).
void plat_RequestClose(WindowRef w);
// Shows or hides every floating window (Tools window and its open drawer).
void plat_ShowFloatingWindows(bool show);
const char* plat_WindowName(WindowRef w);           // the definition's name, "" for the canvas

// Drawers: tool windows that hang below their parent window and follow it.
void plat_SetDrawerParent(WindowRef drawer, WindowRef parent);
void plat_OpenDrawer(WindowRef drawer);
void plat_CloseDrawer(WindowRef drawer);
bool plat_IsDrawerOpen(WindowRef drawer);

// Drops of files onto a window: the receiver gets the local paths of the dropped files and the
// drop point in the canvas surface's coordinates.
typedef int (*DragReceiveProc)(WindowRef window, void* refCon, const std::vector<std::string>& paths,
                               float x, float y);
void plat_InstallReceiveHandler(DragReceiveProc proc, void* refCon);
void plat_RemoveReceiveHandler();
// Delivers a real drop of local files at canvas point (x, y) to the canvas window, as the desktop's
// drag and drop does (tests).
void plat_SimulateDrop(WindowRef canvas, const std::vector<std::string>& paths, float x, float y);
// Current mouse position in the canvas surface's coordinates.
void plat_GetCanvasMouse(WindowRef canvas, int* h, int* v);

// ---------------------------------------------------------------------------------------------
// Controls

bool plat_GetControlByID(WindowRef w, int number, ControlRef* out);
int32_t plat_GetControlValue(ControlRef c);
void plat_SetControlValue(ControlRef c, int32_t value);
int32_t plat_GetControlMinimum(ControlRef c);
int32_t plat_GetControlMaximum(ControlRef c);
void plat_SetControlMinimum(ControlRef c, int32_t value);
void plat_SetControlMaximum(ControlRef c, int32_t value);
int32_t plat_GetControlIncrement(ControlRef c);     // little arrows' step, 1 for others
void plat_EnableControl(ControlRef c, bool enable);
bool plat_IsControlEnabled(ControlRef c);
void plat_ShowControl(ControlRef c, bool show);
bool plat_IsControlVisible(ControlRef c);            // its own visibility flag
void plat_SetControlText(ControlRef c, const char* text);
// Copies the text of a text field, label or button (system encoding, at most size - 1 bytes).
void plat_GetControlText(ControlRef c, char* out, size_t size);
void plat_SetControlImage(ControlRef c, const char* path);   // image views: show a picture file
void plat_RedrawControl(ControlRef c);
// Sends the control's command as the toolkit does when the user operates it (tests).
void plat_ClickControl(ControlRef c);
OSType plat_GetControlCommand(ControlRef c);         // 0 when the control sends none
WindowRef plat_GetControlWindow(ControlRef c);
void plat_ClearKeyboardFocus(WindowRef w);

// Actions called while the user operates a control: sliders on every value the user gives them
// (dragging, track clicks, keys, wheel; part 0), little arrows on each press
// (kControlUpButtonPart / kControlDownButtonPart). Values set by the program call no action.
typedef void (*ControlActionProc)(ControlRef control, int part);
void plat_SetControlAction(ControlRef c, ControlActionProc proc);
ControlActionProc plat_GetControlAction(ControlRef c);
// Tab control: called after the user picks a tab (the value is already set).
typedef void (*ControlEventProc)(ControlRef control, void* userData);
void plat_SetControlEventHandler(ControlRef c, ControlEventProc proc, void* userData);
// User panes: the draw handler paints into the pane (colour swatches). The painter handle is
// valid during the call only.
struct PlatPainter;
typedef void (*ControlDrawProc)(ControlRef control, PlatPainter* painter, void* userData);
void plat_SetControlDrawHandler(ControlRef c, ControlDrawProc proc, void* userData);
void plat_PainterFillRect(PlatPainter* p, float x, float y, float w, float h, float r, float g,
                          float b, float a);
void plat_PainterStrokeRect(PlatPainter* p, float x, float y, float w, float h, float lineWidth);
void plat_GetControlSize(ControlRef c, int* width, int* height);

// Popup menus of controls. Items are numbered from 1.
MenuRef plat_GetControlMenu(ControlRef c);
ControlRef plat_GetMenuControl(MenuRef m);
int plat_CountMenuItems(MenuRef m);
// Copies item's text; false when there is no such item.
bool plat_GetMenuItemText(MenuRef m, int item, char* out, size_t size);
// Inserts an item after position afterItem (0 = first) with a command id.
int plat_InsertMenuItem(MenuRef m, int afterItem, const char* text, uint32_t commandId);
int plat_SetMenuItemText(MenuRef m, int item, const char* text);
int plat_DeleteMenuItem(MenuRef m, int item);
int plat_DeleteAllMenuItems(MenuRef m);
void plat_SetMenuItemFont(MenuRef m, int item, const char* family);

// Menu bar: items addressed by menu id and 1-based item number.
int plat_EnableMenuItem(int menuId, int item, bool enable);
// Text of a menu-bar item (1-based).
int plat_SetMenuBarItemText(int menuId, int item, const char* text);
std::string plat_GetMenuBarItemText(int menuId, int item);
bool plat_IsMenuItemEnabled(int menuId, int item);
int plat_CheckMenuItem(int menuId, int item, bool checked);
bool plat_IsMenuItemChecked(int menuId, int item);
// Finds the menu-bar item that sends code; false when none does.
bool plat_FindMenuCommand(OSType code, int* menuId, int* item);
// The key sequence of the menu-bar items ("Ctrl+P"), for checks against the program's keys.
std::vector<std::string> plat_MenuShortcuts();
// Triggers a menu-bar item as a click would.
void plat_InvokeMenuItem(int menuId, int item);

// ---------------------------------------------------------------------------------------------
// Modal interactions: alerts, questions, file dialogs, the colour picker, the update offer and the
// opening of web addresses. Each is recorded; a script, when set, answers instead of a person.

enum class ModalKind { Alert, OpenFile, SaveFile, ChooseFolder, Color, OpenURL };

struct ModalRequest {
    ModalKind kind = ModalKind::Alert;
    std::string title;
    std::string message;
    std::string okText;          // alerts: text of the default button
    std::string cancelText;      // alerts: text of the cancel button, empty = no cancel button
    std::string suggestedName;   // save dialog
    std::string directory;       // file dialogs: folder to start in
    std::string url;             // OpenURL
    uint16_t rgb[3] = {0, 0, 0}; // colour picker: initial colour (0..65535)
};

struct ModalAnswer {
    bool accepted = true;        // OK / Save / Open / Choose pressed, colour chosen
    std::string path;            // file dialogs
    uint16_t rgb[3] = {0, 0, 0}; // colour picker
};

typedef std::function<ModalAnswer(const ModalRequest&)> ModalScript;

ModalAnswer plat_RunModal(const ModalRequest& request);
void plat_SetModalScript(ModalScript script);       // empty function = real dialogs again
const std::vector<ModalRequest>& plat_ModalLog();
void plat_ClearModalLog();

// The program's message box: stop icon, title "Vintrel v2.2.0", OK (default) and optional
// Cancel; true when OK was pressed.
bool plat_MessageBox(bool withCancel, const char* text);
extern const char* const kAppTitle;

// Opens a web address with the desktop's default handler. With VINTREL_OPEN_URL_LOG naming a file,
// the address (of folders too) is appended to that file as one line instead of being opened.
bool plat_OpenURL(const char* url);
// Shows a folder in the desktop's file manager, through a valid (percent-encoded) file:// address.
bool plat_OpenFolder(const char* path);

// ---------------------------------------------------------------------------------------------
// Folders. Every path returned ends in "/" unless said otherwise.

bool plat_GetUserLibraryFolder(char* out, size_t size);     // $XDG_DATA_HOME or ~/.local/share
bool plat_GetPreferencesFolder(char* out, size_t size);     // $XDG_CONFIG_HOME or ~/.config
bool plat_GetTemporaryItemsFolder(char* out, size_t size);  // per-user, created when missing
// The program's resources folder, without a trailing "/": $VINTREL_RESOURCES when set, else the
// installed share/vintrel/resources beside the executable, else the source tree's resources/.
bool plat_GetResourcesFolder(char* out, size_t size);
// Writes size bytes to path through a temporary file beside it (QSaveFile) that replaces path
// whole on success; a failure leaves path as it was. A link (or anything but a plain file) at
// path is refused rather than written through.
bool plat_WriteFileAtomically(const char* path, const void* data, size_t size);

// ---------------------------------------------------------------------------------------------
// OpenGL

struct GLFormatRequest {
    bool doubleBuffer = true;
    int colorBits = 24;
    int alphaBits = 8;
    int depthBits = 24;
    int samples = 0;             // multisample samples, 0 = none
    int swapInterval = 1;
};

// Creates the canvas's context on its surface. The context is current on return; null on failure.
GLContextRef plat_CreateWindowGLContext(WindowRef canvas, const GLFormatRequest& format);
// Creates an offscreen context that shares textures with share and draws into a framebuffer
// object of width x height RGBA pixels (with depth), multisampled with samples samples where the
// driver offers multisample framebuffers (single-sampled otherwise). Reads (glReadPixels) come from
// a single-sampled copy that plat_ResolveOffscreenBuffer brings up to date. Current on return;
// null on failure.
GLContextRef plat_CreateOffscreenGLContext(GLContextRef share, int width, int height, int samples = 0);
// Gives the offscreen framebuffer exactly width x height pixels (growing or shrinking it); its
// contents are lost when the size changes. The offscreen context is current on return.
bool plat_ResizeOffscreenBuffer(GLContextRef offscreen, int width, int height);
void plat_GetOffscreenBufferSize(GLContextRef offscreen, int* width, int* height);
// Samples per pixel of the offscreen framebuffer (0 = single-sampled).
int plat_GetOffscreenBufferSamples(GLContextRef offscreen);
// Resolves what was drawn into the offscreen framebuffer into the copy that reads come from
// (nothing to do when it is single-sampled): its top-left width x height pixels, or all of it when
// width or height is 0. Must be current.
void plat_ResolveOffscreenBuffer(GLContextRef offscreen, int width = 0, int height = 0);
bool plat_MakeCurrent(GLContextRef ctx);
void plat_DoneCurrent();
GLContextRef plat_CurrentContext();
// Shows what was drawn into the window context (swaps the buffers when the surface is exposed).
void plat_SwapBuffers(GLContextRef ctx);
// Size of the window context's drawable in device pixels.
void plat_GetDrawableSize(GLContextRef ctx, int* width, int* height);
int plat_GetContextSamples(GLContextRef ctx);
void plat_DestroyGLContext(GLContextRef ctx);
// Reads the window surface's last shown frame as RGBA rows, top row first (tests).
bool plat_ReadWindowPixels(GLContextRef ctx, std::vector<uint8_t>* rgba, int* width, int* height);

// Creates an OpenGL surface filling the window w (one built from the interface definitions),
// transparent where nothing opaque is drawn, with a double-buffered RGBA context of its own that
// shares nothing. Current on return; null on failure. The surface goes with the window.
GLContextRef plat_CreateWindowSurfaceGLContext(WindowRef w);
// Whether the display is an X11 display with the GLX extension, the one GLUT's bitmap fonts
// can be drawn with.
bool plat_HasX11GLX();

// ---------------------------------------------------------------------------------------------
// HTTP

enum : int {
    kFetchFailed = -3001,      // no connection, refused, server error, redirect loop
    kFetchTimedOut = -3002,    // the whole reply did not arrive within the timeout
    kFetchTooLarge = -3003,    // the body is longer than the cap (reading stopped there)
};
// Fetches url (http or https) and puts its body into *out. Blocks until the whole reply has
// arrived, the fetch failed, timeoutSeconds have passed or more than maxBytes arrived; meanwhile
// timers and window updates run, user input waits. noErr or one of the codes above.
int plat_FetchText(const char* url, double timeoutSeconds, size_t maxBytes, std::string* out);
// The address of the release-number file: $VINTREL_UPDATE_URL when set (tests point it at a
// local server), else builtIn.
const char* plat_VersionFileURL(const char* builtIn);

// ---------------------------------------------------------------------------------------------
// Diagnostics: writes to standard output and flushes.
void plat_Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---------------------------------------------------------------------------------------------
// Picture files

struct DecodedImage {
    std::vector<uint8_t> rgba;   // width x height x 4 bytes, rows top to bottom, not premultiplied
    int width = 0;
    int height = 0;
    OSType fileType = 0;         // 'PNGf', 'JPEG', 'TIFF', 'GIFf', 'BMPf', 'TPIC', 'WEBP', ...
};
// Decodes a picture file whose format is recognised by its content. Refuses (without decoding)
// pictures with more than maxPixels pixels. noErr, fnfErr, or paramErr for anything unreadable.
int plat_DecodeImage(const char* path, int64_t maxPixels, DecodedImage* out);
