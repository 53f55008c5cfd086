#pragma once

// Short typed names for frmMain's controls in the Qt tests: textBox(w, Control::txtType),
// gridBox(w, 37), and so on.

#include "ui/model/layout.hpp"
#include "ui/qt/frm_main.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quentra::ui::testing {

inline QLineEdit* textBox(const frmMain& w, model::Control box) {
    return w.control<QLineEdit>({box});
}
inline QPushButton* button(const frmMain& w, model::Control button) {
    return w.control<QPushButton>({button});
}
inline QLabel* label(const frmMain& w, model::ControlRef label) {
    return w.control<QLabel>(label);
}
inline QComboBox* moduleList(const frmMain& w) {
    return w.control<QComboBox>({model::Control::cmbType});
}
inline QCheckBox* allBox(const frmMain& w) {
    return w.control<QCheckBox>({model::Control::chkAll});
}
inline QCheckBox* gridBox(const frmMain& w, int box) {
    return w.control<QCheckBox>({model::Control::ChkAddr, box});
}

} // namespace quentra::ui::testing
