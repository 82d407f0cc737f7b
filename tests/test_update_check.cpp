// The update check against a real HTTP server on 127.0.0.1: the replies that offer a download,
// the current release, the replies ignored, a server that never answers, an endless reply, a
// refused connection; from the menu, at start-up in this process, and in the real program.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "app_fixture.h"
#include "update_check.h"

namespace {

// Answers each request by its path: a canned body, "/hang" never answers, "/endless" sends
// 10 MB without announcing a length, "/declared" announces 10 MB.
class TinyServer {
public:
    TinyServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        listen(listener_, 8);
        thread_ = std::thread([this] { Run(); });
    }
    ~TinyServer() {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::atomic<long> sent{0};   // bytes of the last endless body the client took

private:
    void Run() {
        for (;;) {
            int c = accept(listener_, nullptr, nullptr);
            if (c < 0) return;
            Serve(c);
            close(c);
        }
    }
    void Serve(int c) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            request.append(buf, size_t(n));
        }
        std::string path = request.substr(4, request.find(' ', 4) - 4);
        if (path == "/hang") {
            while (recv(c, buf, sizeof buf, 0) > 0) {}   // until the client gives up
            return;
        }
        if (path == "/endless" || path == "/declared") {
            std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n";
            if (path == "/declared") head += "Content-Length: 10485760\r\n";
            head += "\r\n";
            Send(c, head);
            sent = 0;
            std::string chunk(65536, '7');
            for (long total = 0; total < (10L << 20); total += long(chunk.size())) {
                if (!Send(c, chunk)) return;
                sent += long(chunk.size());
            }
            return;
        }
        static const std::map<std::string, std::string> kBodies = {
            {"/221", "221\n"}, {"/220", "220"}, {"/219", "219"}, {"/400", "400"},
            {"/empty", ""},    {"/beta", "  230 beta"}, {"/junk", "\xff\xfe v2.3"},
        };
        auto it = kBodies.find(path);
        if (it == kBodies.end()) {
            Send(c, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        Send(c, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(it->second.size()) +
                    "\r\nConnection: close\r\n\r\n" + it->second);
    }
    static bool Send(int c, const std::string& s) {
        size_t done = 0;
        while (done < s.size()) {
            ssize_t n = send(c, s.data() + done, s.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// An address on 127.0.0.1 where nothing listens.
std::string RefusedUrl() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/version";
}

const char* kOfferTitle = "An update version of Vintrel is available!";

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override { EnsureProgramStarted(); }
    void TearDown() override { unsetenv("VINTREL_UPDATE_URL"); }

    // The menu's "Check for Updates..." with the version file at url, answered with answer.
    std::vector<ModalRequest> FromMenu(const std::string& url, bool answer = false) {
        setenv("VINTREL_UPDATE_URL", url.c_str(), 1);
        ScriptedModals modals(answer);
        int menu = 0, item = 0;
        EXPECT_TRUE(plat_FindMenuCommand(FourCC("updt"), &menu, &item));
        plat_InvokeMenuItem(menu, item);
        return modals.requests;
    }
    TinyServer server;
};

}  // namespace

TEST_F(UpdateCheck, NewerReleasesAreOfferedWithTheAlertsOwnButtons) {
    for (const char* path : {"/221", "/beta"}) {
        std::vector<ModalRequest> shown = FromMenu(server.Url(path), false);   // "Remind Later"
        ASSERT_EQ(shown.size(), 1u) << path;
        EXPECT_EQ(shown[0].kind, ModalKind::Alert);
        EXPECT_EQ(shown[0].title, kOfferTitle);
        EXPECT_EQ(shown[0].message, "Would you like to download the new version?");
        EXPECT_EQ(shown[0].okText, "Go To Download Site");
        EXPECT_EQ(shown[0].cancelText, "Remind Later");
    }
    setenv("VINTREL_UPDATE_URL", server.Url("/221").c_str(), 1);
    ScriptedModals later(false);
    EXPECT_FALSE(CheckVersionUpdate(true)) << "at start-up too, and Remind Later lets the program run on";
    EXPECT_EQ(later.requests.size(), 1u);
}

TEST_F(UpdateCheck, TheCurrentReleaseIsReportedOnlyWhenAsked) {
    std::vector<ModalRequest> shown = FromMenu(server.Url("/220"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Vintrel v2.2.0");
    EXPECT_EQ(shown[0].message, "This version is the latest version available");
    EXPECT_TRUE(shown[0].cancelText.empty());
    ScriptedModals silent;
    EXPECT_FALSE(CheckVersionUpdate(true));
    EXPECT_TRUE(silent.requests.empty());
    for (const char* path : {"/219", "/400", "/empty", "/junk"})
        EXPECT_TRUE(FromMenu(server.Url(path)).empty()) << path;
    EXPECT_EQ(ParseReleaseNumber("  230 beta"), 230);
    EXPECT_EQ(ParseReleaseNumber("-221"), -221);
    EXPECT_EQ(ParseReleaseNumber("99999999999999999999"), 2147483647);
}

TEST_F(UpdateCheck, FailedFetchesEndInTimeAndSayConnectionError) {
    const std::string failed = "Check for update failed, connection error";
    QElapsedTimer clock;
    for (const std::string& url : {RefusedUrl(), server.Url("/missing"), server.Url("/hang")}) {
        testing::internal::CaptureStdout();
        clock.start();
        std::vector<ModalRequest> shown = FromMenu(url);
        qint64 ms = clock.elapsed();
        std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(shown.size(), 1u) << url;
        EXPECT_EQ(shown[0].message, failed);
        EXPECT_NE(out.find("\nconnection error"), std::string::npos);
        EXPECT_LT(ms, url.find("/hang") != std::string::npos ? 6000 : 1000) << url;
    }
    // Start-up: the line only, no message.
    setenv("VINTREL_UPDATE_URL", RefusedUrl().c_str(), 1);
    ScriptedModals silent;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(CheckVersionUpdate(true));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("\nconnection error"), std::string::npos);
    EXPECT_TRUE(silent.requests.empty());
}

TEST_F(UpdateCheck, AnEndlessReplyIsCutOffAtTheCap) {
    for (const char* path : {"/endless", "/declared"}) {
        QElapsedTimer clock;
        clock.start();
        std::vector<ModalRequest> shown = FromMenu(server.Url(path));
        EXPECT_LT(clock.elapsed(), 3000);
        ASSERT_EQ(shown.size(), 1u) << path;
        EXPECT_EQ(shown[0].message, "Check for update failed, connection error");
        usleep(200 * 1000);
        EXPECT_LT(server.sent.load(), 10L << 20) << "the client stopped reading";
    }
}

TEST_F(UpdateCheck, DownloadingFromTheMenuOpensTheSiteAndEndsTheLoop) {
    setenv("VINTREL_UPDATE_URL", server.Url("/221").c_str(), 1);
    ScriptedModals yes(true);
    plat_InstallEventLoopTimer(0.05, 0, [](TimerRef t, void*) {
        plat_RemoveEventLoopTimer(t);
        int menu = 0, item = 0;
        plat_FindMenuCommand(FourCC("updt"), &menu, &item);
        plat_InvokeMenuItem(menu, item);
    }, nullptr);
    TimerRef guard = plat_InstallEventLoopTimer(10.0, 0, [](TimerRef, void*) { plat_QuitApplicationEventLoop(); }, nullptr);
    QElapsedTimer clock;
    clock.start();
    plat_RunApplicationEventLoop();
    EXPECT_LT(clock.elapsed(), 5000) << "accepting ended the loop";
    plat_RemoveEventLoopTimer(guard);
    ASSERT_EQ(yes.requests.size(), 2u);
    EXPECT_EQ(yes.requests[0].title, kOfferTitle);
    EXPECT_EQ(yes.requests[1].kind, ModalKind::OpenURL);
    EXPECT_EQ(yes.requests[1].url, kDownloadSiteURL);
}

// The real program at start-up: accepting the offer opens the site and ends the program with
// status 0 before the event loop, without writing the preferences.
TEST_F(UpdateCheck, AcceptingAtStartUpExitsAtOnce) {
    std::string home = MakeTempDir("update-home");
    std::string opened = home + "/opened.txt", out = home + "/out.txt", err = home + "/err.txt";
    std::string url = server.Url("/221");
    pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("TMPDIR", home.c_str(), 1);
        setenv("VINTREL_UPDATE_URL", url.c_str(), 1);
        setenv("VINTREL_OPEN_URL_LOG", opened.c_str(), 1);
        setenv("VINTREL_SCRIPTED_MODALS", "1", 1);
        setenv("VINTREL_EXIT_AT_EVENT_LOOP", "1", 1);
        if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(120);
        execl(VINTREL_TEST_BINARY_DIR "/vintrel", "vintrel", nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    auto slurp = [](const std::string& p) {
        std::ifstream f(p);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    };
    std::string e = slurp(err);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << e;
    EXPECT_NE(e.find(std::string("modal alert: ") + kOfferTitle + " Would you like to download the new version?"),
              std::string::npos)
        << e;
    EXPECT_EQ(e.find("event-loop-reached"), std::string::npos);
    EXPECT_EQ(slurp(opened), std::string(kDownloadSiteURL) + "\n");
    EXPECT_FALSE(std::ifstream(home + "/config/Vintrel.preferences").good());
}
