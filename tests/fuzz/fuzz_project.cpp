// fuzz_project.cpp - the project reader: the header and every layer record the way LoadProject
// (records over a freed slot's values) and ExplodeProject (over a cleared record) walk them,
// with the picture bytes of each record read in chunks or skipped.
// The ordinary test run links this file too, under a name of its own, to replay tests/corpus.
#ifndef FUZZ_ENTRY
#define FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

#include <cstring>
#include <vector>

#include "fuzz_file.h"
#include "project_reader.h"

namespace {

void Walk(FILE* f, bool asLoad) {
    ProjectReader r(f);
    ProjectHeader h;
    if (!ReadProjectHeadStart(r, h) || !ReadProjectHeadRest(r, h)) return;
    if (strlen(h.theme) > kMaxNameBytes || strlen(h.picture) > kMaxNameBytes) abort();
    std::vector<uint8_t> chunk(64 * 1024);
    for (int slot = 1; slot < 200; ++slot) {
        TexImage t;
        memset(&t, 0, sizeof t);
        if (asLoad) t.fillR = t.fillG = t.fillB = -1.0f;
        uint32_t component = 0;
        uint64_t before = r.Left();
        ProjectWalk w = ReadProjectRecord(r, h.version, t, &component);
        if (r.Left() > before) abort();
        if (w != ProjectWalk::Record) return;
        // A record the reader accepts keeps to the limits the program relies on.
        if (t.width < 0 || t.texWidth < 0 || t.mask < 0 || t.mask >= kMaskCount) abort();
        if (strlen(t.name) > kMaxNameBytes || component > r.Left()) abort();
        if (t.isText) continue;
        if (slot % 2) {
            uint32_t left = component;
            while (left) {
                size_t n = left < chunk.size() ? left : chunk.size();
                if (!r.Raw(chunk.data(), n)) abort();
                left -= uint32_t(n);
            }
        } else if (!r.Skip(component)) {
            abort();
        }
    }
}

}  // namespace

extern "C" int FUZZ_ENTRY(const uint8_t* data, size_t size) {
    for (bool asLoad : {true, false}) {
        FILE* f = FuzzFile(data, size);
        Walk(f, asLoad);
        fclose(f);
    }
    return 0;
}
