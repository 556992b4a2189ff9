#pragma once

#include <QString>

#include <cstdint>

// What the number fields accept: blanks around an optional sign, digits and an
// optional fraction after ".", the fraction rounded to the nearest whole number
// (an exact half to the even one). The text is read exactly, not through a double.
struct NumberText {
    enum class Kind { Empty, NotNumber, Number };
    Kind kind = Kind::Empty;
    bool fitsInt32 = false; // a number outside the signed 32-bit range does not
    std::int32_t value = 0; // valid when fitsInt32
};

NumberText ParseNumberText(const QString& text);
