#pragma once

// Test helpers of the window tests, toolkit-free: a temporary AppDir, files of a given length
// and a reader of the written Config.dat.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace quentra::ui::testing {

// A fresh directory that is removed again with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The directory as the window takes it, ending in a separator.
    std::string appDir() const;
    std::filesystem::path config() const { return path_ / "Config.dat"; }

private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);
// Creates a file of `length` bytes (content never matters to the tool).
void makeFileOfLength(const std::filesystem::path& path, std::uintmax_t length);

// The keys of section "FILE INFO" of an initialization file, with their texts.
std::map<std::string, std::string> readSection(const std::filesystem::path& path,
                                               const std::string& section = "FILE INFO");

} // namespace quentra::ui::testing
