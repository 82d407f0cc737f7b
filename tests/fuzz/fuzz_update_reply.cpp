// fuzz_update_reply.cpp - the update check with the fuzz input as the server's reply: the real
// CheckVersionUpdate over a platform whose fetch hands back the bytes and whose dialogs decline.
// The ordinary test run links this file too, under a name of its own, to replay tests/corpus.
#ifndef FUZZ_ENTRY
#define FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

#include <cstdarg>
#include <string>

#include "platform.h"
#include "update_check.h"
#include "util_controls.h"

namespace {
std::string gReply;
int gOffers = 0;
}  // namespace

int plat_FetchText(const char*, double, size_t maxBytes, std::string* out) {
    *out = gReply.substr(0, maxBytes);
    return noErr;
}
const char* plat_VersionFileURL(const char* builtIn) { return builtIn; }
ModalAnswer plat_RunModal(const ModalRequest&) {
    ++gOffers;
    ModalAnswer a;
    a.accepted = false;
    return a;
}
bool util_MessageBox(bool, const char*) { return true; }
void plat_Log(const char*, ...) {}
bool plat_OpenURL(const char*) { abort(); }
void plat_QuitApplicationEventLoop() { abort(); }

extern "C" int FUZZ_ENTRY(const uint8_t* data, size_t size) {
    gReply.assign(reinterpret_cast<const char*>(data), size);
    gOffers = 0;
    int v = ParseReleaseNumber(gReply.c_str());
    if (CheckVersionUpdate(size % 2 == 0)) abort();   // every offer is declined
    // An offer only for a release newer than this one and not beyond the newest known.
    if (gOffers != ((v > kThisRelease && v <= kNewestKnownRelease) ? 1 : 0)) abort();
    return 0;
}
