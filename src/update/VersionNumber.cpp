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
    // Seven significant digits are what a single-precision number holds. The number is
    // rounded to them, then written out in full from those digits: 12345678 reads
    // 12345680, never 1.234568e+07.
    const QString rounded = QString::number(static_cast<double>(version), 'e', 6);
    const bool negative = rounded.startsWith(QLatin1Char('-'));
    const qsizetype e = rounded.indexOf(QLatin1Char('e'));
    QString digits = rounded.mid(negative ? 1 : 0, e - (negative ? 1 : 0));
    digits.remove(QLatin1Char('.'));
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    if (digits == QLatin1String("0"))
        return digits;
    const qsizetype whole = rounded.mid(e + 1).toInt() + 1; // digits before the point
    QString text;
    if (whole <= 0)
        text = QStringLiteral("0.") + QString(-whole, QLatin1Char('0')) + digits;
    else if (whole >= digits.size())
        text = digits + QString(whole - digits.size(), QLatin1Char('0'));
    else
        text = digits.first(whole) + QLatin1Char('.') + digits.sliced(whole);
    return negative ? QLatin1Char('-') + text : text;
}

} // namespace VersionNumber
