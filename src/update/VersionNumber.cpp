#include "update/VersionNumber.h"

#include <QLocale>

#include <algorithm>
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
    // Seven significant digits are what a single-precision number holds. Rounded to
    // them first, the number is then written out in full: 12345678 reads 12345680,
    // never 1.234568e+07.
    const QString rounded = QString::number(static_cast<double>(version), 'e', 6);
    const int exponent = rounded.mid(rounded.indexOf(QLatin1Char('e')) + 1).toInt();
    QString text = QString::number(rounded.toDouble(), 'f', std::max(0, 6 - exponent));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

} // namespace VersionNumber
