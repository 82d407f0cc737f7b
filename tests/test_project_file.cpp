// The project file: saving byte for byte as the format says, reading hand-made files of every
// version, open and import modes on a real theme folder, unpacking into a folder, and files that
// lie (names that climb out of folders, lengths beyond their limits or the file, cuts at every
// byte). The expected bytes are built here from the format's field table, not by the program.
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
#include <functional>
#include <set>
#include <sstream>

#include "app_fixture.h"
#include "app_state.h"
#include "canvas_window.h"
#include "ids.h"
#include "layer_table.h"
#include "navigation.h"
#include "textures.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

// Little-endian fields of the format.
struct Bytes {
    std::string s;
    Bytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xff));
        return *this;
    }
    Bytes& i32(int32_t v) { return u32(uint32_t(v)); }
    Bytes& f32(float v) { return u32(FloatBits(v)); }
    Bytes& flag(bool v) { return s.push_back(v ? 1 : 0), *this; }
    Bytes& str(const std::string& t) { return u32(uint32_t(t.size())), s += t, *this; }
    static uint32_t FloatBits(float v) {
        uint32_t u;
        memcpy(&u, &v, 4);
        return u;
    }
};

// One layer record as stored; the defaults are those of a freed slot.
struct Rec {
    std::string name = "layer.png";
    int32_t width = 4, height = 3, depth = -202, posX = 0, posY = 0, rotX = 0, rotY = 0, rotZ = 0, channels = 4;
    float scaleX = 1, scaleY = 1, alpha = 1;
    bool shadow = false;
    float shadowAngle = 45, shadowOffset = 10, shadowDarkness = 20, hue = 0, saturation = 1, lightness = 0;
    bool frame = false;
    int32_t frameSize = 7;
    float frameR = 0.95f, frameG = 0.95f, frameB = 0.95f, fillR = -1, fillG = -1, fillB = -1;
    float reflection = 1;
    int32_t texWidth = 4, texHeight = 3;
    bool isText = false;
    int32_t fontSize = 60, outlined = 0;
    float textR = 1, textG = 1, textB = 1;
    std::string fontText = "Hello", fontName = "Arial";
    float maskRadius = 1;
    int32_t mask = 0, maskAngle = 0;
    bool maskFit = true;
    std::string component;   // the picture file, for picture layers
};

// The record without its component, fields as the table lists them for the version.
std::string Fields(const Rec& r, int version) {
    Bytes b;
    b.str(r.name).i32(r.width).i32(r.height).i32(r.depth).i32(r.posX).i32(r.posY).i32(r.rotX);
    b.i32(r.rotY).i32(r.rotZ).i32(r.channels).f32(r.scaleX).f32(r.scaleY).f32(r.alpha);
    b.flag(r.shadow).f32(r.shadowAngle).f32(r.shadowOffset).f32(r.shadowDarkness).f32(r.hue);
    b.f32(r.saturation).f32(r.lightness).flag(r.frame).i32(r.frameSize).f32(r.frameR).f32(r.frameG);
    b.f32(r.frameB).f32(r.fillR).f32(r.fillG).f32(r.fillB);
    if (version >= 2) b.f32(r.reflection).i32(r.texWidth).i32(r.texHeight);
    if (version >= 3) {
        b.flag(r.isText).i32(r.fontSize).i32(r.outlined).f32(r.textR).f32(r.textG).f32(r.textB);
        b.str(r.fontText).str(r.fontName);
    }
    if (version >= 4) b.f32(r.maskRadius).i32(r.mask).i32(r.maskAngle).flag(r.maskFit);
    return b.s;
}

std::string Encode(const Rec& r, int version) {
    std::string s = Fields(r, version);
    if (!r.isText) s += Bytes().u32(uint32_t(r.component.size())).s + r.component;
    return s;
}

std::string Head(int version, const std::string& theme, const std::string& picture, int w, int h) {
    return Bytes().i32(version).str(theme).str(picture).i32(w).i32(h).s;
}

Rec FromSlot(const TexImage& t, const std::string& component) {
    Rec r{t.name, t.width, t.height, t.depth, t.posX, t.posY, t.rotX, t.rotY, t.rotZ, t.channels,
          t.scaleX, t.scaleY, t.alpha, t.shadow, t.shadowAngle, t.shadowOffset, t.shadowDarkness, t.hue,
          t.saturation, t.lightness, t.frame, t.frameSize, t.frameColorR, t.frameColorG, t.frameColorB,
          t.fillR, t.fillG, t.fillB, t.reflection, t.texWidth, t.texHeight, t.isText, t.fontSize,
          t.outlined, t.textR, t.textG, t.textB, t.fontText, t.fontName, t.maskRadius, t.mask,
          t.maskAngle, t.maskFit, component};
    return r;
}

std::string Png(int w, int h, QColor c) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(c);
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return data.toStdString();
}

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Get(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Every file below root, as paths relative to it.
void ListFiles(const std::string& root, const std::string& rel, std::set<std::string>* out) {
    DIR* d = opendir((root + rel).c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        struct stat st;
        lstat((root + rel + n).c_str(), &st);
        if (S_ISDIR(st.st_mode)) ListFiles(root, rel + n + "/", out);
        else out->insert(rel + n);
    }
    closedir(d);
}

// A free slot with every field at its reset value (the kept fields aside).
bool IsReset(const TexImage& t) {
    return t.texture == 0 && t.pixels == nullptr && t.posX == 0 && t.posY == 0 && t.originX == 0 &&
           t.originY == 0 && t.rotX == 0 && t.rotY == 0 && t.rotZ == 0 && t.channels == 3 &&
           t.scaleX == 1.0f && t.scaleY == 1.0f && t.alpha == 1.0f && !t.shadow && !t.live &&
           t.reflection == 1.0f && t.shadowAngle == 45.0f && t.shadowOffset == 10.0f &&
           t.shadowDarkness == 20.0f && t.hue == 0.0f && t.saturation == 1.0f && t.lightness == 0.0f &&
           !t.frame && t.frameSize == 7 && t.fillR == -1.0f && t.fillG == -1.0f && t.fillB == -1.0f &&
           t.frameColorR == 0.95f && t.frameColorG == 0.95f && t.frameColorB == 0.95f && !t.isText &&
           t.fontSize == 60 && t.outlined == 0 && t.textR == 1.0f && t.textG == 1.0f && t.textB == 1.0f &&
           strcmp(t.fontText, "Hello") == 0 && strcmp(t.fontName, "Arial") == 0 &&
           t.maskRadius == 1.0f && t.mask == 0 && t.maskAngle == 0 && t.maskFit;
}

int LayerCount() {
    int n = 0;
    for (int s = kFirstLayer; s <= kLastLayer; ++s) n += texImages[s].texture != 0;
    return n;
}

int PopupCount() { return plat_CountMenuItems(util_GetMenu(dialog, kLayerPopup)); }

// Lowers a resource limit of the process (RLIMIT_FSIZE, RLIMIT_AS) until the end of the scope.
struct LimitFor {
    LimitFor(int resource, rlim_t value) : resource(resource) {
        getrlimit(resource, &old);
        struct rlimit lower = old;
        lower.rlim_cur = value < old.rlim_max ? value : old.rlim_max;
        oldSignal = signal(SIGXFSZ, SIG_IGN);   // a refused write fails instead of killing
        setrlimit(resource, &lower);
    }
    ~LimitFor() {
        setrlimit(resource, &old);
        signal(SIGXFSZ, oldSignal);
    }
    int resource;
    struct rlimit old;
    sighandler_t oldSignal;
};

// Answers the modal requests in turn: file dialogs get the next path, alerts are confirmed.
struct Answers {
    explicit Answers(std::vector<std::string> paths, bool accept = true) {
        plat_SetModalScript([this, paths, accept](const ModalRequest& r) {
            requests.push_back(r);
            ModalAnswer a;
            a.accepted = accept;
            if (r.kind != ModalKind::Alert && next < paths.size()) a.path = paths[next++];
            return a;
        });
    }
    ~Answers() { InstallDefaultModalScript(); }
    std::vector<ModalRequest> requests;
    size_t next = 0;
};

class ProjectFile : public ::testing::Test {
protected:
    void SetUp() override {
        themes = StartOnTheSampleTheme();   // Alpha, header.jpg: 200 x 100
        dir = MakeTempDir("project") + "/";
        memcpy(savedTemp, tempFolder, sizeof savedTemp);
        tmp = dir + "tmp/";
        mkdir(tmp.c_str(), 0700);
        snprintf(tempFolder, sizeof tempFolder, "%s", tmp.c_str());
        currProjectSaved = false;
        snapActive = 1;
        centerimage = kAnchorCentre;
    }
    void TearDown() override {
        memcpy(tempFolder, savedTemp, sizeof savedTemp);
        centerimage = kAnchorCentre;
        snapActive = 1;
        ResetProgramState();
        delete themes;
        ScriptedModals quiet;
        InitValues();
        ResetProgramState();
    }
    // Writes a project and imports it onto the picture being edited.
    void Import(const std::string& bytes) {
        Put(dir + "p.vntr", bytes);
        ScriptedModals none(false);
        LoadProject((dir + "p.vntr").c_str(), false);
        EXPECT_TRUE(none.requests.empty());
    }
    // A picture layer loaded from a real PNG file in the test folder.
    int PictureLayer(const std::string& name, int w, int h, QColor c) {
        Put(dir + name, Png(w, h, c));
        EXPECT_TRUE(LoadTexture((dir + name).c_str(), -1, true, false));
        return currentLayer;
    }
    static Rec Picture(const std::string& name, QColor c, int w = 4, int h = 3) {
        Rec r;
        r.name = name;
        r.component = Png(w, h, c);
        r.width = r.texWidth = w;
        r.height = r.texHeight = h;
        return r;
    }
    ThemeFolder* themes = nullptr;
    std::string dir, tmp;
    char savedTemp[1024];
};

const char* kThemeGone =
    "The Theme \"Gamma\" referred in the Project \"%s\" is not currently available. However you can "
    "apply this Project on any Image by selecting \"Load Project\"";
const char* kPictureGone =
    "The Image \"gone.png\" referred in the Project \"%s\" is not currently available. However you "
    "can apply this Project on any Image by selecting \"Load Project\"";

std::string Format(const char* f, const std::string& a) {
    char text[4096];
    snprintf(text, sizeof text, f, a.c_str());
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Saving

TEST(ProjectFileFormat, RecordSizesFollowTheVersions) {
    Rec r;
    r.name = "";
    r.fontText = r.fontName = "";
    EXPECT_EQ(Fields(r, 1).size(), 106u);
    EXPECT_EQ(Fields(r, 2).size(), 118u);
    EXPECT_EQ(Fields(r, 3).size(), 147u);
    EXPECT_EQ(Fields(r, 4).size(), 160u);
}

TEST_F(ProjectFile, SaveWritesHeaderPictureAndTextRecordsByteForByte) {
    int a = PictureLayer("a.png", 4, 3, Qt::red);
    TexImage& t = texImages[a];
    t.posX = 5, t.posY = -6, t.rotX = 1, t.rotY = 2, t.rotZ = -3, t.scaleX = 1.5f, t.scaleY = 0.5f;
    t.alpha = 0.75f, t.shadow = true, t.shadowAngle = 30, t.shadowOffset = 4, t.shadowDarkness = 12;
    t.hue = 90, t.saturation = 0.5f, t.lightness = -0.25f, t.frame = true, t.frameSize = 3;
    t.frameColorR = 0.1f, t.frameColorG = 0.2f, t.frameColorB = 0.3f, t.fillR = 10, t.fillG = 20;
    t.fillB = 30, t.reflection = 0.5f, t.maskRadius = 2, t.mask = 5, t.maskAngle = 15, t.maskFit = false;
    MakeLayer(2, 8, 2);
    TexImage& text = texImages[2];
    text.isText = true, text.fontSize = 30, text.outlined = 1, text.textR = 0.1f;
    snprintf(text.fontText, sizeof text.fontText, "Hi there");
    snprintf(text.fontName, sizeof text.fontName, "DejaVu Sans");
    snprintf(text.path, sizeof text.path, "%s", "Hi there");   // no file: text layers need none
    int gone = PictureLayer("gone.png", 2, 2, Qt::blue);
    unlink((dir + "gone.png").c_str());
    ASSERT_EQ(gone, 3);

    currProjectSaved = true;
    ScriptedModals none(false);
    SaveProject((dir + "out.vntr").c_str());
    EXPECT_TRUE(none.requests.empty()) << "a saved project is written without asking";

    std::string expected = Head(4, "Alpha", "header.jpg", 200, 100);
    EXPECT_EQ(expected.size(), 20u + 5 + 10);
    expected += Encode(FromSlot(t, Get(dir + "a.png")), 4) + Encode(FromSlot(text, ""), 4);
    EXPECT_EQ(Get(dir + "out.vntr"), expected) << "the deleted picture's layer is left out";
    EXPECT_STREQ(currProject, (dir + "out.vntr").c_str());
    EXPECT_TRUE(currProjectSaved);
}

TEST_F(ProjectFile, SaveAsksForTheFileUntilSavedAndAlwaysForSaveAs) {
    {
        Answers cancel({}, false);
        SaveProject(nullptr);
        ASSERT_EQ(cancel.requests.size(), 1u);
        EXPECT_EQ(cancel.requests[0].kind, ModalKind::SaveFile);
        EXPECT_EQ(cancel.requests[0].title, "Save Project");
        EXPECT_EQ(cancel.requests[0].suggestedName, "Alpha-header.vntr");
        EXPECT_FALSE(currProjectSaved);
    }
    {
        Answers answer({dir + "one.vntr"});
        SaveProject((dir + "ignored.vntr").c_str());   // not saved yet: asks all the same
        EXPECT_EQ(answer.requests.size(), 1u);
        EXPECT_FALSE(util_exists((dir + "ignored.vntr").c_str()));
        EXPECT_TRUE(util_exists((dir + "one.vntr").c_str()));
        EXPECT_STREQ(currProject, (dir + "one.vntr").c_str());
        EXPECT_TRUE(currProjectSaved);
        SaveProject(currProject);
        EXPECT_EQ(answer.requests.size(), 1u) << "a saved project is written in place";
        SaveProject(nullptr);
        EXPECT_EQ(answer.requests.size(), 2u) << "save-as always asks";
    }
}

TEST_F(ProjectFile, DefaultNamesDropFourCharactersOrKeepShortNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"photo.jpeg", "Alpha-photo..vntr"}, {"ab", "Alpha-ab.vntr"}, {"abcd", "Alpha-abcd.vntr"},
        {"", "Alpha.vntr"}, {"Editable_Images/x.jpg", "Alpha-Editable_Images-x.vntr"}};
    for (auto& c : cases) {
        snprintf(currentPicture, sizeof currentPicture, "%s", c.first);
        ScriptedModals cancel(false);
        SaveProject(nullptr);
        ASSERT_EQ(cancel.requests.size(), 1u);
        EXPECT_EQ(cancel.requests[0].suggestedName, c.second) << c.first;
    }
}

TEST_F(ProjectFile, FailedSaveKeepsThePreviousFile) {
    PictureLayer("big.png", 64, 64, Qt::green);
    Put(dir + "keep.vntr", "previous project");
    {
        Answers answer({dir + "keep.vntr"});
        LimitFor small(RLIMIT_FSIZE, 100);   // no file can grow beyond 100 bytes
        SaveProject(nullptr);
    }
    EXPECT_EQ(Get(dir + "keep.vntr"), "previous project");
    EXPECT_FALSE(currProjectSaved);
    std::set<std::string> files;
    ListFiles(dir, "", &files);
    EXPECT_EQ(files, (std::set<std::string>{"big.png", "keep.vntr"})) << "no scratch file is left";
}

TEST_F(ProjectFile, SavedStackImportsBackWithEveryField) {
    int a = PictureLayer("a.png", 6, 4, Qt::red);
    texImages[a].posX = 11, texImages[a].rotZ = 45, texImages[a].scaleX = 2, texImages[a].hue = 30;
    texImages[a].mask = 7, texImages[a].shadow = true, texImages[a].reflection = 0.25f;
    int b = PictureLayer("b.png", 3, 5, Qt::blue);
    texImages[b].alpha = 0.5f, texImages[b].frame = true, texImages[b].frameSize = 9, texImages[b].hue = 200;
    TexImage wantA = texImages[a], wantB = texImages[b];
    currProjectSaved = true;
    ScriptedModals none(false);
    SaveProject((dir + "round.vntr").c_str());
    DeleteTextures(1);
    LoadProject((dir + "round.vntr").c_str(), false);
    EXPECT_TRUE(none.requests.empty());
    ASSERT_EQ(LayerCount(), 2);
    EXPECT_EQ(PopupCount(), 2);
    for (const TexImage* w : {&wantA, &wantB}) {
        const TexImage& got = texImages[w == &wantA ? 1 : 2];
        EXPECT_STREQ(got.name, w->name);
        EXPECT_TRUE(got.posX == w->posX && got.originX == w->posX && got.rotZ == w->rotZ) << w->name;
        EXPECT_EQ(got.width, int(w->texWidth * w->scaleX));
        EXPECT_TRUE(got.alpha == w->alpha && got.hue == w->hue && got.mask == w->mask) << w->name;
        EXPECT_TRUE(got.frameSize == w->frameSize && got.reflection == w->reflection) << w->name;
    }
    EXPECT_EQ(texImages[2].depth, NewPos(2));
    EXPECT_FALSE(currProjectSaved) << "the next save asks for a name";
}

// ---------------------------------------------------------------------------------------------
// Reading: versions, import, repositioning, fill

TEST_F(ProjectFile, EachVersionReadsExactlyItsFields) {
    for (int version = 1; version <= 4; ++version) {
        SCOPED_TRACE(version);
        DeleteTextures(1);
        Rec r = Picture("v.png", Qt::red);
        r.posX = 7, r.posY = 8, r.rotZ = 12, r.alpha = 0.5f, r.shadow = true, r.frameSize = 4;
        r.hue = 30, r.reflection = 0.5f, r.fontText = "Kept", r.mask = 3, r.maskFit = false;
        Rec second = Picture("w.png", Qt::blue);
        second.hue = 60;
        Import(Head(version, "Alpha", "header.jpg", 200, 100) + Encode(r, version) + Encode(second, version));
        ASSERT_EQ(LayerCount(), 2);
        const TexImage& t = texImages[1];
        EXPECT_STREQ(t.name, "v.png");
        EXPECT_EQ(t.posX, 7);
        EXPECT_EQ(t.originY, 8);
        EXPECT_EQ(t.rotZ, 12);
        EXPECT_EQ(t.alpha, 0.5f);
        EXPECT_TRUE(t.shadow);
        EXPECT_EQ(t.frameSize, 4);
        EXPECT_EQ(t.texWidth, 4);
        EXPECT_EQ(t.depth, NewPos(1));
        EXPECT_EQ(t.reflection, version >= 2 ? 0.5f : 1.0f);
        EXPECT_STREQ(t.fontText, version >= 3 ? "Kept" : "Hello");
        EXPECT_EQ(t.mask, version >= 4 ? 3 : 0);
        EXPECT_EQ(t.maskFit, version < 4);
        EXPECT_FALSE(t.isText);
        ASSERT_NE(t.pixels, nullptr);
        EXPECT_EQ(t.pixels[0], 255);   // the component's own pixels
        EXPECT_EQ(t.pixels[2], 0);
        EXPECT_EQ(texImages[2].pixels[2], 255);
        EXPECT_EQ(texImages[2].hue, 60.0f);
        EXPECT_EQ(PopupCount(), 2);
    }
}

TEST_F(ProjectFile, ImportPutsTheLayersAboveTheExistingOnes) {
    for (int s = 1; s <= 3; ++s) MakeLayer(s, 5, 5, 0x10203040u * s);
    GLuint textures[4];
    for (int s = 1; s <= 3; ++s) textures[s] = texImages[s].texture;
    currProjectSaved = true;
    Import(Head(4, "Other", "elsewhere.png", 10, 10) + Encode(Picture("x.png", Qt::red), 4) +
           Encode(Picture("y.png", Qt::blue), 4));
    EXPECT_EQ(LayerCount(), 5);
    for (int s = 1; s <= 3; ++s) {
        EXPECT_EQ(texImages[s].texture, textures[s]) << s;
        EXPECT_EQ(texImages[s].pixels[0], uint8_t(0x10 * s)) << s;
    }
    EXPECT_STREQ(texImages[4].name, "x.png");
    EXPECT_STREQ(texImages[5].name, "y.png");
    EXPECT_EQ(texImages[5].depth, NewPos(5));
    EXPECT_STREQ(currentTheme, "Alpha") << "the picture being edited keeps its names";
    EXPECT_STREQ(currentPicture, "header.jpg");
    EXPECT_FALSE(currProjectSaved);
}

TEST_F(ProjectFile, LayersAreRepositionedOnlyOnASmallerPictureWithSnapOn) {
    struct Case { int w, h, snap, x, y; } cases[] = {
        {400, 100, 1, 180, 90},   // wider project: aligned by the anchor (bottom right)
        {200, 101, 1, 180, 90},
        {200, 100, 1, 7, 8},      // same size: the stored position
        {400, 400, 0, 7, 8},      // aligning new layers is off
    };
    centerimage = 288;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w * 1000 + c.h);
        DeleteTextures(1);
        snapActive = c.snap;
        Rec r = Picture("p.png", Qt::red, 20, 10);
        r.posX = 7, r.posY = 8, r.hue = 5;
        Import(Head(4, "Alpha", "header.jpg", c.w, c.h) + Encode(r, 4));
        ASSERT_EQ(LayerCount(), 1);
        EXPECT_EQ(texImages[1].posX, c.x);
        EXPECT_EQ(texImages[1].posY, c.y);
        EXPECT_EQ(texImages[1].originX, c.x);
    }
}

TEST_F(ProjectFile, AFillIsPaintedAgainAndTheColourAdjustmentsStay) {
    Rec filled = Picture("f.png", Qt::white);
    filled.fillR = 10, filled.fillG = 20, filled.fillB = 30, filled.hue = 40, filled.lightness = 0.25f;
    Rec plain = Picture("g.png", Qt::white);
    plain.hue = 10;
    Import(Head(4, "Alpha", "header.jpg", 200, 100) + Encode(filled, 4) + Encode(plain, 4));
    ASSERT_EQ(LayerCount(), 2);
    const TexImage& t = texImages[1];
    EXPECT_EQ(t.pixels[0], 10);
    EXPECT_EQ(t.pixels[1], 20);
    EXPECT_EQ(t.pixels[2], 30);
    EXPECT_EQ(t.pixels[3], 255);
    EXPECT_EQ(t.hue, 40.0f);
    EXPECT_EQ(t.lightness, 0.25f);
    EXPECT_EQ(texImages[2].pixels[0], 255) << "no fill stored, none painted";
}

TEST_F(ProjectFile, AProjectWithoutLayersIsTheHeaderAloneAndAddsThePictureItself) {
    currProjectSaved = true;
    ScriptedModals none(false);
    SaveProject((dir + "empty.vntr").c_str());
    EXPECT_TRUE(none.requests.empty());
    ASSERT_EQ(Get(dir + "empty.vntr"), Head(4, "Alpha", "header.jpg", 200, 100));
    LoadProject((dir + "empty.vntr").c_str(), true);
    ASSERT_EQ(LayerCount(), 1);
    EXPECT_EQ(texImages[1].width, 200);
    EXPECT_EQ(texImages[1].posX, 0);
}

TEST_F(ProjectFile, ImportNeedsAPictureAndDialogsRefuseOtherFiles) {
    Put(dir + "p.vntr", Head(4, "Alpha", "header.jpg", 200, 100) + Encode(Picture("x.png", Qt::red), 4));
    Put(dir + "notes.txt", Get(dir + "p.vntr"));
    themeLoaded = false;
    currProjectSaved = true;
    {
        ScriptedModals none(true);
        LoadProject(nullptr, false);
        EXPECT_TRUE(none.requests.empty());
    }
    EXPECT_TRUE(currProjectSaved);
    themeLoaded = true;
    {
        Answers answer({dir + "notes.txt", ""}, true);
        LoadProject(nullptr, false);
        ExplodeProject(nullptr);
        ASSERT_EQ(answer.requests.size(), 2u);
        for (auto& r : answer.requests) {
            EXPECT_EQ(r.kind, ModalKind::OpenFile);
            EXPECT_EQ(r.title, "Load Project");
        }
    }
    EXPECT_EQ(LayerCount(), 0);
    EXPECT_FALSE(currProjectSaved);
    Answers cancel({dir + "p.vntr"}, false);
    LoadProject(nullptr, true);
    EXPECT_EQ(LayerCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Open mode

TEST_F(ProjectFile, OpenSwitchesToTheProjectsThemeAndPicture) {
    MakeLayer(1, 5, 5);
    Put(dir + "p.vntr", Head(4, "Beta", "banner.png", 160, 80) + Encode(Picture("x.png", Qt::red), 4));
    ScriptedModals none(false);
    LoadProject((dir + "p.vntr").c_str(), true);
    EXPECT_TRUE(none.requests.empty());
    EXPECT_STREQ(currentTheme, "Beta");
    EXPECT_STREQ(currentPicture, "banner.png");
    EXPECT_EQ(texImages[0].width, 160);
    ASSERT_EQ(LayerCount(), 1) << "the layers of the previous picture are gone";
    EXPECT_STREQ(texImages[1].name, "x.png");
}

TEST_F(ProjectFile, OpenFindsAnEditableOnlyPictureUnderEditableImages) {
    Put(dir + "p.vntr", Head(4, "Alpha", "logo.png", 120, 60) + Encode(Picture("x.png", Qt::red), 4));
    ScriptedModals none(false);
    LoadProject((dir + "p.vntr").c_str(), true);
    EXPECT_TRUE(none.requests.empty());
    EXPECT_STREQ(currentPicture, "Editable_Images/logo.png") << "names the picture being edited";
    EXPECT_EQ(texImages[0].width, 120);
    EXPECT_EQ(LayerCount(), 1);
}

TEST_F(ProjectFile, OpenNamesAMissingThemeOrPictureAndStops) {
    MakeLayer(1, 5, 5);
    GLuint kept = texImages[1].texture;
    std::string path = dir + "p.vntr";
    Put(path, Head(4, "Gamma", "header.jpg", 200, 100) + Encode(Picture("x.png", Qt::red), 4));
    {
        ScriptedModals ok(true);
        LoadProject(path.c_str(), true);
        ASSERT_EQ(ok.requests.size(), 1u);
        EXPECT_EQ(ok.requests[0].kind, ModalKind::Alert);
        EXPECT_EQ(ok.requests[0].message, Format(kThemeGone, path));
        EXPECT_EQ(ok.requests[0].cancelText, "");
    }
    EXPECT_EQ(texImages[1].texture, kept) << "nothing changes";
    EXPECT_STREQ(currentTheme, "Alpha");
    Put(path, Head(4, "Beta", "gone.png", 200, 100) + Encode(Picture("x.png", Qt::red), 4));
    ScriptedModals ok(true);
    LoadProject(path.c_str(), true);
    ASSERT_EQ(ok.requests.size(), 1u);
    EXPECT_EQ(ok.requests[0].message, Format(kPictureGone, path));
    EXPECT_STREQ(currentTheme, "Beta") << "the theme switch has happened";
    EXPECT_EQ(LayerCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Unpacking

TEST_F(ProjectFile, ExplodeWritesExactlyThePictureLayers) {
    Rec text;
    text.isText = true, text.name = "Title", text.fontText = "Title";
    Rec one = Picture("one.png", Qt::red);
    Rec two = one;
    two.name = "two.jpg", two.component = "not even a picture";
    std::string path = dir + "p.vntr";
    Put(path, Head(3, "Alpha", "header.jpg", 200, 100) + Encode(one, 3) + Encode(text, 3) + Encode(two, 3));
    std::string out = dir + "out";
    mkdir(out.c_str(), 0700);
    Put(out + "/one.png", "old");
    MakeLayer(1, 5, 5);
    GLuint kept = texImages[1].texture;
    {
        Answers answer({out});
        ExplodeProject(path.c_str());
        ASSERT_EQ(answer.requests.size(), 1u);
        EXPECT_EQ(answer.requests[0].kind, ModalKind::ChooseFolder);
        EXPECT_EQ(answer.requests[0].title, "Select a folder for the images");
        EXPECT_EQ(answer.requests[0].suggestedName, "images_for_Alpha");
    }
    std::set<std::string> files;
    ListFiles(out + "/", "", &files);
    EXPECT_EQ(files, (std::set<std::string>{"one.png", "two.jpg"}));
    EXPECT_EQ(Get(out + "/one.png"), one.component) << "an existing file is replaced";
    EXPECT_EQ(Get(out + "/two.jpg"), two.component);
    EXPECT_EQ(texImages[1].texture, kept);
    EXPECT_EQ(LayerCount(), 1);

    unlink((out + "/one.png").c_str());
    Answers cancel({out}, false);
    ExplodeProject(path.c_str());
    EXPECT_FALSE(util_exists((out + "/one.png").c_str()));
}

// ---------------------------------------------------------------------------------------------
// Files that lie

TEST_F(ProjectFile, LayerNamesNeverLeaveTheirFolder) {
    const char* names[] = {"../escape1.png", "../../escape2.png", "sub/../../escape3.png", "/abs/escape4.png",
                           "..", "", ".hidden.png", ".", "linked.png"};
    Put(dir + "outside", "untouched");   // a planted link must be replaced, not written through
    ASSERT_EQ(symlink((dir + "outside").c_str(), (tmp + "linked.png").c_str()), 0);
    std::string bytes = Head(4, "Alpha", "header.jpg", 200, 100);
    for (const char* n : names) {
        Rec r = Picture(n, Qt::red);
        r.hue = 3;
        bytes += Encode(r, 4);
    }
    Import(bytes);
    EXPECT_EQ(LayerCount(), 9) << "every layer is kept under a harmless name";
    std::set<std::string> files;
    ListFiles(dir, "", &files);
    for (const std::string& f : files) {
        EXPECT_TRUE(f == "p.vntr" || f == "outside" || f.rfind("tmp/", 0) == 0) << f;
        EXPECT_EQ(f.find("/."), std::string::npos) << f;
    }
    EXPECT_TRUE(files.count("tmp/escape1.png") && files.count("tmp/escape4.png") && files.count("tmp/hidden.png"));
    EXPECT_TRUE(files.count("tmp/layer"));

    std::string out = dir + "out";
    mkdir(out.c_str(), 0700);
    ASSERT_EQ(symlink((dir + "outside").c_str(), (out + "/linked.png").c_str()), 0);
    Answers answer({out});
    ExplodeProject((dir + "p.vntr").c_str());
    EXPECT_EQ(Get(dir + "outside"), "untouched");
    std::set<std::string> after;
    ListFiles(dir, "", &after);
    for (const std::string& f : after)
        EXPECT_TRUE(files.count(f) || (f.rfind("out/", 0) == 0 && f.find('/', 4) == std::string::npos &&
                                        f[4] != '.')) << f;
    EXPECT_TRUE(after.count("out/escape2.png") && after.count("out/layer"));
}

TEST_F(ProjectFile, LayersOfTheSameNameKeepTheirOwnFiles) {
    Rec red = Picture("same.png", Qt::red), blue = Picture("same.png", Qt::blue), last = Picture("z.png", Qt::green);
    red.hue = blue.hue = last.hue = 1;
    std::string project = Head(4, "Alpha", "header.jpg", 200, 100) + Encode(red, 4) + Encode(blue, 4) + Encode(last, 4);
    Import(project);
    ASSERT_EQ(LayerCount(), 3);
    EXPECT_STRNE(texImages[1].path, texImages[2].path);
    EXPECT_EQ(Get(texImages[1].path), red.component);
    EXPECT_EQ(Get(texImages[2].path), blue.component);
    EXPECT_STREQ(texImages[2].name, "same.png");
    Import(project);   // a second import must not replace the files of the first
    ASSERT_EQ(LayerCount(), 6);
    EXPECT_EQ(Get(texImages[1].path), red.component);
    EXPECT_EQ(Get(texImages[2].path), blue.component);
    EXPECT_EQ(Get(texImages[4].path), red.component);
    std::set<std::string> paths;
    for (int s = 1; s <= 6; ++s) paths.insert(texImages[s].path);
    EXPECT_EQ(paths.size(), 6u);
}

TEST_F(ProjectFile, AComponentThatIsNoPictureIsLeftOutAndTheNextTakesItsSlot) {
    Rec junk = Picture("junk.png", Qt::red), next = Picture("next.png", Qt::blue);
    junk.component = "this is not a picture", junk.posX = 77, junk.hue = next.hue = 9;
    Import(Head(4, "Alpha", "header.jpg", 200, 100) + Encode(junk, 4) + Encode(next, 4));
    ASSERT_EQ(LayerCount(), 1);
    EXPECT_STREQ(texImages[1].name, "next.png");
    EXPECT_EQ(texImages[1].posX, 0);
    EXPECT_EQ(PopupCount(), 1);
    EXPECT_TRUE(IsReset(texImages[2]));
}

TEST_F(ProjectFile, LengthsAndValuesBeyondTheLimitsAreRefused) {
    const std::string head = Head(4, "Alpha", "header.jpg", 200, 100);
    const Rec good = Picture("good.png", Qt::red);
    auto with = [&](std::function<void(Rec&)> change) {
        Rec r = good;
        change(r);
        return Encode(r, 4);
    };
    const std::string huge = Bytes().u32(0xffffffffu).s;
    std::string bad[] = {
        huge + "x",                                                  // name length
        Bytes().str(std::string(1024, 'n')).s + Fields(good, 4).substr(4 + good.name.size()),
        Fields(good, 4) + Bytes().u32(0x7ffffff0u).s + "tiny",       // component beyond the file
        with([](Rec& r) { r.isText = true, r.fontText = std::string(255, 't'); }),
        with([](Rec& r) { r.isText = true, r.fontName = std::string(256, 'f'); }),
        with([](Rec& r) { r.isText = true, r.fontSize = 100000; }),
        with([](Rec& r) { r.width = -5; }),
        with([](Rec& r) { r.texHeight = 1 << 30; }),
        with([](Rec& r) { r.scaleX = NAN; }),
        with([](Rec& r) { r.scaleY = 1e9f; }),
        with([](Rec& r) { r.fillR = INFINITY; }),
        with([](Rec& r) { r.mask = 25; }),
        with([](Rec& r) { r.mask = -1; }),
        with([](Rec& r) { r.frameSize = -3; }),
    };
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        SCOPED_TRACE(i);
        for (bool first : {true, false}) {
            DeleteTextures(1);
            MakeLayer(1, 5, 5);
            GLuint kept = texImages[1].texture;
            toSave = false;
            std::string bytes = head + (first ? "" : Encode(good, 4)) + bad[i] + Encode(good, 4);
            if (first) {
                // A stated size must never be allocated before it is checked: the process gets
                // little more address space than it has.
                LimitFor tight(RLIMIT_AS, rlim_t(pages) * sysconf(_SC_PAGESIZE) + (512u << 20));
                Import(bytes);
            } else {
                Import(bytes);
            }
            EXPECT_EQ(texImages[1].texture, kept);
            EXPECT_EQ(LayerCount(), first ? 1 : 2) << "the walk stops at the refused record";
            for (int s = first ? 2 : 3; s <= kLastLayer; ++s) ASSERT_TRUE(IsReset(texImages[s])) << s;
            if (first) {
                EXPECT_FALSE(toSave) << "a refused file leaves the work as it was";
            }
        }
    }
}

TEST_F(ProjectFile, DamagedHeadersChangeNothing) {
    const std::string layer = Encode(Picture("x.png", Qt::red), 4);
    std::string bad[] = {
        Bytes().i32(4).str(std::string(1024, 'T')).str("header.jpg").i32(200).i32(100).s + layer,
        Bytes().i32(4).str("Alpha").u32(0xfffffff0u).s + layer,
        Bytes().i32(4).str("Alpha").str("header.jpg").i32(200).s,
    };
    for (const std::string& b : bad) {
        DeleteTextures(1);
        MakeLayer(1, 5, 5);
        Put(dir + "p.vntr", b);
        for (bool open : {false, true}) {
            ScriptedModals none(false);
            LoadProject((dir + "p.vntr").c_str(), open);
            EXPECT_TRUE(none.requests.empty());
            EXPECT_EQ(LayerCount(), 1);
            EXPECT_STREQ(texImages[1].name, "layer1");
            EXPECT_EQ(texImages[0].width, 200);
        }
        std::string out = dir + "out";
        mkdir(out.c_str(), 0700);
        Answers answer({out});
        ExplodeProject((dir + "p.vntr").c_str());
        std::set<std::string> files;
        ListFiles(out + "/", "", &files);
        EXPECT_TRUE(files.empty());
    }
}

TEST_F(ProjectFile, ACutAtAnyByteLoadsTheWholeRecordsOnly) {
    const std::string head = Head(4, "Alpha", "header.jpg", 200, 100);
    Rec a = Picture("a.png", Qt::red, 2, 2), b = Picture("b.png", Qt::blue, 2, 2);
    a.hue = b.hue = 2;
    const std::string full = head + Encode(a, 4) + Encode(b, 4);
    const size_t endA = head.size() + Encode(a, 4).size();
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        DeleteTextures(1);
        toSave = false;
        Import(full.substr(0, cut));
        // Fewer than four bytes after the header hold no name length: the walk ends there, as
        // it does for the header alone.
        int expected = cut < head.size() ? 0 : cut < head.size() + 4 ? 1 : cut < endA ? 0 : cut < full.size() ? 1 : 2;
        ASSERT_EQ(LayerCount(), expected) << "cut at " << cut;
        ASSERT_EQ(PopupCount(), expected) << "cut at " << cut;
        for (int s = 1; s <= expected; ++s) ASSERT_NE(texImages[s].pixels, nullptr) << "cut at " << cut;
        for (int s = expected + 1; s <= kLastLayer; ++s) ASSERT_TRUE(IsReset(texImages[s])) << s << " cut at " << cut;
        if (cut >= endA) {
            ASSERT_STREQ(texImages[1].name, "a.png");
        }
    }
}

TEST_F(ProjectFile, AFullProjectKeepsEveryLayerWhenOpenedOrImported) {
    std::string bytes = Head(4, "Alpha", "header.jpg", 200, 100);
    for (int i = 1; i <= kLastLayer; ++i) {
        Rec r = Picture("l" + std::to_string(i) + ".png", QColor(i, 0, 0), 2, 2);
        r.hue = 1;   // keeps the duplicate's colour step out of the way
        bytes += Encode(r, 4);
    }
    for (bool open : {false, true}) {
        SCOPED_TRACE(open);
        DeleteTextures(1);
        Put(dir + "full.vntr", bytes);
        ScriptedModals none(false);
        EXPECT_EQ(LoadProject((dir + "full.vntr").c_str(), open), noErr);
        ASSERT_EQ(LayerCount(), kLastLayer);
        EXPECT_EQ(PopupCount(), kLastLayer);
        for (int s = 1; s <= kLastLayer; ++s)
            ASSERT_EQ(texImages[s].pixels[0], s) << "slot " << s << " holds its own record";
        EXPECT_STREQ(texImages[kLastLayer].name, "l98.png");
        EXPECT_EQ(currentLayer, kLastLayer) << "the last layer is selected";
    }
}

TEST_F(ProjectFile, VersionsOutsideOneToFourReadAsTheNearestAndStrayEndBytesEndTheWalk) {
    Rec r = Picture("v.png", Qt::red);
    r.reflection = 0.5f, r.mask = 3, r.maskFit = false, r.hue = 1;
    struct Case { int stored, readAs; } cases[] = {{0, 1}, {-7, 1}, {5, 4}, {1000, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        DeleteTextures(1);
        std::string bytes = Head(c.stored, "Alpha", "header.jpg", 200, 100) + Encode(r, c.readAs);
        Put(dir + "v.vntr", bytes);
        ScriptedModals none(false);
        EXPECT_EQ(LoadProject((dir + "v.vntr").c_str(), false), noErr);
        ASSERT_EQ(LayerCount(), 1);
        EXPECT_STREQ(texImages[1].name, "v.png");
        EXPECT_EQ(texImages[1].reflection, c.readAs == 4 ? 0.5f : 1.0f);
        EXPECT_EQ(texImages[1].mask, c.readAs == 4 ? 3 : 0);
        std::string out = MakeTempDir("explode");
        Answers answer({out});
        EXPECT_EQ(ExplodeProject((dir + "v.vntr").c_str()), noErr);
        EXPECT_EQ(Get(out + "/v.png"), r.component);
    }
    // The header alone, then with one to three stray bytes: the same end of the walk.
    const std::string head = Head(4, "Alpha", "header.jpg", 200, 100);
    DeleteTextures(1);
    Import(head);
    const int alone = LayerCount();
    for (int stray = 1; stray <= 3; ++stray) {
        SCOPED_TRACE(stray);
        DeleteTextures(1);
        Put(dir + "s.vntr", head + std::string(size_t(stray), '\x7f'));
        ScriptedModals none(false);
        EXPECT_EQ(LoadProject((dir + "s.vntr").c_str(), false), noErr);
        EXPECT_EQ(LayerCount(), alone);
        EXPECT_EQ(PopupCount(), alone);
    }
    DeleteTextures(1);
    Put(dir + "d.vntr", head + Bytes().u32(0xffffffffu).s + "x");
    ScriptedModals none(false);
    EXPECT_EQ(LoadProject((dir + "d.vntr").c_str(), false), paramErr) << "a damaged record is reported";
}
