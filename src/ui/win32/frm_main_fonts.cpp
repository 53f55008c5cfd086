// frmMain's font: the message font at the window's DPI, stepped down where the captions need it,
// and the widths of the caption boxes and of the dropped list measured in it.
#include "ui/win32/frm_main.hpp"

#include "core/platform/wide_text.hpp"
#include "core/upgrade_settings.hpp"
#include "ui/model/caption_fit.hpp"
#include "ui/win32/dpi.hpp"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace quentra::ui::win32 {

using core::widen;
using model::Control;

namespace {

// The message font is stepped down at most to this share of its size to make the captions whole.
constexpr int kSmallestFontPercent = 70;

int twipsRoundedUp(int pixels, UINT dpi) {
    const int dpiValue = static_cast<int>(dpi);
    return (pixels * model::kTwipsPerInch + dpiValue - 1) / dpiValue;
}

// The captions measured in the message font and smaller heights of it, one logical unit a size
// towards zero, down to kSmallestFontPercent of its height; each size's font is made once, when
// first measured.
class MessageFontMeasure final : public model::CaptionMeasure {
public:
    MessageFontMeasure(HDC dc, const LOGFONTW& font, int indicator, UINT dpi)
        : dc_(dc), base_(font), indicator_(indicator), dpi_(dpi),
          before_(GetCurrentObject(dc, OBJ_FONT)) {}
    ~MessageFontMeasure() override {
        SelectObject(dc_, before_);
        if (font_ != nullptr) {
            DeleteObject(font_);
        }
    }
    MessageFontMeasure(const MessageFontMeasure&) = delete;
    MessageFontMeasure& operator=(const MessageFontMeasure&) = delete;

    int sizeCount() const override {
        const int full = std::abs(static_cast<int>(base_.lfHeight));
        return (full * (100 - kSmallestFontPercent) + 99) / 100 + 1;
    }
    std::optional<int> need(const model::CaptionBox& caption, int size) override {
        select(size);
        const std::wstring text = widen(caption.text);
        SIZE extent{};
        GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &extent);
        const int beside = caption.ref.control == Control::chkAll ? indicator_ : 0;
        return twipsRoundedUp(extent.cx + beside, dpi_);
    }
    // The font of `size`, now the caller's to delete.
    HFONT take(int size) {
        select(size);
        SelectObject(dc_, before_);
        const HFONT font = font_;
        font_ = nullptr;
        return font;
    }

private:
    void select(int size) {
        if (font_ != nullptr && size == size_) {
            return;
        }
        LOGFONTW font = base_;
        font.lfHeight += static_cast<LONG>(base_.lfHeight < 0 ? size : -size);
        const HFONT made = CreateFontIndirectW(&font);
        SelectObject(dc_, made);
        if (font_ != nullptr) {
            DeleteObject(font_);
        }
        font_ = made;
        size_ = size;
    }

    HDC dc_;
    LOGFONTW base_;
    int indicator_;
    UINT dpi_;
    HGDIOBJ before_;
    HFONT font_ = nullptr;
    int size_ = 0;
};

} // namespace

void frmMain::makeFont() {
    const LOGFONTW message = dpi::messageFont(dpi_);
    const HFONT font = CreateFontIndirectW(&message);
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = font;
}

// Captions whole: a caption box widens to the right into the free room before the next control
// on its row, as far as the model allows; where that is not enough, the font steps down.
void frmMain::fitCaptions() {
    LOGFONTW font{};
    GetObjectW(font_, sizeof(font), &font);
    const HDC dc = GetDC(window_);
    const int indicator = dpi::systemMetric(SM_CXMENUCHECK, dpi_) + MulDiv(4, dpi_, 96);
    {
        MessageFontMeasure measure(dc, font, indicator, dpi_);
        const model::CaptionFit fit = model::fitCaptions(measure);
        if (fit.size != 0) {
            DeleteObject(font_);
            font_ = measure.take(fit.size);
        }
        const auto captions = model::captionBoxes();
        for (std::size_t i = 0; i < captions.size(); ++i) {
            item(captions.at(i).ref).width = fit.widths.at(i);
        }
    }
    ReleaseDC(window_, dc);
    // The created port captions are copies of the first one.
    for (int p = 1; p < core::kPortCount; ++p) {
        item({Control::lblPort, p}).width = item({Control::lblPort, 0}).width;
    }
}

// The closed list is narrower than the longest names; its drop-down shows them whole.
void frmMain::widenDropDown() {
    const HWND list = item({Control::cmbType}).hwnd;
    const HDC dc = GetDC(list);
    const HGDIOBJ before = SelectObject(dc, font_);
    int widest = 0;
    const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const auto length = static_cast<int>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0));
        std::wstring entry(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        SIZE size{};
        GetTextExtentPoint32W(dc, entry.c_str(), length, &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, before);
    ReleaseDC(list, dc);
    const int dropped = widest + dpi::systemMetric(SM_CXVSCROLL, dpi_) + MulDiv(8, dpi_, 96);
    SendMessageW(list, CB_SETDROPPEDWIDTH, std::max(dropped, px(item({Control::cmbType}).width)),
                 0);
}

} // namespace quentra::ui::win32
