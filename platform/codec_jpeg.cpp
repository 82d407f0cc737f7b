// codec_jpeg.cpp - JPEG decoding through TurboJPEG into the layer form in one pass, and encoding with
// libjpeg from the writer form or from rows still being read back.
#include "codec_jpeg.h"

#include <algorithm>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include <jpeglib.h>
#include <jerror.h>
#include <turbojpeg.h>

namespace {

struct Decompressor {
    tjhandle h = tjInitDecompress();
    ~Decompressor() {
        if (h) tjDestroy(h);
    }
};

bool header(tjhandle h, const uint8_t* data, size_t size, int* width, int* height, int* colourspace) {
    int w = 0, hgt = 0, subsampling = 0, space = 0;
    if (!h || !data || size < 4 || size > 0xFFFFFFFFu) return false;
    if (tjDecompressHeader3(h, data, (unsigned long)size, &w, &hgt, &subsampling, &space) != 0) return false;
    if (w <= 0 || hgt <= 0) return false;
    *width = w, *height = hgt, *colourspace = space;
    return true;
}

}  // namespace

bool jpeg_Probe(const uint8_t* data, size_t size, int* width, int* height) {
    Decompressor d;
    int w, h, space;
    if (!header(d.h, data, size, &w, &h, &space)) return false;
    if (width) *width = w;
    if (height) *height = h;
    return true;
}

bool jpeg_Decode(const uint8_t* data, size_t size, uint8_t* out, int width, int height) {
    Decompressor d;
    int w, h, space;
    if (!out || !header(d.h, data, size, &w, &h, &space) || w != width || h != height) return false;
    bool ink = space == TJCS_CMYK || space == TJCS_YCCK;
    // A progressive file with more scans than any encoder writes is a denial-of-service attempt.
    int flags = TJFLAG_LIMITSCANS;
    if (tjDecompress2(d.h, data, (unsigned long)size, out, width, width * 4, height,
                      ink ? TJPF_CMYK : TJPF_RGBA, flags) != 0 &&
        tjGetErrorCode(d.h) != TJERR_WARNING)
        return false;
    if (ink) {
        // Adobe's inverted CMYK: each colour is its ink value scaled by the black value.
        size_t n = size_t(width) * size_t(height) * 4;
        for (size_t i = 0; i < n; i += 4) {
            unsigned k = out[i + 3];
            out[i] = uint8_t(k * out[i] / 255);
            out[i + 1] = uint8_t(k * out[i + 1] / 255);
            out[i + 2] = uint8_t(k * out[i + 2] / 255);
            out[i + 3] = 255;
        }
    }
    return true;
}

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

[[noreturn]] void JumpOut(j_common_ptr c) { longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }

// Where the encoder's rows come from: Rows(first, count, rows) puts the addresses of picture rows
// [first, first + count) into rows, waiting until they are ready; false ends the encoding.
struct RowSource {
    virtual bool Rows(int first, int count, JSAMPROW* rows) = 0;
};

// The encoded file: a destination for libjpeg that grows its buffer as the encoder fills it. It
// lives out of the encoder's frame, so that it is still known after an error has jumped back there.
struct Encoded {
    jpeg_destination_mgr mgr;   // first, so that libjpeg's pointer to it is a pointer to this
    unsigned char* data = nullptr;
    size_t capacity = 0;
    Encoded() {
        mgr.init_destination = [](j_compress_ptr c) { reinterpret_cast<Encoded*>(c->dest)->Grow(c, 0, size_t(1) << 16); };
        // Called when the whole buffer is full. (The Huffman coder keeps its own count of the free
        // bytes while it codes, so the count here may be stale by then.)
        mgr.empty_output_buffer = [](j_compress_ptr c) -> boolean {
            Encoded* e = reinterpret_cast<Encoded*>(c->dest);
            e->Grow(c, e->capacity, e->capacity * 2);
            return TRUE;
        };
        mgr.term_destination = [](j_compress_ptr) {};
    }
    ~Encoded() { free(data); }
    // The buffer made size bytes long, the used bytes written so far kept; the encoder goes on
    // after them.
    void Grow(j_compress_ptr c, size_t used, size_t size) {
        auto* bigger = static_cast<unsigned char*>(realloc(data, size));
        if (!bigger) ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
        data = bigger;
        capacity = size;
        mgr.next_output_byte = data + used;
        mgr.free_in_buffer = size - used;
    }
    size_t Size() const { return capacity - mgr.free_in_buffer; }
};

// Encodes width x height pixels of 4 bytes in the given layout (alpha ignored) from source into
// file: baseline, quality 1..100, 4:2:0 chroma, the accurate transform, the standard Huffman
// tables, a JFIF header of 96 dots per inch. These are the toolkit writer's settings, and the
// ones TurboJPEG's compressor sets. Only plain data lives in this frame across setjmp.
bool Compress(J_COLOR_SPACE layout, int width, int height, int quality, RowSource& source, Encoded* file) {
    jpeg_compress_struct c;
    JpegError error;
    JSAMPROW rows[16];
    c.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = JumpOut;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&c);
        return false;
    }
    jpeg_create_compress(&c);
    c.dest = &file->mgr;
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 4;
    c.in_color_space = layout;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.dct_method = JDCT_ISLOW;
    jpeg_set_colorspace(&c, JCS_YCbCr);
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 2;
    for (int i = 1; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    c.density_unit = 1;   // dots per inch
    c.X_density = c.Y_density = 96;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        const int first = int(c.next_scanline), count = std::min(16, height - first);
        if (!source.Rows(first, count, rows)) {
            jpeg_destroy_compress(&c);
            return false;
        }
        for (int done = 0; done < count;) done += int(jpeg_write_scanlines(&c, rows + done, JDIMENSION(count - done)));
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

}  // namespace

bool jpeg_EncodeArgb(const uint8_t* argb, int width, int height, int quality, std::vector<uint8_t>* out) {
    if (!argb || !out || width < 1 || height < 1 || quality < 1 || quality > 100) return false;
    struct TopFirst : RowSource {
        const uint8_t* pixels;
        size_t row;
        bool Rows(int first, int count, JSAMPROW* rows) override {
            for (int i = 0; i < count; ++i) rows[i] = const_cast<JSAMPROW>(pixels + size_t(first + i) * row);
            return true;
        }
    } source;
    source.pixels = argb;
    source.row = size_t(width) * 4;
    Encoded file;
    if (!Compress(JCS_EXT_ARGB, width, height, quality, source, &file)) return false;
    out->assign(file.data, file.data + file.Size());
    return true;
}

bool jpeg_EncodeRgbaBands(const uint8_t* rgba, int width, int height, int quality,
                          const std::function<bool(int first, int count)>& fill, std::vector<uint8_t>* out) {
    if (!rgba || !fill || !out || width < 1 || height < 1 || quality < 1 || quality > 100) return false;
    // The rows filled so far, top first, and whether a fill failed; the encoder waits on them.
    struct Waiting : RowSource {
        const uint8_t* pixels;
        size_t row;
        int height, filled = 0;
        bool failed = false;
        std::mutex lock;
        std::condition_variable changed;
        bool Rows(int first, int count, JSAMPROW* rows) override {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return filled >= first + count || failed; });
            if (filled < first + count) return false;
            for (int i = 0; i < count; ++i)
                rows[i] = const_cast<JSAMPROW>(pixels + size_t(height - 1 - (first + i)) * row);
            return true;
        }
    } source;
    source.pixels = rgba;
    source.row = size_t(width) * 4;
    source.height = height;
    Encoded file;
    bool encoded = false;
    auto encode = [&] { encoded = Compress(JCS_EXT_RGBA, width, height, quality, source, &file); };
    std::thread encoder;
    try {
        encoder = std::thread(encode);
    } catch (const std::system_error&) {   // no thread to be had: every band is read, then encoded here
    }
    const int band = 64;   // four of the encoder's 16-row steps
    for (int first = 0; first < height; first += band) {
        const int count = std::min(band, height - first);
        const bool good = fill(first, count);
        {
            std::lock_guard<std::mutex> hold(source.lock);
            if (good) source.filled = first + count;
            else source.failed = true;
        }
        source.changed.notify_one();
        if (!good) break;
    }
    if (encoder.joinable()) encoder.join();
    else if (!source.failed) encode();
    if (!encoded || source.failed) return false;
    out->assign(file.data, file.data + file.Size());
    return true;
}
