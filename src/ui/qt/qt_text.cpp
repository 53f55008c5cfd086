#include "ui/qt/qt_text.hpp"

#include "core/text_encoding.hpp"

#include <bit>

namespace quentra::ui {

namespace {

constexpr core::ByteOrder kNativeOrder =
    std::endian::native == std::endian::little ? core::ByteOrder::Little : core::ByteOrder::Big;

} // namespace

QString fromJobText(std::string_view text) {
    std::string units;
    core::appendUtf16FromUtf8(units, text, kNativeOrder);
    return QString(reinterpret_cast<const QChar*>(units.data()),
                   static_cast<qsizetype>(units.size() / 2));
}

std::string toJobText(const QString& text) {
    std::string out;
    core::appendUtf8FromUtf16(out,
                              std::string_view(reinterpret_cast<const char*>(text.utf16()),
                                               static_cast<std::size_t>(text.size()) * 2),
                              kNativeOrder);
    return out;
}

} // namespace quentra::ui
