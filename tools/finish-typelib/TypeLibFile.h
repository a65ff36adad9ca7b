// A compiled type library in the platform's binary format ("MSFT"), held as its parts:
// header, segments and each type's member block. Only what the finishing step changes is
// given structure; everything else is carried as bytes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class TypeLibFile {
public:
    enum Segment {
        TypeInfoTable, ImportInfo, ImportFiles, ReferenceTable, GuidHash, GuidTable, NameHash, NameTable,
        StringTable, TypeDescTable, ArrayDescTable, CustomData, CustomDataGuids, Reserved14, Reserved15,
        SegmentCount
    };
    static constexpr size_t TypeInfoSize = 0x64;

    // Field offsets inside one type's record in the type info table.
    struct TypeInfoField {
        static constexpr size_t Kind = 0x00, MemberOffset = 0x04, ElementCount = 0x18, GuidOffset = 0x2C,
                                Flags = 0x30, NameOffset = 0x34, CustomData = 0x48, ImplTypeCount = 0x4C,
                                DataType1 = 0x54;
    };
    // The header's head of the library's custom data list.
    static constexpr size_t LibraryCustomDataField = 0x40;

    explicit TypeLibFile(std::vector<uint8_t> bytes);
    std::vector<uint8_t> Serialise() const;

    size_t TypeCount() const { return members_.size(); }
    uint8_t* Header() { return header_.data(); }
    std::vector<uint8_t>& SegmentBytes(Segment segment) { return segments_[segment]; }
    // Leaves a segment out of the file; nothing may refer into it any more.
    void DropSegment(Segment segment);
    uint8_t* TypeInfo(size_t index) { return &segments_[TypeInfoTable][index * TypeInfoSize]; }
    int Kind(size_t index) { return Read32(TypeInfo(index) + TypeInfoField::Kind) & 0xF; }

    // The member block of a type: its records, then per member an id, a name and a
    // record offset. Empty for a type without members.
    std::vector<uint8_t>& Members(size_t index) { return members_[index]; }

    // Puts the types in a new order: order[i] is the old index of the type that goes to i.
    void Reorder(const std::vector<size_t>& order);

    // Adds a text to the string table and gives its offset there.
    int32_t AddString(const std::string& text);
    // The name at an offset in the name table.
    std::string Name(int32_t offset);

    static int32_t Read32(const uint8_t* at)
    {
        return static_cast<int32_t>(at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24);
    }
    static void Write32(uint8_t* at, int32_t value)
    {
        for (int i = 0; i < 4; ++i)
            at[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
    }

private:
    std::vector<uint8_t> header_;  // the fixed header and the optional help DLL entry
    std::vector<std::vector<uint8_t>> segments_;
    std::vector<int> segmentOrder_;  // the order the segments stand in the file
    std::vector<std::vector<uint8_t>> members_;
};

struct TypeLibFormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
