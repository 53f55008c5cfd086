#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quentra::core {

// The job's values that the window holds as text, one per text box, in the order Save writes
// them. The controls, the value errors and the window's messages all name a field by this.
enum class JobField { Type, Address, FileSize, BlockSize, FileName, Wait, Console };

struct JobFieldKey {
    JobField field;
    std::string_view key; // in section "FILE INFO" of Config.dat
};

// One row per field, in the order of JobField.
inline constexpr std::array kJobFields = {
    JobFieldKey{JobField::Type, "Type"},
    JobFieldKey{JobField::Address, "Address"},
    JobFieldKey{JobField::FileSize, "File Length"},
    JobFieldKey{JobField::BlockSize, "Block Size"},
    JobFieldKey{JobField::FileName, "File Name"},
    JobFieldKey{JobField::Wait, "Wait"},
    JobFieldKey{JobField::Console, "Console"},
};

inline constexpr std::size_t kJobFieldCount = kJobFields.size();

constexpr std::string_view storedKey(JobField field) {
    return kJobFields[static_cast<std::size_t>(field)].key;
}

// One text per field, indexed by the field.
template <class Text> struct JobTexts {
    std::array<Text, kJobFieldCount> byField{};

    Text& operator[](JobField field) { return byField[static_cast<std::size_t>(field)]; }
    const Text& operator[](JobField field) const {
        return byField[static_cast<std::size_t>(field)];
    }
};

} // namespace quentra::core
