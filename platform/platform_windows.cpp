// platform_windows.cpp - windows: the interface definitions loaded with QUiLoader, the canvas
// (a main window whose content is an OpenGL surface), drawers, window geometry and file drops.
#include "platform_internal.h"
#include "platform_widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QUiLoader>
#include <QUrl>

#include <cstring>

namespace {

class Loader : public QUiLoader {
public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (QWidget* w = plat_createCustomWidget(className, parent, name)) return w;
        return QUiLoader::createWidget(className, parent, name);
    }
};

DragReceiveProc gReceiver = nullptr;
void* gReceiverRef = nullptr;
QMainWindow* gMenuBarHost = nullptr;     // hidden window that holds the menu bar until the canvas exists

std::vector<std::string> droppedPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile()) paths.push_back(u.toLocalFile().toLocal8Bit().toStdString());
    return paths;
}

// The canvas window: forwards its window-level events to the program's window handler.
class CanvasMainWindow : public QMainWindow {
public:
    PlatWindow* owner = nullptr;

protected:
    bool event(QEvent* e) override {
        switch (e->type()) {
        case QEvent::Show: {
            bool r = QMainWindow::event(e);
            plat_sendWindowEvent(owner, kEventWindowShown);
            return r;
        }
        case QEvent::Move:
        case QEvent::Resize: {
            bool r = QMainWindow::event(e);
            plat_sendWindowEvent(owner, kEventWindowBoundsChanged);
            return r;
        }
        case QEvent::WindowActivate:
            plat_sendWindowEvent(owner, kEventWindowActivated);
            break;
        case QEvent::WindowDeactivate:
            plat_sendWindowEvent(owner, kEventWindowDeactivated);
            break;
        case QEvent::WindowStateChange:
            if (windowState() & Qt::WindowMinimized) plat_sendWindowEvent(owner, kEventWindowCollapsing);
            break;
        default:
            break;
        }
        return QMainWindow::event(e);
    }
    // A handler that takes the close event (noErr) keeps the window open.
    void closeEvent(QCloseEvent* e) override {
        Event ev;
        ev.eventClass = kEventClassWindow;
        ev.kind = kEventWindowClose;
        ev.window = owner;
        if (plat_DispatchEvent(ev) == noErr) e->ignore();
        else e->accept();
    }
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        std::vector<std::string> paths = droppedPaths(e->mimeData());
        QPoint local = owner->container ? owner->container->mapFrom(this, e->position().toPoint())
                                        : e->position().toPoint();
        if (!paths.empty() && plat_deliverDrop(owner, paths, float(local.x()), float(local.y())))
            e->acceptProposedAction();
    }
};

// Other program windows: the Tools window ignores its close box (it lives as long as the
// program); drawers close as a drawer does; windows follow with their open drawers. Files
// dropped on any of them go to the drop receiver like drops on the canvas, with the drop point
// in the canvas surface's coordinates (so outside the canvas). Escape closes the welcome
// window, as it closes a dialog, when no control used it.
class WindowWatcher : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* e) override {
        auto* widget = qobject_cast<QWidget*>(obj);
        PlatWindow* w = widget ? plat_windowForWidget(widget) : nullptr;
        if (!w || w->widget != widget) return false;
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* d = static_cast<QDragMoveEvent*>(e);
            if (!d->mimeData()->hasUrls()) return false;
            d->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* d = static_cast<QDropEvent*>(e);
            std::vector<std::string> paths = droppedPaths(d->mimeData());
            QPoint global = widget->mapToGlobal(d->position().toPoint());
            PlatWindow* canvas = plat_canvasWindow();
            QPoint local = canvas && canvas->container ? canvas->container->mapFromGlobal(global) : global;
            if (!paths.empty() && plat_deliverDrop(w, paths, float(local.x()), float(local.y())))
                d->acceptProposedAction();
            return true;
        }
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape && widget->windowType() == Qt::Dialog) {
                widget->close();
                return true;
            }
            return false;
        default:
            break;
        }
        if (e->type() == QEvent::Close) {
            if (w->name == "Tools") {
                e->ignore();
                return true;
            }
            if (w->drawerParent) w->drawerOpen = false;
        } else if (e->type() == QEvent::Move || e->type() == QEvent::Resize) {
            plat_layoutDrawers(w);
        }
        return false;
    }
};
WindowWatcher* gWatcher = nullptr;

int contentOffsetY(PlatWindow* w) {
    if (!w->isCanvas) return 0;
    auto* mw = static_cast<QMainWindow*>(w->widget.data());
    if (mw->isVisible() && w->container) return w->container->mapTo(mw, QPoint(0, 0)).y();
    QWidget* mb = mw->menuWidget();
    return mb ? mb->sizeHint().height() : 0;
}

}  // namespace

struct PlatNib {
    QString folder;
};

// ---------------------------------------------------------------------------------------------
IBNibRef plat_CreateNibReference(const char* name) {
    char res[1024];
    if (!name || !plat_GetResourcesFolder(res, sizeof res)) return nullptr;
    QString folder = QString::fromLocal8Bit(res) + "/" + QString::fromLocal8Bit(name);
    if (!QDir(folder).exists()) return nullptr;
    return new PlatNib{folder};
}

void plat_DisposeNibReference(IBNibRef nib) { delete nib; }

static QWidget* loadDefinition(IBNibRef nib, const char* name) {
    if (!nib || !name) return nullptr;
    QFile file(nib->folder + "/" + QString::fromLocal8Bit(name) + ".ui");
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    Loader loader;
    QWidget* w = loader.load(&file, nullptr);
    if (!w) plat_Log("\ninterface definition %s: %s", name, qPrintable(loader.errorString()));
    return w;
}

int plat_SetMenuBarFromNib(IBNibRef nib, const char* name) {
    QWidget* host = loadDefinition(nib, name);
    auto* mw = qobject_cast<QMainWindow*>(host);
    if (!mw || !mw->menuWidget()) {
        delete host;
        return -4;  // the definition holds no menu bar
    }
    delete gMenuBarHost;
    gMenuBarHost = mw;
    plat_wireMenuBar(mw);
    if (PlatWindow* canvas = plat_canvasWindow())
        plat_attachMenuBar(static_cast<QMainWindow*>(canvas->widget.data()));
    return noErr;
}

void plat_attachMenuBar(QMainWindow* canvas) {
    if (!gMenuBarHost || !canvas) return;
    QMenuBar* bar = gMenuBarHost->menuBar();
    // The menu bar's actions work from every program window, as a desktop menu bar does.
    for (QAction* a : bar->findChildren<QAction*>()) a->setShortcutContext(Qt::ApplicationShortcut);
    canvas->setMenuBar(bar);
}

int plat_CreateWindowFromNib(IBNibRef nib, const char* name, WindowRef* outWindow) {
    if (outWindow) *outWindow = nullptr;
    QWidget* w = loadDefinition(nib, name);
    if (!w) return -4;
    if (!gWatcher) gWatcher = new WindowWatcher;
    std::string n = name;
    Qt::WindowFlags flags = Qt::Window;
    if (n == "Tools" || n.rfind("Drawer", 0) == 0) flags = Qt::Tool;
    else if (n == "preview") flags = Qt::ToolTip | Qt::FramelessWindowHint;
    else if (n == "Window") flags = Qt::Dialog;
    PlatWindow* canvas = plat_canvasWindow();
    w->setParent(canvas ? canvas->widget.data() : nullptr, flags);
    if (n == "preview") {
        w->setAttribute(Qt::WA_TranslucentBackground);
        w->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    if (n == "Tools" || n.rfind("Drawer", 0) == 0) w->setAttribute(Qt::WA_MacAlwaysShowToolWindow);
    auto* pw = new PlatWindow;
    pw->widget = w;
    pw->name = n;
    plat_registerWindow(pw);
    w->installEventFilter(gWatcher);
    if (n != "preview") w->setAcceptDrops(true);
    plat_wireControls(pw);
    if (outWindow) *outWindow = pw;
    return noErr;
}

WindowRef plat_CreateCanvasWindow(const Rect& content) {
    auto* pw = new PlatWindow;
    pw->isCanvas = true;
    auto* mw = new CanvasMainWindow;
    mw->owner = pw;
    mw->setAcceptDrops(true);
    mw->setWindowTitle("");
    pw->widget = mw;
    pw->surface = new CanvasSurface(pw);
    pw->container = QWidget::createWindowContainer(pw->surface, mw);
    pw->container->setFocusPolicy(Qt::StrongFocus);
    pw->container->setMinimumSize(1, 1);
    mw->setCentralWidget(pw->container);
    plat_registerWindow(pw);
    plat_attachMenuBar(mw);
    plat_SetWindowBounds(pw, content);
    return pw;
}

// ---------------------------------------------------------------------------------------------
void plat_ShowWindow(WindowRef w) {
    if (!w || !w->widget) return;
    w->widget->show();
}
void plat_HideWindow(WindowRef w) {
    if (!w || !w->widget) return;
    w->widget->hide();
}
bool plat_IsWindowVisible(WindowRef w) { return w && w->widget && w->widget->isVisible(); }
void plat_SelectWindow(WindowRef w) {
    if (!w || !w->widget) return;
    w->widget->raise();
    w->widget->activateWindow();
}
void plat_BringToFront(WindowRef w) {
    if (!w || !w->widget) return;
    w->widget->raise();
}
void plat_SetUserFocusWindow(WindowRef w) {
    if (!w || !w->widget) return;
    w->widget->activateWindow();
    if (w->container) w->container->setFocus();
}
// The window's record leaves the registry at once (nothing finds it any more) and is freed with
// its widget, which goes on the next turn of the event loop.
void plat_DisposeWindow(WindowRef w) {
    if (!w || !w->widget) return;
    plat_unregisterWindow(w);
    QObject::connect(w->widget, &QObject::destroyed, [w] { delete w; });
    w->widget->hide();
    w->widget->deleteLater();
}
const char* plat_WindowName(WindowRef w) { return w ? w->name.c_str() : ""; }

int plat_GetWindowBounds(WindowRef w, Rect* out) {
    if (!w || !w->widget || !out) return paramErr;
    QRect g = w->widget->geometry();
    QRect c(g.left(), g.top() + contentOffsetY(w), g.width(), g.height() - contentOffsetY(w));
    if (w->isCanvas && w->container && w->widget->isVisible())
        c = QRect(w->container->mapToGlobal(QPoint(0, 0)), w->container->size());
    out->top = int16_t(c.top());
    out->left = int16_t(c.left());
    out->bottom = int16_t(c.top() + c.height());
    out->right = int16_t(c.left() + c.width());
    return noErr;
}

int plat_SetWindowBounds(WindowRef w, const Rect& r) {
    if (!w || !w->widget) return paramErr;
    int off = contentOffsetY(w);
    w->widget->setGeometry(r.left, r.top - off, r.right - r.left, r.bottom - r.top + off);
    return noErr;
}

void plat_MoveWindow(WindowRef w, int left, int top) {
    Rect r;
    if (plat_GetWindowBounds(w, &r) != noErr) return;
    int width = r.right - r.left, height = r.bottom - r.top;
    plat_SetWindowBounds(w, Rect{int16_t(top), int16_t(left), int16_t(top + height), int16_t(left + width)});
}

void plat_SizeWindow(WindowRef w, int width, int height) {
    Rect r;
    if (plat_GetWindowBounds(w, &r) != noErr) return;
    plat_SetWindowBounds(w, Rect{r.top, r.left, int16_t(r.top + height), int16_t(r.left + width)});
}

void plat_SetWindowTitle(WindowRef w, const char* title) {
    if (!w || !w->widget) return;
    w->widget->setWindowTitle(QString::fromLocal8Bit(title ? title : ""));
}
std::string plat_GetWindowTitle(WindowRef w) {
    if (!w || !w->widget) return "";
    return w->widget->windowTitle().toLocal8Bit().toStdString();
}
void plat_SetWindowAlpha(WindowRef w, float alpha) {
    if (!w || !w->widget) return;
    w->widget->setWindowOpacity(alpha);
}
double plat_DevicePixelRatio(WindowRef w) {
    if (!w || !w->widget) return 1.0;
    return w->widget->devicePixelRatioF();
}
void plat_RequestClose(WindowRef w) {
    if (!w || !w->widget) return;
    w->widget->close();
}

void plat_ShowFloatingWindows(bool show) {
    for (PlatWindow* w : plat_allWindows()) {
        if (!w->widget) continue;
        if (w->name == "Tools") w->widget->setVisible(show);
        else if (w->drawerParent && w->drawerOpen) w->widget->setVisible(show);
    }
}

// ---------------------------------------------------------------------------------------------
// Drawers

void plat_SetDrawerParent(WindowRef drawer, WindowRef parent) {
    if (!drawer || !drawer->widget || !parent || !parent->widget) return;
    drawer->drawerParent = parent;
    drawer->widget->setParent(parent->widget, Qt::Tool);
}

void plat_layoutDrawers(PlatWindow* parent) {
    for (PlatWindow* d : plat_allWindows()) {
        if (d->drawerParent != parent || !d->drawerOpen || !d->widget) continue;
        QWidget* p = parent->widget;
        QRect pg = p->geometry(), pf = p->frameGeometry();
        int titleHeight = pg.top() - pf.top();
        d->widget->setGeometry(pg.left(), pf.bottom() + 1 + titleHeight, pg.width(), d->widget->height());
    }
}

void plat_OpenDrawer(WindowRef drawer) {
    if (!drawer || !drawer->widget || !drawer->drawerParent) return;
    drawer->drawerOpen = true;
    plat_layoutDrawers(drawer->drawerParent);
    drawer->widget->show();
    drawer->widget->raise();
}

void plat_CloseDrawer(WindowRef drawer) {
    if (!drawer || !drawer->widget) return;
    drawer->drawerOpen = false;
    drawer->widget->hide();
}

bool plat_IsDrawerOpen(WindowRef drawer) { return drawer && drawer->drawerOpen; }

// ---------------------------------------------------------------------------------------------
// Drops

void plat_InstallReceiveHandler(DragReceiveProc proc, void* refCon) {
    gReceiver = proc;
    gReceiverRef = refCon;
}
void plat_RemoveReceiveHandler() {
    gReceiver = nullptr;
    gReceiverRef = nullptr;
}

bool plat_deliverDrop(PlatWindow* w, const std::vector<std::string>& paths, float x, float y) {
    if (!gReceiver) return false;
    gReceiver(w, gReceiverRef, paths, x, y);
    return true;
}

void plat_GetCanvasMouse(WindowRef canvas, int* h, int* v) {
    QPoint p(0, 0);
    if (canvas && canvas->container) p = canvas->container->mapFromGlobal(QCursor::pos());
    if (h) *h = p.x();
    if (v) *v = p.y();
}

void plat_SimulateDrop(WindowRef canvas, const std::vector<std::string>& paths, float x, float y) {
    if (!canvas || !canvas->widget || !canvas->container) return;
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromLocal8Bit(p.c_str()));
    data.setUrls(urls);
    QPointF at = canvas->container->mapTo(canvas->widget.data(), QPointF(x, y));
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas->widget.data(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas->widget.data(), &drop);
}
