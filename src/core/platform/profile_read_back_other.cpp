// Where there is no profile API: the store's own reader, which still catches an edit that would
// not read as written.

#include "core/platform/ansi_code_page.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/profile_read_back.hpp"

namespace quentra::core {

ReadBack readAsTheConsumer(const std::string& path, std::span<const IniPut> puts) {
    const IniDocument document(readFileIfExists(path).bytes, systemAnsiCodePage());
    ReadBack back;
    back.readings.reserve(puts.size());
    for (std::size_t i = 0; i < puts.size(); ++i) {
        back.readings.push_back({i, document.value(puts[i].section, puts[i].key)});
    }
    return back;
}

} // namespace quentra::core
