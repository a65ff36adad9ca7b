// Text as a JSON string literal in UTF-8, control characters escaped so that a U+0000 inside a
// card number stays visible.
#pragma once

#include <cstdio>
#include <string>

// One character below U+0080 as it stands inside a JSON string.
inline void AppendJsonAscii(std::string& json, char c)
{
    if (c == '"' || c == '\\') {
        json += '\\';
        json += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
        json += escaped;
    } else {
        json += c;
    }
}

// UTF-16 text.
inline std::string JsonText(const std::u16string& text)
{
    std::string json = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form

        if (c < 0x80) {
            AppendJsonAscii(json, static_cast<char>(c));
        } else if (c < 0x800) {
            json += static_cast<char>(0xC0 | (c >> 6));
            json += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            json += static_cast<char>(0xE0 | (c >> 12));
            json += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            json += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            json += static_cast<char>(0xF0 | (c >> 18));
            json += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            json += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            json += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return json + "\"";
}

// Text that is UTF-8 already (tavrix-host's own messages): the bytes of any character beyond
// U+007F go in as they are, never widened one by one.
inline std::string JsonUtf8Text(const std::string& utf8)
{
    std::string json = "\"";
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) < 0x80)
            AppendJsonAscii(json, c);
        else
            json += c;
    }
    return json + "\"";
}
