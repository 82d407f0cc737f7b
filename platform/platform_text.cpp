// platform_text.cpp - font families and text rendering for the text layers, on QFont and
// QPainter: measuring the pen advance and drawing the glyphs, filled or outlined, into a
// premultiplied RGBA buffer.
#include "platform_text.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <cstring>

namespace {

// Unicode of the Mac Roman bytes 0x80..0xFF.
const char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

bool IsUtf8(const unsigned char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        size_t more;
        if (c < 0x80) more = 0;
        else if (c >= 0xC2 && c <= 0xDF) more = 1;
        else if (c >= 0xE0 && c <= 0xEF) more = 2;
        else if (c >= 0xF0 && c <= 0xF4) more = 3;
        else return false;
        if (more > n - i - 1) return false;
        for (size_t k = 1; k <= more; ++k)
            if ((s[i + k] & 0xC0) != 0x80) return false;
        i += more + 1;
    }
    return true;
}

QString Decode(const char* text, size_t length) {
    if (!text) return QString();
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    if (IsUtf8(s, length)) return QString::fromUtf8(text, qsizetype(length));
    QString out;
    out.reserve(qsizetype(length));
    for (size_t i = 0; i < length; ++i) out.append(s[i] < 0x80 ? QChar(s[i]) : QChar(kMacRomanHigh[s[i] - 0x80]));
    return out;
}

QFont MakeFont(const char* family, int size) {
    QFont font(QString::fromLocal8Bit(family ? family : ""));
    font.setPixelSize(std::max(1, size));
    font.setKerning(true);
    return font;
}

}  // namespace

std::vector<std::string> plat_FontFamilies() {
    QStringList names = QFontDatabase::families();
    std::vector<std::string> out;
    out.reserve(size_t(names.size()));
    for (const QString& n : names) out.push_back(n.toLocal8Bit().toStdString());
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::string plat_DefaultFontFamily() {
    const QStringList installed = QFontDatabase::families();
    QFont sans(QStringLiteral("sans-serif"));
    sans.setStyleHint(QFont::SansSerif);
    // QFontInfo names the family the font matching actually chose, not the requested alias.
    for (const QFont& f : {QFontDatabase::systemFont(QFontDatabase::GeneralFont), sans}) {
        QString family = QFontInfo(f).family();
        if (installed.contains(family)) return family.toLocal8Bit().toStdString();
    }
    return std::string();
}

double plat_TextAdvance(const char* family, int size, const char* text, size_t length) {
    QFontMetricsF metrics(MakeFont(family, size));
    return std::max(0.0, metrics.horizontalAdvance(Decode(text, length)));
}

bool plat_RenderText(const char* family, int size, const char* text, size_t length, bool outlined, float r,
                     float g, float b, int width, int height, std::vector<uint8_t>* rgba) {
    if (rgba) rgba->clear();
    if (!rgba || width <= 0 || height <= 0) return false;
    QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        QColor colour = QColor::fromRgbF(r, g, b, 1.0f);
        QPainterPath path;
        path.addText(QPointF(0, size), MakeFont(family, size), Decode(text, length));
        if (outlined) {
            QPen pen(colour);
            pen.setWidthF(1.0);
            painter.strokePath(path, pen);
        } else {
            painter.fillPath(path, colour);
        }
    }
    rgba->resize(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        memcpy(rgba->data() + size_t(y) * size_t(width) * 4, image.constScanLine(y), size_t(width) * 4);
    return true;
}
