#pragma once
// The window tests' fixture: a cleared settings store in the test's own folder, the log in
// memory, a window built on demand, and small WAV sources written in code.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "app/QtSettingsStore.h"
#include "app/desktop/TableViewController.h"
#include "platform/Log.h"
#include "tests/support/TestEnvironment.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace quiramo::desktop::test {

// The table column that shows the state text.
inline constexpr int kStateColumn = 1;

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    TableViewController& makeWindow(uint64_t availableTypes = catalogue::availableTypes());
    void closeWindow() { window_.reset(); }

    // A 16-bit stereo 44.1 kHz WAV of a quiet sine, `frames` long.
    std::string writeWav(const std::string& name, uint32_t frames = 4410) const;
    // A drag of these files onto the table; false when the drop was refused.
    bool dropFiles(const QStringList& paths, Qt::DropActions actions = Qt::CopyAction);
    // Processes events until the predicate holds (false after the timeout).
    static bool waitFor(const std::function<bool()>& predicate, int timeoutMs = 30000);
    bool waitForState(size_t row, const std::string& start, int timeoutMs = 30000);
    std::string stateText(size_t row);
    bool logHas(const std::string& line) const;

    std::unique_ptr<QtSettingsStore> store_;
    std::unique_ptr<platform::ScopedMemoryLog> log_;
    std::unique_ptr<TableViewController> window_;
    quiramo::test::TempDir dir_;
};

}  // namespace quiramo::desktop::test
