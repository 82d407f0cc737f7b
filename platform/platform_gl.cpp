// platform_gl.cpp - OpenGL contexts: the canvas surface with its own double-buffered context, and
// an offscreen context sharing its textures that draws into a framebuffer object. Also the canvas
// surface's mouse, wheel and expose events.
#include "platform_internal.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QWheelEvent>

#include <GL/gl.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>

// From Xlib (declared here so that Xlib's macros stay out of the Qt code below).
extern "C" int XQueryExtension(Display*, const char*, int*, int*, int*);

struct PlatGLContext {
    QOpenGLContext* context = nullptr;
    CanvasSurface* surface = nullptr;               // window context
    QOffscreenSurface* offscreen = nullptr;         // offscreen context
    QOpenGLFramebufferObject* fbo = nullptr;       // what the offscreen context draws into
    QOpenGLFramebufferObject* resolve = nullptr;   // single-sampled copy reads come from; null when fbo is single-sampled
};

namespace {

GLContextRef gCurrent = nullptr;

#ifndef GL_READ_FRAMEBUFFER
#define GL_READ_FRAMEBUFFER 0x8CA8
#endif

// The offscreen drawing buffer of width x height with depth, multisampled when samples > 0 and
// the driver can both draw into and resolve multisample framebuffers; with its single-sampled
// resolve target when it is. False (nothing made) when not even a plain framebuffer can be made.
bool makeOffscreenBuffers(int width, int height, int samples, QOpenGLFramebufferObject** fbo,
                          QOpenGLFramebufferObject** resolve) {
    *fbo = *resolve = nullptr;
    QOpenGLFramebufferObjectFormat ff;
    ff.setAttachment(QOpenGLFramebufferObject::Depth);
    ff.setInternalTextureFormat(GL_RGBA8);
    // Without multisample framebuffers Qt makes a single-sampled one (samples() == 0).
    bool multi = samples > 0 && QOpenGLFramebufferObject::hasOpenGLFramebufferBlit();
    if (multi) {
        ff.setSamples(samples);
        auto* ms = new QOpenGLFramebufferObject(width, height, ff);
        QOpenGLFramebufferObjectFormat rf;
        rf.setInternalTextureFormat(GL_RGBA8);
        auto* rs = new QOpenGLFramebufferObject(width, height, rf);
        if (ms->isValid() && ms->format().samples() > 0 && rs->isValid()) {
            *fbo = ms;
            *resolve = rs;
            return true;
        }
        delete ms;
        delete rs;
        ff.setSamples(0);
    }
    auto* plain = new QOpenGLFramebufferObject(width, height, ff);
    if (!plain->isValid()) {
        delete plain;
        return false;
    }
    *fbo = plain;
    return true;
}

// Drawing goes into the (multisample) buffer; reads come from the resolved copy.
bool bindOffscreenBuffers(PlatGLContext* ref) {
    if (!ref->fbo || !ref->fbo->bind()) return false;
    if (ref->resolve) QOpenGLContext::currentContext()->functions()->glBindFramebuffer(GL_READ_FRAMEBUFFER, ref->resolve->handle());
    return true;
}

QSurfaceFormat formatFor(const GLFormatRequest& r) {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setVersion(2, 1);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setRedBufferSize(r.colorBits / 3);
    f.setGreenBufferSize(r.colorBits / 3);
    f.setBlueBufferSize(r.colorBits / 3);
    f.setAlphaBufferSize(r.alphaBits);
    f.setDepthBufferSize(r.depthBits);
    f.setSamples(r.samples > 0 ? r.samples : 0);
    f.setSwapBehavior(r.doubleBuffer ? QSurfaceFormat::DoubleBuffer : QSurfaceFormat::SingleBuffer);
    f.setSwapInterval(r.swapInterval);
    return f;
}

Event mouseEvent(PlatWindow* owner, uint32_t kind, const QPointF& pos, Qt::KeyboardModifiers mods) {
    Event e;
    e.eventClass = kEventClassMouse;
    e.kind = kind;
    e.window = owner;
    e.mouseX = float(pos.x());
    e.mouseY = float(pos.y());
    e.modifiers = plat_macModifiers(mods);
    return e;
}

uint16_t buttonNumber(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return kMouseButtonPrimary;
    case Qt::RightButton: return kMouseButtonSecondary;
    case Qt::MiddleButton: return kMouseButtonTertiary;
    default: return 4;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
CanvasSurface::CanvasSurface(PlatWindow* o) : owner(o) { setSurfaceType(QSurface::OpenGLSurface); }

void CanvasSurface::exposeEvent(QExposeEvent*) {
    if (isExposed()) plat_sendWindowEvent(owner, kEventWindowPaint);
}

void CanvasSurface::mousePressEvent(QMouseEvent* ev) {
    if (owner->container) owner->container->setFocus();
    Event e = mouseEvent(owner, kEventMouseDown, ev->position(), ev->modifiers());
    e.button = buttonNumber(ev->button());
    buttonsDown |= uint32_t(ev->button());
    plat_DispatchEvent(e);
}

void CanvasSurface::mouseReleaseEvent(QMouseEvent* ev) {
    Event e = mouseEvent(owner, kEventMouseUp, ev->position(), ev->modifiers());
    e.button = buttonNumber(ev->button());
    buttonsDown &= ~uint32_t(ev->button());
    plat_DispatchEvent(e);
}

void CanvasSurface::mouseMoveEvent(QMouseEvent* ev) {
    bool dragging = ev->buttons() != Qt::NoButton;
    Event e = mouseEvent(owner, dragging ? kEventMouseDragged : kEventMouseMoved, ev->position(),
                         ev->modifiers());
    plat_DispatchEvent(e);
}

void CanvasSurface::wheelEvent(QWheelEvent* ev) {
    // One per notch (120 eighths of a degree); high-resolution wheels accumulate.
    wheelRemainder += ev->angleDelta().y();
    int notches = wheelRemainder / 120;
    if (notches == 0) return;
    wheelRemainder -= notches * 120;
    Event e = mouseEvent(owner, kEventMouseWheelMoved, ev->position(), ev->modifiers());
    e.wheelDelta = notches;
    plat_DispatchEvent(e);
}

bool CanvasSurface::event(QEvent* e) {
    if (e->type() == QEvent::UpdateRequest) plat_sendWindowEvent(owner, kEventWindowPaint);
    return QWindow::event(e);
}

// ---------------------------------------------------------------------------------------------
// A new context of format fmt drawing on surface, made current; null when it cannot be made.
static GLContextRef contextOnSurface(CanvasSurface* surface, const QSurfaceFormat& fmt) {
    auto* ctx = new QOpenGLContext;
    ctx->setFormat(fmt);
    if (!ctx->create() || !ctx->makeCurrent(surface)) {
        delete ctx;
        return nullptr;
    }
    surface->context = ctx;
    auto* ref = new PlatGLContext;
    ref->context = ctx;
    ref->surface = surface;
    gCurrent = ref;
    return ref;
}

GLContextRef plat_CreateWindowGLContext(WindowRef canvas, const GLFormatRequest& request) {
    if (!canvas || !canvas->surface || !canvas->widget) return nullptr;
    CanvasSurface* surface = canvas->surface;
    QSurfaceFormat fmt = formatFor(request);
    surface->setFormat(fmt);
    canvas->widget->winId();       // creates the native windows, the surface among them
    if (!surface->handle()) surface->create();
    return contextOnSurface(surface, fmt);
}

GLContextRef plat_CreateWindowSurfaceGLContext(WindowRef w) {
    if (!w || !w->widget || w->isCanvas) return nullptr;
    GLFormatRequest request;
    request.depthBits = 0;
    request.swapInterval = 0;
    QSurfaceFormat fmt = formatFor(request);
    // A native child window of the window itself, not a widget container: a container would
    // mark the whole parent chain up to the canvas as holding one, which disturbs the canvas's own
    // surface. The child belongs to the window's native window and goes with it.
    w->widget->winId();
    QWindow* parent = w->widget->windowHandle();
    if (!parent) return nullptr;
    auto* surface = new CanvasSurface(w);
    surface->setFormat(fmt);
    surface->setParent(parent);
    surface->setGeometry(QRect(QPoint(0, 0), w->widget->size()));
    surface->create();
    surface->setVisible(true);
    GLContextRef ref = contextOnSurface(surface, fmt);
    if (!ref) delete surface;
    return ref;
}

bool plat_HasX11GLX() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    const char* name = getenv("DISPLAY");
    if (!display || !name || !*name) return false;
    int opcode = 0, event = 0, error = 0;
    return XQueryExtension(display, "GLX", &opcode, &event, &error) != 0;
}

GLContextRef plat_CreateOffscreenGLContext(GLContextRef share, int width, int height, int samples) {
    if (!share || !share->context) return nullptr;
    auto* ctx = new QOpenGLContext;
    QSurfaceFormat fmt = share->context->format();
    fmt.setSamples(0);
    ctx->setFormat(fmt);
    ctx->setShareContext(share->context);
    if (!ctx->create() || !ctx->shareContext()) {
        delete ctx;
        return nullptr;
    }
    auto* surface = new QOffscreenSurface;
    surface->setFormat(fmt);
    surface->create();
    if (!ctx->makeCurrent(surface)) {
        delete surface;
        delete ctx;
        return nullptr;
    }
    QOpenGLFramebufferObject *fbo = nullptr, *resolve = nullptr;
    if (!makeOffscreenBuffers(width, height, samples, &fbo, &resolve)) {
        ctx->doneCurrent();
        delete surface;
        delete ctx;
        return nullptr;
    }
    auto* ref = new PlatGLContext;
    ref->context = ctx;
    ref->offscreen = surface;
    ref->fbo = fbo;
    ref->resolve = resolve;
    if (!bindOffscreenBuffers(ref)) {
        plat_DestroyGLContext(ref);
        return nullptr;
    }
    gCurrent = ref;
    return ref;
}

bool plat_ResizeOffscreenBuffer(GLContextRef ref, int width, int height) {
    if (!ref || !ref->fbo || !plat_MakeCurrent(ref)) return false;
    if (ref->fbo->size() == QSize(width, height)) return true;
    QOpenGLFramebufferObject *fbo = nullptr, *resolve = nullptr;
    if (!makeOffscreenBuffers(width, height, ref->fbo->format().samples(), &fbo, &resolve)) {
        bindOffscreenBuffers(ref);
        return false;
    }
    delete ref->fbo;
    delete ref->resolve;
    ref->fbo = fbo;
    ref->resolve = resolve;
    return bindOffscreenBuffers(ref);
}

void plat_GetOffscreenBufferSize(GLContextRef ref, int* width, int* height) {
    QSize s = ref && ref->fbo ? ref->fbo->size() : QSize(0, 0);
    if (width) *width = s.width();
    if (height) *height = s.height();
}

int plat_GetOffscreenBufferSamples(GLContextRef ref) {
    return ref && ref->fbo && ref->resolve ? ref->fbo->format().samples() : 0;
}

void plat_ResolveOffscreenBuffer(GLContextRef ref, int width, int height) {
    if (!ref || !ref->fbo || !ref->resolve || gCurrent != ref) return;
    // Every channel: the colour write mask (the export draws colour and alpha apart) must not hold
    // back a channel of the copy.
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    QSize size = ref->fbo->size();
    QRect all(QPoint(0, 0), size);
    if (width > 0 && height > 0)   // the top rows are the last ones in OpenGL's bottom-up order
        all = QRect(0, size.height() - std::min(height, size.height()), std::min(width, size.width()),
                    std::min(height, size.height()));
    QOpenGLFramebufferObject::blitFramebuffer(ref->resolve, all, ref->fbo, all, GL_COLOR_BUFFER_BIT, GL_NEAREST, 0, 0,
                                              QOpenGLFramebufferObject::DontRestoreFramebufferBinding);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    bindOffscreenBuffers(ref);
}

bool plat_MakeCurrent(GLContextRef ref) {
    if (!ref || !ref->context) return false;
    bool ok = ref->surface ? ref->context->makeCurrent(ref->surface) : ref->context->makeCurrent(ref->offscreen);
    if (ok && ref->fbo) bindOffscreenBuffers(ref);
    if (ok) gCurrent = ref;
    return ok;
}

void plat_DoneCurrent() {
    if (QOpenGLContext* c = QOpenGLContext::currentContext()) c->doneCurrent();
    gCurrent = nullptr;
}

GLContextRef plat_CurrentContext() { return gCurrent; }

void plat_SwapBuffers(GLContextRef ref) {
    if (!ref || !ref->context) return;
    if (!ref->surface) {
        glFlush();
        return;
    }
    if (ref->surface->isExposed()) ref->context->swapBuffers(ref->surface);
    else glFlush();
}

void plat_GetDrawableSize(GLContextRef ref, int* width, int* height) {
    int w = 0, h = 0;
    if (ref && ref->surface) {
        double dpr = ref->surface->devicePixelRatio();
        w = int(ref->surface->width() * dpr + 0.5);
        h = int(ref->surface->height() * dpr + 0.5);
    } else if (ref && ref->fbo) {
        w = ref->fbo->width();
        h = ref->fbo->height();
    }
    if (width) *width = w;
    if (height) *height = h;
}

int plat_GetContextSamples(GLContextRef ref) {
    return ref && ref->context ? ref->context->format().samples() : 0;
}

void plat_DestroyGLContext(GLContextRef ref) {
    if (!ref) return;
    if (ref->context) {
        if ((ref->fbo || ref->resolve) && ref->context->makeCurrent(ref->offscreen)) {
            delete ref->fbo;
            delete ref->resolve;
            ref->fbo = ref->resolve = nullptr;
        }
        ref->context->doneCurrent();
    }
    if (ref->surface) ref->surface->context = nullptr;
    delete ref->fbo;
    delete ref->resolve;
    delete ref->context;
    delete ref->offscreen;
    if (gCurrent == ref) gCurrent = nullptr;
    delete ref;
}

bool plat_ReadWindowPixels(GLContextRef ref, std::vector<uint8_t>* rgba, int* width, int* height) {
    if (!ref || !rgba || !plat_MakeCurrent(ref)) return false;
    int w = 0, h = 0;
    plat_GetDrawableSize(ref, &w, &h);
    if (w <= 0 || h <= 0) return false;
    std::vector<uint8_t> rows(size_t(w) * h * 4);
    if (ref->surface) glReadBuffer(GL_BACK);
    else plat_ResolveOffscreenBuffer(ref);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    rgba->resize(rows.size());
    size_t stride = size_t(w) * 4;
    for (int y = 0; y < h; ++y) memcpy(rgba->data() + size_t(y) * stride, rows.data() + size_t(h - 1 - y) * stride, stride);
    if (width) *width = w;
    if (height) *height = h;
    return true;
}
