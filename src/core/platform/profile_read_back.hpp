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

// The readings of a written file; `asTheConsumer` when they were made as its consumer reads it
// (Windows' profile API), not by the store's own reader.
struct ReadBack {
    bool asTheConsumer = false;
    std::vector<ConsumerReading> readings;
};

// Reads the keys of `puts` from the file at `path` in the ways its consumer does. On Windows
// through the system's profile API: GetPrivateProfileStringW for each, and
// GetPrivateProfileStringA too for a value that the system's ANSI code page holds, while the
// file is held open so that no other program can keep the API from reading it (the API gives
// a file it cannot open as one without the keys); FileInUseError (HeldFile::NewFile) when
// another program holds it past a brief wait. Elsewhere, where there is no profile API,
// through IniDocument in the system's ANSI code page.
ReadBack readAsTheConsumer(const std::string& path, std::span<const IniPut> puts);

using ConsumerReader =
    std::function<ReadBack(const std::string& path, std::span<const IniPut> puts)>;

} // namespace quentra::core
