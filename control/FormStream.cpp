#include "FormStream.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "Fault.h"
#include "StoredForm.h"

namespace {

struct Named {
    const char* name;
    int64_t value;
};

const Named Colors[] = {
    {"clBlack", 0x00000000}, {"clMaroon", 0x00000080}, {"clGreen", 0x00008000}, {"clOlive", 0x00008080},
    {"clNavy", 0x00800000}, {"clPurple", 0x00800080}, {"clTeal", 0x00808000}, {"clGray", 0x00808080},
    {"clSilver", 0x00C0C0C0}, {"clRed", 0x000000FF}, {"clLime", 0x0000FF00}, {"clYellow", 0x0000FFFF},
    {"clBlue", 0x00FF0000}, {"clFuchsia", 0x00FF00FF}, {"clAqua", 0x00FFFF00}, {"clWhite", 0x00FFFFFF},
    {"clMoneyGreen", 0x00C0DCC0}, {"clSkyBlue", 0x00F0CAA6}, {"clCream", 0x00F0FBFF}, {"clMedGray", 0x00A4A0A0},
    {"clActiveBorder", 0xFF00000A}, {"clActiveCaption", 0xFF000002}, {"clAppWorkSpace", 0xFF00000C},
    {"clBackground", 0xFF000001}, {"clBtnFace", 0xFF00000F}, {"clBtnHighlight", 0xFF000014},
    {"clBtnShadow", 0xFF000010}, {"clBtnText", 0xFF000012}, {"clCaptionText", 0xFF000009},
    {"clDefault", 0x20000000}, {"clGradientActiveCaption", 0xFF00001B}, {"clGradientInactiveCaption", 0xFF00001C},
    {"clGrayText", 0xFF000011}, {"clHighlight", 0xFF00000D}, {"clHighlightText", 0xFF00000E},
    {"clHotLight", 0xFF00001A}, {"clInactiveBorder", 0xFF00000B}, {"clInactiveCaption", 0xFF000003},
    {"clInactiveCaptionText", 0xFF000013}, {"clInfoBk", 0xFF000018}, {"clInfoText", 0xFF000017},
    {"clMenu", 0xFF000004}, {"clMenuBar", 0xFF00001E}, {"clMenuHighlight", 0xFF00001D}, {"clMenuText", 0xFF000007},
    {"clNone", 0x1FFFFFFF}, {"clScrollBar", 0xFF000000}, {"cl3DDkShadow", 0xFF000015}, {"cl3DLight", 0xFF000016},
    {"clWindow", 0xFF000005}, {"clWindowFrame", 0xFF000006}, {"clWindowText", 0xFF000008},
};

const Named Charsets[] = {
    {"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"SYMBOL_CHARSET", 2}, {"MAC_CHARSET", 77},
    {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129}, {"JOHAB_CHARSET", 130}, {"GB2312_CHARSET", 134},
    {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161}, {"TURKISH_CHARSET", 162}, {"HEBREW_CHARSET", 177},
    {"ARABIC_CHARSET", 178}, {"BALTIC_CHARSET", 186}, {"RUSSIAN_CHARSET", 204}, {"THAI_CHARSET", 222},
    {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
};

const char* const Booleans[] = {"False", "True"};

[[noreturn]] void Refused(const std::string& what)
{
    const std::string text = "The property stream cannot be read: " + what;
    throw Fault(std::u16string(text.begin(), text.end()));
}

bool SameName(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

// "Font.Height" and the like: the form's one nested object is its font.
const StoredAttribute& Resolve(const std::string& path)
{
    for (const StoredAttribute& attribute : StoredAttributes())
        if (SameName(path, attribute.name))
            return attribute;
    Refused("no attribute " + path);
}

int64_t Integer(const PropertyValue& value, const Named* names, size_t nameCount, const std::string& path)
{
    if (value.tag == PropertyTag::Ident && names) {
        for (size_t i = 0; i < nameCount; ++i)
            if (SameName(value.identifier, names[i].name))
                return names[i].value;
        Refused("unknown name " + value.identifier + " for " + path);
    }
    if (value.tag == PropertyTag::Int8 || value.tag == PropertyTag::Int16 || value.tag == PropertyTag::Int32)
        return value.integer;
    Refused("no integer for " + path);
}

int64_t Ordinal(const std::string& name, std::span<const char* const> members)
{
    for (size_t i = 0; i < members.size(); ++i)
        if (SameName(name, members[i]))
            return static_cast<int64_t>(i);
    return -1;
}

int64_t Member(const std::string& name, std::span<const char* const> members, const char* attribute)
{
    const int64_t ordinal = Ordinal(name, members);
    if (ordinal < 0)
        Refused("unknown member " + name + " of " + attribute);
    return ordinal;
}

// After the set's tag. A stream may list members without end: each is checked as it
// comes and only its bit kept. An unknown one is refused at the set's end, so that a set
// that is also cut short is refused as cut short.
int64_t SetBits(PropertyReader& reader, const StoredAttribute& attribute)
{
    int64_t bits = 0;
    std::string unknown;  // the first; members are never empty
    for (std::string member = reader.ShortString(); !member.empty(); member = reader.ShortString()) {
        const int64_t ordinal = Ordinal(member, attribute.members);
        if (ordinal >= 0)
            bits |= int64_t{1} << ordinal;
        else if (unknown.empty())
            unknown = member;
    }
    if (!unknown.empty())
        Refused("unknown member " + unknown + " of " + attribute.name);
    return bits;
}

// Whether a value with this tag can be what an attribute of this kind holds.
bool Takes(ValueKind kind, uint8_t tag)
{
    switch (kind) {
    case ValueKind::Integer:
    case ValueKind::Color:
    case ValueKind::Charset:
        return tag == PropertyTag::Int8 || tag == PropertyTag::Int16 || tag == PropertyTag::Int32 ||
               tag == PropertyTag::Ident;
    case ValueKind::Boolean:
    case ValueKind::Enumeration:
        return tag == PropertyTag::Ident || tag == PropertyTag::False || tag == PropertyTag::True ||
               tag == PropertyTag::Null || tag == PropertyTag::Nil;
    case ValueKind::Set:
        return tag == PropertyTag::Set;
    case ValueKind::Text:
        return tag == PropertyTag::String || tag == PropertyTag::LString || tag == PropertyTag::WString ||
               tag == PropertyTag::Utf8String;
    case ValueKind::Anything:
        break;
    }
    return false;
}

StoredValue Convert(const StoredAttribute& attribute, const PropertyValue& value, const std::string& path)
{
    StoredValue stored;
    switch (attribute.kind) {
    case ValueKind::Integer:
        stored.integer = Integer(value, nullptr, 0, path);
        break;
    case ValueKind::Color:
        stored.integer = Integer(value, Colors, std::size(Colors), path);
        break;
    case ValueKind::Charset:
        stored.integer = Integer(value, Charsets, std::size(Charsets), path);
        break;
    case ValueKind::Boolean:
    case ValueKind::Enumeration: {
        const bool isBoolean = attribute.kind == ValueKind::Boolean;
        std::string name;
        if (value.tag == PropertyTag::Ident)
            name = value.identifier;
        else if (value.tag == PropertyTag::False)
            name = "False";
        else if (value.tag == PropertyTag::True)
            name = "True";
        else if (value.tag == PropertyTag::Null)
            name = "Null";
        else if (value.tag == PropertyTag::Nil)
            name = "nil";
        else
            Refused("no identifier for " + path);
        stored.integer = Member(name, isBoolean ? std::span<const char* const>(Booleans) : attribute.members,
                                attribute.name);
        stored.boolean = stored.integer != 0;
        break;
    }
    case ValueKind::Set:  // a set itself goes to SetBits
        Refused("no set for " + path);
    case ValueKind::Text:
        if (value.tag != PropertyTag::String && value.tag != PropertyTag::LString &&
            value.tag != PropertyTag::WString && value.tag != PropertyTag::Utf8String)
            Refused("no text for " + path);
        stored.text = value.text;
        break;
    case ValueKind::Anything:
        break;
    }
    return stored;
}

StoredValue ReadValue(PropertyReader& reader, const StoredAttribute& attribute, const std::string& path)
{
    const uint8_t tag = reader.PeekByte();
    if (!Takes(attribute.kind, tag)) {
        // Read past whole before the refusal, as a stream cut short within it is refused
        // as cut short, but never held: it may be as long as the stream.
        reader.Skip();
        PropertyValue dropped;
        dropped.tag = tag;
        return Convert(attribute, dropped, path);  // refuses, but for what takes anything
    }
    if (attribute.kind == ValueKind::Set) {
        reader.Byte();
        StoredValue stored;
        stored.integer = SetBits(reader, attribute);
        return stored;
    }
    return Convert(attribute, reader.Value(), path);
}

bool IsIdentifier(const std::string& name)
{
    if (name.empty())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9'))
            return false;
    }
    return true;
}

template <size_t N>
const char* NameOf(const Named (&table)[N], int64_t value)
{
    for (const Named& entry : table)
        if (entry.value == value)
            return entry.name;
    return nullptr;
}

void NamedInteger(PropertyWriter& writer, const char* name, int64_t value)
{
    if (name)
        writer.Identifier(name);
    else
        writer.Integer(value);
}

}  // namespace

const char* ColorName(uint32_t color) { return NameOf(Colors, color); }
const char* CharsetName(uint8_t charset) { return NameOf(Charsets, charset); }

void WriteFormStream(const StoredForm& form, PropertyWriter& w)
{
    w.Bytes("TPF0", 4);
    w.ShortString("TTavrix");
    w.ShortString(Utf8(form.state.componentName));
    for (const StoredAttribute& attribute : StoredAttributes()) {
        StoredValue value;
        if (!attribute.written || !attribute.written(form, value))
            continue;
        w.ShortString(attribute.name);
        switch (attribute.kind) {
        case ValueKind::Integer: w.Integer(value.integer); break;
        case ValueKind::Color: NamedInteger(w, ColorName(static_cast<uint32_t>(value.integer)), value.integer); break;
        case ValueKind::Charset: NamedInteger(w, CharsetName(static_cast<uint8_t>(value.integer)), value.integer); break;
        case ValueKind::Boolean: w.Boolean(value.boolean); break;
        case ValueKind::Enumeration: w.Identifier(attribute.members[static_cast<size_t>(value.integer)]); break;
        case ValueKind::Set: {
            std::vector<std::string> members;
            for (size_t i = 0; i < attribute.members.size(); ++i)
                if (value.integer & (int64_t{1} << i))
                    members.push_back(attribute.members[i]);
            w.Set(members);
            break;
        }
        case ValueKind::Text: w.Text(value.text); break;
        case ValueKind::Anything: break;
        }
    }
    w.Byte(0);  // end of the property list
    w.Byte(0);  // end of the empty child list
}

void ReadFormStream(PropertyReader& reader, FormStreamTarget& target)
{
    char signature[4];
    reader.Bytes(signature, 4);
    if (std::memcmp(signature, "TPF0", 4) != 0)
        Refused("no signature");
    if (reader.PeekByte() >= 0xF0) {
        const uint8_t prefix = reader.Byte();
        if (prefix & 0x02) {
            const uint8_t tag = reader.PeekByte();
            reader.Skip();  // the position of an inherited child; unused
            if (tag < PropertyTag::Int8 || tag > PropertyTag::Int32)
                Refused("a bad prefix");
        }
    }
    reader.ShortString();  // the class name
    const std::string instance = reader.ShortString();
    if (!IsIdentifier(instance))
        Refused("the instance name is no identifier");
    target.SetInstanceName(FromUtf8(instance));

    while (reader.PeekByte() != 0) {
        const std::string path = reader.ShortString();
        const StoredAttribute& attribute = Resolve(path);
        target.Set(attribute, ReadValue(reader, attribute, path));
    }
    reader.Byte();
    // Child components: the control writes none, and reads none.
    if (reader.Byte() != 0)
        Refused("child components are not read");
}
