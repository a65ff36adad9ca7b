// The integrators' message reference (sdk/messages.md) against the control's own texts: every
// text an event's Message or a fault can carry must stand in it exactly, so that a support desk
// finds what it was shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ReaderErrorMessages.h"

namespace {

const std::filesystem::path Top = NORVANE_SOURCE_DIR;

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Utf8(std::u16string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The table row of a reader error code: "| 1017 (0x3f9) | ..." and nothing else on its line.
std::string RowOf(const std::string& reference, int32_t code)
{
    std::ostringstream start;
    start << "| " << code << " (0x" << std::hex << code << ") |";
    const size_t at = reference.find("\n" + start.str());
    if (at == std::string::npos)
        return {};
    return reference.substr(at + 1, reference.find('\n', at + 1) - at - 1);
}

// The texts the control's sources raise as faults or give as a read's message, as they stand
// in the source (UTF-8). The reader library's table is checked by its codes instead.
std::vector<std::string> SourceMessages()
{
    const std::regex raised(R"((?:Fault\(|Err_Mes = |message = )u"([^"]+)\")");
    std::vector<std::string> texts;
    for (const char* folder : {"control", "server", "reader"}) {
        for (const auto& entry : std::filesystem::directory_iterator(Top / folder)) {
            if (entry.path().extension() != ".cpp" || entry.path().filename() == "ReaderErrorMessages.cpp")
                continue;
            const std::string source = FileText(entry.path());
            for (std::sregex_iterator m(source.begin(), source.end(), raised), end; m != end; ++m)
                texts.push_back((*m)[1]);
        }
    }
    return texts;
}

}  // namespace

TEST(MessageReference, EveryReaderErrorCodeHasItsRowWithTheExactText)
{
    const std::string reference = FileText(Top / "sdk" / "messages.md");
    ASSERT_FALSE(reference.empty());
    for (int32_t code = FirstReaderErrorCode; code <= LastReaderErrorCode; ++code) {
        const std::string row = RowOf(reference, code);
        ASSERT_FALSE(row.empty()) << "no row for code " << code;
        const std::string text = Utf8(ReaderErrorMessage(code));
        const std::string shown = text.empty() ? "| (empty) |" : "| \"" + text + "\" |";
        const size_t at = row.find(shown);
        ASSERT_NE(at, std::string::npos) << "code " << code << ": " << row;
        // One more cell, the meaning in English, and the row ends.
        const std::string meaning = row.substr(at + shown.size());
        EXPECT_TRUE(meaning.size() > 4 && meaning.find('|') == meaning.size() - 1)
            << "code " << code << " wants its meaning: " << row;
    }
    // A code outside the table comes as "Error Code=<n>".
    EXPECT_EQ(Utf8(ReaderErrorMessage(1098)), "Error Code=1098");
    EXPECT_NE(reference.find("\"Error Code=\" and a decimal number"), std::string::npos);
}

TEST(MessageReference, EveryTextTheControlRaisesIsExplained)
{
    const std::string reference = FileText(Top / "sdk" / "messages.md");
    const std::vector<std::string> texts = SourceMessages();
    // The read's own two, the missing library, the bad arguments, registration: a scan that
    // found fewer has stopped seeing the sources.
    EXPECT_GE(texts.size(), 8u);
    for (const std::string& text : texts)
        EXPECT_NE(reference.find("\"" + text), std::string::npos) << "not in sdk/messages.md: " << text;
}
