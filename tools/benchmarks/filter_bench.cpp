// filter_bench.cpp - timings of the filter engine on a 1920 x 1080 RGBA layer.
// 1. One preview per catalogue entry at its table values, as the drawer makes it: the filter
//    from the layer's untouched pixels into the preview buffer, upload into the layer's texture
//    with glTexSubImage2D (glFinish included); median of 7. Printed as "preview <title> (<filter>): <ms> ms".
// 2. The gaussian at radius 50 against radius 8 (the blur's cost must not grow with radius).
// 3. Side by side with libvips (when built with it), in process, cache off, 2 threads, both
//    from the same uchar RGBA buffer to a uchar RGBA buffer, medians of 7:
//    "<name>: <ours> ms, <libvips> ms, <ratio> [the same in processor time]". The processor time
//    of all threads is printed beside the wall time because this machine is shared.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>
#include <unistd.h>

#include <omp.h>

#include "app_main.h"
#include "filter_catalogue.h"
#include "filter_engine.h"
#include "gl_context.h"
#include "platform.h"

#ifdef VINTREL_BENCH_VIPS
#include <vips/vips.h>
#endif

namespace {

const int kW = 1920, kH = 1080, kRuns = 7;

double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Median wall time of kRuns runs; the median processor time of all threads goes to *cpu. On a
// shared machine the wall time includes waiting for a core; the processor time does not.
double MedianMs(const std::function<void()>& work, double* cpu = nullptr) {
    std::vector<double> t, c;
    for (int i = 0; i < kRuns; ++i) {
        const double c0 = CpuMs();
        auto start = std::chrono::steady_clock::now();
        work();
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        c.push_back(CpuMs() - c0);
    }
    std::sort(t.begin(), t.end());
    std::sort(c.begin(), c.end());
    if (cpu) *cpu = c[c.size() / 2];
    return t[t.size() / 2];
}

// A photo-like layer: smooth colour fields, fine texture, and a transparent rounded border.
std::vector<uint8_t> Layer() {
    std::vector<uint8_t> p(std::size_t(kW) * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* d = &p[(std::size_t(y) * kW + x) * 4];
            const double fx = double(x) / kW, fy = double(y) / kH;
            d[0] = uint8_t(127 + 120 * std::sin(fx * 9 + fy * 3));
            d[1] = uint8_t(127 + 120 * std::cos(fy * 11 - fx * 2));
            d[2] = uint8_t((x * 3 + y * 5 + ((x * y) >> 7)) & 255);
            const double ex = std::min(x, kW - 1 - x), ey = std::min(y, kH - 1 - y);
            d[3] = uint8_t(std::min(255.0, std::max(0.0, std::min(ex, ey) * 4.0)));
        }
    return p;
}

std::vector<vfilter::Value> ValuesOf(const FilterRecord& r) {
    std::vector<vfilter::Value> v;
    for (const FilterParam& q : r.param)
        if (q.key[0]) v.push_back({q.key, q.value, 0});
    if (r.centered) v.push_back({"inputCenter", float(kW / 2), float(kH / 2)});
    return v;
}

double Ours(const std::vector<uint8_t>& src, std::vector<uint8_t>& work, const char* name,
            std::vector<vfilter::Value> v, double* cpu) {
    return MedianMs([&] {
        vfilter::RunFrom(name, v.data(), int(v.size()), src.data(), work.data(), kW, kH);
    }, cpu);
}

struct Timed {
    double ms, cpu;
};

Timed OursT(const std::vector<uint8_t>& src, std::vector<uint8_t>& work, const char* name, std::vector<vfilter::Value> v) {
    Timed t;
    t.ms = Ours(src, work, name, std::move(v), &t.cpu);
    return t;
}

#ifdef VINTREL_BENCH_VIPS
double Vips(const std::vector<uint8_t>& src, const std::function<int(VipsImage*, VipsImage**)>& op, double* cpu) {
    bool failed = false;
    double ms = MedianMs([&] {
        VipsImage* in = vips_image_new_from_memory(src.data(), src.size(), kW, kH, 4, VIPS_FORMAT_UCHAR);
        VipsImage* out = nullptr;
        if (op(in, &out) == 0 && out) {
            size_t n = 0;
            void* bytes = vips_image_write_to_memory(out, &n);
            if (!bytes || n != src.size() || out->BandFmt != VIPS_FORMAT_UCHAR) failed = true;
            g_free(bytes);
            g_object_unref(out);
        } else {
            failed = true;
        }
        g_object_unref(in);
    }, cpu);
    if (failed) fprintf(stderr, "libvips: %s\n", vips_error_buffer());
    return failed ? NAN : ms;
}

// Posterize as a vips user does it: a 256-entry table through maplut, alpha through identity.
int VipsPosterize(VipsImage* in, VipsImage** out, int levels) {
    VipsImage *id = nullptr, *q = nullptr, *r = nullptr, *s = nullptr, *lut = nullptr, *joined = nullptr;
    int rc = vips_identity(&id, NULL);
    const double k = (levels - 1) / 255.0;
    if (!rc) rc = vips_linear1(id, &q, k, 0.0, NULL);
    if (!rc) rc = vips_round(q, &r, VIPS_OPERATION_ROUND_RINT, NULL);
    if (!rc) rc = vips_linear1(r, &s, 1.0 / k, 0.0, "uchar", TRUE, NULL);
    VipsImage* bands[4] = {s, s, s, id};
    if (!rc) rc = vips_bandjoin(bands, &joined, 4, NULL);
    if (!rc) rc = vips_maplut(in, out, joined, NULL);
    for (VipsImage* i : {id, q, r, s, lut, joined})
        if (i) g_object_unref(i);
    return rc;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/vintrel-filter-bench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    setenv("HOME", dir.c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("TMPDIR", dir.c_str(), 1);
    setenv("VINTREL_SCRIPTED_MODALS", "1", 1);
    plat_Init(argc, argv);
    fflush(stdout);
    const int saved = dup(1);
    if (!freopen("/dev/null", "w", stdout)) return 1;
    const int status = StartUp();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    if (status != kStartedUp || !plat_MakeCurrent(glContext)) {
        fprintf(stderr, "start-up failed with %d\n", status);
        return 1;
    }
    const std::vector<uint8_t> src = Layer();
    std::vector<uint8_t> work(src.size());

    // The layer's texture, as the program makes it, to upload previews into.
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(mapTarget, tex);
    glTexParameteri(mapTarget, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(mapTarget, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(mapTarget, 0, GL_RGBA, kW, kH, 0, GL_RGBA, GL_UNSIGNED_BYTE, src.data());
    glFinish();

    const char* policy = getenv("OMP_WAIT_POLICY");
    printf("filters on a %dx%d RGBA layer, %d threads, OpenMP wait policy %s, median of %d\n", kW, kH,
           omp_get_max_threads(), policy ? policy : "default", kRuns);
    double worst = 0.0;
    for (const FilterRecord& r : gFilter) {
        const std::vector<vfilter::Value> v = ValuesOf(r);
        double cpu = 0.0;
        const double ms = MedianMs([&] {
            vfilter::RunFrom(r.ciName, v.data(), int(v.size()), src.data(), work.data(), kW, kH);
            glBindTexture(mapTarget, tex);
            glTexSubImage2D(mapTarget, 0, 0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, work.data());
            glFinish();
        }, &cpu);
        worst = std::max(worst, ms);
        printf("preview %s (%s): %.1f ms (processor %.1f ms)\n", r.title, r.ciName, ms, cpu);
    }
    printf("slowest preview: %.1f ms (goal under 50)\n", worst);
    const double upload = MedianMs([&] {
        std::memcpy(work.data(), src.data(), src.size());
        glBindTexture(mapTarget, tex);
        glTexSubImage2D(mapTarget, 0, 0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, work.data());
        glFinish();
    });
    printf("a copy and the upload alone: %.1f ms\n", upload);
    glDeleteTextures(1, &tex);

    double g8cpu = 0.0, g50cpu = 0.0;
    const double g8 = Ours(src, work, "CIGaussianBlur", {{"inputRadius", 8, 0}}, &g8cpu);
    const double g50 = Ours(src, work, "CIGaussianBlur", {{"inputRadius", 50, 0}}, &g50cpu);
    printf("gaussian radius 50 / radius 8: %.2f (processor %.2f; goal at most 1.5)\n", g50 / g8, g50cpu / g8cpu);

    // The hue turn of the comparison: 1 radian about the grey axis, as CIHueAdjust computes it.
    const double a = 1.0, c = std::cos(a), s = std::sin(a), t = (1 - c) / 3, q = s / std::sqrt(3.0);
    const double hue[16] = {c + t, t - q, t + q, 0, t + q, c + t, t - q, 0, t - q, t + q, c + t, 0, 0, 0, 0, 1};
    const float brightness = 0.1f, contrast = 1.3f;
    struct Row {
        const char* name;
        Timed ours;
#ifdef VINTREL_BENCH_VIPS
        std::function<int(VipsImage*, VipsImage**)> vips;
#endif
    };
    std::vector<Row> rows = {
        {"gaussian blur sigma 8", Timed{g8, g8cpu}
#ifdef VINTREL_BENCH_VIPS
         , [](VipsImage* i, VipsImage** o) { return vips_gaussblur(i, o, 8.0, NULL); }
#endif
        },
        {"gaussian blur sigma 50", Timed{g50, g50cpu}
#ifdef VINTREL_BENCH_VIPS
         , [](VipsImage* i, VipsImage** o) { return vips_gaussblur(i, o, 50.0, NULL); }
#endif
        },
        {"box blur 10", OursT(src, work, "CIBoxBlur", {{"inputRadius", 10, 0}})
#ifdef VINTREL_BENCH_VIPS
         , [](VipsImage* i, VipsImage** o) {
             VipsImage* m = vips_image_new_matrix(21, 1);
             for (int k = 0; k < 21; ++k) *VIPS_MATRIX(m, k, 0) = 1.0;
             vips_image_set_double(m, "scale", 21.0);
             int rc = vips_convsep(i, o, m, "precision", VIPS_PRECISION_INTEGER, NULL);
             g_object_unref(m);
             return rc;
         }
#endif
        },
        {"pixellate 16", OursT(src, work, "CIPixellate", {{"inputScale", 16, 0}})
#ifdef VINTREL_BENCH_VIPS
         , [](VipsImage* i, VipsImage** o) {
             VipsImage *small = nullptr, *big = nullptr;
             int rc = vips_shrink(i, &small, 16.0, 16.0, NULL);
             if (!rc) rc = vips_zoom(small, &big, 16, 16, NULL);
             if (!rc) rc = vips_embed(big, o, 0, 0, kW, kH, "extend", VIPS_EXTEND_COPY, NULL);
             if (small) g_object_unref(small);
             if (big) g_object_unref(big);
             return rc;
         }
#endif
        },
        {"gamma 1.5", OursT(src, work, "CIGammaAdjust", {{"inputPower", 1.5f, 0}})
#ifdef VINTREL_BENCH_VIPS
         , [](VipsImage* i, VipsImage** o) { return vips_gamma(i, o, "exponent", 1.0 / 1.5, NULL); }
#endif
        },
        {"brightness/contrast", OursT(src, work, "CIColorControls", {{"inputBrightness", brightness, 0}, {"inputContrast", contrast, 0}})
#ifdef VINTREL_BENCH_VIPS
         , [=](VipsImage* i, VipsImage** o) {
             // (v + b - 0.5) x c + 0.5 in 0..1 units, alpha kept.
             double m[4] = {contrast, contrast, contrast, 1}, k[4];
             for (int j = 0; j < 3; ++j) k[j] = ((brightness - 0.5) * contrast + 0.5) * 255.0;
             k[3] = 0;
             return vips_linear(i, o, m, k, 4, "uchar", TRUE, NULL);
         }
#endif
        },
        {"sobel edges", OursT(src, work, "CIEdges", {{"inputIntensity", 1, 0}})
#ifdef VINTREL_BENCH_VIPS
         , [](VipsImage* i, VipsImage** o) { return vips_sobel(i, o, NULL); }
#endif
        },
        {"posterize 6", OursT(src, work, "CIColorPosterize", {{"inputLevels", 6, 0}})
#ifdef VINTREL_BENCH_VIPS
         , [](VipsImage* i, VipsImage** o) { return VipsPosterize(i, o, 6); }
#endif
        },
        {"hue rotation (3x3 matrix)", OursT(src, work, "CIHueAdjust", {{"inputAngle", 1, 0}})
#ifdef VINTREL_BENCH_VIPS
         , [&hue](VipsImage* i, VipsImage** o) {
             VipsImage* m = vips_image_new_matrix_from_array(4, 4, hue, 16);
             VipsImage* f = nullptr;
             int rc = vips_recomb(i, &f, m, NULL);
             if (!rc) rc = vips_cast(f, o, VIPS_FORMAT_UCHAR, NULL);
             if (f) g_object_unref(f);
             g_object_unref(m);
             return rc;
         }
#endif
        },
    };
#ifdef VINTREL_BENCH_VIPS
    if (VIPS_INIT(argv[0])) {
        fprintf(stderr, "libvips did not start\n");
        return 1;
    }
    vips_cache_set_max(0);
    vips_concurrency_set(2);
    printf("side by side with libvips %s (cache off, 2 threads): ours ms, libvips ms, ratio"
           " [processor ms of both, ratio]\n", vips_version_string());
    for (const Row& r : rows) {
        double vcpu = 0.0;
        const double v = Vips(src, r.vips, &vcpu);
        printf("%s: %.1f ms, %.1f ms, %.2f [%.1f, %.1f, %.2f]\n", r.name, r.ours.ms, v, r.ours.ms / v, r.ours.cpu,
               vcpu, r.ours.cpu / vcpu);
    }
    vips_shutdown();
#else
    printf("libvips not found when building: comparison skipped (install libvips-dev)\n");
    for (const Row& r : rows) printf("%s: %.1f ms [processor %.1f ms]\n", r.name, r.ours.ms, r.ours.cpu);
#endif
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
    return 0;
}
