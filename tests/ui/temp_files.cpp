#include "temp_files.hpp"

#include <sstream>

namespace quentra::ui::testing {

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
