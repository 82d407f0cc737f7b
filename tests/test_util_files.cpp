// test_util_files.cpp - the path, file and folder helpers on real files in a scratch folder.
//
// Each test gets its own folder from mkdtemp under /tmp, removed afterwards. The folder wrappers
// are checked through the environment variables the platform's folder lookups honour.
#include <gtest/gtest.h>

#include "util_files.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <dirent.h>
#include <ftw.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vintrel_util_files_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        dir = root + "/";
    }
    void TearDown() override {
        if (!root.empty()) nftw(root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }

    static void WriteFile(const std::string& path, const std::string& bytes) {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), std::streamsize(bytes.size()));
        ASSERT_TRUE(f.good()) << path;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    static bool IsFile(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    static bool IsFolder(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    static std::set<std::string> Entries(const std::string& folder) {
        std::set<std::string> names;
        if (DIR* d = opendir(folder.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") names.insert(n);
            }
            closedir(d);
        }
        return names;
    }

    std::string root;  // the scratch folder, no trailing "/"
    std::string dir;   // the same with "/", as the program passes folders
};

// Holds the three outputs of util_SplitPath, prefilled with a marker so "unchanged" is visible.
struct SplitResult {
    char folder[kPathSize];
    char path[kPathSize];
    char ext[kPathSize];
    bool ok;
};

SplitResult Split(const char* input, bool wantFolder = true, bool wantExt = true) {
    SplitResult r;
    std::strcpy(r.folder, "#folder");
    std::strcpy(r.ext, "#ext");
    std::strcpy(r.path, input);
    r.ok = util_SplitPath(wantFolder ? r.folder : nullptr, r.path, wantExt ? r.ext : nullptr);
    return r;
}

// ---------------------------------------------------------------------------------------------
// util_SplitPath

TEST(SplitPath, SplitsAtLastSlashAndLastDot) {
    SplitResult r = Split("/a/b/photo.jpg");
    EXPECT_TRUE(r.ok);
    EXPECT_STREQ(r.folder, "/a/b/");
    EXPECT_STREQ(r.ext, ".jpg");
    EXPECT_STREQ(r.path, "photo");

    r = Split("/a/b/archive.tar.gz");
    EXPECT_TRUE(r.ok);
    EXPECT_STREQ(r.ext, ".gz");
    EXPECT_STREQ(r.path, "archive.tar");

    // Both outputs are optional.
    r = Split("/a/b/photo.jpg", false, false);
    EXPECT_TRUE(r.ok);
    EXPECT_STREQ(r.path, "photo");
    EXPECT_STREQ(r.folder, "#folder");
    EXPECT_STREQ(r.ext, "#ext");
}

TEST(SplitPath, DotAndSlashAreSearchedIndependently) {
    // The last "." lies in a folder name: the extension runs across the "/", the base is empty.
    SplitResult r = Split("/a/b.c/photo");
    EXPECT_TRUE(r.ok);
    EXPECT_STREQ(r.folder, "/a/b.c/");
    EXPECT_STREQ(r.ext, ".c/photo");
    EXPECT_STREQ(r.path, "");

    // A name that is all extension.
    r = Split("/a/.jpg");
    EXPECT_TRUE(r.ok);
    EXPECT_STREQ(r.folder, "/a/");
    EXPECT_STREQ(r.ext, ".jpg");
    EXPECT_STREQ(r.path, "");
}

TEST(SplitPath, NoDot) {
    // Without an extension output a missing "." is fine, and the base name comes out empty.
    SplitResult r = Split("/a/b/photo", true, false);
    EXPECT_TRUE(r.ok);
    EXPECT_STREQ(r.folder, "/a/b/");
    EXPECT_STREQ(r.path, "");

    // Asking for the extension of a name without "." fails and touches nothing.
    r = Split("/a/b/photo");
    EXPECT_FALSE(r.ok);
    EXPECT_STREQ(r.path, "/a/b/photo");
    EXPECT_STREQ(r.folder, "#folder");
    EXPECT_STREQ(r.ext, "#ext");
}

TEST(SplitPath, FailuresLeaveEverythingUnchanged) {
    for (const char* input : {"photo.jpg", "", "x", "/"}) {
        SplitResult r = Split(input);
        EXPECT_FALSE(r.ok) << input;
        EXPECT_STREQ(r.path, input);
        EXPECT_STREQ(r.folder, "#folder");
        EXPECT_STREQ(r.ext, "#ext");
    }
}

TEST(SplitPath, PositionZeroIsNeverExamined) {
    // The only "/" is at position 0: no folder.
    SplitResult r = Split("/photo.jpg");
    EXPECT_FALSE(r.ok);
    EXPECT_STREQ(r.path, "/photo.jpg");

    // The only "." is at position 0: no extension.
    r = Split(".hidden/x");
    EXPECT_FALSE(r.ok);
    EXPECT_STREQ(r.path, ".hidden/x");
    r = Split(".hidden/x", true, false);
    EXPECT_TRUE(r.ok);
    EXPECT_STREQ(r.folder, ".hidden/");
    EXPECT_STREQ(r.path, "");

    // Two bytes: position 1 is still examined.
    r = Split("a/", true, false);
    EXPECT_TRUE(r.ok);
    EXPECT_STREQ(r.folder, "a/");
    EXPECT_STREQ(r.path, "");
}

TEST(SplitPath, RefusesPathsThatCannotFitTheBuffers) {
    std::string longPath = "/" + std::string(kPathSize + 50, 'a') + "/photo.jpg";
    std::string buffer = longPath;
    char folder[kPathSize] = "#folder";
    char ext[kPathSize] = "#ext";
    EXPECT_FALSE(util_SplitPath(folder, &buffer[0], ext));
    EXPECT_EQ(buffer, longPath);
    EXPECT_STREQ(folder, "#folder");
    EXPECT_STREQ(ext, "#ext");
}

// ---------------------------------------------------------------------------------------------
// util_SplitFolderAndFile

TEST(SplitFolderAndFile, SplitsAtFirstSeparatingSlash) {
    struct Case {
        const char* path;
        bool ok;
        const char* folder;
        const char* file;
    } cases[] = {
        {"Editable_Images/x.jpg", true, "Editable_Images", "x.jpg"},
        {"a/b/c.jpg", true, "a", "b/c.jpg"},
        {"x.jpg", false, "", "x.jpg"},
        {"a/", true, "a", ""},
        // A "/" at position 0 is not a separator; the next one is.
        {"/x.jpg", false, "", "/x.jpg"},
        {"/a/b", true, "/a", "b"},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        char folder[kPathSize] = "#folder";
        char file[kPathSize] = "#file";
        EXPECT_EQ(util_SplitFolderAndFile(c.path, folder, file), c.ok) << c.path;
        EXPECT_STREQ(folder, c.folder) << c.path;
        EXPECT_STREQ(file, c.file) << c.path;
    }
}

TEST(SplitFolderAndFile, TooLongPathWritesNothingBeyondTheBuffers) {
    std::string longPath = std::string(kPathSize + 10, 'f') + "/x.jpg";
    char folder[kPathSize] = "#folder";
    char file[kPathSize] = "#file";
    EXPECT_FALSE(util_SplitFolderAndFile(longPath.c_str(), folder, file));
    EXPECT_LT(std::strlen(folder), size_t(kPathSize));
    EXPECT_LT(std::strlen(file), size_t(kPathSize));
}

// ---------------------------------------------------------------------------------------------
// util_exists and util_fileDim

TEST_F(ScratchFolder, ExistsForFilesAndFolders) {
    WriteFile(dir + "a.png", "12345");
    ASSERT_EQ(mkdir((dir + "Images").c_str(), 0755), 0);

    EXPECT_TRUE(util_exists((dir + "a.png").c_str()));
    EXPECT_TRUE(util_exists((dir + "Images").c_str()));
    EXPECT_TRUE(util_exists((dir + "Images/").c_str()));
    EXPECT_TRUE(util_exists(dir.c_str()));

    EXPECT_FALSE(util_exists((dir + "missing.png").c_str()));
    EXPECT_FALSE(util_exists((dir + "missing/").c_str()));
    EXPECT_FALSE(util_exists((dir + "a.png/").c_str()));  // a file is not a folder
    EXPECT_FALSE(util_exists(""));
}

TEST_F(ScratchFolder, FileDimIsTheSizeInBytes) {
    WriteFile(dir + "a.bin", std::string("ab\0cd\n", 6));
    WriteFile(dir + "empty.bin", "");
    EXPECT_EQ(util_fileDim((dir + "a.bin").c_str()), 6);
    EXPECT_EQ(util_fileDim((dir + "empty.bin").c_str()), 0);
    EXPECT_EQ(util_fileDim((dir + "missing.bin").c_str()), 0);
    EXPECT_EQ(util_fileDim(root.c_str()), 0);
}

// ---------------------------------------------------------------------------------------------
// util_CopyFile

TEST_F(ScratchFolder, CopyDuplicatesBytesAndKeepsSource) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes += char(i * 7);  // binary, NULs, larger than one read
    WriteFile(dir + "src.jpg", bytes);
    WriteFile(dir + "dst.jpg", std::string(300000, 'x'));  // longer: must not leave a tail

    EXPECT_TRUE(util_CopyFile(dir.c_str(), "src.jpg", dir.c_str(), "dst.jpg", false));
    EXPECT_EQ(ReadFile(dir + "dst.jpg"), bytes);
    EXPECT_EQ(ReadFile(dir + "src.jpg"), bytes);
    // Nothing left over from writing beside the destination.
    EXPECT_EQ(Entries(root), (std::set<std::string>{"src.jpg", "dst.jpg"}));
}

TEST_F(ScratchFolder, CopyNamesMayCarrySubfolders) {
    ASSERT_EQ(mkdir((dir + "Editable_Images").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir + "Originals").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir + "Originals/Editable_Images").c_str(), 0755), 0);
    WriteFile(dir + "Editable_Images/x.jpg", "picture");

    EXPECT_TRUE(util_CopyFile(dir.c_str(), "Editable_Images/x.jpg",
                              (dir + "Originals/Editable_Images/").c_str(), "x.jpg", false));
    EXPECT_EQ(ReadFile(dir + "Originals/Editable_Images/x.jpg"), "picture");
    EXPECT_EQ(Entries(dir + "Originals/Editable_Images"), std::set<std::string>{"x.jpg"});
}

TEST_F(ScratchFolder, MoveRemovesSourceOnlyAfterCopy) {
    WriteFile(dir + "backup.png", "original");
    WriteFile(dir + "picture.png", "edited");
    EXPECT_TRUE(util_CopyFile(dir.c_str(), "backup.png", dir.c_str(), "picture.png", true));
    EXPECT_EQ(ReadFile(dir + "picture.png"), "original");
    EXPECT_FALSE(IsFile(dir + "backup.png"));

    // A second move has no source any more and changes nothing.
    EXPECT_FALSE(util_CopyFile(dir.c_str(), "backup.png", dir.c_str(), "picture.png", true));
    EXPECT_EQ(ReadFile(dir + "picture.png"), "original");

    // A move whose copy fails keeps the source.
    WriteFile(dir + "keep.png", "keep");
    EXPECT_FALSE(util_CopyFile(dir.c_str(), "keep.png", (dir + "nowhere/").c_str(), "keep.png", true));
    EXPECT_EQ(ReadFile(dir + "keep.png"), "keep");

    // Moving a file onto itself must not delete it.
    EXPECT_TRUE(util_CopyFile(dir.c_str(), "keep.png", dir.c_str(), "keep.png", true));
    EXPECT_EQ(ReadFile(dir + "keep.png"), "keep");
}

TEST_F(ScratchFolder, CopyOfEmptyFile) {
    WriteFile(dir + "empty.png", "");
    WriteFile(dir + "dst.png", "old contents");
    EXPECT_TRUE(util_CopyFile(dir.c_str(), "empty.png", dir.c_str(), "new.png", false));
    EXPECT_TRUE(IsFile(dir + "new.png"));
    EXPECT_EQ(util_fileDim((dir + "new.png").c_str()), 0);
    EXPECT_TRUE(util_CopyFile(dir.c_str(), "empty.png", dir.c_str(), "dst.png", false));
    EXPECT_EQ(ReadFile(dir + "dst.png"), "");
}

TEST_F(ScratchFolder, FailedCopyLeavesDestinationUntouched) {
    WriteFile(dir + "dst.png", "precious");
    ASSERT_EQ(mkdir((dir + "folder").c_str(), 0755), 0);

    // Missing source, and a folder as source.
    EXPECT_FALSE(util_CopyFile(dir.c_str(), "missing.png", dir.c_str(), "dst.png", false));
    EXPECT_FALSE(util_CopyFile(dir.c_str(), "folder", dir.c_str(), "dst.png", false));
    EXPECT_EQ(ReadFile(dir + "dst.png"), "precious");
    EXPECT_EQ(Entries(root), (std::set<std::string>{"dst.png", "folder"}));

    // Missing destination folder, and a folder standing where the destination file would go.
    WriteFile(dir + "src.png", "data");
    EXPECT_FALSE(util_CopyFile(dir.c_str(), "src.png", (dir + "missing/").c_str(), "dst.png", false));
    EXPECT_FALSE(util_CopyFile(dir.c_str(), "src.png", dir.c_str(), "folder", false));
    EXPECT_TRUE(IsFolder(dir + "folder"));
    EXPECT_EQ(Entries(root), (std::set<std::string>{"dst.png", "folder", "src.png"}));
}

TEST_F(ScratchFolder, WriteFailureMidwayLeavesNoHalfWrittenFile) {
    // A file-size limit makes the write fail partway through, as a full disk would.
    WriteFile(dir + "src.png", std::string(64 * 1024, 's'));
    WriteFile(dir + "dst.png", "precious");
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool copied = util_CopyFile(dir.c_str(), "src.png", dir.c_str(), "dst.png", true);
    bool copiedNew = util_CopyFile(dir.c_str(), "src.png", dir.c_str(), "new.png", false);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(copied);
    EXPECT_FALSE(copiedNew);
    EXPECT_EQ(ReadFile(dir + "dst.png"), "precious");
    EXPECT_EQ(util_fileDim((dir + "src.png").c_str()), 64 * 1024);  // the failed move kept it
    EXPECT_EQ(Entries(root), (std::set<std::string>{"src.png", "dst.png"}));
}

TEST_F(ScratchFolder, CopyRefusesPathsLongerThanTheBuffer) {
    WriteFile(dir + "src.png", "data");
    std::string longName(kPathSize, 'n');
    EXPECT_FALSE(util_CopyFile(dir.c_str(), "src.png", dir.c_str(), longName.c_str(), false));
    EXPECT_FALSE(util_CopyFile(dir.c_str(), longName.c_str(), dir.c_str(), "dst.png", false));
    EXPECT_EQ(Entries(root), std::set<std::string>{"src.png"});
}

// ---------------------------------------------------------------------------------------------
// util_CreateFolder

TEST_F(ScratchFolder, CreateFolderNewAndExisting) {
    EXPECT_TRUE(util_CreateFolder(dir.c_str(), "Originals"));
    EXPECT_TRUE(IsFolder(dir + "Originals"));
    EXPECT_TRUE(util_CreateFolder(dir.c_str(), "Originals"));

    // Parent without its trailing "/".
    EXPECT_TRUE(util_CreateFolder((dir + "Originals").c_str(), "Editable_Images"));
    EXPECT_TRUE(IsFolder(dir + "Originals/Editable_Images"));
}

TEST_F(ScratchFolder, CreateFolderFailures) {
    WriteFile(dir + "taken", "a file");
    EXPECT_FALSE(util_CreateFolder((dir + "missing/").c_str(), "Originals"));
    EXPECT_FALSE(IsFolder(dir + "missing"));
    EXPECT_FALSE(util_CreateFolder(dir.c_str(), "taken"));
    EXPECT_TRUE(IsFile(dir + "taken"));
    EXPECT_FALSE(util_CreateFolder((dir + "taken").c_str(), "sub"));  // parent is a file
    EXPECT_FALSE(util_CreateFolder(dir.c_str(), ""));
    EXPECT_FALSE(util_CreateFolder(dir.c_str(), std::string(300, 'n').c_str()));
    EXPECT_EQ(Entries(root), std::set<std::string>{"taken"});
}

// ---------------------------------------------------------------------------------------------
// Folder wrappers

// Sets an environment variable for the scope of a test and puts the old value back.
class EnvOverride {
public:
    EnvOverride(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvOverride() {
        if (hadOld_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

TEST_F(ScratchFolder, PrefsFolderEndsInSlash) {
    char out[kPathSize] = "#";
    {
        EnvOverride env("XDG_CONFIG_HOME", root);
        ASSERT_TRUE(util_GetPrefsFolder(out));
        EXPECT_EQ(std::string(out), dir);
    }
    std::string tooLong = "/tmp/" + std::string(kPathSize + 100, 'p');
    EnvOverride env("XDG_CONFIG_HOME", tooLong);
    std::strcpy(out, "#");
    EXPECT_FALSE(util_GetPrefsFolder(out));
    EXPECT_STREQ(out, "#");
}

TEST_F(ScratchFolder, ResFolderHasNoTrailingSlash) {
    char out[kPathSize] = "#";
    EnvOverride env("VINTREL_RESOURCES", dir);
    ASSERT_TRUE(GetResFolder(out));
    EXPECT_EQ(std::string(out), root);
}

TEST(FolderWrappers, TempFolderIsAnExistingFolderEndingInSlash) {
    char out[kPathSize] = "#";
    ASSERT_TRUE(util_GetTempFolder(out));
    size_t len = std::strlen(out);
    ASSERT_GT(len, 1u);
    EXPECT_EQ(out[0], '/');
    EXPECT_EQ(out[len - 1], '/');
    EXPECT_TRUE(util_exists(out));
}

}  // namespace
