#pragma once

#include "file_system.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quentra::core {

enum class AnalysisOutcome {
    Complete,
    StoppedAtLength, // the length could not be read: length and later fields unset
    StoppedAtPrefix, // the short name holds neither "_" nor ".": prefix and index unset
};

// The result of analysing a chosen firmware path; fields after the stop are unset.
struct FirmwareFileInfo {
    std::string fullPath;
    std::string shortName;
    std::optional<std::int32_t> length;
    std::optional<std::string> lengthText;
    std::optional<std::string> blockSizeText;
    std::optional<std::string> prefix; // upper-cased
    std::optional<std::int16_t> catalogueIndex;
    AnalysisOutcome outcome = AnalysisOutcome::Complete;
};

inline constexpr std::int32_t kMaxBlockSize = 65536;

// The text after the last path separator, or the whole path when it holds none.
std::string_view shortNameForPath(std::string_view fullPath);

// "65536" for lengths above 65536, otherwise the length's own decimal text.
std::string blockSizeForLength(std::int32_t length);

// The text before the last "_"; without "_", the text before the last "."; nothing when the
// short name holds neither.
std::optional<std::string_view> prefixForShortName(std::string_view shortName);

// Upper-cases the letters a to z; every other byte is kept.
std::string toUpperAscii(std::string_view text);

enum class AnalysisStep {
    ShortName, // shortName known
    Length,    // length, lengthText and blockSizeText known
    Prefix,    // prefix and catalogueIndex known
};

// Walks the steps in order and stops at the first that cannot complete. `passOn`, when given,
// receives the result so far after each completed step and before the next one starts, so that
// a caller can show each result even when a later step fails; an exception from it ends the
// walk.
FirmwareFileInfo analyseFirmwareFile(
    const std::string& fullPath, FileSystem& fs,
    const std::function<void(AnalysisStep, const FirmwareFileInfo&)>& passOn = nullptr);

} // namespace quentra::core
