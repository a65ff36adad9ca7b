// The attributes a property stream may carry, one declaration each: the name a record
// has, the kind of its value, how a load takes it and what a save writes of it.
// Platform-neutral.
#pragma once

#include <cstddef>
#include <span>

class StoredForm;
struct StoredValue;

enum class ValueKind { Integer, Color, Charset, Boolean, Enumeration, Set, Text, Anything };

struct StoredAttribute {
    const char* name;  // a nested attribute by its path: "Font.Color"
    ValueKind kind;
    std::span<const char* const> members;  // of an enumeration or a set, in ordinal order
    // Takes a record's value into the state as the form's own setter would.
    void (*take)(StoredForm& form, const StoredValue& value);
    // Sets value to what a save writes and answers true; false when the record is not
    // written. Null for an attribute that is read but never written.
    bool (*written)(const StoredForm& form, StoredValue& value);
};

// In the order a save writes them.
std::span<const StoredAttribute> StoredAttributes();
