#pragma once
// The settings model: every key of the per-user store with its default and encoding, the
// store interface with an in-memory implementation, the typed mirror the front ends keep,
// and the snapshot of 51 entries handed to each pass (entry 0 the pass's lock).

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/record/PassLock.h"

namespace quiramo {
class AudioFile;
}

namespace quiramo::settings {

// How a key's text is written: "%u", "%lu", "%f", "YES"/"NO", free text, or a list of texts.
enum class Encoding { text, boolean, unsigned32, unsigned64, real, list };

struct KeyInfo {
    std::string key;
    Encoding encoding;
    std::string defaultText;               // for every encoding but list
    std::vector<std::string> defaultList;  // for lists
};

// Every key with its registered default, including the 54 "FileSuffix" keys. The
// destination folder's default is the user's music folder.
const std::vector<KeyInfo>& keys();
const KeyInfo* findKey(std::string_view key);

// The user's music folder: $XDG_MUSIC_DIR when set, else its entry in user-dirs.dirs,
// else $HOME/Music.
std::string defaultMusicFolder();
// The user's desktop folder, found the same way ($XDG_DESKTOP_DIR, user-dirs.dirs,
// $HOME/Desktop).
std::string defaultDesktopFolder();

std::string encodeBool(bool v);         // "YES" / "NO"
std::string encodeU32(uint32_t v);      // "%u"
std::string encodeU64(uint64_t v);      // "%lu"
std::string encodeReal(double v);       // "%f"
bool decodeBool(const std::string& text);  // true exactly for "YES"
int64_t decodeInteger(const std::string& text);  // leading decimal integer, 0 when none
uint64_t decodeU64(const std::string& text);
double decodeReal(const std::string& text);

// The per-user store. Values are texts or lists of texts; a key never written reads as
// its registered default.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual void registerDefaults() = 0;
    virtual std::string value(const std::string& key) const = 0;
    virtual void setValue(const std::string& key, const std::string& value) = 0;
    virtual std::vector<std::string> list(const std::string& key) const = 0;
    virtual void setList(const std::string& key, const std::vector<std::string>& values) = 0;
};

// A store in memory, for tests and for runs that must not touch the user's settings.
class MemorySettingsStore : public SettingsStore {
public:
    void registerDefaults() override;
    std::string value(const std::string& key) const override;
    void setValue(const std::string& key, const std::string& value) override;
    std::vector<std::string> list(const std::string& key) const override;
    void setList(const std::string& key, const std::vector<std::string>& values) override;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> defaults_, values_;
    std::map<std::string, std::vector<std::string>> defaultLists_, lists_;
};

// The front end's typed copy of the settings (integers 64-bit).
struct SettingsMirror {
    int64_t clipManagement = 1;
    double clipThreshold = 2.0;
    bool grooveDistortionTapOff = false;
    double grooveDistortion = 2.0;
    double grooveNoise = -50.0;
    double dolbyTone = -18.0;
    int64_t hiResType = 1;
    int64_t ditherType = 1;
    int64_t phonographRegime = 1;
    int64_t captureSpeed = 1;
    bool useGainRanging = true;
    bool useCartridgeBalance = true;
    bool useDiscEchoRemoval = true;
    bool usePhlux2ResponseCorrection = false;
    int64_t phonographPopClick = 2;
    bool useLpDistortionCancel = true;
    double lpDistortionStylusRadius = 10.0;
    int64_t phonographScratch = 1;
    bool useKestrelOne = true;
    bool useRumbleFilter = true;
    bool useHumRemoval = false;
    bool useHumRemovalBassCompensation = false;
    int64_t ambisonicUhjRegime = 1;
    bool calculateSrcR128 = false;
    bool calculateDstR128 = false;
    bool dstBwfMetadata = false;
    bool adjustDstR128 = false;
    double adjustDstR128Level = -16.5;
    bool warnPreprocess = true;
    bool useCartridgeBalanceCD4 = true;
    bool usePhlux2CrosstalkCD4 = false;
    int64_t popClickCD4 = 2;
    bool useKestrelOneCD4 = true;
    bool useRumbleFilterCD4 = true;
    bool useHumRemovalCD4 = false;
    bool useHumRemovalBassCompensationCD4 = false;
    int64_t outputCD4 = 1;
    bool useWowCorrection = false;
    int64_t rotationalSpeedWow = 1;
    int64_t pitchCorrectionWow = 1;
    double tonearmSwayWow = 1.0;
    double startDiameterWow = 1.0;
    double stopDiameterWow = 1.0;
    bool showFileExt = false;
    bool showFullPath = false;
    std::map<std::string, std::string> fileSuffixes;  // by code, e.g. "QW" -> "-qw"
    std::vector<std::string> filterDefaults_1;
    std::vector<std::string> filterDefaults_2;
};

// Reads every mirrored key from the store as typed values (no validity rules, no log).
SettingsMirror readMirror(const SettingsStore& store);

// What the window (or the command line) has selected besides the mirror.
struct Selection {
    uint32_t mode = 64;
    uint64_t filterType_1 = 1;
    uint64_t filterType_2 = 1;
    int outputFormatType = 1;
    std::string destinationText;  // the destination label's text
    int destinationOption = 1;    // 1: beside the source
    std::string suffix_1;         // suffix field of Enhancement 1
    std::string suffix_2;         // suffix field of Enhancement 2
};

using SnapshotValue = std::variant<std::monostate, PassTurn, const void*, std::string, bool, int64_t,
                                   uint64_t, double>;
inline constexpr size_t kSnapshotSize = 51;

// Entry 0 the lock, entries 1 to 50 in their fixed order.
struct Snapshot {
    std::array<SnapshotValue, kSnapshotSize> entries;
    // The pass's lock; use it as std::lock_guard guard(snapshot.lock()).
    const PassTurn& lock() const { return std::get<PassTurn>(entries[0]); }
};

// The job record field that entry i (1 to 50) fills, e.g. "destinationPath".
const char* snapshotFieldName(size_t i);

Snapshot makeSnapshot(PassTurn lock, const SettingsMirror& mirror, const Selection& selection,
                      const void* settingsController = nullptr, const void* mainWindow = nullptr);
// With a plain mutex as the lock (tests, single passes).
inline Snapshot makeSnapshot(std::mutex& lock, const SettingsMirror& mirror, const Selection& selection,
                             const void* settingsController = nullptr, const void* mainWindow = nullptr) {
    return makeSnapshot(PassTurn(lock), mirror, selection, settingsController, mainWindow);
}

// Copies entries 1 to 50 into the record, each converted to its field's type.
void applySnapshot(AudioFile& job, const Snapshot& snapshot);

}  // namespace quiramo::settings
