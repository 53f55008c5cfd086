// Path components on POSIX systems: "/" alone separates them.

#include "core/paths.hpp"

namespace quentra::core {

const char kPathSeparator = '/';

bool isPathSeparator(char c) {
    return c == '/';
}

} // namespace quentra::core
