// codec_png.cpp - PNG decoding with libspng, encoding with our row filters and libdeflate in strips.
#include "codec_png.h"

#include <libdeflate.h>
#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Ancillary chunks (text, profiles) larger than this are not read: the pixels never need them.
const size_t kMaxChunkBytes = size_t(64) << 20;
// libdeflate's level 7: within 2 % of the size zlib's default level (what the toolkit's writer
// used) gives, on composites, screenshots and smooth gradients alike, and faster than zlib on the
// same strips (a 1920 x 1080 export: 58 ms against 76 to 86). Its level 6, faster still, made
// gradients 12 to 22 % larger. The input bytes per strip.
const int kDeflateLevel = 7;
const size_t kStripBytes = size_t(1) << 20;
const size_t kIdatBytes = size_t(1) << 18;

struct Context {
    spng_ctx* ctx = spng_ctx_new(0);
    ~Context() {
        if (ctx) spng_ctx_free(ctx);
    }
};

bool open(spng_ctx* ctx, const uint8_t* data, size_t size, spng_ihdr* ihdr) {
    if (!ctx || !data || size < 8) return false;
    if (spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_DISCARD)) return false;
    if (spng_set_chunk_limits(ctx, kMaxChunkBytes, kMaxChunkBytes)) return false;
    if (spng_set_png_buffer(ctx, data, size)) return false;
    return spng_get_ihdr(ctx, ihdr) == 0 && ihdr->width > 0 && ihdr->height > 0 &&
           ihdr->width <= 0x7FFFFFFF && ihdr->height <= 0x7FFFFFFF;
}

// The nearest 8-bit value to v / 257, ties down (the toolkit's 16-to-8-bit reduction).
inline uint8_t Reduce16(unsigned v) { return uint8_t((v * 255 + 32767) / 65535); }

// Paeth's predictor from the byte to the left (a), above (b) and above left (c), in 16-bit
// arithmetic (every term fits), so that the writer's loops run 16 bytes to a 256-bit vector.
inline int16_t Paeth(int16_t a, int16_t b, int16_t c) {
    const int16_t pa = int16_t(std::abs(b - c)), pb = int16_t(std::abs(a - c)), pc = int16_t(std::abs(a + b - 2 * c));
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// --- the common case -----------------------------------------------------------------------------
// 8-bit true colour, with or without alpha, not interlaced, without a colour key: the chunks are
// walked here and the image data inflated by libdeflate (several times faster than zlib's
// inflate, which libspng uses), then unfiltered straight into the output rows. Anything unusual
// (a checksum, chunk order, filter or stream that does not fit) is left to libspng, which
// decides; so this path never accepts a file that libspng refuses for its pixels.

inline uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

template <int BPP>
bool UnfilterRow(int type, const uint8_t* src, const uint8_t* prior, uint8_t* cur, size_t n) {
    switch (type) {
    case 0: memmove(cur, src, n); return true;
    case 1:
        for (size_t i = 0; i < BPP; ++i) cur[i] = src[i];
        for (size_t i = BPP; i < n; ++i) cur[i] = uint8_t(src[i] + cur[i - BPP]);
        return true;
    case 2:
        for (size_t i = 0; i < n; ++i) cur[i] = uint8_t(src[i] + prior[i]);
        return true;
    case 3:
        for (size_t i = 0; i < BPP; ++i) cur[i] = uint8_t(src[i] + prior[i] / 2);
        for (size_t i = BPP; i < n; ++i) cur[i] = uint8_t(src[i] + (cur[i - BPP] + prior[i]) / 2);
        return true;
    case 4:
        for (size_t i = 0; i < BPP; ++i) cur[i] = uint8_t(src[i] + prior[i]);
        for (size_t i = BPP; i < n; ++i) cur[i] = uint8_t(src[i] + Paeth(cur[i - BPP], prior[i], prior[i - BPP]));
        return true;
    default: return false;
    }
}

// Unfilters the h rows of raw (each a filter byte and w x BPP bytes) into out as R,G,B,A rows.
// raw may lie inside out: for 4 bytes per pixel at its start, for 3 at its end (each output row
// then ends before the raw rows still to be read begin).
template <int BPP>
bool Unfilter(const uint8_t* raw, size_t w, size_t h, uint8_t* out) {
    const size_t n = w * BPP;
    std::vector<uint8_t> zeros(n, 0), rows(BPP == 4 ? 0 : 2 * n);
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* src = raw + y * (n + 1);
        uint8_t* cur = BPP == 4 ? out + y * n : rows.data() + (y & 1) * n;
        const uint8_t* prior = y == 0 ? zeros.data() : BPP == 4 ? cur - n : rows.data() + ((y - 1) & 1) * n;
        if (!UnfilterRow<BPP>(src[0], src + 1, prior, cur, n)) return false;
        if (BPP == 3) {
            uint8_t* d = out + y * w * 4;
            for (size_t x = 0; x < w; ++x, d += 4) d[0] = cur[3 * x], d[1] = cur[3 * x + 1], d[2] = cur[3 * x + 2], d[3] = 255;
        }
    }
    return true;
}

bool DecodeTrueColour8(const uint8_t* data, size_t size, const spng_ihdr& ihdr, uint8_t* out) {
    if (ihdr.bit_depth != 8 || ihdr.interlace_method != 0 || (ihdr.color_type != 2 && ihdr.color_type != 6))
        return false;
    std::vector<uint8_t> z;
    bool ended = false, idatDone = false;
    for (size_t p = 8; !ended;) {
        if (p + 12 > size) return false;
        const uint32_t n = Be32(data + p);
        const uint8_t* type = data + p + 4;
        if (n > size - p - 12) return false;
        const bool critical = !(type[0] & 0x20), idat = memcmp(type, "IDAT", 4) == 0;
        if (critical && uint32_t(libdeflate_crc32(0, type, size_t(n) + 4)) != Be32(type + 4 + n)) return false;
        if (idat) {
            if (idatDone) return false;
            z.insert(z.end(), type + 4, type + 4 + n);
        } else {
            idatDone = !z.empty();
            if (memcmp(type, "IEND", 4) == 0) ended = true;
            else if (memcmp(type, "tRNS", 4) == 0) return false;
            else if (critical && memcmp(type, "IHDR", 4) && memcmp(type, "PLTE", 4)) return false;
        }
        p += size_t(n) + 12;
    }
    // The inflated rows go into out itself (which has room for a filter byte per row).
    const int bpp = ihdr.color_type == 6 ? 4 : 3;
    const size_t w = ihdr.width, h = ihdr.height, rawBytes = h * (w * bpp + 1);
    uint8_t* raw = bpp == 4 ? out : out + w * h * 4 - rawBytes;
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    bool inflated = inflater && !z.empty() &&
                    libdeflate_zlib_decompress(inflater, z.data(), z.size(), raw, rawBytes, nullptr) ==
                        LIBDEFLATE_SUCCESS;
    if (inflater) libdeflate_free_decompressor(inflater);
    if (!inflated) return false;
    return bpp == 4 ? Unfilter<4>(raw, w, h, out) : Unfilter<3>(raw, w, h, out);
}

// --- encoding -----------------------------------------------------------------------------------

// The filtered byte's weight in libpng's choice of filter: the byte read as a signed value, made
// positive.
inline uint16_t Weight(uint8_t v) { return uint16_t(v < 128 ? v : 256 - v); }

// The prediction of PNG filter type F from the byte to the left (a), above (b) and above left (c).
template <int F>
inline int16_t Predicted(int16_t a, int16_t b, int16_t c) {
    return F == 0 ? 0 : F == 1 ? a : F == 2 ? b : F == 3 ? int16_t((a + b) >> 1) : Paeth(a, b, c);
}

// Filters row (n bytes; prior is the unfiltered row above, zeros for the first row) with PNG
// filter type F into dst. Bytes left of the row count as zeros.
template <int F, int BPP>
void FilterRow(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* dst) {
    const size_t lead = std::min(n, size_t(BPP));
    for (size_t i = 0; i < lead; ++i) dst[i] = uint8_t(row[i] - Predicted<F>(0, prior[i], 0));
    for (size_t i = lead; i < n; ++i) dst[i] = uint8_t(row[i] - Predicted<F>(row[i - BPP], prior[i], prior[i - BPP]));
}

// The five filters' sums of weights over bytes [from, to) of row, added to sum; the bytes left of
// from are the row's own. In blocks of 256 bytes, whose sums fit 16 bits.
template <int BPP>
void AddWeights(const uint8_t* row, const uint8_t* prior, size_t from, size_t to, uint64_t* sum) {
    for (size_t start = from; start < to; start += 256) {
        const size_t end = std::min(to, start + 256);
        uint16_t s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0;
        for (size_t i = start; i < end; ++i) {
            const int16_t x = row[i], a = row[i - BPP], b = prior[i], c = prior[i - BPP];
            s0 = uint16_t(s0 + Weight(uint8_t(x)));
            s1 = uint16_t(s1 + Weight(uint8_t(x - a)));
            s2 = uint16_t(s2 + Weight(uint8_t(x - b)));
            s3 = uint16_t(s3 + Weight(uint8_t(x - ((a + b) >> 1))));
            s4 = uint16_t(s4 + Weight(uint8_t(x - Paeth(a, b, c))));
        }
        sum[0] += s0, sum[1] += s1, sum[2] += s2, sum[3] += s3, sum[4] += s4;
    }
}

// Filters row into dst (its filter type byte, then the filtered bytes) with the type libpng's
// heuristic picks: the smallest sum of weights, the lower type on a tie.
// The row loops are compiled twice, for processors with AVX2 and for any x86-64 (GCC; the
// processor picks at start); the bytes are the same.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define PNG_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PNG_CLONES
#endif

template <int BPP>
PNG_CLONES void FilterBest(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* dst) {
    uint64_t sum[5] = {0, 0, 0, 0, 0};
    const size_t lead = std::min(n, size_t(BPP));
    for (size_t i = 0; i < lead; ++i) {
        const int b = prior[i];
        sum[0] += Weight(row[i]), sum[1] += Weight(row[i]), sum[2] += Weight(uint8_t(row[i] - b));
        sum[3] += Weight(uint8_t(row[i] - b / 2)), sum[4] += Weight(uint8_t(row[i] - b));
    }
    AddWeights<BPP>(row, prior, lead, n, sum);
    int f = 0;
    for (int g = 1; g < 5; ++g)
        if (sum[g] < sum[f]) f = g;
    dst[0] = uint8_t(f);
    switch (f) {
    case 0: FilterRow<0, BPP>(row, prior, n, dst + 1); break;
    case 1: FilterRow<1, BPP>(row, prior, n, dst + 1); break;
    case 2: FilterRow<2, BPP>(row, prior, n, dst + 1); break;
    case 3: FilterRow<3, BPP>(row, prior, n, dst + 1); break;
    default: FilterRow<4, BPP>(row, prior, n, dst + 1); break;
    }
}

// A raw inflater (no zlib header) reading in[0, size) into a sink of room bytes of its own.
struct RawInflater {
    z_stream z{};
    std::unique_ptr<uint8_t[]> sink;
    bool ready;
    RawInflater(const uint8_t* in, size_t size, size_t room) : sink(new (std::nothrow) uint8_t[room]) {
        ready = sink && inflateInit2(&z, -15) == Z_OK;
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = uInt(size);
        z.next_out = sink.get();
        z.avail_out = uInt(room);
    }
    ~RawInflater() {
        if (ready) inflateEnd(&z);
    }
};

// The bit at which the last block of a raw deflate stream of the n bytes at data starts, and the
// bytes of data that come before it, found by walking the stream block by block with zlib's
// inflate. false if the stream is not valid or does not give back data.
bool FindLastBlock(const uint8_t* stream, size_t size, const uint8_t* data, size_t n, size_t* bit, size_t* before) {
    RawInflater in(stream, size, n + 64);
    if (!in.ready) return false;
    z_stream& z = in.z;
    *bit = *before = 0;
    int r = Z_OK;
    while (r == Z_OK) {
        r = inflate(&z, Z_BLOCK);
        if (r == Z_OK && (z.data_type & 128) && !(z.data_type & 64)) {   // a block ended, more follow
            *bit = size_t(z.total_in) * 8 - size_t(z.data_type & 7);
            *before = size_t(z.total_out);
        }
    }
    return r == Z_STREAM_END && z.total_out == n && memcmp(in.sink.get(), data, n) == 0;
}

// The bit just past the end-of-block code of a block that is not final, starting at bit of the
// stream: the block is decoded once more on its own, with the 32 KB of data before it as the
// window its matches may reach into. 0 if it does not decode to the after bytes expected.
size_t BlockEnd(const uint8_t* stream, size_t size, size_t bit, const uint8_t* before, size_t beforeBytes, size_t after) {
    const size_t from = bit / 8 + (bit % 8 ? 1 : 0);   // the partial byte is primed, the rest read
    RawInflater in(stream + from, size - from, after + 64);
    if (!in.ready) return 0;
    z_stream& z = in.z;
    const size_t window = std::min<size_t>(beforeBytes, 32768);
    if (window) inflateSetDictionary(&z, before + beforeBytes - window, uInt(window));
    if (bit % 8) inflatePrime(&z, int(8 - bit % 8), stream[bit / 8] >> (bit % 8));
    if (inflate(&z, Z_BLOCK) != Z_OK || !(z.data_type & 128) || z.total_out != after) return 0;
    return (from + size_t(z.total_in)) * 8 - size_t(z.data_type & 7);
}

// Compresses one strip into a raw deflate stream with libdeflate. A strip that is not the last
// one is made to continue into the next: its last block's final bit is cleared and an empty
// stored block (what a sync flush writes) after that block brings it to a byte boundary.
bool DeflateStrip(const uint8_t* data, size_t n, bool last, std::vector<uint8_t>* out) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(kDeflateLevel);
    if (!c) return false;
    out->resize(libdeflate_deflate_compress_bound(c, n) + 8);
    size_t used = libdeflate_deflate_compress(c, data, n, out->data(), out->size());
    libdeflate_free_compressor(c);
    if (!used) return false;
    out->resize(used);
    if (last) return true;
    size_t first = 0, before = 0;
    if (!FindLastBlock(out->data(), used, data, n, &first, &before)) return false;
    (*out)[first / 8] &= uint8_t(~(1u << (first % 8)));
    size_t end = BlockEnd(out->data(), used, first, data, before, n - before);
    if (end == 0) return false;
    out->resize((end + 7) / 8);
    if (end % 8) out->back() &= uint8_t((1u << (end % 8)) - 1);
    out->resize((end + 3 + 7) / 8, 0);   // the stored block's three header bits, all zero, then padding
    out->insert(out->end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}

// zlib-compresses data as one stream, in strips compressed side by side by libdeflate and joined
// (see DeflateStrip). The strips depend on the data alone, so the file does not depend on the
// number of threads. Each strip starts without the data before it as a dictionary; at 1 MB per
// strip that costs no measurable size.
bool ZlibCompress(const uint8_t* data, size_t n, std::vector<uint8_t>* out) {
    const size_t strips = std::max<size_t>(1, (n + kStripBytes - 1) / kStripBytes);
    std::vector<std::vector<uint8_t>> parts(strips);
    bool failed = false;
#pragma omp parallel for schedule(dynamic)
    for (long s = 0; s < long(strips); ++s) {
        size_t begin = size_t(s) * kStripBytes, end = std::min(n, begin + kStripBytes);
        if (!DeflateStrip(data + begin, end - begin, size_t(s) + 1 == strips, &parts[size_t(s)])) {
#pragma omp atomic write
            failed = true;
        }
    }
    if (failed) return false;
    out->assign({0x78, 0x9C});   // deflate, 32 KB window, default level
    for (const auto& part : parts) out->insert(out->end(), part.begin(), part.end());
    uint32_t adler = libdeflate_adler32(1, data, n);
    out->insert(out->end(), {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)});
    return true;
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
    out->insert(out->end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

void Chunk(std::vector<uint8_t>* out, const char* type, const uint8_t* data, size_t n) {
    Put32(out, uint32_t(n));
    size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    if (n) out->insert(out->end(), data, data + n);
    Put32(out, uint32_t(libdeflate_crc32(0, out->data() + start, n + 4)));
}

}  // namespace

bool png_Probe(const uint8_t* data, size_t size, int* width, int* height) {
    Context c;
    spng_ihdr ihdr;
    if (!open(c.ctx, data, size, &ihdr)) return false;
    if (width) *width = int(ihdr.width);
    if (height) *height = int(ihdr.height);
    return true;
}

bool png_Decode(const uint8_t* data, size_t size, uint8_t* out, int width, int height) {
    Context c;
    spng_ihdr ihdr;
    if (!out || !open(c.ctx, data, size, &ihdr)) return false;
    if (int(ihdr.width) != width || int(ihdr.height) != height) return false;
    size_t pixels = size_t(width) * size_t(height);
    if (DecodeTrueColour8(data, size, ihdr, out)) return true;
    if (ihdr.bit_depth != 16) {
        size_t length = 0;
        if (spng_decoded_image_size(c.ctx, SPNG_FMT_RGBA8, &length) || length != pixels * 4) return false;
        return spng_decode_image(c.ctx, out, length, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) == 0;
    }
    // 16-bit samples (transparency applied at full depth), then rounded to 8 bits.
    size_t length = 0;
    if (spng_decoded_image_size(c.ctx, SPNG_FMT_RGBA16, &length) || length != pixels * 8) return false;
    std::unique_ptr<uint16_t[]> wide(new (std::nothrow) uint16_t[pixels * 4]);
    if (!wide || spng_decode_image(c.ctx, wide.get(), length, SPNG_FMT_RGBA16, SPNG_DECODE_TRNS)) return false;
    for (size_t i = 0; i < pixels * 4; ++i) out[i] = Reduce16(wide[i]);
    return true;
}

bool png_EncodeArgb(const uint8_t* argb, int width, int height, std::vector<uint8_t>* out) {
    if (!argb || width <= 0 || height <= 0 || !out) return false;
    const size_t w = size_t(width), h = size_t(height), pixels = w * h;
    bool opaque = true;
    for (size_t at = 0; at < pixels && opaque; at += 4096) {   // in blocks, so that the test vectorises
        uint8_t all = 255;
        for (size_t i = at, end = std::min(pixels, at + 4096); i < end; ++i) all &= argb[i * 4];
        opaque = all == 255;
    }
    const int bpp = opaque ? 3 : 4;
    const size_t rowBytes = w * bpp, filteredRow = rowBytes + 1;
    std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[rowBytes * h]);
    std::unique_ptr<uint8_t[]> filtered(new (std::nothrow) uint8_t[filteredRow * h]);
    if (!raw || !filtered) return false;
    const long rows = long(h);
#pragma omp parallel for schedule(static)
    for (long y = 0; y < rows; ++y) {
        const uint8_t* s = argb + size_t(y) * w * 4;
        uint8_t* d = raw.get() + size_t(y) * rowBytes;
        if (opaque)
            for (size_t x = 0; x < w; ++x, s += 4, d += 3) d[0] = s[1], d[1] = s[2], d[2] = s[3];
        else
            for (size_t x = 0; x < w; ++x, s += 4, d += 4) d[0] = s[1], d[1] = s[2], d[2] = s[3], d[3] = s[0];
    }
    const std::vector<uint8_t> zeros(rowBytes, 0);
#pragma omp parallel for schedule(static)
    for (long y = 0; y < rows; ++y) {
        const uint8_t* row = raw.get() + size_t(y) * rowBytes;
        const uint8_t* prior = y ? row - rowBytes : zeros.data();
        uint8_t* dst = filtered.get() + size_t(y) * filteredRow;
        if (opaque) FilterBest<3>(row, prior, rowBytes, dst);
        else FilterBest<4>(row, prior, rowBytes, dst);
    }
    raw.reset();
    std::vector<uint8_t> z;
    if (!ZlibCompress(filtered.get(), filteredRow * h, &z)) return false;
    const size_t zn = z.size();
    out->clear();
    out->reserve(zn + zn / kIdatBytes * 12 + 64);
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out->insert(out->end(), kSignature, kSignature + 8);
    uint8_t ihdr[13] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                        uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                        8, uint8_t(opaque ? 2 : 6), 0, 0, 0};
    Chunk(out, "IHDR", ihdr, sizeof ihdr);
    for (size_t at = 0; at < zn; at += kIdatBytes) Chunk(out, "IDAT", z.data() + at, std::min(kIdatBytes, zn - at));
    Chunk(out, "IEND", nullptr, 0);
    return true;
}
