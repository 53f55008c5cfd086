// The replace itself, the same on every platform. The naming of temporary files tells which
// ones a writer killed before its rename left behind.

#include "core/platform/atomic_file.hpp"

#include "core/config_store.hpp"
#include "core/in_quotes.hpp"
#include "core/paths.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

namespace quentra::core {

namespace detail {

void fail(const std::string& what, const std::string& path, const std::string& reason) {
    throw StoreError(what + " " + inQuotes(path) + ": " + reason);
}

void failHeld(HeldFile held, const std::string& what, const std::string& path,
              const std::string& reason) {
    throw FileInUseError(what + " " + inQuotes(path) + ": " + reason, held, path);
}

bool retryFor(std::chrono::milliseconds patience, const std::function<bool()>& attempt) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (auto pause = std::chrono::milliseconds(1); !attempt();
         pause = std::min(pause * 2, std::chrono::milliseconds(20))) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
    }
    return true;
}

} // namespace detail

namespace {

// A name beside `target` that no other writer picks: "." name ".tmp-" and four groups of digits
// (process, counter, clock, attempt).
std::string temporaryNameFor(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const SplitPath parts = splitPath(target);
    const auto stamp = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return std::string(parts.directory) + "." + std::string(parts.name) + ".tmp-" +
           std::to_string(detail::currentProcessId()) + "-" + std::to_string(counter.fetch_add(1)) +
           "-" + std::to_string(stamp % 1000000) + "-" + std::to_string(attempt);
}

} // namespace

void replaceFileAtomically(const std::string& path, std::span<const std::string_view> pieces,
                           const TemporaryCheck& check) {
    const WriteTarget target = checkWriteTarget(path);
    // Closed and removed on any failure, until it is in the target's place.
    detail::OwnedFile temp(-1);
    for (unsigned attempt = 0; temp.handle == -1; ++attempt) {
        const std::string name = temporaryNameFor(target.path, attempt);
        temp.handle = detail::createTemporary(name, target, attempt < 100);
        if (temp.handle != -1) {
            temp.temporaryPath = name;
        }
    }
    detail::fill(temp.handle, target, pieces);
    if (check) {
        check(temp.temporaryPath);
    }
    detail::putInPlace(temp.temporaryPath, target.path);
    temp.temporaryPath.clear();
    detail::syncDirectoryOf(target.path); // where the rename was, behind a link too
}

void removeStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string dir = directoryOf(path);
    const std::string prefix = "." + std::string(splitPath(path).name) + ".tmp-";
    std::error_code ec;
    fs::directory_iterator it(fs::path(std::u8string(dir.begin(), dir.end())), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::u8string u8name = it->path().filename().u8string();
        const std::string_view name(reinterpret_cast<const char*>(u8name.data()), u8name.size());
        // Exactly the names temporaryNameFor makes: four groups of digits, one "-" between two.
        const std::string_view groups = name.starts_with(prefix) ? name.substr(prefix.size()) : "";
        if (std::ranges::count(groups, '-') == 3 &&
            groups.find_first_not_of("0123456789-") == std::string_view::npos &&
            groups.front() != '-' && groups.back() != '-' &&
            groups.find("--") == std::string_view::npos) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

} // namespace quentra::core
