// The replace itself, the same on every platform: write a temporary file beside the target,
// flush it, put it in the target's place, make that durable. The temporary file removes itself
// on any failure before that.

#include "core/platform/atomic_file.hpp"

#include "core/config_store.hpp"
#include "core/platform/temporary_file.hpp"

#include <algorithm>
#include <thread>

namespace quentra::core {

namespace detail {

void fail(const std::string& what, const std::string& path, const std::error_code& ec) {
    fail(what, path, ec.message());
}

void fail(const std::string& what, const std::string& path, const std::string& reason) {
    throw StoreError(what + " \"" + path + "\": " + reason);
}

bool waitForLock(const std::function<bool()>& tryLock, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (tryLock()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

} // namespace detail

void replaceFileAtomically(const std::string& path, std::span<const std::string_view> pieces) {
    detail::TemporaryFile temp(path);
    for (const std::string_view piece : pieces) {
        temp.write(piece);
    }
    temp.flush();
    temp.commit();
    detail::syncDirectoryOf(path);
}

} // namespace quentra::core
