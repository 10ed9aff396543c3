#include "app/desktop/QtHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "engine/record/SettingsRules.h"
#include "platform/Log.h"

namespace quiramo::desktop {

QtHost::QtHost(settings::SettingsStore& store, QObject* parent) : QObject(parent), store_(store) {}

void QtHost::postRefresh(const AudioFile*) {
    // One reload shows every row's latest texts, so a burst of progress steps from several
    // passes costs a single queued call.
    if (refreshPending_.exchange(true, std::memory_order_acq_rel)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshPending_.store(false, std::memory_order_release);
            emit audioFileRefreshViewMsg();
        },
        Qt::QueuedConnection);
}

void QtHost::runOnMainThread(const std::function<void()>& f) {
    if (QThread::currentThread() == thread()) {
        f();
    } else {
        QMetaObject::invokeMethod(this, f, Qt::BlockingQueuedConnection);
    }
}

bool QtHost::showAlreadyProcessedWarning(const std::string& informativeText) {
    bool suppress = false;
    runOnMainThread([&] {
        if (closing()) return;
        QApplication::beep();
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Quiramo"), QStringLiteral("Warning"),
                        QMessageBox::Ok, dialogParent_);
        box.setInformativeText(QString::fromStdString(informativeText));
        auto* check = new QCheckBox(QStringLiteral("Do not show this warning again"));
        box.setCheckBox(check);  // the box owns it
        box.exec();
        suppress = check->isChecked();
    });
    return suppress;
}

platform::ClipAlertAnswer QtHost::showClippingAlert(const std::string& informativeText) {
    platform::ClipAlertAnswer answer;
    runOnMainThread([&] {
        if (closing()) return;
        QApplication::beep();
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Quiramo"), QStringLiteral("Warning"),
                        QMessageBox::NoButton, dialogParent_);
        box.setInformativeText(QString::fromStdString(informativeText));
        // Same role for both, so they stay in this order on every desktop style.
        QPushButton* attenuate = box.addButton(QStringLiteral("Attenuate"), QMessageBox::ActionRole);
        QPushButton* clamp = box.addButton(QStringLiteral("Clamp"), QMessageBox::ActionRole);
        box.setDefaultButton(attenuate);
        box.setEscapeButton(attenuate);  // closing the alert keeps the safe choice
        auto* check = new QCheckBox(QStringLiteral("Always do this from now on"));
        box.setCheckBox(check);
        box.exec();
        answer.option =
            box.clickedButton() == clamp ? platform::kClipOptionClamp : platform::kClipOptionAttenuate;
        answer.always = check->isChecked();
    });
    return answer;
}

std::string QtHost::readStoredSetting(const std::string& key) {
    return store_.value(key);
}

void QtHost::storeChoice(const std::string& key, const std::string& value) {
    std::string why;
    if (!settings::validateSetting(key, value, why)) {
        platform::log("<WARNING> Setting %s not changed to '%s': %s", key.c_str(), value.c_str(),
                      why.c_str());
        return;
    }
    // Into the store now, so the next pass that reads it afresh already follows it.
    store_.setValue(key, value);
    const QString k = QString::fromStdString(key);
    const QString v = QString::fromStdString(value);
    QMetaObject::invokeMethod(
        this, [this, k, v] { emit choiceStored(k, v); }, Qt::QueuedConnection);
}

}  // namespace quiramo::desktop
