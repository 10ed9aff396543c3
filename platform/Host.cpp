#include "platform/Host.h"

#include <atomic>

namespace quiramo::platform {
namespace {

HeadlessHost& builtInHost() {
    static HeadlessHost h;
    return h;
}

std::atomic<Host*>& installedHost() {
    static std::atomic<Host*> h{nullptr};
    return h;
}

}  // namespace

Host& host() {
    Host* h = installedHost().load(std::memory_order_acquire);
    return h ? *h : builtInHost();
}

void setHost(Host* h) { installedHost().store(h, std::memory_order_release); }

HeadlessHost::HeadlessHost() {
    settings_["WarnPreprocess"] = "YES";
    settings_["ClipManagement"] = "1";
}

void HeadlessHost::postRefresh(const AudioFile*) {
    std::lock_guard lock(mutex_);
    ++refreshes_;
}

bool HeadlessHost::showAlreadyProcessedWarning(const std::string& informativeText) {
    std::lock_guard lock(mutex_);
    warnings_.push_back(informativeText);
    return suppressAlreadyProcessed_;
}

ClipAlertAnswer HeadlessHost::showClippingAlert(const std::string& informativeText) {
    std::lock_guard lock(mutex_);
    clipAlerts_.push_back(informativeText);
    return clipAnswer_;
}

std::string HeadlessHost::readStoredSetting(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto it = settings_.find(key);
    return it == settings_.end() ? std::string() : it->second;
}

void HeadlessHost::storeChoice(const std::string& key, const std::string& value) {
    setStoredSetting(key, value);
}

void HeadlessHost::setStoredSetting(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    settings_[key] = value;
}

void HeadlessHost::setClipAnswer(ClipAlertAnswer answer) {
    std::lock_guard lock(mutex_);
    clipAnswer_ = answer;
}

void HeadlessHost::setSuppressAlreadyProcessed(bool suppress) {
    std::lock_guard lock(mutex_);
    suppressAlreadyProcessed_ = suppress;
}

std::vector<std::string> HeadlessHost::warningsShown() const {
    std::lock_guard lock(mutex_);
    return warnings_;
}

std::vector<std::string> HeadlessHost::clipAlertsShown() const {
    std::lock_guard lock(mutex_);
    return clipAlerts_;
}

unsigned HeadlessHost::refreshCount() const {
    std::lock_guard lock(mutex_);
    return refreshes_;
}

}  // namespace quiramo::platform
