#include "support/test_support.hpp"

#include "core/paths.hpp"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quentra::test_support {

std::string utf8(const fs::path& path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

fs::path fromUtf8(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + utf8(path));
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + utf8(path));
    }
}

std::set<std::string> entries(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        out.insert(utf8(e.path().filename()));
    }
    return out;
}

std::string utf16Bytes(std::u16string_view units, bool bigEndian) {
    std::string out;
    for (const char16_t u : units) {
        const char high = static_cast<char>(u >> 8);
        const char low = static_cast<char>(u & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

std::string utf16Bytes(std::string_view utf8, bool bigEndian) {
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (c >> 10));
            units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
    }
    return utf16Bytes(units, bigEndian);
}

std::string utf16File(std::u16string_view units, bool bigEndian) {
    return (bigEndian ? "\xFE\xFF" : "\xFF\xFE") + utf16Bytes(units, bigEndian);
}

std::string utf16File(std::string_view utf8, bool bigEndian) {
    return (bigEndian ? "\xFE\xFF" : "\xFF\xFE") + utf16Bytes(utf8, bigEndian);
}

#ifndef _WIN32
bool becomeTheOrdinaryUser() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kOrdinaryUser) == 0 &&
           ::setuid(kOrdinaryUser) == 0;
}

int inChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 4;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif

TempDir::TempDir() {
    // The test's name helps whoever finds a directory left behind; the random part and the
    // counter keep parallel test processes and repeated runs apart.
    static std::atomic<unsigned> counter{0};
    std::string name = "qmu-test";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        name.append("-").append(info->test_suite_name()).append("-").append(info->name());
    }
    for (char& c : name) {
        if (c == '/' || c == '\\') {
            c = '_';
        }
    }
    std::random_device random;
    name.append("-").append(std::to_string(random())).append("-");
    name.append(std::to_string(counter.fetch_add(1)));
    path_ = fs::temp_directory_path() / name;
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
#ifdef _WIN32
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
#else
        std::error_code ignored;
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
#endif
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::appDir() const {
    return core::withTrailingSeparator(utf8(path_));
}

void makeFileOfLength(const fs::path& path, std::uintmax_t length) {
    writeFile(path, "");
    fs::resize_file(path, length);
}

std::map<std::string, std::string> readSection(const fs::path& path, const std::string& section) {
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

} // namespace quentra::test_support
