#pragma once
// The four choices of the main window (mode, Enhancement 1, Enhancement 2, output format)
// and the cascade that keeps them meaningful: the mode decides which Enhancement 1 types are
// offered, Enhancement 1 which Enhancement 2 types may follow, and the pair whether the
// channel-split outputs are offered. Each choice is remembered per mode and per group, and
// every change is written to the store at once. Also the per-type file suffixes that the
// two suffix fields show and edit.
//
// No Qt here: the window shows this state in its popups and fields, and the tests run the
// cascade over the whole catalogue by giving it every type as available.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/record/Settings.h"

namespace quiramo::desktop {

class SelectionRules {
  public:
    // Only types in `available` are ever offered (the window passes catalogue::availableTypes()).
    SelectionRules(settings::SettingsStore& store, uint64_t available);

    // ---- State as the popups show it ------------------------------------------------------
    uint32_t getModeType() const { return mode_; }
    uint64_t getFilterType_1() const { return filterType_1_; }
    uint64_t getFilterType_2() const { return filterType_2_; }
    int getOutputFormatType() const { return outputFormatType_; }
    // Group (0 to 21) of the selected Enhancement 1.
    int getFilterGroup_1() const;
    // Row of the selected mode in the mode popup (0 to 15, the hidden rows included).
    int modePopupRow() const;

    // Selecting a row without running its handler (start-up, and the validations).
    void selectMode(uint32_t mode);
    void selectFilter_1(uint64_t type);
    void selectFilter_2(uint64_t type);
    void selectOutputFormat(int value);

    // The remembered lists as read at start-up (padded by the reader).
    void setFilterDefaults(std::vector<std::string> defaults_1, std::vector<std::string> defaults_2);
    const std::vector<std::string>& filterDefaults_1() const { return filterDefaults_1_; }
    const std::vector<std::string>& filterDefaults_2() const { return filterDefaults_2_; }

    // ---- Handlers (a user's choice: select the row, then run these) -------------------------
    void updateMode(uint32_t mode);
    void updateFilter_1(uint64_t type);
    void updateFilter_2(uint64_t type);
    void updateOutputFormatType(int value);

    void validateModePopup();
    void validateFilterPopup_1();
    void validateFilterPopup_2();
    void validateOutputFormatPopups();

    // ---- What the popups offer (the other rows are hidden) -----------------------------------
    uint64_t offeredTypes_1() const;
    uint64_t allowedTypes_2() const;
    // True while an enhancement is a multichannel type.
    bool splitFormatsOffered() const;
    // The mode rows shown: every mode but "no mode" once validateModePopup has run.
    bool modeRowShown(uint32_t mode) const { return mode != 1 || !modeOneHidden_; }

    // ---- File suffixes ------------------------------------------------------------------
    // The in-memory suffix of every type, by code ("QW" -> "-qw").
    void setFileSuffixes(std::map<std::string, std::string> suffixes);
    const std::string& fileSuffix(uint64_t type) const;
    // What suffix field n (1 or 2) shows: the suffix of the type selected in Enhancement n.
    std::string fileSuffixText(int n) const;
    // A suffix typed into field n. A text with "/" is refused (false): the field is to show
    // fileSuffixText(n) again. Otherwise it is stored for the selected type at once.
    bool updateFileSuffix(int n, const std::string& text);

  private:
    void runUpdateFilter_1();
    void runUpdateFilter_2();
    void runUpdateOutputFormatType();
    uint64_t rememberedType(const std::vector<std::string>& list, size_t index) const;

    settings::SettingsStore& store_;
    uint64_t available_;
    uint32_t mode_ = 64;
    uint64_t filterType_1_ = 1;
    uint64_t filterType_2_ = 1;
    int outputFormatType_ = 1;
    bool modeOneHidden_ = false;
    std::vector<std::string> filterDefaults_1_ = std::vector<std::string>(22, "1");
    std::vector<std::string> filterDefaults_2_ = std::vector<std::string>(22, "1");
    std::map<std::string, std::string> fileSuffixes_;
};

}  // namespace quiramo::desktop
