#include "update/UpdateConfig.h"

#include "support/TestSupport.h"

#include <QUrl>

#include <gtest/gtest.h>

namespace {

TEST(UpdateConfigTest, TheManifestLiesBelowTheBaseAddress) {
    const QUrl builtIn(UpdateConfig::baseAddress());
    EXPECT_EQ(builtIn.scheme(), QStringLiteral("http"));
    EXPECT_TRUE(builtIn.path().isEmpty()); // scheme and host only, no trailing slash
    EXPECT_EQ(UpdateConfig::manifestAddress(), UpdateConfig::baseAddress() + "/KorvaniUpdate.inf");
    UpdateConfig::setBaseAddressForTesting(QStringLiteral("http://127.0.0.1:9"));
    EXPECT_EQ(UpdateConfig::manifestAddress(),
              QStringLiteral("http://127.0.0.1:9/KorvaniUpdate.inf"));
    UpdateConfig::setBaseAddressForTesting({});
    EXPECT_EQ(UpdateConfig::baseAddress(), builtIn.toString());
}

} // namespace
