#include "core/platform/ansi_code_page.hpp"

namespace quentra::core {

// Off Windows there is no system code page that the file's consumer reads by; Windows-1252 is
// what it reads on a Western system, and our own table keeps the machine's locale out of it.
const CodePage& systemAnsiCodePage() {
    return windows1252();
}

} // namespace quentra::core
