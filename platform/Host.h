#pragma once
// The engine's only way to reach a front end: refreshing a row, the two modal questions,
// the two settings that are read afresh while a pass runs, and the "from now on" choices.
// The desktop application implements it with Qt; tests and the command line use HeadlessHost.

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quiramo {
class AudioFile;
}

namespace quiramo::platform {

// Answers of the clipping alert.
inline constexpr long kClipOptionAttenuate = 1000;
inline constexpr long kClipOptionClamp = 1001;

struct ClipAlertAnswer {
    long option = kClipOptionAttenuate;  // kClipOptionAttenuate or kClipOptionClamp
    bool always = false;                 // "Always do this from now on" ticked
};

class Host {
public:
    virtual ~Host() = default;

    // Asynchronous: the front end redraws the job's row on its main thread later.
    // The pointer identifies the job only; it must not be kept.
    virtual void postRefresh(const AudioFile* job) = 0;

    // Synchronous: the already-processed warning with its informative text. Returns true
    // when "Do not show this warning again" was ticked.
    virtual bool showAlreadyProcessedWarning(const std::string& informativeText) = 0;

    // Synchronous: the clipping alert with its informative text.
    virtual ClipAlertAnswer showClippingAlert(const std::string& informativeText) = 0;

    // The stored text of a settings key ("WarnPreprocess", "ClipManagement"), read afresh.
    virtual std::string readStoredSetting(const std::string& key) = 0;

    // A choice the user made permanent in a dialog: "WarnPreprocess" = "NO" or
    // "ClipManagement" = "2"/"4". The front end stores it and updates its preferences.
    virtual void storeChoice(const std::string& key, const std::string& value) = 0;
};

// The installed host. Until one is installed a HeadlessHost with the registered defaults
// answers.
Host& host();
// Installs a host (nullptr restores the built-in headless one). The caller keeps ownership.
void setHost(Host* host);

// A host without a window: it keeps its own small key store, answers the already-processed
// warning without suppressing it and the clipping alert with the configured option.
class HeadlessHost : public Host {
public:
    HeadlessHost();

    void postRefresh(const AudioFile* job) override;
    bool showAlreadyProcessedWarning(const std::string& informativeText) override;
    ClipAlertAnswer showClippingAlert(const std::string& informativeText) override;
    std::string readStoredSetting(const std::string& key) override;
    void storeChoice(const std::string& key, const std::string& value) override;

    // Test and front-end controls.
    void setStoredSetting(const std::string& key, const std::string& value);
    void setClipAnswer(ClipAlertAnswer answer);
    void setSuppressAlreadyProcessed(bool suppress);
    std::vector<std::string> warningsShown() const;
    std::vector<std::string> clipAlertsShown() const;
    unsigned refreshCount() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> settings_;
    ClipAlertAnswer clipAnswer_;
    bool suppressAlreadyProcessed_ = false;
    std::vector<std::string> warnings_;
    std::vector<std::string> clipAlerts_;
    unsigned refreshes_ = 0;
};

}  // namespace quiramo::platform
