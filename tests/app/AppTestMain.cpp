// Runs the window tests with a QApplication on the offscreen platform and a settings folder
// of their own, made fresh for every process and removed afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <string>

#if defined(__SANITIZE_THREAD__)
// Qt is not built with ThreadSanitizer, so the locks inside it (event posting, the
// semaphore of a blocking-queued call, its thread pool) are invisible and its own objects
// look racy: what Qt's libraries allocate themselves, and the slot objects that carry a
// call from one thread to another. Everything else of ours is still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6DBus.so.6\n"
           "race:QtPrivate::QFunctorSlotObject\n";
}
#endif

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
