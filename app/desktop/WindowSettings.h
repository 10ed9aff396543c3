#pragma once
// The main window's settings: the typed mirror of the store, the popup selection with its
// rules, and the destination controls' values. Reads everything once at start-up (with the
// validity rules and the log lines), takes the preferences window's updates, writes every
// change to the store the moment it happens, and builds the settings snapshot of a pass.
// Main thread only; the widgets show what this holds.

#include <QString>
#include <QVariantMap>
#include <string>

#include "app/desktop/SelectionRules.h"
#include "engine/record/PassLock.h"
#include "engine/record/Settings.h"

namespace quiramo::desktop {

// Tags of the destination folder popup.
inline constexpr int kDestinationBesideSource = 1;
inline constexpr int kDestinationChosenFolder = 2;
const char* destinationOptionTitle(int tag);

class WindowSettings {
  public:
    WindowSettings(settings::SettingsStore& store, uint64_t availableTypes);

    // The start-up reading, in its fixed order, logging every value. `version` is the
    // application's short version string.
    void readUserDefaults(const std::string& version);

    settings::SettingsStore& store() { return store_; }
    const settings::SettingsMirror& mirror() const { return mirror_; }
    SelectionRules& rules() { return rules_; }
    const SelectionRules& rules() const { return rules_; }

    // ---- Destination ---------------------------------------------------------------------
    const std::string& destinationFolder() const { return destinationFolder_; }
    int destinationFolderOption() const { return destinationFolderOption_; }
    // The option popup's choice; `fromPopup` false for the silent start-up call.
    void updateDestinationFolderOption(int tag, bool fromPopup);
    // A folder chosen in the open panel (logged) or typed into the folder field.
    void chooseDestinationFolder(const std::string& path);
    void editDestinationFolder(const std::string& text);

    // ---- Preferences ---------------------------------------------------------------------
    // One of the "SettingsUpdate..." notifications with its user info: the mirror and the
    // store take every value it carries. Values the store would refuse are logged and
    // dropped. Returns false for a name that is not a settings update.
    bool settingsUpdate(const QString& name, const QVariantMap& userInfo);
    // A "from now on" choice of a dialog, already in the store: the mirror follows it.
    void choiceStored(const std::string& key, const std::string& value);

    // ---- Passes ----------------------------------------------------------------------------
    settings::Selection selection() const;
    settings::Snapshot makeSnapshot(PassTurn lock, const void* settingsController,
                                    const void* mainWindow) const;

  private:
    bool storeValue(const std::string& key, const std::string& text);

    settings::SettingsStore& store_;
    settings::SettingsMirror mirror_;
    SelectionRules rules_;
    std::string destinationFolder_;
    int destinationFolderOption_ = kDestinationBesideSource;
};

}  // namespace quiramo::desktop
