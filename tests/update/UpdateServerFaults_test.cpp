// The update check against servers that are broken or hostile: every check ends,
// within the time-out, on CheckFailed or the right result, and the window stays
// usable afterwards.

#include "update/frmUpdate.h"

#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "platform/HttpGet.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"
#include "update/UpdateConfig.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace {

using testsupport::LocalHttpServer;

// Time-out for the cases that must end on their own, long before it.
constexpr int LongTimeoutMs = 5000;
// Above the time-out a wait may take: a loaded machine and the AddressSanitizer build.
constexpr int MarginMs = 3000;
constexpr qint64 Huge = 10 * 1024 * 1024;
// Qt's HTTP layer sends a request again, up to three times, when its connection is
// dropped before any answer has come: one check, at most four connections.
constexpr int MaxConnectionsOfOneCheck = 4;
// Qt follows at most 50 redirects.
constexpr int RedirectLimit = 50;

const decltype(ModTransLate::Catalogue::frmUpdate)& texts() {
    return ModTransLate::Text().frmUpdate;
}

struct Check {
    qint64 waitedMs = 0;
    QString message;
    int progress = -1;
};

// A broken or hostile server, and what the check against it must show besides what
// every check must leave (see expectEndedAndUsable).
struct Fault {
    const char* name;
    std::function<void(LocalHttpServer&)> serve;
    int requests;  // the requests the server saw; -1: a count of the row's own
    bool onItsOwn; // ended by the server, long before the time-out
    bool noLaterConnection = false;
    std::function<void(const Check&, LocalHttpServer&)> also = nullptr; // the row's own checks
    const char* newer = nullptr; // the version the check finds; none: it shows CheckFailed
    int timeoutMs = LongTimeoutMs;
    qint64 atLeastMs = 0; // the shortest wait (the time-out ends the check); 0: none
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

class UpdateServerFaultsTest : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        ModTransLate::LoadLanguage();
        // The texts must differ, or a wrong outcome could pass for the right one.
        ASSERT_FALSE(texts().CheckFailed.isEmpty());
        ASSERT_NE(texts().CheckFailed, texts().CheckingLastestVer);
        ASSERT_FALSE(texts().FindTheLastestVer.isEmpty());
        UpdateConfig::setBaseAddressForTesting(server.baseAddress());
    }

    // Opens the Update window, runs one check with the given time-out and keeps what
    // it showed; the window stays open for the caller's checks.
    Check run(int timeoutMs) {
        platform::HttpGet::setTimeoutForTesting(timeoutMs);
        timeoutMs_ = timeoutMs;
        window = std::make_unique<frmUpdate>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(window->Command(0), Qt::LeftButton);
        Check check;
        check.waitedMs = clock.elapsed();
        check.message = window->findChild<QLabel*>(QStringLiteral("lbMsg"))->text();
        check.progress = window->findChild<QProgressBar*>(QStringLiteral("pbUpdate"))->value();
        RecordProperty("waitedMs", std::to_string(check.waitedMs));
        RecordProperty("requests", std::to_string(server.requests().size()));
        RecordProperty("connections", std::to_string(server.connectionCount()));
        return check;
    }

    // What every check must leave: the wait ended within the time-out, the bar full,
    // the window open with both buttons working, and Command(1) closes it.
    void expectEndedAndUsable(const Check& check) {
        EXPECT_LT(check.waitedMs, timeoutMs_ + MarginMs);
        EXPECT_EQ(check.progress, 100);
        ASSERT_TRUE(window->isVisible());
        EXPECT_FALSE(window->isChecking());
        EXPECT_TRUE(window->Command(0)->isEnabled());
        EXPECT_TRUE(window->Command(1)->isEnabled());
        QTest::mouseClick(window->Command(1), Qt::LeftButton);
        EXPECT_FALSE(window->isVisible());
    }

    // Nothing more reaches the server once the check has ended. A connection the check
    // opened before it ended may still wait in the server's queue (Qt's network thread
    // can open one more while the failure is on its way), so those are taken first.
    void expectNoLaterConnection() {
        QCoreApplication::processEvents();
        const int seen = server.connectionCount();
        EXPECT_FALSE(testsupport::waitUntil([&] { return server.connectionCount() > seen; }, 100));
    }

    testsupport::ProgramFolder folder;
    LocalHttpServer server;
    std::unique_ptr<frmUpdate> window;
    int timeoutMs_ = 0;
};

TEST_P(UpdateServerFaultsTest, EndsOnCheckFailedOrTheRightResult) {
    const Fault& fault = GetParam();
    fault.serve(server);
    const Check check = run(fault.timeoutMs);
    if (fault.newer) {
        EXPECT_EQ(check.message, texts().FindTheLastestVer + ',' + texts().TheLastestVer + ':' +
                                     QString::fromLatin1(fault.newer));
        EXPECT_EQ(window->tag(), QStringLiteral("DOWN"));
    } else {
        EXPECT_EQ(check.message, texts().CheckFailed);
        EXPECT_EQ(window->tag(), QStringLiteral("CHECK"));
        EXPECT_EQ(window->Command(0)->text(), texts().CheckUpdate);
    }
    expectEndedAndUsable(check);
    EXPECT_TRUE(fault.atLeastMs == 0 || check.waitedMs >= fault.atLeastMs) << check.waitedMs;
    EXPECT_TRUE(!fault.onItsOwn || check.waitedMs < LongTimeoutMs) << check.waitedMs;
    EXPECT_TRUE(fault.requests < 0 || server.requests().size() == fault.requests)
        << server.requests().size() << " requests";
    if (fault.also)
        fault.also(check, server);
    if (fault.noLaterConnection)
        expectNoLaterConnection();
}

auto body(QByteArray bytes) {
    return [bytes](LocalHttpServer& server) { server.setBody(bytes); };
}

auto raw(QByteArray bytes) {
    return [bytes](LocalHttpServer& server) {
        server.setMode(LocalHttpServer::Mode::Raw);
        server.setRawReply(bytes);
    };
}

auto huge(LocalHttpServer::Framing framing) {
    return [framing](LocalHttpServer& server) {
        server.setFraming(framing);
        server.setGeneratedBody(Huge);
    };
}

void headersOnly(LocalHttpServer& server) {
    server.setMode(LocalHttpServer::Mode::HeadersOnly);
    server.setBody("1.5");
}

void slow(LocalHttpServer& server) {
    server.setBody("1.5");
    server.setPieces(1, 300);
}

// Dropped after the first 64 KiB, not drained.
void cutShort(const Check&, LocalHttpServer& server) {
    EXPECT_TRUE(testsupport::waitUntil([&] { return server.clientLeftEarly(); }));
    EXPECT_LT(server.bodyBytesSent(), Huge);
}

// Each redirect carries a number of its own, which must not be taken for the manifest.
// The loop is followed to the redirect limit and no further (a request may have been
// sent again on a dropped connection, as above).
auto redirects(QList<std::pair<QByteArray, QByteArray>> redirects) {
    return [redirects](LocalHttpServer& server) {
        for (const auto& [from, to] : redirects)
            server.setRedirect(from, to);
        server.setBody("1.5");
    };
}

void toTheRedirectLimit(const Check&, LocalHttpServer& server) {
    EXPECT_GT(server.requests().size(), RedirectLimit);
    EXPECT_LE(server.requests().size(), MaxConnectionsOfOneCheck * (RedirectLimit + 1));
}

void oneCheckOfConnections(const Check&, LocalHttpServer& server) {
    EXPECT_LE(server.connectionCount(), MaxConnectionsOfOneCheck);
}

constexpr bool OnItsOwn = true, NoLater = true;
const Fault Faults[] = {
    // Ended by the close, not the time-out. Wine reports no close of a connection the
    // server ends before the request is sent: there the time-out ends it.
    {"AServerThatClosesAtOnce",
     [](LocalHttpServer& s) { s.setMode(LocalHttpServer::Mode::CloseAtOnce); }, -1, false, NoLater,
     [](const Check& check, LocalHttpServer& server) {
         if (!testsupport::runsUnderWine()) {
             EXPECT_LT(check.waitedMs, LongTimeoutMs);
         }
         EXPECT_GE(server.connectionCount(), 1);
         oneCheckOfConnections(check, server);
     }},
    {"HeadersFollowedBySilenceEndAtTheTimeOut", headersOnly, 1, false, false, nullptr, nullptr, 500,
     450},
    {"AHugeBodyWithContentLength", huge(LocalHttpServer::Framing::ContentLength), 1, OnItsOwn,
     false, cutShort},
    {"AHugeBodyWithNoLength", huge(LocalHttpServer::Framing::CloseOnly), 1, OnItsOwn, false,
     cutShort},
    {"AHugeBodyChunked", huge(LocalHttpServer::Framing::Chunked), 1, OnItsOwn, false, cutShort},
    {"ARedirectToItself", redirects({{"/KorvaniUpdate.inf", "/KorvaniUpdate.inf"}}), -1, OnItsOwn,
     NoLater, toTheRedirectLimit},
    {"ARedirectFromAToBToA",
     redirects({{"/KorvaniUpdate.inf", "/b.inf"}, {"/b.inf", "/KorvaniUpdate.inf"}}), -1, OnItsOwn,
     NoLater, toTheRedirectLimit},
    // A byte, then 300 ms, then the next: read whole within the time-out; or "1." has come
    // when the time-out strikes, and a part of the number is no number.
    {"ASlowManifestIsReadWholeWithinTheTimeOut", slow, 1, false, false, nullptr, "1.5", 3000, 550},
    {"ASlowManifestCutByTheTimeOut", slow, 1, false, false, nullptr, nullptr, 500, 450},
    // "1.5" of a body announced as ten bytes: the start of a number is no number.
    // (A chunked body cut before its last chunk is not tried: Qt 6.4 mostly ends such
    // a reply without an error, so it cannot be told from a whole one.)
    {"AManifestCutShortByTheServer", raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n1.5"), 1,
     OnItsOwn, NoLater},
    // Replies that are not HTTP.
    {"AReplyInAnotherProtocol", raw("SSH-2.0-OpenSSH_9.2p1\r\n"), -1, OnItsOwn, NoLater,
     oneCheckOfConnections},
    {"AReplyThatIsABareNumber", raw("1.5\r\n"), -1, OnItsOwn, NoLater, oneCheckOfConnections},
    {"AReplyWithAStatusThatIsNoNumber", raw("HTTP/1.1 abc Fine\r\nContent-Length: 3\r\n\r\n1.5"),
     -1, OnItsOwn, NoLater, oneCheckOfConnections},
    {"AReplyOfBinaryNoise", raw(QByteArray("\x00\xff\x13\x80HTTP\x00\r\n\r\n1.5", 15)), -1,
     OnItsOwn, NoLater, oneCheckOfConnections},
    // Bodies that are not just a number; a byte order mark before the number is skipped.
    {"ABodyWithANulAfterTheNumber", body(QByteArray("1.5\0", 4)), 1, false},
    {"ABodyWithANulInTheNumber", body(QByteArray("1\0.5", 4)), 1, false},
    {"ABodyWithANulBeforeTheNumber", body(QByteArray("\0001.5", 4)), 1, false},
    {"ABodyWithLettersAfterTheNumber", body("1.5abc"), 1, false},
    {"AByteOrderMarkBeforeTheNumberIsSkipped",
     body("\xEF\xBB\xBF"
          "1.5"),
     1, false, false, nullptr, "1.5"},
};

INSTANTIATE_TEST_SUITE_P(Servers, UpdateServerFaultsTest, ::testing::ValuesIn(Faults),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
