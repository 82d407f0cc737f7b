// Start-up and shut-down of the real program, run as a separate process: the exit statuses of
// each failing step (which also shows the order of the steps), a normal start that reaches the
// event loop and quits through the shut-down, and the preferences written only then.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QKeySequence>
#include <QWidget>

#include "app_fixture.h"
#include "canvas_window.h"

namespace {

struct ProcessRun {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs the program with its folders in home and the given resources folder.
ProcessRun RunVintrel(const std::string& home, const std::string& resources, const std::vector<std::string>& args = {}) {
    std::string outFile = home + "/stdout.txt", errFile = home + "/stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("TMPDIR", home.c_str(), 1);
        setenv("VINTREL_RESOURCES", resources.c_str(), 1);
        setenv("VINTREL_EXIT_AT_EVENT_LOOP", "1", 1);
        setenv("VINTREL_SCRIPTED_MODALS", "1", 1);
        setenv("VINTREL_UPDATE_URL", "http://127.0.0.1:1/version", 1);   // refused: no network needed
        if (!freopen(outFile.c_str(), "w", stdout) || !freopen(errFile.c_str(), "w", stderr)) _exit(120);
        std::string exe = VINTREL_TEST_BINARY_DIR "/vintrel";
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    ProcessRun r;
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = Slurp(outFile);
    r.err = Slurp(errFile);
    return r;
}

// A resources folder that links to the real one's files, leaving out the named ones.
std::string ResourcesWithout(const std::vector<std::string>& omitted) {
    std::string dir = MakeTempDir("res");
    std::string src = VINTREL_SOURCE_DIR "/resources";
    auto skip = [&](const std::string& rel) {
        for (const std::string& o : omitted)
            if (rel == o) return true;
        return false;
    };
    for (const char* f : {"background.tif", "first_window2852.png", "live.jpg", "fondo_preview.png"})
        if (!skip(f)) {
            EXPECT_EQ(symlink((src + "/" + f).c_str(), (dir + "/" + f).c_str()), 0);
        }
    if (!skip("main")) {
        mkdir((dir + "/main").c_str(), 0755);
        for (const char* ui : {"MenuBar.ui", "Tools.ui", "DrawerText.ui", "DrawerFilter.ui", "DrawerColors.ui",
                               "DrawerExtras.ui", "DrawerAlpha.ui", "preview.ui", "Window.ui"}) {
            std::string rel = std::string("main/") + ui;
            if (!skip(rel)) {
                EXPECT_EQ(symlink((src + "/" + rel).c_str(), (dir + "/" + rel).c_str()), 0);
            }
        }
    }
    return dir;
}

bool Exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

}  // namespace

TEST(StartUp, ExitStatusNamesTheFirstStepThatFailed) {
    struct Case {
        std::vector<std::string> omitted;
        int status;
    } cases[] = {
        {{"main"}, 1},
        {{"main/MenuBar.ui", "background.tif", "main/Tools.ui"}, 2},   // menu bar comes before the canvas
        {{"background.tif", "main/Tools.ui"}, 3},                      // canvas comes before the Tools window
        {{"main/Tools.ui"}, 4},
        {{"main/DrawerAlpha.ui"}, 4},
    };
    for (const Case& c : cases) {
        std::string home = MakeTempDir("home");
        ProcessRun r = RunVintrel(home, ResourcesWithout(c.omitted));
        EXPECT_EQ(r.status, c.status) << c.omitted[0] << "\n" << r.out << r.err;
        EXPECT_EQ(r.err.find("event-loop-reached"), std::string::npos);
        EXPECT_FALSE(Exists(home + "/config/Vintrel.preferences")) << "no shut-down after a failed start";
    }
}

TEST(StartUp, NormalStartReachesTheLoopAndQuitsThroughShutDown) {
    std::string home = MakeTempDir("home");
    ProcessRun r = RunVintrel(home, VINTREL_SOURCE_DIR "/resources");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    size_t origin = r.out.find("\n>>> origin path is " + home + "/data/Containers/");
    EXPECT_NE(origin, std::string::npos) << r.out;
    EXPECT_NE(r.err.find("event-loop-reached"), std::string::npos);
    // The theme folder is missing here: the empty-folder question is not shown before the
    // theme popup exists, and the first-launch warning only without rectangle textures.
    std::string prefs = Slurp(home + "/config/Vintrel.preferences");
    ASSERT_GE(prefs.size(), 228u) << "preferences are written at quit";
    int firstLaunch = prefs[8] | prefs[9] << 8 | prefs[10] << 16 | prefs[11] << 24;
    EXPECT_EQ(firstLaunch, 0);
}

// The desktop's ways of quitting (the canvas's close box, the Quit menu item) end the event loop
// through the canvas's close event, so main runs the shut-down after it.
TEST(StartUp, ClosingTheCanvasAndQuitEndTheEventLoop) {
    EnsureProgramStarted();
    auto closeCanvas = [](TimerRef t, void*) {
        plat_RemoveEventLoopTimer(t);
        plat_RequestClose(window);
    };
    plat_InstallEventLoopTimer(0.05, 0, closeCanvas, nullptr);
    TimerRef guard = plat_InstallEventLoopTimer(10.0, 0, [](TimerRef, void*) { plat_QuitApplicationEventLoop(); }, nullptr);
    QElapsedTimer clock;
    clock.start();
    plat_RunApplicationEventLoop();
    EXPECT_LT(clock.elapsed(), 5000) << "the close box ended the loop";
    EXPECT_FALSE(plat_IsWindowVisible(window));
    plat_ShowWindow(window);

    QAction* quit = nullptr;
    for (QAction* a : qApp->findChildren<QAction*>())
        if (a->property("standard").toString() == "quit") quit = a;
    for (QWidget* w : QApplication::allWidgets())
        for (QAction* a : w->actions())
            if (a->property("standard").toString() == "quit") quit = a;
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->shortcut(), QKeySequence("Ctrl+Q"));
    plat_InstallEventLoopTimer(0.05, 0, [](TimerRef t, void* a) {
        static_cast<QAction*>(a)->trigger();
        plat_RemoveEventLoopTimer(t);
    }, quit);
    clock.restart();
    plat_RunApplicationEventLoop();
    EXPECT_LT(clock.elapsed(), 5000) << "Quit ended the loop";
    EXPECT_FALSE(plat_IsWindowVisible(window));
    plat_ShowWindow(window);
    plat_RemoveEventLoopTimer(guard);
    plat_ProcessEvents(50);
}

namespace {

std::string Prefs(int allThemes, const std::string& theme, const std::string& picture) {
    std::string b;
    auto put = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(char(v >> (8 * i)));
    };
    put(1), put(uint32_t(allThemes)), put(0), put(1);
    for (int i = 0; i < 47; ++i) put(0);
    put(0);
    put(uint32_t(theme.size())), b += theme;
    put(uint32_t(picture.size())), b += picture;
    put(0), put(0), put(0);
    return b;
}

// The theme and picture names stored in a preferences file.
std::pair<std::string, std::string> StoredNames(const std::string& prefs) {
    auto word = [&prefs](size_t at) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(prefs[at + i])) << (8 * i);
        return v;
    };
    if (prefs.size() < 228) return {};
    size_t at = 208;
    uint32_t t = word(at);
    std::string theme = prefs.substr(at + 4, t);
    at += 4 + t;
    return {theme, prefs.substr(at + 4, word(at))};
}

}  // namespace

// The theme and picture of the last run come back at start-up when they are still installed
// (the picture is loaded in place of the start picture); otherwise the first theme, its first
// picture and the start picture, as on a first start. The next quit stores what was shown.
TEST(StartUp, TheLastThemeAndPictureComeBack) {
    struct Case {
        int allThemes;
        std::string theme, picture, lastLoaded, storedTheme, storedPicture;
    } cases[] = {
        {1, "Meadow", "header.jpg", "Meadow.pagewrighttheme/Contents/Images/header.jpg", "Meadow", "header.jpg"},
        {1, "Meadow", "Editable_Images/logo.png", "Meadow.pagewrighttheme/Contents/Images/Editable_Images/logo.png",
         "Meadow", "Editable_Images/logo.png"},
        {0, "Meadow", "logo.png", "Meadow.pagewrighttheme/Contents/Images/Editable_Images/logo.png", "Meadow",
         "logo.png"},
        {1, "Meadow", "gone.jpg", "first_window2852.png", "Meadow", "banner.png"},
        {1, "Gone", "header.jpg", "first_window2852.png", "Alpine", "a.jpg"},
    };
    for (const Case& c : cases) {
        std::string home = MakeTempDir("home");
        std::string themes = home + "/data/Containers/com.pagewright.Pagewright/Data/Library/Application Support/Pagewright/";
        for (const char* rel : {"Alpine.pagewrighttheme/Contents/Images/a.jpg",
                                "Alpine.pagewrighttheme/Contents/Images/Editable_Images/b.png",
                                "Meadow.pagewrighttheme/Contents/Images/banner.png",
                                "Meadow.pagewrighttheme/Contents/Images/header.jpg",
                                "Meadow.pagewrighttheme/Contents/Images/Editable_Images/logo.png"}) {
            std::string path = themes + rel;
            ASSERT_EQ(system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str()), 0);
            QImage img(64, 32, QImage::Format_RGB32);
            img.fill(QColor(90, 140, 60));
            ASSERT_TRUE(img.save(QString::fromStdString(path)));
        }
        mkdir((home + "/config").c_str(), 0700);
        std::ofstream(home + "/config/Vintrel.preferences", std::ios::binary) << Prefs(c.allThemes, c.theme, c.picture);

        ProcessRun r = RunVintrel(home, VINTREL_SOURCE_DIR "/resources");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        size_t last = r.out.rfind("\nloading image ");
        ASSERT_NE(last, std::string::npos) << r.out;
        std::string loaded = r.out.substr(last + 15, r.out.find('\n', last + 1) - last - 15);
        EXPECT_NE(loaded.find(c.lastLoaded), std::string::npos) << c.theme << "/" << c.picture << ": " << loaded;
        auto stored = StoredNames(Slurp(home + "/config/Vintrel.preferences"));
        EXPECT_EQ(stored.first, c.storedTheme) << c.theme << "/" << c.picture;
        EXPECT_EQ(stored.second, c.storedPicture) << c.theme << "/" << c.picture;
    }
}

// The preferences written at quit replace the file whole and never write through a link planted
// beside it (at a temporary name) or in its place.
TEST(StartUp, PreferencesAreNeverWrittenThroughALink) {
    for (const char* planted : {"Vintrel.preferences.tmp", "Vintrel.preferences"}) {
        std::string home = MakeTempDir("home");
        mkdir((home + "/config").c_str(), 0700);
        std::string victim = home + "/victim.txt";
        std::ofstream(victim) << "keep me";
        ASSERT_EQ(symlink(victim.c_str(), (home + "/config/" + planted).c_str()), 0);
        ProcessRun r = RunVintrel(home, VINTREL_SOURCE_DIR "/resources");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(Slurp(victim), "keep me") << planted;
        struct stat st;
        if (std::string(planted) != "Vintrel.preferences") {
            ASSERT_EQ(lstat((home + "/config/Vintrel.preferences").c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_GE(Slurp(home + "/config/Vintrel.preferences").size(), 228u);
        }
    }
}
