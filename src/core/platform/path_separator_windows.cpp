// Path components on Windows: "\" is the system's own separator, and "/" is taken as one too.

#include "core/paths.hpp"

namespace quentra::core {

const char kPathSeparator = '\\';

bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace quentra::core
