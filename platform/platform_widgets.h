// platform_widgets.h - the control kinds that Qt has no stock widget for, as the interface
// definitions name them: little arrows, tab control, segmented control, image view and user pane.
// They are created by the interface loader and driven through the numbered-control API.
#pragma once

#include "platform.h"

#include <QLabel>
#include <QStringList>
#include <QWidget>

class QTabBar;
class QToolButton;
class QButtonGroup;

// Two small arrow buttons with a value, a range and a step. Pressing a button only calls the
// installed action with the up or down part; the action decides the new value.
class LittleArrows : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ value WRITE setValue)
    Q_PROPERTY(int increment READ increment WRITE setIncrement)
public:
    explicit LittleArrows(QWidget* parent = nullptr);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    int value() const { return value_; }
    int increment() const { return incr_; }
    void setMinimum(int v);
    void setMaximum(int v);
    void setValue(int v);
    void setIncrement(int v) { incr_ = v; }
    QSize sizeHint() const override { return QSize(16, 24); }
signals:
    void partPressed(int part);
private:
    int min_ = 0, max_ = 100, value_ = 0, incr_ = 1;
};

// A row of tabs; value = 1-based index of the shown tab.
class TabControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString tabs READ tabs WRITE setTabs)
public:
    explicit TabControl(QWidget* parent = nullptr);
    QString tabs() const { return titles_.join(';'); }
    void setTabs(const QString& t);
    int value() const;
    void setValue(int v);
    int count() const;
signals:
    void tabPicked(int value);
protected:
    void resizeEvent(QResizeEvent*) override;
private:
    QStringList titles_;
    QTabBar* bar_;
};

// Segments that each send their own command; value = 1-based selected segment.
class SegmentedControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString segments READ segments WRITE setSegments)
    Q_PROPERTY(QString commands READ commands WRITE setCommands)
public:
    explicit SegmentedControl(QWidget* parent = nullptr);
    QString segments() const { return titles_.join(';'); }
    QString commands() const { return commands_.join(';'); }
    void setSegments(const QString& s);
    void setCommands(const QString& c) { commands_ = c.split(';'); }
    int value() const;
    void setValue(int v);
    QString commandOf(int segment) const;
signals:
    void segmentPicked(int segment);
private:
    void rebuild();
    QStringList titles_, commands_;
    QButtonGroup* group_;
};

// A picture that sends its command when clicked.
class ImageView : public QLabel {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);
    void setPicture(const QString& path);
signals:
    void clicked();
protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// A plain pane painted by the program's draw handler; sends its command when clicked.
class UserPane : public QWidget {
    Q_OBJECT
public:
    explicit UserPane(QWidget* parent = nullptr);
    ControlDrawProc drawProc = nullptr;
    void* drawData = nullptr;
signals:
    void clicked();
protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// Creates a widget of one of the classes above by class name; null for other names.
QWidget* plat_createCustomWidget(const QString& className, QWidget* parent, const QString& name);
