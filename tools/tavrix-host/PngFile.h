// Saves pixels as a PNG file, encoded by the Windows Imaging Component.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rows: height rows of width BGR triples (as GDI gives them), top row first, no padding.
// COM must be initialised on the calling thread.
bool WritePng(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rows);
