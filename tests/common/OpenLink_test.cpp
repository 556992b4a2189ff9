#include "common/ModCommonUi.h"
#include "platform/Desktop.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

class OpenLinkTest : public ::testing::Test {
protected:
    testsupport::ProgramFolder folder{false, false};
};

TEST_F(OpenLinkTest, HandsWebAndMailAddressesOverUnchanged) {
    const QStringList targets = {
        QStringLiteral("http://example.com"),
        QStringLiteral("https://example.com/"),
        QStringLiteral("https://www.example.com/korvani/"),
        QStringLiteral("HTTPS://WWW.EXAMPLE.COM/Korvani?x=1#top"),
        QStringLiteral("mailto:support@example.com"),
        QStringLiteral("MailTo:sales@example.com"),
    };
    for (const QString& target : targets)
        ModCommon::OpenLink(target);
    EXPECT_EQ(platform::Shell::opened(), targets);
}

TEST_F(OpenLinkTest, RefusesEverythingElseSilently) {
    const QStringList refused = {
        QString(),
        QStringLiteral("http:"),
        QStringLiteral("https://"),
        QStringLiteral("mailto:"),
        QStringLiteral("mailto"),
        QStringLiteral("file:///etc/passwd"),
        QStringLiteral("FILE:///bin/sh"),
        QStringLiteral("/usr/bin/xterm"),
        QStringLiteral("xterm"),
        QStringLiteral("C:\\Windows\\System32\\calc.exe"),
        QStringLiteral("javascript:alert(1)"),
        QStringLiteral("ftp://example.com/"),
        QStringLiteral("smb://server/share"),
        QStringLiteral("data:text/html,<b>x</b>"),
        QStringLiteral("httpx://example.com"),
        QStringLiteral("https://exa mple.com/"),
    };
    for (const QString& target : refused)
        ModCommon::OpenLink(target);
    EXPECT_TRUE(platform::Shell::opened().isEmpty())
        << platform::Shell::opened().join(u' ').toStdString();
    EXPECT_TRUE(platform::MessageBox::shown().isEmpty()); // nothing is reported
}

} // namespace
