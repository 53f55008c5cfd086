#pragma once

// Test helpers of the window tests, toolkit-free: files of a given length and a reader of the
// written Config.dat; temporary directories and whole files come from tests/support.

#include "support/test_support.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace quentra::ui::testing {

using test_support::readFile;
using test_support::TempDir;
using test_support::writeFile;

// Creates a file of `length` bytes (content never matters to the tool).
void makeFileOfLength(const std::filesystem::path& path, std::uintmax_t length);

// The keys of section "FILE INFO" of an initialization file, with their texts.
std::map<std::string, std::string> readSection(const std::filesystem::path& path,
                                               const std::string& section = "FILE INFO");

} // namespace quentra::ui::testing
