// vintrel_resgen: writes the program's resource pictures ("resources <dir>") or a sample theme
// library ("themes <dir>"). Runs on the offscreen platform, so it needs no display.
// Also holds the file and text helpers shared by the writers.
#include "resgen.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
int writtenFiles = 0;
}

bool SavePicture(const QImage& image, const QString& path, const char* format, int quality)
{
    QImageWriter writer(path, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image)) {
        std::fprintf(stderr, "vintrel_resgen: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(writer.errorString()));
        return false;
    }
    ++writtenFiles;
    return true;
}

bool SaveText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        std::fprintf(stderr, "vintrel_resgen: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    ++writtenFiles;
    return true;
}

bool MakeFolder(const QString& path)
{
    if (QDir().mkpath(path))
        return true;
    std::fprintf(stderr, "vintrel_resgen: cannot create folder %s\n", qPrintable(path));
    return false;
}

int WrittenFiles()
{
    return writtenFiles;
}

QFont PictureFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void DrawText(QPainter& p, const QRectF& box, int flags, const QString& text,
              const QFont& font, const QColor& colour)
{
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, flags, text);
    p.restore();
}

static int Usage()
{
    std::fprintf(stderr,
                 "usage: vintrel_resgen resources <dir>   write the program's pictures\n"
                 "       vintrel_resgen themes <dir>      write a sample theme library\n");
    return 2;
}

int main(int argc, char** argv)
{
    if (argc != 3)
        return Usage();
    const QByteArray command = argv[1];
    if (command != "resources" && command != "themes")
        return Usage();

    // Always run on the offscreen platform: the generator draws into images only.
    std::vector<char*> qtArgs = {argv[0], const_cast<char*>("-platform"),
                                 const_cast<char*>("offscreen")};
    int qtArgc = int(qtArgs.size());
    qtArgs.push_back(nullptr);
    QGuiApplication app(qtArgc, qtArgs.data());

    const QString dir = QDir::cleanPath(QString::fromLocal8Bit(argv[2]));
    if (!MakeFolder(dir))
        return 1;

    bool ok;
    if (command == "resources")
        ok = WriteResourcePictures(dir) && WriteAlphaMasks(dir);
    else
        ok = WriteSampleThemes(dir);
    if (!ok)
        return 1;
    std::printf("vintrel_resgen: wrote %d files into %s\n", WrittenFiles(), qPrintable(dir));
    return 0;
}
