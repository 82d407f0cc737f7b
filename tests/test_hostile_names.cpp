// Hostile layer names in project files: traversal, absolute paths, "..", empty, backslashes, an
// embedded NUL, line breaks, 5000 bytes, invalid UTF-8, duplicates, and names of links planted in
// the temporary and the chosen folder (to files outside, existing and dangling). Opening,
// importing and unpacking such projects creates or changes nothing outside the temporary folder
// and the folder chosen for unpacking: the whole test home is listed (type, size, mode, mtime,
// link target) before and after.
#include <gtest/gtest.h>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <QBuffer>
#include <QImage>

#include "app_fixture.h"
#include "app_state.h"
#include "layer_table.h"
#include "navigation.h"
#include "textures.h"
#include "theme_fixture.h"
#include "theme_library.h"
#include "tools_window.h"
#include "util_files.h"

namespace {

void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
std::string Get(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
void PutU32(std::string& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(char((v >> (8 * i)) & 0xff));
}
uint32_t U32At(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(b[at + i]);
    return v;
}

// What a listing records of one entry.
struct Entry {
    mode_t mode;
    off_t size;
    long long mtimeNs;
    std::string link;
    bool operator==(const Entry& o) const {
        return mode == o.mode && size == o.size && mtimeNs == o.mtimeNs && link == o.link;
    }
};
using Listing = std::map<std::string, Entry>;
Listing* gListing = nullptr;

int Record(const char* path, const struct stat* st, int, struct FTW*) {
    Entry e{st->st_mode, S_ISDIR(st->st_mode) ? 0 : st->st_size,
            (long long)st->st_mtim.tv_sec * 1000000000LL + st->st_mtim.tv_nsec, ""};
    if (S_ISLNK(st->st_mode)) {
        char target[4096];
        ssize_t n = readlink(path, target, sizeof target);
        e.link.assign(target, n > 0 ? size_t(n) : 0);
    }
    (*gListing)[path] = e;
    return 0;
}

// Every entry under root, links not followed.
Listing List(const std::string& root) {
    Listing l;
    gListing = &l;
    nftw(root.c_str(), Record, 32, FTW_PHYS);
    gListing = nullptr;
    return l;
}

bool Under(const std::string& path, const std::string& folder) {
    std::string bare = folder.substr(0, folder.size() - 1);   // folder ends in "/"
    return path == bare || path.compare(0, folder.size(), folder) == 0;
}

std::string SmallPng() {
    QImage img(6, 4, QImage::Format_ARGB32);
    img.fill(qRgba(200, 40, 40, 255));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return data.toStdString();
}

// The hostile names; the ones planted as links below come out of SafeFileName unchanged or as
// the names the links carry.
std::vector<std::string> NamesToTry(const std::string& home) {
    std::vector<std::string> n = {
        "../../x",
        "../x.png",
        "..",
        ".",
        "...",
        "",
        "/",
        "//",
        "/etc/passwd",
        "/tmp/vintrel-hostile-absolute.png",
        home + "victim/target.png",
        "a/../../b.png",
        "sub/dir/x.png",
        "x.png/",
        "..\\..\\x.png",
        "\\\\server\\share\\x.png",
        "C:\\Windows\\system32\\x.png",
        std::string("nul\0inside/../../x.png", 22),
        std::string("\0", 1),
        "new\nline.png",
        "\r\n",
        "tab\there.png",
        "\xff\xfe\xfd.png",
        "\xc0\xaf..\xc0\xafx.png",   // an overlong "/", not a slash to the file system
        "\xe2\x80\xae" "gnp.exe",    // right-to-left override
        "%2e%2e%2fx.png",
        "~/x.png",
        "$HOME/x.png",
        "`touch pwned`.png",
        "$(touch pwned).png",
        "-rf.png",
        " .png",
        ".hidden.png",
        std::string(1023, 'L'),                        // the longest name a record holds
        std::string(600, 'a') + "/" + std::string(400, 'b') + ".png",
        "dup.png",
        "dup.png",
        "DUP.png",
        "existing-link.png",   // planted links, see PlantLinks
        "dangling-link.png",
        "folder-link",
        "layer",
    };
    return n;
}

class HostileNames : public ::testing::Test {
protected:
    void SetUp() override {
        themes = StartOnTheSampleTheme();   // Alpha, header.jpg: 200 x 100
        home = std::string(getenv("HOME")) + "/";
        dir = MakeTempDir("names") + "/";
        tmp = dir + "tmp/";
        out = dir + "out/";
        victim = home + "victim/";
        mkdir(tmp.c_str(), 0700);
        mkdir(out.c_str(), 0700);
        mkdir(victim.c_str(), 0700);
        Put(victim + "target.png", "the victim's own file");
        Put(victim + "x", "another file of the victim");
        memcpy(savedTemp, tempFolder, sizeof savedTemp);
        snprintf(tempFolder, sizeof tempFolder, "%s", tmp.c_str());
        // The temporary-items folder, where the numbered temporary pictures go.
        char items[1024];
        ASSERT_TRUE(util_GetTempFolder(items));
        tempItems = items;
        for (const std::string& folder : {tmp, out, tempItems}) PlantLinks(folder);
    }
    void TearDown() override {
        plat_SetModalScript(ModalScript());
        InstallDefaultModalScript();
        memcpy(tempFolder, savedTemp, sizeof savedTemp);
        ResetProgramState();
        delete themes;
        ScriptedModals quiet;
        InitValues();
        ResetProgramState();
        unlink(kAbsolute);
    }
    // Links named as layer files would be, to a file outside, to a file that does not exist
    // yet, and to a folder outside.
    void PlantLinks(const std::string& folder) {
        for (const char* name : {"existing-link.png", "x", "x.png", "passwd", "b.png", "dup.png", "layer", "duplicate1.png"})
            ASSERT_EQ(symlink((victim + "target.png").c_str(), (folder + name).c_str()), 0) << folder << name;
        for (const char* name : {"dangling-link.png", "duplicate2.png"})
            ASSERT_EQ(symlink((victim + "created-through-a-link").c_str(), (folder + name).c_str()), 0);
        ASSERT_EQ(symlink(victim.c_str(), (folder + "folder-link").c_str()), 0);
        ASSERT_EQ(symlink(victim.c_str(), (folder + "sub").c_str()), 0);
    }
    // A project of one picture layer per name, each carrying the same small picture, on the
    // theme picture being edited; made from a project the program saved.
    std::string ProjectOf(const std::vector<std::string>& names) {
        const std::string png = SmallPng();
        Put(dir + "layer.png", png);
        EXPECT_TRUE(LoadTexture((dir + "layer.png").c_str(), -1, true, false));
        currProjectSaved = true;
        SaveProject((dir + "saved.vntr").c_str());
        DeleteTextures(1);
        unlink((dir + "layer.png").c_str());
        const std::string saved = Get(dir + "saved.vntr");
        unlink((dir + "saved.vntr").c_str());
        // Header: version, theme, picture, width, height; then the record, whose name comes first.
        size_t at = 4;
        at += 4 + U32At(saved, at);
        at += 4 + U32At(saved, at);
        at += 8;
        const std::string head = saved.substr(0, at);
        const std::string afterName = saved.substr(at + 4 + U32At(saved, at));
        EXPECT_EQ(afterName.substr(afterName.size() - png.size()), png);
        std::string project = head;
        for (const std::string& name : names) {
            PutU32(project, uint32_t(name.size()));
            project += name + afterName;
        }
        return project;
    }
    // Opens (or imports) the project at path and unpacks it into out, answering every question
    // with yes and the folder dialog with out.
    void OpenImportAndUnpack(const std::string& path) {
        plat_SetModalScript([this](const ModalRequest& r) {
            ModalAnswer a;
            a.accepted = true;
            if (r.kind == ModalKind::ChooseFolder) a.path = out.substr(0, out.size() - 1);
            return a;
        });
        testing::internal::CaptureStdout();
        LoadProject(path.c_str(), true);
        LoadProject(path.c_str(), false);
        ExplodeProject(path.c_str());
        testing::internal::GetCapturedStdout();
        plat_SetModalScript(ModalScript());
        InstallDefaultModalScript();
    }
    // Nothing outside tmp, out and the temporary-items folder differs from before; the victim's files are as they were.
    void ExpectNothingChangedOutside(const Listing& before, const Listing& after) {
        int outside = 0;
        for (const auto& [path, entry] : after) {
            if (Allowed(path)) continue;
            auto it = before.find(path);
            if (it == before.end()) ADD_FAILURE() << "created outside: " << path, ++outside;
            else if (!(it->second == entry)) ADD_FAILURE() << "changed outside: " << path, ++outside;
        }
        for (const auto& [path, entry] : before)
            if (!Allowed(path) && !after.count(path))
                ADD_FAILURE() << "removed outside: " << path, ++outside;
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(Get(victim + "target.png"), "the victim's own file");
        struct stat st;
        EXPECT_NE(lstat((victim + "created-through-a-link").c_str(), &st), 0);
        EXPECT_NE(lstat(kAbsolute, &st), 0);
    }
    bool Allowed(const std::string& path) const { return Under(path, tmp) || Under(path, out) || Under(path, tempItems); }
    static constexpr const char* kAbsolute = "/tmp/vintrel-hostile-absolute.png";
    ThemeFolder* themes = nullptr;
    std::string home, dir, tmp, out, victim, tempItems;
    char savedTemp[1024];
};

int LayerCount() {
    int n = 0;
    for (int s = kFirstLayer; s <= kLastLayer; ++s) n += texImages[s].texture != 0;
    return n;
}

}  // namespace

TEST_F(HostileNames, NothingOutsideTheTemporaryAndChosenFoldersChanges) {
    const std::vector<std::string> names = NamesToTry(home);
    ASSERT_GE(names.size(), 40u);
    Put(dir + "names.vntr", ProjectOf(names));
    // A name longer than a record can hold ends the walk: it goes into projects of its own,
    // alone and before a good layer.
    Put(dir + "long.vntr", ProjectOf({std::string(5000, 'N')}));
    Put(dir + "long-then-good.vntr", ProjectOf({std::string(5000, '/'), "good.png"}));
    const Listing before = List(home);
    ASSERT_GT(before.size(), 20u);

    OpenImportAndUnpack(dir + "names.vntr");
    // Every layer that had a name the reader took is on the canvas (the import adds to the
    // opened ones; the two NUL-started names and the rest are all ordinary file names now).
    EXPECT_EQ(LayerCount(), 2 * int(names.size()));
    for (int s = kFirstLayer; s <= kLastLayer; ++s)
        if (texImages[s].texture) {
            EXPECT_TRUE(Under(texImages[s].path, tmp) || Under(texImages[s].path, tempItems)) << texImages[s].path;
            EXPECT_EQ(texImages[s].texWidth, 6) << s;
        }
    OpenImportAndUnpack(dir + "long.vntr");
    OpenImportAndUnpack(dir + "long-then-good.vntr");

    ExpectNothingChangedOutside(before, List(home));
    // The unpacked pictures are plain files directly in the chosen folder; links planted there
    // were replaced, not written through.
    const Listing unpacked = List(out.substr(0, out.size() - 1));
    int pictures = 0;
    for (const auto& [path, entry] : unpacked) {
        if (path + "/" == out) continue;
        EXPECT_EQ(path.find('/', out.size()), std::string::npos) << path;
        if (S_ISREG(entry.mode)) {
            ++pictures;
            EXPECT_EQ(Get(path), SmallPng()) << path;
        }
    }
    EXPECT_GT(pictures, 20);
}
