#include "app/desktop/SelectionRules.h"

#include <algorithm>

#include "engine/record/Catalogue.h"
#include "engine/record/SettingsRules.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo::desktop {

namespace cat = catalogue;

namespace {

// Both remembered lists are indexed up to 21 (mode rows 0 to 15, groups 0 to 21).
constexpr size_t kRememberedLength = cat::kGroupCount;

const char* modeTitle(uint32_t mode) {
    const cat::Mode* m = cat::findMode(mode);
    return m ? m->title : "";
}

const char* outputTitle(int value) {
    const cat::OutputFormat* f = cat::findOutputFormat(value);
    return f ? f->title : "";
}

void padList(std::vector<std::string>& list) {
    if (list.size() < kRememberedLength) list.resize(kRememberedLength, "1");
}

}  // namespace

SelectionRules::SelectionRules(settings::SettingsStore& store, uint64_t available)
    : store_(store), available_(available | cat::kTypeNO) {
    for (const auto& e : cat::enhancements()) fileSuffixes_[e.code] = cat::defaultSuffix(e);
}

int SelectionRules::getFilterGroup_1() const {
    return cat::groupOf(filterType_1_);
}

int SelectionRules::modePopupRow() const {
    const auto& order = cat::modePopupOrder();
    const auto it = std::find(order.begin(), order.end(), mode_);
    return it == order.end() ? 0 : static_cast<int>(it - order.begin());
}

void SelectionRules::selectMode(uint32_t mode) {
    QRM_ASSERT(cat::findMode(mode) != nullptr, "Unexpected paramter in %s", __func__);
    if (cat::findMode(mode)) mode_ = mode;
}

void SelectionRules::selectFilter_1(uint64_t type) {
    QRM_ASSERT(cat::findEnhancement(type) != nullptr, "Unexpected filter in %s", __func__);
    if (cat::findEnhancement(type)) filterType_1_ = type;
}

void SelectionRules::selectFilter_2(uint64_t type) {
    QRM_ASSERT(cat::findEnhancement(type) != nullptr, "Unexpected filter in %s", __func__);
    if (cat::findEnhancement(type)) filterType_2_ = type;
}

void SelectionRules::selectOutputFormat(int value) {
    QRM_ASSERT(cat::findOutputFormat(value) != nullptr, "Unexpected paramter in %s", __func__);
    if (cat::findOutputFormat(value)) outputFormatType_ = value;
}

void SelectionRules::setFilterDefaults(std::vector<std::string> defaults_1,
                                       std::vector<std::string> defaults_2) {
    filterDefaults_1_ = std::move(defaults_1);
    filterDefaults_2_ = std::move(defaults_2);
    padList(filterDefaults_1_);
    padList(filterDefaults_2_);
}

uint64_t SelectionRules::rememberedType(const std::vector<std::string>& list, size_t index) const {
    // A list edited by hand may hold anything; what is not a type counts as None, which
    // every mode and every Enhancement 1 allows.
    const uint64_t type = index < list.size() ? settings::decodeU64(list[index]) : cat::kTypeNO;
    return cat::findEnhancement(type) ? type : cat::kTypeNO;
}

uint64_t SelectionRules::offeredTypes_1() const {
    return cat::offeredByMode(mode_) & available_;
}

uint64_t SelectionRules::allowedTypes_2() const {
    return cat::allowedAfter(filterType_1_) & available_;
}

bool SelectionRules::splitFormatsOffered() const {
    return ((filterType_1_ | filterType_2_) & cat::kMultichannelTypes) != 0;
}

void SelectionRules::updateMode(uint32_t mode) {
    selectMode(mode);
    platform::log("<Info> Mode changed: %s (%u)", modeTitle(mode_), mode_);
    store_.setValue("Mode", settings::encodeU32(mode_));
    validateFilterPopup_1();
}

void SelectionRules::validateModePopup() {
    modeOneHidden_ = true;
}

void SelectionRules::validateFilterPopup_1() {
    const uint64_t offered = offeredTypes_1();
    selectFilter_1(rememberedType(filterDefaults_1_, static_cast<size_t>(modePopupRow())));
    runUpdateFilter_1();
    if (!(filterType_1_ & offered)) {
        platform::log("<WARNING> %s is not supported with mode %s", cat::displayName(filterType_1_),
                      modeTitle(mode_));
        selectFilter_1(cat::kTypeNO);
        runUpdateFilter_1();
    }
}

void SelectionRules::updateFilter_1(uint64_t type) {
    selectFilter_1(type);
    runUpdateFilter_1();
}

void SelectionRules::runUpdateFilter_1() {
    platform::log("<Info> Enhancement 1 changed: %s (%lu)", cat::displayName(filterType_1_),
                  static_cast<unsigned long>(filterType_1_));
    store_.setValue("FilterType_1", settings::encodeU64(filterType_1_));
    filterDefaults_1_[static_cast<size_t>(modePopupRow())] = settings::encodeU64(filterType_1_);
    store_.setList("FilterTypeDefaults_1", filterDefaults_1_);
    validateFilterPopup_2();
    validateOutputFormatPopups();
}

void SelectionRules::validateFilterPopup_2() {
    const uint64_t allowed = allowedTypes_2();
    selectFilter_2(rememberedType(filterDefaults_2_, static_cast<size_t>(getFilterGroup_1())));
    runUpdateFilter_2();
    if (!(filterType_2_ & allowed)) {
        platform::log("<WARNING> %s is not supported downstream of %s", cat::displayName(filterType_2_),
                      cat::displayName(filterType_1_));
        selectFilter_2(cat::kTypeNO);
        runUpdateFilter_2();
    }
}

void SelectionRules::updateFilter_2(uint64_t type) {
    selectFilter_2(type);
    runUpdateFilter_2();
}

void SelectionRules::runUpdateFilter_2() {
    platform::log("<Info> Enhancement 2 changed: %s (%lu)", cat::displayName(filterType_2_),
                  static_cast<unsigned long>(filterType_2_));
    store_.setValue("FilterType_2", settings::encodeU64(filterType_2_));
    filterDefaults_2_[static_cast<size_t>(getFilterGroup_1())] = settings::encodeU64(filterType_2_);
    store_.setList("FilterTypeDefaults_2", filterDefaults_2_);
    validateOutputFormatPopups();
}

void SelectionRules::validateOutputFormatPopups() {
    if (!splitFormatsOffered() && (outputFormatType_ & cat::kSplitOutputFormats)) {
        platform::log("<WARNING> %s is not supported with this enhancement. Changing to Unchanged",
                      outputTitle(outputFormatType_));
        selectOutputFormat(1);
        runUpdateOutputFormatType();
    }
}

void SelectionRules::updateOutputFormatType(int value) {
    selectOutputFormat(value);
    runUpdateOutputFormatType();
}

void SelectionRules::runUpdateOutputFormatType() {
    platform::log("<Info> Output format changed: %s (%u)", outputTitle(outputFormatType_),
                  static_cast<unsigned>(outputFormatType_));
    store_.setValue("OutputFormatType", settings::encodeU32(static_cast<uint32_t>(outputFormatType_)));
}

void SelectionRules::setFileSuffixes(std::map<std::string, std::string> suffixes) {
    for (auto& [code, text] : suffixes) fileSuffixes_[code] = std::move(text);
}

const std::string& SelectionRules::fileSuffix(uint64_t type) const {
    static const std::string kNone;
    const cat::Enhancement* e = cat::findEnhancement(type);
    if (!e) return kNone;
    const auto it = fileSuffixes_.find(e->code);
    return it == fileSuffixes_.end() ? kNone : it->second;
}

std::string SelectionRules::fileSuffixText(int n) const {
    if (n != 1 && n != 2) {
        QRM_FAIL("Unexpected paramter in %s", __func__);
        return {};
    }
    const uint64_t type = n == 1 ? filterType_1_ : filterType_2_;
    if (!cat::findEnhancement(type)) {
        QRM_FAIL("Unexpected filter in %s", __func__);
        return {};
    }
    return fileSuffix(type);
}

bool SelectionRules::updateFileSuffix(int n, const std::string& text) {
    if (n != 1 && n != 2) {
        QRM_FAIL("Unexpected sender in %s", __func__);
        return false;
    }
    const cat::Enhancement* e = cat::findEnhancement(n == 1 ? filterType_1_ : filterType_2_);
    if (!e) return false;
    const std::string key = cat::suffixKey(*e);
    std::string why;
    if (!settings::validateSetting(key, text, why)) return false;  // a "/" would leave the folder
    store_.setValue(key, text);
    fileSuffixes_[e->code] = text;
    return true;
}

}  // namespace quiramo::desktop
