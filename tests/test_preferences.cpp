// The preferences file as the welcome window's checkbox writes it, and the one way a write could
// be turned onto another file.
#include <gtest/gtest.h>

#include <QCheckBox>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app_fixture.h"
#include "ids.h"
#include "preferences.h"
#include "util_controls.h"

namespace {

std::string PrefsFile() { return std::string(getenv("XDG_CONFIG_HOME")) + "/Vintrel.preferences"; }

std::string Slurp(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

int32_t IntAt(const std::string& b, size_t at) {
    return int32_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24);
}

}  // namespace

TEST(Preferences, TickingTheWelcomeCheckboxWritesTheFileAtOnce) {
    EnsureProgramStarted();
    unlink(PrefsFile().c_str());
    firstTimeLaunch = 1;
    ASSERT_TRUE(CreateWelcomeDialog());
    EXPECT_FALSE(CreateWelcomeDialog()) << "already showing";
    ControlRef box = nullptr;
    ASSERT_TRUE(plat_GetControlByID(welcomeDialog, kWelcomeCheck, &box));
    EXPECT_EQ(plat_GetControlValue(box), showWelcome);
    int before = showWelcome;
    reinterpret_cast<QCheckBox*>(box)->click();   // the person's click sends 'p123'
    EXPECT_EQ(showWelcome, before ? 0 : 1);
    std::string b = Slurp(PrefsFile());
    ASSERT_GE(b.size(), 228u);
    EXPECT_EQ(IntAt(b, 0), showWelcome);
    EXPECT_EQ(IntAt(b, 8), 0);
    EXPECT_EQ(firstTimeLaunch, 0);
    plat_HideWindow(welcomeDialog);
}

TEST(Preferences, APlantedLinkAtTheTemporaryNameIsNotFollowed) {
    EnsureProgramStarted();
    std::string victim = MakeTempDir("prefs") + "/victim.txt";
    { std::ofstream(victim) << "keep me"; }
    std::string tmp = PrefsFile() + ".tmp";
    mkdir(getenv("XDG_CONFIG_HOME"), 0700);
    unlink(tmp.c_str());
    ASSERT_EQ(symlink(victim.c_str(), tmp.c_str()), 0);
    ASSERT_TRUE(WriteConfig());
    EXPECT_EQ(Slurp(victim), "keep me");
    EXPECT_GE(Slurp(PrefsFile()).size(), 228u);
}
