// vintrel_bench.cpp - timings of the picture pipeline on the running program: reading large
// pictures, and exporting a 1920 x 1080 picture with 10 and with 98 layers (shadows and frames on
// half of them) to PNG and JPEG, and browsing a picture popup of 30 such JPEGs in the preview
// window. Prints one "name: median ms" line per figure.
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
#include "compositor.h"
#include "layer_table.h"
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

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/vintrel-bench-XXXXXX";
    gDir = mkdtemp(tmpl);
    setenv("HOME", gDir.c_str(), 1);
    setenv("XDG_DATA_HOME", (gDir + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (gDir + "/config").c_str(), 1);
    setenv("TMPDIR", gDir.c_str(), 1);
    setenv("VINTREL_SCRIPTED_MODALS", "1", 1);
    plat_Init(argc, argv);
    Quiet(true);
    int status = StartUp();
    Quiet(false);
    if (status != kStartedUp) {
        fprintf(stderr, "start-up failed with %d\n", status);
        return 1;
    }
    std::string bigJpeg = Picture("big.jpg", 4000, 3000, false);
    std::string bigPng = Picture("big.png", 4000, 3000, false);
    std::string base = Picture("base.png", 1920, 1080, false);
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
    std::string cmd = "rm -rf '" + gDir + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", gDir.c_str());
    return 0;
}
