#include "core/firmware.hpp"

#include "core/paths.hpp"

namespace quentra::core {

std::string_view shortNameForPath(std::string_view fullPath) {
    return splitPath(fullPath).name;
}

std::string blockSizeForLength(std::int32_t length) {
    return std::to_string(length > kMaxBlockSize ? kMaxBlockSize : length);
}

std::optional<std::string_view> prefixForShortName(std::string_view shortName) {
    // Any "_" wins over every ".": the revision follows the last "_" in the image names.
    std::size_t cut = shortName.rfind('_');
    if (cut == std::string_view::npos) {
        cut = shortName.rfind('.');
    }
    if (cut == std::string_view::npos) {
        return std::nullopt;
    }
    return shortName.substr(0, cut);
}

std::string toUpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

} // namespace quentra::core
