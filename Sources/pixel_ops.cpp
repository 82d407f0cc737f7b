// pixel_ops.cpp - the flat fill and the colour matrix.
#include "pixel_ops.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drawers.h"
#include "gl_context.h"
#include "layer_table.h"
#include "textures.h"

namespace {

const float kLumR = 0.3086f, kLumG = 0.6094f, kLumB = 0.0820f;

void Multiply(const float a[16], const float b[16], float out[16]) {
    float r[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            r[i * 4 + j] = 0;
            for (int k = 0; k < 4; ++k) r[i * 4 + j] += a[i * 4 + k] * b[k * 4 + j];
        }
    memcpy(out, r, sizeof r);
}

uint8_t Clamp(float v) {
    if (v <= 0) return 0;
    if (v >= 255) return 255;
    return uint8_t(v + 0.5f);
}

}  // namespace

void BuildColorMatrix(float hue, float saturation, float m[16]) {
    float s = saturation, a = 1.0f - s;
    float wr = a * kLumR, wg = a * kLumG, wb = a * kLumB;
    const float S[16] = {wr + s, wg, wb, 0, wr, wg + s, wb, 0, wr, wg, wb + s, 0, 0, 0, 0, 1};
    // The rotation glRotatef(hue, 1, 1, 1) builds: about the normalised grey axis.
    double t = double(hue) * 3.14159265358979323846 / 180.0;
    double c = std::cos(t), sn = std::sin(t), k = 1.0 - c, u = 1.0 / std::sqrt(3.0);
    double uu = u * u * k;
    const float H[16] = {float(c + uu), float(uu - u * sn), float(uu + u * sn), 0,
                         float(uu + u * sn), float(c + uu), float(uu - u * sn), 0,
                         float(uu - u * sn), float(uu + u * sn), float(c + uu), 0,
                         0, 0, 0, 1};
    Multiply(S, H, m);
}

void TransformPixels(const float m[16], const uint8_t* in, uint8_t* out, int count) {
    for (int i = 0; i < count; ++i) {
        const uint8_t* p = in + size_t(i) * 4;
        float r = p[0], g = p[1], b = p[2];
        uint8_t a = p[3];
        uint8_t* q = out + size_t(i) * 4;
        q[0] = Clamp(m[0] * r + m[1] * g + m[2] * b);
        q[1] = Clamp(m[4] * r + m[5] * g + m[6] * b);
        q[2] = Clamp(m[8] * r + m[9] * g + m[10] * b);
        q[3] = a;
    }
}

void ChangeTextureColor(int slot, int r, int g, int b) {
    if (!IsValidLayer(slot) || r == -1 || g == -1 || b == -1) return;
    TexImage& t = texImages[slot];
    t.fillR = float(r);
    t.fillG = float(g);
    t.fillB = float(b);
    plat_MakeCurrent(glContext);
    HandleHue(0.0f);
    HandleLightness(0.0f);
    HandleSaturation(100.0f);
    if (r >= 0 && g >= 0 && b >= 0 && t.pixels) {
        NewPixelGeneration(t);
        size_t n = size_t(t.texWidth) * t.texHeight;
        for (size_t i = 0; i < n; ++i) {
            uint8_t* p = t.pixels + i * size_t(t.channels);
            p[0] = uint8_t(r);
            if (t.channels > 1) p[1] = uint8_t(g);
            if (t.channels > 2) p[2] = uint8_t(b);
        }
    }
    ReuploadSlot(slot);
}

void ApplyColorMatrix(int slot) {
    if (!useImaging || !IsValidLayer(slot) || texImages[slot].live || !texImages[slot].pixels) return;
    TexImage& t = texImages[slot];
    if (t.channels != 4) return;
    float m[16];
    BuildColorMatrix(t.hue, t.saturation, m);
    int count = t.texWidth * t.texHeight;
    std::vector<uint8_t> out(size_t(count) * 4);
    TransformPixels(m, t.pixels, out.data(), count);
    Buffer2Texture(slot, out.data());
    plat_MakeCurrent(glContext);
}
