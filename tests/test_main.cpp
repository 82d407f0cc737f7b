// test_main.cpp - runs every suite inside one application object, with the user's folders
// pointed at a fresh temporary home so that no test reads or writes a real user's files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app_fixture.h"
#include "platform.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char tmpl[] = "/tmp/vintrel-test-home-XXXXXX";
    std::string home = mkdtemp(tmpl);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("TMPDIR", home.c_str(), 1);
    setenv("VINTREL_RESOURCES", VINTREL_SOURCE_DIR "/resources", 1);
    plat_Init(1, argv);
    InstallDefaultModalScript();
    int result = RUN_ALL_TESTS();
    std::string cmd = "rm -rf '" + home + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", home.c_str());
    return result;
}
