// The Qt adapter of the open-file dialog, driven the way the selection drives it.

#include "core/file_dialog.hpp"
#include "ui/qt/qt_file_dialog.hpp"
#include "ui_fakes.hpp"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

using namespace quentra;
using namespace quentra::ui;
using namespace quentra::ui::testing;

namespace {

class QtFileDialogTest : public ::testing::Test {
protected:
    void setUp(QtFileDialog& adapter) {
        adapter.setFlags(core::kOfnHideReadOnly);
        adapter.setCancelError(true);
        adapter.setInitDir(dir.appDir());
        adapter.setFilter(std::string(core::kFirmwareFilter));
        adapter.setDialogTitle(std::string(core::kDialogTitle));
    }

    // Runs `answer` on the dialog once it is up.
    static void whenShown(QFileDialog* dialog, const std::function<void(QFileDialog*)>& answer) {
        QTimer::singleShot(0, dialog, [dialog, answer] { answer(dialog); });
    }

    QFileDialog* qtDialog() const { return owner.findChild<QFileDialog*>("dlgFile"); }

    TempDir dir;
    QWidget owner;
};

TEST_F(QtFileDialogTest, PropertiesReachTheQtDialog) {
    QtFileDialog adapter(&owner);
    setUp(adapter);
    QFileDialog* dialog = qtDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->parent(), &owner);
    EXPECT_EQ(dialog->windowTitle(), "Specify File Name");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"*.bin"});
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(),
              QDir(QString::fromStdString(dir.appDir())).canonicalPath());
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile) << "a new name can be confirmed";
    EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly));
}

struct AnswerRow {
    const char* what;
    const char* typedName; // nullptr: Cancel
    bool exists;
};

TEST_F(QtFileDialogTest, ShowOpenReturnsTheConfirmedNameOrReportsCancel) {
    const AnswerRow rows[] = {
        {"existing file", "vtl_2.bin", true},
        {"name of a file that does not exist", "new_1.bin", false},
        {"cancel", nullptr, false},
    };
    QtFileDialog adapter(&owner);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        setUp(adapter);
        if (row.exists) {
            makeFileOfLength(dir.path() / row.typedName, 3);
        }
        whenShown(qtDialog(), [&row](QFileDialog* dialog) {
            if (row.typedName == nullptr) {
                dialog->reject();
            } else {
                // As the user types it into the name field.
                auto* nameField = dialog->findChild<QLineEdit*>("fileNameEdit");
                ASSERT_NE(nameField, nullptr);
                nameField->setText(QString::fromLatin1(row.typedName));
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
        if (row.typedName == nullptr) {
            EXPECT_THROW(adapter.showOpen(), core::DialogCancelled);
            continue;
        }
        adapter.showOpen();
        const QString chosen = QString::fromStdString(adapter.fileName());
        EXPECT_EQ(QFileInfo(chosen).fileName(), row.typedName);
        EXPECT_EQ(QFileInfo(chosen).absoluteDir().canonicalPath(),
                  QDir(QString::fromStdString(dir.appDir())).canonicalPath());
        EXPECT_EQ(chosen, QDir::toNativeSeparators(chosen)) << "the platform's separators";
    }
}

// However the dialog is left, the owner's window is active again, no list of the dialog's is left
// open, and the keyboard is back on the control that had it ("Select").
TEST_F(QtFileDialogTest, EveryWayOfLeavingTheDialogGivesTheKeyboardBack) {
    using Leave = std::function<void(QFileDialog*)>;
    const auto nameField = [](QFileDialog* dialog) {
        return dialog->findChild<QLineEdit*>("fileNameEdit");
    };
    // Waits until the dialog has listed the image (it reads its folder in a thread of its own,
    // slow under load) and gives the image's place in the file list.
    const auto imageListed = [](QFileDialog* dialog) {
        auto* files = dialog->findChild<QAbstractItemView*>("listView");
        auto* model = dialog->findChild<QFileSystemModel*>();
        const QString path = dialog->directory().absoluteFilePath("VTL_201.bin");
        EXPECT_TRUE(QTest::qWaitFor(
            [files, model, path] { return files->visualRect(model->index(path)).isValid(); },
            kSettleMs));
        return std::pair{files, files->visualRect(model->index(path)).center()};
    };
    // Types the start of the image's name once it is listed, so that the name field offers to
    // complete it.
    const auto typeWithList = [nameField, imageListed](QFileDialog* dialog) {
        imageListed(dialog);
        QTest::keyClicks(nameField(dialog), "VTL_2");
        QAbstractItemView* list = nameField(dialog)->completer()->popup();
        EXPECT_TRUE(QTest::qWaitFor([list] { return list->isVisible(); }, kSettleMs));
        return list;
    };
    const std::pair<const char*, Leave> rows[] = {
        {"Enter with the completion list open",
         [typeWithList](QFileDialog* dialog) {
             QTest::keyClick(typeWithList(dialog), Qt::Key_Return);
         }},
        {"Enter after Esc",
         [typeWithList, nameField](QFileDialog* dialog) {
             QTest::keyClick(typeWithList(dialog), Qt::Key_Escape);
             QTest::keyClick(nameField(dialog), Qt::Key_Return);
         }},
        {"double-click",
         [imageListed](QFileDialog* dialog) {
             const auto [files, at] = imageListed(dialog);
             QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, at);
             QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, at);
         }},
        {"Cancel",
         [](QFileDialog* dialog) {
             dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
         }},
        {"Esc", [](QFileDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }},
        {"closing it", [](QFileDialog* dialog) { dialog->close(); }},
    };
    makeFileOfLength(dir.path() / "VTL_201.bin", 3);
    auto* select = new QPushButton("Select", &owner);
    owner.show();
    owner.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&owner, kSettleMs));
    QtFileDialog adapter(&owner);
    for (const auto& [how, leaveBy] : rows) {
        SCOPED_TRACE(how);
        setUp(adapter);
        select->setFocus();
        whenShown(qtDialog(), [&leave = leaveBy](QFileDialog* dialog) {
            ASSERT_TRUE(QTest::qWaitForWindowActive(dialog, kSettleMs));
            leave(dialog);
        });
        try {
            adapter.showOpen();
        } catch (const core::DialogCancelled&) {
        }
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&owner, kSettleMs));
        EXPECT_EQ(QApplication::focusWidget(), select);
        EXPECT_FALSE(qtDialog()->isVisible());
    }
}

} // namespace
