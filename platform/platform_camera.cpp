// platform_camera.cpp - the camera over Qt Multimedia (QCamera, QMediaCaptureSession, QVideoSink),
// the generated test pattern that stands in for one, and the frame scaler over libswscale.
//
// A real camera's sink may announce frames on a capture thread, so the newest frame waits under a
// lock until plat_CameraIdle hands it to the program on the main thread. The test pattern makes
// its frames on the main thread and hands them to the same sink, so from the sink on both sources
// share one road.
#include "platform_camera.h"

#include <QCamera>
#include <QCameraDevice>
#include <QImage>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

struct PlatCameraFrame {
    QVideoFrame frame;
};

namespace {

int gOpenCameras = 0;

enum class CameraSource { Device, TestPattern, None };

// The one reading of VINTREL_CAMERA (documented in README.md).
CameraSource ChosenSource() {
    const char* env = getenv("VINTREL_CAMERA");
    if (env && strcmp(env, "test-pattern") == 0) return CameraSource::TestPattern;
    if (env && strcmp(env, "none") == 0) return CameraSource::None;
    return CameraSource::Device;
}

void SetReason(char* out, size_t size, const std::string& text) {
    if (out && size) snprintf(out, size, "%s", text.c_str());
}

// Test pattern: eight colour bars (white, yellow, cyan, green, magenta, red, blue, black) that
// move kPatternStep pixels to the left per frame, as BT.601 video-range YUYV.
constexpr int kPatternWidth = 1280, kPatternHeight = 720, kPatternStep = 8, kPatternIntervalMs = 16;

QVideoFrame PatternFrame(int number) {
    static const uint8_t kBars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                        {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    QVideoFrameFormat format(QSize(kPatternWidth, kPatternHeight), QVideoFrameFormat::Format_YUYV);
    format.setColorSpace(QVideoFrameFormat::ColorSpace_BT601);
    format.setColorRange(QVideoFrameFormat::ColorRange_Video);
    QVideoFrame frame(format);
    if (!frame.map(QVideoFrame::WriteOnly)) return QVideoFrame();
    uint8_t* row0 = frame.bits(0);
    const int stride = frame.bytesPerLine(0);
    const int barWidth = kPatternWidth / 8, shift = (number * kPatternStep) % kPatternWidth;
    for (int x = 0; x < kPatternWidth; x += 2) {
        const uint8_t* c = kBars[((x + shift) % kPatternWidth) / barWidth];
        // Studio-swing RGB to Y'CbCr (BT.601).
        double r = c[0], g = c[1], b = c[2];
        double y = 0.299 * r + 0.587 * g + 0.114 * b;
        double u = 128 + (b - y) * 0.564 * 224.0 / 219.0, v = 128 + (r - y) * 0.713 * 224.0 / 219.0;
        uint8_t yy = uint8_t(std::clamp(y + 0.5, 16.0, 235.0));
        uint8_t* p = row0 + x * 2;
        p[0] = yy;
        p[1] = uint8_t(std::clamp(u + 0.5, 16.0, 240.0));
        p[2] = yy;
        p[3] = uint8_t(std::clamp(v + 0.5, 16.0, 240.0));
    }
    for (int y = 1; y < kPatternHeight; ++y) memcpy(row0 + size_t(y) * stride, row0, size_t(kPatternWidth) * 2);
    frame.unmap();
    return frame;
}

}  // namespace

struct PlatCamera {
    QVideoSink sink;
    QMediaCaptureSession session;
    std::unique_ptr<QCamera> camera;
    std::unique_ptr<QMediaDevices> devices;   // watches for the camera being unplugged
    std::unique_ptr<QTimer> pattern;
    int patternFrame = 0;
    CameraDataProc proc = nullptr;
    void* userData = nullptr;
    std::mutex lock;                           // guards waiting and hasWaiting
    QVideoFrame waiting;
    bool hasWaiting = false;
    std::string failure;
    bool failureReported = false;

    void Fail(const std::string& why) {
        if (failure.empty()) failure = why.empty() ? std::string("the camera stopped") : why;
    }
};

CameraRef plat_OpenCamera(CameraDataProc proc, void* userData, char* reason, size_t reasonSize) {
    SetReason(reason, reasonSize, "");
    if (!proc) return nullptr;
    CameraSource source = ChosenSource();
    QCameraDevice device;
    if (source == CameraSource::None) {
        SetReason(reason, reasonSize, "no camera (VINTREL_CAMERA=none)");
        return nullptr;
    }
    if (source == CameraSource::Device) {
        device = QMediaDevices::defaultVideoInput();
        if (device.isNull()) {
            SetReason(reason, reasonSize, "no camera found");
            return nullptr;
        }
    }
    auto* c = new PlatCamera;
    ++gOpenCameras;
    c->proc = proc;
    c->userData = userData;
    QObject::connect(&c->sink, &QVideoSink::videoFrameChanged, &c->sink, [c](const QVideoFrame& frame) {
        std::lock_guard<std::mutex> hold(c->lock);
        c->waiting = frame;
        c->hasWaiting = true;
    }, Qt::DirectConnection);

    if (source == CameraSource::TestPattern) {
        c->pattern.reset(new QTimer);
        c->pattern->setTimerType(Qt::PreciseTimer);
        QObject::connect(c->pattern.get(), &QTimer::timeout, c->pattern.get(),
                         [c] { c->sink.setVideoFrame(PatternFrame(c->patternFrame++)); });
        c->pattern->start(kPatternIntervalMs);
        c->sink.setVideoFrame(PatternFrame(c->patternFrame++));
    } else {
        c->camera.reset(new QCamera(device));
        QObject::connect(c->camera.get(), &QCamera::errorOccurred, c->camera.get(),
                         [c](QCamera::Error, const QString& text) { c->Fail(text.toStdString()); });
        c->devices.reset(new QMediaDevices);
        QByteArray id = device.id();
        QObject::connect(c->devices.get(), &QMediaDevices::videoInputsChanged, c->devices.get(), [c, id] {
            const auto inputs = QMediaDevices::videoInputs();
            if (std::none_of(inputs.begin(), inputs.end(), [&](const QCameraDevice& d) { return d.id() == id; }))
                c->Fail("the camera was disconnected");
        });
        c->session.setCamera(c->camera.get());
        c->session.setVideoSink(&c->sink);
        if (c->camera->error() == QCamera::NoError) c->camera->start();
        if (c->camera->error() != QCamera::NoError || !c->failure.empty()) {
            std::string why = c->failure.empty() ? c->camera->errorString().toStdString() : c->failure;
            SetReason(reason, reasonSize, "the camera cannot be started: " + why);
            plat_CloseCamera(c);
            return nullptr;
        }
    }
    return c;
}

int plat_CameraIdle(CameraRef c) {
    if (!c) return 0;
    if (!c->failure.empty()) {
        if (c->failureReported) return 0;
        c->failureReported = true;
        return -1;
    }
    PlatCameraFrame frame;
    {
        std::lock_guard<std::mutex> hold(c->lock);
        if (!c->hasWaiting) return 0;
        frame.frame = c->waiting;
        c->waiting = QVideoFrame();
        c->hasWaiting = false;
    }
    if (!frame.frame.isValid()) return 0;
    c->proc(c, &frame, c->userData);
    return 1;
}

const char* plat_CameraFailure(CameraRef c) { return c ? c->failure.c_str() : ""; }

void plat_CloseCamera(CameraRef c) {
    if (!c) return;
    if (c->pattern) c->pattern->stop();
    if (c->camera) c->camera->stop();
    c->session.setVideoSink(nullptr);
    c->session.setCamera(nullptr);
    QObject::disconnect(&c->sink, nullptr, nullptr, nullptr);
    delete c;
    --gOpenCameras;
}

int plat_OpenCameraCount() { return gOpenCameras; }

void plat_GetCameraFrameSize(CameraFrameRef frame, int* width, int* height) {
    QSize s = frame ? frame->frame.size() : QSize();
    if (width) *width = s.width();
    if (height) *height = s.height();
}

// ---------------------------------------------------------------------------------------------
// The frame scaler

struct PlatFrameScaler {
    int width = 0, height = 0;
    SwsContext* sws = nullptr;
};

namespace {

AVPixelFormat SwsFormat(QVideoFrameFormat::PixelFormat f) {
    switch (f) {
    case QVideoFrameFormat::Format_ARGB8888: return AV_PIX_FMT_ARGB;
    case QVideoFrameFormat::Format_XRGB8888: return AV_PIX_FMT_0RGB;
    case QVideoFrameFormat::Format_BGRA8888: return AV_PIX_FMT_BGRA;
    case QVideoFrameFormat::Format_BGRX8888: return AV_PIX_FMT_BGR0;
    case QVideoFrameFormat::Format_ABGR8888: return AV_PIX_FMT_ABGR;
    case QVideoFrameFormat::Format_XBGR8888: return AV_PIX_FMT_0BGR;
    case QVideoFrameFormat::Format_RGBA8888: return AV_PIX_FMT_RGBA;
    case QVideoFrameFormat::Format_RGBX8888: return AV_PIX_FMT_RGB0;
    case QVideoFrameFormat::Format_YUV420P: return AV_PIX_FMT_YUV420P;
    case QVideoFrameFormat::Format_YV12: return AV_PIX_FMT_YUV420P;   // chroma planes swapped
    case QVideoFrameFormat::Format_YUV422P: return AV_PIX_FMT_YUV422P;
    case QVideoFrameFormat::Format_UYVY: return AV_PIX_FMT_UYVY422;
    case QVideoFrameFormat::Format_YUYV: return AV_PIX_FMT_YUYV422;
    case QVideoFrameFormat::Format_NV12: return AV_PIX_FMT_NV12;
    case QVideoFrameFormat::Format_NV21: return AV_PIX_FMT_NV21;
    case QVideoFrameFormat::Format_Y8: return AV_PIX_FMT_GRAY8;
    case QVideoFrameFormat::Format_Y16: return AV_PIX_FMT_GRAY16LE;
    case QVideoFrameFormat::Format_P010: return AV_PIX_FMT_P010LE;
    case QVideoFrameFormat::Format_P016: return AV_PIX_FMT_P016LE;
    default: return AV_PIX_FMT_NONE;
    }
}

int SwsColorSpace(QVideoFrameFormat::ColorSpace cs) {
    if (cs == QVideoFrameFormat::ColorSpace_BT709) return SWS_CS_ITU709;
    if (cs == QVideoFrameFormat::ColorSpace_BT2020) return SWS_CS_BT2020;
    return SWS_CS_ITU601;
}

// One pass of libswscale from the given planes into the scaler's RGBA buffer.
int Scale(PlatFrameScaler* s, int w, int h, AVPixelFormat fmt, const uint8_t* const planes[4],
          const int strides[4], int colorSpace, bool fullRange, uint8_t* dst) {
    s->sws = sws_getCachedContext(s->sws, w, h, fmt, s->width, s->height, AV_PIX_FMT_RGBA, SWS_BILINEAR,
                                  nullptr, nullptr, nullptr);
    if (!s->sws) return -50;
    const int* coefficients = sws_getCoefficients(colorSpace);
    sws_setColorspaceDetails(s->sws, coefficients, fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);
    uint8_t* dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    int dstStrides[4] = {s->width * 4, 0, 0, 0};
    sws_scale(s->sws, planes, strides, 0, h, dstPlanes, dstStrides);
    return 0;
}

}  // namespace

FrameScalerRef plat_BeginFrameScaler(int width, int height) {
    if (width < 1 || height < 1) return nullptr;
    auto* s = new PlatFrameScaler;
    s->width = width;
    s->height = height;
    return s;
}

int plat_ScaleFrame(FrameScalerRef s, CameraFrameRef f, uint8_t* dst) {
    if (!s || !f || !dst || !f->frame.isValid()) return -50;
    QVideoFrame frame = f->frame;
    const int w = frame.width(), h = frame.height();
    if (w < 1 || h < 1) return -50;
    AVPixelFormat fmt = SwsFormat(frame.pixelFormat());
    if (fmt == AV_PIX_FMT_NONE) {
        // Formats the scaler does not read (compressed frames): Qt's own conversion first.
        QImage image = frame.toImage().convertToFormat(QImage::Format_RGBA8888);
        if (image.isNull()) return -50;
        const uint8_t* planes[4] = {image.constBits(), nullptr, nullptr, nullptr};
        int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
        return Scale(s, image.width(), image.height(), AV_PIX_FMT_RGBA, planes, strides, SWS_CS_DEFAULT, true, dst);
    }
    if (!frame.map(QVideoFrame::ReadOnly)) return -50;
    const uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int strides[4] = {0, 0, 0, 0};
    for (int p = 0; p < std::min(frame.planeCount(), 4); ++p) {
        planes[p] = frame.bits(p);
        strides[p] = frame.bytesPerLine(p);
    }
    if (frame.pixelFormat() == QVideoFrameFormat::Format_YV12) {
        std::swap(planes[1], planes[2]);
        std::swap(strides[1], strides[2]);
    }
    const QVideoFrameFormat format = frame.surfaceFormat();
    int status = Scale(s, w, h, fmt, planes, strides, SwsColorSpace(format.colorSpace()),
                       format.colorRange() == QVideoFrameFormat::ColorRange_Full, dst);
    frame.unmap();
    return status;
}

void plat_EndFrameScaler(FrameScalerRef s) {
    if (!s) return;
    sws_freeContext(s->sws);
    delete s;
}
