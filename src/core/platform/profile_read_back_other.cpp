// Where there is no profile API: the store's own reader, which still catches an edit that would
// not read as written.

#include "core/platform/ansi_code_page.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/profile_read_back.hpp"

namespace quentra::core {

std::vector<ConsumerReading> readAsTheConsumer(const std::string& path,
                                               std::span<const IniPut> puts) {
    const IniDocument document(readFileIfExists(path).bytes, systemAnsiCodePage());
    std::vector<ConsumerReading> readings;
    readings.reserve(puts.size());
    for (std::size_t i = 0; i < puts.size(); ++i) {
        readings.push_back({i, document.value(puts[i].section, puts[i].key)});
    }
    return readings;
}

} // namespace quentra::core
