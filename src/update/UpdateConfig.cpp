#include "update/UpdateConfig.h"

namespace UpdateConfig {
namespace {
QString& baseOverride() {
    static QString address;
    return address;
}
} // namespace

QString baseAddress() {
    return baseOverride().isEmpty() ? QString::fromLatin1(BaseAddress) : baseOverride();
}

QString manifestAddress() {
    return baseAddress() + QLatin1Char('/') + QString::fromLatin1(ManifestName);
}

void setBaseAddressForTesting(const QString& address) {
    baseOverride() = address;
}

} // namespace UpdateConfig
