#pragma once

#include <string>
#include <string_view>

namespace quentra::core {

// Windows only. The core and the model speak UTF-8; the wide Win32 functions UTF-16. Invalid input
// becomes U+FFFD rather than being dropped; an unpaired surrogate goes both ways unchanged.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

} // namespace quentra::core
