#pragma once

// Where frmMain keeps each control's window: one slot per control and per member of an array,
// taken from the design's table in its order, an array's members side by side from the row of
// its member 0. The two arrays the grid build extends hold a slot for every member it creates.

#include "core/upgrade_settings.hpp"
#include "ui/model/layout.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace quentra::ui::win32 {

// The members `control` has once the grid is built: those the table designs, or one per port
// and one per box for the arrays the build extends.
constexpr std::size_t memberCount(model::Control control) {
    switch (control) {
    case model::Control::lblPort:
        return core::kPortCount;
    case model::Control::ChkAddr:
        return core::kBoxCount;
    default:
        return static_cast<std::size_t>(std::count_if(
            model::kDesignedControls.begin(), model::kDesignedControls.end(),
            [control](const model::DesignedControl& row) { return row.ref.control == control; }));
    }
}

// Every control has a row for its member 0.
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(
    std::count_if(model::kDesignedControls.begin(), model::kDesignedControls.end(),
                  [](const model::DesignedControl& row) { return row.ref.index == 0; }));

// The first slot of each control by its value, and after them the number of slots. A control
// value outside the table does not compile.
inline constexpr std::array<std::size_t, kControlCount + 1> kFirstSlots = [] {
    std::array<std::size_t, kControlCount + 1> first{};
    std::size_t next = 0;
    for (const model::DesignedControl& row : model::kDesignedControls) {
        if (row.ref.index == 0) {
            first.at(static_cast<std::size_t>(row.ref.control)) = next;
            next += memberCount(row.ref.control);
        }
    }
    first.back() = next;
    return first;
}();

inline constexpr std::size_t kSlotCount = kFirstSlots.back();

constexpr std::size_t slotOf(model::ControlRef ref) {
    return kFirstSlots.at(static_cast<std::size_t>(ref.control)) +
           static_cast<std::size_t>(ref.index);
}

} // namespace quentra::ui::win32
