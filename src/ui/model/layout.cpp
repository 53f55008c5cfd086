#include "ui/model/layout.hpp"

#include "core/upgrade_settings.hpp"

#include <algorithm>
#include <stdexcept>

namespace quentra::ui::model {

namespace {

// Whether two designed boxes share some of their rows.
bool overlapVertically(const DesignedControl& a, const DesignedControl& b) {
    return b.top < a.top + a.height && b.top + b.height > a.top;
}

} // namespace

const DesignedControl& designOf(ControlRef ref) {
    // Created members are copies of member 0 of their array.
    if (ref.control == Control::lblPort || (ref.control == Control::ChkAddr && ref.index >= 4)) {
        ref.index = ref.control == Control::lblPort ? 0 : ref.index % core::kAddressColumns;
    }
    for (const DesignedControl& row : kDesignedControls) {
        if (row.ref == ref) {
            return row;
        }
    }
    throw std::out_of_range("no designed control " + controlName(ref));
}

const DesignedControl& textBoxOf(core::JobField field) {
    for (const DesignedControl& row : kDesignedControls) {
        if (row.field == field) {
            return row;
        }
    }
    throw std::out_of_range("no text box for a job field");
}

// A text box is read by the caption of the label beside it.
std::string_view fieldCaption(core::JobField field) {
    return textBoxOf(field).accessibleName;
}

std::array<ControlRef, kFocusStopCount> designedFocusOrder() {
    std::array<const DesignedControl*, kDesignedControls.size()> rows{};
    std::transform(kDesignedControls.begin(), kDesignedControls.end(), rows.begin(),
                   [](const DesignedControl& row) { return &row; });
    std::sort(rows.begin(), rows.end(), [](const DesignedControl* a, const DesignedControl* b) {
        return a->focus < b->focus;
    });
    std::array<ControlRef, kFocusStopCount> order{};
    std::size_t n = 0;
    for (const DesignedControl* row : rows) {
        if (row->kind != ControlKind::Label) {
            order.at(n++) = row->ref;
        }
    }
    return order;
}

std::string controlName(ControlRef ref) {
    switch (ref.control) {
    case Control::LblAddr:
        return "LblAddr(" + std::to_string(ref.index) + ")";
    case Control::lblPort:
        return "lblPort(" + std::to_string(ref.index) + ")";
    case Control::ChkAddr:
        return "ChkAddr(" + std::to_string(ref.index) + ")";
    default:
        return std::string(designOf(ref).name);
    }
}

std::string portCaption(int port) {
    return core::portKey(port + 1);
}

std::string gridBoxAccessibleName(int box) {
    return portCaption(box / core::kAddressColumns) + " A" +
           std::to_string(box % core::kAddressColumns);
}

std::array<CaptionBox, kCaptionBoxCount> captionBoxes() {
    static const std::string widestPort = portCaption(core::kPortCount - 1);
    std::array<CaptionBox, kCaptionBoxCount> boxes{};
    std::size_t n = 0;
    for (const DesignedControl& row : kDesignedControls) {
        if (row.kind == ControlKind::Label) {
            boxes.at(n++) = {row.ref, row.ref.control == Control::lblPort ? widestPort : row.text};
        }
    }
    boxes.at(n++) = {{Control::chkAll}, designOf({Control::chkAll}).text};
    return boxes;
}

int captionRoom(ControlRef ref) {
    const DesignedControl& own = designOf(ref);
    int limit = kClientWidth;
    for (const DesignedControl& other : kDesignedControls) {
        if (!(other.ref == own.ref) && other.left >= own.left + own.width &&
            overlapVertically(own, other)) {
            limit = std::min(limit, other.left - kCaptionGap);
        }
    }
    return std::max(own.width, limit - own.left);
}

std::optional<int> widenedCaptionWidth(ControlRef ref, int neededTwips) {
    if (neededTwips > captionRoom(ref)) {
        return std::nullopt;
    }
    return std::max(neededTwips, designOf(ref).width);
}

} // namespace quentra::ui::model
