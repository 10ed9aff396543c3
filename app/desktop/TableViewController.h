#pragma once
// The main window and its controller: the queue table over the engine's Queue, the mode,
// Enhancement 1, Enhancement 2 and output-format popups, the destination controls and the
// suffix fields, the convert button, the drop target and the table's context menu.
//
// Everything here runs on the main thread. Passes run on threads of their own and reach the
// window only through the QtHost it installs: a refresh reloads the table from here, and
// no worker ever touches a widget.

#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>
#include <memory>
#include <set>
#include <vector>

#include "app/desktop/WindowSettings.h"
#include "engine/Queue.h"
#include "engine/record/Catalogue.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace quiramo::desktop {

class DropView;
class QtHost;
class QueueTableModel;
class SettingsController;

class TableViewController : public QMainWindow {
    Q_OBJECT
  public:
    // Registers the defaults, reads the store (logging every value), builds the window and
    // runs the popup rules. Only types in `availableTypes` are offered.
    explicit TableViewController(settings::SettingsStore& store,
                                 uint64_t availableTypes = catalogue::availableTypes(),
                                 QWidget* parent = nullptr);
    // Cancels what is still running and waits for every pass to end.
    ~TableViewController() override;

    // Who sent a command decides its rows: the convert button all rows, the context menu's
    // own items the rows it marked, anything else (menu bar) the selected rows.
    enum class Sender { convertButton, contextMenu, other };

    // The context commands, by their bit in AudioFile::contextAction.
    enum ContextBit : int { kPlay = 1, kShow = 2, kDelete = 4, kMetrics = 8, kConvert = 16, kCancel = 32 };

    // ---- Queue ------------------------------------------------------------------------------
    void selectSourceFiles();
    // Files chosen in the open panel, in its order; the table is reloaded once.
    void queueFiles(const QStringList& paths);
    // "DropViewAddFileMsg": queues userInfo["filename"].
    void addNewFileToQueue(const QVariantMap& userInfo);
    void processQueue(Sender sender);
    void remove(Sender sender);
    void removeAll();
    // Asks the queued or running conversions of the rows to stop.
    void cancelConversions(Sender sender);
    // "AudioFileRefreshViewMsg": reloads the table.
    void refreshQueue();

    // ---- Destination ---------------------------------------------------------------------
    void selectDestinationFolder();
    void showDestinationFolder();

    // ---- Context menu ----------------------------------------------------------------------
    // Prepares titles, enabled states and the rows' contextAction before the menu opens;
    // clickedRow -1 when the click was not on a row.
    void menuNeedsUpdate(int clickedRow);
    QMenu* contextMenu() const { return contextMenu_; }
    QAction* contextItem(ContextBit command) const;
    void playSelectedFiles(Sender sender);
    void showSelectedFiles(Sender sender);
    void copySelectedFilesMetrics(Sender sender);

    // ---- Preferences -----------------------------------------------------------------------
    // A settings update from the preferences window ("SettingsUpdate..." with its user info).
    void settingsUpdate(const QString& name, const QVariantMap& userInfo);
    // The menu command that opens the preferences window (connected by the preferences side).
    QAction* preferencesAction() const { return preferencesAction_; }
    const settings::SettingsMirror& mirror() const { return settings_.mirror(); }
    SettingsController* settingsController() const { return settingsController_; }

    // ---- Parts, for the preferences side and the tests ----------------------------------------
    WindowSettings& windowSettings() { return settings_; }
    Queue& queue() { return *queue_; }
    QtHost& host() { return *host_; }
    DropView* tableView() const { return tableView_; }
    QueueTableModel* model() const { return model_; }
    QLabel* dragDropPrompt() const;
    QComboBox* modePopup() const { return modePopup_; }
    QComboBox* filterTypePopup_1() const { return filterTypePopup_1_; }
    QComboBox* filterTypePopup_2() const { return filterTypePopup_2_; }
    QComboBox* outputFormatTypePopup() const { return outputFormatTypePopup_; }
    QComboBox* destinationFolderPopup() const { return destinationFolderPopup_; }
    QLineEdit* destinationLabel() const { return destinationLabel_; }
    QPushButton* destinationFolderBrowse() const { return destinationFolderBrowse_; }
    QLineEdit* destinationFileSuffix_1_TextField() const { return destinationFileSuffix_1_TextField_; }
    QLineEdit* destinationFileSuffix_2_TextField() const { return destinationFileSuffix_2_TextField_; }
    QPushButton* convertButton() const { return convertButton_; }

  signals:
    // The system beep sounded (nothing to do, a refused file, a busy row).
    void beeped();
    // A dialog's "from now on" choice was stored; the preferences window shows it.
    void choiceStored(const QString& key, const QString& value);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    void buildMenus();
    void buildContextMenu();
    void fillPopups();
    // Shows the selection, the offered rows, the suffixes and the destination in the widgets.
    void syncControls();
    void syncSuffixFields();
    void beep();
    void shutdown();
    bool busy() const;

    // The rows a command applies to: marked by the context menu, or selected.
    std::set<const AudioFile*> rowsFor(Sender sender, int bit) const;
    std::vector<Queue::Job> jobsFor(Sender sender, int bit, bool lastFirst) const;
    // The written files of the converted rows among those `bit`'s command acts on.
    std::vector<QUrl> convertedFilesFor(Sender sender, int bit) const;
    void updateBatchSummary();

    WindowSettings settings_;
    QtHost* host_ = nullptr;
    std::unique_ptr<Queue> queue_;
    QueueTableModel* model_ = nullptr;
    bool closed_ = false;
    // Rows of the conversions started since the last summary.
    std::vector<Queue::Job> batch_;

    DropView* tableView_ = nullptr;
    QComboBox* modePopup_ = nullptr;
    QComboBox* filterTypePopup_1_ = nullptr;
    QComboBox* filterTypePopup_2_ = nullptr;
    QComboBox* outputFormatTypePopup_ = nullptr;
    QComboBox* destinationFolderPopup_ = nullptr;
    QLineEdit* destinationLabel_ = nullptr;
    QPushButton* destinationFolderBrowse_ = nullptr;
    QPushButton* destinationFolderShow_ = nullptr;
    QLineEdit* destinationFileSuffix_1_TextField_ = nullptr;
    QLineEdit* destinationFileSuffix_2_TextField_ = nullptr;
    QPushButton* convertButton_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QAction* preferencesAction_ = nullptr;
    SettingsController* settingsController_ = nullptr;
};

}  // namespace quiramo::desktop
