#pragma once

#include <string>
#include <string_view>

namespace quentra::core {

// The platform's own separator: "\" on Windows, "/" elsewhere; and whether a character
// separates path components here ("\" and "/" on Windows, "/" elsewhere). Both are defined
// in platform/path_separator_posix.cpp or platform/path_separator_windows.cpp.
extern const char kPathSeparator;
bool isPathSeparator(char c);

// A path split after its last separator: `directory` keeps that separator ("" when there is
// none), `name` is the rest (the short name of a file).
struct SplitPath {
    std::string_view directory;
    std::string_view name;
};
SplitPath splitPath(std::string_view path);

// The directory that holds `path`: its directory part, separator kept, or "." (the current
// directory) when it has none.
std::string directoryOf(std::string_view path);

// The program's directory as the window keeps it: always ending in a separator, a root
// directory (which already ends in one) unchanged.
std::string withTrailingSeparator(std::string dir);

inline constexpr std::string_view kConfigFileName = "Config.dat";

// AppDir followed by "Config.dat".
std::string configFilePath(std::string_view appDir);

} // namespace quentra::core
