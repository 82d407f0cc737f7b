// test_picture_files.cpp - reading and writing picture files, the temporary pictures and the
// pixel-order conversions, on real files in scratch folders.
//
// Test pictures are made here with QImage (or byte by byte where Qt has no writer), so every
// expected pixel is known. Hostile files (empty, cut short, random, lying about their size) must
// come back as null without a crash and without a large allocation.
#include <gtest/gtest.h>

#include "picture_files.h"
#include "platform_codecs.h"
#include "tools_window.h"
#include "util_files.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

typedef std::vector<uint8_t> Bytes;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(f.good()) << path;
}
Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A picture encoded by Qt itself, as file bytes.
Bytes Encode(const QImage& img, const char* format, int quality = -1) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(img)) << format;
    return Bytes(out.begin(), out.end());
}

// A colourful test picture: every pixel different, alpha varying unless opaque.
QImage Pattern(int w, int h, bool opaque) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgba(x * 255 / std::max(1, w - 1), y * 255 / std::max(1, h - 1),
                                     (x * 7 + y * 13) & 255, opaque ? 255 : (x * 37 + y * 11 + 5) & 255));
    return img;
}
// Smooth, photo-like: suits the lossy encoders.
QImage Smooth(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(64 + x * 128 / w, 32 + y * 160 / h, 200 - (x + y) * 100 / (w + h)));
    return img;
}
// The pixels of img in the writer form (A,R,G,B) and the layer form (R,G,B,A).
Bytes WriterForm(const QImage& img) {
    Bytes b;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            QRgb p = img.pixel(x, y);
            b.insert(b.end(), {uint8_t(qAlpha(p)), uint8_t(qRed(p)), uint8_t(qGreen(p)), uint8_t(qBlue(p))});
        }
    return b;
}
Bytes LayerForm(const QImage& img) {
    Bytes b = WriterForm(img);
    for (size_t i = 0; i < b.size(); i += 4) std::rotate(&b[i], &b[i + 1], &b[i + 4]);
    return b;
}

struct FreeDeleter {
    void operator()(unsigned char* p) const { free(p); }
};
struct Loaded {
    std::unique_ptr<unsigned char, FreeDeleter> pixels;
    long width = -1, height = -1;
    int channels = -1;
    unsigned long type = 0;
    Bytes bytes() const { return pixels ? Bytes(pixels.get(), pixels.get() + width * height * 4) : Bytes(); }
};
Loaded Load(const std::string& path, std::string* log = nullptr) {
    Loaded r;
    testing::internal::CaptureStdout();
    r.pixels.reset(LoadImage(path.c_str(), &r.width, &r.height, &r.channels, &r.type));
    std::string out = testing::internal::GetCapturedStdout();
    if (log) *log = out;
    return r;
}
int Save(const std::string& path, Bytes argb, int w, int h, unsigned long type, std::string* log = nullptr) {
    testing::internal::CaptureStdout();
    int result = QTSave(path.c_str(), argb.empty() ? nullptr : argb.data(), w, h, type);
    std::string out = testing::internal::GetCapturedStdout();
    if (log) *log = out;
    return result;
}
int MaxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return 999;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}
// A real PNG whose header now declares w x h, with the header's checksum made valid again.
Bytes PngDeclaring(uint32_t w, uint32_t h) {
    Bytes png = Encode(Pattern(4, 4, false), "png");
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = uint8_t(w >> (24 - 8 * i));
        png[20 + i] = uint8_t(h >> (24 - 8 * i));
    }
    uint32_t crc = Crc32(&png[12], 17);
    for (int i = 0; i < 4; ++i) png[29 + i] = uint8_t(crc >> (24 - 8 * i));
    return png;
}

// 2 x 1 GIF, palette red and blue, pixels 0 and 1 (LZW codes clear, 0, 1, end in 3 bits each).
const Bytes kGif = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 255, 0, 0, 0, 0, 255,
                    0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0x44, 0x0A, 0, 0x3B};
// 2 x 2 TGA, 32 bits, top row first, B,G,R,A pixels, with the footer Qt's reader requires.
Bytes Tga() {
    Bytes t(18, 0);
    t[2] = 2, t[12] = 2, t[14] = 2, t[16] = 32, t[17] = 0x28;
    t.insert(t.end(), {0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 255, 10, 20, 30, 0});
    t.insert(t.end(), 8, 0);
    const char footer[] = "TRUEVISION-XFILE.";
    t.insert(t.end(), footer, footer + sizeof footer);   // with its terminating zero
    return t;
}

class PictureScratch : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vintrel_pictures_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        dir = root + "/";
        savedQuality = exportQuality;
    }
    void TearDown() override {
        exportQuality = savedQuality;
        nftw(root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    std::string root, dir;
    int savedQuality = 3;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// QTSave then LoadImage

class PictureFilesRoundTrip : public PictureScratch {};

TEST_F(PictureFilesRoundTrip, PngKeepsEveryByteIncludingAlpha) {
    QImage img = Pattern(13, 7, false);
    ASSERT_EQ(Save(dir + "a.png", WriterForm(img), 13, 7, FourCC("PNGf")), 0);
    Loaded r = Load(dir + "a.png");
    ASSERT_TRUE(r.pixels);
    EXPECT_EQ(r.width, 13);
    EXPECT_EQ(r.height, 7);
    EXPECT_EQ(r.channels, 4);
    EXPECT_EQ(r.type, FourCC("PNGf"));
    EXPECT_EQ(r.bytes(), LayerForm(img));
}

TEST_F(PictureFilesRoundTrip, JpegStaysCloseAndOpaque) {
    exportQuality = 5;
    QImage img = Smooth(64, 48);
    ASSERT_EQ(Save(dir + "a.jpg", WriterForm(img), 64, 48, FourCC("JPEG")), 0);
    Bytes file = ReadFile(dir + "a.jpg");
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);
    Loaded r = Load(dir + "a.jpg");
    ASSERT_TRUE(r.pixels);
    EXPECT_EQ(r.type, FourCC("JPEG"));
    EXPECT_LE(MaxDifference(r.bytes(), LayerForm(img)), 8);
}

TEST_F(PictureFilesRoundTrip, TiffBmpAndWebp) {
    QImage img = Pattern(21, 9, false);
    QImage opaque = Pattern(21, 9, true);
    ASSERT_EQ(Save(dir + "a.tif", WriterForm(img), 21, 9, FourCC("TIFF")), 0);
    ASSERT_EQ(Save(dir + "a.bmp", WriterForm(opaque), 21, 9, FourCC("BMPf")), 0);
    ASSERT_EQ(Save(dir + "a.webp", WriterForm(Smooth(21, 9)), 21, 9, FourCC("WEBP")), 0);
    ASSERT_EQ(Save(dir + "b.tif", WriterForm(opaque), 21, 9, FourCC("TIFF")), 0);
    Loaded tiff = Load(dir + "a.tif"), bmp = Load(dir + "a.bmp"), webp = Load(dir + "a.webp");
    EXPECT_EQ(tiff.type, FourCC("TIFF"));
    EXPECT_EQ(Load(dir + "b.tif").bytes(), LayerForm(opaque));
    // The TIFF reader hands over premultiplied colour: alpha stays exact, colour within the
    // rounding that premultiplying by alpha / 255 allows.
    Bytes got = tiff.bytes(), want = LayerForm(img);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i += 4) {
        ASSERT_EQ(got[i + 3], want[i + 3]) << i / 4;
        for (int c = 0; c < 3 && want[i + 3]; ++c)
            EXPECT_LE(std::abs(got[i + c] - want[i + c]), 255 / want[i + 3] + 1) << i / 4;
    }
    EXPECT_EQ(bmp.type, FourCC("BMPf"));
    EXPECT_EQ(bmp.bytes(), LayerForm(opaque));
    EXPECT_EQ(webp.type, FourCC("WEBP"));
    EXPECT_LE(MaxDifference(webp.bytes(), LayerForm(Smooth(21, 9))), 24);
}

TEST_F(PictureFilesRoundTrip, FormatsWithoutAWriterGive3AndNoFile) {
    // Every format that is read is also written; 'PICT' and 'PDF ' have neither reader nor writer.
    for (OSType code : {FourCC("GIFf"), FourCC("TPIC")}) EXPECT_TRUE(plat_HasImageWriter(code));
    for (OSType code : {FourCC("PICT"), FourCC("PDF ")}) {
        std::string path = dir + "a.pic";
        EXPECT_EQ(Save(path, WriterForm(Pattern(3, 3, true)), 3, 3, code), 3);
        EXPECT_FALSE(Exists(path));
        EXPECT_FALSE(plat_HasImageWriter(code));
    }
}

// ---------------------------------------------------------------------------------------------
// Type codes and the diagnostic lines

class PictureFilesTypeCodes : public PictureScratch {};

TEST_F(PictureFilesTypeCodes, EachFormatReportsItsCode) {
    QImage img = Pattern(5, 3, true);
    const struct { const char* name; const char* qt; OSType code; } kinds[] = {
        {"p.png", "png", FourCC("PNGf")}, {"p.jpg", "jpeg", FourCC("JPEG")},
        {"p.tif", "tiff", FourCC("TIFF")}, {"p.bmp", "bmp", FourCC("BMPf")},
        {"p.webp", "webp", FourCC("WEBP")}};
    for (const auto& k : kinds) {
        WriteFile(dir + k.name, Encode(img, k.qt));
        Loaded r = Load(dir + k.name);
        EXPECT_EQ(r.type, k.code) << k.name;
        EXPECT_EQ(r.width, 5) << k.name;
        EXPECT_EQ(r.height, 3) << k.name;
    }
    WriteFile(dir + "p.gif", kGif);
    Loaded gif = Load(dir + "p.gif");
    EXPECT_EQ(gif.type, FourCC("GIFf"));
    EXPECT_EQ(gif.bytes(), Bytes({255, 0, 0, 255, 0, 0, 255, 255}));
    WriteFile(dir + "p.tga", Tga());
    Loaded tga = Load(dir + "p.tga");
    EXPECT_EQ(tga.type, FourCC("TPIC"));
    EXPECT_EQ(tga.bytes(), Bytes({255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 30, 20, 10, 0}));
}

TEST_F(PictureFilesTypeCodes, ContentDecidesNotTheName) {
    QImage img = Pattern(6, 4, true);
    WriteFile(dir + "photo.png", Encode(img, "jpeg"));
    WriteFile(dir + "drawing.jpg", Encode(img, "png"));
    WriteFile(dir + "no_extension", Encode(img, "png"));
    WriteFile(dir + "anim.bmp", kGif);
    WriteFile(dir + "targa.png", Tga());
    EXPECT_EQ(Load(dir + "photo.png").type, FourCC("JPEG"));
    EXPECT_EQ(Load(dir + "drawing.jpg").type, FourCC("PNGf"));
    EXPECT_EQ(Load(dir + "no_extension").type, FourCC("PNGf"));
    EXPECT_EQ(Load(dir + "anim.bmp").type, FourCC("GIFf"));
    EXPECT_EQ(Load(dir + "targa.png").type, FourCC("TPIC"));
}

TEST_F(PictureFilesTypeCodes, LogsTheLoadAndTheType) {
    WriteFile(dir + "a.png", Encode(Pattern(2, 2, true), "png"));
    std::string log;
    ASSERT_TRUE(Load(dir + "a.png", &log).pixels);
    EXPECT_EQ(log, "\nloading image " + dir + "a.png\n... image type is PNGf");
    EXPECT_FALSE(Load(dir + "missing.png", &log).pixels);
    EXPECT_EQ(log, "\nloading image " + dir + "missing.png");
}

// ---------------------------------------------------------------------------------------------
// PNG flavours: each file is checked to really be of its kind (IHDR bit depth and colour type).

class PictureFilesPngKinds : public PictureScratch {
protected:
    Loaded LoadPng(const QImage& img, int depth, int colourType) {
        Bytes png = Encode(img, "png");
        EXPECT_EQ(png[24], depth);
        EXPECT_EQ(png[25], colourType);
        WriteFile(dir + "k.png", png);
        Loaded r = Load(dir + "k.png");
        EXPECT_EQ(r.width, img.width());
        EXPECT_EQ(r.height, img.height());
        return r;
    }
};

TEST_F(PictureFilesPngKinds, SixteenBitChannelsRoundToEightBits) {
    QImage img(3, 1, QImage::Format_RGBA64);
    const quint16 v[3][4] = {{0, 65535, 257 * 100, 65535}, {257 * 7, 257 * 200, 1000, 65535},
                             {65535, 0, 257 * 33, 257 * 128}};
    for (int x = 0; x < 3; ++x) img.setPixelColor(x, 0, QColor(QRgba64::fromRgba64(v[x][0], v[x][1], v[x][2], v[x][3])));
    Loaded r = LoadPng(img, 16, 6);
    ASSERT_TRUE(r.pixels);
    Bytes expected;
    for (auto& p : v)
        for (quint16 c : p) expected.push_back(uint8_t((c + 128) / 257));
    EXPECT_LE(MaxDifference(r.bytes(), expected), 1);
}

TEST_F(PictureFilesPngKinds, GreyPaletteAndAlpha) {
    QImage grey(4, 1, QImage::Format_Grayscale8);
    for (int x = 0; x < 4; ++x) grey.scanLine(0)[x] = uchar(x * 80);
    Loaded g = LoadPng(grey, 8, 0);
    EXPECT_EQ(g.bytes(), Bytes({0, 0, 0, 255, 80, 80, 80, 255, 160, 160, 160, 255, 240, 240, 240, 255}));

    QImage palette(3, 1, QImage::Format_Indexed8);
    palette.setColorTable({qRgba(10, 20, 30, 255), qRgba(200, 100, 50, 128), qRgba(0, 0, 255, 0)});
    for (int x = 0; x < 3; ++x) palette.setPixel(x, 0, 2 - x);
    Loaded p = LoadPng(palette, 8, 3);
    Bytes pb = p.bytes();
    ASSERT_EQ(pb.size(), 12u);
    EXPECT_EQ(pb[3], 0);   // fully transparent entry: its colour does not matter
    EXPECT_EQ(Bytes(pb.begin() + 4, pb.end()), Bytes({200, 100, 50, 128, 10, 20, 30, 255}));

    QImage alpha = Pattern(9, 5, false);
    EXPECT_EQ(LoadPng(alpha, 8, 6).bytes(), LayerForm(alpha));
}

TEST_F(PictureFilesPngKinds, OnePixelPictures) {
    QImage one(1, 1, QImage::Format_ARGB32);
    one.setPixel(0, 0, qRgba(9, 99, 199, 77));
    EXPECT_EQ(LoadPng(one, 8, 6).bytes(), Bytes({9, 99, 199, 77}));
    WriteFile(dir + "one.jpg", Encode(Smooth(1, 1), "jpeg"));
    Loaded j = Load(dir + "one.jpg");
    ASSERT_TRUE(j.pixels);
    EXPECT_EQ(j.width, 1);
    EXPECT_EQ(j.height, 1);
    EXPECT_EQ(j.bytes()[3], 255);
}

// ---------------------------------------------------------------------------------------------
// The quality table reaches the writer

class PictureFilesQuality : public PictureScratch {
protected:
    Bytes JpegAt(int step) {
        exportQuality = step;
        std::string path = dir + "q" + std::to_string(step) + ".jpg";
        EXPECT_EQ(Save(path, WriterForm(img), img.width(), img.height(), FourCC("JPEG")), 0);
        return ReadFile(path);
    }
    QImage img = Pattern(96, 64, true);
};

TEST_F(PictureFilesQuality, JpegSizeFollowsExportQuality) {
    Bytes q[6];
    for (int step = 1; step <= 5; ++step) q[step] = JpegAt(step);
    EXPECT_LT(q[1].size() * 2, q[5].size());
    for (int step = 2; step <= 5; ++step) EXPECT_LT(q[step - 1].size(), q[step].size()) << step;
    for (int outOfRange : {0, 6, -1, 1000}) EXPECT_EQ(JpegAt(outOfRange), q[3]) << outOfRange;
}

TEST_F(PictureFilesQuality, StepsMapOntoQtQualities) {
    const int qt[6] = {0, 5, 50, 75, 90, 100};
    for (int step = 1; step <= 5; ++step) EXPECT_EQ(JpegAt(step), Encode(img, "jpeg", qt[step])) << step;
}

TEST_F(PictureFilesQuality, OtherFormatsIgnoreExportQuality) {
    for (const char* ext : {"png", "webp"}) {
        OSType code = ext[0] == 'p' ? FourCC("PNGf") : FourCC("WEBP");
        exportQuality = 1;
        ASSERT_EQ(Save(dir + "low." + ext, WriterForm(img), 96, 64, code), 0);
        exportQuality = 5;
        ASSERT_EQ(Save(dir + "high." + ext, WriterForm(img), 96, 64, code), 0);
        EXPECT_EQ(ReadFile(dir + "low." + ext), ReadFile(dir + "high." + ext)) << ext;
    }
    // PNG keeps zlib's default compression: quality means nothing to a lossless format. The
    // file is as small as Qt's at its default, and Qt reads back the very pixels.
    EXPECT_LE(double(ReadFile(dir + "low.png").size()), 1.05 * double(Encode(img, "png").size()));
    QImage back(QString::fromStdString(dir + "low.png"));
    EXPECT_EQ(WriterForm(back.convertToFormat(QImage::Format_ARGB32)), WriterForm(img));
}

// ---------------------------------------------------------------------------------------------
// QTSave results: the target is checked first, then the buffer, then the writer; a failure leaves
// an existing file exactly as it was and nothing else behind.

class PictureFilesQTSave : public PictureScratch {
protected:
    Bytes pixels = WriterForm(Pattern(4, 4, false));
    const Bytes old = {'o', 'l', 'd'};
};

TEST_F(PictureFilesQTSave, SuccessReplacesTheFileWholeAndLogs) {
    WriteFile(dir + "a.png", old);
    std::string log;
    EXPECT_EQ(Save(dir + "a.png", pixels, 4, 4, FourCC("PNGf"), &log), 0);
    EXPECT_EQ(log, "\n...QTSave :: building QTNewGWorldFromPtr....\n\n...QTSave :: no error detected\n");
    EXPECT_EQ(Load(dir + "a.png").bytes(), LayerForm(Pattern(4, 4, false)));
    EXPECT_EQ(Entries(root), std::vector<std::string>({"a.png"}));
}

TEST_F(PictureFilesQTSave, MissingFolderGives1AndCreatesNothing) {
    std::string log;
    EXPECT_EQ(Save(dir + "nowhere/a.png", pixels, 4, 4, FourCC("PNGf"), &log), 1);
    EXPECT_EQ(log, "\n...QTSave :: util_GetFSSpec failed\n");
    EXPECT_EQ(Save(dir + "nowhere/a.png", pixels, 4, 4, FourCC("XXXX")), 1);   // target first
    EXPECT_TRUE(Entries(root).empty());
}

TEST_F(PictureFilesQTSave, RefusedBufferGives2) {
    WriteFile(dir + "a.png", old);
    std::string log;
    EXPECT_EQ(Save(dir + "a.png", Bytes(), 4, 4, FourCC("PNGf"), &log), 2);
    EXPECT_EQ(log, "\n...QTSave :: building QTNewGWorldFromPtr....\n\n...QTSave :: QTNewGWorldFromPtr failed\n");
    EXPECT_EQ(Save(dir + "a.png", pixels, 0, 4, FourCC("PNGf")), 2);
    EXPECT_EQ(Save(dir + "a.png", pixels, 4, -4, FourCC("PNGf")), 2);
    EXPECT_EQ(Save(dir + "a.png", pixels, kMaxImageSide + 1, 1, FourCC("PNGf")), 2);
    EXPECT_EQ(ReadFile(dir + "a.png"), old);
    EXPECT_EQ(Entries(root), std::vector<std::string>({"a.png"}));
}

TEST_F(PictureFilesQTSave, UnknownTypeGives3) {
    WriteFile(dir + "a.png", old);
    std::string log;
    EXPECT_EQ(Save(dir + "a.png", pixels, 4, 4, FourCC("XXXX"), &log), 3);
    EXPECT_EQ(log, "\n...QTSave :: building QTNewGWorldFromPtr....\n\n...QTSave :: OpenADefaultComponent failed\n");
    EXPECT_EQ(Save(dir + "b.png", pixels, 4, 4, 0), 3);
    EXPECT_EQ(ReadFile(dir + "a.png"), old);
    EXPECT_EQ(Entries(root), std::vector<std::string>({"a.png"}));
}

TEST_F(PictureFilesQTSave, FoldersAndLinksAreNotWrittenThrough) {
    ASSERT_EQ(mkdir((dir + "folder.png").c_str(), 0755), 0);
    WriteFile(dir + "folder.png/inside", old);
    EXPECT_EQ(Save(dir + "folder.png", pixels, 4, 4, FourCC("PNGf")), 1);
    EXPECT_EQ(ReadFile(dir + "folder.png/inside"), old);

    WriteFile(dir + "real.png", old);
    ASSERT_EQ(symlink((dir + "real.png").c_str(), (dir + "link.png").c_str()), 0);
    ASSERT_EQ(symlink((dir + "absent.png").c_str(), (dir + "dangling.png").c_str()), 0);
    EXPECT_EQ(Save(dir + "link.png", pixels, 4, 4, FourCC("PNGf")), 1);
    EXPECT_EQ(Save(dir + "dangling.png", pixels, 4, 4, FourCC("PNGf")), 1);
    EXPECT_EQ(ReadFile(dir + "real.png"), old);
    EXPECT_FALSE(Exists(dir + "absent.png"));
    struct stat st;
    ASSERT_EQ(lstat((dir + "link.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Entries(root), std::vector<std::string>({"dangling.png", "folder.png", "link.png", "real.png"}));
}

TEST_F(PictureFilesQTSave, ReadOnlyFileIsLeftAlone) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    WriteFile(dir + "a.png", old);
    ASSERT_EQ(chmod((dir + "a.png").c_str(), 0444), 0);
    EXPECT_EQ(Save(dir + "a.png", pixels, 4, 4, FourCC("PNGf")), 1);
    EXPECT_EQ(ReadFile(dir + "a.png"), old);
}

// ---------------------------------------------------------------------------------------------
// SaveTempImage: numbered PNG files in the temporary folder

class PictureFilesTempImage : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(util_GetTempFolder(folder)); }
    void TearDown() override {
        for (int n = 1; n <= 6; ++n) remove(Name(n).c_str());
    }
    std::string Name(int n) const { return std::string(folder) + kPrefix + std::to_string(n) + ".png"; }
    void Run(char* outPath, unsigned char* pixels, int w, int h, int channels, std::string* log = nullptr) {
        testing::internal::CaptureStdout();
        SaveTempImage(outPath, kPrefix, pixels, w, h, channels);
        std::string out = testing::internal::GetCapturedStdout();
        if (log) *log = out;
    }
    const char* kPrefix = "pftestcrop";
    char folder[kPathSize];
    QImage img = Pattern(7, 5, false);
};

TEST_F(PictureFilesTempImage, TakesTheFirstFreeNumber) {
    WriteFile(Name(1), {'x'});
    WriteFile(Name(2), {'x'});
    Bytes layer = LayerForm(img);
    char out[kPathSize] = "layer/source.png";
    std::string log;
    Run(out, layer.data(), 7, 5, 4, &log);
    EXPECT_EQ(std::string(out), Name(3));
    EXPECT_EQ(log, "\nsaving " + Name(3) +
                       "\n...QTSave :: building QTNewGWorldFromPtr....\n\n...QTSave :: no error detected\n");
    EXPECT_EQ(layer, LayerForm(img));   // the caller's buffer is untouched
    Loaded r = Load(Name(3));
    EXPECT_EQ(r.type, FourCC("PNGf"));
    EXPECT_EQ(r.bytes(), layer);

    Run(out, layer.data(), 7, 5, 4);
    EXPECT_EQ(std::string(out), Name(4));
    remove(Name(1).c_str());
    Run(out, layer.data(), 7, 5, 4);
    EXPECT_EQ(std::string(out), Name(1));
    // Any entry takes a number, even a link that leads nowhere; it is never written through.
    ASSERT_EQ(symlink((std::string(folder) + "pftest-nowhere").c_str(), Name(5).c_str()), 0);
    WriteFile(Name(2), {'x'});
    Run(out, layer.data(), 7, 5, 4);
    EXPECT_EQ(std::string(out), Name(6));
    EXPECT_FALSE(Exists(std::string(folder) + "pftest-nowhere"));
}

TEST_F(PictureFilesTempImage, OutPathKeptWhenNothingIsWritten) {
    Bytes layer = LayerForm(img);
    char out[kPathSize] = "layer/source.png";
    Run(out, layer.data(), 7, 5, 3);          // only 4-channel buffers are written
    Run(out, nullptr, 7, 5, 4);
    Bytes wide(size_t(kMaxImageSide + 1) * 4, 200);   // the writer refuses it
    Run(out, wide.data(), kMaxImageSide + 1, 1, 4);
    EXPECT_STREQ(out, "layer/source.png");
    EXPECT_FALSE(Exists(Name(1)));

    // No temporary folder: TMPDIR names a plain file, so the folder can't be made inside it.
    std::string saved = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    std::string file = std::string(folder) + "pftest-not-a-folder";
    WriteFile(file, {'x'});
    setenv("TMPDIR", file.c_str(), 1);
    Run(out, layer.data(), 7, 5, 4);
    saved.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved.c_str(), 1);
    remove(file.c_str());
    EXPECT_STREQ(out, "layer/source.png");
}

// ---------------------------------------------------------------------------------------------
// Pixel orders

namespace {
Bytes Ramp(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 31 + i / 256);
    return b;
}
}  // namespace

TEST(PictureFilesPixelOrder, FlipReversesRows) {
    Bytes b = {1, 1, 2, 2, 3, 3};   // three rows of one 2-byte pixel
    util_flip(b.data(), 1, 3, 2);
    EXPECT_EQ(b, Bytes({3, 3, 2, 2, 1, 1}));
    Bytes single = {1, 2, 3, 4, 5, 6, 7, 8};
    util_flip(single.data(), 2, 1, 4);
    EXPECT_EQ(single, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    // A full-HD frame: rows longer than any internal chunk, compared with a plain reversal.
    const int w = 1920, h = 1080;
    Bytes big = Ramp(size_t(w) * h * 4), expected(big.size());
    for (int y = 0; y < h; ++y)
        std::copy_n(&big[size_t(h - 1 - y) * w * 4], w * 4, &expected[size_t(y) * w * 4]);
    util_flip(big.data(), w, h, 4);
    EXPECT_EQ(big, expected);
}

TEST(PictureFilesPixelOrder, SwapBGRARotatesOrExchanges) {
    Bytes b = {1, 2, 3, 4, 5, 6, 7, 8};
    util_swapBGRA(b.data(), 8, 4);
    EXPECT_EQ(b, Bytes({4, 1, 2, 3, 8, 5, 6, 7}));
    Bytes three = {1, 2, 3, 4, 5, 6};
    util_swapBGRA(three.data(), 6, 3);
    EXPECT_EQ(three, Bytes({3, 2, 1, 6, 5, 4}));
    Bytes two = {1, 2, 3, 4};
    util_swapBGRA(two.data(), 4, 2);
    EXPECT_EQ(two, Bytes({1, 2, 3, 4}));
    Bytes partial = {1, 2, 3, 4, 5, 6, 7, 8};   // size 6: the incomplete pixel stays
    util_swapBGRA(partial.data(), 6, 4);
    EXPECT_EQ(partial, Bytes({4, 1, 2, 3, 5, 6, 7, 8}));
    Bytes big = Ramp(1920 * 1080 * 4 + 4), expected = big;
    for (size_t i = 0; i + 4 <= expected.size(); i += 4) std::rotate(&expected[i], &expected[i + 3], &expected[i + 4]);
    util_swapBGRA(big.data(), int(big.size()), 4);
    EXPECT_EQ(big, expected);
}

TEST(PictureFilesPixelOrder, SwapRGBAReversesEachStep) {
    Bytes b = {1, 2, 3, 4};
    util_swapRGBA(b.data(), 4, 4);
    EXPECT_EQ(b, Bytes({4, 3, 2, 1}));
    Bytes stepped = Ramp(16), expected = stepped;
    util_swapRGBA(stepped.data(), 16, 8);
    std::reverse(&expected[0], &expected[4]);
    std::reverse(&expected[8], &expected[12]);
    EXPECT_EQ(stepped, expected);
    Bytes partial = {1, 2, 3, 4, 5, 6, 7, 8};   // never reaches past size
    util_swapRGBA(partial.data(), 6, 4);
    EXPECT_EQ(partial, Bytes({4, 3, 2, 1, 5, 6, 7, 8}));
    Bytes big = Ramp(1920 * 1080 * 4);
    expected = big;
    for (size_t i = 0; i < expected.size(); i += 4) std::reverse(&expected[i], &expected[i + 4]);
    util_swapRGBA(big.data(), int(big.size()), 4);
    EXPECT_EQ(big, expected);
}

// ---------------------------------------------------------------------------------------------
// Hostile files

class PictureFilesHostile : public PictureScratch {
protected:
    // Loads the bytes as the named file; true when refused with every output left alone.
    bool Refused(const std::string& name, const Bytes& bytes, std::string* log = nullptr) {
        WriteFile(dir + name, bytes);
        Loaded r = Load(dir + name, log);
        return !r.pixels && r.width == -1 && r.height == -1 && r.channels == -1 && r.type == 0;
    }
    static Bytes Half(const Bytes& b) { return Bytes(b.begin(), b.begin() + b.size() / 2); }
};

TEST_F(PictureFilesHostile, UnreadableFilesGiveNull) {
    QImage img = Pattern(120, 90, false);
    std::mt19937 random(12345);
    Bytes noise(4096);
    for (auto& byte : noise) byte = uint8_t(random());
    const char text[] = "This is a letter, not a picture.\n";
    EXPECT_TRUE(Refused("empty.png", {}));
    EXPECT_TRUE(Refused("noise.png", noise));
    EXPECT_TRUE(Refused("letter.jpg", Bytes(text, text + sizeof text - 1)));
    for (const char* format : {"png", "jpeg", "tiff", "bmp", "webp"})
        EXPECT_TRUE(Refused(std::string("half.") + format, Half(Encode(img, format)))) << format;
    Bytes gif = kGif;
    gif.resize(gif.size() - 2);   // the image data's terminator and the trailer are missing
    EXPECT_TRUE(Refused("cut.gif", gif));
    Bytes tga = Tga();
    tga[12] = 100;                // declares 100 x 2 pixels, holds 2 x 2
    EXPECT_TRUE(Refused("short.tga", tga));
    Bytes png = Encode(img, "png");
    png[png.size() / 2] ^= 0x55;  // a damaged byte inside the pixel data
    EXPECT_TRUE(Refused("damaged.png", png));
    Loaded missing = Load(dir + "missing.png");
    Loaded folder = Load(root);
    EXPECT_FALSE(missing.pixels);
    EXPECT_FALSE(folder.pixels);
    EXPECT_EQ(folder.width, -1);
}

// The declared size is refused before anything is decoded: no type line, no time, no memory.
TEST_F(PictureFilesHostile, SizeLimitsApplyBeforeDecoding) {
    std::string log;
    // Peak resident memory is reset where the kernel allows it, so the measurement is this test's.
    if (FILE* f = fopen("/proc/self/clear_refs", "w")) {
        fputs("5", f);
        fclose(f);
    }
    auto peakKB = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmHWM:", 0) == 0) return atol(line.c_str() + 6);
        return 0L;
    };
    long before = peakKB();
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Refused("huge.png", PngDeclaring(100000, 100000), &log));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.0);
    EXPECT_LT(peakKB() - before, 64 * 1024);
    EXPECT_EQ(log.find("image type"), std::string::npos);
    for (auto size : {std::make_pair(16385u, 1u), std::make_pair(1u, 16385u), std::make_pair(10001u, 10000u)}) {
        EXPECT_TRUE(Refused("big.png", PngDeclaring(size.first, size.second), &log));
        EXPECT_EQ(log.find("image type"), std::string::npos) << size.first << "x" << size.second;
    }
    // Exactly at the limits the size is accepted (the type is logged); the data then falls short.
    EXPECT_EQ(kMaxImagePixels, 10000 * 10000);
    // (Padded after its end to the bytes deflate needs at best for that size, so that the size
    // is plausible for the file and only the limit is judged.)
    Bytes limit = PngDeclaring(10000, 10000);
    limit.resize(limit.size() + 10000 * 40001 / 1032 + 1, 0);
    EXPECT_TRUE(Refused("limit.png", limit, &log));
    EXPECT_NE(log.find("\n... image type is PNGf"), std::string::npos);
    // Real pictures on both sides of the side limit.
    WriteFile(dir + "wide.png", Encode(Pattern(kMaxImageSide, 1, true), "png"));
    Loaded wide = Load(dir + "wide.png");
    EXPECT_EQ(wide.width, kMaxImageSide);
    EXPECT_TRUE(Refused("wider.png", Encode(Pattern(kMaxImageSide + 1, 1, true), "png"), &log));
    EXPECT_EQ(log.find("image type"), std::string::npos);
}
