#pragma once

#include <string>
#include <string_view>

namespace quentra::core {

// `text` in double quotes, as messages show a name, a path or a value.
inline std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

} // namespace quentra::core
