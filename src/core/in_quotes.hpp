#pragma once

#include <string>
#include <string_view>

namespace quentra::core {

// `text` in double quotes, as messages show a name, a path or a value. Not named `quoted`: for a
// std::string, argument-dependent lookup would pick std::quoted (an output manipulator) instead.
inline std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

} // namespace quentra::core
