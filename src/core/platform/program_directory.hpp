#pragma once

#include <string>

namespace quentra::core {

// The directory that holds the running program's executable, in UTF-8, as the system reports it
// (long paths included), ending in its separator: "C:\Tools\", or "C:\" for a drive root. Throws
// std::runtime_error when the system cannot say.
std::string programDirectory();

} // namespace quentra::core
