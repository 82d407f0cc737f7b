// vintrel_resgen: generator of the program's resource pictures and of a sample theme library.
// This header is shared by the generator's parts: the writers of the three picture families
// and the small file and text helpers that main.cpp provides.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>

class QPainter;

// Files and folders (main.cpp). Each helper prints a message to standard error on failure.
bool SavePicture(const QImage& image, const QString& path, const char* format, int quality = -1);
bool SaveText(const QString& path, const QByteArray& text);
bool MakeFolder(const QString& path);
int WrittenFiles();

// Text in the one font family the pictures use, antialiased.
QFont PictureFont(int pixelSize, bool bold = false);
void DrawText(QPainter& p, const QRectF& box, int flags, const QString& text,
              const QFont& font, const QColor& colour);

// One sample theme: its bundle name and the colours and words its pictures are drawn with.
struct SampleTheme {
    const char* name;       // theme name, also the text on its pictures
    const char* tagline;
    QColor dark, mid, light, accent;
    unsigned seed;          // fixes the placement of the decorations
};

// Theme pictures (theme_pictures.cpp); RGBA ones have transparent surroundings.
QImage ThemeHeader(const SampleTheme& t, int w, int h);
QImage ThemeBackground(const SampleTheme& t, int w, int h);
QImage ThemeButton(const SampleTheme& t, int w, int h, const QString& label);   // RGBA
QImage ThemeBanner(const SampleTheme& t, int w, int h);
QImage ThemePhoto(const SampleTheme& t, int w, int h);
QImage ThemeLogo(const SampleTheme& t, int w, int h);                            // RGBA
QImage ThemePreview(const SampleTheme& t, int w, int h);                         // page mock-up

// The writers; each returns false after the first failed write.
bool WriteResourcePictures(const QString& dir);   // resource_pictures.cpp
bool WriteAlphaMasks(const QString& dir);         // alpha_masks.cpp
bool WriteSampleThemes(const QString& dir);       // sample_themes.cpp
