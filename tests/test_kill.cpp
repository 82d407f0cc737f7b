// test_kill.cpp - the program killed (SIGKILL) at random moments while it writes a theme picture
// back and while it saves a project. The writer is this test program run again as a child, with
// the program started for real and driven through its functions: it writes two versions, A and
// B, in turn until it is killed. Afterwards the picture and the project file are each whole: the
// old bytes, or those of A or of B; the backup is absent or the whole original.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "app_fixture.h"
#include "app_state.h"
#include "layer_table.h"
#include "navigation.h"
#include "textures.h"
#include "theme_library.h"
#include "write_back.h"

namespace {

const char kChildEnv[] = "VINTREL_KILL_CHILD";   // "<mode> <folder>": this process is the writer

std::string Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The theme's layout under folder: one picture of noise, big enough that a write takes a while.
struct Theme {
    explicit Theme(const std::string& folder)
        : root(folder), images(folder + "/themes/Blue.pwtheme/Contents/Images/"), picture(images + "x.png"),
          backup(images + "Originals/x.png"), project(folder + "/work.vntr"), layer(folder + "/layer.png") {}
    void Make() const {
        ASSERT_EQ(system(("mkdir -p '" + images + "'").c_str()), 0);
        QImage noise(700, 500, QImage::Format_RGB32);
        uint32_t x = 5;
        for (int y = 0; y < noise.height(); ++y)
            for (int i = 0; i < noise.width(); ++i) noise.setPixel(i, y, (x = x * 1103515245u + 12345u) | 0xff000000u);
        ASSERT_TRUE(noise.save(QString::fromStdString(picture), "PNG"));
        QImage small(300, 200, QImage::Format_RGB32);
        small.fill(0xff2050a0u);
        ASSERT_TRUE(small.save(QString::fromStdString(layer), "PNG"));
    }
    std::string root, images, picture, backup, project, layer;
};

// The child: starts the program on the theme picture with one layer, then writes version A
// (layer at x 100) and B (layer at x 400) in turn. mode "learn-pictures" / "learn-projects" writes
// each once and keeps a copy of what it wrote; "pictures" / "projects" writes until killed,
// saying "writing" on its standard output first.
void RunChild(const std::string& mode, const std::string& folder) {
    const Theme theme(folder);
    EnsureProgramStarted();
    snprintf(themeFolder, sizeof themeFolder, "%s/themes/", folder.c_str());
    snprintf(THEME_EXT, sizeof THEME_EXT, "%s", ".pwtheme");
    snprintf(currentTheme, sizeof currentTheme, "%s", "Blue");
    snprintf(currentPicture, sizeof currentPicture, "%s", "x.png");
    allThemes = 1;
    themeLoaded = true;
    ScriptedModals answers(true);
    ASSERT_TRUE(LoadTexture(theme.picture.c_str(), -1, true, false));
    ASSERT_TRUE(LoadTexture(theme.layer.c_str(), -1, true, false));
    ASSERT_EQ(currentLayer, 1);
    const bool pictures = mode.find("pictures") != std::string::npos;
    const bool learn = mode.rfind("learn", 0) == 0;
    if (!pictures) {
        snprintf(currProject, sizeof currProject, "%s", theme.project.c_str());
        currProjectSaved = true;
    }
    if (!learn) {
        printf("writing\n");
        fflush(stdout);
    }
    QElapsedTimer clock;
    clock.start();
    for (int round = 0;; ++round) {
        const bool a = round % 2 == 0;
        texImages[1].posX = texImages[1].originX = a ? 100 : 400;
        toSave = true;
        if (pictures) Save();
        else SaveProject(currProject);
        if (learn) {
            const std::string& written = pictures ? theme.picture : theme.project;
            Put(folder + (a ? "/A" : "/B"), Bytes(written));
            if (!a) {
                printf("writes %lld ms\n", (long long)clock.elapsed());   // of both
                return;
            }
        }
    }
}

// Runs the child in mode; returns its pid with its standard output on *out.
pid_t Spawn(const std::string& mode, const std::string& folder, FILE** out) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        setenv(kChildEnv, (mode + " " + folder).c_str(), 1);
        execl("/proc/self/exe", "vintrel_tests", "--gtest_filter=KillWhileWriting.Child", (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    *out = fdopen(fds[0], "r");
    return pid;
}

bool Finished(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Twenty kills at random moments of the writing: after each, the written file is old, A or B,
// and the backup absent or whole.
void KillAtRandomMoments(const char* mode, bool pictures) {
    const std::string folder = MakeTempDir("kill");
    const Theme theme(folder);
    theme.Make();
    const std::string original = Bytes(theme.picture);
    FILE* out = nullptr;
    pid_t learner = Spawn(std::string("learn-") + mode, folder, &out);
    long long both = 0;
    char line[256];
    // The program's own output shares the line (it prints without line ends).
    std::string said;
    while (fgets(line, sizeof line, out)) {
        said += line;
        if (const char* at = strstr(line, "writes ")) both = atoll(at + 7);
    }
    fclose(out);
    ASSERT_TRUE(Finished(learner)) << "the learning run failed: " << said.substr(said.size() > 2000 ? said.size() - 2000 : 0);
    ASSERT_GT(both, 0);
    const std::string a = Bytes(folder + "/A"), b = Bytes(folder + "/B");
    ASSERT_FALSE(a.empty());
    ASSERT_NE(a, b);
    // Start again from the old picture, no backup, and an old project file.
    Put(theme.picture, original);
    ASSERT_EQ(system(("rm -rf '" + theme.images + "Originals'").c_str()), 0);
    const std::string oldProject = "an older project";
    Put(theme.project, oldProject);
    const std::string& target = pictures ? theme.picture : theme.project;
    const std::string& old = pictures ? original : oldProject;

    std::mt19937 random(20261208);
    int sawA = 0, sawB = 0;
    for (int kill = 0; kill < 20; ++kill) {
        SCOPED_TRACE(kill);
        // Each run starts from the old picture: a written one would be the next run's base.
        if (pictures) Put(theme.picture, original);
        pid_t pid = Spawn(mode, folder, &out);
        ASSERT_GT(pid, 0);
        bool writing = false;
        while (!writing && fgets(line, sizeof line, out)) writing = strstr(line, "writing") != nullptr;
        ASSERT_TRUE(writing) << "the child did not start writing";
        // Anywhere in its first two or three writes.
        usleep(useconds_t(std::uniform_int_distribution<long long>(0, both * 1250)(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        fclose(out);
        const std::string now = Bytes(target);
        sawA += now == a;
        sawB += now == b;
        ASSERT_TRUE(now == old || now == a || now == b) << "a torn file of " << now.size() << " bytes";
        if (pictures) {
            const std::string kept = Bytes(theme.backup);
            ASSERT_TRUE(kept.empty() || kept == original) << "a partial backup of " << kept.size() << " bytes";
        }
    }
    EXPECT_GT(sawA + sawB, 0) << "no kill came after a finished write: the test would not see a torn one";
}

}  // namespace

// The writer itself: does nothing unless started by the tests below.
TEST(KillWhileWriting, Child) {
    const char* job = getenv(kChildEnv);
    if (!job) GTEST_SKIP() << "run by the kill tests";
    const std::string s = job;
    RunChild(s.substr(0, s.find(' ')), s.substr(s.find(' ') + 1));
}

TEST(KillWhileWriting, WriteBackLeavesTheOldOrTheNewPictureAndAWholeBackup) {
    KillAtRandomMoments("pictures", true);
}

TEST(KillWhileWriting, ProjectSaveLeavesTheOldOrTheNewProject) {
    KillAtRandomMoments("projects", false);
}
