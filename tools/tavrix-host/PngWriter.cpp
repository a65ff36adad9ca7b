#include "PngWriter.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace {

uint32_t Crc32(const uint8_t* bytes, size_t count, uint32_t crc = 0)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < count; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void BigEndian(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void Chunk(std::vector<uint8_t>& file, const char* type, const std::vector<uint8_t>& data)
{
    BigEndian(file, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    file.insert(file.end(), body.begin(), body.end());
    BigEndian(file, Crc32(body.data(), body.size()));
}

}  // namespace

bool WritePng(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rows)
{
    // Each row gets filter byte 0; the whole goes into stored deflate blocks.
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rows.begin() + static_cast<size_t>(y) * width * 3,
                   rows.begin() + static_cast<size_t>(y + 1) * width * 3);
    }
    std::vector<uint8_t> deflate = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t offset = 0; offset < raw.size() || offset == 0; offset += 65535) {
        const size_t length = std::min<size_t>(65535, raw.size() - offset);
        deflate.push_back(offset + length >= raw.size() ? 1 : 0);
        deflate.push_back(static_cast<uint8_t>(length));
        deflate.push_back(static_cast<uint8_t>(length >> 8));
        deflate.push_back(static_cast<uint8_t>(~length));
        deflate.push_back(static_cast<uint8_t>(~length >> 8));
        deflate.insert(deflate.end(), raw.begin() + offset, raw.begin() + offset + length);
        if (raw.empty())
            break;
    }
    BigEndian(deflate, (b << 16) | a);

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    BigEndian(header, static_cast<uint32_t>(width));
    BigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
    Chunk(file, "IHDR", header);
    Chunk(file, "IDAT", deflate);
    Chunk(file, "IEND", {});
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}
