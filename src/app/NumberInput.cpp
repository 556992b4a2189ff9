#include "app/NumberInput.h"

#include <limits>

NumberText ParseNumberText(const QString& text) {
    NumberText result;
    const QString t = text.trimmed();
    if (t.isEmpty())
        return result;
    result.kind = NumberText::Kind::NotNumber;

    qsizetype i = 0;
    bool negative = false;
    if (t[i] == u'+' || t[i] == u'-') {
        negative = t[i] == u'-';
        ++i;
    }
    // Whole part: digits, read into a magnitude capped just past the 32-bit range.
    constexpr std::int64_t Cap = std::int64_t{1} << 40;
    std::int64_t magnitude = 0;
    qsizetype wholeDigits = 0;
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i, ++wholeDigits)
        magnitude = std::min(Cap, magnitude * 10 + (t[i].unicode() - u'0'));

    // Fraction: only how it rounds matters - below, exactly at or above one half.
    int firstFractionDigit = -1;
    bool restNonZero = false;
    qsizetype fractionDigits = 0;
    if (i < t.size() && t[i] == u'.') {
        for (++i; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i, ++fractionDigits) {
            const int digit = t[i].unicode() - u'0';
            if (firstFractionDigit < 0)
                firstFractionDigit = digit;
            else if (digit != 0)
                restNonZero = true;
        }
    }
    if (i != t.size() || wholeDigits + fractionDigits == 0)
        return result;
    result.kind = NumberText::Kind::Number;

    if (firstFractionDigit > 5 || (firstFractionDigit == 5 && restNonZero) ||
        (firstFractionDigit == 5 && !restNonZero && magnitude % 2 == 1))
        magnitude = std::min(Cap, magnitude + 1);

    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return result;
    result.fitsInt32 = true;
    result.value = static_cast<std::int32_t>(value);
    return result;
}
