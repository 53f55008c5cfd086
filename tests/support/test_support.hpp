#pragma once

// Scaffolding shared by the test suites: fresh directories, whole-file reads and writes, and
// paths as the UTF-8 text the core takes.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace quentra::test_support {

namespace fs = std::filesystem;

// A path as UTF-8 text, and back: the core takes paths as UTF-8 on every platform, where a
// plain string would be the ANSI code page on Windows.
std::string utf8(const fs::path& path);
fs::path fromUtf8(std::string_view text);

// Whole files; both throw std::runtime_error when the file cannot be opened or written.
std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, std::string_view bytes);
// The names in a directory.
std::set<std::string> entries(const fs::path& dir);
// A file of `length` bytes (a sparse one where the file system allows).
void makeFileOfLength(const fs::path& path, std::uintmax_t length);
// The keys and values of one section of an INI file, as plainly as a reader splits them.
std::map<std::string, std::string> readSection(const fs::path& path,
                                               const std::string& section = "FILE INFO");

// A text as UTF-16 bytes, little-endian unless `bigEndian`: from code units (a lone surrogate
// among them), or from UTF-8 (a surrogate in its three-byte form stays one unit). Written
// here rather than by the code under test, so that a fault there cannot hide in both.
std::string utf16Bytes(std::u16string_view units, bool bigEndian = false);
std::string utf16Bytes(std::string_view utf8, bool bigEndian = false);
// The same after the byte-order mark: a UTF-16 file.
std::string utf16File(std::u16string_view units, bool bigEndian = false);
std::string utf16File(std::string_view utf8, bool bigEndian = false);

#ifndef _WIN32
// The user "nobody": who runs a test's child when the write bits must bind (root ignores them).
inline constexpr unsigned kOrdinaryUser = 65534;
// In a child run by root: drops every privilege for the ordinary user's; false when refused.
bool becomeTheOrdinaryUser();
// Runs `body` in a forked child and gives its exit status (4 when it threw, 128 + the signal
// that killed it).
int inChild(const std::function<int()>& body);
#endif

// A fresh, empty directory of its own, removed with everything in it: write permissions and
// read-only attributes that a test set are undone first.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    // The directory as the window takes it: UTF-8, ending in a separator.
    std::string appDir() const;
    fs::path config() const { return path_ / "Config.dat"; }

private:
    fs::path path_;
};

// A fixture with a fresh directory per test: `dir_`, the same as `appDir_`, and `file_`, the
// Config.dat in it (not created).
class TempDirTest : public ::testing::Test {
protected:
    TempDir temp_;
    fs::path dir_ = temp_.path();
    std::string appDir_ = temp_.appDir();
    fs::path file_ = temp_.config();
};

} // namespace quentra::test_support
