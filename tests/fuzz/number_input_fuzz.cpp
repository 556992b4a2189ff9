// Fuzzes ParseNumberText, the check behind the number fields, on the input read as
// UTF-8 and as UTF-16. Every result is compared with a plain reading of the rule:
// blanks around an optional sign, ASCII digits and an optional "." fraction, the
// fraction rounded to the nearest whole number (an exact half to the even one).

#include "FuzzSupport.h"

#include "app/NumberInput.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

NumberText expected(const QString& text) {
    NumberText result;
    const QString t = text.trimmed();
    if (t.isEmpty())
        return result;
    result.kind = NumberText::Kind::NotNumber;

    QStringView rest(t);
    bool negative = false;
    if (rest.startsWith(u'+') || rest.startsWith(u'-')) {
        negative = rest.front() == u'-';
        rest = rest.sliced(1);
    }
    const qsizetype dot = rest.indexOf(u'.');
    const QStringView whole = dot < 0 ? rest : rest.first(dot);
    const QStringView fraction = dot < 0 ? QStringView() : rest.sliced(dot + 1);
    if (whole.size() + fraction.size() == 0)
        return result;
    for (QChar c : whole) {
        if (!isDigit(c))
            return result;
    }
    for (QChar c : fraction) {
        if (!isDigit(c))
            return result;
    }
    result.kind = NumberText::Kind::Number;

    // Leading zeros do not count; more than 11 digits is far outside the range.
    qsizetype first = 0;
    while (first < whole.size() && whole[first] == u'0')
        ++first;
    if (whole.size() - first > 11)
        return result;
    std::int64_t magnitude = 0;
    for (qsizetype i = first; i < whole.size(); ++i)
        magnitude = magnitude * 10 + (whole[i].unicode() - u'0');

    // Compare the fraction with one half: its first digit, then whether any other is set.
    if (!fraction.isEmpty()) {
        const int head = fraction[0].unicode() - u'0';
        bool tail = false;
        for (qsizetype i = 1; i < fraction.size(); ++i)
            tail = tail || fraction[i] != u'0';
        if (head > 5 || (head == 5 && (tail || magnitude % 2 != 0)))
            ++magnitude;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max()) {
        result.fitsInt32 = true;
        result.value = static_cast<std::int32_t>(value);
    }
    return result;
}

void check(const QString& text) {
    const NumberText got = ParseNumberText(text);
    const NumberText want = expected(text);
    FUZZ_CHECK(got.kind == want.kind);
    FUZZ_CHECK(got.fitsInt32 == want.fitsInt32);
    if (got.fitsInt32)
        FUZZ_CHECK(got.value == want.value);
    FUZZ_CHECK(!got.fitsInt32 || got.kind == NumberText::Kind::Number);

    // A text of one to nine digits is that number.
    const QString t = text.trimmed();
    if (!t.isEmpty() && t.size() <= 9 && std::all_of(t.begin(), t.end(), isDigit)) {
        FUZZ_CHECK(got.kind == NumberText::Kind::Number && got.fitsInt32);
        FUZZ_CHECK(got.value == t.toInt());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
    check(QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())));
    return 0;
}
