// update_check.h - asking the maker's server whether a newer release exists, at start-up and from
// the menu, and offering the download site when one does. Owns no globals; the addresses of the
// release-number file and of the download site are the two constants below.
#pragma once

extern const char* const kVersionFileURL;   // plain text: the newest release number
extern const char* const kDownloadSiteURL;  // opened in the browser when the user accepts
enum {
    kThisRelease = 220,          // release 2.2.0
    kNewestKnownRelease = 399,   // replies above this are not taken for a release
};

// True when the user chose to download a new release; the event loop has then been asked to
// quit and the caller ends the program. silent: the start-up check, which shows no message for a
// failed fetch or the current release.
bool CheckVersionUpdate(bool silent);
// The question shown when a newer release exists; text (the fetched reply) is not shown. True
// when the user pressed "Go To Download Site".
bool ShowUpdateDialog(const char* text);
// The release number at the start of text: optional white space and sign, then decimal digits up
// to the first other character; 0 without digits. Values beyond the int range are clamped.
int ParseReleaseNumber(const char* text);
