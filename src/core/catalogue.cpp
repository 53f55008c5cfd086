#include "core/catalogue.hpp"

namespace quentra::core {

std::int16_t codeForIndex(std::int64_t index) {
    return index >= 0 && index < kUnknownIndex
               ? kCatalogue[static_cast<std::size_t>(index)].typeCode
               : std::int16_t{0};
}

std::int16_t indexForCode(std::int64_t code) {
    // Row 31's code 0 is not a code of its own: 0 falls through to "Unknown" like any other.
    for (std::size_t i = 0; i < kUnknownIndex; ++i) {
        if (kCatalogue[i].typeCode == code) {
            return kCatalogue[i].index;
        }
    }
    return kUnknownIndex;
}

std::int16_t indexForPrefix(std::string_view upperPrefix) {
    for (const ModuleTypeEntry& entry : kCatalogue) {
        for (std::string_view prefix : entry.prefixes) {
            if (!prefix.empty() && prefix == upperPrefix) {
                return entry.index;
            }
        }
    }
    return kUnknownIndex;
}

std::array<std::string_view, kCatalogueSize> displayNames() {
    std::array<std::string_view, kCatalogueSize> names{};
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        names[i] = kCatalogue[i].displayName;
    }
    return names;
}

} // namespace quentra::core
