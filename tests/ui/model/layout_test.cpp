// The design table and constants that both views build the window from, checked once against
// the designed values, and the helpers over them: focus order, names, caption room.

#include "ui/model/layout.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quentra;
using namespace quentra::ui::model;
using core::JobField;

namespace {

struct DesignRow {
    const char* name;
    ControlKind kind;
    const char* text;
    int left, top, width, height, focus;
};

TEST(Layout, TableHoldsTheDesignedControlsTopToBottom) {
    using K = ControlKind;
    const DesignRow design[] = {
        {"lblType", K::Label, "Module Type", 240, 240, 1335, 255, 0},
        {"txtType", K::TextBox, "", 1920, 120, 975, 375, 1},
        {"cmbType", K::DropDownList, "", 3000, 120, 1455, 315, 13},
        {"lblAddress", K::Label, "Module Address", 240, 810, 1335, 255, 2},
        {"txtAddress", K::TextBox, "", 1920, 720, 1695, 375, 3},
        {"lblFileName", K::Label, "File Name", 240, 1440, 1335, 255, 8},
        {"txtFileName", K::TextBox, "", 1920, 1320, 1695, 375, 9},
        {"cmdSelect", K::Button, "Select", 3840, 1320, 735, 375, 10},
        {"lblFileSize", K::Label, "File Size", 240, 2010, 1335, 255, 4},
        {"txtFileSize", K::TextBox, "", 1920, 1920, 1695, 375, 5},
        {"lblBlockSize", K::Label, "Block Size", 240, 2640, 1335, 255, 6},
        {"txtBlockSize", K::TextBox, "", 1920, 2520, 1695, 375, 7},
        {"lblWait", K::Label, "Wait", 240, 3240, 1335, 255, 15},
        {"txtWait", K::TextBox, "0", 1920, 3120, 1695, 375, 14},
        {"lblConsole", K::Label, "Console #", 240, 3810, 1335, 255, 17},
        {"txtConsole", K::TextBox, "", 1920, 3720, 1695, 375, 16},
        {"chkAll", K::CheckBox, "All", 3840, 3840, 615, 255, 27},
        {"LblAddr(0)", K::Label, "A0", 1920, 4320, 255, 255, 23},
        {"LblAddr(1)", K::Label, "A1", 2400, 4320, 255, 255, 24},
        {"LblAddr(2)", K::Label, "A2", 2880, 4320, 255, 255, 25},
        {"LblAddr(3)", K::Label, "A3", 3360, 4320, 255, 255, 26},
        {"lblPort(0)", K::Label, "Port #1", 240, 4680, 1335, 255, 22},
        {"ChkAddr(0)", K::CheckBox, "", 1920, 4680, 255, 255, 18},
        {"ChkAddr(1)", K::CheckBox, "", 2400, 4680, 255, 255, 19},
        {"ChkAddr(2)", K::CheckBox, "", 2880, 4680, 255, 255, 20},
        {"ChkAddr(3)", K::CheckBox, "", 3360, 4680, 255, 255, 21},
        {"cmdOk", K::Button, "&Ok", 360, 5280, 1215, 495, 11},
        {"cmdCancel", K::Button, "&Cancel", 3120, 5280, 1215, 495, 12},
    };
    ASSERT_EQ(std::size(design), kDesignedControls.size());
    for (std::size_t i = 0; i < std::size(design); ++i) {
        const DesignRow& want = design[i];
        const DesignedControl& got = kDesignedControls.at(i);
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(controlName(got.ref), want.name) << "the reference names the same control";
        EXPECT_EQ(got.kind, want.kind);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.left, want.left);
        EXPECT_EQ(got.top, want.top);
        EXPECT_EQ(got.width, want.width);
        EXPECT_EQ(got.height, want.height);
        EXPECT_EQ(got.focus, want.focus);
        EXPECT_EQ(got.tooltip, got.name == "chkAll" ? "Upgrade all console modules" : "");
    }

    EXPECT_EQ(kClientWidth, 4695);
    EXPECT_EQ(kDesignClientHeight, 5910);
    EXPECT_EQ(kDesignFrameTop, 345);
    EXPECT_EQ(kDesignFrameBottom, 60);
    EXPECT_EQ(kRowPitch, 300);
    EXPECT_EQ(kColumnPitch, 480);
    EXPECT_EQ(kFirstColumnLeft, 1920);
    // The designed outer height less the Top of the first row; and the buttons' distance from
    // the outer bottom edge.
    EXPECT_EQ(kOuterHeightBelowLastRow, kDesignClientHeight + kDesignFrameHeight - 4680);
    EXPECT_EQ(kButtonsAboveOuterBottom, 1185);
    EXPECT_EQ(kWindowTitle, "Quentra Module Upgrade");
}

TEST(Layout, TextBoxesNameTheirFieldsAndCaptions) {
    struct Row {
        JobField field;
        const char* box;
        const char* caption;
    };
    const Row rows[] = {
        {JobField::Type, "txtType", "Module Type"},
        {JobField::Address, "txtAddress", "Module Address"},
        {JobField::FileSize, "txtFileSize", "File Size"},
        {JobField::BlockSize, "txtBlockSize", "Block Size"},
        {JobField::FileName, "txtFileName", "File Name"},
        {JobField::Wait, "txtWait", "Wait"},
        {JobField::Console, "txtConsole", "Console #"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(textBoxOf(row.field).name, row.box);
        EXPECT_EQ(fieldCaption(row.field), row.caption) << row.box;
        // Assistive technology reads a box by the caption beside it.
        EXPECT_EQ(textBoxOf(row.field).accessibleName, row.caption) << row.box;
    }
    int boxes = 0;
    for (const DesignedControl& row : kDesignedControls) {
        boxes += row.kind == ControlKind::TextBox ? 1 : 0;
        EXPECT_EQ(row.field.has_value(), row.kind == ControlKind::TextBox) << row.name;
    }
    EXPECT_EQ(boxes, 7);
    EXPECT_EQ(designOf({Control::cmbType}).accessibleName, "Module Type");
}

TEST(Layout, FocusRunsInTheOrderOfTheFocusNumbersOverControlsThatTakeIt) {
    std::vector<std::string> order;
    for (const ControlRef ref : designedFocusOrder()) {
        order.push_back(controlName(ref));
    }
    EXPECT_EQ(order, (std::vector<std::string>{
                         "txtType", "txtAddress", "txtFileSize", "txtBlockSize", "txtFileName",
                         "cmdSelect", "cmdOk", "cmdCancel", "cmbType", "txtWait", "txtConsole",
                         "ChkAddr(0)", "ChkAddr(1)", "ChkAddr(2)", "ChkAddr(3)", "chkAll"}));
}

TEST(Layout, CreatedGridMembersAreCopiesOfRowZero) {
    const std::tuple<ControlRef, const char*, const char*, const char*> rows[] = {
        {{Control::ChkAddr, 37}, "ChkAddr(37)", "ChkAddr(1)", "Port #10 A1"},
        {{Control::ChkAddr, 63}, "ChkAddr(63)", "ChkAddr(3)", "Port #16 A3"},
        {{Control::ChkAddr, 4}, "ChkAddr(4)", "ChkAddr(0)", "Port #2 A0"},
        {{Control::ChkAddr, 2}, "ChkAddr(2)", "ChkAddr(2)", "Port #1 A2"},
        {{Control::lblPort, 15}, "lblPort(15)", "lblPort(0)", ""},
    };
    for (const auto& [ref, name, original, accessible] : rows) {
        EXPECT_EQ(controlName(ref), name);
        EXPECT_EQ(designOf(ref).name, original) << name;
        if (ref.control == Control::ChkAddr) {
            EXPECT_EQ(gridBoxAccessibleName(ref.index), accessible);
        }
    }
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(designOf({Control::ChkAddr, c}).accessibleName, gridBoxAccessibleName(c));
        EXPECT_EQ(designOf({Control::ChkAddr, c}).left, columnLeft(c));
        // Each heading stands exactly above its column.
        EXPECT_EQ(designOf({Control::LblAddr, c}).left, columnLeft(c));
    }
    EXPECT_EQ(portCaption(0), "Port #1");
    EXPECT_EQ(portCaption(15), "Port #16");
    EXPECT_THROW(designOf({Control::LblAddr, 4}), std::out_of_range);
}

// A caption box widens up to 60 twips before the next control on its row, or to the client's
// edge; never narrower than designed.
TEST(Layout, CaptionsWidenOnlyIntoTheFreeRoomOfTheirRow) {
    const std::tuple<ControlRef, int> rooms[] = {
        {{Control::lblType}, 1920 - 60 - 240},    {{Control::lblAddress}, 1920 - 60 - 240},
        {{Control::lblConsole}, 1920 - 60 - 240}, {{Control::lblPort, 0}, 1920 - 60 - 240},
        {{Control::chkAll}, 4695 - 3840},         {{Control::LblAddr, 0}, 2400 - 60 - 1920},
        {{Control::LblAddr, 3}, 4695 - 3360},
    };
    for (const auto& [ref, room] : rooms) {
        EXPECT_EQ(captionRoom(ref), room) << controlName(ref);
    }

    const std::tuple<ControlRef, int, std::optional<int>> widths[] = {
        {{Control::lblAddress}, 1000, 1335}, {{Control::lblAddress}, 1425, 1425},
        {{Control::lblAddress}, 1620, 1620}, {{Control::lblAddress}, 1621, std::nullopt},
        {{Control::chkAll}, 855, 855},       {{Control::chkAll}, 870, std::nullopt},
        {{Control::LblAddr, 1}, 300, 300},   {{Control::LblAddr, 1}, 435, std::nullopt},
    };
    for (const auto& [ref, needed, width] : widths) {
        EXPECT_EQ(widenedCaptionWidth(ref, needed), width) << controlName(ref) << " " << needed;
    }

    // Every label and All must be whole; the port label holds the widest port caption.
    std::vector<std::string> boxes;
    for (const CaptionBox& box : captionBoxes()) {
        boxes.push_back(controlName(box.ref) + "=" + std::string(box.text));
    }
    EXPECT_EQ(boxes, (std::vector<std::string>{"lblType=Module Type", "lblAddress=Module Address",
                                               "lblFileName=File Name", "lblFileSize=File Size",
                                               "lblBlockSize=Block Size", "lblWait=Wait",
                                               "lblConsole=Console #", "LblAddr(0)=A0",
                                               "LblAddr(1)=A1", "LblAddr(2)=A2", "LblAddr(3)=A3",
                                               "lblPort(0)=Port #16", "chkAll=All"}));
}

TEST(Layout, TwipsMapToPixelsAtTheWindowsDpi) {
    const std::tuple<int, int, int> rows[] = {
        {4695, 96, 313}, {255, 96, 17}, {4695, 144, 469}, {10410, 144, 1041}, {15, 120, 1},
    };
    for (const auto& [twips, dpi, pixels] : rows) {
        EXPECT_EQ(pixelsFromTwips(twips, dpi), pixels) << twips << " at " << dpi;
    }
    EXPECT_EQ(twipsFromPixels(313), 4695);
    EXPECT_EQ(twipsFromPixels(469, 144), 4690);
}

} // namespace
