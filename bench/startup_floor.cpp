// The floor for the program's start-up: a bare window with the same title and the same kinds
// and numbers of controls at their sizes as frmMain after load, with their captions, and no
// logic. It shows, as constants, what the program shows with the benchmark's saved job (the
// job's texts in the boxes, an entry chosen in the list, every grid box ticked), so both draw
// the same picture. What the program costs above this is its own.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Quentra Module Upgrade"));
    window.setFixedSize(313, 694);

    // Captions and boxes in pixels of the designed layout: label top, box top, box width, and
    // the text the saved job puts in the box.
    const struct {
        const char* caption;
        int labelTop;
        int boxTop;
        int boxWidth;
        const char* text;
    } fields[] = {{"Module Type", 16, 8, 65, "6050"},      {"Module Address", 54, 48, 113, "3"},
                  {"File Name", 96, 88, 113, "vtl_2.bin"}, {"File Size", 134, 128, 113, "81920"},
                  {"Block Size", 176, 168, 113, "65536"},  {"Wait", 216, 208, 113, "0"},
                  {"Console #", 254, 248, 113, "1"}};
    for (const auto& field : fields) {
        (new QLabel(QString::fromLatin1(field.caption), &window))
            ->setGeometry(16, field.labelTop, 89, 17);
        (new QLineEdit(QString::fromLatin1(field.text), &window))
            ->setGeometry(128, field.boxTop, field.boxWidth, 25);
    }

    auto* list = new QComboBox(&window);
    list->setGeometry(200, 8, 97, 21);
    for (int i = 0; i < 32; ++i) {
        list->addItem(QStringLiteral("Module %1").arg(i));
    }
    list->setCurrentIndex(8);

    (new QPushButton(QStringLiteral("Select"), &window))->setGeometry(256, 88, 49, 25);
    (new QCheckBox(QStringLiteral("All"), &window))->setGeometry(256, 256, 41, 17);
    for (int c = 0; c < 4; ++c) {
        (new QLabel(QStringLiteral("A%1").arg(c), &window))->setGeometry(128 + 32 * c, 288, 17, 17);
    }
    for (int p = 0; p < 16; ++p) {
        (new QLabel(QStringLiteral("Port #%1").arg(p + 1), &window))
            ->setGeometry(16, 312 + 20 * p, 89, 17);
        for (int c = 0; c < 4; ++c) {
            auto* box = new QCheckBox(&window);
            box->setGeometry(128 + 32 * c, 312 + 20 * p, 17, 17);
            box->setChecked(true);
        }
    }
    (new QPushButton(QStringLiteral("&Ok"), &window))->setGeometry(24, 642, 81, 33);
    (new QPushButton(QStringLiteral("&Cancel"), &window))->setGeometry(208, 642, 81, 33);

    window.show();
    return QApplication::exec();
}
