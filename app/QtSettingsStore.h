#pragma once
// The per-user settings store: an INI file under $XDG_CONFIG_HOME/Quiramo/Quiramo.ini
// (~/.config by default), shared by the desktop application and the command line. Values
// are the texts of the settings model; registered defaults answer for keys never written.
// Safe to use from several threads.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/record/Settings.h"

class QSettings;

namespace quiramo {

class QtSettingsStore : public settings::SettingsStore {
public:
    QtSettingsStore();
    ~QtSettingsStore() override;

    void registerDefaults() override;
    std::string value(const std::string& key) const override;
    void setValue(const std::string& key, const std::string& value) override;
    std::vector<std::string> list(const std::string& key) const override;
    void setList(const std::string& key, const std::vector<std::string>& values) override;

    // Where the file lives, for messages.
    std::string fileName() const;
    // True when the file can be read and written.
    bool usable() const;

private:
    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
    std::map<std::string, std::string> defaults_;
    std::map<std::string, std::vector<std::string>> defaultLists_;
};

// Keys the store holds plus the --set style overrides of one run, which are never written.
class OverlaySettingsStore : public settings::SettingsStore {
public:
    explicit OverlaySettingsStore(settings::SettingsStore& base) : base_(base) {}
    void registerDefaults() override { base_.registerDefaults(); }
    std::string value(const std::string& key) const override;
    void setValue(const std::string& key, const std::string& value) override;
    std::vector<std::string> list(const std::string& key) const override;
    void setList(const std::string& key, const std::vector<std::string>& values) override;

private:
    settings::SettingsStore& base_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> values_;
    std::map<std::string, std::vector<std::string>> lists_;
};

}  // namespace quiramo
