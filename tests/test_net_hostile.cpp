// The update check against servers that misbehave on a real socket on 127.0.0.1: a reply dripped
// one byte a second, 10 MB in disguise (compressed, or as header lines), a connection closed in
// the middle of the reply, binary garbage in place of HTTP or as the body; and the fetch's cap
// at its exact boundary. The check ends within its timeout plus a second, keeps no more than its
// cap and never offers an update it was not plainly told about.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "app_fixture.h"
#include "update_check.h"

namespace {

// Accepts connections one at a time, reads the request head and hands the socket to respond.
class HostileServer {
public:
    using Respond = std::function<void(HostileServer&, int)>;
    explicit HostileServer(Respond respond) : respond_(std::move(respond)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        listen(listener_, 8);
        thread_ = std::thread([this] {
            for (;;) {
                int c = accept(listener_, nullptr, nullptr);
                if (c < 0) return;
                std::string head;
                char buf[4096];
                ssize_t got = 0;
                while (head.find("\r\n\r\n") == std::string::npos && (got = recv(c, buf, sizeof buf, 0)) > 0)
                    head.append(buf, size_t(got));
                if (got > 0 || !head.empty()) respond_(*this, c);
                close(c);
            }
        });
    }
    ~HostileServer() {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/version.txt"; }

    // Sends all of s; false once the client has gone.
    bool Send(int c, const std::string& s) {
        size_t done = 0;
        while (done < s.size()) {
            ssize_t n = send(c, s.data() + done, s.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += size_t(n);
            sent += long(n);
        }
        return true;
    }
    // True when the client has closed its end (waits up to ms for it).
    static bool ClientGone(int c, int ms) {
        pollfd p{c, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return false;
        char b;
        return recv(c, &b, 1, MSG_DONTWAIT) <= 0;
    }
    std::atomic<long> sent{0};

private:
    Respond respond_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

const std::string kFailed = "Check for update failed, connection error";

class NetHostile : public ::testing::Test {
protected:
    void SetUp() override { EnsureProgramStarted(); }
    void TearDown() override { unsetenv("VINTREL_UPDATE_URL"); }

    // The menu's "Check for Updates..." against url: what it showed and how long it took.
    std::vector<ModalRequest> FromMenu(const std::string& url, qint64* ms = nullptr) {
        setenv("VINTREL_UPDATE_URL", url.c_str(), 1);
        ScriptedModals modals(true);   // would accept an offer, so a false one would show
        QElapsedTimer clock;
        clock.start();
        int menu = 0, item = 0;
        EXPECT_TRUE(plat_FindMenuCommand(FourCC("updt"), &menu, &item));
        plat_InvokeMenuItem(menu, item);
        if (ms) *ms = clock.elapsed();
        return modals.requests;
    }
    // The check reported the failure and offered nothing.
    static void ExpectFailedWithoutOffer(const std::vector<ModalRequest>& shown, const std::string& what) {
        ASSERT_EQ(shown.size(), 1u) << what;
        EXPECT_EQ(shown[0].message, kFailed) << what;
    }
};

std::string Garbage(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& ch : s) ch = char(rng() & 0xff);
    s[0] = '\x9c';   // not a digit, not white space, not the start of "HTTP"
    return s;
}

}  // namespace

// The timeout covers the whole reply, not the silence between bytes: a body that would read as
// a newer release arrives one byte a second and is given up at the timeout with nothing offered.
TEST_F(NetHostile, ADrippedReplyIsGivenUpAtTheTimeout) {
    std::atomic<long> gaveUpAfterMs{-1};
    std::atomic<int> bodyBytes{0};
    HostileServer server([&](HostileServer& s, int c) {
        QElapsedTimer clock;
        clock.start();
        if (!s.Send(c, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 40\r\n\r\n")) return;
        const std::string body = "221\n                                    ";
        for (char ch : body) {
            if (!s.Send(c, std::string(1, ch))) break;
            ++bodyBytes;
            if (HostileServer::ClientGone(c, 1000)) break;
        }
        gaveUpAfterMs = clock.elapsed();
    });
    qint64 ms = 0;
    std::vector<ModalRequest> shown = FromMenu(server.Url(), &ms);
    ExpectFailedWithoutOffer(shown, "drip");
    EXPECT_LT(ms, 5000) << "a timeout of 4 s plus one";
    EXPECT_GE(ms, 3500) << "it waited for the reply rather than failing at once";
    for (int i = 0; i < 30 && gaveUpAfterMs < 0; ++i) usleep(100 * 1000);
    EXPECT_GE(gaveUpAfterMs.load(), 0) << "the client closed the connection";
    EXPECT_LT(gaveUpAfterMs.load(), 5500);
    EXPECT_LE(bodyBytes.load(), 6);
}

// 10 MB that a length check does not see: a compressed body of 10 MB of digits (about 10 KB on
// the wire) and 10 MB of header lines. Both fail in time, and the server is cut off early.
TEST_F(NetHostile, TenMegabytesInDisguiseAreRefused) {
    const QByteArray digits(10 << 20, '2');
    QByteArray zlib = qCompress(digits, 9).mid(4);   // qCompress puts a length before the zlib stream
    ASSERT_LT(zlib.size(), 64 * 1024);
    const std::string deflated(zlib.constData(), size_t(zlib.size()));
    for (int variant = 0; variant < 2; ++variant) {
        std::atomic<bool> cutOff{false};
        HostileServer server([&](HostileServer& s, int c) {
            if (variant == 0) {
                s.Send(c, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Encoding: deflate\r\nContent-Length: " +
                              std::to_string(deflated.size()) + "\r\n\r\n" + deflated);
                cutOff = HostileServer::ClientGone(c, 5000);
                return;
            }
            if (!s.Send(c, "HTTP/1.1 200 OK\r\n")) return;
            std::string line = "X-Filler: " + std::string(1000, 'x') + "\r\n";
            for (long total = 0; total < (10L << 20); total += long(line.size()))
                if (!s.Send(c, line)) {
                    cutOff = true;
                    return;
                }
            s.Send(c, "Content-Length: 3\r\n\r\n221");
            cutOff = HostileServer::ClientGone(c, 5000);
        });
        qint64 ms = 0;
        std::vector<ModalRequest> shown = FromMenu(server.Url(), &ms);
        std::string what = variant == 0 ? "compressed" : "header lines";
        ExpectFailedWithoutOffer(shown, what);
        EXPECT_LT(ms, 5000) << what;
        for (int i = 0; i < 50 && !cutOff; ++i) usleep(100 * 1000);
        EXPECT_TRUE(cutOff.load()) << what;
        if (variant == 1) { EXPECT_LT(server.sent.load(), 10L << 20) << "the client stopped reading the headers"; }
    }
}

// A connection closed in the middle of the reply: the part that arrived ("221") is not taken
// for the whole, whether the length was announced, the body was chunked or only the status line
// came.
TEST_F(NetHostile, AReplyCutShortIsAFailure) {
    const char* replies[] = {
        "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n221\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n221\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n221",
        "HTTP/1.1 200 OK\r\n",
        "HTTP/1.1 200 OK\r\nContent-Le",
    };
    for (const char* reply : replies) {
        HostileServer server([&](HostileServer& s, int c) { s.Send(c, reply); });
        qint64 ms = 0;
        std::vector<ModalRequest> shown = FromMenu(server.Url(), &ms);
        ExpectFailedWithoutOffer(shown, reply);
        EXPECT_LT(ms, 5000) << reply;
    }
}

// Binary garbage in place of an HTTP reply is a failed fetch; as the body of a good reply it is
// no release number, so nothing is shown at all.
TEST_F(NetHostile, BinaryGarbageOffersNothing) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const std::string junk = Garbage(3000, seed);
        HostileServer raw([&](HostileServer& s, int c) { s.Send(c, junk); });
        qint64 ms = 0;
        std::vector<ModalRequest> shown = FromMenu(raw.Url(), &ms);
        ExpectFailedWithoutOffer(shown, "raw garbage " + std::to_string(seed));
        EXPECT_LT(ms, 5000);

        HostileServer body([&](HostileServer& s, int c) {
            s.Send(c, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                          std::to_string(junk.size()) + "\r\n\r\n" + junk);
        });
        EXPECT_TRUE(FromMenu(body.Url(), &ms).empty()) << "garbage body " << seed;
        EXPECT_LT(ms, 5000);
    }
}

// The cap holds to the byte, with the length announced and without: a body of exactly the cap
// is taken whole, one byte more is refused and nothing of it is handed out.
TEST_F(NetHostile, TheCapHoldsToTheByte) {
    const size_t cap = 100;
    for (bool announced : {true, false}) {
        for (size_t n : {cap, cap + 1, cap * 50}) {
            const std::string payload(n, '7');
            HostileServer server([&](HostileServer& s, int c) {
                std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
                if (announced) head += "Content-Length: " + std::to_string(n) + "\r\n";
                s.Send(c, head + "\r\n" + payload);
            });
            std::string out = "left over";
            int r = plat_FetchText(server.Url().c_str(), 4.0, cap, &out);
            std::string what = std::to_string(n) + (announced ? " announced" : " unannounced");
            if (n <= cap) {
                EXPECT_EQ(r, noErr) << what;
                EXPECT_EQ(out, payload) << what;
            } else {
                EXPECT_EQ(r, kFetchTooLarge) << what;
                EXPECT_TRUE(out.empty()) << what;
            }
        }
    }
}
