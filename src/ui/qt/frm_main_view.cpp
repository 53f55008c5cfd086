// frmMain as the model's view: its operations on the Qt controls, in twips.
#include "ui/qt/frm_main.hpp"

#include "ui/qt/module_list.hpp"
#include "ui/qt/qt_text.hpp"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <stdexcept>

namespace quentra::ui {

using model::Control;
using model::ControlRef;

class frmMain::View final : public model::WindowView {
public:
    explicit View(frmMain& window) : w_(window) {}

    std::string programDirectory() const override {
        if (w_.requestedAppDir_) {
            return *w_.requestedAppDir_;
        }
        return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    }

    std::string text(core::JobField field) const override {
        return toJobText(textBox(field)->text());
    }
    void setText(core::JobField field, const std::string& text) override {
        textBox(field)->setText(fromJobText(text));
    }

    // Qt reports the program's own changes of the list too, and filling an empty list selects
    // its first entry: the signals stay blocked, as the model runs type selection itself.
    void clearList() override {
        const QSignalBlocker quiet(list());
        list()->clear();
    }
    void addListEntry(std::string_view text) override {
        const QSignalBlocker quiet(list());
        list()->addItem(fromUtf8(text));
    }
    int listIndex() const override { return list()->currentIndex(); }
    void setListIndex(int index) override {
        {
            const QSignalBlocker quiet(list());
            list()->setCurrentIndex(index);
        }
        list()->markCurrentEntry();
    }

    int checkState(ControlRef box) const override {
        switch (checkBox(box)->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        case Qt::Unchecked:
            break;
        }
        return 0;
    }
    // Any change of chkAll's state reaches the model as the user's (see connectHandlers): the
    // program's own is kept from it.
    void setChecked(ControlRef box, bool ticked) override {
        const QSignalBlocker quiet(checkBox(box));
        checkBox(box)->setChecked(ticked);
    }

    void createCopy(ControlRef member) override {
        QWidget* copy = nullptr;
        if (member.control == Control::lblPort) {
            const auto* original = w_.control<QLabel>({Control::lblPort, 0});
            auto* label = new QLabel(original->text(), &w_);
            label->setAlignment(original->alignment());
            copy = label;
        } else if (member.control == Control::ChkAddr) {
            const auto* original = w_.control<QCheckBox>({Control::ChkAddr, 0});
            auto* box = new QCheckBox(original->text(), &w_);
            box->setChecked(false);
            box->setAccessibleName(
                QString::fromStdString(model::gridBoxAccessibleName(member.index)));
            // The created boxes follow the designed controls, in creation order.
            setTabOrder(w_.lastInFocus_, box);
            w_.lastInFocus_ = box;
            copy = box;
        } else {
            throw std::invalid_argument("only lblPort and ChkAddr have copies");
        }
        copy->setVisible(false);
        copy->setGeometry(w_.control({member.control, 0})->geometry());
        copy->setObjectName(QString::fromStdString(model::controlName(member)));
        w_.controls_.at(model::slotOf(member)) = copy;
    }
    void setVisible(ControlRef control, bool visible) override {
        w_.control(control)->setVisible(visible);
    }
    int top(ControlRef control) const override { return twips(w_.control(control)->y()); }
    void setTop(ControlRef control, int value) override {
        QWidget* widget = w_.control(control);
        widget->move(widget->x(), px(value));
    }
    void setLeft(ControlRef control, int value) override {
        QWidget* widget = w_.control(control);
        widget->move(px(value), widget->y());
    }
    void setCaption(ControlRef control, std::string_view text) override {
        if (auto* label = w_.control<QLabel>(control)) {
            label->setText(fromUtf8(text));
        } else if (auto* button = w_.control<QAbstractButton>(control)) {
            button->setText(fromUtf8(text));
        }
    }
    // Qt sizes the client area: the outer heights go through the frame of the design.
    void setOuterHeight(int value) override {
        w_.setFixedHeight(px(value - model::kDesignFrameHeight));
    }
    int outerHeight() const override { return twips(w_.height()) + model::kDesignFrameHeight; }

    void warn(std::string_view title, std::string_view text) override {
        w_.services_.messages->showWarning(&w_, fromUtf8(title), fromUtf8(text));
    }
    bool confirm(std::string_view title, std::string_view text) override {
        return w_.services_.messages->askYesNo(&w_, fromUtf8(title), fromUtf8(text));
    }
    void close() override { w_.close(); }
    core::FileDialog& fileDialog() override {
        if (!w_.dlgFile) {
            w_.dlgFile = w_.services_.makeFileDialog(&w_);
        }
        return *w_.dlgFile;
    }

private:
    QLineEdit* textBox(core::JobField field) const {
        return w_.control<QLineEdit>(model::textBoxOf(field).ref);
    }
    ModuleList* list() const { return w_.control<ModuleList>({Control::cmbType}); }
    QCheckBox* checkBox(ControlRef box) const { return w_.control<QCheckBox>(box); }

    frmMain& w_;
};

std::unique_ptr<model::WindowView> frmMain::makeView() {
    return std::make_unique<View>(*this);
}

} // namespace quentra::ui
