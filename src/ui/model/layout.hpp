#pragma once

// The window as designed: every control with its kind, text, place in twips, focus number,
// tooltip and accessible name, the grid's pitches and the constants of the grid build. Both
// views build their window from this table and these constants alone; no view holds a twip
// value of its own. No toolkit type here.

#include "core/job_field.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quentra::ui::model {

// ---- Units ----------------------------------------------------------------------------------

inline constexpr int kTwipsPerInch = 1440;
// The design's scale: at 96 dots per inch 15 twips make one pixel.
inline constexpr int kDesignDpi = 96;

// Twips to device pixels at `dpi`, truncated as the design's own conversion does (15 twips to
// a pixel at 96 dpi, so every designed value maps exactly there).
constexpr int pixelsFromTwips(int twips, int dpi = kDesignDpi) {
    return twips * dpi / kTwipsPerInch;
}
// Device pixels to twips at `dpi`.
constexpr int twipsFromPixels(int pixels, int dpi = kDesignDpi) {
    return pixels * kTwipsPerInch / dpi;
}

// ---- The window -----------------------------------------------------------------------------

inline constexpr std::string_view kWindowTitle = "Quentra Module Upgrade";

// Client area as designed; the grid build replaces the height (4695 x 10410 after load).
inline constexpr int kClientWidth = 4695;
inline constexpr int kDesignClientHeight = 5910;
// The frame the design was laid out for: above the client area (title bar and top frame) and
// below it. A view whose toolkit sizes the client area (Qt) turns the outer heights of the grid
// build into client heights with kDesignFrameTop + kDesignFrameBottom; a view that sizes the
// outer window (Win32) uses the platform's real frame instead.
inline constexpr int kDesignFrameTop = 345;
inline constexpr int kDesignFrameBottom = 60;
inline constexpr int kDesignFrameHeight = kDesignFrameTop + kDesignFrameBottom;

// ---- The grid and its build -----------------------------------------------------------------

inline constexpr int kRowPitch = 300;
inline constexpr int kColumnPitch = 480;
inline constexpr int kFirstColumnLeft = 1920;
// Outer height = Top of lblPort(15) + this (9180 + 1635 = 10815).
inline constexpr int kOuterHeightBelowLastRow = 1635;
// Top of cmdOk = the outer height read back from the window - this.
inline constexpr int kButtonsAboveOuterBottom = 1185;

// Left of address column c (0..3) of the grid.
constexpr int columnLeft(int column) {
    return kFirstColumnLeft + kColumnPitch * column;
}

// ---- The controls ---------------------------------------------------------------------------

enum class ControlKind {
    Label,        // plain left-aligned caption of fixed size; never takes the focus
    TextBox,      // single line, left-aligned, editable, no length limit
    DropDownList, // a list the user can only pick from, no text field to type into
    Button,       // "&" in the text marks the access key (Alt+key); never a default button
    CheckBox,     // optional caption; unticked as designed
};

// The designed controls and control arrays. A control is named by a ControlRef: the control and,
// for the arrays LblAddr (0..3), lblPort (0..15) and ChkAddr (0..63), the member's index.
enum class Control {
    lblType,
    txtType,
    cmbType,
    lblAddress,
    txtAddress,
    lblFileName,
    txtFileName,
    cmdSelect,
    lblFileSize,
    txtFileSize,
    lblBlockSize,
    txtBlockSize,
    lblWait,
    txtWait,
    lblConsole,
    txtConsole,
    chkAll,
    LblAddr,
    lblPort,
    ChkAddr,
    cmdOk,
    cmdCancel,
};

struct ControlRef {
    Control control;
    int index = 0; // member of an array; 0 for the other controls
    constexpr bool operator==(const ControlRef&) const = default;
};

// One row of the design.
struct DesignedControl {
    ControlRef ref;
    std::string_view name; // the view's object name: "txtType", "LblAddr(2)", "ChkAddr(0)"
    ControlKind kind;
    std::string_view text;        // caption or initial text, as designed; empty for none
    int left, top, width, height; // twips, from the client area's top-left corner
    int focus;                    // focus number; labels hold one but never take the focus
    std::string_view tooltip;     // empty for none
    // What assistive technology reads for a control without a caption of its own (text boxes,
    // the list, the grid boxes); empty where the control's own text serves.
    std::string_view accessibleName;
    std::optional<core::JobField> field; // text boxes: the job field the box holds
};

// Top to bottom, as designed. Only row 0 of the grid is designed; the build copies it.
inline constexpr auto kDesignedControls = std::to_array<DesignedControl>({
    // clang-format off
    {{Control::lblType}, "lblType", ControlKind::Label, "Module Type", 240, 240, 1335, 255, 0, "", "", {}},
    {{Control::txtType}, "txtType", ControlKind::TextBox, "", 1920, 120, 975, 375, 1, "", "Module Type", core::JobField::Type},
    {{Control::cmbType}, "cmbType", ControlKind::DropDownList, "", 3000, 120, 1455, 315, 13, "", "Module Type", {}},
    {{Control::lblAddress}, "lblAddress", ControlKind::Label, "Module Address", 240, 810, 1335, 255, 2, "", "", {}},
    {{Control::txtAddress}, "txtAddress", ControlKind::TextBox, "", 1920, 720, 1695, 375, 3, "", "Module Address", core::JobField::Address},
    {{Control::lblFileName}, "lblFileName", ControlKind::Label, "File Name", 240, 1440, 1335, 255, 8, "", "", {}},
    {{Control::txtFileName}, "txtFileName", ControlKind::TextBox, "", 1920, 1320, 1695, 375, 9, "", "File Name", core::JobField::FileName},
    {{Control::cmdSelect}, "cmdSelect", ControlKind::Button, "Select", 3840, 1320, 735, 375, 10, "", "", {}},
    {{Control::lblFileSize}, "lblFileSize", ControlKind::Label, "File Size", 240, 2010, 1335, 255, 4, "", "", {}},
    {{Control::txtFileSize}, "txtFileSize", ControlKind::TextBox, "", 1920, 1920, 1695, 375, 5, "", "File Size", core::JobField::FileSize},
    {{Control::lblBlockSize}, "lblBlockSize", ControlKind::Label, "Block Size", 240, 2640, 1335, 255, 6, "", "", {}},
    {{Control::txtBlockSize}, "txtBlockSize", ControlKind::TextBox, "", 1920, 2520, 1695, 375, 7, "", "Block Size", core::JobField::BlockSize},
    {{Control::lblWait}, "lblWait", ControlKind::Label, "Wait", 240, 3240, 1335, 255, 15, "", "", {}},
    {{Control::txtWait}, "txtWait", ControlKind::TextBox, "0", 1920, 3120, 1695, 375, 14, "", "Wait", core::JobField::Wait},
    {{Control::lblConsole}, "lblConsole", ControlKind::Label, "Console #", 240, 3810, 1335, 255, 17, "", "", {}},
    {{Control::txtConsole}, "txtConsole", ControlKind::TextBox, "", 1920, 3720, 1695, 375, 16, "", "Console #", core::JobField::Console},
    {{Control::chkAll}, "chkAll", ControlKind::CheckBox, "All", 3840, 3840, 615, 255, 27, "Upgrade all console modules", "", {}},
    {{Control::LblAddr, 0}, "LblAddr(0)", ControlKind::Label, "A0", 1920, 4320, 255, 255, 23, "", "", {}},
    {{Control::LblAddr, 1}, "LblAddr(1)", ControlKind::Label, "A1", 2400, 4320, 255, 255, 24, "", "", {}},
    {{Control::LblAddr, 2}, "LblAddr(2)", ControlKind::Label, "A2", 2880, 4320, 255, 255, 25, "", "", {}},
    {{Control::LblAddr, 3}, "LblAddr(3)", ControlKind::Label, "A3", 3360, 4320, 255, 255, 26, "", "", {}},
    {{Control::lblPort, 0}, "lblPort(0)", ControlKind::Label, "Port #1", 240, 4680, 1335, 255, 22, "", "", {}},
    {{Control::ChkAddr, 0}, "ChkAddr(0)", ControlKind::CheckBox, "", 1920, 4680, 255, 255, 18, "", "Port #1 A0", {}},
    {{Control::ChkAddr, 1}, "ChkAddr(1)", ControlKind::CheckBox, "", 2400, 4680, 255, 255, 19, "", "Port #1 A1", {}},
    {{Control::ChkAddr, 2}, "ChkAddr(2)", ControlKind::CheckBox, "", 2880, 4680, 255, 255, 20, "", "Port #1 A2", {}},
    {{Control::ChkAddr, 3}, "ChkAddr(3)", ControlKind::CheckBox, "", 3360, 4680, 255, 255, 21, "", "Port #1 A3", {}},
    {{Control::cmdOk}, "cmdOk", ControlKind::Button, "&Ok", 360, 5280, 1215, 495, 11, "", "", {}},
    {{Control::cmdCancel}, "cmdCancel", ControlKind::Button, "&Cancel", 3120, 5280, 1215, 495, 12, "", "", {}},
    // clang-format on
});

// The designed row of `ref`; for a member the build creates (lblPort(1..15), ChkAddr(4..63)),
// the row of member 0 it is copied from.
const DesignedControl& designOf(ControlRef ref);

// The row of the text box that holds `field`.
const DesignedControl& textBoxOf(core::JobField field);

// The caption that names `field` to the user: the text of the label beside its box
// ("Module Address" for Address, "Console #" for Console).
std::string_view fieldCaption(core::JobField field);

// The designed controls that take the focus, in focus order (txtType first, chkAll last). A view
// chains them in this order, then the 60 created grid boxes in creation order (ChkAddr(4)..(63)),
// and gives txtType the focus when the window opens.
inline constexpr auto kFocusStopCount = static_cast<std::size_t>(
    std::count_if(kDesignedControls.begin(), kDesignedControls.end(),
                  [](const DesignedControl& row) { return row.kind != ControlKind::Label; }));
std::array<ControlRef, kFocusStopCount> designedFocusOrder();

// Names of members of the arrays, as the design names them ("lblPort(9)", "ChkAddr(37)"), and
// of any control.
std::string controlName(ControlRef ref);
// "Port #1".."Port #16": the caption of lblPort(p).
std::string portCaption(int port);
// "Port #10 A1" for ChkAddr(37): the accessible name of grid box i (port i/4 + 1, column i%4).
std::string gridBoxAccessibleName(int box);

// ---- Caption widening -----------------------------------------------------------------------
//
// The design was laid out for a smaller font than platforms use today, and some captions
// ("Module Address") are wider than their boxes. A caption box has no border or background, so
// it may widen to the right into the free room before the next control on its row. Both views
// widen alike through these helpers and fitCaptions (caption_fit.hpp); a view measures in its
// own units and converts to twips.

// Least room left between a widened caption and the next control on its row.
inline constexpr int kCaptionGap = 60;

// A box whose caption must be whole, and the text it must hold: lblPort(0) must hold the widest
// port caption ("Port #16"), since the build copies it for every row. chkAll's need includes its
// tick indicator (the view adds it to the text's width).
struct CaptionBox {
    ControlRef ref;
    std::string_view text;
};
// Every label, and chkAll.
inline constexpr std::size_t kCaptionBoxCount =
    static_cast<std::size_t>(
        std::count_if(kDesignedControls.begin(), kDesignedControls.end(),
                      [](const DesignedControl& row) { return row.kind == ControlKind::Label; })) +
    1;
std::array<CaptionBox, kCaptionBoxCount> captionBoxes();

// The widest `ref`'s box may become, in twips: up to kCaptionGap before the nearest designed
// control to its right that shares its rows, or up to the client area's right edge; never less
// than its designed width.
int captionRoom(ControlRef ref);

// The width in twips to give `ref`'s box when its caption needs `neededTwips`: the designed width
// when that is enough, else the need; std::nullopt when the need exceeds captionRoom (a smaller
// font size is then tried).
std::optional<int> widenedCaptionWidth(ControlRef ref, int neededTwips);

} // namespace quentra::ui::model
