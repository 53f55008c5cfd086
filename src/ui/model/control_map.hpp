#pragma once

// Where a view keeps each control: one slot per control and per member of an array, the
// controls by their value, an array's members side by side. The two arrays the grid build
// extends hold a slot for every member it creates. Both views keep one array of their own
// control type indexed by slotOf.

#include "core/upgrade_settings.hpp"
#include "ui/model/layout.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <stdexcept>

namespace quentra::ui::model {

// The members `control` has once the grid is built: those the table designs, or one per port
// and one per box for the arrays the build extends.
constexpr std::size_t memberCount(Control control) {
    switch (control) {
    case Control::lblPort:
        return core::kPortCount;
    case Control::ChkAddr:
        return core::kBoxCount;
    default:
        return static_cast<std::size_t>(std::count_if(
            kDesignedControls.begin(), kDesignedControls.end(),
            [control](const DesignedControl& row) { return row.ref.control == control; }));
    }
}

// Every control has a row for its member 0.
inline constexpr auto kControlCount = static_cast<std::size_t>(
    std::count_if(kDesignedControls.begin(), kDesignedControls.end(),
                  [](const DesignedControl& row) { return row.ref.index == 0; }));
static_assert(std::all_of(kDesignedControls.begin(), kDesignedControls.end(),
                          [](const DesignedControl& row) {
                              return static_cast<std::size_t>(row.ref.control) < kControlCount;
                          }),
              "every control has a row of the design");

// The first slot of each control by its value, and after them the number of slots.
inline constexpr std::array<std::size_t, kControlCount + 1> kFirstSlots = [] {
    std::array<std::size_t, kControlCount + 1> first{};
    for (std::size_t c = 0; c < kControlCount; ++c) {
        first.at(c + 1) = first.at(c) + memberCount(static_cast<Control>(c));
    }
    return first;
}();

inline constexpr std::size_t kSlotCount = kFirstSlots.back();

// Throws std::out_of_range for a member the control does not have (LblAddr(4), ChkAddr(64)).
constexpr std::size_t slotOf(ControlRef ref) {
    const auto control = static_cast<std::size_t>(ref.control);
    const std::size_t slot = kFirstSlots.at(control) + static_cast<std::size_t>(ref.index);
    if (ref.index < 0 || slot >= kFirstSlots.at(control + 1)) {
        throw std::out_of_range("no such member of a control array");
    }
    return slot;
}

} // namespace quentra::ui::model
