#pragma once

// What the window model asks of a view: the few operations on controls that the six handlers
// and the grid build need. A view implements them over its toolkit's controls, in twips where a
// position is meant. No toolkit type here.

#include "core/file_dialog.hpp"
#include "core/job_field.hpp"
#include "ui/model/layout.hpp"

#include <string>
#include <string_view>

namespace quentra::ui::model {

class WindowView {
public:
    virtual ~WindowView() = default;

    // The program's directory as the platform reports it (the running executable's); the model
    // appends the separator. A view may take another one for tests.
    virtual std::string programDirectory() const = 0;

    // ---- Text boxes: the text of the box that holds `field` (UTF-8).
    virtual std::string text(core::JobField field) const = 0;
    virtual void setText(core::JobField field, const std::string& text) = 0;

    // ---- The module list cmbType. None of these may report a change back to the model: the
    // model runs type selection itself after its own changes. The view calls
    // WindowModel::cmbType_Click only for a change the USER made, once per real change of the
    // index (Qt: signals blocked while the program sets it; Win32: CBN_SELCHANGE, forwarded only
    // when the index really differs from the one before).
    virtual void clearList() = 0;
    virtual void addListEntry(std::string_view text) = 0;
    // -1 when no entry is selected.
    virtual int listIndex() const = 0;
    // -1 selects none.
    virtual void setListIndex(int index) = 0;

    // ---- Check boxes: chkAll and ChkAddr(i). State 0 unticked, 1 ticked, 2 greyed (counts as
    // unticked). Setting a state by program is no click: it must not call chkAll_Click.
    virtual int checkState(ControlRef box) const = 0;
    virtual void setChecked(ControlRef box, bool ticked) = 0;

    // ---- Grid build primitives, used by Form_Load in the design's order.
    // Creates lblPort(p) or ChkAddr(i) as a copy of member 0 (same Left, Width, Height; the same
    // caption for a label; no caption and unticked for a box), hidden. A created grid box takes
    // the focus after the box created before it (after chkAll for ChkAddr(4)), and carries the
    // accessible name gridBoxAccessibleName(i).
    virtual void createCopy(ControlRef member) = 0;
    virtual void setVisible(ControlRef control, bool visible) = 0;
    // Top and Left in twips, from the client area's top-left corner. top() reads the control's
    // actual place back from the toolkit.
    virtual int top(ControlRef control) const = 0;
    virtual void setTop(ControlRef control, int twips) = 0;
    virtual void setLeft(ControlRef control, int twips) = 0;
    virtual void setCaption(ControlRef control, std::string_view text) = 0;
    // The window's outer height (frame and title bar included) in twips. outerHeight() reads
    // back what the platform granted, which may be less than was asked.
    virtual void setOuterHeight(int twips) = 0;
    virtual int outerHeight() const = 0;

    // ---- Services.
    // A modal warning with the window as its owner; returns when the user has closed it.
    virtual void warn(std::string_view title, std::string_view text) = 0;
    // A modal Yes/No question with the window as its owner. No is the default button and the
    // answer when the user presses Esc or closes the question; true only for Yes.
    virtual bool confirm(std::string_view title, std::string_view text) = 0;
    // Unloads the window without asking; the program ends with it.
    virtual void close() = 0;
    // The window's one open-file dialog, kept by the view for the window's life (it may create
    // it at the first call), so that the dialog keeps its own state between uses.
    virtual core::FileDialog& fileDialog() = 0;
};

} // namespace quentra::ui::model
