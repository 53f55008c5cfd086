#pragma once

#include "core/text_encoding.hpp"

namespace quentra::core {

// The code page in which the system's settings-file readers read a file without a byte-order
// mark: on Windows the system's ANSI code page, elsewhere Windows-1252.
const CodePage& systemAnsiCodePage();

} // namespace quentra::core
