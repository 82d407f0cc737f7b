// platform_app.cpp - the application object, the event loop, the handler registry, the key
// translation filter, timers, document events and diagnostics.
#include "platform_internal.h"

#include <algorithm>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QAbstractSpinBox>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

namespace {

QApplication* gApp = nullptr;
std::vector<std::string> gDocuments;     // command-line paths, opened once after start-up
std::vector<PlatWindow*> gWindows;

struct AppHandler {
    EventHandlerProc proc = nullptr;
    std::vector<EventTypeSpec> types;
    void* userData = nullptr;
} gAppHandler;

int gNextHandlerResult = eventNotHandledErr;
std::map<std::pair<OSType, OSType>, AEHandlerProc> gAEHandlers;

bool isTextEntry(QObject* o) {
    return qobject_cast<QLineEdit*>(o) || qobject_cast<QTextEdit*>(o) ||
           qobject_cast<QPlainTextEdit*>(o) || qobject_cast<QAbstractSpinBox*>(o);
}

// The keys a focused control of the Tools window, a drawer or the welcome window is operated
// with; they reach the control as in any desktop program. Every window moves its focus with Tab
// and leaves with Escape; buttons and check boxes are pressed with Space, popups open with Space
// or F4 (their list then takes the arrows and Return); a slider steps with the arrows and the
// page keys. The editor's own keys (letters, Delete, the keypad, and the arrows on anything but
// a slider) stay the editor's wherever the focus is, as does any key with Ctrl or Alt held
// except Tab.
bool controlTakesKey(QObject* target, int key, Qt::KeyboardModifiers mods) {
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        return !(mods & (Qt::ControlModifier | Qt::AltModifier));
    default:
        break;
    }
    if (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (qobject_cast<QAbstractSlider*>(target)) {
        switch (key) {
        case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
        case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
            return true;
        default:
            return false;
        }
    }
    if (qobject_cast<QComboBox*>(target)) return key == Qt::Key_F4;
    return false;
}

// Turns key presses on the program's windows into raw-key events. Text fields keep their keys,
// and modal dialogs (not program windows) are left alone. On the canvas every key is the
// editor's; on the other windows the keys a focused control is operated with go to it (and not
// to the editor), the rest to the editor. A key a control leaves unused travels up to its
// window, passing here again for each parent on the way.
class KeyFilter : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        if (ev->type() != QEvent::KeyPress) return false;
        auto* ke = static_cast<QKeyEvent*>(ev);
        if (isTextEntry(obj)) return false;
        PlatWindow* w = plat_windowForObject(obj);
        if (!w) return false;
        if (!w->isCanvas && controlTakesKey(obj, ke->key(), ke->modifiers())) return false;
        int code = plat_macKeyCode(ke->key(), ke->modifiers());
        if (code < 0) return false;
        Event e;
        e.eventClass = kEventClassKeyboard;
        e.kind = ke->isAutoRepeat() ? kEventRawKeyRepeat : kEventRawKeyDown;
        e.window = w;
        e.keyCode = uint32_t(code);
        e.modifiers = plat_macModifiers(ke->modifiers());
        plat_DispatchEvent(e);
        return true;
    }
};

bool typeRegistered(const std::vector<EventTypeSpec>& types, uint32_t cls, uint32_t kind) {
    for (const EventTypeSpec& t : types)
        if (t.eventClass == cls && t.kind == kind) return true;
    return false;
}

}  // namespace

const char* const kAppTitle = "Vintrel v2.2.0";

void plat_FourCCText(OSType code, char out[5]) {
    out[0] = char(code >> 24);
    out[1] = char(code >> 16);
    out[2] = char(code >> 8);
    out[3] = char(code);
    out[4] = 0;
}

OSType plat_CodeFromText(const char* t) {
    if (!t || strlen(t) != 4) return 0;
    return (OSType(uint8_t(t[0])) << 24) | (OSType(uint8_t(t[1])) << 16) | (OSType(uint8_t(t[2])) << 8) |
           OSType(uint8_t(t[3]));
}

void plat_Log(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    vprintf(format, ap);
    va_end(ap);
    fflush(stdout);
}

// ---------------------------------------------------------------------------------------------
void plat_Init(int argc, char** argv) {
    if (gApp) return;
    static int sArgc = 1;
    static char* sArgv[2] = {nullptr, nullptr};
    static std::string sName = argc > 0 && argv && argv[0] ? argv[0] : "vintrel";
    sArgv[0] = sName.data();
    for (int i = 1; i < argc; ++i)
        if (argv[i] && argv[i][0]) gDocuments.push_back(argv[i]);
    QApplication::setAttribute(Qt::AA_DontCheckOpenGLContextThreadAffinity);
    QCoreApplication::setApplicationName("Vintrel");
    QCoreApplication::setOrganizationName("Vintrel");
    gApp = new QApplication(sArgc, sArgv);
    gApp->setQuitOnLastWindowClosed(false);
    gApp->installEventFilter(new KeyFilter);
}

bool plat_IsInitialised() { return gApp != nullptr; }

void plat_RunApplicationEventLoop() {
    if (!gApp) return;
    // The documents of the command line arrive as one open-documents event once the loop runs;
    // without documents, the open-application event.
    QTimer::singleShot(0, [] {
        AEDocumentList list;
        list.items = gDocuments;
        gDocuments.clear();
        OSType id = list.items.empty() ? FourCC("oapp") : FourCC("odoc");
        if (AEHandlerProc h = plat_AEGetEventHandler(FourCC("aevt"), id)) h(&list);
    });
    if (qEnvironmentVariableIsSet("VINTREL_EXIT_AT_EVENT_LOOP")) {
        // Benchmarks: report when the loop is reached (wall clock, seconds) and leave at once.
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        fprintf(stderr, "event-loop-reached %lld.%09ld\n", (long long)ts.tv_sec, ts.tv_nsec);
        QTimer::singleShot(0, [] { plat_QuitApplicationEventLoop(); });
    }
    gApp->exec();
}

void plat_QuitApplicationEventLoop() {
    // exit(), not quit(): quit() first asks every window to close, and the Tools window refuses.
    if (gApp) QCoreApplication::exit(0);
}

void plat_ProcessEvents(int milliseconds) {
    if (!gApp) return;
    if (milliseconds <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void plat_SetArrowCursor() {
    if (gApp && QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------------------------
// Window registry

void plat_registerWindow(PlatWindow* w) { gWindows.push_back(w); }
void plat_unregisterWindow(PlatWindow* w) { gWindows.erase(std::remove(gWindows.begin(), gWindows.end(), w), gWindows.end()); }
const std::vector<PlatWindow*>& plat_allWindows() { return gWindows; }

PlatWindow* plat_canvasWindow() {
    for (PlatWindow* w : gWindows)
        if (w->isCanvas) return w;
    return nullptr;
}

PlatWindow* plat_windowForWidget(const QWidget* widget) {
    if (!widget) return nullptr;
    const QWidget* top = widget->window();
    for (PlatWindow* w : gWindows)
        if (w->widget == top) return w;
    return nullptr;
}

PlatWindow* plat_windowForObject(const QObject* o) {
    for (PlatWindow* w : gWindows)
        if (w->surface && o == w->surface) return w;
    if (auto* widget = qobject_cast<const QWidget*>(o)) return plat_windowForWidget(widget);
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Handlers

int plat_InstallApplicationEventHandler(EventHandlerProc proc, const EventTypeSpec* types, int count,
                                        void* userData) {
    gAppHandler.proc = proc;
    gAppHandler.types.assign(types, types + count);
    gAppHandler.userData = userData;
    return noErr;
}

int plat_InstallWindowEventHandler(WindowRef window, EventHandlerProc proc, const EventTypeSpec* types,
                                   int count, void* userData) {
    if (!window) return paramErr;
    window->handler = proc;
    window->kinds.clear();
    for (int i = 0; i < count; ++i)
        if (types[i].eventClass == kEventClassWindow) window->kinds.push_back(types[i].kind);
    window->handlerData = userData;
    return noErr;
}

void plat_RemoveWindowEventHandler(WindowRef window) {
    if (!window) return;
    window->handler = nullptr;
    window->kinds.clear();
}

int plat_CallNextEventHandler(EventHandlerCallRef, const Event*) { return gNextHandlerResult; }
void plat_SetNextHandlerResult(int result) { gNextHandlerResult = result; }

int plat_DispatchEvent(const Event& e) {
    if (e.eventClass == kEventClassWindow) {
        PlatWindow* w = e.window;
        if (!w || !w->handler) return eventNotHandledErr;
        for (uint32_t k : w->kinds)
            if (k == e.kind) return w->handler(nullptr, &e, w->handlerData);
        return eventNotHandledErr;
    }
    if (!gAppHandler.proc || !typeRegistered(gAppHandler.types, e.eventClass, e.kind))
        return eventNotHandledErr;
    return gAppHandler.proc(nullptr, &e, gAppHandler.userData);
}

void plat_sendWindowEvent(PlatWindow* w, uint32_t kind) {
    if (!w) return;
    Event e;
    e.eventClass = kEventClassWindow;
    e.kind = kind;
    e.window = w;
    plat_DispatchEvent(e);
}

void plat_sendCommand(PlatWindow* w, OSType code, int controlNumber, int menuId, int menuItem) {
    if (!code) return;
    Event e;
    e.eventClass = kEventClassCommand;
    e.kind = kEventCommandProcess;
    e.window = w;
    e.command = code;
    e.controlNumber = controlNumber;
    e.menuId = uint16_t(menuId);
    e.menuItem = uint16_t(menuItem);
    plat_DispatchEvent(e);
}

// ---------------------------------------------------------------------------------------------
// Document events

int plat_Gestalt(OSType selector, long* response) {
    if (response) *response = 0;
    if (selector == FourCC("evnt")) {
        if (response) *response = 1;
        return noErr;
    }
    return -5551;  // gestaltUndefSelectorErr
}

int plat_AEInstallEventHandler(OSType eventClass, OSType eventId, AEHandlerProc proc) {
    gAEHandlers[{eventClass, eventId}] = proc;
    return noErr;
}

AEHandlerProc plat_AEGetEventHandler(OSType eventClass, OSType eventId) {
    auto it = gAEHandlers.find({eventClass, eventId});
    return it == gAEHandlers.end() ? nullptr : it->second;
}

int plat_DocumentItemToPath(const std::string& item, char* out, size_t outSize) {
    if (!out || outSize == 0) return paramErr;
    QString p = QString::fromLocal8Bit(item.c_str());
    if (p.startsWith("file://")) p = QUrl(p).toLocalFile();
    QFileInfo fi(p);
    if (p.isEmpty() || !fi.exists() || fi.isDir()) return fnfErr;
    QByteArray abs = fi.absoluteFilePath().toLocal8Bit();
    if (size_t(abs.size()) >= outSize) return paramErr;
    memcpy(out, abs.constData(), size_t(abs.size()) + 1);
    return noErr;
}

// ---------------------------------------------------------------------------------------------
// Timers

struct PlatTimer {
    QTimer* timer;
};

TimerRef plat_InstallEventLoopTimer(double firstFireSeconds, double intervalSeconds, TimerProc proc,
                                    void* userData) {
    if (!gApp || !proc) return nullptr;
    auto* t = new PlatTimer{new QTimer};
    QTimer* qt = t->timer;
    qt->setTimerType(Qt::PreciseTimer);
    int intervalMs = int(intervalSeconds * 1000.0 + 0.5);
    QObject::connect(qt, &QTimer::timeout, [t, proc, userData, intervalMs, qt] {
        if (intervalMs > 0 && qt->interval() != intervalMs) qt->setInterval(intervalMs);
        proc(t, userData);
    });
    if (intervalSeconds <= 0) qt->setSingleShot(true);
    qt->start(int(firstFireSeconds * 1000.0 + 0.5));
    return t;
}

void plat_RemoveEventLoopTimer(TimerRef timer) {
    if (!timer) return;
    timer->timer->stop();
    timer->timer->deleteLater();
    delete timer;
}
