// Writing back as a user meets it, on real theme folders and the real windows: after the picture
// is closed nothing reaches the theme; a picture gone from the bundle is written afresh; GIF and
// TGA theme pictures are written in their own format; TGA files of the usual variants (with or
// without the footer) open with the right pixels; pictures that can never open are not listed.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "drawers.h"
#include "ids.h"
#include "layer_table.h"
#include "picture_files.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

typedef std::vector<uint8_t> Bytes;
enum { kTextNewButton = 569, kTextField = 572 };
const char kNoBackup[] = "Unable to create backup image";

bool Exists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

void Key(uint32_t code, uint32_t mods) {
    Event e;
    e.eventClass = kEventClassKeyboard;
    e.kind = kEventRawKeyDown;
    e.window = dialog;
    e.keyCode = code;
    e.modifiers = mods;
    plat_DispatchEvent(e);
}

void Click(WindowRef w, int id) {
    ControlRef c = nullptr;
    ASSERT_TRUE(util_GetControlRef(w, id, &c)) << id;
    plat_ClickControl(c);
    plat_ProcessEvents();
}

bool Enabled(int id) {
    ControlRef c = nullptr;
    return util_GetControlRef(dialog, id, &c) && plat_IsControlEnabled(c);
}

// The picture at path as the program reads it: R,G,B,A rows, top row first.
struct Picture {
    Bytes rgba;
    long width = 0, height = 0;
    unsigned long type = 0;
    const uint8_t* at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};
Picture Read(const std::string& path) {
    Picture p;
    int channels = 0;
    unsigned char* px = LoadImage(path.c_str(), &p.width, &p.height, &channels, &p.type);
    if (px) p.rgba.assign(px, px + p.width * p.height * 4), free(px);
    return p;
}

bool HaveMagick() { return system("command -v convert >/dev/null 2>&1") == 0; }

// The same file as ImageMagick reads it, as R,G,B,A rows.
Bytes MagickPixels(const std::string& path, int* width, int* height) {
    std::string png = path + ".magick.png";
    if (system(("convert '" + path + "' -auto-orient 'PNG32:" + png + "' 2>/dev/null").c_str()) != 0) return {};
    QImage img(QString::fromStdString(png));
    unlink(png.c_str());
    img = img.convertToFormat(QImage::Format_RGBA8888);
    *width = img.width(), *height = img.height();
    Bytes out(size_t(img.width()) * img.height() * 4);
    for (int y = 0; y < img.height(); ++y) memcpy(&out[size_t(y) * img.width() * 4], img.constScanLine(y), img.width() * 4);
    return out;
}

// A TGA file built field by field: 18-byte header, optional colour map, then the pixel bytes.
Bytes Tga(uint8_t type, int w, int h, uint8_t bits, uint8_t descriptor, const Bytes& pixels,
          const Bytes& map = {}, uint8_t mapBits = 0, bool footer = false) {
    Bytes t(18, 0);
    t[1] = map.empty() ? 0 : 1;
    t[2] = type;
    if (!map.empty()) {
        int entries = int(map.size() / ((mapBits + 7) / 8));
        t[5] = uint8_t(entries), t[6] = uint8_t(entries >> 8), t[7] = mapBits;
    }
    t[12] = uint8_t(w), t[13] = uint8_t(w >> 8), t[14] = uint8_t(h), t[15] = uint8_t(h >> 8);
    t[16] = bits, t[17] = descriptor;
    t.insert(t.end(), map.begin(), map.end());
    t.insert(t.end(), pixels.begin(), pixels.end());
    if (footer) {
        t.insert(t.end(), 8, 0);
        const char signature[] = "TRUEVISION-XFILE.";
        t.insert(t.end(), signature, signature + sizeof signature);
    }
    return t;
}

// The program started on a theme folder made for the test, with the popups filled from it.
class WriteBackAsUser : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureProgramStarted();   // before the theme folder: start-up sets themeFolder
        folder.reset(new ThemeFolder);
        ScriptedModals quiet;
        InitValues();
    }
    void TearDown() override {
        ResetProgramState();
        centerimage = savedAnchor;
        folder.reset();
        ScriptedModals quiet;
        InitValues();
    }
    // Picks theme and picture in the Tools window's popups, as a user does.
    void Pick(const char* theme, const char* picture) {
        ASSERT_TRUE(util_SelectMenuByString(dialog, kThemePopup, theme));
        DialogEvent(FourCC("p100"));
        ASSERT_TRUE(util_SelectMenuByString(dialog, kPicturePopup, picture)) << picture;
        DialogEvent(FourCC("p101"));
        ASSERT_TRUE(themeLoaded);
        ASSERT_NE(texImages[0].texture, 0u);
    }
    // Drops a w x h picture of colour c onto the canvas; it is centred by the anchor.
    void DropSticker(int w, int h, QColor c) {
        std::string path = MakeTempDir("sticker") + "/sticker.png";
        QImage img(w, h, QImage::Format_ARGB32);
        img.fill(c);
        ASSERT_TRUE(img.save(QString::fromStdString(path)));
        plat_SimulateDrop(window, {path}, 10, 10);
        ASSERT_TRUE(HasValidLayer());
    }
    // Whether p is the base colour everywhere but on the sticker's box, which has its colour.
    static ::testing::AssertionResult Composed(const Picture& p, QColor base, QColor sticker, int x0, int y0, int w, int h) {
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                bool on = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
                QColor want = on ? sticker : base;
                const uint8_t* px = p.at(x, y);
                if (px[0] != want.red() || px[1] != want.green() || px[2] != want.blue() || px[3] != 255)
                    return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << int(px[0]) << ","
                                                         << int(px[1]) << "," << int(px[2]) << "," << int(px[3]);
            }
        return ::testing::AssertionSuccess();
    }
    std::unique_ptr<ThemeFolder> folder;
    ThemeFolder& themes() { return *folder; }
    int savedAnchor = centerimage;
};

}  // namespace

// Cmd-W shows the start picture; a text layer on it and every way of writing leave the theme alone.
TEST_F(WriteBackAsUser, ClosedPictureIsNeverWrittenIntoTheTheme) {
    Pick("Alpha", "header.jpg");
    std::string images = themes().root + "Alpha.pagewrighttheme/Contents/Images/";
    std::string original = themes().Bytes(images + "header.jpg");

    ScriptedModals answers(true);
    Key(13, cmdKey);
    ASSERT_FALSE(themeLoaded);
    ASSERT_NE(texImages[0].texture, 0u) << "the start picture is the base";
    util_SetText(drawer_text, kTextField, "Not for the theme");
    Click(drawer_text, kTextNewButton);
    ASSERT_TRUE(HasValidLayer());
    EXPECT_FALSE(Enabled(kWriteButton)) << "nothing can be written into the theme";
    EXPECT_TRUE(Enabled(kExportButton)) << "the composite can still be exported";

    Key(17, cmdKey);
    DialogEvent(FourCC("p105"));
    EXPECT_TRUE(themes().Bytes(images + "header.jpg") == original) << "the theme's picture was replaced";
    EXPECT_FALSE(Exists(images + "Originals"));
    EXPECT_TRUE(answers.requests.empty());

    // Picking the picture again makes it writable again.
    DialogEvent(FourCC("p101"));
    DropSticker(20, 10, QColor(255, 255, 0));
    EXPECT_TRUE(Enabled(kWriteButton));
    Key(17, cmdKey);
    EXPECT_TRUE(themes().Bytes(images + "Originals/header.jpg") == original);
    EXPECT_TRUE(themes().Bytes(images + "header.jpg") != original);
}

// The picture is deleted from the bundle while it is being edited: with no original to keep, the
// user is told the backup could not be made and the composite is written in its place.
TEST_F(WriteBackAsUser, PictureGoneFromTheBundleIsWrittenAfresh) {
    Pick("Beta", "banner.png");
    std::string images = themes().root + "Beta.pagewrighttheme/Contents/Images/";
    DropSticker(20, 10, QColor(255, 255, 0));
    const TexImage& s = texImages[currentLayer];
    ASSERT_EQ(unlink((images + "banner.png").c_str()), 0);

    ScriptedModals answers(true);
    Click(dialog, kWriteButton);
    ASSERT_EQ(answers.requests.size(), 1u);
    EXPECT_EQ(answers.requests[0].message, kNoBackup);
    Picture written = Read(images + "banner.png");
    ASSERT_EQ(written.type, FourCC("PNGf"));
    EXPECT_EQ(written.width, 160);
    EXPECT_TRUE(Composed(written, QColor(30, 160, 60), QColor(255, 255, 0), s.posX, s.posY, 20, 10));
    EXPECT_FALSE(Exists(images + "Originals/banner.png"));
    EXPECT_FALSE(toSave);
}

// A GIF and a footer-less TGA theme picture are written back in their own format, at their own
// size, with the right pixels (the GIF's few colours exactly), and their backups hold the originals.
TEST_F(WriteBackAsUser, GifAndTgaPicturesAreWrittenInTheirOwnFormat) {
    ASSERT_TRUE(HaveMagick()) << "ImageMagick makes the GIF theme picture";
    std::string images = themes().root + "Alpha.pagewrighttheme/Contents/Images/";
    ASSERT_EQ(system(("convert -size 48x36 'xc:rgb(200,30,30)' '" + images + "flag.gif'").c_str()), 0);
    // 40 x 30 of (20, 60, 220), 24-bit run-length coded, bottom-left origin, no footer.
    Bytes rows;
    for (int y = 0; y < 30; ++y) rows.insert(rows.end(), {0x80 | 39, 220, 60, 20});
    WriteFile(images + "sky.tga", Tga(10, 40, 30, 24, 0, rows));
    const QColor yellow(255, 255, 0);
    // The top-left anchor puts the sticker in the corner, so a picture upside down shows.
    DialogEvent(FourCC("p280"));
    ASSERT_EQ(centerimage, kAnchorFirst);

    const struct {
        const char* name;
        unsigned long type;
        int width, height;
        QColor base;
    } cases[] = {{"flag.gif", FourCC("GIFf"), 48, 36, QColor(200, 30, 30)},
                 {"sky.tga", FourCC("TPIC"), 40, 30, QColor(20, 60, 220)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = images + c.name;
        std::string original = themes().Bytes(path);
        Pick("Alpha", c.name);
        ASSERT_EQ(texImages[0].fileType, c.type);
        DropSticker(12, 8, yellow);
        const TexImage& s = texImages[currentLayer];

        ScriptedModals answers(true);
        Key(17, cmdKey);
        EXPECT_TRUE(answers.requests.empty());
        EXPECT_FALSE(toSave);
        EXPECT_TRUE(themes().Bytes(images + "Originals/" + c.name) == original) << "backup";
        Picture written = Read(path);
        ASSERT_EQ(written.type, c.type);
        ASSERT_EQ(written.width, c.width);
        ASSERT_EQ(written.height, c.height);
        EXPECT_TRUE(Composed(written, c.base, yellow, s.posX, s.posY, 12, 8));
        // Another reader agrees with ours.
        int w = 0, h = 0;
        Bytes theirs = MagickPixels(path, &w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_TRUE(theirs == written.rgba) << "ImageMagick reads other pixels";
    }
}

// The usual TGA variants open with the right pixels, footer or not; ImageMagick reads the same.
TEST(TgaFiles, CommonVariantsOpenWithTheRightPixels) {
    std::string dir = MakeTempDir("tga");
    // The picture: 3 x 2, top row red, green, blue; bottom row white, grey (128), black.
    const Bytes rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 128, 128, 128, 0, 0, 0};
    auto bgr = [&](int x, int y) { const uint8_t* p = &rgb[(y * 3 + x) * 3]; return Bytes{p[2], p[1], p[0]}; };
    Bytes topDown, bottomUp, bottomUpRle;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            Bytes px = bgr(x, y);
            topDown.insert(topDown.end(), px.begin(), px.end());
            topDown.push_back(255);   // 32-bit: B, G, R, A
        }
    for (int y = 1; y >= 0; --y) {
        for (int x = 0; x < 3; ++x) {
            Bytes px = bgr(x, y);
            bottomUp.insert(bottomUp.end(), px.begin(), px.end());
        }
    }
    // Run-length: the bottom row as one raw packet of three, the top row as three runs of one
    // written as a raw packet of two and a run of one.
    bottomUpRle = {0x02};
    bottomUpRle.insert(bottomUpRle.end(), bottomUp.begin(), bottomUp.begin() + 9);
    bottomUpRle.push_back(0x01);
    bottomUpRle.insert(bottomUpRle.end(), bottomUp.begin() + 9, bottomUp.begin() + 15);
    bottomUpRle.push_back(0x80);
    bottomUpRle.insert(bottomUpRle.end(), bottomUp.begin() + 15, bottomUp.end());
    // Colour-mapped: the six colours as a 24-bit map, indices 0..5 in file order, top row first.
    Bytes map, indices = {0, 1, 2, 3, 4, 5};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            Bytes px = bgr(x, y);
            map.insert(map.end(), px.begin(), px.end());
        }

    Bytes padded = topDown;
    for (size_t i = 3; i < padded.size(); i += 4) padded[i] = 0;
    Bytes want;
    for (size_t i = 0; i < rgb.size(); i += 3) want.insert(want.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    Bytes greyWant = {76, 76, 76, 255, 150, 150, 150, 255, 29, 29, 29, 255, 255, 255, 255, 255, 128, 128, 128, 255, 0, 0, 0, 255};

    const struct {
        const char* name;
        Bytes file;
        const Bytes& pixels;
    } cases[] = {
        {"rle24_bottom_left.tga", Tga(10, 3, 2, 24, 0x00, bottomUpRle), want},
        {"raw24_bottom_left_footer.tga", Tga(2, 3, 2, 24, 0x00, bottomUp, {}, 0, true), want},
        {"raw32_top_left.tga", Tga(2, 3, 2, 32, 0x28, topDown), want},
        {"mapped8_top_left.tga", Tga(1, 3, 2, 8, 0x20, indices, map, 24), want},
        {"grey8_top_left_rle.tga", Tga(11, 3, 2, 8, 0x20, {0x05, 76, 150, 29, 255, 128, 0}), greyWant},
        // 32 bits whose fourth byte is zero padding (no alpha bits declared): opaque, not invisible.
        {"raw32_padding.tga", Tga(2, 3, 2, 32, 0x20, padded), want},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir + "/" + c.name;
        WriteFile(path, c.file);
        Picture p = Read(path);
        ASSERT_EQ(p.type, FourCC("TPIC"));
        ASSERT_EQ(p.width, 3);
        ASSERT_EQ(p.height, 2);
        EXPECT_EQ(p.rgba, c.pixels);
        // (ImageMagick takes padding for alpha and shows that file invisible.)
        if (HaveMagick() && !strstr(c.name, "padding")) {
            int w = 0, h = 0;
            EXPECT_TRUE(MagickPixels(path, &w, &h) == c.pixels) << "ImageMagick reads other pixels";
        }
    }
    // A run that reaches past the file's end is refused, not padded.
    Bytes cut = Tga(10, 3, 2, 24, 0, bottomUpRle);
    cut.resize(cut.size() - 2);
    WriteFile(dir + "/cut.tga", cut);
    EXPECT_TRUE(Read(dir + "/cut.tga").rgba.empty());
}

// Written and read back: TGA keeps every byte, partial alpha included; GIF keeps a few colours
// exactly and makes the pixels below half coverage its transparent colour.
TEST(TgaFiles, WrittenTgaAndGifKeepTheirPixels) {
    std::string dir = MakeTempDir("written");
    const uint8_t kColours[][4] = {{250, 10, 10, 255}, {10, 250, 10, 255}, {0, 0, 0, 0}, {10, 10, 250, 200}, {9, 9, 9, 40}};
    const int w = 7, h = 5;
    Bytes rgba;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) rgba.insert(rgba.end(), kColours[(x / 2 + y) % 5], kColours[(x / 2 + y) % 5] + 4);
    Bytes argb = rgba;
    util_swapBGRA(argb.data(), int(argb.size()), 4);
    for (const char* name : {"a.tga", "a.gif"}) {
        SCOPED_TRACE(name);
        bool gif = strstr(name, "gif");
        std::string path = dir + "/" + name;
        Bytes copy = argb;
        ASSERT_EQ(QTSave(path.c_str(), copy.data(), w, h, gif ? FourCC("GIFf") : FourCC("TPIC")), 0);
        Picture p = Read(path);
        ASSERT_EQ(p.type, gif ? FourCC("GIFf") : FourCC("TPIC"));
        Bytes want = rgba;
        for (size_t i = 0; gif && i < want.size(); i += 4) {
            if (want[i + 3] < 128) want[i + 3] = 0;
            else want[i + 3] = 255;
        }
        // The colour of a transparent pixel is nobody's business.
        ASSERT_EQ(p.rgba.size(), want.size());
        for (size_t i = 0; i < want.size(); i += 4)
            if (want[i + 3] == 0) memset(&want[i], 0, 4), memset(&p.rgba[i], 0, 4);
        EXPECT_EQ(p.rgba, want);
        if (HaveMagick() && !gif) {
            int mw = 0, mh = 0;
            Bytes theirs = MagickPixels(path, &mw, &mh);
            for (size_t i = 0; i < theirs.size(); i += 4)
                if (theirs[i + 3] == 0) memset(&theirs[i], 0, 4);
            EXPECT_EQ(theirs, want) << "ImageMagick reads other pixels";
        }
    }
}

// A .pdf or .pic file that is no picture this program reads is not offered in the picture popup;
// the same names holding a readable picture are, and so is a footer-less TGA.
TEST_F(WriteBackAsUser, PicturesThatCanNeverOpenAreNotListed) {
    std::string images = themes().root + "Alpha.pagewrighttheme/Contents/Images/";
    WriteFile(images + "brochure.pdf", Bytes{'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n', '%', '%', 'E', 'O', 'F', '\n'});
    WriteFile(images + "old.PIC", Bytes(600, 0x11));
    QImage png(4, 4, QImage::Format_RGB32);
    png.fill(Qt::red);
    ASSERT_TRUE(png.save(QString::fromStdString(images + "really_png.pdf"), "PNG"));
    WriteFile(images + "sky.tga", Tga(2, 1, 1, 24, 0, {1, 2, 3}));

    util_FillPictureMenu(dialog, kPicturePopup, themes().root.c_str(), "Alpha", "");
    std::vector<std::string> items;
    for (int i = 1, n = plat_CountMenuItems(util_GetMenu(dialog, kPicturePopup)); i <= n; ++i) {
        char text[1024] = "";
        util_GetMenuItemByIndex(dialog, kPicturePopup, i, text);
        items.push_back(text);
    }
    EXPECT_EQ(items, (std::vector<std::string>{"header.jpg", "really_png.pdf", "sky.tga", "Editable_Images/logo.png"}));
}
