// fault_fixture.h - file-system faults for the tests of writing: a small file system of its own
// that can be filled up or made read-only, and a thread that loses root's right to ignore file
// permissions, so that read-only files and folders are read-only to it too.
#pragma once

#include <string>

// A tmpfs of size bytes mounted on path (created if missing) for the object's life. Mounting
// needs CAP_SYS_ADMIN: mounted() is false where the machine does not allow it.
class SmallFileSystem {
public:
    SmallFileSystem(const std::string& path, long size);
    ~SmallFileSystem();
    bool mounted() const { return mounted_; }
    // Fills the file system with a file of its own until only about bytes are left free.
    bool LeaveFree(long bytes);
    // Frees what LeaveFree took.
    void Unfill();
    bool MakeReadOnly(bool readOnly);

private:
    std::string path_;
    bool mounted_ = false;
};

// For the object's life the calling thread cannot override file permissions (root's
// CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER leave its effective set, and access()
// stops lending them back).
class NoPermissionOverride {
public:
    NoPermissionOverride();
    ~NoPermissionOverride();

private:
    bool dropped_ = false;
    int oldBits_ = 0;
};
