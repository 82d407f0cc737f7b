// platform_images.cpp - picture files through Qt's image readers: formats recognised by content
// from an allow-list, the declared size checked against a limit before anything is decoded.
#include "platform.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <cstring>

namespace {

struct FormatCode {
    const char* qtName;
    OSType code;
};

// The formats the program reads, with the file-type codes it reports for them.
const FormatCode kFormats[] = {
    {"png", FourCC("PNGf")}, {"jpeg", FourCC("JPEG")}, {"jpg", FourCC("JPEG")},
    {"tiff", FourCC("TIFF")}, {"tif", FourCC("TIFF")}, {"gif", FourCC("GIFf")},
    {"bmp", FourCC("BMPf")}, {"tga", FourCC("TPIC")}, {"webp", FourCC("WEBP")},
};

OSType codeForFormat(const QByteArray& format) {
    for (const FormatCode& f : kFormats)
        if (format == f.qtName) return f.code;
    return 0;
}

}  // namespace

int plat_DecodeImage(const char* path, int64_t maxPixels, DecodedImage* out) {
    if (!path || !out) return paramErr;
    QString p = QString::fromLocal8Bit(path);
    QFileInfo fi(p);
    if (!fi.exists() || !fi.isFile()) return fnfErr;
    QImageReader reader(p);
    reader.setDecideFormatFromContent(true);
    // The reader's own allocation limit, in megabytes, backs up the explicit size check below.
    reader.setAllocationLimit(int(std::min<int64_t>(maxPixels * 4 / (1024 * 1024) + 1, 2047)));
    QByteArray format = reader.format();
    OSType code = codeForFormat(format);
    if (!code) return paramErr;
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) return paramErr;
    if (int64_t(size.width()) * size.height() > maxPixels) return paramErr;
    QImage img;
    if (!reader.read(&img) || img.isNull()) return paramErr;
    img = img.convertToFormat(QImage::Format_RGBA8888);
    out->width = img.width();
    out->height = img.height();
    out->fileType = code;
    out->rgba.resize(size_t(img.width()) * img.height() * 4);
    for (int y = 0; y < img.height(); ++y)
        memcpy(out->rgba.data() + size_t(y) * img.width() * 4, img.constScanLine(y), size_t(img.width()) * 4);
    return noErr;
}
