// project_reader.h - reading the project file format (".vntr"): the bounded reader over an open
// file, the header and the layer records. Pure parsing with no window, texture or file side
// effects, so that the program (project_file.cpp) and the fuzz target run the same code.
// Owns no globals.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "layer_table.h"

// Capacities of the name buffers less their terminator.
const uint32_t kMaxNameBytes = 1023;     // theme, picture and layer names
const uint32_t kMaxFontTextBytes = 254;
const uint32_t kMaxFontNameBytes = 255;
// Stored sizes beyond these are not from a real layer.
const int32_t kMaxStoredSide = 1 << 20;
const float kMaxStoredScale = 1000.0f;
const float kMaxStoredMagnitude = 1.0e7f;   // any float field; keeps trunc() within an int
const int32_t kMinFontSize = 6, kMaxFontSize = 240;

// Reading: every read is checked against the bytes left in the file (its size at the start;
// anything that is not a regular file has no bytes).
class ProjectReader {
public:
    explicit ProjectReader(FILE* f) : f_(f) {
        struct stat st;
        if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) left_ = uint64_t(st.st_size);
    }
    uint64_t Left() const { return left_; }
    bool Raw(void* out, size_t n) {
        if (n > left_) return false;
        if (n && fread(out, 1, n, f_) != n) {
            left_ = 0;
            return false;
        }
        left_ -= n;
        return true;
    }
    bool U32(uint32_t& v) {
        uint8_t b[4];
        if (!Raw(b, 4)) return false;
        v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    bool I32(int32_t& v) {
        uint32_t u;
        if (!U32(u)) return false;
        memcpy(&v, &u, 4);
        return true;
    }
    bool F32(float& v) {
        uint32_t u;
        if (!U32(u)) return false;
        memcpy(&v, &u, 4);
        return true;
    }
    bool Flag(bool& v) {
        uint8_t b;
        if (!Raw(&b, 1)) return false;
        v = b != 0;
        return true;
    }
    // A length-prefixed string into out (at least limit + 1 bytes), terminated after its length.
    bool Str(char* out, uint32_t limit) {
        uint32_t n;
        if (!U32(n) || n > limit || n > left_) return false;
        if (!Raw(out, n)) return false;
        out[n] = 0;
        return true;
    }
    // Moves on by n bytes without reading them.
    bool Skip(uint64_t n) {
        if (n > left_) return false;
        if (fseeko(f_, off_t(n), SEEK_CUR) != 0) {
            left_ = 0;
            return false;
        }
        left_ -= n;
        return true;
    }

private:
    FILE* f_;
    uint64_t left_ = 0;
};

struct ProjectHeader {
    int32_t version = 0;
    char theme[kMaxNameBytes + 1] = "";
    char picture[kMaxNameBytes + 1] = "";
    int32_t width = 0, height = 0;
};

enum class ProjectWalk { Record, End, Refused };

// The version and theme name; then the picture name and the base picture's size.
bool ReadProjectHeadStart(ProjectReader& r, ProjectHeader& h);
bool ReadProjectHeadRest(ProjectReader& r, ProjectHeader& h);
// Reads the next layer record of a file of the given version into t, which holds the values of
// a freed slot on entry; for a picture layer *component gets the size of the picture bytes that
// follow (checked against the bytes left). End: no name length can be read here, so no record
// begins (the end of the file, or fewer than its four bytes left). Refused: the record is cut
// short, a length is beyond its limit or a value is implausible; nothing after it can be trusted.
ProjectWalk ReadProjectRecord(ProjectReader& r, int version, TexImage& t, uint32_t* component);
