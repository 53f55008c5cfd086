#include "core/catalogue.hpp"

namespace quentra::core {

namespace {

// The names and prefixes differ on purpose in several rows (hyphens, "COntrol", rows 17 and 18
// swapped); the stored jobs and the firmware file names depend on them exactly as they are.
constexpr std::array<ModuleTypeEntry, kCatalogueSize> kCatalogue{{
    {0, "VXO12", 7220, {"VXO-12", ""}, 1},
    {1, "VXA12", 7210, {"VXA-12", ""}, 1},
    {2, "PLM12", 2101, {"PLM12E", ""}, 1},
    {3, "HTB24E", 2020, {"HTB24E", ""}, 1},
    {4, "VRN12", 6010, {"VRN12", ""}, 1},
    {5, "ONDA", 6020, {"OCHASSIS", ""}, 1},
    {6, "ONDAMAJOR", 6021, {"OMAJOR", "ONDAMAJOR"}, 2},
    {7, "ONDALEGACY", 6022, {"OLEGACY", ""}, 1},
    {8, "VTL", 6050, {"VTL", ""}, 1},
    {9, "VWL", 6060, {"VWL", ""}, 1},
    {10, "GRF", 2301, {"GRF", ""}, 1},
    {11, "GRF1800", 2310, {"GRF1800", ""}, 1},
    {12, "VPQ-D", 5011, {"VPQ-D", ""}, 1},
    {13, "VPQ-A", 5010, {"VPQ-A", "VPQ"}, 2},
    {14, "Corvane Input", 3601, {"CORVANEINPUT", ""}, 1},
    {15, "Corvane Return", 3605, {"CORVANERETURN", ""}, 1},
    {16, "Corvane Control Room Monitor", 3610, {"CORVANECRM", ""}, 1},
    {17, "Corvane Remote Control", 3612, {"CORVANESTUDIO", ""}, 1},
    {18, "Corvane Studio Monitor", 3616, {"CORVANEREMTCNTRL", ""}, 1},
    {19, "Corvane Console COntrol", 3620, {"CORVANECCM", ""}, 1},
    {20, "TZ Input", 3631, {"TZINPUT", ""}, 1},
    {21, "TZ Control Room Monitor", 3635, {"TZCRM", ""}, 1},
    {22, "TZ Console COntrol", 3640, {"TZCCM", ""}, 1},
    {23, "Basalt Input", 3632, {"BASALTIN", ""}, 1},
    {24, "MWB6", 3671, {"MWB6", ""}, 1},
    {25, "Lectern", 3650, {"LECTERN", ""}, 1},
    {26, "MWA", 3699, {"MWA", ""}, 1},
    {27, "DXR24", 3550, {"DXR24", ""}, 1},
    {28, "HX-12", 3180, {"HX12", ""}, 1},
    {29, "HXM-60", 3698, {"HXM60", ""}, 1},
    {30, "HX24A", 3125, {"HX24A", ""}, 1},
    {31, "Unknown", 0, {"", ""}, 0},
}};

} // namespace

const std::array<ModuleTypeEntry, kCatalogueSize>& catalogue() {
    return kCatalogue;
}

std::int16_t codeForIndex(std::int64_t index) {
    if (index < 0 || index >= kUnknownIndex) {
        return 0;
    }
    return kCatalogue[static_cast<std::size_t>(index)].typeCode;
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
        for (std::size_t p = 0; p < entry.prefixCount; ++p) {
            if (entry.prefixes[p] == upperPrefix) {
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
