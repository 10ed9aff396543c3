// quiramo: the desktop application. One main window over the shared queue; the settings
// live in the same store the command line uses.

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include "app/QtSettingsStore.h"
#include "app/desktop/TableViewController.h"
#include "platform/Log.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quiramo"));
    QApplication::setOrganizationName(QStringLiteral("Quiramo"));
    QApplication::setApplicationVersion(QStringLiteral(QUIRAMO_VERSION));
    // Lets the desktop shell match the window to quiramo.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("quiramo"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quiramo")));

    quiramo::QtSettingsStore store;
    quiramo::desktop::TableViewController window(store);
    window.resize(1240, 600);
    window.show();
    // Files named on the command line (or opened from the file manager) join the queue.
    QStringList files = QApplication::arguments().mid(1);
    if (!files.isEmpty()) window.queueFiles(files);
    if (!store.usable()) {
        // Not fatal: the window works with the values read, they just cannot be kept.
        quiramo::platform::log("<WARNING> Settings file %s cannot be written; changes will not be kept",
                               store.fileName().c_str());
        QMessageBox::warning(
            &window, QStringLiteral("Quiramo"),
            QStringLiteral("Your settings cannot be saved to %1.\nChanges you make will be lost "
                           "when Quiramo quits.")
                .arg(QString::fromStdString(store.fileName())));
    }
    return app.exec();
}
