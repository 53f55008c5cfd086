#include "ui/model/caption_fit.hpp"

#include <algorithm>

namespace quentra::ui::model {

CaptionFit fitCaptions(CaptionMeasure& measure) {
    const auto captions = captionBoxes();
    const int smallest = std::max(measure.sizeCount(), 1) - 1;
    CaptionFit fit;
    for (int size = 0;; ++size) {
        fit.size = size;
        fit.whole = true;
        for (std::size_t i = 0; i < captions.size(); ++i) {
            const ControlRef ref = captions.at(i).ref;
            const std::optional<int> need = measure.need(captions.at(i), size);
            const std::optional<int> width = need ? widenedCaptionWidth(ref, *need) : std::nullopt;
            fit.widths.at(i) = width.value_or(captionRoom(ref));
            fit.whole = fit.whole && width.has_value();
            // A smaller size follows: the rest of this one need not be measured.
            if (!fit.whole && size < smallest) {
                break;
            }
        }
        if (fit.whole || size == smallest) {
            return fit;
        }
    }
}

} // namespace quentra::ui::model
