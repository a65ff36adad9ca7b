// The component names of the forms alive in this process: no two alike, without regard to case.
#pragma once

#include <string>

namespace FormNames {
// Gives owner the wanted name, or the wanted name followed by "_1", "_2" and so on, the
// first that no other owner holds; replaces the name owner held before.
std::u16string Claim(const void* owner, const std::u16string& wanted);
void Release(const void* owner);
}  // namespace FormNames
