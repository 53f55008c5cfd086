#include "ui/qt/frm_main.hpp"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    quentra::ui::frmMain window;
    window.show();
    return QApplication::exec();
}
