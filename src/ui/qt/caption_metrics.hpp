#pragma once

#include "ui/model/caption_fit.hpp"

#include <QFont>
#include <QFontMetrics>

#include <optional>

namespace quentra::ui {

class frmMain;

// The captions of frmMain measured at the window's font (size 0) and at smaller sizes of its
// family: half a point a size down to 6 points, or for a font set in pixels one pixel a size
// down to 8 pixels.
class CaptionMetrics final : public model::CaptionMeasure {
public:
    explicit CaptionMetrics(const frmMain& window);

    int sizeCount() const override;
    std::optional<int> need(const model::CaptionBox& caption, int size) override;
    QFont fontAt(int size) const;

private:
    const frmMain& window_;
    QFont base_;
    int indicator_ = 0; // what chkAll needs besides its text
    std::optional<QFontMetrics> metrics_;
    int measuredSize_ = 0;
};

} // namespace quentra::ui
