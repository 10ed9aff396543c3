#include "app/QtSettingsStore.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include "platform/Assert.h"

namespace quiramo {
namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Quiramo", "Quiramo")) {}

QtSettingsStore::~QtSettingsStore() = default;

void QtSettingsStore::registerDefaults() {
    std::lock_guard lock(mutex_);
    for (const auto& k : settings::keys()) {
        if (k.encoding == settings::Encoding::list) {
            defaultLists_[k.key] = k.defaultList;
        } else {
            defaults_[k.key] = k.defaultText;
        }
    }
    QRM_ASSERT(defaultLists_["FilterTypeDefaults_1"].size() == 15, "Incorrect array size for filterDefaults_1 in %s",
               __func__);
    QRM_ASSERT(defaultLists_["FilterTypeDefaults_2"].size() == 22, "Incorrect array size for filterDefaults_2 in %s",
               __func__);
}

std::string QtSettingsStore::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const QVariant v = settings_->value(q(key));
    if (v.isValid()) return v.toString().toStdString();
    auto it = defaults_.find(key);
    return it == defaults_.end() ? std::string() : it->second;
}

void QtSettingsStore::setValue(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(q(key), q(value));
    settings_->sync();  // written the moment it changes: a crash loses nothing
}

std::vector<std::string> QtSettingsStore::list(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const QVariant v = settings_->value(q(key));
    if (v.isValid()) {
        std::vector<std::string> out;
        for (const QString& s : v.toStringList()) out.push_back(s.toStdString());
        return out;
    }
    auto it = defaultLists_.find(key);
    return it == defaultLists_.end() ? std::vector<std::string>() : it->second;
}

void QtSettingsStore::setList(const std::string& key, const std::vector<std::string>& values) {
    std::lock_guard lock(mutex_);
    QStringList l;
    for (const auto& s : values) l << q(s);
    settings_->setValue(q(key), l);
    settings_->sync();
}

std::string QtSettingsStore::fileName() const {
    std::lock_guard lock(mutex_);
    return settings_->fileName().toStdString();
}

bool QtSettingsStore::usable() const {
    std::lock_guard lock(mutex_);
    return settings_->status() == QSettings::NoError && settings_->isWritable();
}

std::string OverlaySettingsStore::value(const std::string& key) const {
    {
        std::lock_guard lock(mutex_);
        if (auto it = values_.find(key); it != values_.end()) return it->second;
    }
    return base_.value(key);
}

void OverlaySettingsStore::setValue(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

std::vector<std::string> OverlaySettingsStore::list(const std::string& key) const {
    {
        std::lock_guard lock(mutex_);
        if (auto it = lists_.find(key); it != lists_.end()) return it->second;
    }
    return base_.list(key);
}

void OverlaySettingsStore::setList(const std::string& key, const std::vector<std::string>& values) {
    std::lock_guard lock(mutex_);
    lists_[key] = values;
}

}  // namespace quiramo
