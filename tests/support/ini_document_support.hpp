#pragma once

// What the settings-file tests share: files made from texts, and puts stored as the store does.

#include "core/ini_document.hpp"
#include "core/text_encoding.hpp"

#include <span>
#include <string>
#include <string_view>

namespace quentra::core::test_support {

inline const std::string kBom = "\xEF\xBB\xBF";

inline const IniPut kType{"FILE INFO", "Type", "7"};
inline const IniPut kWait{"FILE INFO", "Wait", "3"};

// The new bytes become the file, read afresh.
inline void storePuts(IniDocument& doc, std::span<const IniPut> puts) {
    doc = IniDocument(doc.edited(puts));
}

inline std::string utf16Be(std::string_view text) {
    std::string out = "\xFE\xFF";
    appendUtf16FromUtf8(out, text, ByteOrder::Big);
    return out;
}

} // namespace quentra::core::test_support
