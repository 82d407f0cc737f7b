// update_check.cpp - the release-number fetch, its parse and the download offer.
#include "update_check.h"

#include <cctype>
#include <climits>
#include <string>

#include "platform.h"
#include "util_controls.h"

const char* const kVersionFileURL = "https://vintrel.example/release/version.txt";
const char* const kDownloadSiteURL = "https://vintrel.example/download";

namespace {

// The reply is one short line; anything longer is not the release file. The fetch blocks the
// program, so it gives up after a few seconds.
const size_t kMaxReplyBytes = 4096;
const double kFetchTimeoutSeconds = 4.0;

}  // namespace

int ParseReleaseNumber(const char* text) {
    if (!text) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long v = 0;
    for (; isdigit(*p); ++p)
        if (v <= INT_MAX) v = v * 10 + (*p - '0');
    if (v > INT_MAX) v = negative ? -(long long)INT_MAX - 1 : INT_MAX;
    else if (negative) v = -v;
    return int(v);
}

bool ShowUpdateDialog(const char*) {
    ModalRequest r;
    r.kind = ModalKind::Alert;
    r.title = "An update version of Vintrel is available!";
    r.message = "Would you like to download the new version?";
    r.okText = "Go To Download Site";
    r.cancelText = "Remind Later";
    return plat_RunModal(r).accepted;
}

bool CheckVersionUpdate(bool silent) {
    std::string reply;
    if (plat_FetchText(plat_VersionFileURL(kVersionFileURL), kFetchTimeoutSeconds, kMaxReplyBytes, &reply) != noErr) {
        if (!silent) util_MessageBox(false, "Check for update failed, connection error");
        plat_Log("\nconnection error");
        return false;
    }
    int v = ParseReleaseNumber(reply.c_str());
    if (v == kThisRelease) {
        if (!silent) util_MessageBox(false, "This version is the latest version available");
        return false;
    }
    if (v <= kThisRelease || v > kNewestKnownRelease) return false;
    if (!ShowUpdateDialog(reply.c_str())) return false;
    plat_OpenURL(kDownloadSiteURL);
    plat_QuitApplicationEventLoop();
    return true;
}
