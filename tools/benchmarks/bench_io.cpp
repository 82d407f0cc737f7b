// bench_io.cpp - picture file input and output beside libvips, in one process: LoadImage of a
// 4000 x 3000 JPEG and PNG against libvips decoding the same files into memory, and QTSave of a
// 4000 x 3000 PNG against libvips writing the same pixels with the same zlib level. libvips runs
// with its operation cache off and 2 threads. Prints "name: ours ms, libvips ms, ratio" lines
// (medians of 7), the sizes of the PNG files written, and a note when a decode differs.
// Built without libvips, it prints our figures only.
// glib's headers use names that Qt's keywords macros take: libvips comes first.
#ifdef VINTREL_HAVE_VIPS
#include <vips/vips.h>
#endif

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench_common.h"
#include "picture_files.h"
#include "platform.h"

namespace {

const int kRuns = 7;
std::string gDir;

double Ms(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Medians of kRuns runs of ours and of theirs (if given), taken in turns so that a change in the
// machine's load falls on both sides alike.
void Medians(const std::function<void()>& ours, const std::function<void()>& theirs, double* a, double* b) {
    std::vector<double> x, y;
    for (int i = 0; i < kRuns; ++i) {
        x.push_back(Ms(ours));
        if (theirs) y.push_back(Ms(theirs));
    }
    std::sort(x.begin(), x.end());
    std::sort(y.begin(), y.end());
    *a = x[x.size() / 2];
    *b = y.empty() ? 0 : y[y.size() / 2];
}

// The same photo-like test picture as vintrel_bench: a gradient with rings.
QImage Picture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(30, 90, 160));
    g.setColorAt(1, QColor(240, 180, 60));
    p.fillRect(img.rect(), g);
    p.setPen(Qt::white);
    for (int i = 0; i < 40; ++i) p.drawEllipse(QPoint((i * 97) % w, (i * 53) % h), w / 12, h / 12);
    p.end();
    return img;
}

long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

// Our decode with the diagnostics out of the way.
std::vector<uint8_t> Ours(const std::string& path) {
    long w = 0, h = 0;
    int c;
    unsigned long type;
    fflush(stdout);
    int saved = dup(1);
    FILE* devnull = freopen("/dev/null", "w", stdout);
    (void)devnull;
    unsigned char* p = LoadImage(path.c_str(), &w, &h, &c, &type);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::vector<uint8_t> out;
    if (p) out.assign(p, p + w * h * 4);
    free(p);
    return out;
}

void Row(const char* name, double ours, double theirs) {
    if (theirs > 0)
        printf("%s: %.1f ms, libvips %.1f ms, ratio %.2f\n", name, ours, theirs, ours / theirs);
    else
        printf("%s: %.1f ms, libvips not built in\n", name, ours);
}

#ifdef VINTREL_HAVE_VIPS
// libvips decoding the file into memory, as R,G,B,A bytes.
std::vector<uint8_t> Theirs(const std::string& path) {
    std::vector<uint8_t> out;
    VipsImage* img = vips_image_new_from_file(path.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, NULL);
    if (!img) return out;
    size_t size = 0;
    void* mem = vips_image_write_to_memory(img, &size);
    if (mem) {
        const uint8_t* s = static_cast<const uint8_t*>(mem);
        int bands = img->Bands;
        size_t n = size_t(img->Xsize) * img->Ysize;
        out.resize(n * 4);
        for (size_t i = 0; i < n; ++i)
            for (int k = 0; k < 4; ++k) out[i * 4 + k] = k < bands ? s[i * bands + k] : k == 3 ? 255 : s[i * bands];
    }
    g_free(mem);
    g_object_unref(img);
    return out;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    UseTheProgramsThreadPolicy(argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    char tmpl[] = "/tmp/vintrel-bench-io-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    gDir = tmpl;
#ifdef VINTREL_HAVE_VIPS
    if (VIPS_INIT(argv[0])) return 1;
    vips_cache_set_max(0);
    vips_concurrency_set(2);
#else
    printf("note: built without libvips (libvips-dev); its figures are left out\n");
#endif
    QImage picture = Picture(4000, 3000);
    const std::string jpeg = gDir + "/big.jpg", png = gDir + "/big.png";
    picture.save(QString::fromStdString(jpeg), "JPEG", 90);
    picture.save(QString::fromStdString(png), "PNG");

    for (const std::string* path : {&jpeg, &png}) {
        std::string name = std::string("LoadImage 4000x3000 ") + (path == &jpeg ? "JPEG" : "PNG");
        double ours = 0, theirs = 0;
        std::function<void()> vips;
#ifdef VINTREL_HAVE_VIPS
        vips = [&] { Theirs(*path); };
#endif
        Medians([&] { Ours(*path); }, vips, &ours, &theirs);
#ifdef VINTREL_HAVE_VIPS
        if (Ours(*path) != Theirs(*path)) printf("note: %s: our pixels differ from libvips's\n", name.c_str());
#endif
        Row(name.c_str(), ours, theirs);
    }

    // Writing: the decoded picture in the writer form (A,R,G,B), half of it see-through so the
    // file keeps its alpha channel.
    std::vector<uint8_t> rgba = Ours(png), argb(rgba.size());
    for (size_t i = 0; i < rgba.size(); i += 4) {
        uint8_t a = (i / 4) % 4000 < 2000 ? 255 : uint8_t((i / 16) & 255);
        argb[i] = a, argb[i + 1] = rgba[i], argb[i + 2] = rgba[i + 1], argb[i + 3] = rgba[i + 2];
        rgba[i + 3] = a;
    }
    const std::string ourPng = gDir + "/ours.png", theirPng = gDir + "/theirs.png";
    auto save = [&] {
        fflush(stdout);
        int saved = dup(1);
        FILE* devnull = freopen("/dev/null", "w", stdout);
        (void)devnull;
        QTSave(ourPng.c_str(), argb.data(), 4000, 3000, plat_CodeFromText("PNGf"));
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
    };
    double ours = 0, theirs = 0;
#ifdef VINTREL_HAVE_VIPS
    VipsImage* img = vips_image_new_from_memory(rgba.data(), rgba.size(), 4000, 3000, 4, VIPS_FORMAT_UCHAR);
    Medians(save, [&] {
        vips_pngsave(img, theirPng.c_str(), "compression", 6, "filter", VIPS_FOREIGN_PNG_FILTER_ALL, NULL);
    }, &ours, &theirs);
    g_object_unref(img);
#else
    Medians(save, nullptr, &ours, &theirs);
#endif
    Row("QTSave 4000x3000 PNG", ours, theirs);
    printf("PNG file sizes: ours %ld bytes, libvips %ld bytes\n", FileSize(ourPng), FileSize(theirPng));
    if (Ours(ourPng) != std::vector<uint8_t>(rgba.begin(), rgba.end()))
        printf("note: the written PNG does not decode to the pixels given\n");

    if (getenv("VINTREL_BENCH_KEEP")) return 0;   // leaves the pictures for a look
    std::string cmd = "rm -rf '" + gDir + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", gDir.c_str());
    return 0;
}
