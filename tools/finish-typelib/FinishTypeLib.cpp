// finish-typelib: completes the type library that widl compiled, with what its IDL
// cannot express:
//   - the enumerations come after the interfaces and classes, in their own order;
//   - each enumeration constant carries its own name as its help string;
//   - a dispinterface records no base: IDispatch is implied;
//   - no custom data: widl stamps its name, version and build time into every library.
//
//   finish-typelib <compiled library> <finished library>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>

#include "TypeLibFile.h"

namespace {

constexpr int KindEnum = 0, KindDispatch = 4;
constexpr int32_t DualFlag = 0x40;  // TYPEFLAG_FDUAL

// Member records of an enumeration hold, after the five fixed fields, the optional
// help context and help string; the record's size (low half of its first field) says
// how many optional fields are present.
constexpr size_t FixedVariableRecord = 20;

void NameEnumerationConstants(TypeLibFile& library, size_t type)
{
    std::vector<uint8_t>& block = library.Members(type);
    const int32_t elements = TypeLibFile::Read32(library.TypeInfo(type) + TypeLibFile::TypeInfoField::ElementCount);
    const size_t count = (elements >> 16) & 0xFFFF;
    const int32_t recordBytes = TypeLibFile::Read32(block.data());
    const uint8_t* arrays = block.data() + 4 + recordBytes;

    std::vector<uint8_t> records;
    std::vector<int32_t> offsets;
    for (size_t i = 0; i < count; ++i) {
        const int32_t offset = TypeLibFile::Read32(arrays + 4 * (2 * count + i));
        const uint8_t* record = block.data() + 4 + offset;
        const int32_t info = TypeLibFile::Read32(record);
        const size_t size = info & 0xFFFF;
        if (offset < 0 || size < FixedVariableRecord || offset + size > static_cast<size_t>(recordBytes))
            throw TypeLibFormatError("bad enumeration record");
        std::vector<uint8_t> grown(record, record + std::max(size, FixedVariableRecord + 8));
        if (size < FixedVariableRecord + 8) {
            TypeLibFile::Write32(&grown[FixedVariableRecord], 0);  // help context
            TypeLibFile::Write32(&grown[FixedVariableRecord + 4], -1);
            TypeLibFile::Write32(grown.data(), (info & ~0xFFFF) | static_cast<int32_t>(grown.size()));
        }
        if (TypeLibFile::Read32(&grown[FixedVariableRecord + 4]) == -1) {
            const std::string name = library.Name(TypeLibFile::Read32(arrays + 4 * (count + i)));
            TypeLibFile::Write32(&grown[FixedVariableRecord + 4], library.AddString(name));
        }
        offsets.push_back(static_cast<int32_t>(records.size()));
        records.insert(records.end(), grown.begin(), grown.end());
    }

    std::vector<uint8_t> rebuilt(4);
    TypeLibFile::Write32(rebuilt.data(), static_cast<int32_t>(records.size()));
    rebuilt.insert(rebuilt.end(), records.begin(), records.end());
    rebuilt.insert(rebuilt.end(), arrays, arrays + 4 * 2 * count);  // ids and names stay
    for (int32_t offset : offsets) {
        rebuilt.resize(rebuilt.size() + 4);
        TypeLibFile::Write32(&rebuilt[rebuilt.size() - 4], offset);
    }
    block = std::move(rebuilt);
}

// Optional fields of a function record (after its six fixed ones, before its parameters)
// from which on custom data is referred to: the function's own, then one per parameter.
constexpr size_t FixedFunctionRecord = 24, FunctionCustomDataField = 6;
constexpr int32_t FunctionHasCustomData = 0x80;
constexpr size_t VariableCustomDataField = 3;
constexpr size_t ReferenceRecord = 16, ReferenceCustomData = 8;

void ClearOptionalFields(uint8_t* record, size_t fixed, size_t optionalBytes, size_t from)
{
    for (size_t field = from; field < optionalBytes / 4; ++field)
        TypeLibFile::Write32(record + fixed + 4 * field, -1);
}

// Every reference into the custom data segments goes, then the segments themselves.
void DropCustomData(TypeLibFile& library)
{
    TypeLibFile::Write32(library.Header() + TypeLibFile::LibraryCustomDataField, -1);
    std::vector<uint8_t>& references = library.SegmentBytes(TypeLibFile::ReferenceTable);
    for (size_t at = 0; at + ReferenceRecord <= references.size(); at += ReferenceRecord)
        TypeLibFile::Write32(&references[at + ReferenceCustomData], -1);

    for (size_t type = 0; type < library.TypeCount(); ++type) {
        uint8_t* info = library.TypeInfo(type);
        TypeLibFile::Write32(info + TypeLibFile::TypeInfoField::CustomData, -1);
        std::vector<uint8_t>& block = library.Members(type);
        if (block.empty())
            continue;
        const int32_t elements = TypeLibFile::Read32(info + TypeLibFile::TypeInfoField::ElementCount);
        const size_t functions = elements & 0xFFFF, count = functions + ((elements >> 16) & 0xFFFF);
        const size_t recordBytes = static_cast<uint32_t>(TypeLibFile::Read32(block.data()));
        const uint8_t* offsets = block.data() + 4 + recordBytes + 4 * 2 * count;
        for (size_t i = 0; i < count; ++i) {
            const int32_t offset = TypeLibFile::Read32(offsets + 4 * i);
            const size_t fixed = i < functions ? FixedFunctionRecord : FixedVariableRecord;
            if (offset < 0 || static_cast<size_t>(offset) + fixed > recordBytes)
                throw TypeLibFormatError("bad member record");
            uint8_t* record = block.data() + 4 + offset;
            const size_t size = TypeLibFile::Read32(record) & 0xFFFF;
            if (size < fixed || offset + size > recordBytes)
                throw TypeLibFormatError("bad member record");
            if (i < functions) {
                const size_t parameters = static_cast<uint16_t>(record[20] | record[21] << 8);
                if (size < fixed + 12 * parameters)
                    throw TypeLibFormatError("bad function record");
                TypeLibFile::Write32(record + 16, TypeLibFile::Read32(record + 16) & ~FunctionHasCustomData);
                ClearOptionalFields(record, fixed, size - fixed - 12 * parameters, FunctionCustomDataField);
            } else {
                const size_t optional = std::min(size - fixed, 4 * (VariableCustomDataField + 1));
                ClearOptionalFields(record, fixed, optional, VariableCustomDataField);
            }
        }
    }
    library.DropSegment(TypeLibFile::CustomData);
    library.DropSegment(TypeLibFile::CustomDataGuids);
}

void Finish(TypeLibFile& library)
{
    DropCustomData(library);
    for (size_t i = 0; i < library.TypeCount(); ++i) {
        uint8_t* info = library.TypeInfo(i);
        const int kind = library.Kind(i);
        if (kind == KindEnum)
            NameEnumerationConstants(library, i);
        if (kind == KindDispatch && !(TypeLibFile::Read32(info + TypeLibFile::TypeInfoField::Flags) & DualFlag)) {
            info[TypeLibFile::TypeInfoField::ImplTypeCount] = 0;
            info[TypeLibFile::TypeInfoField::ImplTypeCount + 1] = 0;
        }
    }
    std::vector<size_t> order(library.TypeCount());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_partition(order.begin(), order.end(), [&](size_t i) { return library.Kind(i) != KindEnum; });
    library.Reorder(order);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: finish-typelib <compiled library> <finished library>\n", stderr);
        return 64;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in)
            throw std::runtime_error(std::string("cannot read ") + argv[1]);
        TypeLibFile library(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
        Finish(library);
        const std::vector<uint8_t> bytes = library.Serialise();
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "finish-typelib: %s\n", error.what());
        return 1;
    }
    return 0;
}
