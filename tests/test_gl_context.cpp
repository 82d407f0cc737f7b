// OpenGL context: capabilities, the window projection read back from real pixels, the canvas
// following the picture's size and zoom, and the offscreen framebuffer.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <cstdlib>
#include <cstring>

#include "app_fixture.h"
#include "canvas_window.h"
#include "gl_context.h"
#include "layer_ops.h"
#include "layer_table.h"

namespace {

class GLContext : public ::testing::Test {
protected:
    void SetUp() override { EnsureProgramStarted(); }
    void TearDown() override { ResetProgramState(); }
};

// Fills the window-pixel rectangle [x0,x1) x [y0,y1) with a colour through the current projection.
void Quad(float x0, float y0, float x1, float y1, float r, float g, float b) {
    glDisable(mapTarget);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glColor4f(r, g, b, 1.0f);
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, -100);
    glVertex3f(x1, y0, -100);
    glVertex3f(x1, y1, -100);
    glVertex3f(x0, y1, -100);
    glEnd();
    glEnable(GL_DEPTH_TEST);
    glEnable(mapTarget);
}

}  // namespace

TEST_F(GLContext, CapabilitiesFollowTheExtensionString) {
    ASSERT_NE(glContext, nullptr);
    ASSERT_TRUE(plat_MakeCurrent(glContext));
    bool rect = util_checkGLExtension("GL_ARB_texture_rectangle") || util_checkGLExtension("GL_EXT_texture_rectangle");
    EXPECT_EQ(useRectMap, rect);
    EXPECT_EQ(mapTarget, rect ? GLenum(GL_TEXTURE_RECTANGLE_ARB) : GLenum(GL_TEXTURE_2D));
    EXPECT_EQ(multisampleSupported, util_checkGLExtension("GL_ARB_multisample"));
    EXPECT_EQ(imagingInHardware, util_checkGLExtension("GL_ARB_imaging"));
    EXPECT_TRUE(useImaging) << "the colour matrix always has a path";
    EXPECT_TRUE(util_checkGLExtension("GL_ARB_multitexture"));
    EXPECT_TRUE(util_checkGLExtension("texture_rect")) << "a substring matches";
    EXPECT_FALSE(util_checkGLExtension("GL_VINTREL_no_such_extension"));
    EXPECT_NE(baseTexture, 0u) << "the background pattern was loaded";
    GLint alphaBits = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    EXPECT_GE(alphaBits, 8);
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16);
}

TEST_F(GLContext, TheCanvasFollowsThePictureSizeTimesTheZoom) {
    MakeBasePicture(800, 600);
    UpdateContext();
    Rect r;
    plat_GetWindowBounds(window, &r);
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, 600);
    HandleScaleFactor(0.5f);
    plat_GetWindowBounds(window, &r);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
    HandleScaleFactor(1.0f);
}

TEST_F(GLContext, WindowProjectionPutsTheOriginTopLeft) {
    MakeBasePicture(800, 600);
    UpdateContext();
    plat_ProcessEvents(50);
    ASSERT_TRUE(plat_MakeCurrent(glContext));
    Rect r;
    plat_GetWindowBounds(window, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowProjection(w, h);
    glDisable(GL_MULTISAMPLE_ARB);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Quad(0, 0, 1, 1, 1, 0, 0);                      // top-left pixel red
    Quad(float(w - 1), float(h - 1), float(w), float(h), 0, 1, 0);   // bottom-right green
    Quad(10, 0, 20, 1, 0, 0, 1);                    // top row, x 10..19 blue
    std::vector<uint8_t> px;
    int pw = 0, ph = 0;
    ASSERT_TRUE(plat_ReadWindowPixels(glContext, &px, &pw, &ph));
    double dpr = plat_DevicePixelRatio(window);
    if (const char* scale = getenv("QT_SCALE_FACTOR")) {
        ASSERT_EQ(dpr, atof(scale));   // the HiDPI run
    }
    ASSERT_EQ(pw, int(w * dpr + 0.5));
    auto at = [&](int x, int y) { return px.data() + (size_t(y) * pw + x) * 4; };
    EXPECT_EQ(at(0, 0)[0], 255);
    EXPECT_EQ(at(0, 0)[1], 0);
    EXPECT_EQ(at(1 * int(dpr), 1 * int(dpr))[0], 0) << "only one picture pixel";
    EXPECT_EQ(at(pw - 1, ph - 1)[1], 255);
    EXPECT_EQ(at(15 * int(dpr), 0)[2], 255);
    EXPECT_EQ(at(15 * int(dpr), 1 * int(dpr) + 1)[2], 0);
    glClearColor(1, 1, 1, 0);
    if (multisampleSupported && multisampleLevel > 0) glEnable(GL_MULTISAMPLE_ARB);
}

TEST_F(GLContext, OffscreenBufferHoldsTheWholePictureAndSharesTextures) {
    ASSERT_NE(bufContext, nullptr);
    int w = 0, h = 0;
    plat_GetOffscreenBufferSize(bufContext, &w, &h);
    EXPECT_GE(w, 2048);
    EXPECT_GE(h, 2048);
    ASSERT_TRUE(EnsureOffscreenSize(3000, 2100));
    plat_GetOffscreenBufferSize(bufContext, &w, &h);
    EXPECT_GE(w, 3000);
    EXPECT_GE(h, 2100);
    EXPECT_EQ(plat_CurrentContext(), glContext) << "the window context is current again";

    // A texture made in the window context draws in the offscreen one.
    MakeLayer(1, 4, 4, 0x00ff00ff);
    ASSERT_TRUE(plat_MakeCurrent(bufContext));
    SetOffscreenProjection();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glEnable(mapTarget);
    glBindTexture(mapTarget, texImages[1].texture);
    glTexParameteri(mapTarget, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(mapTarget, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    float tc = useRectMap ? 4.0f : 1.0f;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex3f(0, 0, -100);
    glTexCoord2f(tc, 0); glVertex3f(4, 0, -100);
    glTexCoord2f(tc, tc); glVertex3f(4, 4, -100);
    glTexCoord2f(0, tc); glVertex3f(0, 4, -100);
    glEnd();
    glFinish();
    uint8_t pixel[4] = {};
    plat_GetOffscreenBufferSize(bufContext, &w, &h);
    plat_ResolveOffscreenBuffer(bufContext);   // reads come from the resolved copy
    glReadPixels(1, h - 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);   // row 1 from the top
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[0], 0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    SetCommonState();
    plat_MakeCurrent(glContext);
}

TEST_F(GLContext, UpdateContextWithoutAContextDoesNothing) {
    GLContextRef saved = glContext;
    glContext = nullptr;
    MakeBasePicture(10, 10);   // uses the current context for the texture only
    Rect before;
    plat_GetWindowBounds(window, &before);
    UpdateContext();
    Rect after;
    plat_GetWindowBounds(window, &after);
    glContext = saved;
    EXPECT_EQ(after.right - after.left, before.right - before.left);
}

TEST_F(GLContext, HardwareWarningOnlyOnTheFirstLaunchAndOnlyForAMissingCapability) {
    ScriptedModals modals;
    EXPECT_FALSE(ShowHardwareWarning(true, true, true));
    EXPECT_FALSE(ShowHardwareWarning(false, true, false));
    EXPECT_TRUE(ShowHardwareWarning(false, true, true));
    EXPECT_TRUE(ShowHardwareWarning(true, false, true));
    ASSERT_EQ(modals.requests.size(), 2u);
    EXPECT_EQ(modals.requests[0].message,
              "Warning: some functions will be compromised because they arent natively supported by your card. "
              "In some cases the functions are emulated thru software, in this case the tool works fine but "
              "it's slower applying some specific effect");
    EXPECT_TRUE(modals.requests[0].cancelText.empty());
}
