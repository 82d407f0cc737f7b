// platform_widgets.cpp - the custom control kinds of the interface definitions.
#include "platform_widgets.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

// ---------------------------------------------------------------------------------------------
LittleArrows::LittleArrows(QWidget* parent) : QWidget(parent) {
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    auto* up = new QToolButton(this);
    auto* down = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    up->setAutoRepeat(true);
    down->setAutoRepeat(true);
    up->setObjectName("up");
    down->setObjectName("down");
    for (QToolButton* b : {up, down}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        box->addWidget(b);
    }
    connect(up, &QToolButton::clicked, this, [this] { emit partPressed(kControlUpButtonPart); });
    connect(down, &QToolButton::clicked, this, [this] { emit partPressed(kControlDownButtonPart); });
}

void LittleArrows::setMinimum(int v) {
    min_ = v;
    if (value_ < min_) value_ = min_;
}
void LittleArrows::setMaximum(int v) {
    max_ = v;
    if (value_ > max_) value_ = max_;
}
void LittleArrows::setValue(int v) { value_ = v < min_ ? min_ : (v > max_ ? max_ : v); }

// ---------------------------------------------------------------------------------------------
TabControl::TabControl(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)) {
    // The tab titles run along the top; the panes are the control's own children below them.
    bar_->setDrawBase(true);
    bar_->setExpanding(true);
    bar_->setFocusPolicy(Qt::NoFocus);
    connect(bar_, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index < 0) return;
        bar_->setCurrentIndex(index);
        emit tabPicked(index + 1);
    });
}

void TabControl::setTabs(const QString& t) {
    titles_ = t.split(';');
    QSignalBlocker block(bar_);
    while (bar_->count()) bar_->removeTab(0);
    for (const QString& s : titles_) bar_->addTab(s);
}
void TabControl::resizeEvent(QResizeEvent*) {
    bar_->setGeometry(0, 0, width(), bar_->sizeHint().height());
}

int TabControl::value() const { return bar_->currentIndex() + 1; }
void TabControl::setValue(int v) {
    if (v >= 1 && v <= bar_->count()) {
        QSignalBlocker block(bar_);
        bar_->setCurrentIndex(v - 1);
    }
}
int TabControl::count() const { return bar_->count(); }

// ---------------------------------------------------------------------------------------------
SegmentedControl::SegmentedControl(QWidget* parent) : QWidget(parent), group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    auto* box = new QHBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) { emit segmentPicked(id); });
}

void SegmentedControl::setSegments(const QString& s) {
    titles_ = s.split(';');
    rebuild();
}

void SegmentedControl::rebuild() {
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    int id = 1;
    for (const QString& t : titles_) {
        auto* b = new QPushButton(t, this);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setObjectName(QString("segment_%1").arg(id));
        layout()->addWidget(b);
        group_->addButton(b, id++);
    }
}

int SegmentedControl::value() const { return group_->checkedId() > 0 ? group_->checkedId() : 0; }
void SegmentedControl::setValue(int v) {
    if (QAbstractButton* b = group_->button(v)) b->setChecked(true);
}
QString SegmentedControl::commandOf(int segment) const {
    return segment >= 1 && segment <= commands_.size() ? commands_[segment - 1] : QString();
}

// ---------------------------------------------------------------------------------------------
ImageView::ImageView(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
}

void ImageView::setPicture(const QString& path) {
    QPixmap pm(path);
    if (pm.isNull()) return;
    setPixmap(pm.scaled(contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void ImageView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && isEnabled())
        emit clicked();
    QLabel::mouseReleaseEvent(e);
}

// ---------------------------------------------------------------------------------------------
UserPane::UserPane(QWidget* parent) : QWidget(parent) {}

struct PlatPainter {
    QPainter* p;
};

void UserPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (drawProc) {
        PlatPainter pp{&painter};
        drawProc(reinterpret_cast<ControlRef>(this), &pp, drawData);
    } else {
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void UserPane::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && isEnabled())
        emit clicked();
}

void plat_PainterFillRect(PlatPainter* p, float x, float y, float w, float h, float r, float g, float b,
                          float a) {
    if (!p) return;
    p->p->fillRect(QRectF(x, y, w, h), QColor::fromRgbF(r, g, b, a));
}

void plat_PainterStrokeRect(PlatPainter* p, float x, float y, float w, float h, float lineWidth) {
    if (!p) return;
    QPen pen(p->p->pen().color());
    pen.setWidthF(lineWidth);
    p->p->setPen(pen);
    p->p->setBrush(Qt::NoBrush);
    p->p->drawRect(QRectF(x + lineWidth / 2, y + lineWidth / 2, w - lineWidth, h - lineWidth));
}

// ---------------------------------------------------------------------------------------------
QWidget* plat_createCustomWidget(const QString& className, QWidget* parent, const QString& name) {
    QWidget* w = nullptr;
    if (className == "LittleArrows") w = new LittleArrows(parent);
    else if (className == "TabControl") w = new TabControl(parent);
    else if (className == "SegmentedControl") w = new SegmentedControl(parent);
    else if (className == "ImageView") w = new ImageView(parent);
    else if (className == "UserPane") w = new UserPane(parent);
    if (w) w->setObjectName(name);
    return w;
}
