// bench_common.h - what the benchmark programs share.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// The program's diagnostics go to standard output; the figures are printed between them.
// Quiet(true) sends standard output to /dev/null until Quiet(false).
inline void Quiet(bool on) {
    static int saved = -1;
    fflush(stdout);
    if (on) {
        saved = dup(1);
        FILE* devnull = freopen("/dev/null", "w", stdout);
        (void)devnull;
    } else if (saved >= 0) {
        dup2(saved, 1);
        close(saved);
        saved = -1;
    }
}

// The program starts itself again with OpenMP's passive wait policy (see main.cpp): its threads
// sleep between parallel loops instead of spinning on the cores the software rasteriser needs.
// The benchmarks do the same, so that they time the program as it runs (a policy set by the
// caller is kept).
inline void UseTheProgramsThreadPolicy(char** argv) {
    if (!getenv("OMP_WAIT_POLICY") && setenv("OMP_WAIT_POLICY", "passive", 1) == 0) execv("/proc/self/exe", argv);
}
