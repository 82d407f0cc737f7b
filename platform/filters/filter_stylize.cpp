// filter_stylize.cpp - pixellate, hexagonal pixellate, crystallize and pointillize.
//
// Pixellate and hexagonal pixellate paint each cell with the mean of its pixels in premultiplied
// colour (integer sums, so the result is exact and independent of the number of threads). Each
// cell belongs to one row of cells, and one thread handles a whole row of cells, so the filters
// read and write the same buffer without a copy.
//
// Crystallize and pointillize use one jittered seed per cell of a square grid anchored on the
// centre; the jitter comes from a hash of the cell's place relative to the centre, so the same
// picture and values always give the same seeds. A seed stays within 0.4 cell of its cell's
// middle, so seeds of cells two away are at least 1.1 cells from any pixel of a cell: the 3 x 3
// neighbourhood decides unless its best seed is farther than that.
#include <cmath>
#include <cstring>
#include <vector>

#include "filter_kernels.h"
#include "filter_sampling.h"

namespace vfilter {
namespace {

constexpr float kMaxCell = 1.0e7f;  // larger cells than this cover any picture anyway

// Running sums of one cell: premultiplied colour (colour x alpha), alpha and pixel count.
struct CellSum {
    uint64_t c[3];
    uint64_t a;
    uint64_t n;
};

inline void Add(CellSum& s, const uint8_t* px) {
    const uint32_t a = px[3];
    s.c[0] += uint32_t(px[0]) * a;
    s.c[1] += uint32_t(px[1]) * a;
    s.c[2] += uint32_t(px[2]) * a;
    s.a += a;
    s.n += 1;
}

// The mean of a cell as straight bytes: colour = sum(c a) / sum(a), alpha = sum(a) / n, rounded.
inline uint32_t Mean(const CellSum& s) {
    uint8_t out[4] = {0, 0, 0, 0};
    if (s.a > 0 && s.n > 0) {
        for (int c = 0; c < 3; ++c) out[c] = uint8_t((s.c[c] + s.a / 2) / s.a);
        out[3] = uint8_t((s.a + s.n / 2) / s.n);
    }
    uint32_t v;
    std::memcpy(&v, out, 4);
    return v;
}

// Offset of a cell grid of period `period` through `centre`, in (-period, 0]: the cells start
// there, so every pixel has a cell index of 0 or more.
inline double GridOrigin(double centre, double period) {
    double o = std::fmod(centre, period);
    if (o < 0) o += period;
    return o - period;
}

}  // namespace

void CIPixellate(uint8_t* rgba, int w, int h, const Params& p) {
    float s = p.Get("inputScale", 1.0f);
    if (!(s > 1.0f)) return;  // cells of one pixel or less: the picture itself
    s = std::min(s, kMaxCell);
    const double ox = GridOrigin(geo::ClampCentre(p.CenterX(w)), s);
    const double oy = GridOrigin(geo::ClampCentre(p.CenterY(h)), s);

    std::vector<int> colCell(w);
    for (int x = 0; x < w; ++x) colCell[x] = int(std::floor((x + 0.5 - ox) / s));
    const int nx = colCell[w - 1] + 1;
    // First pixel row of each cell row (rowStart[ny] = h).
    std::vector<int> rowStart;
    for (int y = 0, prev = -1; y < h; ++y) {
        int cy = int(std::floor((y + 0.5 - oy) / s));
        while (prev < cy) {
            rowStart.push_back(y);
            ++prev;
        }
    }
    const int ny = int(rowStart.size());
    rowStart.push_back(h);

#pragma omp parallel
    {
        std::vector<CellSum> sums(nx);
        std::vector<uint32_t> means(nx);
#pragma omp for schedule(dynamic, 1)
        for (int cy = 0; cy < ny; ++cy) {
            std::memset(sums.data(), 0, sizeof(CellSum) * nx);
            for (int y = rowStart[cy]; y < rowStart[cy + 1]; ++y) {
                const uint8_t* row = rgba + std::size_t(y) * w * 4;
                for (int x = 0; x < w; ++x) Add(sums[colCell[x]], row + x * 4);
            }
            for (int c = 0; c < nx; ++c) means[c] = Mean(sums[c]);
            for (int y = rowStart[cy]; y < rowStart[cy + 1]; ++y) {
                uint8_t* row = rgba + std::size_t(y) * w * 4;
                for (int x = 0; x < w; ++x) std::memcpy(row + x * 4, &means[colCell[x]], 4);
            }
        }
    }
}

// Hexagons are the cells of the triangular lattice with neighbours s apart: rows of centres
// s x sqrt(3)/2 apart, odd rows shifted by s/2, one centre on inputCenter. A pixel between
// centre rows j and j + 1 belongs to a hexagon of one of those two rows (a hexagon reaches only
// s / sqrt(3) above and below its centre), so each pixel is coded with its column and whether it
// belongs to the row above or below.
void CIHexagonalPixellate(uint8_t* rgba, int w, int h, const Params& p) {
    float s = p.Get("inputScale", 1.0f);
    if (!(s > 1.0f)) return;
    s = std::min(s, kMaxCell);
    const double dy = s * 0.8660254037844386;
    const double ox = GridOrigin(geo::ClampCentre(p.CenterX(w)), s);
    const double oy = GridOrigin(geo::ClampCentre(p.CenterY(h)), 2.0 * dy);
    const int ni = int((w - ox) / s) + 3;
    const int nj = int((h - oy) / dy) + 3;

    std::vector<int> rowBand(h);  // centre row just above (or at) each pixel row
    for (int y = 0; y < h; ++y) rowBand[y] = int(std::floor((y + 0.5 - oy) / dy));
    std::vector<int32_t> code(std::size_t(w) * h);  // column x 2, + 1 for the lower row
    const float fs = s, fdy = float(dy);
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const int j0 = rowBand[y];
        const float ya = float(y + 0.5 - (oy + j0 * dy));  // from the upper row's centres
        const float yb = ya - fdy;
        const float sha = (j0 & 1) ? 0.5f : 0.0f, shb = 0.5f - sha;
        const float x0 = float(0.5 - ox);
        int32_t* out = code.data() + std::size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const float px = x0 + float(x);  // from the grid origin
            const float ua = px / fs - sha, ub = px / fs - shb;
            const int ia = int(ua + 0.5f), ib = int(ub + 0.5f);  // both >= 0
            const float dxa = px - (float(ia) + sha) * fs, dxb = px - (float(ib) + shb) * fs;
            const bool lower = dxb * dxb + yb * yb < dxa * dxa + ya * ya;
            out[x] = lower ? ib * 2 + 1 : ia * 2;
        }
    }
    // First pixel row of each band (bandStart[b]: the first row whose band is b or more).
    std::vector<int> bandStart(nj + 2, h);
    for (int y = h - 1; y >= 0; --y) {
        int b = std::min(std::max(rowBand[y], 0), nj + 1);
        bandStart[b] = y;
    }
    for (int b = nj; b >= 0; --b) bandStart[b] = std::min(bandStart[b], bandStart[b + 1]);

#pragma omp parallel
    {
        std::vector<CellSum> sums(ni);
        std::vector<uint32_t> means(ni);
#pragma omp for schedule(dynamic, 1)
        for (int j = 0; j < nj; ++j) {
            // Members of centre row j: band j coded upper (even codes), band j - 1 coded lower.
            const int yBegin = j > 0 ? bandStart[j - 1] : 0;
            const int yEnd = bandStart[j + 1];
            if (yBegin >= yEnd) continue;
            std::memset(sums.data(), 0, sizeof(CellSum) * ni);
            for (int pass = 0; pass < 2; ++pass) {
                if (pass == 1)
                    for (int c = 0; c < ni; ++c) means[c] = Mean(sums[c]);
                for (int y = yBegin; y < yEnd; ++y) {
                    const int want = rowBand[y] == j ? 0 : 1;
                    if (rowBand[y] != j && rowBand[y] != j - 1) continue;
                    const int32_t* cr = code.data() + std::size_t(y) * w;
                    uint8_t* row = rgba + std::size_t(y) * w * 4;
                    for (int x = 0; x < w; ++x) {
                        if ((cr[x] & 1) != want) continue;
                        const int col = cr[x] >> 1;
                        if (pass == 0)
                            Add(sums[col], row + x * 4);
                        else
                            std::memcpy(row + x * 4, &means[col], 4);
                    }
                }
            }
        }
    }
}

namespace {

// One jittered seed per cell of a square grid of period `cell` anchored on the centre, over
// the picture and two cells beyond each edge, each with the straight colour of the pixel nearest
// to it (clamped into the picture).
struct SeedGrid {
    float cell = 1;
    float ox = 0, oy = 0;  // picture position of cell (0, 0)'s corner
    int ni = 0, nj = 0;    // cells covering the picture
    int stride = 0;        // ni + 4: seeds of columns -2 .. ni + 1
    std::vector<float> sx, sy;
    std::vector<uint32_t> colour;

    void Build(const uint8_t* rgba, int w, int h, float period, float cx, float cy) {
        cell = period;
        const double dox = GridOrigin(cx, period), doy = GridOrigin(cy, period);
        ox = float(dox);
        oy = float(doy);
        ni = int((w - dox) / period) + 1;
        nj = int((h - doy) / period) + 1;
        stride = ni + 4;
        // The centre lies on the corner of cell (ci, cj); the hash uses places relative to it.
        const int ci = int(std::lround((cx - dox) / period)), cj = int(std::lround((cy - doy) / period));
        const std::size_t n = std::size_t(stride) * (nj + 4);
        sx.resize(n);
        sy.resize(n);
        colour.resize(n);
        for (int j = -2; j < nj + 2; ++j)
            for (int i = -2; i < ni + 2; ++i) {
                const std::size_t k = Index(i, j);
                const uint32_t hsh = geo::HashCell(i - ci, j - cj);
                sx[k] = float(dox + (i + 0.5 + 0.8 * (geo::JitterX(hsh) - 0.5)) * period);
                sy[k] = float(doy + (j + 0.5 + 0.8 * (geo::JitterY(hsh) - 0.5)) * period);
                const uint8_t* px = geo::NearestPixel(rgba, w, h, sx[k], sy[k]);
                uint32_t v = 0;
                if (px[3] != 0) std::memcpy(&v, px, 4);
                colour[k] = v;
            }
    }
    std::size_t Index(int i, int j) const { return std::size_t(j + 2) * stride + (i + 2); }
};

// For every pixel of row y: the seed nearest to its centre (index into the grid) and the
// squared distance, exact (see the note at the top of this file).
void NearestSeeds(const SeedGrid& g, int w, int y, int* best, float* bestD2) {
    const float py = y + 0.5f;
    const int cj = std::min(std::max(int(std::floor((py - g.oy) / g.cell)), 0), g.nj - 1);
    const float far2 = (1.1f * g.cell) * (1.1f * g.cell);
    int x = 0;
    while (x < w) {
        const int ci = std::min(std::max(int(std::floor((x + 0.5f - g.ox) / g.cell)), 0), g.ni - 1);
        int xEnd = x + 1;
        while (xEnd < w && std::min(std::max(int(std::floor((xEnd + 0.5f - g.ox) / g.cell)), 0),
                                    g.ni - 1) == ci)
            ++xEnd;
        float csx[9], cdy2[9];
        int cidx[9];
        for (int k = 0; k < 9; ++k) {
            const std::size_t idx = g.Index(ci + k % 3 - 1, cj + k / 3 - 1);
            csx[k] = g.sx[idx];
            const float d = py - g.sy[idx];
            cdy2[k] = d * d;
            cidx[k] = int(idx);
        }
        for (int xx = x; xx < xEnd; ++xx) {
            const float px = xx + 0.5f;
            float bd = 3.0e38f;
            int bk = 0;
            for (int k = 0; k < 9; ++k) {
                const float dx = px - csx[k];
                const float d2 = dx * dx + cdy2[k];
                if (d2 < bd) {
                    bd = d2;
                    bk = k;
                }
            }
            best[xx] = cidx[bk];
            bestD2[xx] = bd;
        }
        for (int xx = x; xx < xEnd; ++xx) {
            if (bestD2[xx] <= far2) continue;
            const float px = xx + 0.5f;
            for (int dj = -2; dj <= 2; ++dj)
                for (int di = -2; di <= 2; ++di) {
                    if (di >= -1 && di <= 1 && dj >= -1 && dj <= 1) continue;
                    const std::size_t idx = g.Index(ci + di, cj + dj);
                    const float dx = px - g.sx[idx], d = py - g.sy[idx];
                    const float d2 = dx * dx + d * d;
                    if (d2 < bestD2[xx]) {
                        bestD2[xx] = d2;
                        best[xx] = int(idx);
                    }
                }
        }
        x = xEnd;
    }
}

}  // namespace

void CICrystallize(uint8_t* rgba, int w, int h, const Params& p) {
    float r = p.Get("inputRadius", 1.0f);
    if (!(r > 1.0f)) return;  // cells of one pixel: the picture itself
    r = std::min(r, kMaxCell);
    SeedGrid g;
    g.Build(rgba, w, h, r, geo::ClampCentre(p.CenterX(w)), geo::ClampCentre(p.CenterY(h)));
#pragma omp parallel
    {
        std::vector<int> best(w);
        std::vector<float> d2(w);
#pragma omp for schedule(static)
        for (int y = 0; y < h; ++y) {
            NearestSeeds(g, w, y, best.data(), d2.data());
            uint8_t* row = rgba + std::size_t(y) * w * 4;
            for (int x = 0; x < w; ++x) std::memcpy(row + x * 4, &g.colour[best[x]], 4);
        }
    }
}

// Dots of radius r on a jittered grid of period 2r; a pixel takes the nearest dot, with one
// pixel of soft edge, and is transparent where no dot reaches.
void CIPointillize(uint8_t* rgba, int w, int h, const Params& p) {
    float r = p.Get("inputRadius", 20.0f);
    r = geo::Clamp(r, 1.0f, kMaxCell);
    SeedGrid g;
    g.Build(rgba, w, h, 2.0f * r, geo::ClampCentre(p.CenterX(w)), geo::ClampCentre(p.CenterY(h)));
    const float reach2 = (r + 0.5f) * (r + 0.5f);
#pragma omp parallel
    {
        std::vector<int> best(w);
        std::vector<float> d2(w);
#pragma omp for schedule(static)
        for (int y = 0; y < h; ++y) {
            NearestSeeds(g, w, y, best.data(), d2.data());
            uint8_t* row = rgba + std::size_t(y) * w * 4;
            for (int x = 0; x < w; ++x) {
                uint8_t* d = row + x * 4;
                if (!(d2[x] < reach2)) {
                    d[0] = d[1] = d[2] = d[3] = 0;
                    continue;
                }
                uint8_t c[4];
                std::memcpy(c, &g.colour[best[x]], 4);
                const float cover = geo::Clamp(r + 0.5f - std::sqrt(d2[x]), 0.0f, 1.0f);
                const int a = int(c[3] * cover + 0.5f);
                if (a == 0) {
                    d[0] = d[1] = d[2] = d[3] = 0;
                } else {
                    d[0] = c[0];
                    d[1] = c[1];
                    d[2] = c[2];
                    d[3] = uint8_t(a);
                }
            }
        }
    }
}

}  // namespace vfilter
