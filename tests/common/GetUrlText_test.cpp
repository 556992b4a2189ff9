#include "common/ModCommonUi.h"

#include "Version.h"
#include "platform/HttpGet.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QProgressBar>

#include <gtest/gtest.h>

namespace {

using testsupport::LocalHttpServer;

// Every value a progress bar takes, starting away from 0 so that a first 0 shows.
struct ProgressRecord {
    QProgressBar bar;
    QList<int> values;
    ProgressRecord() {
        bar.setRange(0, 100);
        bar.setValue(50);
        QObject::connect(&bar, &QProgressBar::valueChanged, [this](int v) { values.append(v); });
    }
};

class GetUrlTextTest : public ::testing::Test {
protected:
    void SetUp() override { platform::HttpGet::setTimeoutForTesting(5000); }
    QString manifestUrl() const {
        return server.baseAddress() + QStringLiteral("/KorvaniUpdate.inf");
    }

    testsupport::ProgramFolder folder;
    LocalHttpServer server;
};

TEST_F(GetUrlTextTest, SendsOneGetWithTheCompanyNameAsAgent) {
    server.setBody("1.4");
    ProgressRecord progress;
    EXPECT_EQ(ModCommon::GetUrlText(manifestUrl(), &progress.bar), QStringLiteral("1.4"));
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray head = server.requests().constFirst();
    EXPECT_TRUE(head.startsWith("GET /KorvaniUpdate.inf HTTP/1.1\r\n")) << head.constData();
    EXPECT_EQ(LocalHttpServer::header(head, "User-Agent"), QByteArray(Version::CompanyName));
    EXPECT_EQ(progress.values, (QList<int>{0, 10, 20, 90, 100}));
}

TEST_F(GetUrlTextTest, JoinsPiecesOfSlowDeliveryAndKeepsSplitCharacters) {
    // "é" and "€" straddle the 1024-byte boundary of the reads and the server's pieces.
    const QByteArray body =
        QByteArray(1023, 'a') + "\xC3\xA9" + QByteArray(1021, 'b') + "\xE2\x82\xAC" + "end";
    server.setBody(body);
    server.setPieces(1024, 20);
    ProgressRecord progress;
    EXPECT_EQ(ModCommon::GetUrlText(manifestUrl(), &progress.bar), QString::fromUtf8(body));
}

TEST_F(GetUrlTextTest, ReturnsTheBodyOfAnErrorResponse) {
    server.setStatus(404);
    server.setBody("<html>No such file</html>");
    ProgressRecord progress;
    EXPECT_EQ(ModCommon::GetUrlText(manifestUrl(), &progress.bar),
              QStringLiteral("<html>No such file</html>"));
    EXPECT_EQ(progress.values, (QList<int>{0, 10, 20, 90, 100}));
}

TEST_F(GetUrlTextTest, WithoutAProgressBarMakesNoRequest) {
    server.setBody("1.5");
    EXPECT_TRUE(ModCommon::GetUrlText(manifestUrl(), nullptr).isEmpty());
    EXPECT_FALSE(testsupport::waitUntil([&] { return server.connectionCount() > 0; }, 200));
}

TEST_F(GetUrlTextTest, WithoutAnInternetHandleStaysAtZero) {
    platform::HttpGet::setUnavailableForTesting(true);
    server.setBody("1.5");
    ProgressRecord progress;
    EXPECT_TRUE(ModCommon::GetUrlText(manifestUrl(), &progress.bar).isEmpty());
    EXPECT_EQ(progress.values, QList<int>{0});
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(GetUrlTextTest, AnAddressThatCannotBeOpenedGoesTo100WithNoText) {
    const QString refused =
        QStringLiteral("http://127.0.0.1:%1/KorvaniUpdate.inf").arg(testsupport::closedPort());
    for (const QString& address :
         {refused, QStringLiteral("file:///etc/hostname"), QStringLiteral("not an address")}) {
        SCOPED_TRACE(address.toStdString());
        ProgressRecord progress;
        EXPECT_TRUE(ModCommon::GetUrlText(address, &progress.bar).isEmpty());
        EXPECT_EQ(progress.values, (QList<int>{0, 10, 100}));
    }
}

TEST_F(GetUrlTextTest, TheTimeOutEndsAServerThatNeverAnswersOrABodyThatStalls) {
    platform::HttpGet::setTimeoutForTesting(300);
    server.setBody("1.5");
    struct Case {
        LocalHttpServer::Mode mode;
        QList<int> progress;
    };
    for (const Case& c : {Case{LocalHttpServer::Mode::NeverAnswer, {0, 10, 100}},
                          Case{LocalHttpServer::Mode::HeadersOnly, {0, 10, 20, 90, 100}}}) {
        server.setMode(c.mode);
        ProgressRecord progress;
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(ModCommon::GetUrlText(manifestUrl(), &progress.bar).isEmpty());
        EXPECT_GE(clock.elapsed(), 250);
        EXPECT_LT(clock.elapsed(), 4000);
        EXPECT_EQ(progress.values, c.progress);
    }
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(GetUrlTextTest, AHugeBodyIsCutAt64KiBAndNotReadToTheEnd) {
    constexpr qint64 Huge = 10 * 1024 * 1024;
    server.setGeneratedBody(Huge);
    ProgressRecord progress;
    const QString text = ModCommon::GetUrlText(manifestUrl(), &progress.bar);
    ASSERT_EQ(text.size(), 64 * 1024);
    for (qsizetype i : {qsizetype(0), qsizetype(25), qsizetype(26), qsizetype(64 * 1024 - 1)})
        EXPECT_EQ(text.at(i), QLatin1Char(static_cast<char>('a' + i % 26))) << i;
    EXPECT_EQ(progress.values, (QList<int>{0, 10, 20, 90, 100}));
    // The transfer was dropped, not drained: the server saw the client leave early.
    EXPECT_TRUE(testsupport::waitUntil([&] { return server.clientLeftEarly(); }));
    EXPECT_LT(server.bodyBytesSent(), Huge);
    RecordProperty("bodyBytesSent", QString::number(server.bodyBytesSent()).toStdString());
}

} // namespace
