// Fuzzes VersionNumber::Parse and ToText. The input is read as text (UTF-8) and its
// first four bytes also as the bits of a single-precision number. Checks:
// - Parse accepts only a finite decimal number: digits, '.', an exponent, a sign;
// - ToText of any finite number is a decimal text of at most seven significant digits
//   that Parse reads back to within half a unit of its seventh digit (seven digits do
//   not tell every float apart, so not always to the same float);
// - a number given with six significant digits, as version numbers are, survives
//   ToText then Parse exactly.

#include "FuzzSupport.h"

#include "update/VersionNumber.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

void checkText(float v) {
    FUZZ_CHECK(std::isfinite(v));
    const QString text = VersionNumber::ToText(v);
    FUZZ_CHECK(!text.isEmpty() && text == text.trimmed());
    const std::optional<float> back = VersionNumber::Parse(text);
    FUZZ_CHECK(back.has_value());
    // Rounding to seven digits moves the number by at most half a unit of its seventh
    // digit; reading the text back adds at most one step of a float.
    const double error = std::fabs(static_cast<double>(*back) - static_cast<double>(v));
    const auto distance = [v](float to) {
        return std::fabs(static_cast<double>(std::nextafter(v, to)) - static_cast<double>(v));
    };
    const double step = std::max(distance(HUGE_VALF), distance(-HUGE_VALF));
    FUZZ_CHECK(error <= std::fabs(static_cast<double>(v)) * 5e-7 + step);
    // Written out in full, without an exponent: at most seven significant digits (the
    // zeros that end a whole number only place it), no trailing zeros after a point.
    FUZZ_CHECK(!text.contains(u'e') && !text.contains(u'E'));
    QStringView significant(text);
    if (!significant.contains(u'.')) {
        while (significant.size() > 1 && significant.endsWith(u'0'))
            significant.chop(1);
    }
    qsizetype digits = 0;
    bool leading = true;
    for (QChar c : significant) {
        leading = leading && (c == u'0' || c == u'.' || c == u'-');
        if (!leading && c.isDigit())
            ++digits;
    }
    FUZZ_CHECK(digits <= 7);
    if (text.contains(u'.'))
        FUZZ_CHECK(!text.endsWith(u'0') && !text.endsWith(u'.'));

    // Six significant digits always come back as the same number.
    const std::optional<float> six =
        VersionNumber::Parse(QString::number(static_cast<double>(v), 'g', 6));
    FUZZ_CHECK(six.has_value());
    FUZZ_CHECK(VersionNumber::Parse(VersionNumber::ToText(*six)) == six);
}

void checkParse(const QString& text) {
    const std::optional<float> v = VersionNumber::Parse(text);
    if (!v)
        return;
    for (QChar c : text.trimmed())
        FUZZ_CHECK((c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' || c == u'+' ||
                   c == u'-');
    checkText(*v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkParse(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (size >= sizeof(float)) {
        float bits;
        std::memcpy(&bits, data, sizeof bits);
        if (std::isfinite(bits))
            checkText(bits);
    }
    return 0;
}
