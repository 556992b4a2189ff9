// The update check against servers that are broken or hostile: every check ends,
// within the time-out, on CheckFailed or the right result, and the window stays
// usable afterwards.

#include "update/frmUpdate.h"

#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"
#include "update/UpdateConfig.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
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

class UpdateServerFaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ModTransLate::LoadLanguage();
        // The texts must differ, or a wrong outcome could pass for the right one.
        ASSERT_FALSE(texts().CheckFailed.isEmpty());
        ASSERT_NE(texts().CheckFailed, texts().CheckingLastestVer);
        ASSERT_FALSE(texts().FindTheLastestVer.isEmpty());
        fresh();
    }

    // A new server for the next case, where the window looks for the manifest.
    LocalHttpServer& fresh() {
        window.reset();
        server_ = std::make_unique<LocalHttpServer>();
        UpdateConfig::setBaseAddressForTesting(server_->baseAddress());
        return *server_;
    }
    LocalHttpServer& current() { return *server_; }

    // Opens the Update window, runs one check with the given time-out and keeps what
    // it showed; the window stays open for the caller's checks.
    Check run(int timeoutMs) {
        UpdateConfig::setTimeoutForTesting(timeoutMs);
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
        RecordProperty("requests", std::to_string(current().requests().size()));
        RecordProperty("connections", std::to_string(current().connectionCount()));
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
        const int seen = server_->connectionCount();
        EXPECT_FALSE(
            testsupport::waitUntil([&] { return server_->connectionCount() > seen; }, 100));
    }

    void expectFailed(const Check& check) {
        EXPECT_EQ(check.message, texts().CheckFailed);
        EXPECT_EQ(window->tag(), QStringLiteral("CHECK"));
        EXPECT_EQ(window->Command(0)->text(), texts().CheckUpdate);
        expectEndedAndUsable(check);
    }

    static QString newer(const char* version) {
        return texts().FindTheLastestVer + ',' + texts().TheLastestVer + ':' +
               QString::fromLatin1(version);
    }

    testsupport::ProgramFolder folder;
    std::unique_ptr<LocalHttpServer> server_;
    std::unique_ptr<frmUpdate> window;
    int timeoutMs_ = 0;
};

TEST_F(UpdateServerFaultsTest, AServerThatClosesAtOnceFails) {
    LocalHttpServer& server = current();
    server.setMode(LocalHttpServer::Mode::CloseAtOnce);
    const Check check = run(LongTimeoutMs);
    expectFailed(check);
    // Ended by the close, not the time-out. Wine reports no close of a connection the
    // server ends before the request is sent: there the time-out ends it.
    if (!testsupport::runsUnderWine()) {
        EXPECT_LT(check.waitedMs, LongTimeoutMs);
    }
    EXPECT_GE(server.connectionCount(), 1);
    EXPECT_LE(server.connectionCount(), MaxConnectionsOfOneCheck);
    expectNoLaterConnection();
}

TEST_F(UpdateServerFaultsTest, HeadersFollowedBySilenceEndAtTheTimeOut) {
    LocalHttpServer& server = current();
    server.setMode(LocalHttpServer::Mode::HeadersOnly);
    server.setBody("1.5");
    const Check check = run(500);
    expectFailed(check);
    EXPECT_GE(check.waitedMs, 450);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(UpdateServerFaultsTest, AHugeBodyIsCutHoweverItIsFramed) {
    const struct {
        LocalHttpServer::Framing framing;
        const char* name;
    } cases[] = {{LocalHttpServer::Framing::ContentLength, "Content-Length"},
                 {LocalHttpServer::Framing::CloseOnly, "no length"},
                 {LocalHttpServer::Framing::Chunked, "chunked"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalHttpServer& server = fresh();
        server.setFraming(c.framing);
        server.setGeneratedBody(Huge);
        const Check check = run(LongTimeoutMs);
        RecordProperty(std::string("waitedMs ") + c.name, std::to_string(check.waitedMs));
        expectFailed(check);
        EXPECT_LT(check.waitedMs, LongTimeoutMs);
        EXPECT_EQ(server.requests().size(), 1);
        // Dropped after the first 64 KiB, not drained.
        EXPECT_TRUE(testsupport::waitUntil([&] { return server.clientLeftEarly(); }));
        EXPECT_LT(server.bodyBytesSent(), Huge);
    }
}

TEST_F(UpdateServerFaultsTest, ARedirectLoopEndsOnCheckFailed) {
    // Each redirect carries a number of its own, which must not be taken for the
    // manifest.
    const struct {
        const char* name;
        QList<std::pair<QByteArray, QByteArray>> redirects;
    } cases[] = {
        {"to itself", {{"/KorvaniUpdate.inf", "/KorvaniUpdate.inf"}}},
        {"A to B to A", {{"/KorvaniUpdate.inf", "/b.inf"}, {"/b.inf", "/KorvaniUpdate.inf"}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalHttpServer& server = fresh();
        for (const auto& [from, to] : c.redirects)
            server.setRedirect(from, to);
        server.setBody("1.5");
        const Check check = run(LongTimeoutMs);
        RecordProperty(std::string("requests ") + c.name, std::to_string(server.requests().size()));
        RecordProperty(std::string("waitedMs ") + c.name, std::to_string(check.waitedMs));
        expectFailed(check);
        EXPECT_LT(check.waitedMs, LongTimeoutMs);
        // The loop was followed to the redirect limit and no further (a request may
        // have been sent again on a dropped connection, as above).
        EXPECT_GT(server.requests().size(), RedirectLimit);
        EXPECT_LE(server.requests().size(), MaxConnectionsOfOneCheck * (RedirectLimit + 1));
        expectNoLaterConnection();
    }
}

TEST_F(UpdateServerFaultsTest, ASlowManifestIsReadWholeWithinTheTimeOut) {
    LocalHttpServer& server = current();
    server.setBody("1.5");
    server.setPieces(1, 300); // a byte, then 300 ms, then the next
    const Check check = run(3000);
    EXPECT_EQ(check.message, newer("1.5"));
    EXPECT_EQ(window->tag(), QStringLiteral("DOWN"));
    EXPECT_GE(check.waitedMs, 550);
    EXPECT_EQ(server.requests().size(), 1);
    expectEndedAndUsable(check);
}

TEST_F(UpdateServerFaultsTest, ASlowManifestCutByTheTimeOutFails) {
    LocalHttpServer& server = current();
    // "1." has come when the time-out strikes: a part of the number is no number.
    server.setBody("1.5");
    server.setPieces(1, 300);
    const Check check = run(500);
    expectFailed(check);
    EXPECT_GE(check.waitedMs, 450);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(UpdateServerFaultsTest, AManifestCutShortByTheServerFails) {
    // "1.5" of a body announced as ten bytes: the start of a number is no number.
    // (A chunked body cut before its last chunk is not tried: Qt 6.4 mostly ends such
    // a reply without an error, so it cannot be told from a whole one.)
    LocalHttpServer& server = current();
    server.setMode(LocalHttpServer::Mode::Raw);
    server.setRawReply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n1.5");
    const Check check = run(LongTimeoutMs);
    expectFailed(check);
    EXPECT_LT(check.waitedMs, LongTimeoutMs);
    EXPECT_EQ(server.requests().size(), 1);
    expectNoLaterConnection();
}

TEST_F(UpdateServerFaultsTest, AReplyThatIsNotHttpFails) {
    const struct {
        const char* name;
        QByteArray raw;
    } cases[] = {
        {"another protocol", "SSH-2.0-OpenSSH_9.2p1\r\n"},
        {"a bare number", "1.5\r\n"},
        {"a status that is no number", "HTTP/1.1 abc Fine\r\nContent-Length: 3\r\n\r\n1.5"},
        {"binary noise", QByteArray("\x00\xff\x13\x80HTTP\x00\r\n\r\n1.5", 15)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalHttpServer& server = fresh();
        server.setMode(LocalHttpServer::Mode::Raw);
        server.setRawReply(c.raw);
        const Check check = run(LongTimeoutMs);
        RecordProperty(std::string("waitedMs ") + c.name, std::to_string(check.waitedMs));
        expectFailed(check);
        EXPECT_LT(check.waitedMs, LongTimeoutMs);
        EXPECT_LE(server.connectionCount(), MaxConnectionsOfOneCheck);
        expectNoLaterConnection();
    }
}

TEST_F(UpdateServerFaultsTest, ABodyThatIsNotJustANumberFails) {
    for (const QByteArray& body : {QByteArray("1.5\0", 4), QByteArray("1\0.5", 4),
                                   QByteArray("\0"
                                              "1.5",
                                              4),
                                   QByteArray("1.5abc")}) {
        SCOPED_TRACE(body.toPercentEncoding().constData());
        LocalHttpServer& server = fresh();
        server.setBody(body);
        const Check check = run(LongTimeoutMs);
        expectFailed(check);
        EXPECT_EQ(server.requests().size(), 1);
    }
}

TEST_F(UpdateServerFaultsTest, AByteOrderMarkBeforeTheNumberIsSkipped) {
    LocalHttpServer& server = current();
    server.setBody("\xEF\xBB\xBF"
                   "1.5");
    const Check check = run(LongTimeoutMs);
    EXPECT_EQ(check.message, newer("1.5"));
    EXPECT_EQ(window->tag(), QStringLiteral("DOWN"));
    EXPECT_EQ(server.requests().size(), 1);
    expectEndedAndUsable(check);
}

} // namespace
