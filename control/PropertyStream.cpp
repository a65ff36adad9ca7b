#include "PropertyStream.h"

#include <algorithm>
#include <cstring>

#include "Fault.h"

namespace {

constexpr size_t BufferSize = 4096;
constexpr int MaximumListDepth = 32;

[[noreturn]] void Malformed(const char* what)
{
    std::string text = std::string("The property stream is not valid: ") + what;
    throw Fault(std::u16string(text.begin(), text.end()));
}

void PutLittleEndian(PropertyWriter& writer, uint64_t value, int bytes)
{
    uint8_t out[8];
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    writer.Bytes(out, bytes);
}

// The UTF-8 of text; a surrogate without its partner, which UTF-8 cannot hold, becomes
// U+FFFD, and lossy (when given) tells whether that happened.
std::string ToUtf8(const std::u16string& text, bool* lossy)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
            if (lossy)
                *lossy = true;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::string Utf8(const std::u16string& text) { return ToUtf8(text, nullptr); }

std::u16string FromUtf8(const std::string& bytes)
{
    std::u16string out;
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const uint8_t lead = b[i];
        int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        // A truncated sequence counts as one malformed character: its lead and the
        // continuation bytes it had.
        int have = length > 0 ? 1 : 0;
        while (have > 0 && have < length && i + have < n && (b[i + have] & 0xC0) == 0x80) {
            c = (c << 6) | (b[i + have] & 0x3F);
            ++have;
        }
        if (length == 0 || have < length) {
            out += u'\uFFFD';
            i += have > 0 ? have : 1;
            continue;
        }
        // Overlong forms, surrogates and values past U+10FFFF: each byte is malformed.
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

// Writer

void PropertyWriter::Bytes(const void* bytes, size_t count)
{
    const auto* from = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        const size_t taken = std::min(count, BufferSize - buffer_.size());
        buffer_.insert(buffer_.end(), from, from + taken);
        from += taken;
        count -= taken;
        if (buffer_.size() == BufferSize)
            Flush();
    }
}

void PropertyWriter::Flush()
{
    if (!buffer_.empty())
        sink_.Write(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void PropertyWriter::ShortString(const std::string& utf8)
{
    const size_t length = std::min<size_t>(utf8.size(), 255);
    Byte(static_cast<uint8_t>(length));
    Bytes(utf8.data(), length);
}

void PropertyWriter::Integer(int64_t value)
{
    if (value >= -128 && value <= 127) {
        Byte(PropertyTag::Int8);
        PutLittleEndian(*this, static_cast<uint64_t>(value), 1);
    } else if (value >= -32768 && value <= 32767) {
        Byte(PropertyTag::Int16);
        PutLittleEndian(*this, static_cast<uint64_t>(value), 2);
    } else {
        Byte(PropertyTag::Int32);
        PutLittleEndian(*this, static_cast<uint64_t>(value), 4);
    }
}

void PropertyWriter::Boolean(bool value) { Byte(value ? PropertyTag::True : PropertyTag::False); }

void PropertyWriter::Identifier(const std::string& name)
{
    Byte(PropertyTag::Ident);
    ShortString(name);
}

void PropertyWriter::Text(const std::u16string& text)
{
    bool lossy = false;
    const std::string utf8 = ToUtf8(text, &lossy);
    // A text UTF-8 cannot hold goes as UTF-16 too, or a save would lose it.
    if (utf8.size() >= 2 * text.size() || lossy) {
        Byte(PropertyTag::WString);
        PutLittleEndian(*this, text.size(), 4);
        std::string units(2 * text.size(), '\0');  // little-endian, handed on at once
        for (size_t i = 0; i < text.size(); ++i) {
            units[2 * i] = static_cast<char>(text[i] & 0xFF);
            units[2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
        Bytes(units.data(), units.size());
    } else if (std::any_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; })) {
        Byte(PropertyTag::Utf8String);
        PutLittleEndian(*this, utf8.size(), 4);
        Bytes(utf8.data(), utf8.size());
    } else if (utf8.size() > 255) {
        Byte(PropertyTag::LString);
        PutLittleEndian(*this, utf8.size(), 4);
        Bytes(utf8.data(), utf8.size());
    } else {
        Byte(PropertyTag::String);
        ShortString(utf8);
    }
}

void PropertyWriter::Set(const std::vector<std::string>& members)
{
    Byte(PropertyTag::Set);
    for (const std::string& member : members)
        ShortString(member);
    ShortString("");
}

// Reader

void PropertyReader::Fill()
{
    buffer_.resize(BufferSize);
    const size_t got = source_.Read(buffer_.data(), BufferSize);
    buffer_.resize(got);
    position_ = 0;
    if (got == 0)
        Malformed("it ends before its data does");
}

uint8_t PropertyReader::Byte()
{
    if (position_ == buffer_.size())
        Fill();
    return buffer_[position_++];
}

uint8_t PropertyReader::PeekByte()
{
    if (position_ == buffer_.size())
        Fill();
    return buffer_[position_];
}

void PropertyReader::Bytes(void* into, size_t count)
{
    auto* to = static_cast<uint8_t*>(into);
    while (count > 0) {
        if (position_ == buffer_.size())
            Fill();
        const size_t taken = std::min(count, buffer_.size() - position_);
        std::memcpy(to, buffer_.data() + position_, taken);
        position_ += taken;
        to += taken;
        count -= taken;
    }
}

std::string PropertyReader::ShortString()
{
    std::string text(Byte(), '\0');
    Bytes(text.data(), text.size());
    return text;
}

// A long payload grows with the bytes that actually arrive.
std::string PropertyReader::LongBytes(uint64_t count)
{
    std::string bytes;
    while (count > 0) {
        if (position_ == buffer_.size())
            Fill();
        const size_t taken = static_cast<size_t>(std::min<uint64_t>(count, buffer_.size() - position_));
        bytes.append(reinterpret_cast<const char*>(buffer_.data() + position_), taken);
        position_ += taken;
        count -= taken;
    }
    return bytes;
}

void PropertyReader::SkipBytes(uint64_t count)
{
    while (count > 0) {
        if (position_ == buffer_.size())
            Fill();
        const size_t taken = static_cast<size_t>(std::min<uint64_t>(count, buffer_.size() - position_));
        position_ += taken;
        count -= taken;
    }
}

namespace {

int64_t LittleEndian(const uint8_t* bytes, int count, bool isSigned)
{
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    if (isSigned && count < 8 && (value >> (8 * count - 1)) & 1)
        value |= ~uint64_t{0} << (8 * count);
    return static_cast<int64_t>(value);
}

}  // namespace

PropertyValue PropertyReader::Value() { return ValueAt(0, true); }

void PropertyReader::Skip() { ValueAt(0, false); }

void PropertyReader::SkipList(int depth)
{
    if (depth > MaximumListDepth)
        Malformed("lists are nested too deeply");
    while (PeekByte() != PropertyTag::Null)
        ValueAt(depth + 1, false);
    Byte();
}

// keep: whether the payload is wanted; when it is not, it passes through the buffer only.
PropertyValue PropertyReader::ValueAt(int depth, bool keep)
{
    PropertyValue value;
    value.tag = Byte();
    uint8_t bytes[10];
    switch (value.tag) {
    case PropertyTag::Null:
    case PropertyTag::False:
    case PropertyTag::True:
    case PropertyTag::Nil:
        break;
    case PropertyTag::List:
        SkipList(depth);
        break;
    case PropertyTag::Int8:
    case PropertyTag::Int16:
    case PropertyTag::Int32:
    case PropertyTag::Int64: {
        const int width = value.tag == PropertyTag::Int8    ? 1
                          : value.tag == PropertyTag::Int16 ? 2
                          : value.tag == PropertyTag::Int32 ? 4
                                                            : 8;
        Bytes(bytes, width);
        value.integer = LittleEndian(bytes, width, true);
        break;
    }
    case PropertyTag::Extended:
        Bytes(bytes, 10);
        break;
    case PropertyTag::Single:
        Bytes(bytes, 4);
        break;
    case PropertyTag::Currency:
    case PropertyTag::Date:
    case PropertyTag::Double:
        Bytes(bytes, 8);
        break;
    case PropertyTag::String:
        if (keep)
            value.text = ansi_(ShortString());
        else
            SkipBytes(Byte());
        break;
    case PropertyTag::Ident:
        if (keep)
            value.identifier = ShortString();
        else
            SkipBytes(Byte());
        break;
    case PropertyTag::Set:
        for (uint8_t length = Byte(); length != 0; length = Byte())
            SkipBytes(length);
        break;
    case PropertyTag::LString:
    case PropertyTag::Utf8String:
    case PropertyTag::Binary: {
        Bytes(bytes, 4);
        const uint64_t count = static_cast<uint64_t>(LittleEndian(bytes, 4, false));
        if (!keep || value.tag == PropertyTag::Binary)
            SkipBytes(count);
        else if (value.tag == PropertyTag::LString)
            value.text = ansi_(LongBytes(count));
        else
            value.text = FromUtf8(LongBytes(count));
        break;
    }
    case PropertyTag::WString: {
        Bytes(bytes, 4);
        const uint64_t count = static_cast<uint64_t>(LittleEndian(bytes, 4, false)) * 2;
        if (!keep) {
            SkipBytes(count);
            break;
        }
        const std::string payload = LongBytes(count);
        for (size_t i = 0; i + 1 < payload.size(); i += 2)
            value.text += static_cast<char16_t>(static_cast<uint8_t>(payload[i]) |
                                                static_cast<uint8_t>(payload[i + 1]) << 8);
        break;
    }
    default:
        Malformed("a value has an unknown tag");  // collections are not read
    }
    return value;
}
