// What Select derives from a chosen path and length, on arbitrary paths and lengths.

#include "core/catalogue.hpp"
#include "core/firmware.hpp"
#include "core/paths.hpp"
#include "fuzz_check.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

using namespace quentra::core;

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    std::uint32_t raw = 0;
    std::memcpy(&raw, data, sizeof raw);
    const auto length = static_cast<std::int32_t>(raw);
    // Byte 4 is no longer read; it stays so that the corpus keeps its meaning.
    const std::string path(reinterpret_cast<const char*>(data) + 5, size - 5);

    // The short name: the text after the last separator, which it does not contain.
    std::size_t cut = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (isPathSeparator(path[i])) {
            cut = i + 1;
        }
    }
    const std::string_view name = shortNameForPath(path);
    FUZZ_CHECK(name == path.substr(cut), "short name %s", std::string(name).c_str());

    const std::int32_t block = length > 65536 ? 65536 : length;
    FUZZ_CHECK(blockSizeForLength(length) == std::to_string(block), "block size text for %d",
               static_cast<int>(length));

    std::size_t sep = name.rfind('_');
    if (sep == std::string::npos) {
        sep = name.rfind('.');
    }
    const auto found = prefixForShortName(name);
    if (sep == std::string::npos) {
        FUZZ_CHECK(!found, "prefix found without separator");
        return 0;
    }
    FUZZ_CHECK(found && *found == name.substr(0, sep), "prefix");
    const std::string prefix = toUpperAscii(*found);
    FUZZ_CHECK(prefix == upper(name.substr(0, sep)), "upper-cased prefix");
    const std::int16_t index = indexForPrefix(prefix);
    FUZZ_CHECK(index >= 0 && index < static_cast<std::int16_t>(kCatalogueSize), "index %d",
               static_cast<int>(index));
    // A row is named only when one of its prefixes is the whole upper-cased prefix, and the
    // first such row wins.
    std::int16_t expected = kUnknownIndex;
    for (const ModuleTypeEntry& row : kCatalogue) {
        for (std::string_view name : row.prefixes) {
            if (expected == kUnknownIndex && !name.empty() && name == prefix) {
                expected = row.index;
            }
        }
    }
    FUZZ_CHECK(index == expected, "index %d for %s, expected %d", static_cast<int>(index),
               prefix.c_str(), static_cast<int>(expected));
    return 0;
}
