#include "ui/qt/caption_metrics.hpp"

#include "ui/qt/frm_main.hpp"
#include "ui/qt/qt_text.hpp"

#include <QCheckBox>

#include <algorithm>
#include <cmath>

namespace quentra::ui {

namespace {

constexpr qreal kSmallestFontPoints = 6.0;
constexpr int kSmallestFontPixels = 8;
constexpr qreal kPointStep = 0.5;

} // namespace

CaptionMetrics::CaptionMetrics(const frmMain& window) : window_(window), base_(window.font()) {
    // What the check box needs besides its text (indicator, spacing, the style's margins).
    const auto* all = window.control<QCheckBox>({model::Control::chkAll});
    indicator_ = all->sizeHint().width() -
                 QFontMetrics(all->font()).size(Qt::TextShowMnemonic, all->text()).width();
}

int CaptionMetrics::sizeCount() const {
    if (base_.pointSizeF() > 0) {
        const qreal above = base_.pointSizeF() - kSmallestFontPoints;
        return above < 0 ? 1 : static_cast<int>(std::floor(above / kPointStep)) + 1;
    }
    return std::max(base_.pixelSize() - kSmallestFontPixels, 0) + 1;
}

std::optional<int> CaptionMetrics::need(const model::CaptionBox& caption, int size) {
    if (!metrics_ || size != measuredSize_) {
        metrics_.emplace(fontAt(size));
        measuredSize_ = size;
    }
    if (metrics_->height() > window_.control(caption.ref)->height()) {
        return std::nullopt;
    }
    const int besideText = caption.ref.control == model::Control::chkAll ? indicator_ : 0;
    return twips(metrics_->size(Qt::TextShowMnemonic, fromUtf8(caption.text)).width() + besideText);
}

QFont CaptionMetrics::fontAt(int size) const {
    QFont font = base_;
    if (base_.pointSizeF() > 0) {
        font.setPointSizeF(base_.pointSizeF() - kPointStep * size);
    } else {
        font.setPixelSize(base_.pixelSize() - size);
    }
    return font;
}

} // namespace quentra::ui
