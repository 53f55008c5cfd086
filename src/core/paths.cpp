#include "core/paths.hpp"

namespace quentra::core {

SplitPath splitPath(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isPathSeparator(path[i - 1])) {
            return {path.substr(0, i), path.substr(i)};
        }
    }
    return {std::string_view(), path};
}

std::string directoryOf(std::string_view path) {
    const std::string_view directory = splitPath(path).directory;
    return std::string(directory.empty() ? "." : directory);
}

std::string withTrailingSeparator(std::string dir) {
    if (dir.empty()) {
        // No directory at all is the current one; a bare separator would be the root instead.
        dir.assign(1, '.');
    }
    if (!isPathSeparator(dir.back())) {
        dir.push_back(kPathSeparator);
    }
    return dir;
}

std::string configFilePath(std::string_view appDir) {
    std::string path(appDir);
    // AppDir always ends in a separator; a caller's bare directory must not glue the names.
    if (!path.empty() && !isPathSeparator(path.back())) {
        path.push_back(kPathSeparator);
    }
    path += kConfigFileName;
    return path;
}

} // namespace quentra::core
