// The settings file beside the tracing library: what each line can say, and what a broken one
// leaves of the defaults.
#include <gtest/gtest.h>

#include <string>

#include "TraceSettings.h"

namespace {

TEST(TraceSettings, EachSettingStandsOrFallsAlone)
{
    constexpr uint64_t cap = trace_format::RolloverBytes;
    const std::u16string none = DefaultTraceFile;
    const struct {
        const char* name;
        std::string text;
        int level;
        std::u16string file;
        uint64_t rollover;
    } cases[] = {
        {"empty", "", 1, none, cap},
        {"as tavrix-host writes it", "level=2\r\nfile=C:\\traces\\t.jsonl\r\n", 2, u"C:\\traces\\t.jsonl", cap},
        {"a signature, blanks and LF", "\xEF\xBB\xBF level = 2 \n file =\tD:\\x.jsonl\t\n", 2, u"D:\\x.jsonl", cap},
        {"the last of a setting wins", "level=2\nlevel=1\nfile=C:\\a\nfile=C:\\b\n", 1, u"C:\\b", cap},
        {"variables are kept for later", "file=%TEMP%\\t.jsonl", 1, u"%TEMP%\\t.jsonl", cap},
        {"UTF-8 path", "file=C:\\\xE3\x83\x88\xF0\x9F\x93\x9C.jsonl", 1, u"C:\\\u30C8\U0001F4DC.jsonl", cap},
        {"unknown level", "level=3\nfile=C:\\t", 1, u"C:\\t", cap},
        {"level with more", "level=22", 1, none, cap},
        {"no equals sign", "level 2\nfile C:\\t", 1, none, cap},
        {"unknown key", "Level=2\nfiles=C:\\t", 1, none, cap},
        {"empty file", "file=\nlevel=2", 2, none, cap},
        {"a path cut in a character", "file=C:\\\xE3\x83", 1, none, cap},
        {"an overlong form", "file=C:\\\xC0\xAF", 1, none, cap},
        {"an encoded surrogate", "file=C:\\\xED\xA0\x80", 1, none, cap},
        {"past the last code point", "file=C:\\\xF4\x90\x80\x80", 1, none, cap},
        {"a control character", std::string("file=C:\\a\0b", 11), 1, none, cap},
        {"a lone continuation byte", "file=C:\\\x80", 1, none, cap},
        {"a lower cap", "rollover_bytes=4096", 1, none, 4096},
        {"the cap itself", "rollover_bytes=8388608", 1, none, cap},
        {"above the cap", "rollover_bytes=8388609", 1, none, cap},
        {"a zero cap", "rollover_bytes=0", 1, none, cap},
        {"a cap in words", "rollover_bytes=4k", 1, none, cap},
        {"a cap past 64 bits", "rollover_bytes=99999999999999999999999", 1, none, cap},
        {"a negative cap", "rollover_bytes=-1", 1, none, cap},
    };
    for (const auto& c : cases) {
        const WrittenTraceSettings settings = ParseTraceSettings(c.text);
        EXPECT_EQ(settings.level, c.level) << c.name;
        EXPECT_TRUE(settings.file == c.file) << c.name;
        EXPECT_EQ(settings.rolloverBytes, c.rollover) << c.name;
    }
}

TEST(TraceSettings, AFileTooLongForSettingsIsNotUnderstood)
{
    std::string text = "level=2\nfile=C:\\t.jsonl\n";
    text.resize(MaxSettingsBytes, '\n');
    EXPECT_EQ(ParseTraceSettings(text).level, 2);
    text += '\n';
    EXPECT_TRUE(ParseTraceSettings(text) == WrittenTraceSettings());
}

TEST(TraceSettings, OnlyAFullPathNamesAFile)
{
    const struct {
        std::u16string path;
        bool full;
    } cases[] = {
        {u"C:\\t.jsonl", true},
        {u"z:/t.jsonl", true},
        {u"\\\\server\\share\\t.jsonl", true},
        {u"\\\\?\\C:\\t.jsonl", true},
        {u"", false},
        {u"t.jsonl", false},
        {u"traces\\t.jsonl", false},
        {u"\\t.jsonl", false},
        {u"C:t.jsonl", false},
        {u"C:\\", false},
        {u"C:\\traces\\", false},
        {u"1:\\t.jsonl", false},
        {u"%LOCALAPPDATA%\\t.jsonl", false},
        {u"\\\\server\\share", false},
        {u"\\\\server\\share\\", false},
        {u"\\\\server\\\\t.jsonl", false},
        {u"\\\\\\share\\t.jsonl", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsFullWindowsPath(c.path), c.full) << std::string(c.path.begin(), c.path.end());
}

}  // namespace
