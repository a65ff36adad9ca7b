#include "TraceSettings.h"

#include <optional>

namespace {

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Strict UTF-8: an overlong form, a surrogate or a control character makes no path.
std::optional<std::u16string> PathText(std::string_view utf8)
{
    std::u16string text;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                            : (lead & 0xF8) == 0xF0   ? 4
                                                                      : 0;
        if (length == 0 || i + length > utf8.size())
            return std::nullopt;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            point = point << 6 | (next & 0x3F);
        }
        constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF) || point < 0x20 ||
            point == 0x7F)
            return std::nullopt;
        if (point >= 0x10000) {
            text += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            text += static_cast<char16_t>(point);
        }
        i += length;
    }
    return text;
}

std::optional<uint64_t> Count(std::string_view digits)
{
    if (digits.empty() || digits.size() > 19)
        return std::nullopt;
    uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

}  // namespace

WrittenTraceSettings ParseTraceSettings(std::string_view text)
{
    WrittenTraceSettings settings;
    if (text.size() > MaxSettingsBytes)
        return settings;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = Trimmed(line.substr(0, equals)), value = Trimmed(line.substr(equals + 1));
        if (key == "level" && (value == "1" || value == "2")) {
            settings.level = value[0] - '0';
        } else if (key == "file" && !value.empty()) {
            if (std::optional<std::u16string> path = PathText(value))
                settings.file = std::move(*path);
        } else if (key == "rollover_bytes") {
            const std::optional<uint64_t> bytes = Count(value);
            if (bytes && *bytes > 0 && *bytes <= trace_format::RolloverBytes)
                settings.rolloverBytes = *bytes;
        }
    }
    return settings;
}

bool IsFullWindowsPath(std::u16string_view path)
{
    if (path.empty() || path.back() == u'\\' || path.back() == u'/')
        return false;
    const auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    if (path.size() > 3 && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
        path[1] == u':' && separator(path[2]))
        return true;
    if (path.size() < 5 || !separator(path[0]) || !separator(path[1]) || separator(path[2]))
        return false;
    // \\server\share\name: a server, a share and a name, none of them empty.
    const size_t share = path.find_first_of(u"\\/", 2);
    if (share == std::u16string_view::npos || share + 1 >= path.size() || separator(path[share + 1]))
        return false;
    const size_t name = path.find_first_of(u"\\/", share + 1);
    return name != std::u16string_view::npos && name + 1 < path.size();
}
