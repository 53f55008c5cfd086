#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quentra::core {

// One row of the fixed module catalogue. The index is also the row's position in the module list.
struct ModuleTypeEntry {
    std::int16_t index;
    std::string_view displayName;
    std::int16_t typeCode;
    std::array<std::string_view, 2> prefixes; // upper-case; unused slots are empty
    std::size_t prefixCount;
};

inline constexpr std::size_t kCatalogueSize = 32;
inline constexpr std::int16_t kUnknownIndex = 31; // "Unknown", code 0, no prefix

const std::array<ModuleTypeEntry, kCatalogueSize>& catalogue();

// Type code of rows 0..30; 0 for row 31, for -1 (no selection) and for any other value.
std::int16_t codeForIndex(std::int64_t index);

// Index of the row among 0..30 whose code equals `code`; 31 for any other value, 0 included.
// Takes a wide integer so that a stored code beyond 16 bits simply matches no row.
std::int16_t indexForCode(std::int64_t code);

// Index of the first row one of whose prefixes equals `upperPrefix` exactly; 31 when none does.
std::int16_t indexForPrefix(std::string_view upperPrefix);

// The 32 texts of the module list in index order.
std::array<std::string_view, kCatalogueSize> displayNames();

} // namespace quentra::core
