// The two questions a pass asks run as modal dialogs on the main thread while the pass's
// thread waits for the answer; "from now on" choices reach the store at once and the
// window's settings on the main thread.

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/desktop/QtHost.h"
#include "tests/app/AppTestSupport.h"

namespace quiramo::desktop::test {
namespace {

struct SeenDialog {
    QString text, informativeText, checkBoxText;
    QStringList buttons;
    bool passWaiting = false;
};

// Answers the next modal message box: ticks its check box and clicks `button`.
void answerNextDialog(const QString& button, SeenDialog& seen, const std::atomic<bool>& passDone) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, button, &seen, &passDone] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        timer->stop();
        timer->deleteLater();
        seen.text = box->text();
        seen.informativeText = box->informativeText();
        seen.checkBoxText = box->checkBox() ? box->checkBox()->text() : QString();
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        seen.passWaiting = !passDone.load();
        if (box->checkBox()) box->checkBox()->setChecked(true);
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == button) b->click();
        }
    });
    timer->start(10);
}

TEST_F(AppTest, ClippingAlertIsAnsweredOnTheMainThreadWhileThePassWaits) {
    makeWindow();
    SeenDialog seen;
    std::atomic<bool> done{false};
    platform::ClipAlertAnswer answer;
    answerNextDialog("Clamp", seen, done);
    std::thread pass([&] {
        answer = platform::host().showClippingAlert("Note that 1.00% of audio samples need to be clamped.");
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }, 10000));
    pass.join();
    EXPECT_EQ(seen.text, "Warning");
    EXPECT_EQ(seen.informativeText, "Note that 1.00% of audio samples need to be clamped.");
    EXPECT_EQ(seen.checkBoxText, "Always do this from now on");
    EXPECT_TRUE(seen.buttons.contains("Attenuate") && seen.buttons.contains("Clamp"));
    EXPECT_TRUE(seen.passWaiting);
    EXPECT_EQ(answer.option, platform::kClipOptionClamp);
    EXPECT_TRUE(answer.always);
}

TEST_F(AppTest, AlreadyProcessedWarningCanBeSwitchedOff) {
    makeWindow();
    SeenDialog seen;
    std::atomic<bool> done{false};
    bool suppress = false;
    answerNextDialog("OK", seen, done);
    std::thread pass([&] {
        suppress = platform::host().showAlreadyProcessedWarning(
            "This source file has already been processed with Hi-Res.");
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }, 10000));
    pass.join();
    EXPECT_EQ(seen.text, "Warning");
    EXPECT_EQ(seen.informativeText, "This source file has already been processed with Hi-Res.");
    EXPECT_EQ(seen.checkBoxText, "Do not show this warning again");
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
    EXPECT_TRUE(seen.passWaiting);
    EXPECT_TRUE(suppress);
}

TEST_F(AppTest, FromNowOnChoiceIsStoredAtOnceAndMirrored) {
    TableViewController& w = makeWindow();
    QSignalSpy stored(&w, &TableViewController::choiceStored);
    std::thread pass([] {
        platform::host().storeChoice("ClipManagement", "2");
        platform::host().storeChoice("WarnPreprocess", "NO");
    });
    pass.join();
    // A pass that reads the store now already follows the choice.
    EXPECT_EQ(w.host().readStoredSetting("ClipManagement"), "2");
    EXPECT_EQ(store_->value("WarnPreprocess"), "NO");
    ASSERT_TRUE(waitFor([&] { return stored.count() == 2; }, 5000));
    EXPECT_EQ(w.mirror().clipManagement, 2);
    EXPECT_FALSE(w.mirror().warnPreprocess);
    EXPECT_EQ(stored.at(0).at(0).toString(), "ClipManagement");
}

}  // namespace
}  // namespace quiramo::desktop::test
