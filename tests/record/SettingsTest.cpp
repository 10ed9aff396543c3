#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Settings.h"
#include "platform/Log.h"
#include "tests/record/CatalogueTable.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo {
namespace {

using namespace settings;
using E = Encoding;

struct KeyRow {
    const char* key;
    const char* defaultText;
    Encoding encoding;
};

// Every key but the 54 suffix keys, with its registered default and encoding: "%u" for
// the mode and the output format, "%lu" for the other integers and the types, "%f" for
// doubles, "YES"/"NO" for booleans.
const KeyRow kKeyTable[] = {
    {"Mode", "1", E::unsigned32},
    {"FilterType_1", "1", E::unsigned64},
    {"FilterType_2", "1", E::unsigned64},
    {"OutputFormatType", "1", E::unsigned32},
    {"DestinationFolderOption", "1", E::unsigned64},
    {"ShowFileExt", "NO", E::boolean},
    {"ShowFullPath", "NO", E::boolean},
    {"ClipManagement", "1", E::unsigned64},
    {"ClipThreshold", "2.0", E::real},
    {"GrooveDistortionTapOff", "NO", E::boolean},
    {"GrooveDistortion", "2", E::real},
    {"GrooveNoise", "-50", E::real},
    {"DolbyTone", "-18", E::real},
    {"HiResType", "1", E::unsigned64},
    {"DitherType", "1", E::unsigned64},
    {"PhonographRegime", "1", E::unsigned64},
    {"CaptureSpeed", "1", E::unsigned64},
    {"UseGainRanging", "YES", E::boolean},
    {"UseCartridgeBalance", "YES", E::boolean},
    {"UseDiscEchoRemoval", "YES", E::boolean},
    {"UsePhlux2ResponseCorrection", "NO", E::boolean},
    {"PhonographPopClick", "2", E::unsigned64},
    {"UseLpDistortionCancel", "YES", E::boolean},
    {"LpDistortionStylusRadius", "10", E::real},
    {"PhonographScratch", "1", E::unsigned64},
    {"UseKestrelOne", "YES", E::boolean},
    {"UseRumbleFilter", "YES", E::boolean},
    {"UseHumRemoval", "NO", E::boolean},
    {"UseHumRemovalBassCompensation", "NO", E::boolean},
    {"AmbisonicUhjRegime", "1", E::unsigned64},
    {"CalculateSrcR128", "NO", E::boolean},
    {"CalculateDstR128", "NO", E::boolean},
    {"DstBwfMetadata", "NO", E::boolean},
    {"AdjustDstR128", "NO", E::boolean},
    {"AdjustDstR128Level", "-16.5", E::real},
    {"WarnPreprocess", "YES", E::boolean},
    {"FirstRun", "", E::text},
    {"UseCartridgeBalanceCD4", "YES", E::boolean},
    {"UsePhlux2CrosstalkCD4", "NO", E::boolean},
    {"PopClickCD4", "2", E::unsigned64},
    {"UseKestrelOneCD4", "YES", E::boolean},
    {"UseRumbleFilterCD4", "YES", E::boolean},
    {"UseHumRemovalCD4", "NO", E::boolean},
    {"UseHumRemovalBassCompensationCD4", "NO", E::boolean},
    {"OutputCD4", "1", E::unsigned64},
    {"UseWowCorrection", "NO", E::boolean},
    {"RotationalSpeedWow", "1", E::unsigned64},
    {"PitchCorrectionWow", "1", E::unsigned64},
    {"TonearmSwayWow", "1", E::real},
    {"StartDiameterWow", "1", E::real},
    {"StopDiameterWow", "1", E::real},
};

TEST(SettingsKeys, EveryKeyHasItsDefaultAndEncoding) {
    size_t expectedCount = 0;
    for (const KeyRow& row : kKeyTable) {
        SCOPED_TRACE(row.key);
        const KeyInfo* k = findKey(row.key);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->defaultText, row.defaultText);
        EXPECT_EQ(k->encoding, row.encoding);
        ++expectedCount;
    }
    for (const auto& t : test::kTypeTable) {
        SCOPED_TRACE(t.code);
        std::string lower = t.code;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const KeyInfo* k = findKey(std::string("FileSuffix") + t.code);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->defaultText, "-" + lower);
        EXPECT_EQ(k->encoding, E::text);
        ++expectedCount;
    }
    const KeyInfo* folder = findKey("DestinationFolder");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->encoding, E::text);
    EXPECT_EQ(folder->defaultText, defaultMusicFolder());

    const KeyInfo* list1 = findKey("FilterTypeDefaults_1");
    const KeyInfo* list2 = findKey("FilterTypeDefaults_2");
    ASSERT_TRUE(list1 && list2);
    EXPECT_EQ(list1->encoding, E::list);
    EXPECT_EQ(list2->encoding, E::list);
    EXPECT_EQ(list1->defaultList, std::vector<std::string>(15, "1"));
    EXPECT_EQ(list2->defaultList, std::vector<std::string>(22, "1"));
    expectedCount += 3;

    EXPECT_EQ(keys().size(), expectedCount);  // no key beyond the table
    EXPECT_EQ(keys().size(), 108u);
    EXPECT_EQ(findKey("FileSuffixXX"), nullptr);
    EXPECT_EQ(findKey("mode"), nullptr);  // keys are case-sensitive
}

TEST(SettingsKeys, RegisteredDefaultsAreWhatAFreshStoreReads) {
    MemorySettingsStore store;
    EXPECT_EQ(store.value("Mode"), "");  // nothing before registration
    store.registerDefaults();
    for (const auto& k : keys()) {
        SCOPED_TRACE(k.key);
        if (k.encoding == E::list) {
            EXPECT_EQ(store.list(k.key), k.defaultList);
        } else {
            EXPECT_EQ(store.value(k.key), k.defaultText);
        }
    }
    store.setValue("Mode", "512");
    EXPECT_EQ(store.value("Mode"), "512");
    store.setList("FilterTypeDefaults_2", {"1", "2"});
    EXPECT_EQ(store.list("FilterTypeDefaults_2"), (std::vector<std::string>{"1", "2"}));
    store.registerDefaults();  // registering again never overwrites a stored value
    EXPECT_EQ(store.value("Mode"), "512");
    EXPECT_EQ(store.value("NoSuchKey"), "");
    EXPECT_TRUE(store.list("NoSuchKey").empty());
}

TEST(SettingsEncoding, TextsWrittenAndRead) {
    EXPECT_EQ(encodeBool(true), "YES");
    EXPECT_EQ(encodeBool(false), "NO");
    EXPECT_EQ(encodeU32(64), "64");
    EXPECT_EQ(encodeU32(4294967295u), "4294967295");
    EXPECT_EQ(encodeU64(uint64_t{1} << 53), "9007199254740992");
    EXPECT_EQ(encodeU64(uint64_t{1} << 32), "4294967296");
    EXPECT_EQ(encodeReal(2.0), "2.000000");
    EXPECT_EQ(encodeReal(-16.5), "-16.500000");

    for (const char* yes : {"YES"}) EXPECT_TRUE(decodeBool(yes));
    for (const char* no : {"NO", "yes", "Yes", "1", "true", "", "YES "}) EXPECT_FALSE(decodeBool(no)) << no;

    EXPECT_EQ(decodeInteger("65536"), 65536);
    EXPECT_EQ(decodeInteger("0"), 0);
    EXPECT_EQ(decodeInteger(""), 0);
    EXPECT_EQ(decodeInteger("abc"), 0);
    EXPECT_EQ(decodeInteger("-3"), -3);
    EXPECT_EQ(decodeInteger("12abc"), 12);
    EXPECT_EQ(decodeU64("9007199254740992"), uint64_t{1} << 53);
    EXPECT_EQ(decodeU64(encodeU64(0x3FFFFFFFFFFFFF)), 0x3FFFFFFFFFFFFFu);
    EXPECT_EQ(decodeU64(""), 0u);
    EXPECT_DOUBLE_EQ(decodeReal("-16.5"), -16.5);
    EXPECT_DOUBLE_EQ(decodeReal(encodeReal(0.125)), 0.125);
    EXPECT_DOUBLE_EQ(decodeReal("2.0"), 2.0);
    EXPECT_DOUBLE_EQ(decodeReal(""), 0.0);
}

// Every mirror field as name -> text, so a test can see which fields a change touched.
std::map<std::string, std::string> describe(const SettingsMirror& m) {
    auto b = [](bool v) { return std::string(v ? "true" : "false"); };
    auto i = [](int64_t v) { return std::to_string(v); };
    auto r = [](double v) { return platform::format("%.17g", v); };
    std::map<std::string, std::string> d = {
        {"clipManagement", i(m.clipManagement)},
        {"clipThreshold", r(m.clipThreshold)},
        {"grooveDistortionTapOff", b(m.grooveDistortionTapOff)},
        {"grooveDistortion", r(m.grooveDistortion)},
        {"grooveNoise", r(m.grooveNoise)},
        {"dolbyTone", r(m.dolbyTone)},
        {"hiResType", i(m.hiResType)},
        {"ditherType", i(m.ditherType)},
        {"phonographRegime", i(m.phonographRegime)},
        {"captureSpeed", i(m.captureSpeed)},
        {"useGainRanging", b(m.useGainRanging)},
        {"useCartridgeBalance", b(m.useCartridgeBalance)},
        {"useDiscEchoRemoval", b(m.useDiscEchoRemoval)},
        {"usePhlux2ResponseCorrection", b(m.usePhlux2ResponseCorrection)},
        {"phonographPopClick", i(m.phonographPopClick)},
        {"useLpDistortionCancel", b(m.useLpDistortionCancel)},
        {"lpDistortionStylusRadius", r(m.lpDistortionStylusRadius)},
        {"phonographScratch", i(m.phonographScratch)},
        {"useKestrelOne", b(m.useKestrelOne)},
        {"useRumbleFilter", b(m.useRumbleFilter)},
        {"useHumRemoval", b(m.useHumRemoval)},
        {"useHumRemovalBassCompensation", b(m.useHumRemovalBassCompensation)},
        {"ambisonicUhjRegime", i(m.ambisonicUhjRegime)},
        {"calculateSrcR128", b(m.calculateSrcR128)},
        {"calculateDstR128", b(m.calculateDstR128)},
        {"dstBwfMetadata", b(m.dstBwfMetadata)},
        {"adjustDstR128", b(m.adjustDstR128)},
        {"adjustDstR128Level", r(m.adjustDstR128Level)},
        {"warnPreprocess", b(m.warnPreprocess)},
        {"useCartridgeBalanceCD4", b(m.useCartridgeBalanceCD4)},
        {"usePhlux2CrosstalkCD4", b(m.usePhlux2CrosstalkCD4)},
        {"popClickCD4", i(m.popClickCD4)},
        {"useKestrelOneCD4", b(m.useKestrelOneCD4)},
        {"useRumbleFilterCD4", b(m.useRumbleFilterCD4)},
        {"useHumRemovalCD4", b(m.useHumRemovalCD4)},
        {"useHumRemovalBassCompensationCD4", b(m.useHumRemovalBassCompensationCD4)},
        {"outputCD4", i(m.outputCD4)},
        {"useWowCorrection", b(m.useWowCorrection)},
        {"rotationalSpeedWow", i(m.rotationalSpeedWow)},
        {"pitchCorrectionWow", i(m.pitchCorrectionWow)},
        {"tonearmSwayWow", r(m.tonearmSwayWow)},
        {"startDiameterWow", r(m.startDiameterWow)},
        {"stopDiameterWow", r(m.stopDiameterWow)},
        {"showFileExt", b(m.showFileExt)},
        {"showFullPath", b(m.showFullPath)},
    };
    for (const auto& [code, suffix] : m.fileSuffixes) d["suffix " + code] = suffix;
    auto list = [](const std::vector<std::string>& l) {
        std::string s;
        for (const auto& v : l) s += v + ",";
        return s;
    };
    d["filterDefaults_1"] = list(m.filterDefaults_1);
    d["filterDefaults_2"] = list(m.filterDefaults_2);
    return d;
}

std::map<std::string, std::pair<std::string, std::string>> changes(
    const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
    std::map<std::string, std::pair<std::string, std::string>> out;
    for (const auto& [k, v] : b) {
        auto it = a.find(k);
        if (it == a.end() || it->second != v) out[k] = {it == a.end() ? "<none>" : it->second, v};
    }
    for (const auto& [k, v] : a) {
        if (!b.count(k)) out[k] = {v, "<none>"};
    }
    return out;
}

std::string firstKey(const std::map<std::string, std::pair<std::string, std::string>>& diff) {
    return diff.empty() ? "no field changed" : "first change: " + diff.begin()->first;
}

TEST(SettingsMirror, EachKeyReachesItsOwnField) {
    MemorySettingsStore fresh;
    fresh.registerDefaults();
    const SettingsMirror defaults = readMirror(fresh);
    // The registered defaults and the mirror's own initial values agree.
    {
        auto diff = changes(describe(SettingsMirror{}), describe(defaults));
        diff.erase("filterDefaults_1");  // the lists and suffixes start empty in a bare mirror
        diff.erase("filterDefaults_2");
        std::erase_if(diff, [](const auto& e) { return e.first.starts_with("suffix "); });
        EXPECT_TRUE(diff.empty()) << firstKey(diff);
    }
    EXPECT_EQ(defaults.fileSuffixes.size(), 54u);
    EXPECT_EQ(defaults.fileSuffixes.at("QWT"), "-qwt");
    EXPECT_EQ(defaults.filterDefaults_1.size(), 15u);
    EXPECT_EQ(defaults.filterDefaults_2.size(), 22u);

    struct Probe {
        const char* key;
        const char* stored;
        const char* field;
        const char* expected;
    };
    const Probe probes[] = {
        {"ClipManagement", "4", "clipManagement", "4"},
        {"ClipThreshold", "0.500000", "clipThreshold", "0.5"},
        {"GrooveDistortionTapOff", "YES", "grooveDistortionTapOff", "true"},
        {"GrooveDistortion", "3.250000", "grooveDistortion", "3.25"},
        {"GrooveNoise", "-40.000000", "grooveNoise", "-40"},
        {"DolbyTone", "-12.000000", "dolbyTone", "-12"},
        {"HiResType", "2", "hiResType", "2"},
        {"DitherType", "2", "ditherType", "2"},
        {"PhonographRegime", "4", "phonographRegime", "4"},
        {"CaptureSpeed", "8", "captureSpeed", "8"},
        {"UseGainRanging", "NO", "useGainRanging", "false"},
        {"UseCartridgeBalance", "NO", "useCartridgeBalance", "false"},
        {"UseDiscEchoRemoval", "NO", "useDiscEchoRemoval", "false"},
        {"UsePhlux2ResponseCorrection", "YES", "usePhlux2ResponseCorrection", "true"},
        {"PhonographPopClick", "3", "phonographPopClick", "3"},
        {"UseLpDistortionCancel", "NO", "useLpDistortionCancel", "false"},
        {"LpDistortionStylusRadius", "12.500000", "lpDistortionStylusRadius", "12.5"},
        {"PhonographScratch", "4", "phonographScratch", "4"},
        {"UseKestrelOne", "NO", "useKestrelOne", "false"},
        {"UseRumbleFilter", "NO", "useRumbleFilter", "false"},
        {"UseHumRemoval", "YES", "useHumRemoval", "true"},
        {"UseHumRemovalBassCompensation", "YES", "useHumRemovalBassCompensation", "true"},
        {"AmbisonicUhjRegime", "2", "ambisonicUhjRegime", "2"},
        {"CalculateSrcR128", "YES", "calculateSrcR128", "true"},
        {"CalculateDstR128", "YES", "calculateDstR128", "true"},
        {"DstBwfMetadata", "YES", "dstBwfMetadata", "true"},
        {"AdjustDstR128", "YES", "adjustDstR128", "true"},
        {"AdjustDstR128Level", "-23.000000", "adjustDstR128Level", "-23"},
        {"WarnPreprocess", "NO", "warnPreprocess", "false"},
        {"UseCartridgeBalanceCD4", "NO", "useCartridgeBalanceCD4", "false"},
        {"UsePhlux2CrosstalkCD4", "YES", "usePhlux2CrosstalkCD4", "true"},
        {"PopClickCD4", "5", "popClickCD4", "5"},
        {"UseKestrelOneCD4", "NO", "useKestrelOneCD4", "false"},
        {"UseRumbleFilterCD4", "NO", "useRumbleFilterCD4", "false"},
        {"UseHumRemovalCD4", "YES", "useHumRemovalCD4", "true"},
        {"UseHumRemovalBassCompensationCD4", "YES", "useHumRemovalBassCompensationCD4", "true"},
        {"OutputCD4", "2", "outputCD4", "2"},
        {"UseWowCorrection", "YES", "useWowCorrection", "true"},
        {"RotationalSpeedWow", "2", "rotationalSpeedWow", "2"},
        {"PitchCorrectionWow", "2", "pitchCorrectionWow", "2"},
        {"TonearmSwayWow", "0.750000", "tonearmSwayWow", "0.75"},
        {"StartDiameterWow", "2.000000", "startDiameterWow", "2"},
        {"StopDiameterWow", "3.000000", "stopDiameterWow", "3"},
        {"ShowFileExt", "YES", "showFileExt", "true"},
        {"ShowFullPath", "YES", "showFullPath", "true"},
        {"FileSuffixQWT", "-tsym", "suffix QWT", "-tsym"},
        {"FileSuffixKO", "", "suffix KO", ""},
    };
    const auto base = describe(defaults);
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.key);
        MemorySettingsStore store;
        store.registerDefaults();
        store.setValue(p.key, p.stored);
        const auto diff = changes(base, describe(readMirror(store)));
        ASSERT_EQ(diff.size(), 1u) << firstKey(diff);
        EXPECT_EQ(diff.begin()->first, p.field);
        EXPECT_EQ(diff.begin()->second.second, p.expected);
    }

    MemorySettingsStore store;
    store.registerDefaults();
    store.setList("FilterTypeDefaults_2", {"1", "4096", "1", "1", "1"});
    const SettingsMirror m = readMirror(store);
    EXPECT_EQ(m.filterDefaults_2, (std::vector<std::string>{"1", "4096", "1", "1", "1"}));
}

// Every job record field a snapshot fills, as name -> text.
std::map<std::string, std::string> describe(const AudioFile& j) {
    auto b = [](bool v) { return std::string(v ? "true" : "false"); };
    auto i = [](int64_t v) { return std::to_string(v); };
    auto u = [](uint64_t v) { return std::to_string(v); };
    auto r = [](double v) { return platform::format("%.17g", v); };
    auto p = [](const void* v) { return platform::format("%p", v); };
    return {
        {"destinationPath", j.destinationPath},
        {"destinationPathFollows", b(j.destinationPathFollows)},
        {"destinationFileSuffix", j.destinationFileSuffix},
        {"filterType_1", u(j.filterType_1)},
        {"filterType_2", u(j.filterType_2)},
        {"outputFormatType", i(j.outputFormatType)},
        {"clipThreshold", r(j.clipThreshold)},
        {"grooveDistortionTapOff", b(j.grooveDistortionTapOff)},
        {"grooveDistortion", r(j.grooveDistortion)},
        {"grooveNoise", r(j.grooveNoise)},
        {"dolbyTone", r(j.dolbyTone)},
        {"ambisonicUhjRegime", i(j.ambisonicUhjRegime)},
        {"settingsController", p(j.settingsController)},
        {"mainWindow", p(j.mainWindow)},
        {"hiResType", i(j.hiResType)},
        {"ditherType", i(j.ditherType)},
        {"phonographRegime", i(j.phonographRegime)},
        {"captureSpeed", i(j.captureSpeed)},
        {"useGainRanging", b(j.useGainRanging)},
        {"useCartridgeBalance", b(j.useCartridgeBalance)},
        {"useDiscEchoRemoval", b(j.useDiscEchoRemoval)},
        {"usePhlux2ResponseCorrection", b(j.usePhlux2ResponseCorrection)},
        {"phonographPopClick", i(j.phonographPopClick)},
        {"useLpDistortionCancel", b(j.useLpDistortionCancel)},
        {"lpDistortionStylusRadius", r(j.lpDistortionStylusRadius)},
        {"phonographScratch", i(j.phonographScratch)},
        {"useKestrelOne", b(j.useKestrelOne)},
        {"useRumbleFilter", b(j.useRumbleFilter)},
        {"useHumFilter", b(j.useHumFilter)},
        {"useHumFilterBassCompensation", b(j.useHumFilterBassCompensation)},
        {"calculateSrcR128", b(j.calculateSrcR128)},
        {"calculateDstR128", b(j.calculateDstR128)},
        {"dstBwfMetadata", b(j.dstBwfMetadata)},
        {"adjustDstR128", b(j.adjustDstR128)},
        {"adjustDstR128Level", r(j.adjustDstR128Level)},
        {"warnPreprocess", b(j.warnPreprocess)},
        {"useCartridgeBalanceCD4", b(j.useCartridgeBalanceCD4)},
        {"usePhlux2CrosstalkCD4", b(j.usePhlux2CrosstalkCD4)},
        {"popClickCD4", i(j.popClickCD4)},
        {"useKestrelOneCD4", b(j.useKestrelOneCD4)},
        {"useRumbleFilterCD4", b(j.useRumbleFilterCD4)},
        {"useHumFilterCD4", b(j.useHumFilterCD4)},
        {"useHumFilterBassCompensationCD4", b(j.useHumFilterBassCompensationCD4)},
        {"outputCD4", i(j.outputCD4)},
        {"useWowCorrection", b(j.useWowCorrection)},
        {"rotationalSpeedWow", i(j.rotationalSpeedWow)},
        {"pitchCorrectionWow", i(j.pitchCorrectionWow)},
        {"tonearmSwayWow", r(j.tonearmSwayWow)},
        {"startDiameterWow", r(j.startDiameterWow)},
        {"stopDiameterWow", r(j.stopDiameterWow)},
    };
}

// The inputs of a snapshot: the mirror, the window's selection and the two references.
struct SnapshotInputs {
    SettingsMirror mirror;
    Selection selection;
    const void* controller = nullptr;
    const void* window = nullptr;

    SnapshotInputs() {
        selection.destinationText = "/srv/out";
        selection.suffix_1 = "-no";
        selection.suffix_2 = "-no";
    }
    std::map<std::string, std::string> jobFields(std::mutex& lock) const {
        const Snapshot s = makeSnapshot(lock, mirror, selection, controller, window);
        AudioFile job("/x/a.wav", false, false);
        applySnapshot(job, s);
        return describe(job);
    }
};

TEST(SettingsSnapshot, EntriesFillTheirFieldsInTheFixedOrder) {
    struct Row {
        size_t entry;
        const char* field;
        std::function<void(SnapshotInputs&)> change;
        const char* expected;  // the field's new value as text
    };
    static const int controller = 0, window = 0;
    const std::string controllerText = platform::format("%p", static_cast<const void*>(&controller));
    const std::string windowText = platform::format("%p", static_cast<const void*>(&window));
    const Row rows[] = {
        {1, "destinationPath", [](auto& in) { in.selection.destinationText = "/media/usb"; }, "/media/usb"},
        {2, "destinationPathFollows", [](auto& in) { in.selection.destinationOption = 2; }, "false"},
        {3, "destinationFileSuffix", [](auto& in) { in.selection.suffix_1 = "-riaa"; }, "-riaa"},
        {4, "filterType_1", [](auto& in) { in.selection.filterType_1 = uint64_t{1} << 32; }, "4294967296"},
        {5, "filterType_2",
         [](auto& in) {
             in.selection.filterType_2 = uint64_t{1} << 53;
             in.selection.suffix_2.clear();
         },
         "9007199254740992"},
        {6, "outputFormatType", [](auto& in) { in.selection.outputFormatType = 8192; }, "8192"},
        {7, "clipThreshold", [](auto& in) { in.mirror.clipThreshold = 0.25; }, "0.25"},
        {8, "grooveDistortionTapOff", [](auto& in) { in.mirror.grooveDistortionTapOff = true; }, "true"},
        {9, "grooveDistortion", [](auto& in) { in.mirror.grooveDistortion = 4.5; }, "4.5"},
        {10, "grooveNoise", [](auto& in) { in.mirror.grooveNoise = -61; }, "-61"},
        {11, "dolbyTone", [](auto& in) { in.mirror.dolbyTone = -9; }, "-9"},
        {12, "ambisonicUhjRegime", [](auto& in) { in.mirror.ambisonicUhjRegime = 3; }, "3"},
        {13, "settingsController", [](auto& in) { in.controller = &controller; }, controllerText.c_str()},
        {14, "mainWindow", [](auto& in) { in.window = &window; }, windowText.c_str()},
        {15, "hiResType", [](auto& in) { in.mirror.hiResType = 2; }, "2"},
        {16, "ditherType", [](auto& in) { in.mirror.ditherType = 2; }, "2"},
        {17, "phonographRegime", [](auto& in) { in.mirror.phonographRegime = 3; }, "3"},
        {18, "captureSpeed", [](auto& in) { in.mirror.captureSpeed = 16; }, "16"},
        {19, "useGainRanging", [](auto& in) { in.mirror.useGainRanging = false; }, "false"},
        {20, "useCartridgeBalance", [](auto& in) { in.mirror.useCartridgeBalance = false; }, "false"},
        {21, "useDiscEchoRemoval", [](auto& in) { in.mirror.useDiscEchoRemoval = false; }, "false"},
        {22, "usePhlux2ResponseCorrection", [](auto& in) { in.mirror.usePhlux2ResponseCorrection = true; },
         "true"},
        {23, "phonographPopClick", [](auto& in) { in.mirror.phonographPopClick = 4; }, "4"},
        {24, "useLpDistortionCancel", [](auto& in) { in.mirror.useLpDistortionCancel = false; }, "false"},
        {25, "lpDistortionStylusRadius", [](auto& in) { in.mirror.lpDistortionStylusRadius = 7.5; }, "7.5"},
        {26, "phonographScratch", [](auto& in) { in.mirror.phonographScratch = 3; }, "3"},
        {27, "useKestrelOne", [](auto& in) { in.mirror.useKestrelOne = false; }, "false"},
        {28, "useRumbleFilter", [](auto& in) { in.mirror.useRumbleFilter = false; }, "false"},
        {29, "useHumFilter", [](auto& in) { in.mirror.useHumRemoval = true; }, "true"},
        {30, "useHumFilterBassCompensation", [](auto& in) { in.mirror.useHumRemovalBassCompensation = true; },
         "true"},
        {31, "calculateSrcR128", [](auto& in) { in.mirror.calculateSrcR128 = true; }, "true"},
        {32, "calculateDstR128", [](auto& in) { in.mirror.calculateDstR128 = true; }, "true"},
        {33, "dstBwfMetadata", [](auto& in) { in.mirror.dstBwfMetadata = true; }, "true"},
        {34, "adjustDstR128", [](auto& in) { in.mirror.adjustDstR128 = true; }, "true"},
        {35, "adjustDstR128Level", [](auto& in) { in.mirror.adjustDstR128Level = -23; }, "-23"},
        {36, "warnPreprocess", [](auto& in) { in.mirror.warnPreprocess = false; }, "false"},
        {37, "useCartridgeBalanceCD4", [](auto& in) { in.mirror.useCartridgeBalanceCD4 = false; }, "false"},
        {38, "usePhlux2CrosstalkCD4", [](auto& in) { in.mirror.usePhlux2CrosstalkCD4 = true; }, "true"},
        {39, "popClickCD4", [](auto& in) { in.mirror.popClickCD4 = 5; }, "5"},
        {40, "useKestrelOneCD4", [](auto& in) { in.mirror.useKestrelOneCD4 = false; }, "false"},
        {41, "useRumbleFilterCD4", [](auto& in) { in.mirror.useRumbleFilterCD4 = false; }, "false"},
        {42, "useHumFilterCD4", [](auto& in) { in.mirror.useHumRemovalCD4 = true; }, "true"},
        {43, "useHumFilterBassCompensationCD4",
         [](auto& in) { in.mirror.useHumRemovalBassCompensationCD4 = true; }, "true"},
        {44, "outputCD4", [](auto& in) { in.mirror.outputCD4 = 2; }, "2"},
        {45, "useWowCorrection", [](auto& in) { in.mirror.useWowCorrection = true; }, "true"},
        {46, "rotationalSpeedWow", [](auto& in) { in.mirror.rotationalSpeedWow = 2; }, "2"},
        {47, "pitchCorrectionWow", [](auto& in) { in.mirror.pitchCorrectionWow = 2; }, "2"},
        {48, "tonearmSwayWow", [](auto& in) { in.mirror.tonearmSwayWow = 0.5; }, "0.5"},
        {49, "startDiameterWow", [](auto& in) { in.mirror.startDiameterWow = 11.5; }, "11.5"},
        {50, "stopDiameterWow", [](auto& in) { in.mirror.stopDiameterWow = 4.75; }, "4.75"},
    };
    ASSERT_EQ(std::size(rows), kSnapshotSize - 1);
    std::mutex lock;
    const SnapshotInputs plain;
    const auto base = plain.jobFields(lock);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.field);
        EXPECT_STREQ(snapshotFieldName(row.entry), row.field);
        SnapshotInputs in;
        row.change(in);
        const auto diff = changes(base, in.jobFields(lock));
        ASSERT_EQ(diff.size(), 1u) << firstKey(diff);
        EXPECT_EQ(diff.begin()->first, row.field);
        EXPECT_EQ(diff.begin()->second.second, row.expected);
    }
    EXPECT_STREQ(snapshotFieldName(kSnapshotSize), "");

    // Entry 0 is the pass's lock itself.
    const Snapshot s = makeSnapshot(lock, plain.mirror, plain.selection);
    {
        std::lock_guard guard(s.lock());
        EXPECT_FALSE(lock.try_lock());
    }
    EXPECT_TRUE(lock.try_lock());
    lock.unlock();
}

TEST(SettingsSnapshot, SuffixIsEnhancement1sAloneUnlessEnhancement2IsSet) {
    std::mutex lock;
    Selection sel;
    sel.destinationText = "/srv/out";
    sel.filterType_1 = catalogue::kTypeQW;
    sel.filterType_2 = catalogue::kTypeNO;
    sel.suffix_1 = "-qw";
    sel.suffix_2 = "-no";
    AudioFile job("/x/a.wav", false, false);
    applySnapshot(job, makeSnapshot(lock, SettingsMirror{}, sel));
    EXPECT_EQ(job.destinationFileSuffix, "-qw");

    sel.filterType_1 = catalogue::kTypePA1;
    sel.filterType_2 = catalogue::kTypeCS40;
    sel.suffix_1 = "-pa1";
    sel.suffix_2 = "-cs40";
    applySnapshot(job, makeSnapshot(lock, SettingsMirror{}, sel));
    EXPECT_EQ(job.destinationFileSuffix, "-pa1-cs40");
    EXPECT_EQ(job.filterType_2, catalogue::kTypeCS40);
}

// Sets or unsets environment variables for one test and puts them back.
class ScopedEnv {
  public:
    void set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(SettingsSnapshot, EmptyDestinationBecomesTheDesktopFolder) {
    test::TempDir dir;
    ScopedEnv env;
    env.set("HOME", dir.path().c_str());
    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("XDG_DESKTOP_DIR", nullptr);
    env.set("XDG_MUSIC_DIR", nullptr);
    std::mutex lock;
    Selection sel;
    sel.destinationText = "";
    AudioFile job("/x/a.wav", false, false);
    applySnapshot(job, makeSnapshot(lock, SettingsMirror{}, sel));
    EXPECT_EQ(job.destinationPath, dir.path() + "/Desktop");
    EXPECT_EQ(defaultMusicFolder(), dir.path() + "/Music");

    // Folders moved or localised by xdg-user-dirs.
    std::filesystem::create_directories(dir.path() + "/.config");
    {
        std::ofstream f(dir.path() + "/.config/user-dirs.dirs");
        f << "# written by xdg-user-dirs-update\n"
             "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
             "XDG_MUSIC_DIR=\"/data/Musik/\"\n"
             "XDG_VIDEOS_DIR=\"relative/is/invalid\"\n";
    }
    applySnapshot(job, makeSnapshot(lock, SettingsMirror{}, sel));
    EXPECT_EQ(job.destinationPath, dir.path() + "/Schreibtisch");
    EXPECT_EQ(defaultMusicFolder(), "/data/Musik");
    EXPECT_EQ(defaultDesktopFolder(), dir.path() + "/Schreibtisch");

    env.set("XDG_DESKTOP_DIR", "/env/desk");
    EXPECT_EQ(defaultDesktopFolder(), "/env/desk");

    // A chosen destination is taken as it is.
    sel.destinationText = "/srv/out";
    applySnapshot(job, makeSnapshot(lock, SettingsMirror{}, sel));
    EXPECT_EQ(job.destinationPath, "/srv/out");
}

}  // namespace
}  // namespace quiramo
