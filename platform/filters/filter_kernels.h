// filter_kernels.h - what the filter families share inside the engine: the values of one run,
// the premultiplied float picture, conversions and sampling, and one kernel per filter name.
// Every kernel filters rgba (straight R,G,B,A bytes, rows top first) in place; it may work on
// the bytes directly (point filters through tables) or convert to FloatImage and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filter_engine.h"

namespace vfilter {

// The values of one run, looked up by key.
struct Params {
    const Value* values = nullptr;
    int count = 0;
    // The value under key when given and finite, else fallback.
    float Get(const char* key, float fallback) const;
    // "inputCenter" when given and finite, else the middle of a width x height picture.
    float CenterX(int width) const;
    float CenterY(int height) const;
};

// Premultiplied colour as floats 0..1, 4 per pixel (R,G,B,A), rows top first.
struct FloatImage {
    int width = 0;
    int height = 0;
    std::vector<float> px;
    void Resize(int w, int h) { width = w; height = h; px.assign(std::size_t(w) * h * 4, 0.0f); }
    float* Row(int y) { return px.data() + std::size_t(y) * width * 4; }
    const float* Row(int y) const { return px.data() + std::size_t(y) * width * 4; }
};

// Straight RGBA bytes to premultiplied floats.
void ToPremultiplied(const uint8_t* rgba, int width, int height, FloatImage& out);
// Premultiplied floats back to straight RGBA bytes: alpha clamped to 0..1, colour clamped to
// 0..alpha, NaN read as 0, rounded to nearest.
void FromPremultiplied(const FloatImage& in, uint8_t* rgba);
// The same for count pixels (no threads): the row-sized pieces the two above are made of.
void PixelsToPremultiplied(const uint8_t* rgba, float* out, int count);
void PixelsFromPremultiplied(const float* in, uint8_t* rgba, int count);
// Bilinear sample at picture coordinates (pixel centres at i + 0.5). Outside the picture:
// transparent when transparentOutside, else the nearest edge pixel.
void SampleBilinear(const FloatImage& in, float x, float y, bool transparentOutside, float out[4]);
// In-place gaussian blur of every channel, sigma in pixels, cost independent of sigma; sigma
// at or below 0 leaves the picture as it is. Shared by the filters built on blur.
void GaussianBlurImage(FloatImage& img, float sigma);
// The same blur over any buffer of width x height pixels of channels floats (1 or 4), rows
// packed: a direct kernel for sigma up to 2, a third-order recursive filter above (edges
// repeat the outermost pixel in both).
void GaussianBlurPlane(float* data, int width, int height, int channels, float sigma);
// Luminance weights (Rec. 709) of the filters that look at brightness.
constexpr float kLumR = 0.2126f, kLumG = 0.7152f, kLumB = 0.0722f;
// 0..1 to a byte, clamped, NaN as 0, rounded to nearest.
inline uint8_t ToByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return uint8_t(v * 255.0f + 0.5f);
}
// Straight colour of a premultiplied pixel, 0 where alpha is 0.
inline void Unpremultiply(const float* p, float out[3]) {
    float k = p[3] > 1e-6f ? 1.0f / p[3] : 0.0f;
    out[0] = p[0] * k;
    out[1] = p[1] * k;
    out[2] = p[2] * k;
}

// Kernels, one per filter name (filter_blur.cpp, filter_color.cpp, filter_edges.cpp,
// filter_stylize.cpp, filter_halftone.cpp, filter_distort.cpp, filter_tile.cpp).
typedef void (*Kernel)(uint8_t* rgba, int width, int height, const Params& p);

void CIGaussianBlur(uint8_t*, int, int, const Params&);
void CIBoxBlur(uint8_t*, int, int, const Params&);
void CIDiscBlur(uint8_t*, int, int, const Params&);
void CIMotionBlur(uint8_t*, int, int, const Params&);
void CIBloom(uint8_t*, int, int, const Params&);
void CIGloom(uint8_t*, int, int, const Params&);
void CINoiseReduction(uint8_t*, int, int, const Params&);

// Kernels that read one buffer and write another (src and dst the same, or disjoint).
typedef void (*KernelFrom)(const uint8_t* src, uint8_t* dst, int width, int height, const Params& p);

void CIColorPosterizeFrom(const uint8_t*, uint8_t*, int, int, const Params&);
void CIExposureAdjustFrom(const uint8_t*, uint8_t*, int, int, const Params&);
void CIGammaAdjustFrom(const uint8_t*, uint8_t*, int, int, const Params&);
void CIColorControlsFrom(const uint8_t*, uint8_t*, int, int, const Params&);
void CIHueAdjustFrom(const uint8_t*, uint8_t*, int, int, const Params&);
// Box blur from src to a disjoint dst.
void CIBoxBlurFrom(const uint8_t*, uint8_t*, int, int, const Params&);

void CIEdges(uint8_t*, int, int, const Params&);
void CIEdgeWork(uint8_t*, int, int, const Params&);
void CILineOverlay(uint8_t*, int, int, const Params&);
void CIHeightFieldFromMask(uint8_t*, int, int, const Params&);

void CIPixellate(uint8_t*, int, int, const Params&);
void CIHexagonalPixellate(uint8_t*, int, int, const Params&);
void CICrystallize(uint8_t*, int, int, const Params&);
void CIPointillize(uint8_t*, int, int, const Params&);

void CICMYKHalftone(uint8_t*, int, int, const Params&);
void CIDotScreen(uint8_t*, int, int, const Params&);
void CILineScreen(uint8_t*, int, int, const Params&);
void CICircularScreen(uint8_t*, int, int, const Params&);

void CIBumpDistortion(uint8_t*, int, int, const Params&);
void CIBumpDistortionLinear(uint8_t*, int, int, const Params&);
void CIPinchDistortion(uint8_t*, int, int, const Params&);
void CIHoleDistortion(uint8_t*, int, int, const Params&);
void CICircularWrap(uint8_t*, int, int, const Params&);

void CIOpTile(uint8_t*, int, int, const Params&);
void CIEightfoldReflectedTile(uint8_t*, int, int, const Params&);
void CITwelvefoldReflectedTile(uint8_t*, int, int, const Params&);

}  // namespace vfilter
