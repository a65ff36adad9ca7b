#include "FormStream.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "Fault.h"

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

const char* const BorderStyles[] = {"afbNone", "afbSingle", "afbSunken", "afbRaised"};
const char* const PrintScales[] = {"poNone", "poProportional", "poPrintToFit"};
const char* const PopupModes[] = {"pmNone", "pmAuto", "pmExplicit"};
const char* const FontStyles[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
const char* const Booleans[] = {"False", "True"};

enum class Kind { Integer, Color, Charset, Boolean, Enumeration, Set, Text, Anything };

struct Attribute {
    const char* name;
    FormProperty property;
    Kind kind;
    const char* const* members = nullptr;  // enumerations and sets
    size_t memberCount = 0;
};

template <size_t N>
constexpr Attribute Enumerated(const char* name, FormProperty property, Kind kind, const char* const (&members)[N])
{
    return Attribute{name, property, kind, members, N};
}

const Attribute FormAttributes[] = {
    {"Tag", FormProperty::Tag, Kind::Integer},
    {"AlignWithMargins", FormProperty::AlignWithMargins, Kind::Boolean},
    {"Left", FormProperty::Left, Kind::Integer},
    {"Top", FormProperty::Top, Kind::Integer},
    {"Width", FormProperty::Width, Kind::Integer},
    {"Height", FormProperty::Height, Kind::Integer},
    {"ParentCustomHint", FormProperty::ParentCustomHint, Kind::Boolean},
    {"AutoSize", FormProperty::AutoSize, Kind::Boolean},
    Enumerated("AxBorderStyle", FormProperty::AxBorderStyle, Kind::Enumeration, BorderStyles),
    {"BorderWidth", FormProperty::BorderWidth, Kind::Integer},
    {"Caption", FormProperty::Caption, Kind::Text},
    {"Color", FormProperty::Color, Kind::Color},
    {"KeyPreview", FormProperty::KeyPreview, Kind::Boolean},
    {"OldCreateOrder", FormProperty::OldCreateOrder, Kind::Boolean},
    Enumerated("PrintScale", FormProperty::PrintScale, Kind::Enumeration, PrintScales),
    {"Scaled", FormProperty::Scaled, Kind::Boolean},
    {"PixelsPerInch", FormProperty::PixelsPerInch, Kind::Integer},
    {"AutoScroll", FormProperty::AutoScroll, Kind::Boolean},
    {"Visible", FormProperty::Visible, Kind::Boolean},
    {"Enabled", FormProperty::Enabled, Kind::Boolean},
    {"DropTarget", FormProperty::DropTarget, Kind::Boolean},
    {"HelpFile", FormProperty::HelpFile, Kind::Text},
    Enumerated("PopupMode", FormProperty::PopupMode, Kind::Enumeration, PopupModes),
    {"ScreenSnap", FormProperty::ScreenSnap, Kind::Boolean},
    {"SnapBuffer", FormProperty::SnapBuffer, Kind::Integer},
    {"DockSite", FormProperty::DockSite, Kind::Boolean},
    {"DoubleBuffered", FormProperty::DoubleBuffered, Kind::Boolean},
    {"ParentDoubleBuffered", FormProperty::ParentDoubleBuffered, Kind::Boolean},
    {"UseDockManager", FormProperty::UseDockManager, Kind::Boolean},
    // The form's extra stored values.
    {"TextHeight", FormProperty::TextHeight, Kind::Integer},
    {"ExplicitLeft", FormProperty::ExplicitLeft, Kind::Integer},
    {"ExplicitTop", FormProperty::ExplicitTop, Kind::Integer},
    {"ExplicitWidth", FormProperty::ExplicitWidth, Kind::Integer},
    {"ExplicitHeight", FormProperty::ExplicitHeight, Kind::Integer},
    {"IsControl", FormProperty::IsControl, Kind::Boolean},
    {"DesignSize", FormProperty::DesignSize, Kind::Anything},
    {"IgnoreFontProperty", FormProperty::IgnoreFontProperty, Kind::Boolean},
};

const Attribute FontAttributes[] = {
    {"Charset", FormProperty::FontCharset, Kind::Charset},
    {"Color", FormProperty::FontColor, Kind::Color},
    {"Height", FormProperty::FontHeight, Kind::Integer},
    {"Name", FormProperty::FontName, Kind::Text},
    Enumerated("Style", FormProperty::FontStyle, Kind::Set, FontStyles),
    {"Size", FormProperty::FontSize, Kind::Integer},
};

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

template <size_t N>
const Attribute* Find(const Attribute (&table)[N], const std::string& name)
{
    for (const Attribute& attribute : table)
        if (SameName(name, attribute.name))
            return &attribute;
    return nullptr;
}

// "Font.Height" and the like: the form's one nested object is its font.
const Attribute& Resolve(const std::string& path)
{
    const size_t dot = path.find('.');
    const Attribute* attribute = nullptr;
    if (dot == std::string::npos)
        attribute = Find(FormAttributes, path);
    else if (SameName(path.substr(0, dot), "Font") && path.find('.', dot + 1) == std::string::npos)
        attribute = Find(FontAttributes, path.substr(dot + 1));
    if (!attribute)
        Refused("no attribute " + path);
    return *attribute;
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

int64_t Ordinal(const std::string& name, const Attribute& attribute)
{
    for (size_t i = 0; i < attribute.memberCount; ++i)
        if (SameName(name, attribute.members[i]))
            return static_cast<int64_t>(i);
    return -1;
}

int64_t Member(const std::string& name, const Attribute& attribute)
{
    const int64_t ordinal = Ordinal(name, attribute);
    if (ordinal < 0)
        Refused("unknown member " + name + " of " + attribute.name);
    return ordinal;
}

// After the set's tag. A stream may list members without end: each is checked as it
// comes and only its bit kept. An unknown one is refused at the set's end, so that a set
// that is also cut short is refused as cut short.
int64_t SetBits(PropertyReader& reader, const Attribute& attribute)
{
    int64_t bits = 0;
    std::string unknown;  // the first; members are never empty
    for (std::string member = reader.ShortString(); !member.empty(); member = reader.ShortString()) {
        const int64_t ordinal = Ordinal(member, attribute);
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
bool Takes(Kind kind, uint8_t tag)
{
    switch (kind) {
    case Kind::Integer:
    case Kind::Color:
    case Kind::Charset:
        return tag == PropertyTag::Int8 || tag == PropertyTag::Int16 || tag == PropertyTag::Int32 ||
               tag == PropertyTag::Ident;
    case Kind::Boolean:
    case Kind::Enumeration:
        return tag == PropertyTag::Ident || tag == PropertyTag::False || tag == PropertyTag::True ||
               tag == PropertyTag::Null || tag == PropertyTag::Nil;
    case Kind::Set:
        return tag == PropertyTag::Set;
    case Kind::Text:
        return tag == PropertyTag::String || tag == PropertyTag::LString || tag == PropertyTag::WString ||
               tag == PropertyTag::Utf8String;
    case Kind::Anything:
        break;
    }
    return false;
}

StoredValue Convert(const Attribute& attribute, const PropertyValue& value, const std::string& path)
{
    StoredValue stored;
    switch (attribute.kind) {
    case Kind::Integer:
        stored.integer = Integer(value, nullptr, 0, path);
        break;
    case Kind::Color:
        stored.integer = Integer(value, Colors, std::size(Colors), path);
        break;
    case Kind::Charset:
        stored.integer = Integer(value, Charsets, std::size(Charsets), path);
        break;
    case Kind::Boolean:
    case Kind::Enumeration: {
        const bool isBoolean = attribute.kind == Kind::Boolean;
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
        const Attribute booleans{attribute.name, attribute.property, Kind::Boolean, Booleans, 2};
        stored.integer = Member(name, isBoolean ? booleans : attribute);
        stored.boolean = stored.integer != 0;
        break;
    }
    case Kind::Set:  // a set itself goes to SetBits
        Refused("no set for " + path);
    case Kind::Text:
        if (value.tag != PropertyTag::String && value.tag != PropertyTag::LString &&
            value.tag != PropertyTag::WString && value.tag != PropertyTag::Utf8String)
            Refused("no text for " + path);
        stored.text = value.text;
        break;
    case Kind::Anything:
        break;
    }
    return stored;
}

StoredValue ReadValue(PropertyReader& reader, const Attribute& attribute, const std::string& path)
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
    if (attribute.kind == Kind::Set) {
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

void Record(PropertyWriter& writer, const char* name) { writer.ShortString(name); }

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

void WriteFormStream(const FormSnapshot& form, PropertyWriter& w)
{
    w.Bytes("TPF0", 4);
    w.ShortString("TTavrix");
    w.ShortString(Utf8(form.instanceName));
    if (form.tag != 0)
        Record(w, "Tag"), w.Integer(form.tag);
    if (form.alignWithMargins)
        Record(w, "AlignWithMargins"), w.Boolean(true);
    Record(w, "Left"), w.Integer(form.left);
    Record(w, "Top"), w.Integer(form.top);
    Record(w, "Width"), w.Integer(form.width);
    Record(w, "Height"), w.Integer(form.height);
    if (!form.parentCustomHint)
        Record(w, "ParentCustomHint"), w.Boolean(false);
    if (form.autoSize)
        Record(w, "AutoSize"), w.Boolean(true);
    if (form.axBorderStyle != 1 && form.axBorderStyle < std::size(BorderStyles))
        Record(w, "AxBorderStyle"), w.Identifier(BorderStyles[form.axBorderStyle]);
    if (form.borderWidth != 0)
        Record(w, "BorderWidth"), w.Integer(form.borderWidth);
    if (!form.caption.empty())
        Record(w, "Caption"), w.Text(form.caption);
    // Colours are the 32-bit values taken as signed: system colours are negative.
    if (!form.followsParentColor)
        Record(w, "Color"), NamedInteger(w, ColorName(form.color), static_cast<int32_t>(form.color));
    if (!form.followsParentFont) {
        Record(w, "Font.Charset"), NamedInteger(w, CharsetName(form.fontCharset), form.fontCharset);
        Record(w, "Font.Color"), NamedInteger(w, ColorName(form.fontColor), static_cast<int32_t>(form.fontColor));
        Record(w, "Font.Height"), w.Integer(form.fontHeight);
        if (!form.fontName.empty())
            Record(w, "Font.Name"), w.Text(form.fontName);
        std::vector<std::string> styles;
        for (size_t i = 0; i < std::size(FontStyles); ++i)
            if (form.fontStyle & (1u << i))
                styles.push_back(FontStyles[i]);
        Record(w, "Font.Style"), w.Set(styles);
    }
    if (form.keyPreview)
        Record(w, "KeyPreview"), w.Boolean(true);
    Record(w, "OldCreateOrder"), w.Boolean(form.oldCreateOrder);
    if (form.printScale != 1 && form.printScale < std::size(PrintScales))
        Record(w, "PrintScale"), w.Identifier(PrintScales[form.printScale]);
    if (!form.scaled)
        Record(w, "Scaled"), w.Boolean(false);
    if (form.explicitWidth != form.width)
        Record(w, "ExplicitWidth"), w.Integer(form.explicitWidth);
    if (form.explicitHeight != form.height)
        Record(w, "ExplicitHeight"), w.Integer(form.explicitHeight);
    Record(w, "PixelsPerInch"), w.Integer(form.pixelsPerInch);
    Record(w, "TextHeight"), w.Integer(form.textHeight);
    w.Byte(0);  // end of the property list
    w.Byte(0);  // end of the empty child list
}

int32_t ReadFormStream(PropertyReader& reader, FormStreamTarget& target)
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

    int32_t textHeight = 0;
    while (reader.PeekByte() != 0) {
        const std::string path = reader.ShortString();
        const Attribute& attribute = Resolve(path);
        const StoredValue value = ReadValue(reader, attribute, path);
        if (attribute.property == FormProperty::TextHeight)
            textHeight = static_cast<int32_t>(value.integer);
        target.Set(attribute.property, value);
    }
    reader.Byte();
    // Child components: the control writes none, and reads none.
    if (reader.Byte() != 0)
        Refused("child components are not read");
    return textHeight;
}
