// platform_net.cpp - fetching a small text file over HTTP for the update check, with libcurl: a
// blocking call that drives the transfer in small steps and lets timers and window updates run
// between them (user input waits) until the reply is complete, failed, too long or late.
//
// libcurl rather than Qt's network access: Qt 6.4 takes a chunked body whose connection closes
// before the last chunk, and a reply that closes inside its header, for a complete reply, and it
// reads response headers without limit (10 MB of them outlasted the timeout). libcurl reports a
// cut chunked body as a failure, and its callbacks let the header and the body be capped as they
// arrive and tell whether the header ended.
#include "platform.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// A release file's reply head is a few hundred bytes; a longer one is not taken in.
const size_t kMaxHeaderBytes = 16 * 1024;

struct Transfer {
    std::string body;
    size_t maxBytes = 0;
    size_t headerBytes = 0;
    bool tooLarge = false;
    bool headEnded = false;   // the blank line after the last response's header arrived
};

size_t TakeBody(char* data, size_t size, size_t count, void* user) {
    Transfer& t = *static_cast<Transfer*>(user);
    size_t n = size * count;
    if (n > t.maxBytes - t.body.size()) {
        t.tooLarge = true;
        return 0;   // stops the transfer
    }
    t.body.append(data, n);
    return n;
}

size_t TakeHeader(char* line, size_t size, size_t count, void* user) {
    Transfer& t = *static_cast<Transfer*>(user);
    size_t n = size * count;
    t.headerBytes += n;
    if (n >= 5 && memcmp(line, "HTTP/", 5) == 0) t.headEnded = false;   // a new response (after a redirect)
    if ((n == 2 && line[0] == '\r' && line[1] == '\n') || (n == 1 && line[0] == '\n')) t.headEnded = true;
    return t.headerBytes > kMaxHeaderBytes ? 0 : n;
}

}  // namespace

int plat_FetchText(const char* url, double timeoutSeconds, size_t maxBytes, std::string* out) {
    if (!out || !url || !*url) return kFetchFailed;
    out->clear();
    const bool secure = strncmp(url, "https://", 8) == 0;
    if (!secure && strncmp(url, "http://", 7) != 0) return kFetchFailed;
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (!easy || !multi) {
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        return kFetchFailed;
    }
    Transfer t;
    t.maxBytes = maxBytes;
    curl_easy_setopt(easy, CURLOPT_URL, url);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects never go from https to plain http.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);   // 4xx and 5xx are failures
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(timeoutSeconds * 1000));
    // A length announced beyond the cap ends the transfer before the body.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, TakeBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, TakeHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");   // direct, as the program has always fetched
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Vintrel/2.2.0");
    // No Accept-Encoding: the body arrives as sent and the cap counts what is kept.
    curl_multi_add_handle(multi, easy);

    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        if (!running) break;
        curl_multi_poll(multi, nullptr, 0, 20, nullptr);
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    CURLcode code = CURLE_RECV_ERROR;
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(multi, &left))
        if (m->msg == CURLMSG_DONE && m->easy_handle == easy) code = m->data.result;
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);

    if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) return kFetchTooLarge;
    if (code == CURLE_OPERATION_TIMEDOUT) return kFetchTimedOut;
    // libcurl takes a connection closed inside the header for an empty reply.
    if (code != CURLE_OK || !t.headEnded) return kFetchFailed;
    out->swap(t.body);
    return noErr;
}

const char* plat_VersionFileURL(const char* builtIn) {
    const char* seam = getenv("VINTREL_UPDATE_URL");
    return seam && *seam ? seam : builtIn;
}
