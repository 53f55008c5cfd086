#pragma once

#include "core/ini_document.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quentra::core {

// One reading of a put's key from a written file, as the file's consumer reads it.
struct ConsumerReading {
    std::size_t put;                  // its index in the puts
    std::optional<std::string> value; // none when the consumer finds no such key
};

// Reads the keys of `puts` from the file at `path` in the ways its consumer does. On Windows
// through the system's profile API: GetPrivateProfileStringW for each, and
// GetPrivateProfileStringA too for a value that the system's ANSI code page holds. Elsewhere,
// where there is no profile API, through IniDocument in the system's ANSI code page.
std::vector<ConsumerReading> readAsTheConsumer(const std::string& path,
                                               std::span<const IniPut> puts);

using ConsumerReader = std::function<std::vector<ConsumerReading>(const std::string& path,
                                                                  std::span<const IniPut> puts)>;

} // namespace quentra::core
