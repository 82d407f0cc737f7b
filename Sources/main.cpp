// main.cpp - Vintrel: edits the pictures inside the theme bundles of the Pagewright site builder.
#include "app_main.h"

int main(int argc, char** argv) { return RunProgram(argc, argv); }
