#pragma once

#include "config_store.hpp"
#include "file_system.hpp"
#include "job_field.hpp"

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quentra::core {

inline constexpr std::string_view kSectionName = "FILE INFO";
inline constexpr int kPortCount = 16;
inline constexpr int kAddressColumns = 4;
inline constexpr int kBoxCount = kPortCount * kAddressColumns;

// Bit c set: address column c of the port is selected. 0..15 for masks built from the grid.
using PortMask = std::int32_t;

// Box of grid port p (0..15) in address column c (0..3).
constexpr int boxIndex(int port, int column) {
    return port * kAddressColumns + column;
}

// "Port #1" .. "Port #16" for port numbers 1..16.
std::string portKey(int portNumber);

// One upgrade job as stored in section "FILE INFO".
struct UpgradeSettings {
    std::int32_t type = 0;
    std::int32_t address = 0;
    std::int32_t fileLength = 0;
    std::int32_t blockSize = 0;
    std::string fileName;
    std::int32_t wait = 0;
    std::int32_t console = 0;
    std::array<PortMask, kPortCount> portMasks{};
};

// What the window's controls hold: the texts of the seven text boxes and the 64 box states
// (1 ticked, 0 unticked, anything else counts as unticked).
struct JobControls {
    JobTexts<std::string> texts;
    std::array<int, kBoxCount> boxStates{};
};

// A control value that cannot be stored, and the field that holds it.
struct InvalidValueError : std::runtime_error {
    InvalidValueError(JobField field, const std::string& what)
        : std::runtime_error(what), field(field) {}
    JobField field;
};

// The save-time rules: parse, round, apply the "Address" and "Console" limits, build the masks.
// Throws InvalidValueError for a number outside the signed 32-bit range or a file name that
// holds a line break or NUL or is not UTF-8, so that nothing is written for a job that cannot be
// stored whole.
UpgradeSettings settingsFromControls(const JobControls& controls);

// The 48 puts of a save, in their fixed order. Does not commit.
void saveSettings(ConfigStore& store, std::string_view appDir, const UpgradeSettings& settings);

// What load gives the window to apply. Texts that are not set leave their box as it is;
// the window writes the type's text before it sets `listIndex`.
struct LoadedJob {
    JobTexts<std::optional<std::string>> texts;
    std::int16_t listIndex = 9;
    std::bitset<kBoxCount> ticked;
    bool fromFile = false;
    std::optional<std::string> readError; // set when Config.dat existed but could not be read
};

// Reads Config.dat from `appDir` through the store, or gives the defaults when no ordinary file
// of that name exists (the store is then not touched).
LoadedJob loadSettings(ConfigStore& store, FileSystem& fs, std::string_view appDir);

} // namespace quentra::core
