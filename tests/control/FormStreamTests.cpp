// The property stream: the bytes the form writes, and how a stream is read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Fault.h"
#include "FormStream.h"
#include "StoredForm.h"

namespace {

using Bytes = std::vector<uint8_t>;

class MemorySink : public ByteSink {
public:
    void Write(const uint8_t* bytes, size_t count) override
    {
        chunks.push_back(count);
        data.insert(data.end(), bytes, bytes + count);
    }
    Bytes data;
    std::vector<size_t> chunks;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(Bytes bytes) : data(std::move(bytes)) {}
    size_t Read(uint8_t* bytes, size_t count) override
    {
        const size_t taken = std::min(count, data.size() - position);
        std::copy_n(data.begin() + position, taken, bytes);  // memcpy from an empty vector's null data is undefined
        position += taken;
        return taken;
    }
    Bytes data;
    size_t position = 0;
};

std::u16string Latin1(const std::string& bytes) { return std::u16string(bytes.begin(), bytes.end()); }

// Records what a read sets.
class RecordingTarget : public FormStreamTarget {
public:
    void SetInstanceName(const std::u16string& name) override { instanceName = name; }
    void Set(const StoredAttribute& attribute, const StoredValue& value) override
    {
        set.emplace_back(attribute.name, value);
    }
    const StoredValue* Find(const std::string& name) const
    {
        for (const auto& entry : set)
            if (entry.first == name)
                return &entry.second;
        return nullptr;
    }
    std::u16string instanceName;
    std::vector<std::pair<std::string, StoredValue>> set;
};

// A freshly made form on a 96-dpi screen, whose "0" is 13 pixels high.
StoredForm FreshForm()
{
    StoredForm form(nullptr, FormState(96), 96, 13);
    form.state.componentName = u"Tavrix";
    return form;
}

Bytes Write(const StoredForm& form)
{
    MemorySink sink;
    PropertyWriter writer(sink);
    WriteFormStream(form, writer);
    writer.Flush();
    return sink.data;
}

void Append(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
void ShortString(Bytes& out, const std::string& text)
{
    out.push_back(static_cast<uint8_t>(text.size()));
    Append(out, text);
}

// Finds the value bytes that follow a record name.
Bytes ValueOf(const Bytes& stream, const std::string& name, size_t length)
{
    Bytes key;
    ShortString(key, name);
    const auto at = std::search(stream.begin(), stream.end(), key.begin(), key.end());
    if (at == stream.end())
        return {};
    return Bytes(at + key.size(), at + key.size() + length);
}

TEST(FormStream, AFreshFormIsWrittenByteForByte)
{
    Bytes expected;
    Append(expected, "TPF0");
    ShortString(expected, "TTavrix");
    ShortString(expected, "Tavrix");
    const auto record = [&](const std::string& name, Bytes value) {
        ShortString(expected, name);
        expected.insert(expected.end(), value.begin(), value.end());
    };
    record("Left", {0x02, 0x00});
    record("Top", {0x02, 0x00});
    record("Width", {0x02, 0x64});
    record("Height", {0x02, 0x32});
    record("Caption", {0x06, 0x06, 'T', 'a', 'v', 'r', 'i', 'x'});
    Bytes color{0x07};
    ShortString(color, "clBtnFace");
    record("Color", color);
    Bytes charset{0x07};
    ShortString(charset, "DEFAULT_CHARSET");
    record("Font.Charset", charset);
    Bytes fontColor{0x07};
    ShortString(fontColor, "clWindowText");
    record("Font.Color", fontColor);
    record("Font.Height", {0x02, 0xF5});
    record("Font.Name", {0x06, 0x06, 'T', 'a', 'h', 'o', 'm', 'a'});
    record("Font.Style", {0x0B, 0x00});
    record("OldCreateOrder", {0x08});
    record("PixelsPerInch", {0x02, 0x60});
    record("TextHeight", {0x02, 0x0D});
    expected.push_back(0x00);
    expected.push_back(0x00);
    EXPECT_EQ(Write(FreshForm()), expected);
}

TEST(FormStream, ValueEncodings)
{
    StoredForm form = FreshForm();
    form.state.bounds.width = 300;
    EXPECT_EQ(ValueOf(Write(form), "Width", 3), (Bytes{0x03, 0x2C, 0x01}));
    form.state.bounds.width = 70000;
    EXPECT_EQ(ValueOf(Write(form), "Width", 5), (Bytes{0x04, 0x70, 0x11, 0x01, 0x00}));
    form.state.bounds.width = -129;
    EXPECT_EQ(ValueOf(Write(form), "Width", 3), (Bytes{0x03, 0x7F, 0xFF}));

    form.state.color = 0x00123456;
    EXPECT_EQ(ValueOf(Write(form), "Color", 5), (Bytes{0x04, 0x56, 0x34, 0x12, 0x00}));
    form.state.color = 0x00FF0000;
    EXPECT_EQ(ValueOf(Write(form), "Color", 8), (Bytes{0x07, 0x06, 'c', 'l', 'B', 'l', 'u', 'e'}));
    form.state.color = 0x80000005;  // a system colour with no name: its signed value
    EXPECT_EQ(ValueOf(Write(form), "Color", 5), (Bytes{0x04, 0x05, 0x00, 0x00, 0x80}));

    const struct {
        std::u16string caption;
        uint8_t tag;
    } texts[] = {{u"カード", 0x12},
                 {u"Kiosk カード", 0x14},
                 {std::u16string(255, u'a'), 0x06},
                 {std::u16string(256, u'a'), 0x0C},
                 {u"caf\u00e9", 0x14},
                 {std::u16string{u'a', u'a', u'a', char16_t(0xDE00)}, 0x12}};  // UTF-8 has no lone surrogate
    for (const auto& t : texts) {
        form.state.caption = t.caption;
        EXPECT_EQ(ValueOf(Write(form), "Caption", 1), Bytes{t.tag}) << t.caption.size();
    }
    form.state.caption = u"カード";
    EXPECT_EQ(ValueOf(Write(form), "Caption", 11), (Bytes{0x12, 3, 0, 0, 0, 0xAB, 0x30, 0xFC, 0x30, 0xC9, 0x30}));

    form.state.font.setStyle(FontStyle{true, false, false, true});
    Bytes style{0x0B};
    ShortString(style, "fsBold");
    ShortString(style, "fsStrikeOut");
    style.push_back(0);
    EXPECT_EQ(ValueOf(Write(form), "Font.Style", style.size()), style);
}

TEST(FormStream, TheWriterHandsOnFullBuffersOf4096)
{
    StoredForm form = FreshForm();
    form.state.caption = std::u16string(5000, u'x');
    MemorySink sink;
    PropertyWriter writer(sink);
    WriteFormStream(form, writer);
    writer.Flush();
    ASSERT_EQ(sink.chunks.size(), 2u);
    EXPECT_EQ(sink.chunks[0], 4096u);
}

TEST(FormStream, ARoundTripSetsEveryWrittenAttribute)
{
    StoredForm form = FreshForm();
    form.state.borderStyle = 2;
    form.state.printScale = 2;
    form.state.caption = u"Kiosk カード";
    form.state.font.setStyle(FontStyle{false, true, false, false});
    form.state.pixelsPerInch = 0;
    MemorySource source(Write(form));
    PropertyReader reader(source, Latin1);
    RecordingTarget target;
    ReadFormStream(reader, target);
    EXPECT_EQ(target.Find("TextHeight")->integer, 13);
    EXPECT_EQ(target.instanceName, u"Tavrix");
    EXPECT_EQ(target.Find("AxBorderStyle")->integer, 2);
    EXPECT_EQ(target.Find("PrintScale")->integer, 2);
    EXPECT_EQ(target.Find("Caption")->text, u"Kiosk カード");
    EXPECT_EQ(target.Find("Color")->integer, 0xFF00000F);
    EXPECT_EQ(target.Find("Font.Charset")->integer, 1);
    EXPECT_EQ(target.Find("Font.Height")->integer, -11);
    EXPECT_EQ(target.Find("Font.Style")->integer, static_cast<int64_t>(FontStyleBit::Italic));
    EXPECT_FALSE(target.Find("Scaled")->boolean);
    EXPECT_EQ(reader.Unconsumed(), 0u);
}

// Builds a stream by hand: signature, names, then records as given, then the two ends.
Bytes Stream(const std::vector<std::pair<std::string, Bytes>>& records, bool ends = true)
{
    Bytes out;
    Append(out, "TPF0");
    ShortString(out, "TTavrix");
    ShortString(out, "Tavrix");
    for (const auto& [name, value] : records) {
        ShortString(out, name);
        out.insert(out.end(), value.begin(), value.end());
    }
    if (ends) {
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

struct Outcome {
    bool failed = false;
    RecordingTarget target;
    size_t unconsumed = 0;
};

Outcome Read(const Bytes& bytes)
{
    Outcome outcome;
    MemorySource source(bytes);
    PropertyReader reader(source, Latin1);
    try {
        ReadFormStream(reader, outcome.target);
    } catch (const Fault&) {
        outcome.failed = true;
    }
    outcome.unconsumed = reader.Unconsumed();
    return outcome;
}

TEST(FormStream, ReadingRules)
{
    Bytes lowerBlue{0x07};
    ShortString(lowerBlue, "CLBLUE");
    Bytes set{0x0B};
    ShortString(set, "FSBOLD");
    set.push_back(0);
    Bytes badMember{0x0B};
    ShortString(badMember, "fsShadow");
    badMember.push_back(0);
    Bytes enumName{0x07};
    ShortString(enumName, "afbraised");
    Bytes unknownIdent{0x07};
    ShortString(unknownIdent, "clPlaid");
    const struct {
        const char* name;
        std::pair<std::string, Bytes> record;
        bool fails;
    } cases[] = {
        {"names without regard to case", {"font.color", lowerBlue}, false},
        {"a set member", {"Font.Style", set}, false},
        {"an enumeration member", {"AxBorderStyle", enumName}, false},
        {"a Boolean as identifier", {"AutoScroll", {0x07, 4, 'T', 'r', 'u', 'e'}}, false},
        {"AutoScroll is read", {"AutoScroll", {0x09}}, false},
        {"an extra stored value", {"ExplicitLeft", {0x02, 5}}, false},
        {"DesignSize as a list", {"DesignSize", {0x01, 0x02, 100, 0x02, 50, 0x00}}, false},
        {"a wide string", {"Caption", {0x12, 2, 0, 0, 0, 'h', 0, 'i', 0}}, false},
        {"a long string", {"Caption", {0x0C, 2, 0, 0, 0, 'h', 'i'}}, false},
        {"no such attribute", {"Colour", {0x02, 0}}, true},
        {"no such font attribute", {"Font.Shade", {0x02, 0}}, true},
        {"a path through no object", {"Caption.Length", {0x02, 0}}, true},
        {"a path too deep", {"Font.Name.Size", {0x02, 0}}, true},
        {"the font itself", {"Font", {0x02, 0}}, true},
        {"a read-only attribute", {"Active", {0x09}}, true},
        {"a text for an integer", {"Width", {0x06, 1, '9'}}, true},
        {"a 64-bit integer", {"Width", {0x13, 1, 0, 0, 0, 0, 0, 0, 0}}, true},
        {"an integer for a text", {"Caption", {0x02, 1}}, true},
        {"an unknown colour name", {"Color", unknownIdent}, true},
        {"an unknown set member", {"Font.Style", badMember}, true},
        {"an integer for a Boolean", {"KeyPreview", {0x02, 1}}, true},
        {"an unknown tag", {"Width", {0x16}}, true},
        {"a collection", {"Width", {0x0E, 0x00}}, true},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Read(Stream({{"Width", {0x02, 77}}, c.record}));
        EXPECT_EQ(outcome.failed, c.fails) << c.name;
        ASSERT_FALSE(outcome.target.set.empty()) << c.name;
        EXPECT_EQ(outcome.target.set[0].second.integer, 77) << c.name << ": earlier records stay applied";
    }
}

TEST(FormStream, MalformedStreams)
{
    Bytes badSignature = Stream({});
    badSignature[3] = '1';
    Bytes notIdentifier;
    Append(notIdentifier, "TPF0");
    ShortString(notIdentifier, "TTavrix");
    ShortString(notIdentifier, "9lives");
    notIdentifier.insert(notIdentifier.end(), {0, 0});
    Bytes withChildren = Stream({});
    withChildren.back() = 0x01;
    const Bytes whole = Stream({});
    const Bytes truncated(whole.begin(), whole.begin() + 10);
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"bad signature", badSignature},
        {"truncated in the names", truncated},
        {"truncated in a value", Stream({{"Width", {0x03, 0x2C}}}, false)},
        {"without the list ends", Stream({{"Width", {0x02, 1}}}, false)},
        {"an instance name that is no identifier", notIdentifier},
        {"child records", withChildren},
        {"an oversized length", Stream({{"Caption", {0x14, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}}})},
        {"an oversized wide count", Stream({{"Caption", {0x12, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 0}}})},
        {"lists nested too deeply", Stream({{"DesignSize", Bytes(100, 0x01)}})},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Read(c.bytes).failed) << c.name;
}

TEST(FormStream, InvalidUtf8BecomesReplacementCharacters)
{
    const Outcome outcome =
        Read(Stream({{"Caption", {0x14, 6, 0, 0, 0, 'a', 0xC3, 0x28, 0xE2, 0x82, 'b'}}}));
    ASSERT_FALSE(outcome.failed);
    EXPECT_EQ(outcome.target.Find("Caption")->text, u"a\uFFFD(\uFFFDb");
    EXPECT_EQ(FromUtf8("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(FromUtf8("\xC0\x80"), u"\uFFFD\uFFFD") << "an overlong form";
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "a surrogate";
    EXPECT_EQ(Utf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

TEST(FormStream, APrefixByteIsConsumed)
{
    Bytes stream;
    Append(stream, "TPF0");
    stream.insert(stream.end(), {0xF2, 0x02, 0x05});  // flags with a position following
    ShortString(stream, "TTavrix");
    ShortString(stream, "Other");
    stream.insert(stream.end(), {0, 0});
    const Outcome outcome = Read(stream);
    EXPECT_FALSE(outcome.failed);
    EXPECT_EQ(outcome.target.instanceName, u"Other");
}

TEST(FormStream, TheReaderLeavesWhatFollowsUnconsumed)
{
    Bytes stream = Stream({{"Width", {0x02, 1}}});
    const size_t ours = stream.size();
    stream.insert(stream.end(), {'m', 'o', 'r', 'e'});
    const Outcome outcome = Read(stream);
    EXPECT_FALSE(outcome.failed);
    EXPECT_EQ(outcome.unconsumed, stream.size() - ours);
}

#ifdef __SANITIZE_ADDRESS__
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#define HEAP_IN_USE_KNOWN 1
#endif

// A stream made up as it is read, so that only the reader's own allocations show: head,
// the unit repeated, tail. Notes the most heap in use at any read.
class RepeatingSource : public ByteSource {
public:
    RepeatingSource(Bytes head, Bytes unit, size_t repeats, Bytes tail)
    {
        parts_[0] = std::move(head);
        parts_[1] = std::move(unit);
        parts_[2] = std::move(tail);
        repeats_ = repeats;
        Sample();
    }
    size_t Read(uint8_t* bytes, size_t count) override
    {
        Sample();
        size_t given = 0;
        while (given < count && part_ < 3) {
            const Bytes& part = parts_[part_];
            if (offset_ == part.size()) {
                offset_ = 0;
                if (part_ != 1 || ++repeated_ >= repeats_)
                    ++part_;
                continue;
            }
            const size_t taken = std::min(count - given, part.size() - offset_);
            std::copy_n(part.begin() + offset_, taken, bytes + given);
            offset_ += taken;
            given += taken;
        }
        return given;
    }
    void Sample()
    {
#ifdef HEAP_IN_USE_KNOWN
        peak = std::max(peak, __sanitizer_get_current_allocated_bytes());
#endif
    }
    size_t peak = 0;

private:
    Bytes parts_[3];
    size_t part_ = 0, offset_ = 0, repeats_ = 0, repeated_ = 0;
};

[[maybe_unused]] Bytes LittleEndian32(uint32_t value)
{
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)};
}

// Values as long as the stream itself that the form refuses or never uses: reading them
// must hold no more than a buffer's worth, and end in the refusal or read they always did.
TEST(FormStream, ValuesLongAsTheStreamAreNotHeld)
{
#ifndef HEAP_IN_USE_KNOWN
    GTEST_SKIP() << "needs the heap counts of AddressSanitizer";
#else
    constexpr size_t Megabyte = 1 << 20;
    const Bytes head = Stream({}, false);
    const auto record = [&](const std::string& name, Bytes value) {
        Bytes out = head;
        ShortString(out, name);
        out.insert(out.end(), value.begin(), value.end());
        return out;
    };
    const Bytes ends{0, 0, 0};  // the set's or the list's end, then the stream's two
    const std::string invalid = "The property stream is not valid: ", refused = "The property stream cannot be read: ";
    const struct {
        const char* name;
        Bytes head, unit;
        size_t repeats;
        Bytes tail;
        std::string fault;  // empty: read
    } cases[] = {
        {"unknown set members", record("Font.Style", {0x0B}), {1, 'x'}, Megabyte, ends,
         refused + "unknown member x of Font.Style"},
        {"known set members", record("Font.Style", {0x0B, 1, 'x'}), {6, 'f', 's', 'B', 'o', 'l', 'd'}, Megabyte / 4,
         ends, refused + "unknown member x of Font.Style"},
        {"set members cut short", record("Font.Style", {0x0B, 1, 'x'}), {1, 'y'}, Megabyte, {},
         invalid + "it ends before its data does"},
        {"a set for an integer", record("Width", {0x0B}), {1, 'x'}, Megabyte, ends, refused + "no integer for Width"},
        {"a long string for an integer", record("Width", [] {
             Bytes tag{0x0C};
             const Bytes length = LittleEndian32(2 * Megabyte);
             tag.insert(tag.end(), length.begin(), length.end());
             return tag;
         }()), {'a', 'b'}, Megabyte, {0, 0}, refused + "no integer for Width"},
        {"DesignSize as binary", record("DesignSize", [] {
             Bytes tag{0x0A};
             const Bytes length = LittleEndian32(2 * Megabyte);
             tag.insert(tag.end(), length.begin(), length.end());
             return tag;
         }()), {0xAB, 0xCD}, Megabyte, {0, 0}, ""},
        {"DesignSize as a list holding a long string", record("DesignSize", [] {
             Bytes tags{0x01, 0x0C};
             const Bytes length = LittleEndian32(2 * Megabyte);
             tags.insert(tags.end(), length.begin(), length.end());
             return tags;
         }()), {'a', 'b'}, Megabyte, ends, ""},
    };
    for (const auto& c : cases) {
        RepeatingSource source(c.head, c.unit, c.repeats, c.tail);
        const size_t before = source.peak;
        PropertyReader reader(source, Latin1);
        RecordingTarget target;
        std::string fault;
        try {
            ReadFormStream(reader, target);
        } catch (const Fault& f) {
            fault.assign(f.message().begin(), f.message().end());
        }
        source.Sample();
        EXPECT_EQ(fault, c.fault) << c.name;
        EXPECT_LT(source.peak - before, 64u * 1024) << c.name << ": bytes of heap held";
    }
#endif
}

}  // namespace
