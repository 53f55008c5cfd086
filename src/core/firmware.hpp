#pragma once

// What Select derives from a chosen firmware image: its name, its block size, the prefix that
// names its module. The image's content is never read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quentra::core {

inline constexpr std::int32_t kMaxBlockSize = 65536;

// The text after the last path separator, or the whole path when it holds none.
std::string_view shortNameForPath(std::string_view fullPath);

// "65536" for lengths above 65536, otherwise the length's own decimal text.
std::string blockSizeForLength(std::int32_t length);

// The text before the last "_"; without "_", the text before the last "."; nothing when the
// short name holds neither.
std::optional<std::string_view> prefixForShortName(std::string_view shortName);

// Upper-cases the letters a to z; every other byte is kept.
std::string toUpperAscii(std::string_view text);

} // namespace quentra::core
