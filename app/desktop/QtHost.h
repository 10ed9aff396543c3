#pragma once
// The engine's way into the desktop window. Passes call it from their own threads:
// refreshes are posted to the main thread and coalesced (one pending reload however many
// rows changed), the two questions run as modal dialogs on the main thread while the
// asking pass waits, the two settings read during a pass come straight from the store, and
// a "from now on" choice is written to the store at once and then handed to the window on
// the main thread.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>

#include "engine/record/Settings.h"
#include "platform/Host.h"

namespace quiramo::desktop {

class QtHost : public QObject, public platform::Host {
    Q_OBJECT
  public:
    // Lives on the thread that creates it, which must be the GUI thread.
    explicit QtHost(settings::SettingsStore& store, QObject* parent = nullptr);

    // The window the dialogs are modal to.
    void setDialogParent(QWidget* parent) { dialogParent_ = parent; }
    // While the window closes no dialog is shown: the questions get their safe answers at
    // once (warning not suppressed, "Attenuate"), so no pass waits on a window that is gone.
    void setClosing(bool closing) { closing_.store(closing, std::memory_order_release); }

    void postRefresh(const AudioFile* job) override;
    bool showAlreadyProcessedWarning(const std::string& informativeText) override;
    platform::ClipAlertAnswer showClippingAlert(const std::string& informativeText) override;
    std::string readStoredSetting(const std::string& key) override;
    void storeChoice(const std::string& key, const std::string& value) override;

  signals:
    // "AudioFileRefreshViewMsg": some rows changed; emitted on the main thread.
    void audioFileRefreshViewMsg();
    // A "from now on" choice, already stored; emitted on the main thread.
    void choiceStored(const QString& key, const QString& value);

  private:
    // Runs f on the main thread and waits for it.
    void runOnMainThread(const std::function<void()>& f);
    bool closing() const { return closing_.load(std::memory_order_acquire); }

    settings::SettingsStore& store_;
    QPointer<QWidget> dialogParent_;
    std::atomic<bool> refreshPending_{false};
    std::atomic<bool> closing_{false};
};

}  // namespace quiramo::desktop
