// Writes 24-bit RGB pixels as a PNG file (stored, uncompressed deflate blocks).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rows: height rows of width RGB triples, top row first.
bool WritePng(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rows);
