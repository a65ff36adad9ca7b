// The Japanese ANSI code page (932) as the control's ANSI decoding meets it on the
// systems it serves, for the native form path: each byte that starts no valid character
// becomes U+FFFD.
#pragma once

#include <string>

std::u16string FromCodePage932(const std::string& bytes);
