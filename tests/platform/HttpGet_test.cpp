#include "platform/HttpGet.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testsupport::LocalHttpServer;

// A body whose every position can be told from its neighbours.
QByteArray numberedBody(qsizetype size) {
    QByteArray body;
    for (int line = 0; body.size() < size; ++line)
        body += "line " + QByteArray::number(line) + "\r\n";
    body.truncate(size);
    return body;
}

// A local server, and a time-out that ends a hanging read long before the test's.
class HttpGetTest : public ::testing::Test {
protected:
    void SetUp() override { platform::HttpGet::setTimeoutForTesting(5000); }

    LocalHttpServer server;
};

TEST_F(HttpGetTest, ReadsTheBodyInPiecesOfAtMost1024BytesInOrder) {
    for (const qsizetype size : {qsizetype(1024), qsizetype(2500)}) {
        SCOPED_TRACE(size);
        const QByteArray body = numberedBody(size);
        server.setBody(body);
        platform::HttpGet http(QByteArray("agent"));
        ASSERT_TRUE(http.isOpen());
        ASSERT_TRUE(http.openUrl(server.baseAddress() + QStringLiteral("/KorvaniUpdate.inf")));
        QByteArray joined;
        char piece[4096];
        qsizetype count;
        while ((count = http.read(piece, sizeof piece)) > 0) {
            EXPECT_LE(count, 1024);
            joined.append(piece, count);
        }
        EXPECT_EQ(joined, body);
        EXPECT_EQ(http.read(piece, sizeof piece), 0); // stays at the end
    }
}

} // namespace
