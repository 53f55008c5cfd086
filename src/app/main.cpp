// The program: creates and shows frmMain over the initialization-file store and the native file
// system, ends when it closes.
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "ui/qt/frm_main.hpp"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    quentra::core::IniFileStore store;
    quentra::core::NativeFileSystem fileSystem;
    quentra::ui::frmMain window(store, fileSystem);
    window.show();
    return QApplication::exec();
}
