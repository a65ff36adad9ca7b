#include "TypeLibFile.h"

#include <algorithm>
#include <numeric>

namespace {

constexpr int32_t Magic = 0x5446534D;  // "MSFT"
constexpr size_t HeaderSize = 0x54;
constexpr size_t TypeCountField = 0x20, FlagsField = 0x14, DispatchField = 0x4C;
constexpr int32_t HelpDllFlag = 0x100;
constexpr size_t SegmentEntrySize = 16;

void Require(bool condition, const char* what)
{
    if (!condition)
        throw TypeLibFormatError(what);
}

bool IsLocalReference(int32_t reference, size_t typeCount)
{
    return reference >= 0 && reference % TypeLibFile::TypeInfoSize == 0 &&
           static_cast<size_t>(reference) < typeCount * TypeLibFile::TypeInfoSize;
}

}  // namespace

TypeLibFile::TypeLibFile(std::vector<uint8_t> bytes)
{
    Require(bytes.size() >= HeaderSize && Read32(bytes.data()) == Magic, "not a type library");
    size_t headerSize = HeaderSize + ((Read32(&bytes[FlagsField]) & HelpDllFlag) ? 4 : 0);
    const int32_t typeCount = Read32(&bytes[TypeCountField]);
    Require(typeCount >= 0 && typeCount < 0x10000, "bad type count");
    const size_t directory = headerSize + 4 * static_cast<size_t>(typeCount);
    Require(bytes.size() >= directory + SegmentCount * SegmentEntrySize, "truncated segment directory");
    header_.assign(bytes.begin(), bytes.begin() + headerSize);

    segments_.resize(SegmentCount);
    for (int s = 0; s < SegmentCount; ++s) {
        const int32_t offset = Read32(&bytes[directory + s * SegmentEntrySize]);
        const int32_t length = Read32(&bytes[directory + s * SegmentEntrySize + 4]);
        if (offset < 0 || length <= 0)
            continue;
        Require(static_cast<size_t>(offset) + length <= bytes.size(), "segment beyond the file");
        segments_[s].assign(bytes.begin() + offset, bytes.begin() + offset + length);
        segmentOrder_.push_back(s);
    }
    std::sort(segmentOrder_.begin(), segmentOrder_.end(), [&](int a, int b) {
        return Read32(&bytes[directory + a * SegmentEntrySize]) < Read32(&bytes[directory + b * SegmentEntrySize]);
    });
    Require(segments_[TypeInfoTable].size() == typeCount * TypeInfoSize, "type info table size");

    members_.resize(typeCount);
    for (int32_t i = 0; i < typeCount; ++i) {
        const uint8_t* info = TypeInfo(i);
        const int32_t elements = Read32(info + TypeInfoField::ElementCount);
        const size_t count = (elements & 0xFFFF) + ((elements >> 16) & 0xFFFF);
        if (count == 0)
            continue;
        const int32_t offset = Read32(info + TypeInfoField::MemberOffset);
        Require(offset >= 0 && static_cast<size_t>(offset) + 4 <= bytes.size(), "member block beyond the file");
        const int32_t recordBytes = Read32(&bytes[offset]);
        Require(recordBytes >= 0, "bad member block");
        const size_t size = 4 + static_cast<size_t>(recordBytes) + 12 * count;
        Require(offset + size <= bytes.size(), "member block beyond the file");
        members_[i].assign(bytes.begin() + offset, bytes.begin() + offset + size);
    }
}

std::vector<uint8_t> TypeLibFile::Serialise() const
{
    const size_t typeCount = members_.size();
    std::vector<uint8_t> out(header_);
    for (size_t i = 0; i < typeCount; ++i) {
        out.resize(out.size() + 4);
        Write32(&out[out.size() - 4], static_cast<int32_t>(i * TypeInfoSize));
    }
    const size_t directory = out.size();
    out.resize(directory + SegmentCount * SegmentEntrySize);
    for (int s = 0; s < SegmentCount; ++s) {
        uint8_t* entry = &out[directory + s * SegmentEntrySize];
        Write32(entry, -1);
        Write32(entry + 4, 0);
        Write32(entry + 8, -1);
        Write32(entry + 12, 0x0F);
    }
    size_t typeInfoTable = 0;
    for (int s : segmentOrder_) {
        Write32(&out[directory + s * SegmentEntrySize], static_cast<int32_t>(out.size()));
        Write32(&out[directory + s * SegmentEntrySize + 4], static_cast<int32_t>(segments_[s].size()));
        if (s == TypeInfoTable)
            typeInfoTable = out.size();
        out.insert(out.end(), segments_[s].begin(), segments_[s].end());
    }
    // The member blocks follow the segments, in type order; a type without members points past them.
    std::vector<int32_t> memberOffsets(typeCount);
    for (size_t i = 0; i < typeCount; ++i) {
        memberOffsets[i] = static_cast<int32_t>(out.size());
        out.insert(out.end(), members_[i].begin(), members_[i].end());
    }
    for (size_t i = 0; i < typeCount; ++i)
        Write32(&out[typeInfoTable + i * TypeInfoSize + TypeInfoField::MemberOffset],
                members_[i].empty() ? static_cast<int32_t>(out.size()) : memberOffsets[i]);
    return out;
}

void TypeLibFile::Reorder(const std::vector<size_t>& order)
{
    const size_t typeCount = members_.size();
    Require(order.size() == typeCount, "order of the wrong length");
    std::vector<int32_t> newReference(typeCount);
    for (size_t i = 0; i < typeCount; ++i)
        newReference.at(order[i]) = static_cast<int32_t>(i * TypeInfoSize);
    const auto remap = [&](uint8_t* at) {
        const int32_t reference = Read32(at);
        if (IsLocalReference(reference, typeCount))
            Write32(at, newReference[reference / TypeInfoSize]);
    };

    // A type is referred to by the offset of its record: in type descriptions of
    // user-defined types, in the references of implemented types, in an interface's base,
    // and from its own name and GUID entries.
    std::vector<uint8_t>& descriptions = segments_[TypeDescTable];
    for (size_t at = 0; at + 8 <= descriptions.size(); at += 8)
        if ((Read32(&descriptions[at]) & 0x0FFF) == 29 /* VT_USERDEFINED */)
            remap(&descriptions[at + 4]);
    std::vector<uint8_t>& references = segments_[ReferenceTable];
    for (size_t at = 0; at + 16 <= references.size(); at += 16)
        remap(&references[at]);
    remap(&header_[DispatchField]);
    for (size_t i = 0; i < typeCount; ++i) {
        uint8_t* info = TypeInfo(i);
        const int kind = Read32(info + TypeInfoField::Kind) & 0xF;
        if (kind == 3 /* TKIND_INTERFACE */ || kind == 4 /* TKIND_DISPATCH */)
            remap(info + TypeInfoField::DataType1);
        const int32_t name = Read32(info + TypeInfoField::NameOffset);
        if (name >= 0 && static_cast<size_t>(name) + 4 <= segments_[NameTable].size())
            remap(&segments_[NameTable][name]);
        const int32_t guid = Read32(info + TypeInfoField::GuidOffset);
        if (guid >= 0 && static_cast<size_t>(guid) + 20 <= segments_[GuidTable].size())
            remap(&segments_[GuidTable][guid + 16]);
    }

    std::vector<uint8_t> table(typeCount * TypeInfoSize);
    std::vector<std::vector<uint8_t>> members(typeCount);
    for (size_t i = 0; i < typeCount; ++i) {
        uint8_t* info = &table[i * TypeInfoSize];
        std::copy_n(TypeInfo(order[i]), TypeInfoSize, info);
        // The kind field carries the type's own index in its upper half.
        Write32(info + TypeInfoField::Kind,
                (Read32(info + TypeInfoField::Kind) & 0xFFFF) | static_cast<int32_t>(i << 16));
        members[i] = std::move(members_[order[i]]);
    }
    segments_[TypeInfoTable] = std::move(table);
    members_ = std::move(members);
}

void TypeLibFile::DropSegment(Segment segment)
{
    segments_[segment].clear();
    segmentOrder_.erase(std::remove(segmentOrder_.begin(), segmentOrder_.end(), segment), segmentOrder_.end());
}

int32_t TypeLibFile::AddString(const std::string& text)
{
    Require(text.size() < 0x10000, "string too long");
    std::vector<uint8_t>& strings = segments_[StringTable];
    if (strings.empty())
        segmentOrder_.push_back(StringTable);  // a new segment goes last
    const int32_t offset = static_cast<int32_t>(strings.size());
    strings.push_back(static_cast<uint8_t>(text.size()));
    strings.push_back(static_cast<uint8_t>(text.size() >> 8));
    strings.insert(strings.end(), text.begin(), text.end());
    while (strings.size() % 4)
        strings.push_back(0x57);  // the format's own padding byte
    return offset;
}

std::string TypeLibFile::Name(int32_t offset)
{
    const std::vector<uint8_t>& names = segments_[NameTable];
    Require(offset >= 0 && static_cast<size_t>(offset) + 12 <= names.size(), "name beyond the table");
    const size_t length = names[offset + 8];
    Require(offset + 12 + length <= names.size(), "name beyond the table");
    return std::string(names.begin() + offset + 12, names.begin() + offset + 12 + length);
}
