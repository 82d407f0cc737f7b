// test_picture_codecs.cpp - the PNG and JPEG fast paths against reference decoders, on real files.
//
// PNG: every picture of libpng's test collections (../shared/testdata) decodes to what libpng's
// own reader gives with its plain expansion transforms (no gamma), and, where the toolkit's
// reader was right, to what it gave; damaged files are refused without a crash. JPEG: pictures
// of every colour model and layout that ImageMagick writes decode to exactly the pixels of Qt's
// reader (libjpeg). PNG files written decode to the pixels given and stay as small as Qt's.
#include <gtest/gtest.h>

#include "picture_files.h"
#include "platform_codecs.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

// The shared test pictures sit beside the project's root (or, from a worktree, one level up).
std::string TestData() {
    for (const char* up : {"/../shared/testdata/", "/../../shared/testdata/"}) {
        std::string folder = std::string(VINTREL_SOURCE_DIR) + up;
        struct stat st;
        if (stat((folder + "README.md").c_str(), &st) == 0) return folder;
    }
    return std::string(VINTREL_SOURCE_DIR) + "/../shared/testdata/";
}
const std::string kTestData = TestData();

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::string> PngFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0) names.push_back(folder + n);
        }
        closedir(d);
    }
    return names;
}

// LoadImage's pixels, or nothing; *logged gets whether the type line was printed.
Bytes Load(const std::string& path, long* w = nullptr, long* h = nullptr, bool* typeLogged = nullptr) {
    long width = 0, height = 0;
    int channels = 0;
    unsigned long type = 0;
    testing::internal::CaptureStdout();
    unsigned char* p = LoadImage(path.c_str(), &width, &height, &channels, &type);
    std::string log = testing::internal::GetCapturedStdout();
    if (typeLogged) *typeLogged = log.find("image type") != std::string::npos;
    Bytes out;
    if (p) out.assign(p, p + width * height * 4);
    free(p);
    if (w) *w = width;
    if (h) *h = height;
    return out;
}

// The nearest 8-bit value to v / 257.
uint8_t Nearest8(unsigned v) { return uint8_t((v * 255 + 32767) / 65535); }

// libpng's own decode: palette, low-depth grey and transparency chunks expanded, grey made RGB,
// alpha filled in as opaque; 16-bit samples reduced to the nearest 8-bit value. False when libpng
// refuses the file.
bool LibpngDecode(const std::string& path, Bytes* rgba) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> image;
    std::vector<png_bytep> rows;
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_info(png, info);
        int depth = png_get_bit_depth(png, info);
        png_set_expand(png);
        png_set_gray_to_rgb(png);
        png_set_filler(png, depth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
        size_t stride = png_get_rowbytes(png, info);
        image.resize(stride * h);
        for (png_uint_32 y = 0; y < h; ++y) rows.push_back(image.data() + y * stride);
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        rgba->clear();
        for (size_t i = 0; i < size_t(w) * h * 4; ++i)
            rgba->push_back(depth == 16 ? Nearest8(unsigned(image[2 * i]) << 8 | image[2 * i + 1]) : image[i]);
        ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    return ok;
}

// Qt's reader, as the program read pictures before: RGBA8888, not premultiplied.
Bytes QtDecode(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    QImage img = reader.read().convertToFormat(QImage::Format_RGBA8888);
    Bytes out;
    for (int y = 0; y < img.height(); ++y) out.insert(out.end(), img.constScanLine(y), img.constScanLine(y) + img.width() * 4);
    return out;
}

// Equal bytes, or where and how often they differ.
testing::AssertionResult Same(const Bytes& a, const Bytes& b) {
    if (a == b) return testing::AssertionSuccess();
    if (a.size() != b.size()) return testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
    size_t first = size_t(std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin()), count = 0;
    for (size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
    return testing::AssertionFailure() << count << " bytes differ, first at pixel " << first / 4 << " channel "
                                       << first % 4 << ": " << int(a[first]) << " and " << int(b[first]);
}

bool HasChunk(const Bytes& png, const char* type) {
    return std::search(png.begin(), png.end(), type, type + 4) != png.end();
}

class PictureCodecs : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vintrel_codecs_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = std::string(pattern) + "/";
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string dir;
};

}  // namespace

TEST_F(PictureCodecs, PngTestCollectionsDecodeAsLibpngDoes) {
    int compared = 0, againstQt = 0, sixteenBitKeyed = 0;
    for (const char* folder : {"pngsuite/", "pngsuite/interlaced/", "testpngs/", "testpngs/badpal/"}) {
        std::vector<std::string> files = PngFiles(kTestData + folder);
        if (files.empty()) GTEST_SKIP() << "no test pictures in " << kTestData << folder;
        for (const std::string& path : files) {
            Bytes reference, ours = Load(path);
            bool valid = LibpngDecode(path, &reference);
            bool corrupt = path.substr(path.rfind('/') + 1)[0] == 'x';
            if (corrupt || !valid) {
                EXPECT_TRUE(ours.empty()) << path << ": damaged, yet decoded";
                continue;
            }
            ++compared;
            EXPECT_TRUE(Same(ours, reference)) << path;
            Bytes file = ReadFile(path), qt = QtDecode(path);
            bool sixteen = file[24] == 16, keyed = HasChunk(file, "tRNS");
            // The toolkit's reader lost 16-bit transparency keys and made pixels of out-of-range
            // palette indices white (libpng: black); elsewhere it was right, except that it made
            // the pixels of a grey key transparent black instead of transparent grey.
            if (sixteen && keyed) {
                ++sixteenBitKeyed;
                continue;
            }
            if (path.find("/badpal/") != std::string::npos) continue;
            Bytes mine = ours;
            if (file[25] == 0 && keyed)
                for (size_t i = 0; i < mine.size(); i += 4)
                    if (mine[i + 3] == 0 && qt[i + 3] == 0) memset(&mine[i], 0, 3), memset(&qt[i], 0, 3);
            ++againstQt;
            EXPECT_TRUE(Same(mine, qt)) << path;
        }
    }
    EXPECT_GT(compared, 150);
    EXPECT_GT(againstQt, 100);
    EXPECT_GT(sixteenBitKeyed, 5);
}

TEST_F(PictureCodecs, SixteenBitColourKeyMakesItsPixelsTransparent) {
    // tbbn2c16: 16-bit RGB whose tRNS key is its blue background.
    std::string path = kTestData + "pngsuite/ftbbn2c16.png";
    if (!std::ifstream(path)) GTEST_SKIP() << "no " << path;
    Bytes px = Load(path);
    ASSERT_FALSE(px.empty());
    size_t clear = 0, opaque = 0;
    for (size_t i = 3; i < px.size(); i += 4) px[i] == 0 ? ++clear : px[i] == 255 ? ++opaque : 0;
    EXPECT_GT(clear, 100u);
    EXPECT_GT(opaque, 100u);
    EXPECT_EQ(clear + opaque, px.size() / 4);
}

TEST_F(PictureCodecs, DamagedPngFilesAreRefusedWithoutCrash) {
    for (const std::string& path : PngFiles(kTestData + "testpngs/crashers/")) Load(path);   // must not crash
    Bytes good = ReadFile(kTestData + "pngsuite/basn6a08.png");
    if (good.empty()) GTEST_SKIP() << "no test pictures";
    ASSERT_FALSE(Load(kTestData + "pngsuite/basn6a08.png").empty());
    auto refused = [&](Bytes bytes, const char* what) {
        WriteFile(dir + "bad.png", bytes);
        EXPECT_TRUE(Load(dir + "bad.png").empty()) << what;
    };
    Bytes b = good;
    b[29] ^= 1;   // header checksum
    refused(b, "IHDR checksum");
    b = good;
    b[25] = 5;    // no such colour type
    refused(b, "colour type");
    b = good;
    b.resize(good.size() - 40);   // image data cut short
    refused(b, "cut short");
    b = good;
    b[0] = 0x88;  // signature
    refused(b, "signature");
}

TEST_F(PictureCodecs, JpegOfEveryKindDecodesAsLibjpegDoes) {
    QImage pattern(61, 37, QImage::Format_RGB32);   // odd sizes exercise the partial blocks
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x)
            pattern.setPixel(x, y, qRgb(x * 4, y * 6, (x * y) & 255));
    ASSERT_TRUE(pattern.save(QString::fromStdString(dir + "src.png")));
    const char* kinds[][2] = {{"grey", "-colorspace Gray"},
                              {"420", "-sampling-factor 2x2"},
                              {"444", "-sampling-factor 1x1"},
                              {"progressive", "-interlace JPEG"},
                              {"cmyk", "-colorspace CMYK"}};
    for (auto& kind : kinds) {
        std::string out = dir + kind[0] + ".jpg";
        std::string cmd = std::string("convert '") + dir + "src.png' " + kind[1] + " -quality 85 '" + out + "'";
        ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
        long w = 0, h = 0;
        Bytes ours = Load(out, &w, &h);
        EXPECT_EQ(w, 61) << kind[0];
        EXPECT_EQ(h, 37) << kind[0];
        Bytes qt = QtDecode(out);
        ASSERT_FALSE(qt.empty()) << kind[0];
        EXPECT_TRUE(Same(ours, qt)) << kind[0];
    }
}

TEST_F(PictureCodecs, JpegSizeIsRefusedBeforeDecoding) {
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(img.save(&buffer, "JPEG"));
    Bytes b(jpeg.begin(), jpeg.end());
    const uint8_t marker[2] = {0xFF, 0xC0};
    auto sof = std::search(b.begin(), b.end(), marker, marker + 2);
    ASSERT_NE(sof, b.end());
    size_t at = size_t(sof - b.begin()) + 5;   // height then width, 16 bits each
    b[at] = 0xEA, b[at + 1] = 0x60, b[at + 2] = 0xEA, b[at + 3] = 0x60;   // 60000 x 60000
    WriteFile(dir + "huge.jpg", b);
    bool logged = true;
    EXPECT_TRUE(Load(dir + "huge.jpg", nullptr, nullptr, &logged).empty());
    EXPECT_FALSE(logged);
}

TEST_F(PictureCodecs, PngWrittenDecodesToThePixelsAndStaysSmall) {
    // A photo-like picture, once opaque and once with alpha, and a smooth gradient with outlines
    // (a web page's background, where a shallow match search loses most), each large enough to be
    // compressed in several strips; the file
    // must decode (by Qt's reader too) to exactly the pixels given and be no more than 5 % larger
    // than Qt's file.
    for (int kind = 0; kind < 3; ++kind) {
        const bool opaque = kind != 1;
        const int w = kind == 2 ? 1920 : 1100, h = kind == 2 ? 1080 : 700;
        QImage img(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.setPixel(x, y, qRgba(128 + int(100 * sin(x * 0.05) * cos(y * 0.03)), (x * y / 97) & 255,
                                         (x + 2 * y) / 6 & 255, opaque ? 255 : (x / 3 + y) & 255));
        if (kind == 2) {
            QPainter p(&img);
            QLinearGradient g(0, 0, w, h);
            g.setColorAt(0, QColor(30, 90, 160));
            g.setColorAt(1, QColor(240, 180, 60));
            p.fillRect(img.rect(), g);
            p.setPen(Qt::white);
            for (int i = 0; i < 40; ++i) p.drawEllipse(QPoint((i * 97) % w, (i * 53) % h), w / 12, h / 12);
        }
        Bytes argb;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                QRgb p = img.pixel(x, y);
                argb.insert(argb.end(), {uint8_t(qAlpha(p)), uint8_t(qRed(p)), uint8_t(qGreen(p)), uint8_t(qBlue(p))});
            }
        std::string path = dir + std::to_string(kind) + ".png";
        testing::internal::CaptureStdout();
        int result = QTSave(path.c_str(), argb.data(), w, h, FourCC("PNGf"));
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(result, 0);
        Bytes rgba = argb;
        for (size_t i = 0; i < rgba.size(); i += 4) std::rotate(&rgba[i], &rgba[i + 1], &rgba[i + 4]);
        EXPECT_TRUE(Same(Load(path), rgba)) << kind;
        EXPECT_TRUE(Same(QtDecode(path), rgba)) << kind;
        QByteArray qtFile;
        QBuffer buffer(&qtFile);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(QImageWriter(&buffer, "png").write(img));
        EXPECT_LE(double(ReadFile(path).size()), 1.05 * qtFile.size()) << kind;
        EXPECT_EQ(ReadFile(path)[25], opaque ? 2 : 6);
    }
}

TEST_F(PictureCodecs, JpegWrittenDecodesToWhatTheToolkitsWriterGave) {
    // The program's JPEG writer (quality "normal", 75) against Qt's at 75 on the same pixels,
    // some of them transparent (JPEG drops alpha): both files decode to the same pixels.
    const int w = 333, h = 211;   // sizes that are not multiples of the 16 x 16 blocks
    QImage img(w, h, QImage::Format_ARGB32);
    Bytes argb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb p = qRgba(128 + int(100 * sin(x * 0.07) * cos(y * 0.05)), (x * y / 53) & 255, (3 * x + y) / 5 & 255,
                                 (x + y) % 7 ? 255 : 40);
            img.setPixel(x, y, p);
            argb.insert(argb.end(), {uint8_t(qAlpha(p)), uint8_t(qRed(p)), uint8_t(qGreen(p)), uint8_t(qBlue(p))});
        }
    const std::string ours = dir + "ours.jpg", theirs = dir + "theirs.jpg";
    testing::internal::CaptureStdout();
    int result = QTSave(ours.c_str(), argb.data(), w, h, FourCC("JPEG"));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, 0);
    ASSERT_TRUE(img.save(QString::fromStdString(theirs), "JPEG", 75));
    const Bytes a = QtDecode(ours), b = QtDecode(theirs);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << "the two files decode to different pixels";
}

TEST_F(PictureCodecs, RowsReadInBandsGiveTheSameFileAndAFailedReadLeavesTheTarget) {
    // A picture taller than a band and not a multiple of one, with some see-through pixels.
    const int w = 97, h = 150;
    Bytes argb, bottomUp(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t p[4] = {uint8_t((x + y) % 5 ? 255 : 60), uint8_t(x * 5 + y), uint8_t(y * 3), uint8_t(x ^ y)};
            argb.insert(argb.end(), p, p + 4);
            uint8_t* d = &bottomUp[(size_t(h - 1 - y) * w + x) * 4];
            d[0] = p[1], d[1] = p[2], d[2] = p[3], d[3] = p[0];
        }
    auto reader = [&](int failAt) {
        return [&bottomUp, failAt](int first, int count, uint8_t* block) {
            if (first + count > failAt) return false;
            memcpy(block, &bottomUp[size_t(h - first - count) * w * 4], size_t(count) * w * 4);
            return true;
        };
    };
    for (const char* type : {"JPEG", "PNGf", "TPIC", "GIFf", "BMPf", "TIFF"}) {
        const OSType code = plat_CodeFromText(type);
        const std::string given = dir + "given." + type, read = dir + "read." + type;
        ASSERT_EQ(plat_EncodeImage(given.c_str(), argb.data(), w, h, code, 512), kEncodeDone) << type;
        ASSERT_EQ(plat_EncodeImageRows(read.c_str(), w, h, code, 512, reader(h)), kEncodeDone) << type;
        EXPECT_TRUE(ReadFile(given) == ReadFile(read)) << type << ": the files differ";
        // A read that fails at the second band, or at once, leaves the file that was there.
        for (int failAt : {100, 0})
            EXPECT_EQ(plat_EncodeImageRows(read.c_str(), w, h, code, 512, reader(failAt)), kEncodeWriteFailed) << type;
        EXPECT_TRUE(ReadFile(given) == ReadFile(read)) << type << ": a failed write changed the file";
    }
    std::string cmd = "ls -A '" + dir + "' | wc -l";
    FILE* listing = popen(cmd.c_str(), "r");
    int files = 0;
    ASSERT_EQ(fscanf(listing, "%d", &files), 1);
    pclose(listing);
    EXPECT_EQ(files, 12) << "a temporary file was left behind";
}
