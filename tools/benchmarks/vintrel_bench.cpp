// vintrel_bench.cpp - timings of the picture pipeline on the running program: reading large
// pictures, and exporting a 1920 x 1080 picture with 10 and with 98 layers (shadows and frames on
// half of them) to PNG and JPEG, and live video from the test pattern into a 640 x 480 layer over
// a 1920 x 1080 picture. Prints one "name: value unit" line per figure. With the argument "live"
// only the live-video figures are printed. Browsing a picture popup of 30 large JPEGs in the
// preview window is timed too.
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
#include <string>
#include <vector>
#include <unistd.h>

#include "app_main.h"
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

void Quiet(bool on) {
    static int saved = -1;
    fflush(stdout);
    if (on) {
        saved = dup(1);
        FILE* devnull = freopen("/dev/null", "w", stdout);
        (void)devnull;
    } else if (saved >= 0) {
        dup2(saved, 1);
        close(saved);
        saved = -1;
    }
}

void Stack(const std::string& base, const std::string& layer, int layers) {
    DeleteTextures(0);
    LoadTexture(base.c_str(), -1, false, false);
    for (int i = 0; i < layers; ++i) {
        if (!LoadTexture(layer.c_str(), -1, false, false)) break;
        TexImage& t = texImages[currentLayer];
        t.posX = t.originX = (i * 173) % 1700;
        t.posY = t.originY = (i * 89) % 900;
        t.rotZ = (i * 7) % 60 - 30;
        t.alpha = 0.8f;
        t.shadow = t.frame = (i % 2) == 0;
    }
}

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
    char tmpl[] = "/tmp/vintrel-bench-XXXXXX";
    gDir = mkdtemp(tmpl);
    setenv("HOME", gDir.c_str(), 1);
    setenv("XDG_DATA_HOME", (gDir + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (gDir + "/config").c_str(), 1);
    setenv("TMPDIR", gDir.c_str(), 1);
    setenv("VINTREL_SCRIPTED_MODALS", "1", 1);
    const bool liveOnly = argc > 1 && std::string(argv[1]) == "live";
    plat_Init(1, argv);
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
    std::string bigJpeg = Picture("big.jpg", 4000, 3000, false);
    std::string bigPng = Picture("big.png", 4000, 3000, false);
    std::string layer = Picture("layer.png", 300, 200, true);

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
    printf("LoadImage 4000x3000 JPEG: %.1f ms\n", MedianMs(5, load(bigJpeg)));
    printf("LoadImage 4000x3000 PNG: %.1f ms\n", MedianMs(5, load(bigPng)));

    for (int layers : {10, 98}) {
        Quiet(true);
        Stack(base, layer, layers);
        Quiet(false);
        for (const char* type : {"PNGf", "JPEG"}) {
            std::string out = gDir + "/export." + (type[0] == 'P' ? "png" : "jpg");
            double ms = MedianMs(3, [&] {
                Quiet(true);
                SaveImage(out.c_str(), 1920, 1080, plat_CodeFromText(type));
                Quiet(false);
            });
            printf("export 1920x1080, %d layers, %s: %.1f ms\n", layers, type[0] == 'P' ? "PNG" : "JPEG", ms);
        }
        double redraw = MedianMs(5, [] { RenderImages(true, -1.0f); });
        printf("redraw of the canvas, %d layers: %.1f ms\n", layers, redraw);
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
