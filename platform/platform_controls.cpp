// platform_controls.cpp - numbered controls, popup menus and the menu bar.
//
// A control is the widget named "tool_<n>" in its window. What the program reads and writes as a
// control's value depends on the kind: slider and little-arrows position, check state (0/1),
// popup item (1-based, 0 when empty), tab and segment (1-based). Programmatic changes never send
// commands; only the user's operation does.
#include "platform_internal.h"
#include "platform_widgets.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSlider>

#include <cstring>
#include <unordered_map>

namespace {

QWidget* W(ControlRef c) { return reinterpret_cast<QWidget*>(c); }
ControlRef C(QWidget* w) { return reinterpret_cast<ControlRef>(w); }
QComboBox* M(MenuRef m) { return reinterpret_cast<QComboBox*>(m); }

std::unordered_map<QWidget*, ControlActionProc> gActions;
struct EventHook {
    ControlEventProc proc;
    void* data;
};
std::unordered_map<QWidget*, EventHook> gEventHooks;
std::map<int, QMenu*> gMenus;            // menu-bar menus by id

int controlNumber(const QWidget* w) {
    static const QRegularExpression re("^tool_(\\d+)$");
    auto m = re.match(w->objectName());
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

OSType codeFromText(const QString& s) {
    QByteArray b = s.toLatin1();
    if (b.size() != 4) return 0;
    return (OSType(uint8_t(b[0])) << 24) | (OSType(uint8_t(b[1])) << 16) | (OSType(uint8_t(b[2])) << 8) |
           OSType(uint8_t(b[3]));
}

// The command a control sends: its "command" property when present (empty = none), else "p<nnn>".
OSType commandOf(QWidget* w) {
    if (qobject_cast<QLabel*>(w) && !qobject_cast<ImageView*>(w)) return 0;
    QVariant v = w->property("command");
    if (v.isValid()) return codeFromText(v.toString());
    int n = controlNumber(w);
    if (n < 0 || n > 999) return 0;
    return codeFromText(QString::asprintf("p%03d", n));
}

void send(QWidget* control, OSType code) {
    plat_sendCommand(plat_windowForWidget(control), code, controlNumber(control), 0, 0);
}

void runAction(QWidget* control, int part) {
    auto it = gActions.find(control);
    if (it != gActions.end() && it->second) it->second(C(control), part);
}

void sendMenuEvent(QComboBox* combo, uint32_t kind, int index) {
    Event e;
    e.eventClass = kEventClassMenu;
    e.kind = kind;
    e.window = plat_windowForWidget(combo);
    e.menu = reinterpret_cast<MenuRef>(combo);
    e.menuItemIndex = index;
    plat_DispatchEvent(e);
}

// Reports the opening and closing of a popup's list as menu tracking.
class PopupWatcher : public QObject {
public:
    explicit PopupWatcher(QComboBox* c) : QObject(c), combo(c) {}
    QComboBox* combo;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            sendMenuEvent(combo, kEventMenuBeginTracking, 0);
            // The list opens with the current item highlighted: that item is the first target.
            int row = combo->view()->currentIndex().row();
            if (row >= 0) sendMenuEvent(combo, kEventMenuTargetItem, row + 1);
        } else if (e->type() == QEvent::Hide) {
            sendMenuEvent(combo, kEventMenuEndTracking, 0);
        }
        return false;
    }
};

void wireOne(QWidget* w) {
    OSType code = commandOf(w);
    if (auto* slider = qobject_cast<QSlider*>(w)) {
        // The live action follows every value the user gives the slider, however given: the
        // handle dragged, the track clicked, the keys, the wheel. A finished change (anything
        // but a drag in progress) and the release of the handle also send the command. Values
        // the program sets arrive with the signals blocked and run neither. Tracking stays on,
        // so a drag reports each position and not only the last.
        slider->setTracking(true);
        QObject::connect(slider, &QSlider::valueChanged, slider, [slider, code](int) {
            runAction(slider, 0);
            if (!slider->isSliderDown()) send(slider, code);
        });
        QObject::connect(slider, &QSlider::sliderReleased, slider, [slider, code] { send(slider, code); });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QObject::connect(combo, &QComboBox::activated, combo, [combo, code](int) { send(combo, code); });
        QObject::connect(combo, &QComboBox::highlighted, combo,
                         [combo](int index) { sendMenuEvent(combo, kEventMenuTargetItem, index + 1); });
        combo->view()->window()->installEventFilter(new PopupWatcher(combo));
    } else if (auto* arrows = qobject_cast<LittleArrows*>(w)) {
        QObject::connect(arrows, &LittleArrows::partPressed, arrows, [arrows](int part) { runAction(arrows, part); });
    } else if (auto* tab = qobject_cast<TabControl*>(w)) {
        QObject::connect(tab, &TabControl::tabPicked, tab, [tab](int) {
            auto it = gEventHooks.find(tab);
            if (it != gEventHooks.end()) it->second.proc(C(tab), it->second.data);
        });
    } else if (auto* seg = qobject_cast<SegmentedControl*>(w)) {
        QObject::connect(seg, &SegmentedControl::segmentPicked, seg,
                         [seg](int s) { send(seg, codeFromText(seg->commandOf(s))); });
    } else if (auto* view = qobject_cast<ImageView*>(w)) {
        QObject::connect(view, &ImageView::clicked, view, [view, code] { send(view, code); });
    } else if (auto* pane = qobject_cast<UserPane*>(w)) {
        QObject::connect(pane, &UserPane::clicked, pane, [pane, code] { send(pane, code); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, code] {
            if (!edit->isModified()) return;
            edit->setModified(false);
            send(edit, code);
        });
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        QObject::connect(button, &QAbstractButton::clicked, button, [button, code] { send(button, code); });
    }
}

QAction* menuAction(int menuId, int item) {
    auto it = gMenus.find(menuId);
    if (it == gMenus.end()) return nullptr;
    QList<QAction*> acts = it->second->actions();
    return item >= 1 && item <= acts.size() ? acts[item - 1] : nullptr;
}

void copyText(const QString& s, char* out, size_t size) {
    if (!out || size == 0) return;
    QByteArray b = s.toLocal8Bit();
    size_t n = std::min(size - 1, size_t(b.size()));
    memcpy(out, b.constData(), n);
    out[n] = 0;
}

}  // namespace

void plat_wireControls(PlatWindow* pw) {
    for (QWidget* w : pw->widget->findChildren<QWidget*>()) {
        int n = controlNumber(w);
        if (n < 0) continue;
        pw->controls[n] = w;
        wireOne(w);
    }
}

// ---------------------------------------------------------------------------------------------
bool plat_GetControlByID(WindowRef w, int number, ControlRef* out) {
    if (out) *out = nullptr;
    if (!w || !w->widget) return false;
    auto it = w->controls.find(number);
    if (it == w->controls.end()) return false;
    if (out) *out = C(it->second);
    return true;
}

int32_t plat_GetControlValue(ControlRef c) {
    QWidget* w = W(c);
    if (!w) return 0;
    if (auto* s = qobject_cast<QAbstractSlider*>(w)) return s->value();
    if (auto* a = qobject_cast<LittleArrows*>(w)) return a->value();
    if (auto* t = qobject_cast<TabControl*>(w)) return t->value();
    if (auto* g = qobject_cast<SegmentedControl*>(w)) return g->value();
    if (auto* cb = qobject_cast<QComboBox*>(w)) return cb->currentIndex() + 1;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->isCheckable() && b->isChecked() ? 1 : 0;
    return 0;
}

void plat_SetControlValue(ControlRef c, int32_t value) {
    QWidget* w = W(c);
    if (!w) return;
    QSignalBlocker block(w);
    if (auto* s = qobject_cast<QAbstractSlider*>(w)) s->setValue(value);
    else if (auto* a = qobject_cast<LittleArrows*>(w)) a->setValue(value);
    else if (auto* t = qobject_cast<TabControl*>(w)) t->setValue(value);
    else if (auto* g = qobject_cast<SegmentedControl*>(w)) g->setValue(value);
    else if (auto* cb = qobject_cast<QComboBox*>(w)) {
        if (value >= 1 && value <= cb->count()) cb->setCurrentIndex(value - 1);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->isCheckable()) b->setChecked(value != 0);
    }
}

int32_t plat_GetControlMinimum(ControlRef c) {
    QWidget* w = W(c);
    if (auto* s = qobject_cast<QAbstractSlider*>(w)) return s->minimum();
    if (auto* a = qobject_cast<LittleArrows*>(w)) return a->minimum();
    if (qobject_cast<QComboBox*>(w)) return 1;
    return 0;
}

int32_t plat_GetControlMaximum(ControlRef c) {
    QWidget* w = W(c);
    if (auto* s = qobject_cast<QAbstractSlider*>(w)) return s->maximum();
    if (auto* a = qobject_cast<LittleArrows*>(w)) return a->maximum();
    if (auto* cb = qobject_cast<QComboBox*>(w)) return cb->count();
    if (auto* t = qobject_cast<TabControl*>(w)) return t->count();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->isCheckable() ? 1 : 0;
    return 0;
}

void plat_SetControlMinimum(ControlRef c, int32_t value) {
    QWidget* w = W(c);
    QSignalBlocker block(w);
    if (auto* s = qobject_cast<QAbstractSlider*>(w)) s->setMinimum(value);
    else if (auto* a = qobject_cast<LittleArrows*>(w)) a->setMinimum(value);
}

void plat_SetControlMaximum(ControlRef c, int32_t value) {
    QWidget* w = W(c);
    QSignalBlocker block(w);
    if (auto* s = qobject_cast<QAbstractSlider*>(w)) s->setMaximum(value);
    else if (auto* a = qobject_cast<LittleArrows*>(w)) a->setMaximum(value);
}

int32_t plat_GetControlIncrement(ControlRef c) {
    if (auto* a = qobject_cast<LittleArrows*>(W(c))) return a->increment();
    if (auto* s = qobject_cast<QAbstractSlider*>(W(c))) return s->singleStep();
    return c ? 1 : 0;
}

void plat_EnableControl(ControlRef c, bool enable) {
    if (W(c)) W(c)->setEnabled(enable);
}
bool plat_IsControlEnabled(ControlRef c) { return W(c) && W(c)->isEnabled(); }
void plat_ShowControl(ControlRef c, bool show) {
    if (W(c)) W(c)->setVisible(show);
}
bool plat_IsControlVisible(ControlRef c) { return W(c) && !W(c)->isHidden(); }

void plat_SetControlText(ControlRef c, const char* text) {
    QWidget* w = W(c);
    QString s = QString::fromLocal8Bit(text ? text : "");
    QSignalBlocker block(w);
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(s);
    else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(s);
        e->setModified(false);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(s);
}

void plat_GetControlText(ControlRef c, char* out, size_t size) {
    QWidget* w = W(c);
    QString s;
    if (auto* l = qobject_cast<QLabel*>(w)) s = l->text();
    else if (auto* e = qobject_cast<QLineEdit*>(w)) s = e->text();
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) s = b->text();
    copyText(s, out, size);
}

void plat_SetControlImage(ControlRef c, const char* path) {
    QString p = QString::fromLocal8Bit(path ? path : "");
    if (auto* v = qobject_cast<ImageView*>(W(c))) v->setPicture(p);
    else if (auto* l = qobject_cast<QLabel*>(W(c))) l->setPixmap(QPixmap(p).scaled(l->size(), Qt::KeepAspectRatio));
}

void plat_RedrawControl(ControlRef c) {
    if (W(c)) W(c)->update();
}

void plat_ClickControl(ControlRef c) {
    QWidget* w = W(c);
    if (!w || !w->isEnabled()) return;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->click();
    else if (auto* g = qobject_cast<SegmentedControl*>(w)) emit g->segmentPicked(g->value());
    else if (auto* t = qobject_cast<TabControl*>(w)) emit t->tabPicked(t->value());
    else if (auto* v = qobject_cast<ImageView*>(w)) emit v->clicked();
    else if (auto* p = qobject_cast<UserPane*>(w)) emit p->clicked();
    else send(w, commandOf(w));
}

OSType plat_GetControlCommand(ControlRef c) { return W(c) ? commandOf(W(c)) : 0; }
WindowRef plat_GetControlWindow(ControlRef c) { return W(c) ? plat_windowForWidget(W(c)) : nullptr; }

void plat_ClearKeyboardFocus(WindowRef w) {
    if (w && w->widget && w->widget->focusWidget()) w->widget->focusWidget()->clearFocus();
}

void plat_SetControlAction(ControlRef c, ControlActionProc proc) {
    if (W(c)) gActions[W(c)] = proc;
}
ControlActionProc plat_GetControlAction(ControlRef c) {
    auto it = gActions.find(W(c));
    return it == gActions.end() ? nullptr : it->second;
}

void plat_SetControlEventHandler(ControlRef c, ControlEventProc proc, void* userData) {
    if (W(c)) gEventHooks[W(c)] = EventHook{proc, userData};
}

void plat_SetControlDrawHandler(ControlRef c, ControlDrawProc proc, void* userData) {
    if (auto* p = qobject_cast<UserPane*>(W(c))) {
        p->drawProc = proc;
        p->drawData = userData;
        p->update();
    }
}

void plat_GetControlSize(ControlRef c, int* width, int* height) {
    if (width) *width = W(c) ? W(c)->width() : 0;
    if (height) *height = W(c) ? W(c)->height() : 0;
}

// ---------------------------------------------------------------------------------------------
// Popup menus

MenuRef plat_GetControlMenu(ControlRef c) {
    auto* cb = qobject_cast<QComboBox*>(W(c));
    return reinterpret_cast<MenuRef>(cb);
}
ControlRef plat_GetMenuControl(MenuRef m) { return C(M(m)); }
int plat_CountMenuItems(MenuRef m) { return M(m) ? M(m)->count() : 0; }

bool plat_GetMenuItemText(MenuRef m, int item, char* out, size_t size) {
    if (!M(m) || item < 1 || item > M(m)->count()) return false;
    copyText(M(m)->itemText(item - 1), out, size);
    return true;
}

int plat_InsertMenuItem(MenuRef m, int afterItem, const char* text, uint32_t commandId) {
    QComboBox* cb = M(m);
    if (!cb) return paramErr;
    QSignalBlocker block(cb);
    int at = std::max(0, std::min(afterItem, cb->count()));
    cb->insertItem(at, QString::fromLocal8Bit(text ? text : ""), QVariant(uint(commandId)));
    return noErr;
}

int plat_SetMenuItemText(MenuRef m, int item, const char* text) {
    QComboBox* cb = M(m);
    if (!cb || item < 1 || item > cb->count()) return paramErr;
    cb->setItemText(item - 1, QString::fromLocal8Bit(text ? text : ""));
    return noErr;
}

int plat_DeleteMenuItem(MenuRef m, int item) {
    QComboBox* cb = M(m);
    if (!cb || item < 1 || item > cb->count()) return paramErr;
    QSignalBlocker block(cb);
    cb->removeItem(item - 1);
    return noErr;
}

int plat_DeleteAllMenuItems(MenuRef m) {
    QComboBox* cb = M(m);
    if (!cb) return paramErr;
    QSignalBlocker block(cb);
    cb->clear();
    return noErr;
}

void plat_SetMenuItemFont(MenuRef m, int item, const char* family) {
    QComboBox* cb = M(m);
    if (!cb || item < 1 || item > cb->count()) return;
    cb->setItemData(item - 1, family ? QFont(QString::fromLocal8Bit(family)) : QVariant(), Qt::FontRole);
}

// ---------------------------------------------------------------------------------------------
// Menu bar

void plat_wireMenuBar(QWidget* host) {
    gMenus.clear();
    for (QMenu* menu : host->findChildren<QMenu*>()) {
        QVariant id = menu->property("menuId");
        int menuId = id.isValid() ? id.toInt() : 0;
        if (menuId) gMenus[menuId] = menu;
        QList<QAction*> acts = menu->actions();
        for (int i = 0; i < acts.size(); ++i) {
            QAction* a = acts[i];
            int item = i + 1;
            if (a->property("standard").toString() == "quit") {
                // The desktop's quit ends the program the way closing the canvas does.
                QObject::connect(a, &QAction::triggered, a, [] {
                    if (PlatWindow* canvas = plat_canvasWindow(); canvas && canvas->widget)
                        canvas->widget->close();
                    else
                        plat_QuitApplicationEventLoop();
                });
                continue;
            }
            OSType code = codeFromText(a->property("command").toString());
            if (!code) continue;
            QObject::connect(a, &QAction::triggered, a, [a, code, menuId, item](bool) {
                // Check marks belong to the program: undo Qt's own toggle and let the command
                // set the mark.
                if (a->isCheckable()) {
                    QSignalBlocker block(a);
                    a->setChecked(!a->isChecked());
                }
                plat_sendCommand(nullptr, code, 0, menuId, item);
            });
        }
    }
}

int plat_EnableMenuItem(int menuId, int item, bool enable) {
    QAction* a = menuAction(menuId, item);
    if (!a) return paramErr;
    a->setEnabled(enable);
    return noErr;
}
int plat_SetMenuBarItemText(int menuId, int item, const char* text) {
    QAction* a = menuAction(menuId, item);
    if (!a || !text) return paramErr;
    a->setText(QString::fromUtf8(text));
    return noErr;
}
std::string plat_GetMenuBarItemText(int menuId, int item) {
    QAction* a = menuAction(menuId, item);
    return a ? a->text().toStdString() : std::string();
}
bool plat_IsMenuItemEnabled(int menuId, int item) {
    QAction* a = menuAction(menuId, item);
    return a && a->isEnabled();
}
int plat_CheckMenuItem(int menuId, int item, bool checked) {
    QAction* a = menuAction(menuId, item);
    if (!a) return paramErr;
    QSignalBlocker block(a);
    a->setCheckable(true);
    a->setChecked(checked);
    return noErr;
}
bool plat_IsMenuItemChecked(int menuId, int item) {
    QAction* a = menuAction(menuId, item);
    return a && a->isChecked();
}

bool plat_FindMenuCommand(OSType code, int* menuId, int* item) {
    for (auto& [id, menu] : gMenus) {
        QList<QAction*> acts = menu->actions();
        for (int i = 0; i < acts.size(); ++i)
            if (codeFromText(acts[i]->property("command").toString()) == code) {
                if (menuId) *menuId = id;
                if (item) *item = i + 1;
                return true;
            }
    }
    return false;
}

std::vector<std::string> plat_MenuShortcuts() {
    std::vector<std::string> out;
    for (auto& [id, menu] : gMenus)
        for (QAction* a : menu->actions())
            for (const QKeySequence& k : a->shortcuts())
                out.push_back(k.toString(QKeySequence::PortableText).toStdString());
    return out;
}

void plat_InvokeMenuItem(int menuId, int item) {
    if (QAction* a = menuAction(menuId, item)) a->trigger();
}
