// dispatch.h - the application-wide event handler: menu and control commands routed by their
// code and the window they came from, keys by a fixed table, canvas mouse work, popup-menu
// tracking for the previews, and the document events.
#pragma once

#include "platform.h"

// One entry of a command table: the codes it covers (first..last, both four-character codes of
// the same shape) and the operation they reach.
struct CommandRoute {
    OSType first;
    OSType last;
    const char* handler;          // name of the operation, for diagnostics and checks
    void (*run)(OSType code);
};

// The event types the application handler is registered for, in registration order.
extern const EventTypeSpec kAppEventTypes[16];

int AppEventHandler(EventHandlerCallRef next, const Event* event, void* userData);
// The operation a command reaches from window w (global commands first); null when none.
const CommandRoute* FindCommandRoute(WindowRef w, OSType code);
// Runs a command as the handler does once the next handler has declined it.
void DispatchCommand(WindowRef w, OSType code, int menuId);
// A raw key (Mac virtual code, modifier bits) by the key table.
void HandleKey(uint32_t keyCode, uint32_t modifiers);
// Cmd-W: clears the picture and shows the start picture again.
void ClosePicture();

int InstallAppleEventHandlers();
int HandleOapp(const AEDocumentList* list);
int HandleOdoc(const AEDocumentList* list);
int HandlePdoc(const AEDocumentList* list);
int HandleQuit(const AEDocumentList* list);

// The help pages opened by the help commands, relative to the resources folder, and the file
// address of one of them ("" when the resources folder is missing).
extern const char* const kQuickGuideURL;
extern const char* const kFaqURL;
extern const char* const kMakerURL;
extern const char* const kAddOnsURL;
extern const char* const kThemesURL;
std::string HelpPageURL(const char* page);
