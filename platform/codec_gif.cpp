// codec_gif.cpp - GIF writing through libimagequant and giflib.
#include "codec_gif.h"

#include <cstring>
#include <memory>

#include <gif_lib.h>
#include <libimagequant.h>

namespace {

struct LiqAttrFree { void operator()(liq_attr* a) const { liq_attr_destroy(a); } };
struct LiqImageFree { void operator()(liq_image* i) const { liq_image_destroy(i); } };
struct LiqResultFree { void operator()(liq_result* r) const { liq_result_destroy(r); } };
struct GifMapFree { void operator()(ColorMapObject* m) const { GifFreeMapObject(m); } };

int AppendBytes(GifFileType* gif, const GifByteType* bytes, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + length);
    return length;
}

// The palette and one index per pixel; transparent is the palette's transparent entry or -1.
bool Quantise(const uint8_t* rgba, int width, int height, std::vector<uint8_t>* indices,
              std::vector<liq_color>* palette, int* transparent) {
    const size_t pixels = size_t(width) * height;
    // GIF knows only "transparent" and "opaque": decide each pixel before quantising, so that the
    // palette is spent on the colours that are seen.
    std::vector<uint8_t> binary(rgba, rgba + pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t* px = &binary[i * 4];
        if (px[3] < 128) memset(px, 0, 4);
        else px[3] = 255;
    }
    std::unique_ptr<liq_attr, LiqAttrFree> attr(liq_attr_create());
    if (!attr || liq_set_max_colors(attr.get(), 256) != LIQ_OK) return false;
    std::unique_ptr<liq_image, LiqImageFree> image(liq_image_create_rgba(attr.get(), binary.data(), width, height, 0));
    if (!image) return false;
    liq_result* made = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &made) != LIQ_OK || !made) return false;
    std::unique_ptr<liq_result, LiqResultFree> result(made);
    liq_set_dithering_level(result.get(), 1.0f);
    indices->resize(pixels);
    if (liq_write_remapped_image(result.get(), image.get(), indices->data(), indices->size()) != LIQ_OK) return false;
    const liq_palette* found = liq_get_palette(result.get());
    if (!found || found->count == 0 || found->count > 256) return false;
    palette->assign(found->entries, found->entries + found->count);

    // Every entry that came out (nearly) transparent folds into the first such entry.
    *transparent = -1;
    uint8_t fold[256];
    for (unsigned i = 0; i < found->count; ++i) {
        fold[i] = uint8_t(i);
        if ((*palette)[i].a >= 128) continue;
        if (*transparent < 0) *transparent = int(i);
        fold[i] = uint8_t(*transparent);
    }
    if (*transparent >= 0)
        for (uint8_t& index : *indices) index = fold[index];
    return true;
}

}  // namespace

bool gif_Encode(const uint8_t* rgba, int width, int height, std::vector<uint8_t>* out) {
    if (!rgba || !out || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return false;
    std::vector<uint8_t> indices;
    std::vector<liq_color> palette;
    int transparent = -1;
    if (!Quantise(rgba, width, height, &indices, &palette, &transparent)) return false;

    // The colour table's size is a power of two from 2 to 256.
    int tableSize = 2, depth = 1;
    while (tableSize < int(palette.size())) tableSize *= 2, ++depth;
    std::unique_ptr<ColorMapObject, GifMapFree> map(GifMakeMapObject(tableSize, nullptr));
    if (!map) return false;
    for (int i = 0; i < tableSize; ++i) {
        liq_color c = i < int(palette.size()) ? palette[size_t(i)] : liq_color{0, 0, 0, 255};
        map->Colors[i] = GifColorType{c.r, c.g, c.b};
    }

    out->clear();
    int error = 0;
    GifFileType* gif = EGifOpen(out, AppendBytes, &error);
    if (!gif) return false;
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, width, height, depth, 0, map.get()) == GIF_OK;
    if (ok && transparent >= 0) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.UserInputFlag = false;
        control.DelayTime = 0;
        control.TransparentColor = transparent;
        GifByteType extension[4];
        size_t length = EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y)
        ok = EGifPutLine(gif, &indices[size_t(y) * width], width) == GIF_OK;
    // Closing writes the trailer and frees the handle whatever happened before.
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    if (!ok) out->clear();
    return ok;
}
