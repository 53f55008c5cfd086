// The names of the temporary files a replace writes, and the removal of those that a writer
// killed before its rename left behind: the two sides of one naming rule.

#include "core/paths.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/temporary_file.hpp"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

namespace quentra::core {

namespace detail {

std::string temporaryNameFor(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const SplitPath parts = splitPath(target);
    const auto stamp = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::string name(parts.directory);
    name.append(".").append(parts.name).append(".tmp-");
    name.append(std::to_string(currentProcessId())).append("-");
    name.append(std::to_string(counter.fetch_add(1))).append("-");
    name.append(std::to_string(stamp % 1000000)).append("-");
    name.append(std::to_string(attempt));
    return name;
}

bool isTemporaryOf(std::string_view name, std::string_view base) {
    std::string prefix = ".";
    prefix.append(base).append(".tmp-");
    if (!name.starts_with(prefix)) {
        return false;
    }
    name.remove_prefix(prefix.size());
    int groups = 0;
    while (!name.empty()) {
        std::size_t digits = 0;
        while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') {
            ++digits;
        }
        if (digits == 0) {
            return false;
        }
        ++groups;
        name.remove_prefix(digits);
        if (!name.empty()) {
            if (name.front() != '-') {
                return false;
            }
            name.remove_prefix(1);
            if (name.empty()) {
                return false;
            }
        }
    }
    return groups == 4;
}

} // namespace detail

void removeStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const SplitPath parts = splitPath(path);
    const std::string_view dir = parts.directory.empty() ? "." : parts.directory;
    std::error_code ec;
    fs::directory_iterator it(fs::path(std::u8string(dir.begin(), dir.end())), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::u8string name = it->path().filename().u8string();
        if (detail::isTemporaryOf(
                std::string_view(reinterpret_cast<const char*>(name.data()), name.size()),
                parts.name)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

} // namespace quentra::core
