// main.cpp - Vintrel: edits the pictures inside the theme bundles of the Pagewright site builder.
#include <cstdlib>
#include <unistd.h>

#include "app_main.h"

int main(int argc, char** argv) {
    // The filter engine's threads sleep between filters instead of spinning: the canvas's software
    // rasteriser and the rest of the desktop need those cores. The threading runtime reads its
    // policy once, when it is loaded before main, so the program starts itself again once with
    // the policy set (a user's own setting is kept).
    if (!getenv("OMP_WAIT_POLICY") && setenv("OMP_WAIT_POLICY", "passive", 1) == 0) execv("/proc/self/exe", argv);
    return RunProgram(argc, argv);
}
