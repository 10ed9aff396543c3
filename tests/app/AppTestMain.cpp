// Runs the window tests with a QApplication on the offscreen platform and a settings folder
// of their own, made fresh for every process and removed afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <string>

int main(int argc, char** argv) {
    std::string config = QDir::tempPath().toStdString() + "/quiramo-app-tests-XXXXXX";
    if (!mkdtemp(config.data())) return 1;
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int rc = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    QDir(QString::fromStdString(config)).removeRecursively();
    return rc;
}
