#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

// The widget tests need one QApplication for the whole run; listing the tests needs none.
int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> application;
    if (!::testing::GTEST_FLAG(list_tests)) {
        application = std::make_unique<QApplication>(argc, argv);
    }
    return RUN_ALL_TESTS();
}
