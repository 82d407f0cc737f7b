// Hostile input to the readers, on files the program itself wrote: every 32-bit field of a saved
// project and of the preferences set to the boundary values (and every float to NaN, the
// infinities, -0 and 1e38), every prefix of those files, and the replay of every file under
// tests/corpus (the fuzzers' findings) through the same entry points. With VINTREL_WRITE_SEEDS
// set to a folder, the program-made files are also copied there as the fuzzers' seed corpus.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "fault_fixture.h"
#include "layer_table.h"
#include "navigation.h"
#include "picture_files.h"
#include "platform_codecs.h"
#include "preferences.h"
#include "textures.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_files.h"

extern "C" int FuzzOne_project(const uint8_t* data, size_t size);
extern "C" int FuzzOne_preferences(const uint8_t* data, size_t size);
extern "C" int FuzzOne_filters(const uint8_t* data, size_t size);

namespace {

std::string Get(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::set<std::string> Files(const std::string& folder) {
    std::set<std::string> out;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) out.insert(e->d_name);
        closedir(d);
    }
    return out;
}

void Clear(const std::string& folder) {
    for (const std::string& n : Files(folder)) {
        std::string p = folder + n;
        struct stat st;
        if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            Clear(p + "/");
            rmdir(p.c_str());
        } else {
            unlink(p.c_str());
        }
    }
}

uint32_t U32At(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
void SetU32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xff);
}
uint32_t Bits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

// Files may grow to at most limit bytes until the end of the scope; a write beyond fails (EFBIG)
// instead of killing the process.
struct LimitFileSize {
    explicit LimitFileSize(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit lower = old;
        lower.rlim_cur = limit < old.rlim_max ? limit : old.rlim_max;
        oldSignal = signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~LimitFileSize() {
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldSignal);
    }
    struct rlimit old;
    sighandler_t oldSignal;
};

enum class Kind { Int, Float, Length };
struct Field {
    size_t at;
    Kind kind;
};

// The 32-bit fields of a version-4 project as the format lays them out, walked independently of
// the program's reader; recordEnds gets the offset just after each whole record.
std::vector<Field> ProjectFields(const std::string& b, std::vector<size_t>* recordEnds) {
    std::vector<Field> out;
    size_t at = 0;
    auto put = [&](Kind k) { out.push_back({at, k}), at += 4; };
    auto str = [&]() {
        uint32_t n = U32At(b, at);
        put(Kind::Length);
        at += n;
    };
    auto ints = [&](int n) { while (n--) put(Kind::Int); };
    auto floats = [&](int n) { while (n--) put(Kind::Float); };
    ints(1), str(), str(), ints(2);
    while (at + 4 <= b.size()) {
        str(), ints(9), floats(3), ++at, floats(6), ++at, ints(1), floats(7), ints(2);
        bool isText = b[at] != 0;
        ++at, ints(2), floats(3), str(), str(), floats(1), ints(2), ++at;
        if (!isText) {
            uint32_t n = U32At(b, at);
            put(Kind::Length);
            at += n;
        }
        recordEnds->push_back(at);
    }
    EXPECT_EQ(at, b.size()) << "the walk covers the whole file";
    return out;
}

int LayerCount() {
    int n = 0;
    for (int s = kFirstLayer; s <= kLastLayer; ++s) n += texImages[s].texture != 0;
    return n;
}

// Layers 1..count complete with their pixels, every later slot free and without pixels.
void ExpectWholeLayers(int count) {
    for (int s = kFirstLayer; s <= kLastLayer; ++s) {
        const TexImage& t = texImages[s];
        if (s <= count) {
            ASSERT_NE(t.texture, 0u) << s;
            ASSERT_NE(t.pixels, nullptr) << s;
            ASSERT_GT(t.texWidth, 0) << s;
            ASSERT_GT(t.texHeight, 0) << s;
        } else {
            ASSERT_EQ(t.texture, 0u) << s;
            ASSERT_EQ(t.pixels, nullptr) << s;
        }
    }
}

std::string NoisePng(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    uint32_t x = 12345;
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w; ++i) {
            x = x * 1103515245u + 12345u;
            img.setPixel(i, y, x | 0xff000000u);
        }
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return data.toStdString();
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override {
        themes = StartOnTheSampleTheme();   // Alpha, header.jpg: 200 x 100
        dir = MakeTempDir("hostile") + "/";
        memcpy(savedTemp, tempFolder, sizeof savedTemp);
        tmp = dir + "tmp/";
        mkdir(tmp.c_str(), 0700);
        out = dir + "out/";
        mkdir(out.c_str(), 0700);
        snprintf(tempFolder, sizeof tempFolder, "%s", tmp.c_str());
        snapActive = 1;
    }
    void TearDown() override {
        plat_SetModalScript(ModalScript());
        InstallDefaultModalScript();
        memcpy(tempFolder, savedTemp, sizeof savedTemp);
        ResetProgramState();
        delete themes;
        ScriptedModals quiet;
        InitValues();
        ResetProgramState();
    }
    // The program's own project of a picture layer and a text layer, as SaveProject writes it.
    std::string SavedProject(const std::string& pictureBytes, const char* seedName = nullptr) {
        Put(dir + "a.png", pictureBytes);
        EXPECT_TRUE(LoadTexture((dir + "a.png").c_str(), -1, true, false));
        texImages[1].posX = 7, texImages[1].rotZ = 15, texImages[1].alpha = 0.5f;
        MakeLayer(2, 8, 2);
        TexImage& text = texImages[2];
        text.isText = true, text.fontSize = 30, text.outlined = 1;
        snprintf(text.fontText, sizeof text.fontText, "Hi there");
        snprintf(text.name, sizeof text.name, "Hi there");
        currProjectSaved = true;
        SaveProject((dir + "sample.vntr").c_str());
        EXPECT_TRUE(currProjectSaved);
        DeleteTextures(1);
        std::string bytes = Get(dir + "sample.vntr");
        const char* seeds = getenv("VINTREL_WRITE_SEEDS");
        if (seeds && seedName) Put(std::string(seeds) + "/" + seedName, bytes);
        return bytes;
    }
    // Imports bytes as a project onto the picture being edited, and unpacks them into out.
    void ImportAndExplode(const std::string& bytes) {
        DeleteTextures(1);
        Put(dir + "p.vntr", bytes);
        ScriptedModals none(false);
        LoadProject((dir + "p.vntr").c_str(), false);
        ASSERT_TRUE(none.requests.empty());
        Clear(out);
        plat_SetModalScript([this](const ModalRequest& r) {
            ModalAnswer a;
            a.path = r.kind == ModalKind::ChooseFolder ? out.substr(0, out.size() - 1) : "";
            a.accepted = r.kind == ModalKind::ChooseFolder;
            return a;
        });
        ExplodeProject((dir + "p.vntr").c_str());
        plat_SetModalScript(ModalScript());
        InstallDefaultModalScript();
    }
    // No scratch file of a write is left anywhere in the test folder.
    void ExpectNoScratchFiles() {
        for (const std::string& folder : {dir, tmp, out})
            for (const std::string& n : Files(folder))
                ASSERT_EQ(n.find(".part"), std::string::npos) << folder << n;
    }
    ThemeFolder* themes = nullptr;
    std::string dir, tmp, out;
    char savedTemp[1024];
};

const uint32_t kIntValues[] = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
const float kFloatValues[] = {NAN, INFINITY, -INFINITY, -0.0f, 1e38f};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Projects

TEST_F(HostileInput, EveryProjectFieldAtItsBoundariesLoadsOrIsRefusedWhole) {
    Put(dir + "b.png", NoisePng(3, 2));
    const std::string sample = SavedProject(Get(dir + "b.png"), "picture-and-text.vntr");
    std::vector<size_t> ends;
    const std::vector<Field> fields = ProjectFields(sample, &ends);
    ASSERT_EQ(ends.size(), 2u);
    ImportAndExplode(sample);
    ASSERT_EQ(LayerCount(), 2) << "the unchanged file loads whole";
    EXPECT_EQ(texImages[1].posX, 7);
    EXPECT_EQ(Files(out), (std::set<std::string>{"a.png"}));
    // Header: 5 fields; the record: its name length, 9 integers (posX the 4th), ... maskAngle 38th.
    const size_t posXAt = fields[5 + 4].at, maskAngleAt = fields[5 + 38].at;
    ASSERT_EQ(U32At(sample, posXAt), 7u);
    ASSERT_EQ(U32At(sample, maskAngleAt), 0u);
    size_t variants = 0;
    for (const Field& f : fields) {
        std::vector<uint32_t> values(std::begin(kIntValues), std::end(kIntValues));
        if (f.kind == Kind::Float)
            for (float v : kFloatValues) values.push_back(Bits(v));
        for (uint32_t v : values) {
            SCOPED_TRACE(testing::Message() << "field at " << f.at << " = " << std::hex << v);
            std::string bytes = sample;
            SetU32(bytes, f.at, v);
            ImportAndExplode(bytes);
            ++variants;
            int n = LayerCount();
            ASSERT_LE(n, 2);
            ExpectWholeLayers(n);
            ExpectNoScratchFiles();
            // A record taken is taken with its values as stored.
            if (f.at == posXAt && n >= 1) {
                ASSERT_EQ(uint32_t(texImages[1].posX), v);
            }
            if (f.at == maskAngleAt && n >= 1) {
                ASSERT_EQ(uint32_t(texImages[1].maskAngle), v);
            }
            if (f.kind != Kind::Length) {
                for (const std::string& name : Files(out)) ASSERT_EQ(Get(out + name), Get(dir + "b.png")) << name;
            }
        }
    }
    EXPECT_GT(variants, 600u);
}

TEST_F(HostileInput, EveryPrefixOfASavedProjectLoadsItsWholeRecordsOnly) {
    const std::string sample = SavedProject(NoisePng(3, 2));
    std::vector<size_t> ends;
    ProjectFields(sample, &ends);
    ASSERT_EQ(ends.size(), 2u);
    const size_t head = 4 + 4 + U32At(sample, 4);
    const size_t headEnd = head + 4 + U32At(sample, head) + 8;
    for (size_t cut = 0; cut < sample.size(); ++cut) {
        SCOPED_TRACE(testing::Message() << "cut at " << cut << " of " << sample.size());
        ImportAndExplode(sample.substr(0, cut));
        int whole = cut >= ends[1] ? 2 : cut >= ends[0] ? 1 : 0;
        // A header alone (or with fewer than four bytes after it) adds the picture itself as a
        // layer; a cut inside the header changes nothing.
        int expected = cut < headEnd ? 0 : whole == 0 && cut < headEnd + 4 ? 1 : whole;
        ASSERT_EQ(LayerCount(), expected);
        ExpectWholeLayers(expected);
        ExpectNoScratchFiles();
        ASSERT_EQ(Files(out).size(), cut >= ends[0] ? 1u : 0u) << "only whole pictures are unpacked";
    }
}

TEST_F(HostileInput, FailedSavesUnderAFileSizeLimitKeepTheOldProject) {
    // A project of some 600 KiB, cut by the limit at every 64 KiB step.
    const std::string sample = SavedProject(NoisePng(420, 420));
    ASSERT_GT(sample.size(), 512u * 1024);
    const std::string old = "the previous project";
    Put(dir + "keep.vntr", old);
    Put(dir + "a.png", NoisePng(420, 420));
    ASSERT_TRUE(LoadTexture((dir + "a.png").c_str(), -1, true, false));
    const std::set<std::string> before = Files(dir);
    // Save-as: the dialog names keep.vntr, so that only a complete save marks the project saved.
    plat_SetModalScript([this](const ModalRequest& r) {
        ModalAnswer a;
        if (r.kind == ModalKind::SaveFile) a.path = dir + "keep.vntr";
        return a;
    });
    for (rlim_t limit = 0; limit < sample.size(); limit += 64 * 1024) {
        SCOPED_TRACE(limit);
        currProjectSaved = false;
        {
            LimitFileSize small(limit);
            SaveProject(nullptr);
        }
        ASSERT_FALSE(currProjectSaved) << "a cut save is not taken for saved";
        ASSERT_EQ(Get(dir + "keep.vntr"), old);
        ASSERT_EQ(Files(dir), before) << "no scratch file is left";
    }
    SaveProject(nullptr);
    EXPECT_TRUE(currProjectSaved);
    EXPECT_GT(Get(dir + "keep.vntr").size(), 512u * 1024) << "without a limit the save goes through";
}

// A project saved onto a full file system, a read-only one and over a read-only file: each save
// says it failed, is not taken for saved, and leaves the previous project and no scratch file.
TEST_F(HostileInput, SavesOntoFullOrReadOnlyFileSystemsKeepTheOldProject) {
    const std::string mountPoint = dir + "small";
    SmallFileSystem fs(mountPoint, 2 << 20);
    if (!fs.mounted()) GTEST_SKIP() << "this machine does not allow mounting a tmpfs";
    const std::string target = mountPoint + "/keep.vntr", old = "the previous project";
    Put(target, old);
    Put(dir + "a.png", NoisePng(420, 420));
    ASSERT_TRUE(LoadTexture((dir + "a.png").c_str(), -1, true, false));
    int asked = 0;
    plat_SetModalScript([&](const ModalRequest& r) {
        ModalAnswer a;
        if (r.kind == ModalKind::SaveFile) a.path = target;
        if (r.kind == ModalKind::Alert && r.message == kProjectSaveFailed) ++asked;
        return a;
    });
    auto expectKept = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(currProjectSaved) << "a failed save is not taken for saved";
        EXPECT_EQ(asked, 1) << "the failure is reported";
        EXPECT_EQ(Get(target), old);
        EXPECT_EQ(Files(mountPoint), (std::set<std::string>{".filler", "keep.vntr"})) << "no scratch file";
        asked = 0;
        currProjectSaved = false;
    };
    ASSERT_TRUE(fs.LeaveFree(64 << 10));
    SaveProject(nullptr);
    expectKept("full file system");
    ASSERT_TRUE(fs.MakeReadOnly(true));
    SaveProject(nullptr);
    expectKept("read-only file system");
    ASSERT_TRUE(fs.MakeReadOnly(false));
    fs.Unfill();
    Put(mountPoint + "/.filler", "");
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    {
        NoPermissionOverride asUser;
        SaveProject(nullptr);
    }
    expectKept("read-only project file");
    ASSERT_EQ(chmod(target.c_str(), 0644), 0);
    SaveProject(nullptr);
    EXPECT_TRUE(currProjectSaved);
    EXPECT_EQ(asked, 0);
    plat_SetModalScript(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Preferences

namespace {

std::string PrefsFile() { return std::string(getenv("XDG_CONFIG_HOME")) + "/Vintrel.preferences"; }

struct PrefsState {
    int showWelcome, allThemes, firstTimeLaunch, previewEnabled, enableFontPreview, supportPW5;
    std::string theme, picture;
};
PrefsState Prefs() {
    return {::showWelcome, ::allThemes, ::firstTimeLaunch, ::previewEnabled, ::enableFontPreview, ::supportPW5,
            currentTheme, currentPicture};
}
// Values no file holds, so that a field taken from the file can be told from one left alone.
void SetSentinels() {
    ::showWelcome = ::allThemes = ::firstTimeLaunch = ::previewEnabled = -77;
    ::enableFontPreview = ::supportPW5 = -77;
    snprintf(currentTheme, sizeof currentTheme, "sentinel-theme");
    snprintf(currentPicture, sizeof currentPicture, "sentinel-picture");
}

// The program's own preferences file with a theme and picture named.
std::string SavedPrefs() {
    snprintf(currentTheme, sizeof currentTheme, "Alpha");
    snprintf(currentPicture, sizeof currentPicture, "header.jpg");
    ::showWelcome = 1, ::allThemes = 1, ::previewEnabled = 1, ::enableFontPreview = 1, ::supportPW5 = 0;
    EXPECT_TRUE(WriteConfig());
    std::string bytes = Get(PrefsFile());
    if (const char* seeds = getenv("VINTREL_WRITE_SEEDS")) Put(std::string(seeds) + "/preferences-saved", bytes);
    return bytes;
}

}  // namespace

TEST(HostilePreferences, EveryFieldAtItsBoundariesAndEveryPrefixReadsCleanly) {
    EnsureProgramStarted();
    const std::string saved = Get(PrefsFile());   // the test home's own settings come back after
    const std::string sample = SavedPrefs();
    // Four flags, 47 reserved words, four strings ("", theme, picture, ""), two flags.
    const size_t themeLen = 4 * 51 + 4, pictureLen = themeLen + 4 + 5, tail = pictureLen + 4 + 10 + 4;
    ASSERT_EQ(sample.size(), tail + 8);
    ASSERT_EQ(U32At(sample, themeLen), 5u);
    std::vector<Field> fields;
    for (size_t i = 0; i < 51; ++i) fields.push_back({4 * i, Kind::Int});
    for (size_t at : {themeLen - 4, themeLen, pictureLen, tail - 4}) fields.push_back({at, Kind::Length});
    fields.push_back({tail, Kind::Int});
    fields.push_back({tail + 4, Kind::Int});
    int* const taken[] = {&::showWelcome, &::allThemes, &::firstTimeLaunch, &::previewEnabled};
    for (const Field& f : fields) {
        for (uint32_t v : kIntValues) {
            SCOPED_TRACE(testing::Message() << "field at " << f.at << " = " << std::hex << v);
            std::string bytes = sample;
            SetU32(bytes, f.at, v);
            Put(PrefsFile(), bytes);
            SetSentinels();
            ReadConfig();
            PrefsState p = Prefs();
            ASSERT_LT(p.theme.size(), size_t(kPathSize));
            ASSERT_LT(p.picture.size(), size_t(kPathSize));
            if (f.at < 16) {
                ASSERT_EQ(uint32_t(*taken[f.at / 4]), v);
            }
            if (f.at == tail) {
                ASSERT_EQ(uint32_t(p.enableFontPreview), v);
            }
            if (f.at == tail + 4) {
                ASSERT_EQ(uint32_t(p.supportPW5), v);
            }
            if (f.kind == Kind::Int) {
                ASSERT_EQ(p.theme, "Alpha") << "a changed number leaves the names as stored";
                ASSERT_EQ(p.picture, "header.jpg");
            }
            if (f.at == themeLen && v > 1023) {
                ASSERT_EQ(p.theme, "sentinel-theme") << "a refused length changes no name";
                ASSERT_EQ(p.picture, "sentinel-picture");
                ASSERT_EQ(p.supportPW5, -77);
            }
        }
    }
    // Every prefix: the fields wholly inside it are taken, the others keep their values.
    for (size_t cut = 0; cut < sample.size(); ++cut) {
        SCOPED_TRACE(cut);
        Put(PrefsFile(), sample.substr(0, cut));
        SetSentinels();
        ReadConfig();
        PrefsState p = Prefs();
        ASSERT_EQ(p.showWelcome, cut >= 4 ? 1 : -77);
        ASSERT_EQ(p.previewEnabled, cut >= 16 ? 1 : -77);
        ASSERT_EQ(p.theme, cut >= themeLen + 4 + 5 ? "Alpha" : "sentinel-theme");
        ASSERT_EQ(p.picture, cut >= pictureLen + 4 + 10 ? "header.jpg" : "sentinel-picture");
        ASSERT_EQ(p.enableFontPreview, cut >= tail + 4 ? 1 : -77);
    }
    // Under a file-size limit the write fails, says so, and leaves the file as it was.
    Put(PrefsFile(), sample);
    for (rlim_t limit : {rlim_t(0), rlim_t(100), rlim_t(sample.size() - 1)}) {
        LimitFileSize small(limit);
        EXPECT_FALSE(WriteConfig()) << limit;
    }
    EXPECT_EQ(Get(PrefsFile()), sample);
    for (const std::string& n : Files(std::string(getenv("XDG_CONFIG_HOME")) + "/"))
        if (n.rfind("Vintrel.preferences", 0) == 0) {
            EXPECT_EQ(n, "Vintrel.preferences") << "no temporary file is left";
        }
    Put(PrefsFile(), saved);
}

// The preferences onto a full file system of their own and a read-only one, and over a read-only
// file: the user is told, the old file keeps its bytes and no scratch file is left.
TEST(HostilePreferences, WritesOntoFullOrReadOnlyFileSystemsKeepTheOldFile) {
    EnsureProgramStarted();
    const std::string folder = getenv("XDG_CONFIG_HOME");
    SmallFileSystem fs(folder, 1 << 20);
    if (!fs.mounted()) GTEST_SKIP() << "this machine does not allow mounting a tmpfs";
    const std::string old = SavedPrefs();
    snprintf(currentTheme, sizeof currentTheme, "Another theme");
    ScriptedModals modals(true);
    auto expectKept = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(modals.requests.size(), 1u) << "the failure is reported";
        if (!modals.requests.empty()) {
            EXPECT_EQ(modals.requests[0].message, kPrefsWriteFailed);
        }
        EXPECT_EQ(Get(PrefsFile()), old);
        EXPECT_EQ(Files(folder), (std::set<std::string>{".filler", "Vintrel.preferences"})) << "no scratch file";
        modals.requests.clear();
    };
    ASSERT_TRUE(fs.LeaveFree(0));
    EXPECT_FALSE(SavePreferences());
    expectKept("full file system");
    ASSERT_TRUE(fs.MakeReadOnly(true));
    EXPECT_FALSE(SavePreferences());
    expectKept("read-only file system");
    ASSERT_TRUE(fs.MakeReadOnly(false));
    fs.Unfill();
    Put(folder + "/.filler", "");
    ASSERT_EQ(chmod(PrefsFile().c_str(), 0444), 0);
    {
        NoPermissionOverride asUser;
        EXPECT_FALSE(SavePreferences());
    }
    expectKept("read-only file");
    ASSERT_EQ(chmod(PrefsFile().c_str(), 0644), 0);
    EXPECT_TRUE(SavePreferences());
    EXPECT_NE(Get(PrefsFile()), old);
}

// ---------------------------------------------------------------------------------------------
// The fuzzers' findings and seeds, replayed through the same entry points.

namespace {

std::vector<std::string> CorpusFiles(const std::string& target) {
    std::vector<std::string> out;
    for (const char* root : {"/tests/corpus/", "/tests/fuzz/corpus/"}) {
        std::string folder = std::string(VINTREL_SOURCE_DIR) + root + target + "/";
        for (const std::string& n : Files(folder)) out.push_back(folder + n);
    }
    return out;
}

int Replay(const std::string& target, int (*entry)(const uint8_t*, size_t)) {
    int n = 0;
    for (const std::string& path : CorpusFiles(target)) {
        SCOPED_TRACE(path);
        std::string b = Get(path);
        entry(reinterpret_cast<const uint8_t*>(b.data()), b.size());
        ++n;
    }
    return n;
}

}  // namespace

TEST_F(HostileInput, CorpusFilesReplayThroughTheReadersAndTheProgram) {
    EXPECT_GT(Replay("project", FuzzOne_project), 0);
    for (const std::string& path : CorpusFiles("project")) {
        SCOPED_TRACE(path);
        ImportAndExplode(Get(path));
        int n = LayerCount();
        ExpectWholeLayers(n);
        ExpectNoScratchFiles();
    }
    EXPECT_GT(Replay("preferences", FuzzOne_preferences), 0);
    const std::string saved = Get(PrefsFile());
    for (const std::string& path : CorpusFiles("preferences")) {
        Put(PrefsFile(), Get(path));
        ReadConfig();
        EXPECT_LT(strnlen(currentTheme, sizeof currentTheme), sizeof currentTheme);
    }
    Put(PrefsFile(), saved);
    EXPECT_GT(Replay("filters", FuzzOne_filters), 0);
    // Pictures the fuzzer found lying about their size are refused before any decoding starts
    // (the decoder's count stays), so nothing of the declared size is allocated.
    for (const std::string& path : CorpusFiles("picture")) {
        SCOPED_TRACE(path);
        long before = plat_DecodeStats().count, w = 0, h = 0;
        int channels = 0;
        unsigned long type = 0;
        unsigned char* pixels = LoadImage(path.c_str(), &w, &h, &channels, &type);
        if (path.find("/tests/corpus/") != std::string::npos) {
            EXPECT_EQ(pixels, nullptr);
            EXPECT_EQ(plat_DecodeStats().count, before) << "refused before decoding";
        } else {
            EXPECT_NE(pixels, nullptr) << "a seed picture loads";
        }
        free(pixels);
    }
}
