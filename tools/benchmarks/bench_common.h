// bench_common.h - what the benchmark programs share.
#pragma once

#include <cstdio>
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
