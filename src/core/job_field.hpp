#pragma once

#include <cstddef>

namespace quentra::core {

// The job's values that the window holds as text, one per text box, in the order Save writes
// them. The controls, the value errors and the window's messages all name a field by this; what
// each one is (its key, the texts Save and Load move) stands in kJobFieldRows
// (upgrade_settings.hpp), one row per field in this order.
enum class JobField { Type, Address, FileSize, BlockSize, FileName, Wait, Console };

inline constexpr std::size_t kJobFieldCount = 7;

} // namespace quentra::core
