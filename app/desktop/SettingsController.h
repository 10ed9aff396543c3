#pragma once
// The preferences window. It starts from the main window's current settings and keeps its
// own copy of each value (the fields ending in "Init"); every change the user makes is
// logged and sent to the main window as one settings update per control group, the name
// of the update with the new values in its user info. The main window stores them and
// hands them to the passes it starts afterwards; this window never writes the store and
// never reaches a running pass.
//
// Tabs: General, Settings, Phonograph EQ, Wow!, CD-4 Quadraphonic, About. Main thread only.

#include <QPointer>
#include <QVariantMap>
#include <QWidget>
#include <cstdint>
#include <variant>
#include <vector>

#include "engine/record/Settings.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDialog;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QUrl;

namespace quiramo::desktop {

class SettingsController : public QWidget {
    Q_OBJECT
  public:
    // The window starts from these values and opens on the General tab. With a parent it
    // stays a window of its own, kept above the main window and closed with it.
    explicit SettingsController(const settings::SettingsMirror& current, QWidget* parent = nullptr);

    // The Preferences menu command: shows the window and brings it to the front.
    void showWindow();

    // A dialog's "from now on" choice, already stored by the main window ("WarnPreprocess",
    // "ClipManagement"): the window shows it. Nothing is sent back.
    void choiceStored(const QString& key, const QString& value);

    // The version line of the About tab, e.g. "Quiramo v2.1.0 (x86_64)".
    static QString versionText();

    // ---- The addresses the About tab and the help buttons open ----------------------------------
    static const char* const kWebPage;
    static const char* const kDownloadsPage;
    static const char* const kManualPage;
    static const char* const kSupportMail;
    // The help page of a tab, by the tab's identifier (e.g. "cd4ToolbarItem").
    static QUrl helpPage(const QString& tabIdentifier);

  signals:
    // One settings update: the name ("SettingsUpdateWowTab", "SettingsupdateHiResType", ...)
    // and the new values under the setting's user-info keys.
    void settingsUpdate(const QString& name, const QVariantMap& userInfo);

  private:
    // What one control edits: its value in the window's copy, its user-info key and how the
    // value travels, its log line ("%1" stands for the new value), and the reset button
    // that may run its handler besides the control itself.
    enum class Post { integer, boolean, unsignedTag, real };
    struct Binding {
        QWidget* control;  // QCheckBox, QComboBox or QSlider
        const char* key;
        Post post;
        const char* logLine;
        std::variant<bool*, uint64_t*, double*> field;
        QAbstractButton* reset = nullptr;
        const char* notification = nullptr;  // controls with an update of their own
        bool sixDecimals = false;            // slider values logged as "%f"
    };
    // The tabs whose controls all go out together in one update.
    struct Tab {
        const char* notification;
        QAbstractButton* reset;
        std::vector<Binding> bindings;
    };

    QWidget* buildGeneralTab();
    QWidget* buildSettingsTab();
    QWidget* buildPhonographTab();
    QWidget* buildWowTab();
    QWidget* buildCD4Tab();
    QWidget* buildAboutTab();
    // A tab's bottom line: its help button, and its reset button when it has one.
    QHBoxLayout* bottomRow(QWidget* page, const char* tabIdentifier, QPushButton* reset);
    void bindControls();
    // Shows the window's copy in the controls, with the value displays and the enabling.
    void showValues();
    void showValueDisplays();
    // Enables the controls whose meaning depends on others.
    void validateControls();

    // ---- Handlers: each takes the control that sent it or its tab's reset button ---------------
    void updateDestinationTableText(QObject* sender);
    void updateClipManagement(QObject* sender);
    void updateClipThreshold(QObject* sender);
    // The other General and Settings controls, one update each.
    void updateSetting(const Binding& binding, QObject* sender);
    // A whole tab in one update.
    void updatePhonographTab(QObject* sender);
    void updateWowTab(QObject* sender);
    void updateCD4Tab(QObject* sender);
    void updateTab(const Tab& tab, QObject* sender);

    void resetSettingsTab();
    void resetPhonographTab();
    void resetWowTab();
    void resetCD4Tab();

    // ---- About ------------------------------------------------------------------------------
    void openUrl(const QUrl& url);
    // Shows a document kept among the application's resources in a window of its own.
    void showDocument(const QString& resource, const QString& title);

    static QVariant postedValue(const Binding& binding);
    void post(const char* name, const QVariantMap& userInfo);

    std::vector<Binding> settings_;
    Tab phonographTab_, wowTab_, cd4Tab_;

    // ---- The window's copy of the settings ---------------------------------------------------
    bool showFileExtInit = false;
    bool showFullPathInit = false;
    bool warnPreprocessInit = true;
    uint64_t clipManagementInit = 1;
    double clipThresholdInit = 2.0;
    uint64_t hiResTypeInit = 1;
    uint64_t ditherTypeInit = 1;
    uint64_t ambisonicUhjRegimeInit = 1;
    bool grooveDistortionTapOffInit = false;
    double grooveDistortionInit = 2.0;
    double grooveNoiseInit = -50.0;
    double dolbyToneInit = -18.0;
    bool calculateSrcR128Init = false;
    bool calculateDstR128Init = false;
    bool dstBwfMetadataInit = false;
    bool adjustDstR128Init = false;
    double adjustDstR128LevelInit = -16.5;

    uint64_t phonographRegimeInit = 1;
    uint64_t captureSpeedInit = 1;
    bool useGainRangingInit = true;
    bool useCartridgeBalanceInit = true;
    bool useDiscEchoRemovalInit = true;
    bool usePhlux2ResponseCorrectionInit = false;
    uint64_t phonographPopClickInit = 2;
    bool useLpDistortionCancelInit = true;
    double lpDistortionStylusRadiusInit = 10.0;
    uint64_t phonographScratchInit = 1;
    bool useKestrelOneInit = true;
    bool useRumbleFilterInit = true;
    bool useHumRemovalInit = false;
    bool useHumRemovalBassCompensationInit = false;

    bool useWowCorrectionInit = false;
    uint64_t rotationalSpeedWowInit = 1;
    uint64_t pitchCorrectionWowInit = 1;
    double tonearmSwayWowInit = 1.0;
    double startDiameterWowInit = 300.0;
    double stopDiameterWowInit = 120.0;

    bool useCartridgeBalanceCD4Init = true;
    bool usePhlux2CrosstalkCD4Init = false;
    uint64_t popClickCD4Init = 2;
    bool useKestrelOneCD4Init = true;
    bool useRumbleFilterCD4Init = true;
    bool useHumRemovalCD4Init = false;
    bool useHumRemovalBassCompensationCD4Init = false;
    uint64_t outputCD4Init = 1;

    // ---- Controls ---------------------------------------------------------------------------
    QTabWidget* tabs_ = nullptr;

    QCheckBox* showFileExtCheckBox_ = nullptr;
    QCheckBox* showFullPathCheckBox_ = nullptr;
    QCheckBox* warnPreprocessCheckBox_ = nullptr;
    QButtonGroup* clipManagementGroup_ = nullptr;
    QLineEdit* clipThresholdField_ = nullptr;
    QCheckBox* calculateSrcR128CheckBox_ = nullptr;
    QCheckBox* calculateDstR128CheckBox_ = nullptr;
    QCheckBox* dstBwfMetadataCheckBox_ = nullptr;
    QCheckBox* adjustDstR128CheckBox_ = nullptr;
    QSlider* adjustDstR128LevelSlider_ = nullptr;

    QComboBox* hiResTypePopup_ = nullptr;
    QComboBox* ditherTypePopup_ = nullptr;
    QComboBox* ambisonicUhjRegimePopup_ = nullptr;
    QCheckBox* grooveDistortionTapOffCheckBox_ = nullptr;
    QSlider* grooveDistortionSlider_ = nullptr;
    QLabel* grooveDistortionLabel_ = nullptr;
    QSlider* grooveNoiseSlider_ = nullptr;
    QLabel* grooveNoiseLabel_ = nullptr;
    QSlider* dolbyToneSlider_ = nullptr;
    QLabel* dolbyToneLabel_ = nullptr;
    QPushButton* settingsDefaultsButton_ = nullptr;

    QComboBox* phonographRegimePopup_ = nullptr;
    QComboBox* captureSpeedPopup_ = nullptr;
    QCheckBox* useGainRangingCheckBox_ = nullptr;
    QCheckBox* useCartridgeBalanceCheckBox_ = nullptr;
    QCheckBox* useDiscEchoRemovalCheckBox_ = nullptr;
    QCheckBox* usePhlux2ResponseCorrectionCheckBox_ = nullptr;
    QComboBox* phonographPopClickPopup_ = nullptr;
    QCheckBox* useLpDistortionCancelCheckBox_ = nullptr;
    QSlider* lpDistortionStylusRadiusSlider_ = nullptr;
    QComboBox* phonographScratchPopup_ = nullptr;
    QCheckBox* useKestrelOneCheckBox_ = nullptr;
    QCheckBox* useRumbleFilterCheckBox_ = nullptr;
    QCheckBox* useHumRemovalCheckBox_ = nullptr;
    QCheckBox* useHumRemovalBassCompensationCheckBox_ = nullptr;
    QPushButton* phonographDefaultsButton_ = nullptr;

    QCheckBox* useWowCorrectionCheckBox_ = nullptr;
    QComboBox* rotationalSpeedWowPopup_ = nullptr;
    QComboBox* pitchCorrectionWowPopup_ = nullptr;
    QSlider* tonearmSwayWowSlider_ = nullptr;
    QLabel* tonearmSwayWowLabel_ = nullptr;
    QSlider* startDiameterWowSlider_ = nullptr;
    QLabel* startDiameterWowLabel_ = nullptr;
    QSlider* stopDiameterWowSlider_ = nullptr;
    QLabel* stopDiameterWowLabel_ = nullptr;
    QPushButton* wowDefaultsButton_ = nullptr;

    QCheckBox* useCartridgeBalanceCD4CheckBox_ = nullptr;
    QCheckBox* usePhlux2CrosstalkCD4CheckBox_ = nullptr;
    QComboBox* popClickCD4Popup_ = nullptr;
    QCheckBox* useKestrelOneCD4CheckBox_ = nullptr;
    QCheckBox* useRumbleFilterCD4CheckBox_ = nullptr;
    QCheckBox* useHumRemovalCD4CheckBox_ = nullptr;
    QCheckBox* useHumRemovalBassCompensationCD4CheckBox_ = nullptr;
    QComboBox* outputCD4Popup_ = nullptr;
    QPushButton* cd4DefaultsButton_ = nullptr;

    QPointer<QDialog> documentWindow_;
};

}  // namespace quiramo::desktop
