#include "engine/record/Settings.h"

#include <cstdlib>
#include <fstream>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo::settings {
namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

// The user's folder of a kind: the environment variable, else the line that xdg-user-dirs
// writes into user-dirs.dirs (XDG_DESKTOP_DIR="$HOME/Schreibtisch": the folders may be
// localised or moved, and the desktop front end reads the same file), else ~/fallback.
std::string xdgFolder(const char* variable, const char* fallback) {
    const char* v = std::getenv(variable);
    if (v && *v) return v;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::ifstream in((config && *config ? std::string(config) : homeFolder() + "/.config") +
                     "/user-dirs.dirs");
    const std::string prefix = std::string(variable) + "=\"";
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with(prefix)) continue;
        const size_t close = line.rfind('"');
        if (close < prefix.size()) continue;  // no closing quote
        std::string folder = line.substr(prefix.size(), close - prefix.size());
        if (folder.starts_with("$HOME")) {
            folder = homeFolder() + folder.substr(5);
        } else if (!folder.starts_with("/")) {
            continue;  // only absolute and $HOME-relative folders are valid there
        }
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return folder;
    }
    return homeFolder() + "/" + fallback;
}

std::vector<KeyInfo> makeKeys() {
    using E = Encoding;
    std::vector<KeyInfo> k = {
        {"DestinationFolder", E::text, defaultMusicFolder(), {}},
        {"Mode", E::unsigned32, "1", {}},
        {"FilterType_1", E::unsigned64, "1", {}},
        {"FilterType_2", E::unsigned64, "1", {}},
        {"FilterTypeDefaults_1", E::list, "", std::vector<std::string>(15, "1")},
        {"FilterTypeDefaults_2", E::list, "", std::vector<std::string>(22, "1")},
        {"OutputFormatType", E::unsigned32, "1", {}},
        {"DestinationFolderOption", E::unsigned64, "1", {}},
    };
    for (const auto& e : catalogue::enhancements()) {
        k.push_back({catalogue::suffixKey(e), E::text, catalogue::defaultSuffix(e), {}});
    }
    const std::vector<KeyInfo> rest = {
        {"ShowFileExt", E::boolean, "NO", {}},
        {"ShowFullPath", E::boolean, "NO", {}},
        {"ClipManagement", E::unsigned64, "1", {}},
        {"ClipThreshold", E::real, "2.0", {}},
        {"GrooveDistortionTapOff", E::boolean, "NO", {}},
        {"GrooveDistortion", E::real, "2", {}},
        {"GrooveNoise", E::real, "-50", {}},
        {"DolbyTone", E::real, "-18", {}},
        {"HiResType", E::unsigned64, "1", {}},
        {"DitherType", E::unsigned64, "1", {}},
        {"PhonographRegime", E::unsigned64, "1", {}},
        {"CaptureSpeed", E::unsigned64, "1", {}},
        {"UseGainRanging", E::boolean, "YES", {}},
        {"UseCartridgeBalance", E::boolean, "YES", {}},
        {"UseDiscEchoRemoval", E::boolean, "YES", {}},
        {"UsePhlux2ResponseCorrection", E::boolean, "NO", {}},
        {"PhonographPopClick", E::unsigned64, "2", {}},
        {"UseLpDistortionCancel", E::boolean, "YES", {}},
        {"LpDistortionStylusRadius", E::real, "10", {}},
        {"PhonographScratch", E::unsigned64, "1", {}},
        {"UseKestrelOne", E::boolean, "YES", {}},
        {"UseRumbleFilter", E::boolean, "YES", {}},
        {"UseHumRemoval", E::boolean, "NO", {}},
        {"UseHumRemovalBassCompensation", E::boolean, "NO", {}},
        {"AmbisonicUhjRegime", E::unsigned64, "1", {}},
        {"CalculateSrcR128", E::boolean, "NO", {}},
        {"CalculateDstR128", E::boolean, "NO", {}},
        {"DstBwfMetadata", E::boolean, "NO", {}},
        {"AdjustDstR128", E::boolean, "NO", {}},
        {"AdjustDstR128Level", E::real, "-16.5", {}},
        {"WarnPreprocess", E::boolean, "YES", {}},
        {"FirstRun", E::text, "", {}},
        {"UseCartridgeBalanceCD4", E::boolean, "YES", {}},
        {"UsePhlux2CrosstalkCD4", E::boolean, "NO", {}},
        {"PopClickCD4", E::unsigned64, "2", {}},
        {"UseKestrelOneCD4", E::boolean, "YES", {}},
        {"UseRumbleFilterCD4", E::boolean, "YES", {}},
        {"UseHumRemovalCD4", E::boolean, "NO", {}},
        {"UseHumRemovalBassCompensationCD4", E::boolean, "NO", {}},
        {"OutputCD4", E::unsigned64, "1", {}},
        {"UseWowCorrection", E::boolean, "NO", {}},
        {"RotationalSpeedWow", E::unsigned64, "1", {}},
        {"PitchCorrectionWow", E::unsigned64, "1", {}},
        {"TonearmSwayWow", E::real, "1", {}},
        {"StartDiameterWow", E::real, "1", {}},
        {"StopDiameterWow", E::real, "1", {}},
    };
    k.insert(k.end(), rest.begin(), rest.end());
    return k;
}

// Entry i of the snapshot fills this field of the job record.
constexpr const char* kSnapshotFields[kSnapshotSize] = {
    "lock",
    "destinationPath",
    "destinationPathFollows",
    "destinationFileSuffix",
    "filterType_1",
    "filterType_2",
    "outputFormatType",
    "clipThreshold",
    "grooveDistortionTapOff",
    "grooveDistortion",
    "grooveNoise",
    "dolbyTone",
    "ambisonicUhjRegime",
    "settingsController",
    "mainWindow",
    "hiResType",
    "ditherType",
    "phonographRegime",
    "captureSpeed",
    "useGainRanging",
    "useCartridgeBalance",
    "useDiscEchoRemoval",
    "usePhlux2ResponseCorrection",
    "phonographPopClick",
    "useLpDistortionCancel",
    "lpDistortionStylusRadius",
    "phonographScratch",
    "useKestrelOne",
    "useRumbleFilter",
    "useHumFilter",
    "useHumFilterBassCompensation",
    "calculateSrcR128",
    "calculateDstR128",
    "dstBwfMetadata",
    "adjustDstR128",
    "adjustDstR128Level",
    "warnPreprocess",
    "useCartridgeBalanceCD4",
    "usePhlux2CrosstalkCD4",
    "popClickCD4",
    "useKestrelOneCD4",
    "useRumbleFilterCD4",
    "useHumFilterCD4",
    "useHumFilterBassCompensationCD4",
    "outputCD4",
    "useWowCorrection",
    "rotationalSpeedWow",
    "pitchCorrectionWow",
    "tonearmSwayWow",
    "startDiameterWow",
    "stopDiameterWow",
};

// Converts an entry to the field's type, whatever numeric alternative it holds.
double asReal(const SnapshotValue& v) {
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
    if (const auto* u = std::get_if<uint64_t>(&v)) return static_cast<double>(*u);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? 1.0 : 0.0;
    QRM_FAIL("Unexpected snapshot value in %s", __func__);
    return 0.0;
}

int64_t asInteger(const SnapshotValue& v) {
    if (const auto* i = std::get_if<int64_t>(&v)) return *i;
    if (const auto* u = std::get_if<uint64_t>(&v)) return static_cast<int64_t>(*u);
    if (const auto* d = std::get_if<double>(&v)) return static_cast<int64_t>(*d);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    QRM_FAIL("Unexpected snapshot value in %s", __func__);
    return 0;
}

uint64_t asU64(const SnapshotValue& v) {
    if (const auto* u = std::get_if<uint64_t>(&v)) return *u;
    return static_cast<uint64_t>(asInteger(v));
}

bool asBool(const SnapshotValue& v) {
    if (const auto* b = std::get_if<bool>(&v)) return *b;
    return asInteger(v) != 0;
}

int asInt(const SnapshotValue& v) { return static_cast<int>(asInteger(v)); }

std::string asText(const SnapshotValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    QRM_FAIL("Unexpected snapshot value in %s", __func__);
    return {};
}

const void* asReference(const SnapshotValue& v) {
    if (const auto* p = std::get_if<const void*>(&v)) return *p;
    return nullptr;
}

}  // namespace

const std::vector<KeyInfo>& keys() {
    static const std::vector<KeyInfo> k = makeKeys();
    return k;
}

const KeyInfo* findKey(std::string_view key) {
    for (const auto& k : keys()) {
        if (k.key == key) return &k;
    }
    return nullptr;
}

std::string defaultMusicFolder() { return xdgFolder("XDG_MUSIC_DIR", "Music"); }
std::string defaultDesktopFolder() { return xdgFolder("XDG_DESKTOP_DIR", "Desktop"); }

std::string encodeBool(bool v) { return v ? "YES" : "NO"; }
std::string encodeU32(uint32_t v) { return platform::format("%u", v); }
std::string encodeU64(uint64_t v) { return platform::format("%lu", static_cast<unsigned long>(v)); }
std::string encodeReal(double v) { return platform::format("%f", v); }
bool decodeBool(const std::string& text) { return text == "YES"; }

int64_t decodeInteger(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

uint64_t decodeU64(const std::string& text) {
    // Leading blanks and a sign are read like the integer value of the text.
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '-') return static_cast<uint64_t>(std::strtoll(p, nullptr, 10));
    return std::strtoull(p, nullptr, 10);
}

double decodeReal(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

void MemorySettingsStore::registerDefaults() {
    std::lock_guard lock(mutex_);
    for (const auto& k : keys()) {
        if (k.encoding == Encoding::list) {
            defaultLists_[k.key] = k.defaultList;
        } else {
            defaults_[k.key] = k.defaultText;
        }
    }
    QRM_ASSERT(defaultLists_["FilterTypeDefaults_1"].size() == 15,
               "Incorrect array size for filterDefaults_1 in %s", __func__);
    QRM_ASSERT(defaultLists_["FilterTypeDefaults_2"].size() == 22,
               "Incorrect array size for filterDefaults_2 in %s", __func__);
}

std::string MemorySettingsStore::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = values_.find(key); it != values_.end()) return it->second;
    if (auto it = defaults_.find(key); it != defaults_.end()) return it->second;
    return {};
}

void MemorySettingsStore::setValue(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

std::vector<std::string> MemorySettingsStore::list(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = lists_.find(key); it != lists_.end()) return it->second;
    if (auto it = defaultLists_.find(key); it != defaultLists_.end()) return it->second;
    return {};
}

void MemorySettingsStore::setList(const std::string& key, const std::vector<std::string>& values) {
    std::lock_guard lock(mutex_);
    lists_[key] = values;
}

SettingsMirror readMirror(const SettingsStore& s) {
    SettingsMirror m;
    auto b = [&s](const char* key) { return decodeBool(s.value(key)); };
    auto i = [&s](const char* key) { return decodeInteger(s.value(key)); };
    auto r = [&s](const char* key) { return decodeReal(s.value(key)); };
    m.clipManagement = i("ClipManagement");
    m.clipThreshold = r("ClipThreshold");
    m.grooveDistortionTapOff = b("GrooveDistortionTapOff");
    m.grooveDistortion = r("GrooveDistortion");
    m.grooveNoise = r("GrooveNoise");
    m.dolbyTone = r("DolbyTone");
    m.hiResType = i("HiResType");
    m.ditherType = i("DitherType");
    m.phonographRegime = i("PhonographRegime");
    m.captureSpeed = i("CaptureSpeed");
    m.useGainRanging = b("UseGainRanging");
    m.useCartridgeBalance = b("UseCartridgeBalance");
    m.useDiscEchoRemoval = b("UseDiscEchoRemoval");
    m.usePhlux2ResponseCorrection = b("UsePhlux2ResponseCorrection");
    m.phonographPopClick = i("PhonographPopClick");
    m.useLpDistortionCancel = b("UseLpDistortionCancel");
    m.lpDistortionStylusRadius = r("LpDistortionStylusRadius");
    m.phonographScratch = i("PhonographScratch");
    m.useKestrelOne = b("UseKestrelOne");
    m.useRumbleFilter = b("UseRumbleFilter");
    m.useHumRemoval = b("UseHumRemoval");
    m.useHumRemovalBassCompensation = b("UseHumRemovalBassCompensation");
    m.ambisonicUhjRegime = i("AmbisonicUhjRegime");
    m.calculateSrcR128 = b("CalculateSrcR128");
    m.calculateDstR128 = b("CalculateDstR128");
    m.dstBwfMetadata = b("DstBwfMetadata");
    m.adjustDstR128 = b("AdjustDstR128");
    m.adjustDstR128Level = r("AdjustDstR128Level");
    m.warnPreprocess = b("WarnPreprocess");
    m.useCartridgeBalanceCD4 = b("UseCartridgeBalanceCD4");
    m.usePhlux2CrosstalkCD4 = b("UsePhlux2CrosstalkCD4");
    m.popClickCD4 = i("PopClickCD4");
    m.useKestrelOneCD4 = b("UseKestrelOneCD4");
    m.useRumbleFilterCD4 = b("UseRumbleFilterCD4");
    m.useHumRemovalCD4 = b("UseHumRemovalCD4");
    m.useHumRemovalBassCompensationCD4 = b("UseHumRemovalBassCompensationCD4");
    m.outputCD4 = i("OutputCD4");
    m.useWowCorrection = b("UseWowCorrection");
    m.rotationalSpeedWow = i("RotationalSpeedWow");
    m.pitchCorrectionWow = i("PitchCorrectionWow");
    m.tonearmSwayWow = r("TonearmSwayWow");
    m.startDiameterWow = r("StartDiameterWow");
    m.stopDiameterWow = r("StopDiameterWow");
    m.showFileExt = b("ShowFileExt");
    m.showFullPath = b("ShowFullPath");
    for (const auto& e : catalogue::enhancements()) m.fileSuffixes[e.code] = s.value(catalogue::suffixKey(e));
    m.filterDefaults_1 = s.list("FilterTypeDefaults_1");
    m.filterDefaults_2 = s.list("FilterTypeDefaults_2");
    return m;
}

const char* snapshotFieldName(size_t i) { return i < kSnapshotSize ? kSnapshotFields[i] : ""; }

Snapshot makeSnapshot(PassTurn lock, const SettingsMirror& m, const Selection& sel,
                      const void* settingsController, const void* mainWindow) {
    Snapshot s;
    auto& e = s.entries;
    e[0] = lock;
    e[1] = sel.destinationText.empty() ? defaultDesktopFolder() : sel.destinationText;
    e[2] = sel.destinationOption == 1;
    e[3] = sel.filterType_2 == catalogue::kTypeNO ? sel.suffix_1 : sel.suffix_1 + sel.suffix_2;
    e[4] = sel.filterType_1;
    e[5] = sel.filterType_2;
    e[6] = int64_t{sel.outputFormatType};
    e[7] = m.clipThreshold;
    e[8] = m.grooveDistortionTapOff;
    e[9] = m.grooveDistortion;
    e[10] = m.grooveNoise;
    e[11] = m.dolbyTone;
    e[12] = m.ambisonicUhjRegime;
    e[13] = settingsController;
    e[14] = mainWindow;
    e[15] = m.hiResType;
    e[16] = m.ditherType;
    e[17] = m.phonographRegime;
    e[18] = m.captureSpeed;
    e[19] = m.useGainRanging;
    e[20] = m.useCartridgeBalance;
    e[21] = m.useDiscEchoRemoval;
    e[22] = m.usePhlux2ResponseCorrection;
    e[23] = m.phonographPopClick;
    e[24] = m.useLpDistortionCancel;
    e[25] = m.lpDistortionStylusRadius;
    e[26] = m.phonographScratch;
    e[27] = m.useKestrelOne;
    e[28] = m.useRumbleFilter;
    e[29] = m.useHumRemoval;
    e[30] = m.useHumRemovalBassCompensation;
    e[31] = m.calculateSrcR128;
    e[32] = m.calculateDstR128;
    e[33] = m.dstBwfMetadata;
    e[34] = m.adjustDstR128;
    e[35] = m.adjustDstR128Level;
    e[36] = m.warnPreprocess;
    e[37] = m.useCartridgeBalanceCD4;
    e[38] = m.usePhlux2CrosstalkCD4;
    e[39] = m.popClickCD4;
    e[40] = m.useKestrelOneCD4;
    e[41] = m.useRumbleFilterCD4;
    e[42] = m.useHumRemovalCD4;
    e[43] = m.useHumRemovalBassCompensationCD4;
    e[44] = m.outputCD4;
    e[45] = m.useWowCorrection;
    e[46] = m.rotationalSpeedWow;
    e[47] = m.pitchCorrectionWow;
    e[48] = m.tonearmSwayWow;
    e[49] = m.startDiameterWow;
    e[50] = m.stopDiameterWow;
    return s;
}

void applySnapshot(AudioFile& j, const Snapshot& s) {
    const auto& e = s.entries;
    j.destinationPath = asText(e[1]);
    j.destinationPathFollows = asBool(e[2]);
    j.destinationFileSuffix = asText(e[3]);
    j.filterType_1 = asU64(e[4]);
    j.filterType_2 = asU64(e[5]);
    j.outputFormatType = asInt(e[6]);
    j.clipThreshold = asReal(e[7]);
    j.grooveDistortionTapOff = asBool(e[8]);
    j.grooveDistortion = asReal(e[9]);
    j.grooveNoise = asReal(e[10]);
    j.dolbyTone = asReal(e[11]);
    j.ambisonicUhjRegime = asInt(e[12]);
    j.settingsController = asReference(e[13]);
    j.mainWindow = asReference(e[14]);
    j.hiResType = asInt(e[15]);
    j.ditherType = asInt(e[16]);
    j.phonographRegime = asInt(e[17]);
    j.captureSpeed = asInt(e[18]);
    j.useGainRanging = asBool(e[19]);
    j.useCartridgeBalance = asBool(e[20]);
    j.useDiscEchoRemoval = asBool(e[21]);
    j.usePhlux2ResponseCorrection = asBool(e[22]);
    j.phonographPopClick = asInt(e[23]);
    j.useLpDistortionCancel = asBool(e[24]);
    j.lpDistortionStylusRadius = asReal(e[25]);
    j.phonographScratch = asInt(e[26]);
    j.useKestrelOne = asBool(e[27]);
    j.useRumbleFilter = asBool(e[28]);
    j.useHumFilter = asBool(e[29]);
    j.useHumFilterBassCompensation = asBool(e[30]);
    j.calculateSrcR128 = asBool(e[31]);
    j.calculateDstR128 = asBool(e[32]);
    j.dstBwfMetadata = asBool(e[33]);
    j.adjustDstR128 = asBool(e[34]);
    j.adjustDstR128Level = asReal(e[35]);
    j.warnPreprocess = asBool(e[36]);
    j.useCartridgeBalanceCD4 = asBool(e[37]);
    j.usePhlux2CrosstalkCD4 = asBool(e[38]);
    j.popClickCD4 = asInt(e[39]);
    j.useKestrelOneCD4 = asBool(e[40]);
    j.useRumbleFilterCD4 = asBool(e[41]);
    j.useHumFilterCD4 = asBool(e[42]);
    j.useHumFilterBassCompensationCD4 = asBool(e[43]);
    j.outputCD4 = asInt(e[44]);
    j.useWowCorrection = asBool(e[45]);
    j.rotationalSpeedWow = asInt(e[46]);
    j.pitchCorrectionWow = asInt(e[47]);
    j.tonearmSwayWow = asReal(e[48]);
    j.startDiameterWow = asReal(e[49]);
    j.stopDiameterWow = asReal(e[50]);
}

}  // namespace quiramo::settings
