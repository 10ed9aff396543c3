// The preferences window through its widgets: every control group sends its update with the
// right keys and values, the main window stores them and hands them to the next pass, the
// value displays, the dependent enabling, the clip threshold entry, the diameter coupling and
// the reset buttons.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSysInfo>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <variant>

#include "app/desktop/DropView.h"
#include "app/desktop/SettingsController.h"
#include "engine/record/AudioFile.h"
#include "platform/Host.h"
#include "tests/app/AppTestSupport.h"

namespace quiramo::desktop::test {
namespace {}  // namespace

// Stands in for the browser and the mail program.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public slots:
    void open(const QUrl& url) { urls << url; }
};

namespace {

class PreferencesTest : public AppTest {
  public:
    SettingsController& prefs() {
        if (!window_) makeWindow();
        return *window_->settingsController();
    }
    template <class T>
    T* control(const char* name) {
        T* c = prefs().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString label(const char* name) { return control<QLabel>(name)->text(); }
    // What a user's choice in a pop-up does: select the row and send its action.
    void choose(const char* popupName, uint64_t tag) {
        auto* popup = control<QComboBox>(popupName);
        const int row = popup->findData(QVariant::fromValue<qulonglong>(tag));
        ASSERT_GE(row, 0) << popupName << " has no tag " << tag;
        popup->setCurrentIndex(row);
        emit popup->activated(row);
    }
    void slide(const char* name, int position) { control<QSlider>(name)->setValue(position); }
    void typeThreshold(const QString& text) {
        auto* field = control<QLineEdit>("ID_clip_threshold");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    // The entry of the next pass's snapshot that fills `field` of the job record.
    settings::SnapshotValue snapshotEntry(const std::string& field) {
        std::mutex lock;
        const settings::Snapshot s = window_->windowSettings().makeSnapshot(PassTurn(lock), nullptr, nullptr);
        for (size_t i = 1; i < settings::kSnapshotSize; ++i) {
            if (field == settings::snapshotFieldName(i)) return s.entries[i];
        }
        ADD_FAILURE() << "no snapshot entry " << field;
        return {};
    }
    double snapshotNumber(const std::string& field) {
        return std::visit(
            [](const auto& v) -> double {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, int64_t> ||
                              std::is_same_v<T, uint64_t> || std::is_same_v<T, double>) {
                    return static_cast<double>(v);
                } else {
                    return NAN;
                }
            },
            snapshotEntry(field));
    }
};

// ---- Each control group: its update, the stored key and the next snapshot --------------------

struct GroupCase {
    const char* what;
    std::function<void(PreferencesTest&)> act;
    const char* notification;
    QVariantMap userInfo;  // the keys that must be there with these values
    const char* storeKey;
    const char* storedText;
    const char* snapshotField;  // nullptr: not in the snapshot
    double snapshotValue;
    const char* logLine;
};

TEST_F(PreferencesTest, EachControlGroupPostsItsUpdateAndReachesTheNextPass) {
    const std::vector<GroupCase> cases = {
        {"hi-res pop-up",
         [](PreferencesTest& t) { t.choose("hiResType", 2); },
         "SettingsupdateHiResType",
         {{"hiResType", 2}},
         "HiResType",
         "2",
         "hiResType",
         2,
         "<Info> Hi-Res changed: Off (2)"},
        {"dither pop-up",
         [](PreferencesTest& t) { t.choose("ditherType", 2); },
         "SettingsUpdateDitherType",
         {{"ditherType", 2}},
         "DitherType",
         "2",
         "ditherType",
         2,
         "<Info> Dither changed: Off (2)"},
        {"UHJ pop-up",
         [](PreferencesTest& t) { t.choose("ambisonicUhjRegime", 4); },
         "SettingsUpdateAmbisonicUhjRegime",
         {{"ambisonicUhjRegime", 4}},
         "AmbisonicUhjRegime",
         "4",
         "ambisonicUhjRegime",
         4,
         "<Info> Ambisonic UHJ regime changed: Sharp (4)"},
        {"groove distortion",
         [](PreferencesTest& t) { t.slide("grooveDistortion", 4); },
         "SettingsUpdateGrooveDistortion",
         {{"grooveDistortion", 4.0}},
         "GrooveDistortion",
         "4.000000",
         "grooveDistortion",
         4,
         "<Info> Groove stylus model distortion changed to 4.000000"},
        {"dolby tone",
         [](PreferencesTest& t) { t.slide("dolbyTone", -25); },
         "SettingsUpdateDolbyTone",
         {{"dolbyTone", -12.5}},
         "DolbyTone",
         "-12.500000",
         "dolbyTone",
         -12.5,
         "<Info> Cat 22 Dolby Tone Level changed to -12.500000"},
        {"tap-off",
         [](PreferencesTest& t) { t.control<QCheckBox>("grooveDistortionTapOff")->setChecked(true); },
         "SettingsUpdateGrooveDistortionTapOff",
         {{"grooveDistortionTapOff", 1}},
         "GrooveDistortionTapOff",
         "YES",
         "grooveDistortionTapOff",
         1,
         "<Info> Groove stylus model distortion tap off changed to 1"},
        {"warn preprocessed",
         [](PreferencesTest& t) { t.control<QCheckBox>("warnPreprocess")->click(); },
         "SettingsUpdateWarnPreprocess",
         {{"warnPreprocess", false}},
         "WarnPreprocess",
         "NO",
         "warnPreprocess",
         0,
         "<Info> Warning for preprocessed audio files changed to: 0"},
        {"R128 of sources",
         [](PreferencesTest& t) { t.control<QCheckBox>("calculateSrcR128")->click(); },
         "SettingsUpdateCalculateSrcR128",
         {{"calculateSrcR128", 1}},
         "CalculateSrcR128",
         "YES",
         "calculateSrcR128",
         1,
         "<Info> Calculate R128 loudness metrics for source files changed: 1"},
        {"R128 of converted",
         [](PreferencesTest& t) { t.control<QCheckBox>("calculateDstR128")->click(); },
         "SettingsUpdateCalculateDstR128",
         {{"calculateDstR128", 1}},
         "CalculateDstR128",
         "YES",
         "calculateDstR128",
         1,
         "<Info> Calculate R128 loudness metrics for converted files changed: 1"},
        {"BWF metadata",
         [](PreferencesTest& t) { t.control<QCheckBox>("dstBwfMetadata")->setChecked(true); },
         "SettingsUpdateDstBwfMetadata",
         {{"dstBwfMetadata", 1}},
         "DstBwfMetadata",
         "YES",
         "dstBwfMetadata",
         1,
         "<Info> Broadcast Wave Format (BWF) metadata changed: 1"},
        {"adjust loudness",
         [](PreferencesTest& t) { t.control<QCheckBox>("adjustDstR128")->setChecked(true); },
         "SettingsUpdateAdjustDstR128",
         {{"adjustDstR128", 1}},
         "AdjustDstR128",
         "YES",
         "adjustDstR128",
         1,
         "<Info> Adjust loudness of converted files changed: 1"},
        {"loudness level",
         [](PreferencesTest& t) { t.slide("adjustDstR128Level", -46); },
         "SettingsUpdateAdjustDstR128Level",
         {{"adjustDstR128Level", -23.0}},
         "AdjustDstR128Level",
         "-23.000000",
         "adjustDstR128Level",
         -23,
         "<Info> Adjust loudness of converted files changed to -23.000000"},
        {"clip management",
         [](PreferencesTest& t) { t.control<QAbstractButton>("clipManagement_4")->click(); },
         "SettingsUpdateClipManagement",
         {{"clipManagement", QString("4")}},
         "ClipManagement",
         "4",
         nullptr,
         0,
         "<Info> Clip management changed to attenuate entire audio files"},
        {"file extensions",
         [](PreferencesTest& t) { t.control<QCheckBox>("showFileExt")->click(); },
         "SettingsUpdateDestinationTableText",
         {{"showFileExt", 1}, {"showFullPath", 0}},
         "ShowFileExt",
         "YES",
         nullptr,
         0,
         nullptr},
        {"phonograph tab",
         [](PreferencesTest& t) { t.choose("captureSpeed", 3); },
         "SettingsUpdatePhonographTab",
         {{"captureSpeed", 3},
          {"phonographRegime", 1},
          {"useGainRanging", 1},
          {"lpDistortionStylusRadius", 10}},
         "CaptureSpeed",
         "3",
         "captureSpeed",
         3,
         "<Info> Capture speed changed: 78 rpm record captured at 33⅓ (3)"},
        {"wow tab",
         [](PreferencesTest& t) { t.control<QCheckBox>("useWowCorrection")->click(); },
         "SettingsUpdateWowTab",
         {{"useWowCorrection", 1}, {"rotationalSpeedWow", 1}, {"pitchCorrectionWow", 1}},
         "UseWowCorrection",
         "YES",
         "useWowCorrection",
         1,
         "<Info> Wow correction changed: 1"},
        {"CD-4 tab",
         [](PreferencesTest& t) { t.choose("outputCD4", 2); },
         "SettingsUpdateCD4Tab",
         {{"outputCD4", 2}, {"popClickCD4", 2}, {"useKestrelOneCD4", 1}, {"usePhlux2CrosstalkCD4", 0}},
         "OutputCD4",
         "2",
         "outputCD4",
         2,
         "<Info> Use output setting changed: Difference signal on the rear pair (2)"},
    };
    makeWindow();
    QSignalSpy posted(&prefs(), &SettingsController::settingsUpdate);
    for (const GroupCase& c : cases) {
        SCOPED_TRACE(c.what);
        posted.clear();
        log_->clear();
        c.act(*this);
        ASSERT_EQ(posted.count(), 1);
        EXPECT_EQ(posted.at(0).at(0).toString(), c.notification);
        const QVariantMap info = posted.at(0).at(1).toMap();
        for (auto it = c.userInfo.begin(); it != c.userInfo.end(); ++it) {
            ASSERT_TRUE(info.contains(it.key())) << it.key().toStdString();
            EXPECT_EQ(info.value(it.key()).toString(), it.value().toString()) << it.key().toStdString();
        }
        // Text only where text is meant: the clip management choice.
        const bool text = QString(c.notification) == "SettingsUpdateClipManagement";
        EXPECT_EQ(info.first().typeId() == QMetaType::QString, text);
        EXPECT_EQ(store_->value(c.storeKey), c.storedText);
        if (c.snapshotField) {
            EXPECT_EQ(snapshotNumber(c.snapshotField), c.snapshotValue);
        }
        if (c.logLine) {
            EXPECT_TRUE(logHas(c.logLine)) << c.logLine;
        }
    }
    // Whole tabs carry every one of their keys.
    const std::map<QString, int> tabKeys = {
        {"SettingsUpdatePhonographTab", 14}, {"SettingsUpdateWowTab", 6}, {"SettingsUpdateCD4Tab", 8}};
    posted.clear();
    choose("phonographRegime", 2);
    choose("rotationalSpeedWow", 3);
    choose("popClickCD4", 1);
    ASSERT_EQ(posted.count(), 3);
    for (const auto& args : posted) EXPECT_EQ(args.at(1).toMap().size(), tabKeys.at(args.at(0).toString()));
}

TEST_F(PreferencesTest, WindowStartsFromTheStoredValuesOnTheGeneralTab) {
    store_->setValue("DitherType", "2");
    store_->setValue("ClipThreshold", "1.5");
    store_->setValue("StartDiameterWow", "250");
    store_->setValue("UseHumRemovalCD4", "YES");
    makeWindow();
    auto* tabs = control<QTabWidget>("tabs");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(prefs().windowTitle(), "General");
    const QStringList identifiers = {"generalToolbarItem", "settingsToolbarItem", "phonographToolbarItem",
                                     "wowToolbarItem",     "cd4ToolbarItem",      "aboutToolbarItem"};
    const QStringList titles = {"General", "Settings", "Phonograph EQ", "Wow!", "CD-4 Quadraphonic", "About"};
    for (int i = 0; i < tabs->count(); ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), identifiers[i]);
        tabs->setCurrentIndex(i);
        EXPECT_EQ(prefs().windowTitle(), titles[i]);
    }
    EXPECT_EQ(control<QComboBox>("ditherType")->currentData().toULongLong(), 2u);
    EXPECT_EQ(control<QLineEdit>("ID_clip_threshold")->text(), "1.500");
    EXPECT_EQ(label("startDiameterWowLabel"), "250 mm [10 inch]");
    EXPECT_TRUE(control<QCheckBox>("useHumRemovalCD4")->isChecked());
    EXPECT_EQ(label("grooveDistortionLabel"), "Normal");
    EXPECT_EQ(label("grooveNoiseLabel"), "-50.0 dBFS");
    EXPECT_EQ(label("dolbyToneLabel"), "-18.0 dBFS");
    EXPECT_EQ(control<QCheckBox>("adjustDstR128")->text(),
              " Adjust loudness of converted files to -16.5 LUFS");
    EXPECT_EQ(control<QCheckBox>("useLpDistortionCancel")->text(),
              QString::fromUtf8(" LP Distortion Cancellation: Stylus Radius 10.0 µm"));
    // The tap-off is a diagnostic switch the user never sees.
    EXPECT_TRUE(control<QCheckBox>("grooveDistortionTapOff")->isHidden());
}

TEST_F(PreferencesTest, ClipThresholdEntry) {
    makeWindow();
    QSignalSpy posted(&prefs(), &SettingsController::settingsUpdate);
    auto* field = control<QLineEdit>("ID_clip_threshold");

    typeThreshold("abc");
    EXPECT_TRUE(logHas("<WARNING> Clip threshold abc is not a valid number, so reverting to previous value"));
    EXPECT_EQ(field->text(), "2.000");
    typeThreshold("-1");
    EXPECT_TRUE(logHas("<WARNING> Clip threshold -1 must be positive, so reverting to previous value"));
    EXPECT_EQ(field->text(), "2.000");
    EXPECT_EQ(posted.count(), 0);
    EXPECT_EQ(store_->value("ClipThreshold"), "2.0");

    typeThreshold("0");
    ASSERT_EQ(posted.count(), 1);
    EXPECT_EQ(posted.at(0).at(0).toString(), "SettingsUpdateClipThreshold");
    EXPECT_EQ(posted.at(0).at(1).toMap().value("clipThreshold").toDouble(), 0.0);
    EXPECT_TRUE(logHas("<Info> Clip threshold changed to 0dB"));
    EXPECT_EQ(field->text(), "0.000");
    EXPECT_EQ(snapshotNumber("clipThreshold"), 0.0);

    // More than three decimals are kept as shown.
    typeThreshold("1.23456");
    EXPECT_EQ(field->text(), "1.235");
    EXPECT_EQ(store_->value("ClipThreshold"), "1.235000");
    // Leaving the field without typing sends nothing.
    posted.clear();
    emit field->editingFinished();
    EXPECT_EQ(posted.count(), 0);
}

TEST_F(PreferencesTest, SlidersPostOnlyRealChangesAndShowTheirValues) {
    makeWindow();
    QSignalSpy posted(&prefs(), &SettingsController::settingsUpdate);
    auto* noise = control<QSlider>("grooveNoise");
    noise->setValue(noise->minimum());
    EXPECT_EQ(label("grooveNoiseLabel"), "Off");
    ASSERT_EQ(posted.count(), 1);
    EXPECT_EQ(posted.at(0).at(0).toString(), "SettingsUpdateGrooveNoise");
    EXPECT_EQ(posted.at(0).at(1).toMap().value("grooveNoise").toDouble(), -70.0);
    EXPECT_EQ(store_->value("GrooveNoise"), "-70.000000");
    EXPECT_TRUE(logHas("<Info> Groove surface model noise changed to -70.000000"));
    noise->setValue(-45);
    EXPECT_EQ(label("grooveNoiseLabel"), "-45.0 dBFS");

    const std::pair<int, const char*> distortion[] = {
        {0, "Off"}, {1, "Low"}, {2, "Normal"}, {3, "High"}, {4, "Max"}};
    for (const auto& [position, text] : distortion) {
        slide("grooveDistortion", position);
        EXPECT_EQ(label("grooveDistortionLabel"), text);
    }
    slide("dolbyTone", -41);
    EXPECT_EQ(label("dolbyToneLabel"), "-20.5 dBFS");
    control<QCheckBox>("calculateDstR128")->click();
    control<QCheckBox>("adjustDstR128")->click();
    slide("adjustDstR128Level", -47);
    EXPECT_EQ(control<QCheckBox>("adjustDstR128")->text(),
              " Adjust loudness of converted files to -23.5 LUFS");
    slide("lpDistortionStylusRadius", 15);
    EXPECT_EQ(control<QCheckBox>("useLpDistortionCancel")->text(),
              QString::fromUtf8(" LP Distortion Cancellation: Stylus Radius 15.0 µm"));
    EXPECT_TRUE(logHas("<Info> LP distortion cancellation stylus radius changed: 15"));

    // Resetting the Settings tab moves only the sliders that are off their defaults.
    slide("grooveDistortion", 2);
    slide("dolbyTone", -36);
    posted.clear();
    control<QPushButton>("settingsDefaults")->click();
    QStringList names;
    for (const auto& args : posted) names << args.at(0).toString();
    EXPECT_EQ(names, (QStringList{"SettingsupdateHiResType", "SettingsUpdateDitherType",
                                  "SettingsUpdateAmbisonicUhjRegime", "SettingsUpdateGrooveDistortionTapOff",
                                  "SettingsUpdateGrooveNoise"}));
    EXPECT_EQ(label("grooveNoiseLabel"), "-50.0 dBFS");
    EXPECT_EQ(store_->value("GrooveNoise"), "-50.000000");
}

TEST_F(PreferencesTest, WowDiametersAndTheirLabels) {
    makeWindow();
    control<QCheckBox>("useWowCorrection")->click();
    choose("pitchCorrectionWow", 2);
    control<QPushButton>("wowDefaults")->click();  // 300 and 120 mm, and wow correction off again
    control<QCheckBox>("useWowCorrection")->click();
    choose("pitchCorrectionWow", 2);
    EXPECT_EQ(label("startDiameterWowLabel"), "300 mm [12 inch]");
    EXPECT_EQ(label("stopDiameterWowLabel"), "120 mm");

    const std::pair<int, const char*> labels[] = {
        {250, "250 mm [10 inch]"}, {251, "251 mm"}, {175, "175 mm [7 inch]"}, {300, "300 mm [12 inch]"}};
    for (const auto& [mm, text] : labels) {
        slide("startDiameterWow", mm);
        EXPECT_EQ(label("startDiameterWowLabel"), text);
    }
    QSignalSpy posted(&prefs(), &SettingsController::settingsUpdate);
    // The end of the groove pushes the start outwards...
    slide("stopDiameterWow", 310);
    EXPECT_EQ(control<QSlider>("startDiameterWow")->value(), 310);
    EXPECT_EQ(label("startDiameterWowLabel"), "310 mm");
    ASSERT_EQ(posted.count(), 1);
    EXPECT_EQ(posted.at(0).at(1).toMap().value("startDiameterWow").toDouble(), 310.0);
    EXPECT_EQ(posted.at(0).at(1).toMap().value("stopDiameterWow").toDouble(), 310.0);
    EXPECT_TRUE(logHas("<Info> Wow! start diameter changed: 310"));
    EXPECT_EQ(snapshotNumber("startDiameterWow"), 310.0);
    // ...and the start pulls the end inwards.
    slide("startDiameterWow", 200);
    EXPECT_EQ(control<QSlider>("stopDiameterWow")->value(), 200);
    EXPECT_EQ(snapshotNumber("stopDiameterWow"), 200.0);
    slide("tonearmSwayWow", 25);
    EXPECT_EQ(label("tonearmSwayWowLabel"), "2.5 mm");
    EXPECT_EQ(snapshotNumber("tonearmSwayWow"), 2.5);
}

TEST_F(PreferencesTest, DependentControlsFollowTheirSwitches) {
    makeWindow();
    auto enabled = [this](const char* name) { return control<QWidget>(name)->isEnabled(); };
    struct Case {
        const char* what;
        std::function<void()> act;
        std::map<const char*, bool> expected;
    };
    const std::vector<Case> cases = {
        {"at start",
         [] {},
         {{"dstBwfMetadata", false},
          {"adjustDstR128", false},
          {"adjustDstR128Level", false},
          {"lpDistortionStylusRadius", true},
          {"useHumRemovalBassCompensation", false},
          {"useHumRemovalBassCompensationCD4", false},
          {"rotationalSpeedWow", false},
          {"pitchCorrectionWow", false},
          {"tonearmSwayWow", false},
          {"startDiameterWow", false},
          {"stopDiameterWowLabel", false}}},
        {"R128 of converted files on",
         [this] { control<QCheckBox>("calculateDstR128")->click(); },
         {{"dstBwfMetadata", true}, {"adjustDstR128", true}, {"adjustDstR128Level", false}}},
        {"adjust loudness on",
         [this] { control<QCheckBox>("adjustDstR128")->click(); },
         {{"adjustDstR128Level", true}}},
        {"R128 of converted files off again",
         [this] { control<QCheckBox>("calculateDstR128")->click(); },
         {{"dstBwfMetadata", false}, {"adjustDstR128", false}, {"adjustDstR128Level", false}}},
        {"LP distortion cancellation off",
         [this] { control<QCheckBox>("useLpDistortionCancel")->click(); },
         {{"lpDistortionStylusRadius", false}}},
        {"hum removal on",
         [this] { control<QCheckBox>("useHumRemoval")->click(); },
         {{"useHumRemovalBassCompensation", true}, {"useHumRemovalBassCompensationCD4", false}}},
        {"CD-4 hum removal on",
         [this] { control<QCheckBox>("useHumRemovalCD4")->click(); },
         {{"useHumRemovalBassCompensationCD4", true}}},
        {"wow correction on",
         [this] { control<QCheckBox>("useWowCorrection")->click(); },
         {{"rotationalSpeedWow", true},
          {"pitchCorrectionWow", true},
          {"tonearmSwayWow", false},
          {"startDiameterWow", false}}},
        {"manual pitch correction",
         [this] { choose("pitchCorrectionWow", 2); },
         {{"tonearmSwayWow", true},
          {"tonearmSwayWowLabel", true},
          {"startDiameterWow", true},
          {"stopDiameterWow", true}}},
        {"wow correction off again",
         [this] { control<QCheckBox>("useWowCorrection")->click(); },
         {{"rotationalSpeedWow", false}, {"tonearmSwayWow", false}, {"stopDiameterWow", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        for (const auto& [name, on] : c.expected) EXPECT_EQ(enabled(name), on) << name;
    }
}

TEST_F(PreferencesTest, ResetButtonsRestoreTheirTabs) {
    makeWindow();
    // Move every control of the three tabs off its default first.
    choose("phonographRegime", 3);
    choose("captureSpeed", 6);
    for (const char* box :
         {"useGainRanging", "useCartridgeBalance", "useDiscEchoRemoval", "usePhlux2ResponseCorrection",
          "useLpDistortionCancel", "useKestrelOne", "useRumbleFilter", "useHumRemoval"}) {
        control<QCheckBox>(box)->click();
    }
    control<QCheckBox>("useHumRemovalBassCompensation")->click();
    choose("phonographPopClick", 3);
    choose("phonographScratch", 3);
    control<QCheckBox>("useWowCorrection")->click();
    choose("rotationalSpeedWow", 2);
    choose("pitchCorrectionWow", 2);
    slide("tonearmSwayWow", 30);
    slide("startDiameterWow", 200);
    slide("stopDiameterWow", 100);
    for (const char* box : {"useCartridgeBalanceCD4", "usePhlux2CrosstalkCD4", "useKestrelOneCD4",
                            "useRumbleFilterCD4", "useHumRemovalCD4", "useHumRemovalBassCompensationCD4"}) {
        control<QCheckBox>(box)->click();
    }
    choose("popClickCD4", 1);
    choose("outputCD4", 2);

    struct Reset {
        const char* button;
        const char* notification;
        std::map<QString, QVariant> defaults;
    };
    const Reset resets[] = {
        {"phonographDefaults",
         "SettingsUpdatePhonographTab",
         {{"phonographRegime", 1},
          {"captureSpeed", 1},
          {"useGainRanging", 1},
          {"useCartridgeBalance", 1},
          {"useDiscEchoRemoval", 1},
          {"usePhlux2ResponseCorrection", 0},
          {"phonographPopClick", 2},
          {"useLpDistortionCancel", 1},
          {"lpDistortionStylusRadius", 10},
          {"phonographScratch", 1},
          {"useKestrelOne", 1},
          {"useRumbleFilter", 1},
          {"useHumRemoval", 0},
          {"useHumRemovalBassCompensation", 0}}},
        {"wowDefaults",
         "SettingsUpdateWowTab",
         {{"useWowCorrection", 0},
          {"rotationalSpeedWow", 1},
          {"pitchCorrectionWow", 1},
          {"tonearmSwayWow", 1.0},
          {"startDiameterWow", 300.0},
          {"stopDiameterWow", 120.0}}},
        {"cd4Defaults",
         "SettingsUpdateCD4Tab",
         {{"useCartridgeBalanceCD4", 1},
          {"usePhlux2CrosstalkCD4", 0},
          {"popClickCD4", 2},
          {"useKestrelOneCD4", 1},
          {"useRumbleFilterCD4", 1},
          {"useHumRemovalCD4", 0},
          {"useHumRemovalBassCompensationCD4", 0},
          {"outputCD4", 1}}},
    };
    QSignalSpy posted(&prefs(), &SettingsController::settingsUpdate);
    for (const Reset& r : resets) {
        SCOPED_TRACE(r.button);
        posted.clear();
        log_->clear();
        control<QPushButton>(r.button)->click();
        ASSERT_EQ(posted.count(), 1);
        EXPECT_EQ(posted.at(0).at(0).toString(), r.notification);
        const QVariantMap info = posted.at(0).at(1).toMap();
        EXPECT_EQ(info.size(), static_cast<qsizetype>(r.defaults.size()));
        for (const auto& [key, value] : r.defaults) {
            EXPECT_EQ(info.value(key).toDouble(), value.toDouble()) << key.toStdString();
        }
        // A reset logs every control of its tab.
        EXPECT_EQ(log_->lines().size(), r.defaults.size());
    }
    const settings::SettingsMirror& m = window_->mirror();
    EXPECT_EQ(m.captureSpeed, 1);
    EXPECT_TRUE(m.useGainRanging);
    EXPECT_EQ(m.startDiameterWow, 300.0);
    EXPECT_EQ(m.outputCD4, 1);
    EXPECT_EQ(store_->value("StopDiameterWow"), "120.000000");
    EXPECT_EQ(label("startDiameterWowLabel"), "300 mm [12 inch]");
    EXPECT_FALSE(control<QCheckBox>("useHumRemovalBassCompensationCD4")->isEnabled());
}

TEST_F(PreferencesTest, DialogChoicesShowInTheOpenWindow) {
    makeWindow();
    QSignalSpy posted(&prefs(), &SettingsController::settingsUpdate);
    std::thread pass([] {
        platform::host().storeChoice("ClipManagement", "2");
        platform::host().storeChoice("WarnPreprocess", "NO");
    });
    pass.join();
    ASSERT_TRUE(waitFor([&] { return !control<QCheckBox>("warnPreprocess")->isChecked(); }, 5000));
    EXPECT_TRUE(control<QAbstractButton>("clipManagement_2")->isChecked());
    EXPECT_EQ(posted.count(), 0);  // already stored: nothing goes back
    EXPECT_EQ(store_->value("ClipManagement"), "2");
}

TEST_F(PreferencesTest, PassesKeepTheSettingsTheyStartedWith) {
    TableViewController& w = makeWindow();
    w.queueFiles(
        {QString::fromStdString(writeWav("before.wav")), QString::fromStdString(writeWav("after.wav"))});
    ASSERT_TRUE(waitForState(0, "Ready to convert. "));
    ASSERT_TRUE(waitForState(1, "Ready to convert. "));
    // The first conversion starts and waits for its turn while the setting changes.
    PassLock& lock = w.queue().processAudioLock();
    lock.waitTurn(lock.take());
    w.tableView()->selectRow(0);
    w.processQueue(TableViewController::Sender::other);
    slide("dolbyTone", -20);
    w.tableView()->selectRow(1);
    w.processQueue(TableViewController::Sender::other);
    lock.endTurn();
    ASSERT_TRUE(waitForState(0, "Complete.")) << stateText(0);
    ASSERT_TRUE(waitForState(1, "Complete.")) << stateText(1);
    EXPECT_EQ(w.queue().jobs()[0]->dolbyTone, -18.0);
    EXPECT_EQ(w.queue().jobs()[1]->dolbyTone, -10.0);
}

TEST_F(PreferencesTest, AboutTabOpensOurPagesAndDocuments) {
    makeWindow();
    EXPECT_EQ(label("versionText"),
              QStringLiteral("Quiramo v%1 (%2)")
                  .arg(QStringLiteral(QUIRAMO_VERSION), QSysInfo::buildCpuArchitecture()));
    EXPECT_TRUE(label("versionText").endsWith(")") && !label("versionText").contains("Intel"));

    UrlCatcher opened;
    for (const char* scheme : {"https", "mailto"}) QDesktopServices::setUrlHandler(scheme, &opened, "open");
    for (const char* button :
         {"webPage", "downloadsPage", "manualPage", "supportMail", "help_cd4ToolbarItem"}) {
        control<QPushButton>(button)->click();
    }
    for (const char* scheme : {"https", "mailto"}) QDesktopServices::unsetUrlHandler(scheme);
    ASSERT_EQ(opened.urls.size(), 5);
    EXPECT_EQ(opened.urls[0], QUrl(SettingsController::kWebPage));
    EXPECT_EQ(opened.urls[3].scheme(), "mailto");
    EXPECT_TRUE(opened.urls[4].toString().endsWith("cd-4"));

    const std::pair<const char*, const char*> documents[] = {{"acknowledgements", "Quiramo Acknowledgements"},
                                                             {"licence", "Quiramo Licence"}};
    for (const auto& [button, title] : documents) {
        control<QPushButton>(button)->click();
        auto* window = prefs().findChild<QDialog*>("documentWindow");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->windowTitle(), title);
        EXPECT_TRUE(window->isVisible());
        const QString text = window->findChild<QTextBrowser*>()->toPlainText();
        EXPECT_TRUE(text.contains(title)) << text.left(80).toStdString();
    }
    const QString acknowledgements = [] {
        QFile f(":/documents/Acknowledgements.md");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }();
    for (const char* name : {"Qt 6", "LGPLv3", "libFLAC", "GoogleTest", "Google Benchmark"}) {
        EXPECT_TRUE(acknowledgements.contains(name)) << name;
    }
}

}  // namespace
}  // namespace quiramo::desktop::test

#include "PreferencesTest.moc"
