#pragma once

// The font the captions are shown in, chosen alike by every view: the platform's own, unless
// some caption cannot be whole even in its widened box; then the largest smaller size at which
// every caption is whole. The view measures, the model chooses. No toolkit type here.

#include "ui/model/layout.hpp"

#include <array>
#include <optional>

namespace quentra::ui::model {

// A view's measure of the caption boxes at font sizes of its own: size 0 is the platform's font,
// each next size is one of the view's steps smaller (half a point, one pixel, one logical unit),
// and sizeCount() - 1 is the smallest the view allows.
class CaptionMeasure {
public:
    virtual ~CaptionMeasure() = default;

    // How many sizes may be tried; 1 when the platform's font is already the smallest allowed.
    virtual int sizeCount() const = 0;
    // The width in twips the box of `caption` needs to show its text whole at `size` (chkAll's
    // tick indicator included); std::nullopt when the text is taller than the box.
    virtual std::optional<int> need(const CaptionBox& caption, int size) = 0;
};

struct CaptionFit {
    int size = 0;                               // 0 keeps the platform's font
    std::array<int, kCaptionBoxCount> widths{}; // twips, in captionBoxes() order
    bool whole = false;                         // every caption is whole at `size`
};

// Tries the sizes from the platform's down and takes the first at which every caption is whole
// in its widened box. Where none is, the smallest size is taken and each box gets its need, or
// its whole room where the need is more or unknown.
CaptionFit fitCaptions(CaptionMeasure& measure);

} // namespace quentra::ui::model
