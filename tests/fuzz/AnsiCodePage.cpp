#include "AnsiCodePage.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

std::u16string FromCodePage932(const std::string& bytes)
{
    static const iconv_t converter = iconv_open("UTF-16LE", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("no CP932 converter");
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::u16string text;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char16_t units[256];
    while (inLeft > 0) {
        char* out = reinterpret_cast<char*>(units);
        size_t outLeft = sizeof units;
        const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        text.append(units, (sizeof units - outLeft) / sizeof(char16_t));
        if (result == static_cast<size_t>(-1) && errno != E2BIG) {
            text += u'\uFFFD';  // an invalid or cut-off character: one byte of it
            ++in;
            --inLeft;
        }
    }
    return text;
}
