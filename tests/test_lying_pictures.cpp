// Pictures that lie: small real files of every format the program reads (written by Qt's writers
// and by our own GIF and TGA codecs), their headers patched to declare 65535 x 65535 pixels or
// a size just under the pixel limit, cut at every tenth of their length, or with the header
// garbled. Each is refused quickly and within a memory budget by the picture loader, as a
// dropped layer, as a theme picture (and its preview) and as a layer inside a project.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "codec_gif.h"
#include "codec_tga.h"
#include "layer_table.h"
#include "navigation.h"
#include "picture_files.h"
#include "platform_codecs.h"
#include "switching.h"
#include "textures.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "ids.h"
#include "util_controls.h"

namespace {

using Bytes = std::string;

void Put(const std::string& path, const Bytes& b) { std::ofstream(path, std::ios::binary) << b; }
Bytes Get(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// A 40 x 30 picture with every pixel different.
QImage Pattern() {
    QImage img(40, 30, QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) img.setPixel(x, y, qRgba(x * 6, y * 8, (x * y) & 0xff, 255));
    return img;
}

Bytes Written(const char* format, const QImage& img = Pattern(), int compression = -1) {
    if (!strcmp(format, "gif") || !strcmp(format, "tga")) {
        QImage rgba = img.convertToFormat(QImage::Format_RGBA8888);
        std::vector<uint8_t> out;
        bool ok = !strcmp(format, "gif") ? gif_Encode(rgba.constBits(), rgba.width(), rgba.height(), &out)
                                         : tga_Encode(rgba.constBits(), rgba.width(), rgba.height(), &out);
        EXPECT_TRUE(ok) << format;
        return Bytes(out.begin(), out.end());
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (compression >= 0) writer.setCompression(compression);
    EXPECT_TRUE(writer.write(img)) << format;
    return data.toStdString();
}

void Be16(Bytes& b, size_t at, uint32_t v) { b[at] = char(v >> 8), b[at + 1] = char(v); }
void Le16(Bytes& b, size_t at, uint32_t v) { b[at] = char(v), b[at + 1] = char(v >> 8); }
void Le24(Bytes& b, size_t at, uint32_t v) { Le16(b, at, v), b[at + 2] = char(v >> 16); }
void Le32(Bytes& b, size_t at, uint32_t v) { Le16(b, at, v), Le16(b, at + 2, v >> 16); }
unsigned U8(const Bytes& b, size_t at) { return uint8_t(b[at]); }
uint32_t GetLe16(const Bytes& b, size_t at) { return U8(b, at) | U8(b, at + 1) << 8; }
uint32_t GetLe32(const Bytes& b, size_t at) { return GetLe16(b, at) | GetLe16(b, at + 2) << 16; }

uint32_t Crc32(const char* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= uint8_t(p[i]);
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

// The file of the format with its header changed to declare w x h pixels; the pixel data stays
// that of the 40 x 30 picture.
Bytes Declaring(const std::string& format, uint32_t w, uint32_t h) {
    Bytes b = Written(format.c_str());
    if (format == "png") {
        for (int i = 0; i < 4; ++i) b[16 + i] = char(w >> (24 - 8 * i)), b[20 + i] = char(h >> (24 - 8 * i));
        uint32_t crc = Crc32(&b[12], 17);
        for (int i = 0; i < 4; ++i) b[29 + i] = char(crc >> (24 - 8 * i));
    } else if (format == "jpeg") {
        for (size_t p = 2; p + 9 < b.size();) {
            unsigned marker = U8(b, p + 1);
            if (marker >= 0xC0 && marker <= 0xC3) {
                Be16(b, p + 5, h), Be16(b, p + 7, w);
                break;
            }
            p += 2 + (U8(b, p + 2) << 8 | U8(b, p + 3));
        }
    } else if (format == "gif") {
        Le16(b, 6, w), Le16(b, 8, h);   // the logical screen and the image both
        size_t p = 13 + ((U8(b, 10) & 0x80) ? 3u << ((U8(b, 10) & 7) + 1) : 0);
        while (p < b.size() && U8(b, p) == 0x21) {
            p += 2;
            while (p < b.size() && U8(b, p)) p += U8(b, p) + 1;
            ++p;
        }
        EXPECT_EQ(U8(b, p), 0x2Cu);
        Le16(b, p + 5, w), Le16(b, p + 7, h);
    } else if (format == "tiff") {
        EXPECT_EQ(b.substr(0, 2), "II");
        size_t ifd = GetLe32(b, 4);
        for (uint32_t i = 0, n = GetLe16(b, ifd); i < n; ++i) {
            size_t e = ifd + 2 + 12 * i;
            uint32_t tag = GetLe16(b, e), type = GetLe16(b, e + 2), v = tag == 256 ? w : h;
            if (tag != 256 && tag != 257) continue;
            if (type == 3) Le16(b, e + 8, v);
            else Le32(b, e + 8, v);
        }
    } else if (format == "bmp") {
        Le32(b, 18, w), Le32(b, 22, h);
    } else if (format == "webp") {
        // Qt writes a plain lossy file; VP8X, the extended header, carries a 24-bit canvas size.
        EXPECT_EQ(b.substr(12, 4), "VP8 ");
        if (w <= 16383 && h <= 16383) {
            Le16(b, 26, w), Le16(b, 28, h);   // after the frame tag and the start code
        } else {
            Bytes x = "VP8X" + Bytes("\x0a\0\0\0", 4) + Bytes(10, '\0');
            Le24(x, 12, w - 1), Le24(x, 15, h - 1);
            b.insert(12, x);
            Le32(b, 4, uint32_t(b.size() - 8));
        }
    } else if (format == "tga") {
        Le16(b, 12, w), Le16(b, 14, h);
    }
    return b;
}

struct Lie {
    std::string name;
    Bytes bytes;
};

const char* const kFormats[] = {"png", "jpeg", "gif", "tiff", "bmp", "webp", "tga"};

// Every lie of every format: the two declared sizes, the ten cuts (nothing at all up to 90 %)
// and two garbled headers (everything after the signature inverted; the size fields zero).
std::vector<Lie> AllLies() {
    std::vector<Lie> out;
    for (const std::string f : kFormats) {
        out.push_back({f + " 65535x65535", Declaring(f, 65535, 65535)});
        // Just under the pixel limit (16383 x 6103 = 99,985,449 pixels) in a file of a few KB.
        out.push_back({f + " 16383x6103", Declaring(f, 16383, 6103)});
        const Bytes whole = Written(f.c_str());
        if (f == "gif") {
            // Qt's reader builds the logical screen, whatever the image inside it: a 40 x 30 image
            // on a screen of 35081 x 1023 (beyond the side limit) or 16000 x 6000 (within it).
            for (auto screen : {std::make_pair(35081u, 1023u), std::make_pair(16000u, 6000u)}) {
                Bytes b = whole;
                Le16(b, 6, screen.first), Le16(b, 8, screen.second);
                out.push_back({"gif screen " + std::to_string(screen.first) + "x" + std::to_string(screen.second), b});
            }
            // A screen 0 wide and 30000 high with the image 3000 pixels from the left: the
            // reader takes the width from the image's far edge and keeps the height (a
            // fuzzer's find).
            Bytes b = whole;
            Le16(b, 6, 0), Le16(b, 8, 30000);
            const size_t image = b.find(',', 13 + (size_t(b[10] & 0x80 ? 3 : 0) << ((b[10] & 7) + 1)));
            Le16(b, image + 1, 3000);
            out.push_back({"gif screen 0x30000, image at x 3000", b});
        }
        for (int tenth = 0; tenth < 10; ++tenth)
            out.push_back({f + " cut at " + std::to_string(tenth * 10) + " %", whole.substr(0, whole.size() * tenth / 10)});
        Bytes garbled = whole;
        size_t keep = f == "png" ? 8 : f == "tga" ? 0 : f == "webp" ? 12 : 2;
        for (size_t i = keep; i < std::min<size_t>(garbled.size(), 64); ++i) garbled[i] = char(~garbled[i]);
        out.push_back({f + " garbled header", garbled});
        out.push_back({f + " zero size", Declaring(f, 0, 0)});
    }
    return out;
}

int LayerCount() {
    int n = 0;
    for (int s = kFirstLayer; s <= kLastLayer; ++s) n += texImages[s].texture != 0;
    return n;
}

// The growth of the address space while work runs, in KB, measured in a forked copy of this
// process (which starts with its peak at its size): it counts memory that was allocated but
// never touched, which the resident peak does not see. -1 when the copy failed or took longer
// than 10 s.
long AllocationPeakKB(const std::function<void()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        alarm(10);
        long before = 0, after = 0;
        auto peak = [] {
            std::ifstream status("/proc/self/status");
            std::string line;
            while (std::getline(status, line))
                if (line.rfind("VmPeak:", 0) == 0) return atol(line.c_str() + 7);
            return 0L;
        };
        before = peak();
        work();
        after = peak();
        long delta = after - before;
        ssize_t ignored = write(fds[1], &delta, sizeof delta);
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    long delta = -1;
    if (pid < 0 || read(fds[0], &delta, sizeof delta) != sizeof delta) delta = -1;
    close(fds[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    return delta;
}

// A refusal takes well under a second; the sanitizer build runs the same code a few times slower.
#if defined(__SANITIZE_ADDRESS__)
const double kSecondsAllowed = 3.0;
#else
const double kSecondsAllowed = 1.0;
#endif

// Peak resident memory since the last Reset, in KB.
struct MemoryPeak {
    static long Field(const char* name) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind(name, 0) == 0) return atol(line.c_str() + strlen(name));
        return 0;
    }
    void Reset() {
        if (FILE* f = fopen("/proc/self/clear_refs", "w")) {
            fputs("5", f);
            fclose(f);
        }
        base = Field("VmRSS:");
    }
    long AboveBaseKB() const { return Field("VmHWM:") - base; }
    long base = 0;
};

class LyingPictures : public ::testing::Test {
protected:
    void SetUp() override {
        themes = StartOnTheSampleTheme();   // Alpha, header.jpg: 200 x 100
        dir = MakeTempDir("lying") + "/";
        memcpy(savedTemp, tempFolder, sizeof savedTemp);
        snprintf(tempFolder, sizeof tempFolder, "%s", (dir).c_str());
        lies = AllLies();
        // The readers and their plugins are loaded before anything is measured.
        for (const char* f : kFormats) {
            Put(dir + "warm", Written(f));
            unsigned char* p = LoadImage((dir + "warm").c_str(), &w, &h, &channels, &type);
            EXPECT_NE(p, nullptr) << f;
            free(p);
        }
    }
    void TearDown() override {
        memcpy(tempFolder, savedTemp, sizeof savedTemp);
        ResetProgramState();
        delete themes;
        ScriptedModals quiet;
        InitValues();
        ResetProgramState();
    }
    // Runs attempt on every lie, each within a second and 100 MB above the memory before it.
    void ForEveryLie(const char* route, const std::function<void(const Lie&)>& attempt) {
        double worstSeconds = 0;
        long worstKB = 0;
        std::string worstTime, worstMemory;
        for (const Lie& lie : lies) {
            MemoryPeak peak;
            peak.Reset();
            auto start = std::chrono::steady_clock::now();
            attempt(lie);
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            long kb = peak.AboveBaseKB();
            EXPECT_LT(seconds, kSecondsAllowed) << route << ": " << lie.name;
            EXPECT_LT(kb, 100 * 1024) << route << ": " << lie.name;
            if (seconds > worstSeconds) worstSeconds = seconds, worstTime = lie.name;
            if (kb > worstKB) worstKB = kb, worstMemory = lie.name;
            if (HasFatalFailure()) return;
        }
        printf("\n%s: %zu lies, slowest %.3f s (%s), most memory %ld KB (%s)\n", route, lies.size(), worstSeconds,
               worstTime.c_str(), worstKB, worstMemory.c_str());
    }
    ThemeFolder* themes = nullptr;
    std::string dir;
    std::vector<Lie> lies;
    char savedTemp[1024];
    long w = -1, h = -1;
    int channels = -1;
    unsigned long type = 0;
};

}  // namespace

TEST_F(LyingPictures, TheLoaderRefusesThemAll) {
    ForEveryLie("loader", [&](const Lie& lie) {
        Put(dir + "lie", lie.bytes);
        w = h = -1, channels = -1, type = 0;
        testing::internal::CaptureStdout();
        unsigned char* p = LoadImage((dir + "lie").c_str(), &w, &h, &channels, &type);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(p, nullptr) << lie.name;
        free(p);
        EXPECT_EQ(w, -1) << lie.name;
        EXPECT_EQ(type, 0u) << lie.name;
    });
    // The same lies once more for what they make the loader allocate, touched or not.
    long worst = 0;
    std::string worstName;
    for (const Lie& lie : lies) {
        Put(dir + "lie", lie.bytes);
        long kb = AllocationPeakKB([&] {
            long cw, ch;
            int cc;
            unsigned long ct;
            free(LoadImage((dir + "lie").c_str(), &cw, &ch, &cc, &ct));
        });
        ASSERT_GE(kb, 0) << lie.name;
        EXPECT_LT(kb, 100 * 1024) << "allocated by " << lie.name;
        if (kb > worst) worst = kb, worstName = lie.name;
    }
    printf("\nloader: largest allocation peak %ld KB (%s)\n", worst, worstName.c_str());
}

TEST_F(LyingPictures, ADroppedLieMakesNoLayer) {
    ForEveryLie("dropped layer", [&](const Lie& lie) {
        std::string path = dir + "dropped.png";
        Put(path, lie.bytes);
        ScriptedModals answers;
        testing::internal::CaptureStdout();
        plat_SimulateDrop(window, {path}, 50, 50);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(texImages[1].texture, 0u) << lie.name;
        ASSERT_EQ(answers.requests.size(), 1u) << lie.name;
        EXPECT_EQ(answers.requests[0].message, "Invalid image format") << lie.name;
    });
}

// The picture popup's preview decodes the theme picture shrunk; choosing it loads it whole.
TEST_F(LyingPictures, ALyingThemePictureIsNeitherPreviewedNorLoaded) {
    const std::string picture = themes->root + "Alpha.pagewrighttheme/Contents/Images/Editable_Images/logo.png";
    ForEveryLie("theme picture", [&](const Lie& lie) {
        Put(picture, lie.bytes);
        uint8_t* rgba = nullptr;
        int fw = 0, fh = 0, full[2] = {0, 0};
        int status = plat_DecodeImageFit(picture.c_str(), kMaxImagePixels, 160, 120, &rgba, &fw, &fh, &full[0],
                                         &full[1]);
        EXPECT_NE(status, noErr) << lie.name;
        free(rgba);
        util_SetControl(dialog, kPicturePopup, 2);
        ScriptedModals answers;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(HandlePictureChange(true));
        testing::internal::GetCapturedStdout();
        EXPECT_STREQ(currentPicture, "Editable_Images/logo.png");
        EXPECT_EQ(texImages[0].texture, 0u) << lie.name;
    });
}

// A project whose one picture layer carries the lie instead of its picture: importing it puts
// none of it on the canvas.
TEST_F(LyingPictures, ALieInsideAProjectLoadsNoLayer) {
    const Bytes real = Written("png");
    Put(dir + "layer.png", real);
    ASSERT_TRUE(LoadTexture((dir + "layer.png").c_str(), -1, true, false));
    currProjectSaved = true;
    SaveProject((dir + "real.vntr").c_str());
    DeleteTextures(1);
    const Bytes project = Get(dir + "real.vntr");
    // The component is the last thing in the file, after its 32-bit length.
    ASSERT_GT(project.size(), real.size() + 4);
    const size_t at = project.size() - real.size();
    ASSERT_EQ(project.substr(at), real);
    ASSERT_EQ(GetLe32(project, at - 4), real.size());
    ForEveryLie("inside a project", [&](const Lie& lie) {
        Bytes p = project.substr(0, at) + lie.bytes;
        Le32(p, at - 4, uint32_t(lie.bytes.size()));
        Put(dir + "lie.vntr", p);
        ScriptedModals answers;
        testing::internal::CaptureStdout();
        LoadProject((dir + "lie.vntr").c_str(), false);
        testing::internal::GetCapturedStdout();
        // When no layer loads, the program adds the picture itself as a layer (its rule for a
        // project without layers); nothing of the lie is on the canvas.
        EXPECT_LE(LayerCount(), 1) << lie.name;
        for (int s = kFirstLayer; s <= kLastLayer; ++s) {
            if (!texImages[s].texture) continue;
            EXPECT_STRNE(texImages[s].path, (dir + "layer.png").c_str()) << lie.name;
            EXPECT_EQ(texImages[s].texWidth, 200) << lie.name;
            EXPECT_EQ(texImages[s].texHeight, 100) << lie.name;
        }
        DeleteTextures(1);
        EXPECT_TRUE(answers.requests.empty()) << lie.name;
    });
}

// The checks on the declared size stay below what the codings can really do: one-colour
// pictures, which every coder compresses best, load in every format (WebP above the size where
// it is decoded shrunk first; TIFF with LZW, Qt's compression 1).
TEST_F(LyingPictures, RealPicturesThatCompressBestStillLoad) {
    for (const std::string f : kFormats) {
        const int side = f == "webp" ? 4100 : 1200;
        QImage img(side, side, QImage::Format_ARGB32);
        img.fill(qRgba(30, 120, 200, 255));
        const Bytes bytes = Written(f.c_str(), img, f == "tiff" ? 1 : -1);
        Put(dir + "flat", bytes);
        w = h = -1;
        testing::internal::CaptureStdout();
        unsigned char* p = LoadImage((dir + "flat").c_str(), &w, &h, &channels, &type);
        testing::internal::GetCapturedStdout();
        EXPECT_NE(p, nullptr) << f << ", " << bytes.size() << " bytes";
        EXPECT_EQ(w, side) << f;
        free(p);
        printf("\n%s %dx%d in %zu bytes: %s\n", f.c_str(), side, side, bytes.size(), w == side ? "loads" : "refused");
    }
}
