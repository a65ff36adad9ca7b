// The form's property stream: its records written and read by the kind of each stored
// attribute, and the colour and character-set names. Platform-neutral.
#pragma once

#include <cstdint>
#include <string>

#include "PropertyStream.h"
#include "StoredAttributes.h"

class StoredForm;

// A value read for one attribute, already converted by the attribute's kind.
struct StoredValue {
    int64_t integer = 0;      // integers, colours, character sets, enumeration ordinals, set bits
    bool boolean = false;
    std::u16string text;
    bool operator==(const StoredValue&) const = default;
};

// Font.Style's members, as bits in ordinal order.
namespace FontStyleBit {
constexpr uint32_t Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8;
}

// The form while a stream is read into it.
class FormStreamTarget {
public:
    virtual ~FormStreamTarget() = default;
    // The stream's instance name; the form takes it, renamed if another form has it.
    virtual void SetInstanceName(const std::u16string& name) = 0;
    // Takes one record's value; may raise a fault.
    virtual void Set(const StoredAttribute& attribute, const StoredValue& value) = 0;
};

// Writes signature, names, the records of the stored attributes that the form writes, in
// their order, and the two list ends.
void WriteFormStream(const StoredForm& form, PropertyWriter& writer);

// Reads a whole stream into target, record by record; a malformed record raises a Fault,
// leaving the records before it taken.
void ReadFormStream(PropertyReader& reader, FormStreamTarget& target);

// The name of a colour or character set, when it has one.
const char* ColorName(uint32_t color);
const char* CharsetName(uint8_t charset);
