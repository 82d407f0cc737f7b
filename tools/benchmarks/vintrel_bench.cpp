// vintrel_bench.cpp - timings of the picture pipeline on the running program: reading large
// pictures, and exporting a 1920 x 1080 picture with 10 and with 98 layers (shadows and frames on
// half of them) to PNG and JPEG, and live video from the test pattern into a 640 x 480 layer over
// a 1920 x 1080 picture. Prints one "name: value unit" line per figure. With the argument "live"
// only the live-video figures are printed, with "export" only the export and redraw figures. Browsing a picture popup of 30 large JPEGs in the
// preview window is timed too.
//
// The exports are timed beside libvips where it is built in: libvips composites the same layers
// (same sizes, places, rotations and opacity, frames as a border, shadows as a blurred offset
// copy of the alpha) onto the same base and writes the same format with the same settings (PNG
// zlib level 6 with adaptive filters, JPEG quality 75 with 4:2:0 chroma), cache off, 2 threads.
// Both sides are timed in turns, median of 7, up to the written file; the canvas redraw after an
// export is a figure of its own. The export rows read "name: ours ms, libvips ms, ratio".
// glib's headers use names that Qt's keywords macros take: libvips comes first.
#ifdef VINTREL_HAVE_VIPS
#include <vips/vips.h>
#endif

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <cmath>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>

#include "app_main.h"
#include "bench_common.h"
#include "app_state.h"
#include "ids.h"
#include "canvas_window.h"
#include "compositor.h"
#include "gl_context.h"
#include "layer_table.h"
#include "live_capture.h"
#include "live_video.h"
#include "picture_files.h"
#include "platform.h"
#include "preview_window.h"
#include "textures.h"
#include "theme_library.h"

namespace {

std::string gDir;

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

std::string Picture(const char* name, int w, int h, bool alpha) {
    QImage img(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(30, 90, 160, alpha ? 200 : 255));
    g.setColorAt(1, QColor(240, 180, 60, 255));
    p.fillRect(img.rect(), g);
    p.setPen(Qt::white);
    for (int i = 0; i < 40; ++i) p.drawEllipse(QPoint((i * 97) % w, (i * 53) % h), w / 12, h / 12);
    p.end();
    std::string path = gDir + "/" + name;
    img.save(QString::fromStdString(path), nullptr, 90);
    return path;
}

// The place, turn, opacity and effects of layer i of the benchmark stack.
struct LayerPlace {
    int x, y, degrees;
    float alpha;
    bool effects;   // shadow and frame
};
LayerPlace PlaceOf(int i) { return {(i * 173) % 1700, (i * 89) % 900, (i * 7) % 60 - 30, 0.8f, (i % 2) == 0}; }

void Stack(const std::string& base, const std::string& layer, int layers) {
    DeleteTextures(0);
    LoadTexture(base.c_str(), -1, false, false);
    for (int i = 0; i < layers; ++i) {
        if (!LoadTexture(layer.c_str(), -1, false, false)) break;
        TexImage& t = texImages[currentLayer];
        LayerPlace p = PlaceOf(i);
        t.posX = t.originX = p.x;
        t.posY = t.originY = p.y;
        t.rotZ = p.degrees;
        t.alpha = p.alpha;
        t.shadow = t.frame = p.effects;
    }
}

long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

// A picture file decoded into the layer form (R,G,B,A, top row first).
std::vector<uint8_t> Decoded(const std::string& path, int* width, int* height) {
    long w = 0, h = 0;
    int c;
    unsigned long type;
    Quiet(true);
    unsigned char* p = LoadImage(path.c_str(), &w, &h, &c, &type);
    Quiet(false);
    std::vector<uint8_t> out;
    if (p) out.assign(p, p + w * h * 4);
    free(p);
    *width = int(w);
    *height = int(h);
    return out;
}

#ifdef VINTREL_HAVE_VIPS
// The benchmark stack composited and written by libvips: every layer framed (a border of the
// frame colour), faded, turned about its centre, with a shadow (its alpha blurred, darkened and
// offset like ours) under it, all composited over the base in one operation. false on failure.
bool VipsExport(const std::vector<uint8_t>& base, int bw, int bh, const std::vector<uint8_t>& layer, int lw,
                int lh, int layers, bool png, const std::string& out) {
    const TexImage defaults = [] {
        TexImage t{};
        t.shadowAngle = 45.0f, t.shadowOffset = 10.0f, t.shadowDarkness = 20.0f, t.frameSize = 7;
        t.frameColorR = 0.95f;
        return t;
    }();
    VipsObject* scope = VIPS_OBJECT(vips_image_new());   // owns every intermediate image
    auto keep = [scope](VipsImage* img) {
        vips_object_local(scope, img);
        return img;
    };
    // Memory images are plain bands: they are told they hold sRGB with alpha.
    auto srgb = [&keep](VipsImage* img) {
        VipsImage* t = nullptr;
        if (!img || vips_copy(keep(img), &t, "interpretation", VIPS_INTERPRETATION_sRGB, NULL)) return (VipsImage*)nullptr;
        return keep(t);
    };
    std::vector<VipsImage*> in{srgb(vips_image_new_from_memory(base.data(), base.size(), bw, bh, 4, VIPS_FORMAT_UCHAR))};
    std::vector<int> xs, ys;
    VipsImage* src = srgb(vips_image_new_from_memory(layer.data(), layer.size(), lw, lh, 4, VIPS_FORMAT_UCHAR));
    bool ok = in[0] && src;
    for (int i = 0; i < layers && ok; ++i) {
        LayerPlace p = PlaceOf(i);
        VipsImage *img = src, *t = nullptr;
        int f = p.effects ? defaults.frameSize : 0;
        if (f) {
            double frame = 255.0 * defaults.frameColorR, colour[4] = {frame, frame, frame, 255.0};
            ok = ok && !vips_embed(img, &t, f, f, lw + 2 * f, lh + 2 * f, "extend", VIPS_EXTEND_BACKGROUND,
                                   "background", vips_array_double_new(colour, 4), NULL);
            img = keep(t);
        }
        double scale[4] = {1, 1, 1, p.alpha}, offset[4] = {0, 0, 0, 0};
        ok = ok && !vips_linear(img, &t, scale, offset, 4, "uchar", TRUE, NULL);
        img = keep(t);
        ok = ok && !vips_rotate(img, &t, double(p.degrees), NULL);
        img = keep(t);
        // The turned picture is larger; its centre stays the layer's centre.
        int x = p.x + lw / 2 - img->Xsize / 2, y = p.y + lh / 2 - img->Ysize / 2;
        if (p.effects) {
            // 20 passes of strength 0.05 give about 1 - 0.95^20 of coverage in the middle.
            VipsImage *alpha = nullptr, *blurred = nullptr, *dark = nullptr, *black = nullptr, *shadow = nullptr;
            double strength = 1.0 - std::pow(1.0 - defaults.shadowDarkness / 400.0, 20.0);
            ok = ok && !vips_extract_band(img, &alpha, 3, NULL) && !vips_gaussblur(keep(alpha), &blurred, 3.0, NULL) &&
                 !vips_linear1(keep(blurred), &dark, strength, 0.0, "uchar", TRUE, NULL) &&
                 !vips_black(&black, img->Xsize, img->Ysize, "bands", 3, NULL) &&
                 !vips_bandjoin2(keep(black), keep(dark), &shadow, NULL);
            if (!ok) break;
            VipsImage* cast = nullptr;
            ok = !vips_cast_uchar(keep(shadow), &cast, NULL);
            VipsImage* tagged = ok ? srgb(cast) : nullptr;
            ok = tagged != nullptr;
            in.push_back(tagged);
            double theta = double(defaults.shadowAngle) * 3.14159265359 / 180.0;
            xs.push_back(x + int(std::lround(std::cos(theta) * defaults.shadowOffset)));
            ys.push_back(y + int(std::lround(std::sin(theta) * defaults.shadowOffset)));
        }
        in.push_back(img);
        xs.push_back(x);
        ys.push_back(y);
    }
    VipsImage *flat = nullptr, *rgb = nullptr;
    if (ok) {
        std::vector<int> modes(in.size() - 1, VIPS_BLEND_MODE_OVER);
        ok = !vips_composite(in.data(), &flat, int(in.size()), modes.data(), "x", vips_array_int_new(xs.data(), int(xs.size())),
                             "y", vips_array_int_new(ys.data(), int(ys.size())), NULL);
    }
    // The base is opaque, so the composite is: both sides write it without an alpha channel.
    if (ok) ok = !vips_extract_band(keep(flat), &rgb, 0, "n", 3, NULL);
    if (ok) {
        keep(rgb);
        VipsImage* bytes = nullptr;
        ok = !vips_cast_uchar(rgb, &bytes, NULL);
        if (ok && png)
            ok = !vips_pngsave(keep(bytes), out.c_str(), "compression", 6, "filter", VIPS_FOREIGN_PNG_FILTER_ALL, NULL);
        else if (ok)
            ok = !vips_jpegsave(keep(bytes), out.c_str(), "Q", 75, "subsample_mode", VIPS_FOREIGN_SUBSAMPLE_ON, NULL);
    }
    g_object_unref(scope);
    return ok;
}
#endif

std::vector<double> gFrameCosts;

// Times the program's own frame procedure (conversion, scaling and upload into the live texture).
int TimedDataProc(CameraRef camera, CameraFrameRef frame, void* userData) {
    auto start = std::chrono::steady_clock::now();
    int status = LiveDataProc(camera, frame, userData);
    glFinish();
    gFrameCosts.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    return status;
}

// Frames per second that reach the canvas from the test pattern into a 640 x 480 live layer over a
// 1920 x 1080 picture while the canvas redraws; then the cost of one frame on its own.
void LiveBench(const std::string& base) {
    setenv("VINTREL_CAMERA", "test-pattern", 1);
    Quiet(true);
    DeleteTextures(0);
    LoadTexture(base.c_str(), -1, false, false);
    std::vector<uint8_t> grey(640 * 480 * 4, 128);
    NewTexture(-1, grey.data(), 640, 480, "live");
    TexImage& t = texImages[currentLayer];
    t.live = true;
    t.posX = t.originX = (1920 - 640) / 2;
    t.posY = t.originY = (1080 - 480) / 2;
    long w = t.width, h = t.height;
    int c = t.channels;
    _cLive = new cLive(window, glContext, t.texture, w, h, c, 0.002f);
    Quiet(false);
    if (!_cLive->active) {
        fprintf(stderr, "live video: the test pattern did not start\n");
        return;
    }
    plat_ProcessEvents(300);   // first frame, scaler made
    unsigned long before = liveFramesShown;
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) plat_ProcessEvents(5);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("live video 640x480 over 1920x1080, frames reaching the canvas: %.1f fps (test pattern sends 60)\n",
           double(liveFramesShown - before) / seconds);

    // The same frames without the redraw: the capture's timer stops, a second test pattern feeds
    // the program's frame procedure directly.
    plat_RemoveEventLoopTimer(_cLive->timer);
    _cLive->timer = nullptr;
    char reason[128];
    CameraRef bench = plat_OpenCamera(TimedDataProc, nullptr, reason, sizeof reason);
    start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
        plat_ProcessEvents(2);
        plat_CameraIdle(bench);
    }
    plat_CloseCamera(bench);
    std::sort(gFrameCosts.begin(), gFrameCosts.end());
    if (!gFrameCosts.empty())
        printf("live video frame 1280x720 YUYV to 640x480 texture (conversion + scale + upload): %.2f ms (median of %zu)\n",
               gFrameCosts[gFrameCosts.size() / 2], gFrameCosts.size());
    double redraw = MedianMs(9, [] { RenderImages(true, -1.0f); });
    printf("live video redraw of the canvas: %.1f ms\n", redraw);
    StopLiveCapture();
}

}  // namespace

int main(int argc, char** argv) {
    UseTheProgramsThreadPolicy(argv);
    char tmpl[] = "/tmp/vintrel-bench-XXXXXX";
    gDir = mkdtemp(tmpl);
    setenv("HOME", gDir.c_str(), 1);
    setenv("XDG_DATA_HOME", (gDir + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (gDir + "/config").c_str(), 1);
    setenv("TMPDIR", gDir.c_str(), 1);
    setenv("VINTREL_SCRIPTED_MODALS", "1", 1);
    const bool liveOnly = argc > 1 && std::string(argv[1]) == "live";
    const bool exportOnly = argc > 1 && std::string(argv[1]) == "export";
    plat_Init(1, argv);
#ifdef VINTREL_HAVE_VIPS
    if (VIPS_INIT(argv[0])) return 1;
    vips_cache_set_max(0);
    vips_concurrency_set(2);
#else
    printf("note: built without libvips (libvips-dev); its figures are left out\n");
#endif
    Quiet(true);
    int status = StartUp();
    Quiet(false);
    if (status != kStartedUp) {
        fprintf(stderr, "start-up failed with %d\n", status);
        return 1;
    }
    std::string base = Picture("base.png", 1920, 1080, false);
    if (liveOnly) {
        LiveBench(base);
        std::string cmd = "rm -rf '" + gDir + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", gDir.c_str());
        return 0;
    }
    std::string layer = Picture("layer.png", 300, 200, true);
    std::string bigJpeg, bigPng;
    if (!exportOnly) {
        bigJpeg = Picture("big.jpg", 4000, 3000, false);
        bigPng = Picture("big.png", 4000, 3000, false);
    }

    auto load = [](const std::string& path) {
        return [path] {
            long w, h;
            int c;
            unsigned long type;
            Quiet(true);
            free(LoadImage(path.c_str(), &w, &h, &c, &type));
            Quiet(false);
        };
    };
    if (!exportOnly) {
        printf("LoadImage 4000x3000 JPEG: %.1f ms\n", MedianMs(5, load(bigJpeg)));
        printf("LoadImage 4000x3000 PNG: %.1f ms\n", MedianMs(5, load(bigPng)));
    }

    int bw = 0, bh = 0, lw = 0, lh = 0;
    std::vector<uint8_t> basePixels = Decoded(base, &bw, &bh), layerPixels = Decoded(layer, &lw, &lh);
    for (int layers : {10, 98}) {
        Quiet(true);
        Stack(base, layer, layers);
        Quiet(false);
        for (const char* type : {"PNGf", "JPEG"}) {
            const bool png = type[0] == 'P';
            std::string out = gDir + "/export." + (png ? "png" : "jpg"), theirs = gDir + "/vips." + (png ? "png" : "jpg");
            // Ours up to the written file, then theirs, in turns.
            std::vector<double> a, b;
            for (int run = 0; run < 7; ++run) {
                a.push_back(MedianMs(1, [&] {
                    Quiet(true);
                    WriteComposite(out.c_str(), 1920, 1080, plat_CodeFromText(type));
                    Quiet(false);
                }));
#ifdef VINTREL_HAVE_VIPS
                b.push_back(MedianMs(1, [&] {
                    if (!VipsExport(basePixels, bw, bh, layerPixels, lw, lh, layers, png, theirs))
                        fprintf(stderr, "libvips export failed: %s\n", vips_error_buffer());
                }));
#endif
                RenderImages(true, -1.0f);
            }
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            char name[64];
            snprintf(name, sizeof name, "export 1920x1080, %d layers, %s", layers, png ? "PNG" : "JPEG");
            if (b.empty())
                printf("%s: %.1f ms, libvips not built in\n", name, a[3]);
            else
                printf("%s: %.1f ms, libvips %.1f ms, ratio %.2f\n", name, a[3], b[3], a[3] / b[3]);
            if (png) printf("PNG export file size, %d layers: ours %ld bytes, libvips %ld bytes\n", layers, FileSize(out), FileSize(theirs));
        }
        double redraw = MedianMs(5, [] { RenderImages(true, -1.0f); });
        printf("redraw of the canvas, %d layers: %.1f ms\n", layers, redraw);
    }
    if (exportOnly) {
        if (getenv("VINTREL_BENCH_KEEP")) return 0;   // leaves the exported files for a look
        std::string cmd = "rm -rf '" + gDir + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", gDir.c_str());
        return 0;
    }
    // Browsing the picture popup: each highlighted picture is shown in the preview window; the
    // first pass decodes each picture (at the window's size), the second finds it decoded.
    {
        std::string images = gDir + "/themes/Bench.pagewrighttheme/Contents/Images/";
        QDir().mkpath(QString::fromStdString(images));
        std::vector<std::string> names;
        for (int i = 1; i <= 30; ++i) {
            names.push_back("p" + std::to_string(i) + ".jpg");
            QFile::copy(QString::fromStdString(bigJpeg), QString::fromStdString(images + names.back()));
        }
        snprintf(themeFolder, sizeof themeFolder, "%s/themes/", gDir.c_str());
        snprintf(currentTheme, sizeof currentTheme, "Bench");
        allThemes = 1;
        kickStart = false;
        Quiet(true);
        CreatePreview(kPicturePopup);
        Quiet(false);
        for (const char* pass : {"first", "again"}) {
            std::vector<double> t;
            for (size_t i = 0; i < names.size(); ++i) {
                Quiet(true);
                t.push_back(MedianMs(1, [&] { ShowPreview(int(i) + 1, names[i].c_str()); }));
                Quiet(false);
            }
            std::sort(t.begin(), t.end());
            printf("preview of a highlighted 4000x3000 JPEG (30 items, %s): %.1f ms (slowest %.1f ms)\n", pass,
                   t[t.size() / 2], t.back());
        }
        DestroyPreview();
    }
    LiveBench(base);
    std::string cmd = "rm -rf '" + gDir + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", gDir.c_str());
    return 0;
}
