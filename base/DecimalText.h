// A number written in decimal as UTF-16 text, without the formatting machinery of the C
// library, which would be most of the code of a small library that writes a few numbers.
#pragma once

#include <cstdint>
#include <string>

template <typename Char = char16_t>
std::basic_string<Char> DecimalText(int64_t number)
{
    const bool negative = number < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
    std::basic_string<Char> digits;
    do {
        digits.insert(digits.begin(), static_cast<Char>('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        digits.insert(digits.begin(), static_cast<Char>('-'));
    return digits;
}
