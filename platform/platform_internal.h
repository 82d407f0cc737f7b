// platform_internal.h - what the platform's own files share: the window record behind a
// WindowRef, the canvas surface and the helpers that turn Qt objects into handles. Never
// included outside platform/.
#pragma once

#include "platform.h"

#include <QSaveFile>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <map>

class QOpenGLContext;
class QComboBox;
class CanvasSurface;

struct PlatWindow {
    QPointer<QWidget> widget;          // the top-level widget (QMainWindow for the canvas)
    std::string name;                  // definition name, "" for the canvas
    bool isCanvas = false;
    CanvasSurface* surface = nullptr;  // canvas only: the OpenGL surface
    QWidget* container = nullptr;      // canvas only: the widget that holds the surface
    // the window's event handler
    EventHandlerProc handler = nullptr;
    std::vector<uint32_t> kinds;
    void* handlerData = nullptr;
    // drawers
    PlatWindow* drawerParent = nullptr;
    bool drawerOpen = false;
    // numbered controls of the window ("tool_<n>"), found once when the window is built
    std::map<int, QWidget*> controls;
};

// The canvas's OpenGL surface: turns mouse, wheel and expose events into event records.
class CanvasSurface : public QWindow {
public:
    explicit CanvasSurface(PlatWindow* owner);
    PlatWindow* owner;
    QOpenGLContext* context = nullptr;
    uint32_t buttonsDown = 0;
    int wheelRemainder = 0;

protected:
    void exposeEvent(QExposeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    bool event(QEvent*) override;
};

// --- shared helpers (platform_app.cpp) ---
PlatWindow* plat_windowForWidget(const QWidget* w);      // the record of w's top-level window
PlatWindow* plat_windowForObject(const QObject* o);      // widgets and the canvas surface
void plat_registerWindow(PlatWindow* w);
void plat_unregisterWindow(PlatWindow* w);
const std::vector<PlatWindow*>& plat_allWindows();
PlatWindow* plat_canvasWindow();
uint32_t plat_macModifiers(Qt::KeyboardModifiers m);
// Sends a window event of kind to w's handler when that kind is registered.
void plat_sendWindowEvent(PlatWindow* w, uint32_t kind);
// Sends the command of a control (or menu item) as a process-command event.
void plat_sendCommand(PlatWindow* w, OSType code, int controlNumber, int menuId, int menuItem);

// --- controls (platform_controls.cpp) ---
// Connects every numbered control of a freshly loaded window to the event path.
void plat_wireControls(PlatWindow* w);
void plat_wireMenuBar(QWidget* menuBarHost);
void plat_attachMenuBar(QMainWindow* canvas);
// The drop receiver (platform_windows.cpp).
bool plat_deliverDrop(PlatWindow* w, const std::vector<std::string>& paths, float x, float y);
// Repositions the open drawers of parent below it (platform_windows.cpp).
void plat_layoutDrawers(PlatWindow* parent);
// Key translation (platform_keys.cpp): Mac virtual key code of a Qt key, -1 when it has none.
int plat_macKeyCode(int qtKey, Qt::KeyboardModifiers mods);

// Puts a QSaveFile's file in place only when every byte reached it: a flush that fails (a full
// disk, a file-size limit) cancels the write, where commit() alone would install the cut file.
inline bool plat_commitSaveFile(QSaveFile& file) {
    if (!file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

