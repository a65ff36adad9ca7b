#include "LibraryMachine.h"

namespace {

uint32_t Little(const uint8_t* bytes, size_t count)
{
    uint32_t value = 0;
    for (size_t i = count; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

}  // namespace

std::optional<uint16_t> LibraryMachine(const FileReader& read)
{
    // The DOS header: "MZ", and at 0x3C the offset of the image's signature.
    uint8_t dos[0x40];
    if (read(0, dos, sizeof dos) != sizeof dos || dos[0] != 'M' || dos[1] != 'Z')
        return std::nullopt;
    // "PE\0\0", then the file header, whose first field is the machine.
    uint8_t signature[6];
    if (read(Little(dos + 0x3C, 4), signature, sizeof signature) != sizeof signature ||
        signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 || signature[3] != 0)
        return std::nullopt;
    return static_cast<uint16_t>(Little(signature + 4, 2));
}
