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
};

// The names and prefixes differ on purpose in several rows (hyphens, "COntrol", rows 17 and 18
// swapped); the stored jobs and the firmware file names depend on them exactly as they are.
inline constexpr auto kCatalogue = std::to_array<ModuleTypeEntry>({
    {0, "VXO12", 7220, {"VXO-12", ""}},
    {1, "VXA12", 7210, {"VXA-12", ""}},
    {2, "PLM12", 2101, {"PLM12E", ""}},
    {3, "HTB24E", 2020, {"HTB24E", ""}},
    {4, "VRN12", 6010, {"VRN12", ""}},
    {5, "ONDA", 6020, {"OCHASSIS", ""}},
    {6, "ONDAMAJOR", 6021, {"OMAJOR", "ONDAMAJOR"}},
    {7, "ONDALEGACY", 6022, {"OLEGACY", ""}},
    {8, "VTL", 6050, {"VTL", ""}},
    {9, "VWL", 6060, {"VWL", ""}},
    {10, "GRF", 2301, {"GRF", ""}},
    {11, "GRF1800", 2310, {"GRF1800", ""}},
    {12, "VPQ-D", 5011, {"VPQ-D", ""}},
    {13, "VPQ-A", 5010, {"VPQ-A", "VPQ"}},
    {14, "Corvane Input", 3601, {"CORVANEINPUT", ""}},
    {15, "Corvane Return", 3605, {"CORVANERETURN", ""}},
    {16, "Corvane Control Room Monitor", 3610, {"CORVANECRM", ""}},
    {17, "Corvane Remote Control", 3612, {"CORVANESTUDIO", ""}},
    {18, "Corvane Studio Monitor", 3616, {"CORVANEREMTCNTRL", ""}},
    {19, "Corvane Console COntrol", 3620, {"CORVANECCM", ""}},
    {20, "TZ Input", 3631, {"TZINPUT", ""}},
    {21, "TZ Control Room Monitor", 3635, {"TZCRM", ""}},
    {22, "TZ Console COntrol", 3640, {"TZCCM", ""}},
    {23, "Basalt Input", 3632, {"BASALTIN", ""}},
    {24, "MWB6", 3671, {"MWB6", ""}},
    {25, "Lectern", 3650, {"LECTERN", ""}},
    {26, "MWA", 3699, {"MWA", ""}},
    {27, "DXR24", 3550, {"DXR24", ""}},
    {28, "HX-12", 3180, {"HX12", ""}},
    {29, "HXM-60", 3698, {"HXM60", ""}},
    {30, "HX24A", 3125, {"HX24A", ""}},
    {31, "Unknown", 0, {"", ""}},
});

inline constexpr std::size_t kCatalogueSize = kCatalogue.size();
// The last row: "Unknown", code 0, no prefix.
inline constexpr auto kUnknownIndex = static_cast<std::int16_t>(kCatalogueSize - 1);

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
