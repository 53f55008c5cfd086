// The choice of the caption font against a measure without a toolkit: a caption needs its
// length in characters times the size's character width, and All its tick besides.

#include "ui/model/caption_fit.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace quentra::ui::model;

namespace {

constexpr int kTick = 200;

class FakeMeasure final : public CaptionMeasure {
public:
    FakeMeasure(std::vector<int> charWidths, std::optional<int> tallAt)
        : charWidths_(std::move(charWidths)), tallAt_(tallAt) {}

    int sizeCount() const override { return static_cast<int>(charWidths_.size()); }
    std::optional<int> need(const CaptionBox& caption, int size) override {
        measured.insert(size); // a size not offered throws below
        if (tallAt_ == size && caption.ref == ControlRef{Control::lblWait}) {
            return std::nullopt;
        }
        const int tick = caption.ref == ControlRef{Control::chkAll} ? kTick : 0;
        return static_cast<int>(caption.text.size()) *
                   charWidths_.at(static_cast<std::size_t>(size)) +
               tick;
    }

    std::set<int> measured;

private:
    std::vector<int> charWidths_;
    std::optional<int> tallAt_;
};

int widthOf(const CaptionFit& fit, ControlRef ref) {
    const auto boxes = captionBoxes();
    const auto at = std::find_if(boxes.begin(), boxes.end(),
                                 [&ref](const CaptionBox& box) { return box.ref == ref; });
    return fit.widths.at(static_cast<std::size_t>(at - boxes.begin()));
}

// Rooms: 1620 for the row captions, 420 for LblAddr(0), 855 for All. "Module Address" (14
// characters) is the widest caption.
struct FitRow {
    const char* what;
    std::vector<int> charWidths; // per size, largest first
    std::optional<int> tallAt;   // the size at which "Wait" is taller than its box
    int size;
    bool whole;
    int lblType, lblAddress, lblAddr0, chkAll;
};

TEST(CaptionFit, TakesTheLargestSizeAtWhichEveryCaptionIsWhole) {
    const FitRow rows[] = {
        // clang-format off
        {"the platform's font fits", {100, 90, 80}, {}, 0, true, 1335, 1400, 255, 615},
        {"steps down until the widest fits", {150, 130, 115, 100}, {}, 2, true, 1335, 1610, 255, 615},
        {"a caption taller than its box steps down too", {100, 90}, 0, 1, true, 1335, 1335, 255, 615},
        {"none fits: the smallest, each box its need or its room", {200, 190}, {}, 1, false, 1620, 1620, 380, 770},
        {"one size only: kept though not whole", {200}, {}, 0, false, 1620, 1620, 400, 800},
        // clang-format on
    };
    for (const FitRow& row : rows) {
        SCOPED_TRACE(row.what);
        FakeMeasure measure(row.charWidths, row.tallAt);
        const CaptionFit fit = fitCaptions(measure);
        EXPECT_EQ(fit.size, row.size);
        EXPECT_EQ(fit.whole, row.whole);
        EXPECT_EQ(widthOf(fit, {Control::lblType}), row.lblType);
        EXPECT_EQ(widthOf(fit, {Control::lblAddress}), row.lblAddress);
        EXPECT_EQ(widthOf(fit, {Control::LblAddr, 0}), row.lblAddr0);
        EXPECT_EQ(widthOf(fit, {Control::chkAll}), row.chkAll);
        EXPECT_EQ(*measure.measured.rbegin(), row.size) << "nothing below the size taken";
    }
}

} // namespace
