// filter_engine.h - the filter drawer's image filters: 34 catalogue entries over 32 named filters,
// pure functions over a picture buffer (no globals, no GL, no Qt).
//
// A picture is width x height pixels of 4 bytes R,G,B,A in true colour order, straight (not
// premultiplied) alpha, rows top to bottom, row length width x 4. Filters work internally on
// premultiplied colour, so transparent areas stay transparent and edges of a transparent layer
// get no dark fringe. The output always has the input's size and is the same for the same input
// and values (no randomness, no dependence on the number of threads).
//
// Beyond the picture's edges, the blurs and the edge filters repeat the outermost pixel.
// Coordinates given to filters ("inputCenter") are picture pixels, x right, y down, origin at the
// top-left corner. Angles are radians, counter-clockwise as seen on screen. Lengths are pixels.
// Values that are not finite are replaced by the filter's neutral value.
//
// The filters (name: what it computes; keys in their units):
//   CIBloom: glow: straight colour screened with intensity x a gaussian blur of sigma
//            inputRadius px (s + k b - s k b); inputIntensity 0..1; alpha kept.
//   CIGloom: gloom: straight colour multiplied by 1 - k + k x a gaussian blur of sigma
//            inputRadius px; inputIntensity 0..1 (k); alpha kept.
//   CIGaussianBlur: gaussian blur, inputRadius = standard deviation in px (0 or less: none).
//   CIBoxBlur: mean over a square of side 2 x round(inputRadius) + 1 px.
//   CIDiscBlur: mean over a disc of radius inputRadius px, drawn as up to 6 stacked rectangles
//            per quadrant.
//   CIMotionBlur: mean along a line of half-length inputRadius px at inputAngle radians (a
//            digital line: one pixel per step of its longer axis; at most twice the picture's
//            width + height).
//   CINoiseReduction: detail d = colour - gaussian(colour, 1 px) is damped by (|d| /
//            inputNoiseLevel)^2 below inputNoiseLevel (0..1) and the rest is multiplied by
//            1 + inputSharpness (0..10); alpha kept.
//   CIEdges: Sobel gradient magnitude / 4 of each premultiplied channel times inputIntensity, as
//            colour; alpha kept.
//   CIEdgeWork: black ink on white where the luminance (over white) blurred by 1 px is darker
//            than the luminance blurred by inputRadius px; alpha kept.
//   CILineOverlay: black lines where the luminance smoothed by 1 px has a Sobel magnitude / 4
//            times inputEdgeIntensity above inputThreshold (0..1, ramp of 1/50); the rest clear.
//   CIHeightFieldFromMask: grey height sqrt(2 b - 1) (0 below), b = premultiplied luminance
//            blurred by inputRadius / 2 px: 0 at the mask's edge, 1 about inputRadius inside;
//            alpha kept.
//   CIColorPosterize: inputLevels (2..256, below 2 means 2) evenly spaced values per channel,
//            0 and 255 included, nearest chosen.
//   CIExposureAdjust: linear colour x 2^inputEV (sRGB decoded, scaled, re-encoded, clamped).
//   CIGammaAdjust: colour^inputPower per channel (0..1 values).
//   CIColorControls: saturation about the Rec. 709 grey (inputSaturation, 1 neutral), then
//            inputBrightness added (0 neutral), then contrast about 0.5 (inputContrast, 1
//            neutral); absent keys are neutral.
//   CIHueAdjust: rotation by inputAngle radians about the grey axis (red towards green).
//   CIPixellate: flat squares of side inputScale px (below 1 means 1), aligned on the centre.
//   CIHexagonalPixellate: flat hexagons of width inputScale px about inputCenter.
//   CICrystallize: flat Voronoi cells around a fixed jittered grid of spacing inputRadius px.
//   CIPointillize: dots of radius inputRadius px on a fixed jittered grid over a transparent
//            background, each the colour under its centre.
//   CICMYKHalftone: four screens (C, M, Y, K) of dot period inputWidth px at inputAngle,
//            inputSharpness, on white; about inputCenter.
//   CIDotScreen / CILineScreen / CICircularScreen: a black-and-white screen of the luminance:
//            dots, lines, or rings about inputCenter; inputWidth px period, inputAngle radians,
//            inputSharpness 0..1.
//   CIBumpDistortion: bulge (scale > 0) or dent (< 0) of radius inputRadius about inputCenter,
//            inputScale -1..1; pixels outside the radius untouched.
//   CIBumpDistortionLinear: the same along a line through inputCenter at inputAngle.
//   CIPinchDistortion: pinch of radius inputRadius, inputScale 0..2 (0 none), outside untouched.
//   CIHoleDistortion: a round hole of radius inputRadius at inputCenter pushing the picture out.
//   CICircularWrap: the picture wrapped around a circle of radius inputRadius at inputCenter,
//            starting at inputAngle.
//   CIOpTile: op-art tiling: the picture around the centre scaled by inputScale and repeated in
//            tiles of inputWidth px with inputAngle (0 here) rotation.
//   CIEightfoldReflectedTile / CITwelvefoldReflectedTile: a wedge of width inputWidth px at
//            inputCenter reflected into 8 / 12 mirrored copies, rotated by inputAngle.
#pragma once

#include <cstdint>

namespace vfilter {

// One value handed to a filter. Scalars use x; "inputCenter" uses x and y.
struct Value {
    const char* key;
    float x;
    float y;
};

// True when name is one of the engine's filters.
bool Known(const char* name);

// Runs filter name over rgba in place with the given values (keys it does not use are ignored,
// keys it uses but not given take the filter's neutral value). False, with rgba untouched, for
// an unknown name, a null buffer or a size below 1 x 1.
bool Run(const char* name, const Value* values, int count, uint8_t* rgba, int width, int height);

}  // namespace vfilter
