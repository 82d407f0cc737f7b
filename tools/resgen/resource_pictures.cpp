// The program's fixed resource pictures: the transparency checker "background.tif", the start
// picture "first_window2852.png" shown before anything is chosen, the live-video placeholder
// "live.jpg" and the background of the preview window "fondo_preview.png".
#include "resgen.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// A 16 x 16 tile of two light grey 8-pixel squares, the usual backdrop behind transparency.
QImage Checker()
{
    QImage img(16, 16, QImage::Format_RGB888);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int v = ((x / 8) ^ (y / 8)) ? 0xCC : 0xFF;
            img.setPixelColor(x, y, QColor(v, v, v));
        }
    return img;
}

// Three stacked rounded sheets, the sign of a layered picture, centred at (cx, cy).
// The front sheet carries a small landscape: a sun over a hill.
void DrawLayersSign(QPainter& p, qreal cx, qreal cy)
{
    const QColor fills[3] = {QColor(120, 190, 210, 150), QColor(150, 210, 200, 185),
                             QColor(235, 245, 240, 235)};
    QRectF sheet;
    for (int i = 0; i < 3; ++i) {
        const qreal off = (1 - i) * 12.0;
        sheet = QRectF(cx - 46 + off, cy - 30 + off, 92, 60);
        p.setPen(QPen(QColor(255, 255, 255, 200), 1.5));
        p.setBrush(fills[i]);
        p.drawRoundedRect(sheet, 8, 8);
    }
    QPainterPath front;
    front.addRoundedRect(sheet.adjusted(1, 1, -1, -1), 7, 7);
    p.save();
    p.setClipPath(front);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 170, 80));
    p.drawEllipse(QPointF(sheet.left() + 26, sheet.top() + 20), 8, 8);
    QPainterPath hill;
    hill.moveTo(sheet.left(), sheet.bottom() - 14);
    hill.cubicTo(sheet.left() + 30, sheet.top() + 22, sheet.left() + 52, sheet.top() + 30,
                 sheet.right(), sheet.bottom() - 22);
    hill.lineTo(sheet.right(), sheet.bottom());
    hill.lineTo(sheet.left(), sheet.bottom());
    hill.closeSubpath();
    p.setBrush(QColor(70, 140, 130));
    p.drawPath(hill);
    p.restore();
}

QImage StartPicture()
{
    const int w = 720, h = 450;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(28, 44, 70));
    sky.setColorAt(1.0, QColor(44, 92, 112));
    p.fillRect(img.rect(), sky);

    // a few large faint circles for depth
    p.setPen(Qt::NoPen);
    const struct { qreal x, y, r; int a; } circles[] = {
        {90, 70, 160, 14}, {640, 390, 210, 12}, {600, 60, 90, 10}, {150, 420, 110, 9}};
    for (const auto& c : circles) {
        QRadialGradient g(c.x, c.y, c.r);
        g.setColorAt(0.0, QColor(255, 255, 255, c.a));
        g.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setBrush(g);
        p.drawEllipse(QPointF(c.x, c.y), c.r, c.r);
    }

    DrawLayersSign(p, w / 2.0, 128);
    DrawText(p, QRectF(0, 196, w, 56), Qt::AlignCenter, QStringLiteral("Welcome to Vintrel"),
             PictureFont(40, true), QColor(250, 250, 250));
    DrawText(p, QRectF(20, 262, w - 40, 30), Qt::AlignCenter,
             QStringLiteral("Choose a theme and a picture in the Tools window to start editing"),
             PictureFont(17), QColor(215, 230, 235));
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.drawLine(QPointF(w / 2.0 - 120, 310.5), QPointF(w / 2.0 + 120, 310.5));
    DrawText(p, QRectF(20, 322, w - 40, 24), Qt::AlignCenter,
             QStringLiteral("Then drop pictures onto the canvas to add layers"), PictureFont(14),
             QColor(180, 205, 215));
    return img;
}

// Grey card with a video-camera sign and its caption.
QImage LivePlaceholder()
{
    const int w = 320, h = 240;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0.0, QColor(138, 140, 144));
    g.setColorAt(1.0, QColor(96, 98, 102));
    p.fillRect(img.rect(), g);

    const QColor ink(236, 238, 240);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(96, 68, 92, 62), 10, 10);          // body
    QPainterPath lens;                                          // the lens cone at the right
    lens.moveTo(186, 90);
    lens.lineTo(226, 70);
    lens.lineTo(226, 128);
    lens.lineTo(186, 108);
    lens.closeSubpath();
    p.drawPath(lens);
    p.setBrush(QColor(210, 60, 60));                            // recording light
    p.drawEllipse(QPointF(112, 84), 6, 6);
    DrawText(p, QRectF(0, 146, w, 34), Qt::AlignCenter, QStringLiteral("Live video"),
             PictureFont(24, true), ink);
    return img;
}

// Dark rounded panel at 85 % opacity with transparent corners.
QImage PreviewBackground()
{
    const int w = 320, h = 280;
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1.0));
    p.setBrush(QColor(26, 28, 32, 217));
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 16, 16);
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

bool WriteResourcePictures(const QString& dir)
{
    return SavePicture(Checker(), dir + "/background.tif", "tif")
           && SavePicture(StartPicture(), dir + "/first_window2852.png", "png")
           && SavePicture(LivePlaceholder(), dir + "/live.jpg", "jpg", 90)
           && SavePicture(PreviewBackground(), dir + "/fondo_preview.png", "png");
}
