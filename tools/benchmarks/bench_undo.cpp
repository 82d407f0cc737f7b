// bench_undo.cpp - undo and redo on the running program: 98 layers over a 1920 x 1080 picture
// (97 of 640 x 360 and a 1920 x 1080 one on top, the one edited), and a move, a hue change and a
// crop of the top layer, each done as a person does it (through the application handler), then
// undone and redone. The program's work is timed without the redraw (finished on the GPU side by
// glFinish); the redraw that follows it is timed apart. Prints "name: value unit" lines.
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <GL/gl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>
#include <unistd.h>

#include "app_main.h"
#include "bench_common.h"
#include "app_state.h"
#include "canvas_window.h"
#include "compositor.h"
#include "gl_context.h"
#include "history.h"
#include "layer_table.h"
#include "platform.h"
#include "snap_crop.h"
#include "textures.h"
#include "tools_window.h"
#include "util_controls.h"

namespace {

std::string gDir;
const int kRuns = 11;

// Wall time of work, from an idle GL pipeline to the end of the GL work it queued, and the main
// thread's processor time over the same span (which other processes on the machine do not slow).
struct Timing {
    double wall, cpu;
};
double ThreadCpuMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
Timing Ms(const std::function<void()>& work) {
    glFinish();
    double cpu = ThreadCpuMs();
    auto start = std::chrono::steady_clock::now();
    work();
    glFinish();
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
            ThreadCpuMs() - cpu};
}

double Median(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// "name: median ms (main thread CPU median ms)"
void Print(const std::string& name, const std::vector<Timing>& t) {
    std::vector<double> wall, cpu;
    for (const Timing& x : t) {
        wall.push_back(x.wall);
        cpu.push_back(x.cpu);
    }
    printf("%s: %.1f ms (main thread CPU %.1f ms, median of %zu)\n", name.c_str(), Median(wall), Median(cpu), t.size());
}

std::string Picture(const char* name, int w, int h, bool alpha) {
    QImage img(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(30, 90, 160, alpha ? 200 : 255));
    g.setColorAt(1, QColor(240, 180, 60, 255));
    p.fillRect(img.rect(), g);
    p.end();
    std::string path = gDir + "/" + name;
    img.save(QString::fromStdString(path));
    return path;
}

void Dispatch(Event e) {
    Quiet(true);
    plat_DispatchEvent(e);
    Quiet(false);
}

void Command(WindowRef w, const char* code) {
    Event e;
    e.eventClass = kEventClassCommand;
    e.kind = kEventCommandProcess;
    e.window = w;
    e.command = OSType(code[0]) << 24 | OSType(code[1]) << 16 | OSType(code[2]) << 8 | OSType(code[3]);
    Dispatch(e);
}

void Key(uint32_t code) {
    Event e;
    e.eventClass = kEventClassKeyboard;
    e.kind = kEventRawKeyDown;
    e.window = window;
    e.keyCode = code;
    Dispatch(e);
}

// Does the action kRuns times, each followed by a timed undo and a timed redo; after takes the
// layer back to where the next run starts (untimed).
void Bench(const char* name, int edited, const std::function<void(int)>& action, const std::function<void()>& after) {
    std::vector<Timing> undo, redo;
    for (int i = 0; i < kRuns; ++i) {
        currentLayer = edited;
        action(i);
        if (HistoryUndoText() == "Undo") {
            fprintf(stderr, "%s: the action made no step\n", name);
            exit(1);
        }
        Quiet(true);
        undo.push_back(Ms([] { HistoryUndo(false); }));
        redo.push_back(Ms([] { HistoryRedo(false); }));
        after();
        Quiet(false);
    }
    Print(std::string("undo ") + name + " (98 layers)", undo);
    Print(std::string("redo ") + name + " (98 layers)", redo);
}

}  // namespace

int main(int, char** argv) {
    UseTheProgramsThreadPolicy(argv);
    char tmpl[] = "/tmp/vintrel-undo-bench-XXXXXX";
    gDir = mkdtemp(tmpl);
    setenv("HOME", gDir.c_str(), 1);
    setenv("XDG_DATA_HOME", (gDir + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (gDir + "/config").c_str(), 1);
    setenv("TMPDIR", gDir.c_str(), 1);
    setenv("VINTREL_SCRIPTED_MODALS", "1", 1);
    plat_Init(1, argv);
    Quiet(true);
    int status = StartUp();
    Quiet(false);
    if (status != kStartedUp) {
        fprintf(stderr, "start-up failed with %d\n", status);
        return 1;
    }
    std::string base = Picture("base.png", 1920, 1080, false);
    std::string small = Picture("small.png", 640, 360, true);
    std::string full = Picture("full.png", 1920, 1080, true);
    Quiet(true);
    DeleteTextures(0);
    LoadTexture(base.c_str(), -1, false, false);
    for (int i = 0; i < kLastLayer; ++i) {
        if (!LoadTexture((i == kLastLayer - 1 ? full : small).c_str(), -1, false, false)) break;
        TexImage& t = texImages[currentLayer];
        if (i < kLastLayer - 1) {
            t.posX = t.originX = (i * 173) % 1280;
            t.posY = t.originY = (i * 89) % 720;
        }
    }
    kickStart = false;
    bootComplete = true;
    EnableSubControls();
    RenderImages(true, -1.0f);
    HistoryClear();
    Quiet(false);
    const int edited = kLastLayer;
    if (!IsValidLayer(edited)) {
        fprintf(stderr, "the 98 layers could not be loaded\n");
        return 1;
    }
    printf("undo benchmark: 98 layers over a 1920x1080 picture, 97 of 640x360 and the edited one of 1920x1080\n");

    Bench("move", edited, [](int i) { Key(i % 2 ? 123 : 124); }, [] {});
    Bench("hue", edited, [](int i) {
        util_SetControl(drawer_color, 600, 40 + 20 * (i % 2));
        Command(drawer_color, "p600");
    }, [] {});
    Bench("crop", edited, [edited](int) {
        Command(dialog, "p921");
        const TexImage& t = texImages[edited];
        cropArea = Rect{int16_t(t.posY + 40), int16_t(t.posX + 60), int16_t(t.posY + t.height - 40),
                        int16_t(t.posX + t.width - 60)};
        Command(dialog, "p922");
    }, [] { HistoryUndo(false); });   // the next crop starts from the whole layer again

    std::vector<Timing> redraw;
    for (int i = 0; i < kRuns; ++i) redraw.push_back(Ms([] { RenderImages(true, -1.0f); }));
    Print("redraw of the canvas after an undo or redo (98 layers)", redraw);
    printf("history kept pixel bytes: %.1f MB\n", double(HistoryKeptBytes()) / 1e6);

    std::string cmd = "rm -rf '" + gDir + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", gDir.c_str());
    return 0;
}
