// The popup cascade over the whole catalogue, the suffix rules, the start-up reading and the
// snapshot, without a window: the rules are given every type as available.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>

#include "app/desktop/Notifications.h"
#include "app/desktop/SelectionRules.h"
#include "app/desktop/WindowSettings.h"
#include "engine/record/Catalogue.h"
#include "platform/Log.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo::desktop {
namespace {

namespace cat = catalogue;

std::string u64(uint64_t v) {
    return std::to_string(v);
}

class SelectionRulesTest : public ::testing::Test {
  protected:
    SelectionRulesTest() : rules_(store_, cat::kAllTypes) {
        store_.registerDefaults();
        // What the start-up reading leaves: mode 64 with every remembered choice None.
        rules_.selectMode(64);
        rules_.setFilterDefaults(store_.list("FilterTypeDefaults_1"), store_.list("FilterTypeDefaults_2"));
        rules_.validateModePopup();
        rules_.validateFilterPopup_1();
        rules_.validateOutputFormatPopups();
        log_.clear();
    }

    std::vector<std::string> warnings() const {
        std::vector<std::string> out;
        for (const auto& l : log_.lines()) {
            if (l.rfind("<WARNING>", 0) == 0) out.push_back(l);
        }
        return out;
    }

    settings::MemorySettingsStore store_;
    platform::ScopedMemoryLog log_;
    SelectionRules rules_;
};

TEST_F(SelectionRulesTest, FirstStartIsHeadphonesWithNothingSelected) {
    EXPECT_EQ(rules_.getModeType(), 64u);
    EXPECT_EQ(rules_.getFilterType_1(), cat::kTypeNO);
    EXPECT_EQ(rules_.getFilterType_2(), cat::kTypeNO);
    EXPECT_EQ(rules_.getOutputFormatType(), 1);
    EXPECT_FALSE(rules_.modeRowShown(1));
    EXPECT_EQ(rules_.offeredTypes_1(), cat::kTypeNO | cat::kTypeIR | cat::kTypeCN20);
}

TEST_F(SelectionRulesTest, ModeChangeRunsTheCascadeInOrder) {
    auto d1 = rules_.filterDefaults_1();
    auto d2 = rules_.filterDefaults_2();
    d1[3] = u64(cat::kTypePH);  // row 3 of the mode popup: historical replay EQ
    d2[3] = u64(cat::kTypeMH);  // group 3: the other phonograph EQs
    rules_.setFilterDefaults(d1, d2);

    rules_.updateMode(4);
    EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                                "<Info> Mode changed: Historical Replay EQ (4)",
                                "<Info> Enhancement 1 changed: Phonograph EQ H (American 78s) (549755813888)",
                                "<Info> Enhancement 2 changed: Matrix H Quadraphonic (70368744177664)",
                            }));
    EXPECT_EQ(store_.value("Mode"), "4");
    EXPECT_EQ(store_.value("FilterType_1"), u64(cat::kTypePH));
    EXPECT_EQ(store_.value("FilterType_2"), u64(cat::kTypeMH));
    EXPECT_TRUE(rules_.splitFormatsOffered());
}

TEST_F(SelectionRulesTest, EnhancementOneIsRememberedPerMode) {
    rules_.updateMode(4);
    rules_.updateFilter_1(cat::kTypePH);
    rules_.updateMode(16);
    EXPECT_EQ(rules_.getFilterType_1(), cat::kTypeNO);
    rules_.updateMode(4);
    EXPECT_EQ(rules_.getFilterType_1(), cat::kTypePH);
    EXPECT_EQ(store_.list("FilterTypeDefaults_1").at(3), u64(cat::kTypePH));
    EXPECT_TRUE(warnings().empty());
}

TEST_F(SelectionRulesTest, ChannelSplitFormatsFollowTheEnhancements) {
    rules_.updateMode(2);
    rules_.updateFilter_1(cat::kTypePA1);
    EXPECT_FALSE(rules_.splitFormatsOffered());
    rules_.updateFilter_2(cat::kTypeCS40);
    EXPECT_TRUE(rules_.splitFormatsOffered());
    rules_.updateOutputFormatType(64);  // WAV C+LFE
    log_.clear();

    rules_.updateFilter_2(cat::kTypeNO);
    EXPECT_EQ(rules_.getOutputFormatType(), 1);
    EXPECT_EQ(store_.value("OutputFormatType"), "1");
    EXPECT_EQ(log_.lines(),
              (std::vector<std::string>{
                  "<Info> Enhancement 2 changed: None (1)",
                  "<WARNING> WAV C+LFE is not supported with this enhancement. Changing to Unchanged",
                  "<Info> Output format changed: Unchanged (1)",
              }));
}

TEST_F(SelectionRulesTest, UnsupportedRememberedEnhancementTwoFallsBackToNone) {
    auto d2 = rules_.filterDefaults_2();
    d2[11] = u64(cat::kTypeGR);  // group 11: the CD-4 types, which allow nothing after them
    rules_.setFilterDefaults(rules_.filterDefaults_1(), d2);
    rules_.updateMode(512);
    log_.clear();

    rules_.updateFilter_1(cat::kTypeCD4);
    EXPECT_EQ(rules_.getFilterType_2(), cat::kTypeNO);
    EXPECT_EQ(
        warnings(),
        (std::vector<std::string>{"<WARNING> Groove is not supported downstream of JVC CD-4 Quadraphonic"}));
    EXPECT_EQ(store_.list("FilterTypeDefaults_2").at(11), "1");
}

TEST_F(SelectionRulesTest, EnhancementTwoIsAllowedAfterEnhancementOneByTheTable) {
    struct Case {
        uint32_t mode;
        uint64_t type1, type2;
        bool allowed;
    } cases[] = {
        {8192, cat::kTypeGR, cat::kTypeGR, false},    // Groove leaves only None
        {8192, cat::kTypeRH, cat::kTypeGR, true},     // Raumformer Headphones allows Groove
        {2048, cat::kTypeUNL, cat::kTypeUNL, false},  // Unlimiting never follows itself
        {2048, cat::kTypeHR, cat::kTypeUNL, true},    // Hi-Res allows it
        {256, cat::kTypeLD, cat::kTypeTQ, false},     // the width types never come second
        {2, cat::kTypePZ1, cat::kTypeQW, false},      // nothing after the anti-EQ
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(cat::displayName(c.type1)) + " then " + cat::displayName(c.type2));
        rules_.updateMode(c.mode);
        rules_.updateFilter_1(c.type1);
        EXPECT_EQ((rules_.allowedTypes_2() & c.type2) != 0, c.allowed);
        rules_.updateFilter_2(c.type2);
        rules_.updateFilter_1(c.type1);  // the cascade re-validates the remembered choice
        EXPECT_EQ(rules_.getFilterType_2(), c.allowed ? c.type2 : cat::kTypeNO);
    }
}

TEST_F(SelectionRulesTest, EnhancementTwoIsRememberedPerGroup) {
    rules_.updateMode(4);
    rules_.updateFilter_1(cat::kTypePB1);  // group 3
    rules_.updateFilter_2(cat::kTypeCN51);
    rules_.updateMode(2);
    rules_.updateFilter_1(cat::kTypePA1);  // group 1
    rules_.updateFilter_2(cat::kTypeQS);
    rules_.updateFilter_1(cat::kTypePP2);  // same group: keeps QS
    EXPECT_EQ(rules_.getFilterType_2(), cat::kTypeQS);
    rules_.updateMode(4);  // back to B1: group 3's choice
    EXPECT_EQ(rules_.getFilterType_1(), cat::kTypePB1);
    EXPECT_EQ(rules_.getFilterType_2(), cat::kTypeCN51);
}

TEST_F(SelectionRulesTest, OnlyAvailableTypesAreOffered) {
    SelectionRules rules(store_, cat::kTypeHR);
    auto d1 = rules_.filterDefaults_1();
    d1[13] = u64(cat::kTypeUNL);  // row 13: Digital Recovery
    rules.setFilterDefaults(d1, rules_.filterDefaults_2());
    rules.selectMode(64);
    log_.clear();

    rules.updateMode(2048);
    EXPECT_EQ(rules.offeredTypes_1(), cat::kTypeNO | cat::kTypeHR);
    EXPECT_EQ(rules.getFilterType_1(), cat::kTypeNO);
    EXPECT_EQ(warnings(),
              (std::vector<std::string>{"<WARNING> Unlimiting is not supported with mode Digital Recovery"}));
    rules.updateFilter_1(cat::kTypeHR);
    EXPECT_EQ(rules.allowedTypes_2(), cat::kTypeNO);
}

TEST_F(SelectionRulesTest, SuffixEditsAreStoredAndShownInBothFieldsOfTheSameType) {
    ASSERT_EQ(rules_.getFilterType_1(), rules_.getFilterType_2());
    EXPECT_TRUE(rules_.updateFileSuffix(1, "-clean"));
    EXPECT_EQ(rules_.fileSuffixText(2), "-clean");
    EXPECT_EQ(store_.value("FileSuffixNO"), "-clean");

    EXPECT_FALSE(rules_.updateFileSuffix(2, "-a/b"));
    EXPECT_EQ(rules_.fileSuffixText(2), "-clean");
    EXPECT_EQ(store_.value("FileSuffixNO"), "-clean");

    EXPECT_TRUE(rules_.updateFileSuffix(1, ""));
    EXPECT_EQ(store_.value("FileSuffixNO"), "");
}

// ---- Start-up reading and the snapshot ------------------------------------------------------

class WindowSettingsTest : public ::testing::Test {
  protected:
    WindowSettingsTest() { store_.registerDefaults(); }
    settings::MemorySettingsStore store_;
    platform::ScopedMemoryLog log_;
};

TEST_F(WindowSettingsTest, StoredModeMustBeOneOfTheModes) {
    const std::pair<const char*, uint32_t> cases[] = {{"1", 64},   {"0", 64}, {"65536", 64},   {"6", 64},
                                                      {"abc", 64}, {"4", 4},  {"16384", 16384}};
    for (const auto& [stored, expected] : cases) {
        SCOPED_TRACE(stored);
        store_.setValue("Mode", stored);
        WindowSettings s(store_, cat::kAllTypes);
        s.readUserDefaults("2.1.0");
        EXPECT_EQ(s.rules().getModeType(), expected);
    }
}

TEST_F(WindowSettingsTest, StartupReadsInOrderAndPadsShortLists) {
    store_.setList("FilterTypeDefaults_2", {"1", "1", "1", "1", "1"});
    store_.setValue("GrooveDistortionTapOff", "YES");
    store_.setValue("HiResType", "2");
    WindowSettings s(store_, cat::kAllTypes);
    s.readUserDefaults("2.1.0");

    EXPECT_EQ(s.rules().filterDefaults_2().size(), 22u);
    EXPECT_EQ(s.rules().filterDefaults_1().size(), 22u);
    EXPECT_FALSE(s.mirror().grooveDistortionTapOff);
    EXPECT_FALSE(store_.value("FirstRun").empty());

    const auto lines = log_.lines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8),
              (std::vector<std::string>{
                  "<Info> -------------------------------------------",
                  "<Info> Quiramo v2.1.0",
                  "<Info> -------------------------------------------",
                  "<Info> Reading user defaults...",
                  "<Info>  Mode: Headphones (64)",
                  "<Info>  Enhancement 1: None (1)",
                  "<Info>  Enhancement 2: None (1)",
                  "<Info>  Output format: Unchanged (1)",
              }));
    auto at = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    // A sample of later lines, which must appear in this order.
    const std::vector<std::string> ordered = {
        "<Info>  Show file extensions: 0",
        "<Info>  Clip threshold: 2.000 dB",
        "<Info>  Groove stylus model distortion tap off: 0",
        "<Info>  Hi-Res: Off (2)",
        "<Info>  Dither: On (1)",
        "<Info>  LP Distortion Cancellation Stylus Radius: 10.0",
        "<Info>  Stop Diameter (Wow!): 1.000000",
        "<Info>  Output (CD-4): 1",
        "<Info>  Adjust loudness level of converted files: -16.5 LUFS",
        "<Info>  Warn preprocessed file: 1",
        "<Info>  Application first run: " + store_.value("FirstRun"),
    };
    for (size_t i = 0; i < ordered.size(); ++i) {
        SCOPED_TRACE(ordered[i]);
        ASSERT_LT(at(ordered[i]), static_cast<long>(lines.size()));
        if (i > 0) {
            EXPECT_LT(at(ordered[i - 1]), at(ordered[i]));
        }
    }
    EXPECT_EQ(lines.back(), ordered.back());
}

TEST_F(WindowSettingsTest, SnapshotTakesTheWindowState) {
    quiramo::test::TempDir desktop;
    setenv("XDG_DESKTOP_DIR", desktop.path().c_str(), 1);
    WindowSettings s(store_, cat::kAllTypes);
    s.readUserDefaults("2.1.0");
    s.rules().updateMode(16);
    s.rules().updateFilter_1(cat::kTypeQW);
    s.updateDestinationFolderOption(kDestinationChosenFolder, true);
    s.editDestinationFolder("");
    std::mutex lock;

    auto snapshot = s.makeSnapshot(PassTurn(lock), nullptr, nullptr);
    EXPECT_EQ(std::get<std::string>(snapshot.entries[1]), desktop.path());
    EXPECT_FALSE(std::get<bool>(snapshot.entries[2]));
    EXPECT_EQ(std::get<std::string>(snapshot.entries[3]), "-qw");

    s.rules().updateMode(2);
    s.rules().updateFilter_1(cat::kTypePA1);
    s.rules().updateFilter_2(cat::kTypeQS);
    snapshot = s.makeSnapshot(PassTurn(lock), nullptr, nullptr);
    EXPECT_EQ(std::get<std::string>(snapshot.entries[3]), "-pa1-qs");
    unsetenv("XDG_DESKTOP_DIR");
}

TEST_F(WindowSettingsTest, PreferencesUpdatesReachStoreMirrorAndNextSnapshot) {
    WindowSettings s(store_, cat::kAllTypes);
    s.readUserDefaults("2.1.0");
    EXPECT_TRUE(s.settingsUpdate(kSettingsUpdateClipManagement, {{"clipManagement", "4"}}));
    EXPECT_TRUE(s.settingsUpdate(kSettingsUpdateClipThreshold, {{"clipThreshold", 3.5}}));
    EXPECT_TRUE(
        s.settingsUpdate(kSettingsUpdatePhonographTab,
                         {{"phonographRegime", 3}, {"useGainRanging", 0}, {"lpDistortionStylusRadius", 12}}));
    EXPECT_EQ(store_.value("ClipManagement"), "4");
    EXPECT_EQ(store_.value("ClipThreshold"), "3.500000");
    EXPECT_EQ(store_.value("PhonographRegime"), "3");
    EXPECT_EQ(store_.value("UseGainRanging"), "NO");
    EXPECT_EQ(s.mirror().clipManagement, 4);

    // A negative threshold is refused and the previous value stays.
    EXPECT_TRUE(s.settingsUpdate(kSettingsUpdateClipThreshold, {{"clipThreshold", -1}}));
    EXPECT_EQ(store_.value("ClipThreshold"), "3.500000");
    EXPECT_FALSE(s.settingsUpdate("SettingsUpdateNothing", {}));

    std::mutex lock;
    const auto snapshot = s.makeSnapshot(PassTurn(lock), nullptr, nullptr);
    EXPECT_EQ(std::get<double>(snapshot.entries[7]), 3.5);
    EXPECT_EQ(std::get<int64_t>(snapshot.entries[17]), 3);
    EXPECT_FALSE(std::get<bool>(snapshot.entries[19]));
    EXPECT_EQ(std::get<double>(snapshot.entries[25]), 12.0);
}

}  // namespace
}  // namespace quiramo::desktop
