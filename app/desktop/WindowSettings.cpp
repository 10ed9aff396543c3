#include "app/desktop/WindowSettings.h"

#include <QDateTime>
#include <QLocale>
#include <variant>

#include "app/desktop/Notifications.h"
#include "engine/record/Catalogue.h"
#include "engine/record/SettingsRules.h"
#include "platform/Log.h"

namespace quiramo::desktop {

namespace cat = catalogue;
using settings::SettingsMirror;

namespace {

// Which mirror field and store key each user-info key of the preferences window updates.
using Field = std::variant<bool SettingsMirror::*, int64_t SettingsMirror::*, double SettingsMirror::*>;
struct Binding {
    const char* infoKey;
    const char* storeKey;
    Field field;
};

const Binding kBindings[] = {
    {"grooveDistortionTapOff", "GrooveDistortionTapOff", &SettingsMirror::grooveDistortionTapOff},
    {"grooveDistortion", "GrooveDistortion", &SettingsMirror::grooveDistortion},
    {"grooveNoise", "GrooveNoise", &SettingsMirror::grooveNoise},
    {"dolbyTone", "DolbyTone", &SettingsMirror::dolbyTone},
    {"clipManagement", "ClipManagement", &SettingsMirror::clipManagement},
    {"clipThreshold", "ClipThreshold", &SettingsMirror::clipThreshold},
    {"showFileExt", "ShowFileExt", &SettingsMirror::showFileExt},
    {"showFullPath", "ShowFullPath", &SettingsMirror::showFullPath},
    {"hiResType", "HiResType", &SettingsMirror::hiResType},
    {"ditherType", "DitherType", &SettingsMirror::ditherType},
    {"phonographRegime", "PhonographRegime", &SettingsMirror::phonographRegime},
    {"captureSpeed", "CaptureSpeed", &SettingsMirror::captureSpeed},
    {"useGainRanging", "UseGainRanging", &SettingsMirror::useGainRanging},
    {"useCartridgeBalance", "UseCartridgeBalance", &SettingsMirror::useCartridgeBalance},
    {"useDiscEchoRemoval", "UseDiscEchoRemoval", &SettingsMirror::useDiscEchoRemoval},
    {"usePhlux2ResponseCorrection", "UsePhlux2ResponseCorrection",
     &SettingsMirror::usePhlux2ResponseCorrection},
    {"phonographPopClick", "PhonographPopClick", &SettingsMirror::phonographPopClick},
    {"useLpDistortionCancel", "UseLpDistortionCancel", &SettingsMirror::useLpDistortionCancel},
    {"lpDistortionStylusRadius", "LpDistortionStylusRadius", &SettingsMirror::lpDistortionStylusRadius},
    {"phonographScratch", "PhonographScratch", &SettingsMirror::phonographScratch},
    {"useKestrelOne", "UseKestrelOne", &SettingsMirror::useKestrelOne},
    {"useRumbleFilter", "UseRumbleFilter", &SettingsMirror::useRumbleFilter},
    {"useHumRemoval", "UseHumRemoval", &SettingsMirror::useHumRemoval},
    {"useHumRemovalBassCompensation", "UseHumRemovalBassCompensation",
     &SettingsMirror::useHumRemovalBassCompensation},
    {"useWowCorrection", "UseWowCorrection", &SettingsMirror::useWowCorrection},
    {"rotationalSpeedWow", "RotationalSpeedWow", &SettingsMirror::rotationalSpeedWow},
    {"pitchCorrectionWow", "PitchCorrectionWow", &SettingsMirror::pitchCorrectionWow},
    {"tonearmSwayWow", "TonearmSwayWow", &SettingsMirror::tonearmSwayWow},
    {"startDiameterWow", "StartDiameterWow", &SettingsMirror::startDiameterWow},
    {"stopDiameterWow", "StopDiameterWow", &SettingsMirror::stopDiameterWow},
    {"useCartridgeBalanceCD4", "UseCartridgeBalanceCD4", &SettingsMirror::useCartridgeBalanceCD4},
    {"usePhlux2CrosstalkCD4", "UsePhlux2CrosstalkCD4", &SettingsMirror::usePhlux2CrosstalkCD4},
    {"popClickCD4", "PopClickCD4", &SettingsMirror::popClickCD4},
    {"useKestrelOneCD4", "UseKestrelOneCD4", &SettingsMirror::useKestrelOneCD4},
    {"useRumbleFilterCD4", "UseRumbleFilterCD4", &SettingsMirror::useRumbleFilterCD4},
    {"useHumRemovalCD4", "UseHumRemovalCD4", &SettingsMirror::useHumRemovalCD4},
    {"useHumRemovalBassCompensationCD4", "UseHumRemovalBassCompensationCD4",
     &SettingsMirror::useHumRemovalBassCompensationCD4},
    {"outputCD4", "OutputCD4", &SettingsMirror::outputCD4},
    {"ambisonicUhjRegime", "AmbisonicUhjRegime", &SettingsMirror::ambisonicUhjRegime},
    {"calculateSrcR128", "CalculateSrcR128", &SettingsMirror::calculateSrcR128},
    {"calculateDstR128", "CalculateDstR128", &SettingsMirror::calculateDstR128},
    {"dstBwfMetadata", "DstBwfMetadata", &SettingsMirror::dstBwfMetadata},
    {"adjustDstR128", "AdjustDstR128", &SettingsMirror::adjustDstR128},
    {"adjustDstR128Level", "AdjustDstR128Level", &SettingsMirror::adjustDstR128Level},
    {"warnPreprocess", "WarnPreprocess", &SettingsMirror::warnPreprocess},
};

const Binding* findBinding(const QString& infoKey) {
    for (const auto& b : kBindings) {
        if (infoKey == QLatin1String(b.infoKey)) return &b;
    }
    return nullptr;
}

const Binding* findBindingByStoreKey(const std::string& storeKey) {
    for (const auto& b : kBindings) {
        if (storeKey == b.storeKey) return &b;
    }
    return nullptr;
}

// The user-info keys each notification carries.
struct Update {
    const char* name;
    std::initializer_list<const char*> infoKeys;
};

const Update kUpdates[] = {
    {kSettingsUpdateGrooveDistortionTapOff, {"grooveDistortionTapOff"}},
    {kSettingsUpdateGrooveDistortion, {"grooveDistortion"}},
    {kSettingsUpdateGrooveNoise, {"grooveNoise"}},
    {kSettingsUpdateDolbyTone, {"dolbyTone"}},
    {kSettingsUpdateClipManagement, {"clipManagement"}},
    {kSettingsUpdateClipThreshold, {"clipThreshold"}},
    {kSettingsUpdateDestinationTableText, {"showFileExt", "showFullPath"}},
    {kSettingsupdateHiResType, {"hiResType"}},
    {kSettingsUpdateDitherType, {"ditherType"}},
    {kSettingsUpdatePhonographTab,
     {"phonographRegime", "captureSpeed", "useGainRanging", "useCartridgeBalance", "useDiscEchoRemoval",
      "usePhlux2ResponseCorrection", "phonographPopClick", "useLpDistortionCancel",
      "lpDistortionStylusRadius", "phonographScratch", "useKestrelOne", "useRumbleFilter", "useHumRemoval",
      "useHumRemovalBassCompensation"}},
    {kSettingsUpdateWowTab,
     {"useWowCorrection", "rotationalSpeedWow", "pitchCorrectionWow", "tonearmSwayWow", "startDiameterWow",
      "stopDiameterWow"}},
    {kSettingsUpdateCD4Tab,
     {"useCartridgeBalanceCD4", "usePhlux2CrosstalkCD4", "popClickCD4", "useKestrelOneCD4",
      "useRumbleFilterCD4", "useHumRemovalCD4", "useHumRemovalBassCompensationCD4", "outputCD4"}},
    {kSettingsUpdateAmbisonicUhjRegime, {"ambisonicUhjRegime"}},
    {kSettingsUpdateCalculateSrcR128, {"calculateSrcR128"}},
    {kSettingsUpdateCalculateDstR128, {"calculateDstR128"}},
    {kSettingsUpdateDstBwfMetadata, {"dstBwfMetadata"}},
    {kSettingsUpdateAdjustDstR128, {"adjustDstR128"}},
    {kSettingsUpdateAdjustDstR128Level, {"adjustDstR128Level"}},
    {kSettingsUpdateWarnPreprocess, {"warnPreprocess"}},
};

// The store's text of a user-info value for the field's type; false when it is not one.
bool encodeValue(const Field& field, const QVariant& v, std::string& text) {
    bool ok = true;
    if (std::holds_alternative<bool SettingsMirror::*>(field)) {
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString();
            text = settings::encodeBool(s == "YES" || s == "1" || s == "true");
        } else {
            text = settings::encodeBool(v.toBool());
        }
    } else if (std::holds_alternative<int64_t SettingsMirror::*>(field)) {
        const qlonglong n = v.toLongLong(&ok);
        text = n < 0 ? std::to_string(n) : settings::encodeU64(static_cast<uint64_t>(n));
    } else {
        text = settings::encodeReal(v.toDouble(&ok));
    }
    return ok;
}

void setMirrorField(SettingsMirror& mirror, const Field& field, const std::string& text) {
    if (const auto* b = std::get_if<bool SettingsMirror::*>(&field)) {
        mirror.** b = settings::decodeBool(text);
    } else if (const auto* i = std::get_if<int64_t SettingsMirror::*>(&field)) {
        mirror.** i = settings::decodeInteger(text);
    } else if (const auto* d = std::get_if<double SettingsMirror::*>(&field)) {
        mirror.** d = settings::decodeReal(text);
    }
}

bool isSingleBitIn(uint64_t v, uint64_t mask) {
    return v != 0 && (v & (v - 1)) == 0 && (v & mask) == v;
}

const char* onOff(int64_t v) {
    return v == 1 ? "On" : "Off";
}

unsigned u(bool b) {
    return b ? 1u : 0u;
}

unsigned long ul(int64_t v) {
    return static_cast<unsigned long>(v);
}

}  // namespace

const char* destinationOptionTitle(int tag) {
    return tag == kDestinationBesideSource ? "Beside the source file" : "In the destination folder";
}

WindowSettings::WindowSettings(settings::SettingsStore& store, uint64_t availableTypes)
    : store_(store), rules_(store, availableTypes) {}

void WindowSettings::readUserDefaults(const std::string& version) {
    using platform::log;
    log("<Info> -------------------------------------------");
    log("<Info> Quiramo v%s", version.c_str());
    log("<Info> -------------------------------------------");
    log("<Info> Reading user defaults...");
    mirror_ = settings::readMirror(store_);

    // A value that is not exactly one of the popup's rows is replaced, so that the popups
    // never show a selection that does not exist.
    uint64_t mode = settings::decodeU64(store_.value("Mode"));
    if (!isSingleBitIn(mode, 0x7FFE)) mode = 64;
    rules_.selectMode(static_cast<uint32_t>(mode));
    log("<Info>  Mode: %s (%u)", cat::findMode(rules_.getModeType())->title, rules_.getModeType());

    uint64_t type1 = settings::decodeU64(store_.value("FilterType_1"));
    if (!cat::findEnhancement(type1)) type1 = cat::kTypeNO;
    rules_.selectFilter_1(type1);
    log("<Info>  Enhancement 1: %s (%lu)", cat::displayName(type1), static_cast<unsigned long>(type1));

    uint64_t type2 = settings::decodeU64(store_.value("FilterType_2"));
    if (!cat::findEnhancement(type2)) type2 = cat::kTypeNO;
    rules_.selectFilter_2(type2);
    log("<Info>  Enhancement 2: %s (%lu)", cat::displayName(type2), static_cast<unsigned long>(type2));
    rules_.setFilterDefaults(mirror_.filterDefaults_1, mirror_.filterDefaults_2);
    mirror_.filterDefaults_1 = rules_.filterDefaults_1();
    mirror_.filterDefaults_2 = rules_.filterDefaults_2();

    uint64_t output = settings::decodeU64(store_.value("OutputFormatType"));
    if (!isSingleBitIn(output, cat::kAllOutputFormats)) output = 1;
    rules_.selectOutputFormat(static_cast<int>(output));
    log("<Info>  Output format: %s (%u)", cat::findOutputFormat(static_cast<int>(output))->title,
        static_cast<unsigned>(output));

    destinationFolder_ = store_.value("DestinationFolder");
    log("<Info>  Destination folder: %s", destinationFolder_.c_str());
    const int64_t option = settings::decodeInteger(store_.value("DestinationFolderOption"));
    destinationFolderOption_ =
        option == kDestinationChosenFolder ? kDestinationChosenFolder : kDestinationBesideSource;
    log("<Info>  Destination folder option: %s (%u)", destinationOptionTitle(destinationFolderOption_),
        static_cast<unsigned>(destinationFolderOption_));
    updateDestinationFolderOption(destinationFolderOption_, false);

    rules_.setFileSuffixes(mirror_.fileSuffixes);

    const SettingsMirror& m = mirror_;
    log("<Info>  Show file extensions: %u", u(m.showFileExt));
    log("<Info>  Show file path: %u", u(m.showFullPath));
    log("<Info>  Clip management: %lu", ul(m.clipManagement));
    log("<Info>  Clip threshold: %.3f dB", m.clipThreshold);
    // The tap-off is a diagnostic switch: every run starts without it.
    mirror_.grooveDistortionTapOff = false;
    log("<Info>  Groove stylus model distortion tap off: %u", u(m.grooveDistortionTapOff));
    log("<Info>  Groove stylus model distortion: %.1f", m.grooveDistortion);
    log("<Info>  Groove surface model noise: %.1f", m.grooveNoise);
    log("<Info>  Cat 22 Dolby tone: %.1f", m.dolbyTone);
    log("<Info>  Hi-Res: %s (%lu)", onOff(m.hiResType), ul(m.hiResType));
    log("<Info>  Dither: %s (%lu)", onOff(m.ditherType), ul(m.ditherType));
    log("<Info>  Phonograph regime: %lu", ul(m.phonographRegime));
    log("<Info>  Capture speed: %lu", ul(m.captureSpeed));
    log("<Info>  Use Gain Ranging: %u", u(m.useGainRanging));
    log("<Info>  Use Cartridge Channel Balance: %u", u(m.useCartridgeBalance));
    log("<Info>  Use Disc Echo Removal: %u", u(m.useDiscEchoRemoval));
    log("<Info>  Use DAROZ-AD Response Correction: %u", u(m.usePhlux2ResponseCorrection));
    log("<Info>  Phonograph pop-click: %lu", ul(m.phonographPopClick));
    log("<Info>  Use LP Distortion Cancellation: %u", u(m.useLpDistortionCancel));
    log("<Info>  LP Distortion Cancellation Stylus Radius: %.1f", m.lpDistortionStylusRadius);
    log("<Info>  Phonograph needle-scratch: %lu", ul(m.phonographScratch));
    log("<Info>  Use Kestrel ONE: %u", u(m.useKestrelOne));
    log("<Info>  Use Veltrane Rumble Filter: %u", u(m.useRumbleFilter));
    log("<Info>  Use Hum Removal: %u", u(m.useHumRemoval));
    log("<Info>  Use Hum Removal Bass Compensation: %u", u(m.useHumRemovalBassCompensation));
    log("<Info>  Use Wow Correction: %u", u(m.useWowCorrection));
    log("<Info>  Rotational Speed (Wow!): %lu", ul(m.rotationalSpeedWow));
    log("<Info>  Pitch Correction (Wow!): %lu", ul(m.pitchCorrectionWow));
    log("<Info>  Tonearm Sway (Wow!): %f", m.tonearmSwayWow);
    log("<Info>  Start Diameter (Wow!): %f", m.startDiameterWow);
    log("<Info>  Stop Diameter (Wow!): %f", m.stopDiameterWow);
    log("<Info>  Use Cartridge Channel Balance (CD-4): %u", u(m.useCartridgeBalanceCD4));
    log("<Info>  Use DAROZ-AD Crosstalk Compensation (CD-4): %u", u(m.usePhlux2CrosstalkCD4));
    log("<Info>  Pop-click (CD-4): %lu", ul(m.popClickCD4));
    log("<Info>  Use Kestrel ONE (CD-4): %u", u(m.useKestrelOneCD4));
    log("<Info>  Use Veltrane Rumble Filter (CD-4): %u", u(m.useRumbleFilterCD4));
    log("<Info>  Use Hum Removal (CD-4): %u", u(m.useHumRemovalCD4));
    log("<Info>  Use Hum Removal Bass Compensation (CD-4): %u", u(m.useHumRemovalBassCompensationCD4));
    log("<Info>  Output (CD-4): %lu", ul(m.outputCD4));
    log("<Info>  Ambisonic UHJ regime: %lu", ul(m.ambisonicUhjRegime));
    log("<Info>  Calculate R128 loudness metrics for source files: %u", u(m.calculateSrcR128));
    log("<Info>  Calculate R128 loudness metrics for converted files: %u", u(m.calculateDstR128));
    log("<Info>  Broadcast Wave Format metadata into WAV files: %u", u(m.dstBwfMetadata));
    log("<Info>  Adjust loudness of converted files: %u", u(m.adjustDstR128));
    log("<Info>  Adjust loudness level of converted files: %.1f LUFS", m.adjustDstR128Level);
    log("<Info>  Warn preprocessed file: %u", u(m.warnPreprocess));

    std::string firstRun = store_.value("FirstRun");
    if (firstRun.empty()) {
        firstRun = QLocale::c().toString(QDateTime::currentDateTime(), "yyyy-MM-dd HH:mm:ss").toStdString();
        store_.setValue("FirstRun", firstRun);
    }
    log("<Info>  Application first run: %s", firstRun.c_str());
}

void WindowSettings::updateDestinationFolderOption(int tag, bool fromPopup) {
    destinationFolderOption_ =
        tag == kDestinationChosenFolder ? kDestinationChosenFolder : kDestinationBesideSource;
    if (fromPopup) {
        platform::log("<Info> Destination folder option changed: %s (%u)",
                      destinationOptionTitle(destinationFolderOption_),
                      static_cast<unsigned>(destinationFolderOption_));
    }
    store_.setValue("DestinationFolderOption",
                    settings::encodeU32(static_cast<uint32_t>(destinationFolderOption_)));
}

void WindowSettings::chooseDestinationFolder(const std::string& path) {
    platform::log("<Info> Destination path: %s", path.c_str());
    editDestinationFolder(path);
}

void WindowSettings::editDestinationFolder(const std::string& text) {
    destinationFolder_ = text;
    store_.setValue("DestinationFolder", text);
}

bool WindowSettings::storeValue(const std::string& key, const std::string& text) {
    std::string why;
    if (!settings::validateSetting(key, text, why)) {
        platform::log("<WARNING> Setting %s not changed to '%s': %s", key.c_str(), text.c_str(), why.c_str());
        return false;
    }
    store_.setValue(key, text);
    return true;
}

bool WindowSettings::settingsUpdate(const QString& name, const QVariantMap& userInfo) {
    for (const auto& update : kUpdates) {
        if (name != QLatin1String(update.name)) continue;
        for (const char* infoKey : update.infoKeys) {
            const auto it = userInfo.find(QString::fromLatin1(infoKey));
            if (it == userInfo.end()) continue;
            const Binding* b = findBinding(it.key());
            std::string text;
            if (!encodeValue(b->field, it.value(), text)) {
                platform::log("<WARNING> Setting %s not changed to '%s': not a number", b->storeKey,
                              it.value().toString().toStdString().c_str());
                continue;
            }
            if (storeValue(b->storeKey, text)) setMirrorField(mirror_, b->field, text);
        }
        return true;
    }
    return false;
}

void WindowSettings::choiceStored(const std::string& key, const std::string& value) {
    if (const Binding* b = findBindingByStoreKey(key)) setMirrorField(mirror_, b->field, value);
}

settings::Selection WindowSettings::selection() const {
    settings::Selection s;
    s.mode = rules_.getModeType();
    s.filterType_1 = rules_.getFilterType_1();
    s.filterType_2 = rules_.getFilterType_2();
    s.outputFormatType = rules_.getOutputFormatType();
    s.destinationText = destinationFolder_;
    s.destinationOption = destinationFolderOption_;
    s.suffix_1 = rules_.fileSuffixText(1);
    s.suffix_2 = rules_.fileSuffixText(2);
    return s;
}

settings::Snapshot WindowSettings::makeSnapshot(PassTurn lock, const void* settingsController,
                                                const void* mainWindow) const {
    return settings::makeSnapshot(lock, mirror_, selection(), settingsController, mainWindow);
}

}  // namespace quiramo::desktop
