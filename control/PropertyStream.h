// The binary property stream: its value tags, and a buffered writer and reader of values.
// Platform-neutral: bytes go to a ByteSink and come from a ByteSource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PropertyTag {
constexpr uint8_t Null = 0x00, List = 0x01, Int8 = 0x02, Int16 = 0x03, Int32 = 0x04, Extended = 0x05,
                  String = 0x06, Ident = 0x07, False = 0x08, True = 0x09, Binary = 0x0A, Set = 0x0B,
                  LString = 0x0C, Nil = 0x0D, Collection = 0x0E, Single = 0x0F, Currency = 0x10, Date = 0x11,
                  WString = 0x12, Int64 = 0x13, Utf8String = 0x14, Double = 0x15;
}

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Takes all the bytes or raises a fault.
    virtual void Write(const uint8_t* bytes, size_t count) = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Delivers up to count bytes; 0 at the end. Raises a fault when reading fails.
    virtual size_t Read(uint8_t* bytes, size_t count) = 0;
};

// UTF-16 to UTF-8 and back; an unpaired surrogate or a malformed sequence becomes U+FFFD.
std::string Utf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& bytes);

// Collects bytes in a 4096-byte buffer and hands them on when it is full and at Flush.
class PropertyWriter {
public:
    explicit PropertyWriter(ByteSink& sink) : sink_(sink) {}
    void Bytes(const void* bytes, size_t count);
    void Byte(uint8_t value) { Bytes(&value, 1); }
    void Flush();

    // One length byte and at most 255 bytes of UTF-8.
    void ShortString(const std::string& utf8);
    void Integer(int64_t value);  // the narrowest of 0x02, 0x03, 0x04
    void Boolean(bool value);
    void Identifier(const std::string& name);
    void Text(const std::u16string& text);  // 0x12, 0x14, 0x0C or 0x06 by the selection rule
    void Set(const std::vector<std::string>& members);

private:
    ByteSink& sink_;
    std::vector<uint8_t> buffer_;
};

// A value as read: its tag and, by tag, its payload. A set's members are not kept (a
// stream may list them without end): whoever needs them reads them one by one.
struct PropertyValue {
    uint8_t tag = PropertyTag::Null;
    int64_t integer = 0;
    std::string identifier;               // 0x07
    std::u16string text;                  // 0x06, 0x0C, 0x12, 0x14
};

// Reads through a 4096-byte buffer; every length is read as bytes arrive, never allocated
// ahead of them. A malformed or truncated stream raises a Fault.
class PropertyReader {
public:
    // ansi: how 0x06 and 0x0C bytes become text (the system's ANSI code page on Windows).
    using AnsiDecoder = std::u16string (*)(const std::string& bytes);
    PropertyReader(ByteSource& source, AnsiDecoder ansi) : source_(source), ansi_(ansi) {}

    uint8_t Byte();
    uint8_t PeekByte();
    void Bytes(void* into, size_t count);
    std::string ShortString();
    PropertyValue Value();  // lists and sets are read and dropped (lists' depth is limited)
    // Reads past one value, as strictly as Value, holding none of its payload.
    void Skip();
    // Bytes read from the source but not consumed: where the caller moves the source back.
    size_t Unconsumed() const { return buffer_.size() - position_; }

private:
    void Fill();
    std::string LongBytes(uint64_t count);
    void SkipBytes(uint64_t count);
    void SkipList(int depth);
    PropertyValue ValueAt(int depth, bool keep);

    ByteSource& source_;
    AnsiDecoder ansi_;
    std::vector<uint8_t> buffer_;
    size_t position_ = 0;
};
