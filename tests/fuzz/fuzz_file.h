// fuzz_file.h - the fuzz input as a real file: the readers take a FILE* (and size their reads by
// fstat) or a path, so the bytes go into an in-memory regular file (memfd) reused for every run.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The memfd holding exactly data[0..size), read position at the start.
inline int FuzzFd(const uint8_t* data, size_t size) {
    static int fd = memfd_create("fuzz-input", 0);
    if (fd < 0) abort();
    if (ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != ssize_t(size))) abort();
    if (lseek(fd, 0, SEEK_SET) != 0) abort();
    return fd;
}

// A FILE* of its own reading data[0..size); the caller fcloses it.
inline FILE* FuzzFile(const uint8_t* data, size_t size) {
    int copy = dup(FuzzFd(data, size));
    FILE* f = copy < 0 ? nullptr : fdopen(copy, "rb");
    if (!f) abort();
    return f;
}

// A path that opens data[0..size) afresh.
inline const char* FuzzPath(const uint8_t* data, size_t size) {
    static char path[64];
    snprintf(path, sizeof path, "/proc/self/fd/%d", FuzzFd(data, size));
    return path;
}
