#pragma once

// Texts between the design and the job (UTF-8) and Qt (UTF-16).

#include <QString>

#include <string>
#include <string_view>

namespace quentra::ui {

// A design text: captions, names, titles.
inline QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A job's texts may hold an unpaired surrogate read from a UTF-16 Config.dat, which Qt's own
// UTF-8 conversions would turn into U+FFFD: these keep it as its unit.
QString fromJobText(std::string_view text);
std::string toJobText(const QString& text);

} // namespace quentra::ui
