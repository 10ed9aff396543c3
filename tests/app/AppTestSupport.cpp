#include "tests/app/AppTestSupport.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSettings>
#include <QTest>
#include <QUrl>
#include <cmath>

#include "app/desktop/DropView.h"
#include "app/desktop/QueueTableModel.h"
#include "tests/support/WavBuilder.h"

namespace quiramo::desktop::test {

void AppTest::SetUp() {
    // The store must live in the folder the test main made, never in the user's own.
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    ASSERT_FALSE(config.isEmpty());
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Quiramo", "Quiramo");
    ASSERT_TRUE(settings.fileName().startsWith(QString::fromLocal8Bit(config)));
    settings.clear();
    settings.sync();
    store_ = std::make_unique<QtSettingsStore>();
    log_ = std::make_unique<platform::ScopedMemoryLog>();
}

void AppTest::TearDown() {
    window_.reset();
    log_.reset();
    store_.reset();
}

TableViewController& AppTest::makeWindow(uint64_t availableTypes) {
    window_ = std::make_unique<TableViewController>(*store_, availableTypes);
    window_->resize(1000, 500);
    window_->show();
    return *window_;
}

std::string AppTest::writeWav(const std::string& name, uint32_t frames) const {
    std::vector<uint8_t> samples;
    samples.reserve(frames * 4u);
    for (uint32_t n = 0; n < frames; ++n) {
        const auto v = static_cast<int16_t>(3000.0 * std::sin(2.0 * M_PI * 441.0 * n / 44100.0));
        for (int channel = 0; channel < 2; ++channel) {
            samples.push_back(static_cast<uint8_t>(v & 0xFF));
            samples.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
        }
    }
    return quiramo::test::WavBuilder().pcm(2, 44100, 16).data(samples).writeTo(dir_, name);
}

bool AppTest::dropFiles(const QStringList& paths, Qt::DropActions actions) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    QWidget* target = window_->tableView()->viewport();
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(pos), actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

bool AppTest::waitFor(const std::function<bool()>& predicate, int timeoutMs) {
    return QTest::qWaitFor(predicate, timeoutMs);
}

std::string AppTest::stateText(size_t row) {
    // What the table shows, so a wait ends only once the refresh has reached the window.
    QueueTableModel* model = window_->model();
    return model->data(model->index(static_cast<int>(row), kStateColumn), Qt::DisplayRole)
        .toString()
        .toStdString();
}

bool AppTest::waitForState(size_t row, const std::string& start, int timeoutMs) {
    return waitFor([&] { return stateText(row).rfind(start, 0) == 0; }, timeoutMs);
}

bool AppTest::logHas(const std::string& line) const {
    for (const auto& l : log_->lines()) {
        if (l == line) return true;
    }
    return false;
}

}  // namespace quiramo::desktop::test
