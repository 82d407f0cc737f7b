// preferences_format.cpp - the settings file read field by field, every length checked.
#include "preferences_format.h"

#include <cstdint>
#include <cstring>

#include "util_files.h"

namespace {

const int kReservedWords = 47;
const uint32_t kMaxName = 1023;

class Reader {
public:
    explicit Reader(FILE* f) : f_(f) {}
    bool Int(int* v) {
        uint8_t b[4];
        if (fread(b, 1, 4, f_) != 4) return false;
        *v = int(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
        return true;
    }
    // A string into out (kPathSize bytes); lengths beyond the name limit are refused.
    bool String(char* out) {
        int n;
        if (!Int(&n) || uint32_t(n) > kMaxName) return false;
        char buf[kPathSize];
        if (n > 0 && fread(buf, 1, size_t(n), f_) != size_t(n)) return false;
        buf[n] = 0;
        if (out) memcpy(out, buf, size_t(n) + 1);
        return true;
    }
private:
    FILE* f_;
};

}  // namespace

bool ReadConfigFields(FILE* f, const ConfigFields& out) {
    Reader r(f);
    int reserved;
    bool ok = r.Int(out.showWelcome) && r.Int(out.allThemes) && r.Int(out.firstTimeLaunch) &&
              r.Int(out.previewEnabled);
    for (int i = 0; ok && i < kReservedWords; ++i) ok = r.Int(&reserved);
    return ok && r.String(nullptr) && r.String(out.theme) && r.String(out.picture) && r.String(nullptr) &&
           r.Int(out.enableFontPreview) && r.Int(out.supportPW5);
}
