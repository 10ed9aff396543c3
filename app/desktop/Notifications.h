#pragma once
// The names of the messages that travel between the parts of the window: the drop target,
// the refresh from the passes, and the preferences window's settings updates. Qt signals
// carry them; the names stay so that logs, tests and the preferences side agree on them.

namespace quiramo::desktop {

inline constexpr const char* kDropViewAddFileMsg = "DropViewAddFileMsg";
inline constexpr const char* kAudioFileRefreshViewMsg = "AudioFileRefreshViewMsg";

inline constexpr const char* kSettingsUpdateGrooveDistortionTapOff = "SettingsUpdateGrooveDistortionTapOff";
inline constexpr const char* kSettingsUpdateGrooveDistortion = "SettingsUpdateGrooveDistortion";
inline constexpr const char* kSettingsUpdateGrooveNoise = "SettingsUpdateGrooveNoise";
inline constexpr const char* kSettingsUpdateDolbyTone = "SettingsUpdateDolbyTone";
inline constexpr const char* kSettingsUpdateClipManagement = "SettingsUpdateClipManagement";
inline constexpr const char* kSettingsUpdateClipThreshold = "SettingsUpdateClipThreshold";
// Spelled with a lower-case "u": the preferences window posts it under this name.
inline constexpr const char* kSettingsupdateHiResType = "SettingsupdateHiResType";
inline constexpr const char* kSettingsUpdateDitherType = "SettingsUpdateDitherType";
inline constexpr const char* kSettingsUpdatePhonographTab = "SettingsUpdatePhonographTab";
inline constexpr const char* kSettingsUpdateWowTab = "SettingsUpdateWowTab";
inline constexpr const char* kSettingsUpdateCD4Tab = "SettingsUpdateCD4Tab";
inline constexpr const char* kSettingsUpdateAmbisonicUhjRegime = "SettingsUpdateAmbisonicUhjRegime";
inline constexpr const char* kSettingsUpdateCalculateSrcR128 = "SettingsUpdateCalculateSrcR128";
inline constexpr const char* kSettingsUpdateCalculateDstR128 = "SettingsUpdateCalculateDstR128";
inline constexpr const char* kSettingsUpdateDstBwfMetadata = "SettingsUpdateDstBwfMetadata";
inline constexpr const char* kSettingsUpdateAdjustDstR128 = "SettingsUpdateAdjustDstR128";
inline constexpr const char* kSettingsUpdateAdjustDstR128Level = "SettingsUpdateAdjustDstR128Level";
inline constexpr const char* kSettingsUpdateWarnPreprocess = "SettingsUpdateWarnPreprocess";
inline constexpr const char* kSettingsUpdateDestinationTableText = "SettingsUpdateDestinationTableText";

}  // namespace quiramo::desktop
