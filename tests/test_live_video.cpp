// Live video: the toggle streams the test pattern through the real frame road (sink, conversion,
// scaling, sub-image upload, redraw) into a placeholder layer and freezes the last frame into the
// layer's pixels and its JPEG file; one capture at a time; a machine without a camera keeps the
// placeholder without a message; a frozen layer is duplicated and travels through a project.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "app_main.h"
#include "app_state.h"
#include "canvas_window.h"
#include "drawers.h"
#include "gl_context.h"
#include "ids.h"
#include "layer_table.h"
#include "live_capture.h"
#include "live_video.h"
#include "navigation.h"
#include "picture_files.h"
#include "textures.h"
#include "theme_fixture.h"
#include "tools_window.h"
#include "util_controls.h"
#include "util_files.h"

namespace {

enum { kLiveStart = 543, kLiveStop = 544, kHueSlider = 600 };

std::vector<uint8_t> ReadTexture(GLuint texture, int w, int h) {
    std::vector<uint8_t> px(size_t(w) * h * 4);
    plat_MakeCurrent(glContext);
    glBindTexture(mapTarget, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(mapTarget, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

std::vector<uint8_t> Decode(const std::string& path, long* w = nullptr, long* h = nullptr, unsigned long* type = nullptr) {
    long width = 0, height = 0;
    int channels = 0;
    unsigned long t = 0;
    uint8_t* px = LoadImage(path.c_str(), &width, &height, &channels, &t);
    std::vector<uint8_t> out;
    if (px) out.assign(px, px + size_t(width) * height * 4);
    free(px);
    if (w) *w = width;
    if (h) *h = height;
    if (type) *type = t;
    return out;
}

std::string Bytes(const std::string& path) {
    std::string out;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
        fclose(f);
    }
    return out;
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
}

// Runs the event loop until the live texture differs from before (or two seconds pass).
std::vector<uint8_t> NextFrame(const TexImage& t, const std::vector<uint8_t>& before) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::vector<uint8_t> now;
    do {
        plat_ProcessEvents(20);
        now = ReadTexture(t.texture, t.texWidth, t.texHeight);
    } while (now == before && std::chrono::steady_clock::now() < end);
    return now;
}

bool Enabled(WindowRef w, int id) {
    ControlRef c = nullptr;
    return util_GetControlRef(w, id, &c) && plat_IsControlEnabled(c);
}
bool Visible(WindowRef w, int id) {
    ControlRef c = nullptr;
    return util_GetControlRef(w, id, &c) && plat_IsControlVisible(c);
}
void Click(WindowRef w, int id) {
    ControlRef c = nullptr;
    ASSERT_TRUE(util_GetControlRef(w, id, &c));
    plat_ClickControl(c);
}
void KeyL() {
    Event e;
    e.eventClass = kEventClassKeyboard;
    e.kind = kEventRawKeyDown;
    e.window = dialog;
    e.keyCode = 37;
    plat_DispatchEvent(e);
}

std::string TempFolder() {
    char t[kPathSize] = "";
    util_GetTempFolder(t);
    return t;
}

const int kGuarded[] = {kDuplicateButton, kUpButton, kDownButton, kDeleteButton, kRestoreButton,
                        kWriteButton, kExportButton, kOpenProjectButton, kSaveAsButton, kSaveButton};

class LiveVideo : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VINTREL_CAMERA", "test-pattern", 1);
        EnsureProgramStarted();
        MakeBasePicture(800, 600);
        char res[kPathSize] = "";
        ASSERT_TRUE(GetResFolder(res));
        placeholder = Decode(std::string(res) + "/live.jpg", &placeholderW, &placeholderH);
        ASSERT_FALSE(placeholder.empty());
    }
    void TearDown() override {
        StopLiveCapture();
        ResetProgramState();
    }
    std::vector<uint8_t> placeholder;
    long placeholderW = 0, placeholderH = 0;
};

TEST_F(LiveVideo, ThreeTogglesStreamFreezeAndStreamAgain) {
    ScriptedModals none(false);
    KeyL();
    ASSERT_NE(_cLive, nullptr);
    EXPECT_TRUE(_cLive->active);
    TexImage& t = texImages[1];
    ASSERT_EQ(currentLayer, 1);
    EXPECT_STREQ(t.name, "live1.jpg");
    EXPECT_EQ(std::string(t.path), TempFolder() + "live1.jpg");
    EXPECT_TRUE(t.live);
    EXPECT_TRUE(toSave) << "a new layer is unsaved work";
    EXPECT_EQ(t.texWidth, placeholderW);
    EXPECT_EQ(t.posX, (800 - t.width) / 2);
    EXPECT_EQ(t.originY, (600 - t.height) / 2);
    for (int id : kGuarded) EXPECT_FALSE(Enabled(dialog, id)) << "control " << id;
    for (int item = 1; item <= 3; ++item) EXPECT_FALSE(plat_IsMenuItemEnabled(kMenuProject, item));
    EXPECT_FALSE(Enabled(drawer_color, kHueSlider));
    EXPECT_FALSE(Enabled(drawer_extras, kShadowCheck));
    EXPECT_TRUE(Visible(drawer_extras, kLiveStop));
    EXPECT_FALSE(Visible(drawer_extras, kLiveStart));

    // Frames replace the placeholder in the same texture, at the layer's size, and keep moving.
    const GLuint name = t.texture;
    std::vector<uint8_t> first = NextFrame(t, placeholder);
    ASSERT_NE(first, placeholder) << "no frame reached the texture";
    std::vector<uint8_t> second = NextFrame(t, first);
    EXPECT_NE(second, first) << "the pattern does not move";
    EXPECT_EQ(t.texture, name) << "frames must not re-create the texture";
    EXPECT_EQ(std::vector<uint8_t>(t.pixels, t.pixels + placeholder.size()), placeholder)
        << "the pixel copy keeps the placeholder while live";
    // The pattern's bars arrive as RGB colours: every pixel of row 120 is one of the eight bars
    // (white, yellow, cyan, green, magenta, red, blue, black) or a blend at a bar's edge.
    int pure = 0;
    for (int x = 0; x < t.texWidth; ++x) {
        const uint8_t* p = &second[(size_t(120) * t.texWidth + x) * 4];
        bool bar = true;
        for (int c = 0; c < 3; ++c) bar = bar && (p[c] < 8 || p[c] > 247);
        pure += bar && p[3] == 255;
    }
    EXPECT_GT(pure, t.texWidth * 3 / 4) << "frames are not converted to RGBA";
    EXPECT_EQ(liveVideoRect.right, 1280);
    EXPECT_EQ(liveVideoRect.bottom, 720);

    // Second toggle (Stop): the last shown frame becomes the pixels and the JPEG file.
    std::vector<uint8_t> shown = ReadTexture(t.texture, t.texWidth, t.texHeight);
    Click(drawer_extras, kLiveStop);
    EXPECT_EQ(_cLive, nullptr);
    EXPECT_EQ(plat_OpenCameraCount(), 0);
    EXPECT_FALSE(t.live);
    EXPECT_EQ(std::vector<uint8_t>(t.pixels, t.pixels + shown.size()), shown);
    long fw = 0, fh = 0;
    unsigned long type = 0;
    std::vector<uint8_t> file = Decode(t.path, &fw, &fh, &type);
    EXPECT_EQ(fw, t.texWidth);
    EXPECT_EQ(fh, t.texHeight);
    EXPECT_EQ(type, FourCC("JPEG"));
    EXPECT_LT(MeanDifference(file, shown), 6.0) << "the file holds the frozen frame";
    EXPECT_GT(MeanDifference(file, placeholder), 20.0);
    for (int id : {kDuplicateButton, kDeleteButton, kWriteButton, kExportButton, kSaveButton})
        EXPECT_TRUE(Enabled(dialog, id)) << "control " << id;
    EXPECT_TRUE(plat_IsMenuItemEnabled(kMenuProject, 3));
    EXPECT_TRUE(Visible(drawer_extras, kLiveStart));
    plat_ProcessEvents(100);
    EXPECT_EQ(ReadTexture(t.texture, t.texWidth, t.texHeight), shown) << "nothing feeds a frozen layer";

    // Third toggle (Start): a second copy, a second live layer; the first stays frozen.
    Click(drawer_extras, kLiveStart);
    ASSERT_NE(_cLive, nullptr);
    EXPECT_EQ(currentLayer, 2);
    EXPECT_STREQ(texImages[2].name, "live2.jpg");
    EXPECT_TRUE(texImages[2].live);
    EXPECT_FALSE(texImages[1].live);
    EXPECT_TRUE(util_exists((TempFolder() + "live1.jpg").c_str()));
    EXPECT_TRUE(util_exists((TempFolder() + "live2.jpg").c_str()));
    EXPECT_NE(NextFrame(texImages[2], placeholder), placeholder);
    EXPECT_EQ(ReadTexture(t.texture, t.texWidth, t.texHeight), shown);
    EXPECT_TRUE(none.requests.empty());

    // Quit: the capture ends without freezing.
    StopLiveCapture();
    EXPECT_EQ(_cLive, nullptr);
    EXPECT_EQ(liveSeqGrabber, nullptr);
    EXPECT_EQ(plat_OpenCameraCount(), 0);
    EXPECT_TRUE(texImages[2].live);
}

TEST_F(LiveVideo, ASecondCaptureStaysInactiveAndLeavesTheFirstAlone) {
    HandleLiveVideo();
    ASSERT_NE(_cLive, nullptr);
    ASSERT_TRUE(_cLive->active);
    MakeLayer(5, 64, 48);
    unsigned int tex = texImages[5].texture;
    long w = 64, h = 48;
    int c = 4;
    auto* second = new cLive(window, glContext, tex, w, h, c, 0.002f);
    EXPECT_FALSE(second->active);
    EXPECT_EQ(second->timer, nullptr);
    delete second;
    EXPECT_NE(liveSeqGrabber, nullptr);
    EXPECT_EQ(plat_OpenCameraCount(), 1);
    EXPECT_EQ(liveTexAddress, texImages[1].texture);
    std::vector<uint8_t> before = ReadTexture(texImages[1].texture, texImages[1].texWidth, texImages[1].texHeight);
    EXPECT_NE(NextFrame(texImages[1], before), before) << "the first capture still streams";

    // A live layer freed without the toggle (remove all) gives its texture name back; a new layer
    // that OpenGL gives the same name must not receive frames.
    GLuint liveName = texImages[1].texture;
    DeleteTextures(1);
    MakeLayer(1, 320, 240, 0x00ff00ff);
    glDeleteTextures(1, &texImages[1].texture);
    texImages[1].texture = liveName;
    glBindTexture(mapTarget, liveName);
    glTexImage2D(mapTarget, 0, GL_RGBA, 320, 240, 0, GL_RGBA, GL_UNSIGNED_BYTE, texImages[1].pixels);
    plat_ProcessEvents(150);
    EXPECT_EQ(ReadTexture(liveName, 320, 240), std::vector<uint8_t>(texImages[1].pixels, texImages[1].pixels + 320 * 240 * 4));
}

TEST_F(LiveVideo, NoCameraKeepsThePlaceholderWithoutAMessage) {
    setenv("VINTREL_CAMERA", "none", 1);
    ScriptedModals none(false);
    HandleLiveVideo();
    ASSERT_NE(_cLive, nullptr);
    EXPECT_FALSE(_cLive->active);
    EXPECT_EQ(_cLive->timer, nullptr);
    EXPECT_EQ(liveSeqGrabber, nullptr);
    EXPECT_EQ(liveGWorld, nullptr);
    EXPECT_EQ(plat_OpenCameraCount(), 0);
    ASSERT_TRUE(texImages[1].live);
    _cLive->Delete();   // again, as the destructor will
    plat_ProcessEvents(100);
    EXPECT_EQ(ReadTexture(texImages[1].texture, texImages[1].texWidth, texImages[1].texHeight), placeholder);
    HandleLiveVideo();
    EXPECT_EQ(_cLive, nullptr);
    EXPECT_FALSE(texImages[1].live);
    EXPECT_EQ(std::vector<uint8_t>(texImages[1].pixels, texImages[1].pixels + placeholder.size()), placeholder);
    EXPECT_TRUE(none.requests.empty());
}

TEST_F(LiveVideo, AFrozenLayerIsDuplicatedAndComesBackFromAProject) {
    ThemeFolder themes;
    {
        ScriptedModals quiet;
        InitValues();
    }
    HandleLiveVideo();
    NextFrame(texImages[1], placeholder);
    HandleLiveVideo();
    const TexImage& frozen = texImages[1];
    std::vector<uint8_t> pixels(frozen.pixels, frozen.pixels + size_t(frozen.texWidth) * frozen.texHeight * 4);
    ASSERT_GT(MeanDifference(pixels, placeholder), 20.0);
    std::vector<uint8_t> file = Decode(frozen.path);

    // The composite (what write-back and export draw) shows the frozen frame.
    const int bw = texImages[0].width, bh = texImages[0].height;
    ASSERT_TRUE(bw <= frozen.width && bh <= frozen.height) << "the layer covers the picture";
    std::string exported = MakeTempDir("live") + "/composite.png";
    ASSERT_TRUE(SaveImage(exported.c_str(), bw, bh, FourCC("PNGf")));
    std::vector<uint8_t> composite = Decode(exported), expected;
    for (int y = 0; y < bh; ++y)
        for (int x = 0; x < bw; ++x) {
            const uint8_t* p = &pixels[(size_t(y - frozen.posY) * frozen.texWidth + (x - frozen.posX)) * 4];
            expected.insert(expected.end(), p, p + 4);
        }
    EXPECT_LT(MeanDifference(composite, expected), 2.0);

    int copy = DuplicateTexture(1, 0);
    ASSERT_EQ(copy, 2);
    EXPECT_EQ(std::vector<uint8_t>(texImages[2].pixels, texImages[2].pixels + pixels.size()), pixels);

    std::string project = MakeTempDir("live") + "/frozen.vntr";
    ScriptedModals none(false);
    currProjectSaved = true;   // saves to the given file without asking
    SaveProject(project.c_str());
    DeleteTextures(1);
    LoadProject(project.c_str(), false);
    ASSERT_TRUE(IsValidLayer(1));
    EXPECT_FALSE(texImages[1].live);
    EXPECT_EQ(std::vector<uint8_t>(texImages[1].pixels, texImages[1].pixels + file.size()), file)
        << "the project carries the frozen frame's file";
    EXPECT_TRUE(none.requests.empty());
    ResetProgramState();
    ScriptedModals quiet;
    InitValues();
}

}  // namespace

namespace {

TEST(LiveVideoQuit, ShutDownStopsARunningCaptureWithoutFreezing) {
    setenv("VINTREL_CAMERA", "test-pattern", 1);
    EnsureProgramStarted();
    MakeBasePicture(400, 300);
    HandleLiveVideo();
    ASSERT_NE(_cLive, nullptr);
    ASSERT_EQ(plat_OpenCameraCount(), 1);
    plat_ProcessEvents(100);
    const std::string copy = texImages[1].path;
    ShutDown();
    EXPECT_EQ(_cLive, nullptr);
    EXPECT_EQ(liveSeqGrabber, nullptr);
    EXPECT_EQ(plat_OpenCameraCount(), 0);
    char prefs[kPathSize] = "";
    ASSERT_TRUE(util_GetPrefsFolder(prefs));
    EXPECT_TRUE(util_exists((std::string(prefs) + "Vintrel.preferences").c_str()));
    char res[kPathSize] = "";
    ASSERT_TRUE(GetResFolder(res));
    EXPECT_EQ(Bytes(copy), Bytes(std::string(res) + "/live.jpg")) << "the layer is not frozen at quit";
}

}  // namespace
