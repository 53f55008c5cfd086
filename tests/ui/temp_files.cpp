#include "temp_files.hpp"

#include "core/paths.hpp"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quentra::ui::testing {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("qmu-ui-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::appDir() const {
    return core::withTrailingSeparator(path_.string());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void makeFileOfLength(const std::filesystem::path& path, std::uintmax_t length) {
    writeFile(path, "");
    std::filesystem::resize_file(path, length);
}

std::map<std::string, std::string> readSection(const std::filesystem::path& path,
                                               const std::string& section) {
    std::istringstream lines(readFile(path));
    std::map<std::string, std::string> keys;
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() == '[') {
            inSection = line == "[" + section + "]";
            continue;
        }
        const auto equals = line.find('=');
        if (inSection && equals != std::string::npos) {
            keys[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return keys;
}

} // namespace quentra::ui::testing
