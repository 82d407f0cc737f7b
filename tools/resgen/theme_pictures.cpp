// Pictures of the sample themes: headers, page backgrounds, buttons, banners, landscape
// photos, logos and page mock-ups for the theme previews. Each is drawn from the theme's
// four colours and its name; decorations are placed by a fixed-seed generator, so the
// output is the same on every run.
#include "resgen.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

// Small linear congruential generator: deterministic decoration placement.
struct Rng {
    unsigned state;
    double Next()
    {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24);
    }
    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }
};

QColor Mix(const QColor& a, const QColor& b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QColor WithAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// Soft round glows of colour c, the "bokeh" of headers and backgrounds.
void DrawGlows(QPainter& p, Rng& rng, int count, int w, int h, double rMin, double rMax,
               const QColor& c, int aMin, int aMax)
{
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const QPointF at(rng.Range(0, w), rng.Range(0, h));
        const double r = rng.Range(rMin, rMax);
        QRadialGradient g(at, r);
        g.setColorAt(0.0, WithAlpha(c, int(rng.Range(aMin, aMax))));
        g.setColorAt(0.7, WithAlpha(c, aMin / 3));
        g.setColorAt(1.0, WithAlpha(c, 0));
        p.setBrush(g);
        p.drawEllipse(at, r, r);
    }
}

// A band between two sine curves across the full width, from y0 downward to the bottom.
QPainterPath Hill(int w, int h, double y0, double amp, double waves, double phase)
{
    QPainterPath path;
    path.moveTo(0, h);
    for (int x = 0; x <= w; x += 4)
        path.lineTo(x, y0 + amp * std::sin(phase + waves * 2.0 * M_PI * x / w)
                           + amp * 0.35 * std::sin(phase * 1.7 + waves * 5.1 * M_PI * x / w));
    path.lineTo(w, h);
    path.closeSubpath();
    return path;
}

QImage NewImage(int w, int h, bool alpha)
{
    QImage img(w, h, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    img.fill(alpha ? QColor(Qt::transparent) : QColor(Qt::white));
    return img;
}

QImage Finish(QImage img, bool alpha)
{
    return alpha ? img.convertToFormat(QImage::Format_ARGB32) : img;
}

} // namespace

QImage ThemeHeader(const SampleTheme& t, int w, int h)
{
    QImage img = NewImage(w, h, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0.0, t.dark);
    g.setColorAt(1.0, t.mid);
    p.fillRect(img.rect(), g);
    Rng rng{t.seed};
    DrawGlows(p, rng, 16, w, h, h * 0.08, h * 0.45, t.light, 20, 70);
    p.setPen(Qt::NoPen);
    p.setBrush(WithAlpha(t.dark, 90));
    p.drawPath(Hill(w, h, h * 0.86, h * 0.05, 1.5, t.seed % 7));

    const qreal left = w * 0.06;
    DrawText(p, QRectF(left, h * 0.18, w, h * 0.4), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8(t.name), PictureFont(int(h * 0.26), true), QColor(255, 255, 255));
    p.fillRect(QRectF(left + 2, h * 0.6, w * 0.12, 3), t.accent);
    DrawText(p, QRectF(left, h * 0.64, w, h * 0.16), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8(t.tagline), PictureFont(int(h * 0.09)), Mix(t.light, Qt::white, 0.5));
    return img;
}

QImage ThemeBackground(const SampleTheme& t, int w, int h)
{
    QImage img = NewImage(w, h, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0.0, Mix(t.light, Qt::white, 0.55));
    g.setColorAt(1.0, Mix(t.light, t.mid, 0.25));
    p.fillRect(img.rect(), g);
    Rng rng{t.seed * 7u + 3u};
    DrawGlows(p, rng, 6, w, h, w * 0.15, w * 0.4, Qt::white, 40, 90);
    p.setPen(Qt::NoPen);
    p.setBrush(WithAlpha(t.mid, 26));
    p.drawPath(Hill(w, h, h * 0.78, h * 0.04, 1.2, 0.5));
    p.setBrush(WithAlpha(t.mid, 34));
    p.drawPath(Hill(w, h, h * 0.86, h * 0.03, 2.0, 2.0));
    return img;
}

QImage ThemeButton(const SampleTheme& t, int w, int h, const QString& label)
{
    QImage img = NewImage(w, h, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF body(3, 2, w - 6, h - 7);
    const qreal radius = body.height() * 0.35;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 45));                       // soft drop shadow
    p.drawRoundedRect(body.translated(0, 3), radius, radius);
    p.setBrush(QColor(0, 0, 0, 25));
    p.drawRoundedRect(body.adjusted(-1, 1, 1, 4), radius, radius);
    QLinearGradient g(0, body.top(), 0, body.bottom());
    g.setColorAt(0.0, Mix(t.accent, Qt::white, 0.3));
    g.setColorAt(1.0, Mix(t.accent, Qt::black, 0.12));
    p.setPen(QPen(Mix(t.accent, Qt::black, 0.35), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(body, radius, radius);
    DrawText(p, body, Qt::AlignCenter, label, PictureFont(int(h * 0.34), true),
             QColor(255, 255, 255));
    p.end();
    return Finish(img, true);
}

QImage ThemeBanner(const SampleTheme& t, int w, int h)
{
    QImage img = NewImage(w, h, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0.0, t.mid);
    g.setColorAt(1.0, Mix(t.mid, t.accent, 0.6));
    p.fillRect(img.rect(), g);
    Rng rng{t.seed * 13u + 5u};
    DrawGlows(p, rng, 8, w, h, h * 0.1, h * 0.5, Qt::white, 20, 60);
    p.setPen(Qt::NoPen);
    p.setBrush(WithAlpha(t.light, 60));
    p.drawPath(Hill(w, h, h * 0.7, h * 0.08, 1.0, 1.0));
    p.setBrush(WithAlpha(t.dark, 80));
    p.drawPath(Hill(w, h, h * 0.82, h * 0.06, 1.6, 3.0));
    DrawText(p, QRectF(0, h * 0.2, w, h * 0.3), Qt::AlignCenter,
             QStringLiteral("Welcome to %1").arg(QString::fromUtf8(t.name)),
             PictureFont(int(h * 0.16), true), QColor(255, 255, 255));
    DrawText(p, QRectF(0, h * 0.5, w, h * 0.14), Qt::AlignCenter, QString::fromUtf8(t.tagline),
             PictureFont(int(h * 0.065)), QColor(255, 255, 255, 230));
    return img;
}

QImage ThemePhoto(const SampleTheme& t, int w, int h)
{
    QImage img = NewImage(w, h, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient sky(0, 0, 0, h * 0.7);
    sky.setColorAt(0.0, Mix(t.mid, t.light, 0.35));
    sky.setColorAt(1.0, Mix(t.light, Qt::white, 0.4));
    p.fillRect(img.rect(), sky);

    Rng rng{t.seed * 31u + 11u};
    const QPointF sun(rng.Range(w * 0.2, w * 0.8), h * rng.Range(0.22, 0.36));
    QRadialGradient glow(sun, h * 0.35);
    glow.setColorAt(0.0, WithAlpha(Mix(t.accent, Qt::white, 0.6), 200));
    glow.setColorAt(0.15, WithAlpha(Mix(t.accent, Qt::white, 0.5), 120));
    glow.setColorAt(1.0, WithAlpha(t.accent, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(sun, h * 0.35, h * 0.35);
    p.setBrush(Mix(t.accent, Qt::white, 0.55));
    p.drawEllipse(sun, h * 0.06, h * 0.06);

    // three ranges of hills, darker toward the viewer
    const double tops[3] = {0.52, 0.64, 0.78};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(Mix(Mix(t.light, t.mid, 0.5), t.dark, 0.25 + 0.3 * i));
        p.drawPath(Hill(w, h, h * tops[i], h * (0.06 - 0.012 * i), rng.Range(0.8, 1.8),
                        rng.Range(0, 6.28)));
    }
    return img;
}

QImage ThemeLogo(const SampleTheme& t, int w, int h)
{
    QImage img = NewImage(w, h, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal r = h * 0.38;
    const QPointF centre(h * 0.5, h * 0.5);
    QRadialGradient g(centre - QPointF(r * 0.3, r * 0.3), r * 1.4);
    g.setColorAt(0.0, Mix(t.accent, Qt::white, 0.35));
    g.setColorAt(1.0, Mix(t.accent, t.dark, 0.35));
    p.setPen(QPen(QColor(255, 255, 255, 220), 3));
    p.setBrush(g);
    p.drawEllipse(centre, r, r);
    DrawText(p, QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), Qt::AlignCenter,
             QString(QChar(t.name[0])), PictureFont(int(r * 1.1), true), QColor(255, 255, 255));
    const qreal textLeft = h * 0.98;
    DrawText(p, QRectF(textLeft, h * 0.16, w - textLeft, h * 0.46), Qt::AlignLeft | Qt::AlignBottom,
             QString::fromUtf8(t.name), PictureFont(int(h * 0.3), true), t.dark);
    DrawText(p, QRectF(textLeft, h * 0.62, w - textLeft, h * 0.22), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("studio"), PictureFont(int(h * 0.13)), Mix(t.dark, t.mid, 0.5));
    p.end();
    return Finish(img, true);
}

QImage ThemePreview(const SampleTheme& t, int w, int h)
{
    QImage img = NewImage(w, h, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(QRectF(0, 0, w, h), ThemeBackground(t, w, h));

    const qreal m = w * 0.05;                                   // page margin
    const QRectF header(0, 0, w, h * 0.2);
    p.drawImage(header, ThemeHeader(t, int(header.width()), int(header.height())));
    for (int i = 0; i < 4; ++i)                                // navigation items
        p.fillRect(QRectF(w - m - (4 - i) * w * 0.09, header.bottom() - h * 0.045, w * 0.07,
                          h * 0.018),
                   WithAlpha(Qt::white, i == 0 ? 230 : 140));

    const QRectF hero(m, header.bottom() + m * 0.8, w * 0.6, h * 0.36);
    p.drawImage(hero, ThemePhoto(t, int(hero.width()), int(hero.height())));
    const QRectF side(hero.right() + m * 0.8, hero.top(), w - hero.right() - m * 1.8, hero.height());
    p.setPen(Qt::NoPen);
    p.setBrush(WithAlpha(Qt::white, 170));
    p.drawRoundedRect(side, 4, 4);
    p.fillRect(QRectF(side.left() + 6, side.top() + 8, side.width() * 0.6, h * 0.025), t.accent);
    for (int i = 0; i < 5; ++i)
        p.fillRect(QRectF(side.left() + 6, side.top() + 12 + h * 0.05 * (i + 1),
                          (side.width() - 12) * (i % 2 ? 0.7 : 0.9), h * 0.014),
                   WithAlpha(t.dark, 90));

    const qreal textTop = hero.bottom() + m;                   // body text lines
    for (int i = 0; i < 5; ++i)
        p.fillRect(QRectF(m, textTop + i * h * 0.04, hero.width() * (i == 4 ? 0.55 : 1.0),
                          h * 0.016),
                   WithAlpha(t.dark, 80));
    p.fillRect(QRectF(0, h - h * 0.07, w, h * 0.07), t.dark);  // footer
    return img;
}
