// Which processor a Windows library file was built for, read from its image header. A 64-bit
// process can load only a 64-bit library and a 32-bit one only a 32-bit library, so the
// binding passes over a file built for another processor instead of letting it hide the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

// The machine values of the image file header that the control meets.
constexpr uint16_t MachineI386 = 0x014C;
constexpr uint16_t MachineAmd64 = 0x8664;

// The machine of the process this code runs in.
#if defined(_WIN64) || defined(__x86_64__)
constexpr uint16_t ProcessMachine = MachineAmd64;
#else
constexpr uint16_t ProcessMachine = MachineI386;
#endif

// Reads up to count bytes of the file from offset into bytes; gives how many it read.
using FileReader = std::function<size_t(uint64_t offset, uint8_t* bytes, size_t count)>;

// The machine field of the file's image header; none when the bytes are not an image
// (no "MZ" header, or no "PE" signature where it points).
std::optional<uint16_t> LibraryMachine(const FileReader& read);
