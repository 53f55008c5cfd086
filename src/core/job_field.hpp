#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quentra::core {

// The job's values that the window holds as text, one per text box, in the order Save writes
// them. The controls, the value errors and the window's messages all name a field by this.
enum class JobField {
    Type,      // txtType, key "Type"
    Address,   // txtAddress, key "Address"
    FileSize,  // txtFileSize, key "File Length"
    BlockSize, // txtBlockSize, key "Block Size"
    FileName,  // txtFileName, key "File Name"
    Wait,      // txtWait, key "Wait"
    Console,   // txtConsole, key "Console"
};

inline constexpr std::size_t kJobFieldCount = 7;

inline constexpr std::array<JobField, kJobFieldCount> kJobFields{
    JobField::Type,     JobField::Address, JobField::FileSize, JobField::BlockSize,
    JobField::FileName, JobField::Wait,    JobField::Console};

// The field's key in section "FILE INFO" of Config.dat.
constexpr std::string_view storedKey(JobField field) {
    switch (field) {
    case JobField::Type:
        return "Type";
    case JobField::Address:
        return "Address";
    case JobField::FileSize:
        return "File Length";
    case JobField::BlockSize:
        return "Block Size";
    case JobField::FileName:
        return "File Name";
    case JobField::Wait:
        return "Wait";
    case JobField::Console:
        return "Console";
    }
    return {};
}

} // namespace quentra::core
