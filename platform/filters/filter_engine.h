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
//   CIPixellate: squares of side inputScale px (1 or less: unchanged) on a grid with a corner at
//            inputCenter (the picture's middle when not given), each the mean of its pixels in
//            premultiplied colour.
//   CIHexagonalPixellate: hexagons whose centres are inputScale px apart (1 or less: unchanged),
//            one centred on inputCenter, each the premultiplied mean of its pixels.
//   CICrystallize: Voronoi cells of one seed per inputRadius px square (1 or less: unchanged),
//            seeds jittered by a fixed hash, grid anchored on inputCenter; each cell the colour
//            of the pixel under its seed.
//   CIPointillize: dots of radius inputRadius px (at least 1), one per 2 x inputRadius px square
//            of a fixed jittered grid anchored on inputCenter, each the colour under its centre
//            with a one-pixel soft edge; transparent between the dots.
//   CICMYKHalftone: C, M, Y, K dot screens (at inputAngle + 15, 75, 0, 45 degrees) of period
//            inputWidth px about inputCenter, inputSharpness 0..1 (default 0.7), inks from the
//            straight colour with inputGCR 0..1 (default 1) and inputUCR 0..1 (default 0.5),
//            printed on white; alpha kept.
//   CIDotScreen / CILineScreen / CICircularScreen: a black-and-white screen of the Rec. 709
//            luminance: dots, lines along inputAngle, or rings about inputCenter; period
//            inputWidth px (at least 1), inputAngle radians, inputSharpness 0..1 (0 passes the
//            grey through, 1 hard-edged with one pixel of antialiasing); white stays white,
//            black stays black, alpha kept.
//   CIBumpDistortion: bulge (inputScale > 0) or dent (< 0; clamped to -1..1) within inputRadius
//            px of inputCenter: distance d samples at d x (1 - scale (1 - d/r)^2); pixels at
//            inputRadius or beyond untouched; radius 0 changes nothing.
//   CIBumpDistortionLinear: the same profile across the line through inputCenter at inputAngle,
//            within inputRadius px of the line; the rest untouched.
//   CIPinchDistortion: within inputRadius px of inputCenter, distance d samples at
//            d x sin(pi/2 d/r)^-scale, inputScale clamped to -1..1 (0 none, 1 strongest pinch);
//            outside untouched.
//   CIHoleDistortion: a transparent hole of radius inputRadius px at inputCenter; the picture
//            from there to 4 x inputRadius is pushed outwards; beyond that untouched.
//   CICircularWrap: the picture bent round a transparent circle of radius inputRadius px at
//            inputCenter: bottom edge on the circle, rows outwards, arc length = x, the middle
//            column at inputAngle from straight up; remaps the whole picture (radius below 1 px:
//            unchanged).
//   CIOpTile: the square of side inputWidth px at inputCenter, shrunk inputScale times
//            (0.01..1000, default 2.8), repeated over the picture in a grid rotated by inputAngle.
//   CIEightfoldReflectedTile / CITwelvefoldReflectedTile: squares / hexagons of width
//            inputWidth px (at least 1) about inputCenter, each showing one 45 / 30 degree wedge
//            of the picture at the centre mirrored into 8 / 12 parts; pattern rotated by
//            inputAngle.
//   (For these, a value not given or not finite counts as: radius 0 for the distortions, scale
//   or radius 1 for the pixellates and crystallize, pointillize radius 20, screen width 6,
//   sharpness 0.7, angle 0, op tile width 65, tile widths 100; a centre not given is the
//   picture's middle.)
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
// The same filter of src written to dst (src untouched): the bytes Run gives on a copy of src,
// without the copy where the filter can read one buffer and write another. dst must be src
// itself or not overlap it.
bool RunFrom(const char* name, const Value* values, int count, const uint8_t* src, uint8_t* dst, int width,
             int height);

}  // namespace vfilter
