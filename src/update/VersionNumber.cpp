#include "update/VersionNumber.h"

#include <QLocale>

#include <cmath>

namespace VersionNumber {
namespace {
QLocale numberLocale() {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator | QLocale::OmitGroupSeparator);
    return c;
}
} // namespace

float FromParts(int major, int minor, int revision) {
    const QString text = QString::number(major) + QLatin1Char('.') + QString::number(minor) +
                         QString::number(revision);
    return Parse(text).value_or(0.0f);
}

std::optional<float> Parse(QStringView text) {
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    const float value = numberLocale().toFloat(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString ToText(float version) {
    // Seven significant digits are what a single-precision number holds; 'g' drops
    // trailing zeros and a bare decimal point.
    return QString::number(static_cast<double>(version), 'g', 7);
}

} // namespace VersionNumber
