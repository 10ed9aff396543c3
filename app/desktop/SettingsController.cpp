#include "app/desktop/SettingsController.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSysInfo>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>
#include <span>

#include "app/desktop/Notifications.h"
#include "platform/Assert.h"
#include "platform/Log.h"

#ifndef QUIRAMO_VERSION
#define QUIRAMO_VERSION "unknown"
#endif

namespace quiramo::desktop {

const char* const SettingsController::kWebPage = "https://quiramo.example.org/";
const char* const SettingsController::kDownloadsPage = "https://quiramo.example.org/downloads/";
const char* const SettingsController::kManualPage = "https://quiramo.example.org/furrowscope/manual/";
const char* const SettingsController::kSupportMail =
    "mailto:support@quiramo.example.org?subject=Quiramo%20support";

namespace {

// Tabs in their order: identifier and title.
struct TabName {
    const char* identifier;
    const char* title;
};
constexpr TabName kTabs[] = {
    {"generalToolbarItem", "General"},          {"settingsToolbarItem", "Settings"},
    {"phonographToolbarItem", "Phonograph EQ"}, {"wowToolbarItem", "Wow!"},
    {"cd4ToolbarItem", "CD-4 Quadraphonic"},    {"aboutToolbarItem", "About"},
};

// Pop-up rows: the tag the rest of the program reads, and a title a collector understands.
struct Choice {
    uint64_t tag;
    const char* title;
};
constexpr Choice kOnOff[] = {{1, "On"}, {2, "Off"}};
// Front and rear gains of the decoder: W beside X/Y equal is the sharpest image, 2:1 the softest.
constexpr Choice kUhjRegimes[] = {{1, "Balanced, rear delayed 12 ms"},
                                  {2, "Sharp front, soft rear"},
                                  {3, "Balanced"},
                                  {4, "Sharp"},
                                  {5, "Soft"}};
constexpr Choice kPhonographRegimes[] = {
    {1, "Stereo"}, {2, "Mono (L+R)"}, {3, "Narrowed stereo"}, {4, "Vertical (L−R)"}};
constexpr Choice kCaptureSpeeds[] = {
    {1, "Captured at the right speed"},   {2, "Captured at half speed"},
    {3, "78 rpm record captured at 33⅓"}, {4, "68 rpm record captured at 33⅓"},
    {5, "89 rpm record captured at 33⅓"}, {6, "33⅓ rpm record captured at 25"}};
constexpr Choice kPopClick[] = {{1, "Off"}, {2, "Remove pops and clicks"}, {3, "Remove crackle"}};
constexpr Choice kScratch[] = {
    {1, "Off"}, {2, "Remove needle scratch"}, {3, "Gradient removal with exciter"}};
constexpr Choice kRotationalSpeeds[] = {{1, "33⅓ rpm"}, {2, "45 rpm"}, {3, "78 rpm"}};
constexpr Choice kPitchCorrection[] = {{1, "Automatic"}, {2, "Manual (set below)"}};
constexpr Choice kPopClickCD4[] = {{1, "Off"}, {2, "Remove pops and clicks"}};
constexpr Choice kOutputCD4[] = {{1, "Four channels"}, {2, "Difference signal on the rear pair"}};

// Clip management radio buttons by tag.
constexpr Choice kClipManagement[] = {{1, "Ask me when clipping exceeds the threshold"},
                                      {2, "Clamp the samples that clip"},
                                      {4, "Attenuate the whole file"}};

// Slider ranges. Sliders move in whole steps; a value is the position divided by
// `perUnit`, so that 0.1 mm steps give exact tenths.
struct SliderRange {
    double minimum, maximum;
    int perUnit;
};
constexpr SliderRange kGrooveDistortionRange{0, 4, 1};
constexpr SliderRange kGrooveNoiseRange{-70, -20, 1};  // -70 dBFS is "Off"
constexpr SliderRange kDolbyToneRange{-30, -6, 2};
constexpr SliderRange kLoudnessRange{-36, -6, 2};    // LUFS
constexpr SliderRange kStylusRadiusRange{2, 25, 1};  // µm; 2 µm cancels nothing
constexpr SliderRange kTonearmSwayRange{0, 5, 10};   // mm
constexpr SliderRange kDiameterRange{50, 320, 1};    // mm, room above a 12-inch record
constexpr const char* kPerUnit = "perUnit";

constexpr double kGrooveNoiseOff = -70.0;

QComboBox* makePopup(QWidget* parent, const char* name, std::span<const Choice> choices) {
    auto* popup = new QComboBox(parent);
    popup->setObjectName(QString::fromLatin1(name));
    for (const Choice& c : choices)
        popup->addItem(QString::fromUtf8(c.title), QVariant::fromValue<qulonglong>(c.tag));
    return popup;
}

uint64_t selectedTag(const QComboBox* popup) {
    return popup->currentData().toULongLong();
}

void selectTag(QComboBox* popup, uint64_t tag) {
    const QSignalBlocker block(popup);
    // A stored value that is no row shows as no selection rather than as a wrong one.
    popup->setCurrentIndex(popup->findData(QVariant::fromValue<qulonglong>(tag)));
}

QCheckBox* makeCheckBox(QWidget* parent, const char* name, const char* title) {
    auto* box = new QCheckBox(QString::fromUtf8(title), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

void setChecked(QCheckBox* box, bool on) {
    const QSignalBlocker block(box);
    box->setChecked(on);
}

QSlider* makeSlider(QWidget* parent, const char* name, const SliderRange& range) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setRange(static_cast<int>(std::lround(range.minimum * range.perUnit)),
                     static_cast<int>(std::lround(range.maximum * range.perUnit)));
    slider->setSingleStep(1);
    slider->setPageStep(range.perUnit);
    slider->setProperty(kPerUnit, range.perUnit);
    slider->setMinimumWidth(220);
    return slider;
}

double sliderValue(const QSlider* slider) {
    const int perUnit = slider->property(kPerUnit).toInt();
    const double value = perUnit > 0 ? slider->value() / static_cast<double>(perUnit) : NAN;
    QRM_ASSERT(std::isfinite(value), "Invalid NSNumber calculated from slider in %s", __func__);
    return value;
}

void setSliderValue(QSlider* slider, double value) {
    const QSignalBlocker block(slider);
    slider->setValue(static_cast<int>(std::lround(value * slider->property(kPerUnit).toInt())));
}

QLabel* makeValueLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    // Wide enough for the longest display, so the slider does not jump as the text changes.
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("-00.0 dBFS [10 inch]")));
    return label;
}

// A number as a person writes it: "2", "2.5", "0.125".
QString numberText(double v) {
    return QLocale::c().toString(v, 'g', 15);
}

QString flagText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

void logLine(const char* line, const QString& value) {
    platform::logText(QString::fromUtf8(line).arg(value).toStdString());
}

QString diameterText(double mm) {
    QString text = QString::asprintf("%.0f mm", mm);
    if (mm == 300.0) text += QStringLiteral(" [12 inch]");
    if (mm == 250.0) text += QStringLiteral(" [10 inch]");
    if (mm == 175.0) text += QStringLiteral(" [7 inch]");
    return text;
}

QString grooveDistortionText(int position) {
    static const char* const kNames[] = {"Off", "Low", "Normal", "High", "Max"};
    if (position < 0 || position > 4) {
        QRM_FAIL("Unexpected Groove stylus model distortion value in %s", __func__);
        return QString();
    }
    return QString::fromLatin1(kNames[position]);
}

// A row of controls with a label in front, for the forms of every tab.
QWidget* row(QWidget* parent, std::initializer_list<QWidget*> widgets) {
    auto* w = new QWidget(parent);
    auto* layout = new QHBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* x : widgets) layout->addWidget(x);
    layout->addStretch(1);
    return w;
}

QPushButton* makeResetButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(QStringLiteral("Restore Defaults"), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace

QString SettingsController::versionText() {
    return QStringLiteral("Quiramo v%1 (%2)")
        .arg(QStringLiteral(QUIRAMO_VERSION), QSysInfo::buildCpuArchitecture());
}

QUrl SettingsController::helpPage(const QString& tabIdentifier) {
    static const std::pair<const char*, const char*> kPages[] = {
        {"generalToolbarItem", "general"},
        {"settingsToolbarItem", "settings"},
        {"phonographToolbarItem", "phonograph-eq"},
        {"wowToolbarItem", "wow"},
        {"cd4ToolbarItem", "cd-4"},
        {"aboutToolbarItem", ""},
    };
    for (const auto& [identifier, page] : kPages) {
        if (tabIdentifier == QLatin1String(identifier)) {
            return QUrl(QString::fromLatin1(kWebPage) + QStringLiteral("help/") + QString::fromLatin1(page));
        }
    }
    return QUrl(QString::fromLatin1(kWebPage) + QStringLiteral("help/"));
}

SettingsController::SettingsController(const settings::SettingsMirror& m, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Settings"));
    // initSettingsWithParameters: the window's copy starts as the main window's values.
    showFileExtInit = m.showFileExt;
    showFullPathInit = m.showFullPath;
    warnPreprocessInit = m.warnPreprocess;
    clipManagementInit = static_cast<uint64_t>(m.clipManagement);
    clipThresholdInit = m.clipThreshold;
    hiResTypeInit = static_cast<uint64_t>(m.hiResType);
    ditherTypeInit = static_cast<uint64_t>(m.ditherType);
    ambisonicUhjRegimeInit = static_cast<uint64_t>(m.ambisonicUhjRegime);
    grooveDistortionTapOffInit = m.grooveDistortionTapOff;
    grooveDistortionInit = m.grooveDistortion;
    grooveNoiseInit = m.grooveNoise;
    dolbyToneInit = m.dolbyTone;
    calculateSrcR128Init = m.calculateSrcR128;
    calculateDstR128Init = m.calculateDstR128;
    dstBwfMetadataInit = m.dstBwfMetadata;
    adjustDstR128Init = m.adjustDstR128;
    adjustDstR128LevelInit = m.adjustDstR128Level;
    phonographRegimeInit = static_cast<uint64_t>(m.phonographRegime);
    captureSpeedInit = static_cast<uint64_t>(m.captureSpeed);
    useGainRangingInit = m.useGainRanging;
    useCartridgeBalanceInit = m.useCartridgeBalance;
    useDiscEchoRemovalInit = m.useDiscEchoRemoval;
    usePhlux2ResponseCorrectionInit = m.usePhlux2ResponseCorrection;
    phonographPopClickInit = static_cast<uint64_t>(m.phonographPopClick);
    useLpDistortionCancelInit = m.useLpDistortionCancel;
    lpDistortionStylusRadiusInit = m.lpDistortionStylusRadius;
    phonographScratchInit = static_cast<uint64_t>(m.phonographScratch);
    useKestrelOneInit = m.useKestrelOne;
    useRumbleFilterInit = m.useRumbleFilter;
    useHumRemovalInit = m.useHumRemoval;
    useHumRemovalBassCompensationInit = m.useHumRemovalBassCompensation;
    useWowCorrectionInit = m.useWowCorrection;
    rotationalSpeedWowInit = static_cast<uint64_t>(m.rotationalSpeedWow);
    pitchCorrectionWowInit = static_cast<uint64_t>(m.pitchCorrectionWow);
    tonearmSwayWowInit = m.tonearmSwayWow;
    startDiameterWowInit = m.startDiameterWow;
    stopDiameterWowInit = m.stopDiameterWow;
    useCartridgeBalanceCD4Init = m.useCartridgeBalanceCD4;
    usePhlux2CrosstalkCD4Init = m.usePhlux2CrosstalkCD4;
    popClickCD4Init = static_cast<uint64_t>(m.popClickCD4);
    useKestrelOneCD4Init = m.useKestrelOneCD4;
    useRumbleFilterCD4Init = m.useRumbleFilterCD4;
    useHumRemovalCD4Init = m.useHumRemovalCD4;
    useHumRemovalBassCompensationCD4Init = m.useHumRemovalBassCompensationCD4;
    outputCD4Init = static_cast<uint64_t>(m.outputCD4);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabs"));
    tabs_->setDocumentMode(true);
    QWidget* pages[] = {buildGeneralTab(), buildSettingsTab(), buildPhonographTab(),
                        buildWowTab(),     buildCD4Tab(),      buildAboutTab()};
    for (size_t i = 0; i < std::size(kTabs); ++i) {
        pages[i]->setObjectName(QString::fromLatin1(kTabs[i].identifier));
        tabs_->addTab(pages[i], QString::fromUtf8(kTabs[i].title));
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs_);
    connect(tabs_, &QTabWidget::currentChanged, this,
            [this](int index) { setWindowTitle(tabs_->tabText(index)); });
    tabs_->setCurrentIndex(0);
    setWindowTitle(tabs_->tabText(0));
    auto* close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    bindControls();
    showValues();
}

void SettingsController::showWindow() {
    show();
    raise();
    activateWindow();
}

// ---- Building ---------------------------------------------------------------------------------

QHBoxLayout* SettingsController::bottomRow(QWidget* page, const char* tabIdentifier, QPushButton* reset) {
    auto* layout = new QHBoxLayout;
    // Text only: desktops without an icon theme would draw the missing-icon cross instead.
    auto* help = new QPushButton(QStringLiteral("Help"), page);
    help->setObjectName(QStringLiteral("help_") + QString::fromLatin1(tabIdentifier));
    const QUrl url = helpPage(QString::fromLatin1(tabIdentifier));
    connect(help, &QPushButton::clicked, this, [this, url] { openUrl(url); });
    layout->addWidget(help);
    layout->addStretch(1);
    if (reset) layout->addWidget(reset);
    return layout;
}

QWidget* SettingsController::buildGeneralTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* table = new QGroupBox(QStringLiteral("Queue table"), page);
    auto* tableLayout = new QVBoxLayout(table);
    showFileExtCheckBox_ = makeCheckBox(table, "showFileExt", "Show file name extensions");
    showFullPathCheckBox_ = makeCheckBox(table, "showFullPath", "Show the full path of source files");
    warnPreprocessCheckBox_ =
        makeCheckBox(table, "warnPreprocess", "Warn before converting a file Quiramo has already processed");
    tableLayout->addWidget(showFileExtCheckBox_);
    tableLayout->addWidget(showFullPathCheckBox_);
    tableLayout->addWidget(warnPreprocessCheckBox_);
    layout->addWidget(table);

    auto* clip = new QGroupBox(QStringLiteral("When converted audio clips"), page);
    auto* clipLayout = new QVBoxLayout(clip);
    clipManagementGroup_ = new QButtonGroup(clip);
    for (const Choice& c : kClipManagement) {
        auto* radio = new QRadioButton(QString::fromUtf8(c.title), clip);
        radio->setObjectName(QStringLiteral("clipManagement_%1").arg(c.tag));
        clipManagementGroup_->addButton(radio, static_cast<int>(c.tag));
        clipLayout->addWidget(radio);
    }
    clipThresholdField_ = new QLineEdit(clip);
    clipThresholdField_->setObjectName(QStringLiteral("ID_clip_threshold"));
    clipThresholdField_->setMaximumWidth(
        clipThresholdField_->fontMetrics().horizontalAdvance(QStringLiteral("00000.000")) + 16);
    clipThresholdField_->setAlignment(Qt::AlignRight);
    clipThresholdField_->setToolTip(QStringLiteral("Worst overshoot, in dB, that is clamped without asking"));
    auto* thresholdLabel = new QLabel(QStringLiteral("Clip threshold:"), clip);
    thresholdLabel->setBuddy(clipThresholdField_);
    clipLayout->addWidget(
        row(clip, {thresholdLabel, clipThresholdField_, new QLabel(QStringLiteral("dB"), clip)}));
    layout->addWidget(clip);

    auto* loudness = new QGroupBox(QStringLiteral("Loudness (EBU R128) and metadata"), page);
    auto* loudnessLayout = new QVBoxLayout(loudness);
    calculateSrcR128CheckBox_ =
        makeCheckBox(loudness, "calculateSrcR128", "Calculate R128 loudness metrics for source files");
    calculateDstR128CheckBox_ =
        makeCheckBox(loudness, "calculateDstR128", "Calculate R128 loudness metrics for converted files");
    dstBwfMetadataCheckBox_ =
        makeCheckBox(loudness, "dstBwfMetadata", "Write Broadcast Wave Format (BWF) metadata into WAV files");
    adjustDstR128CheckBox_ = makeCheckBox(loudness, "adjustDstR128", "");
    adjustDstR128LevelSlider_ = makeSlider(loudness, "adjustDstR128Level", kLoudnessRange);
    loudnessLayout->addWidget(calculateSrcR128CheckBox_);
    loudnessLayout->addWidget(calculateDstR128CheckBox_);
    // The two that act on converted files only, set in under the box they depend on.
    auto* dependent = new QVBoxLayout;
    dependent->setContentsMargins(24, 0, 0, 0);
    dependent->addWidget(dstBwfMetadataCheckBox_);
    dependent->addWidget(adjustDstR128CheckBox_);
    auto* level = new QHBoxLayout;
    level->setContentsMargins(24, 0, 0, 0);
    level->addWidget(adjustDstR128LevelSlider_, 1);
    dependent->addLayout(level);
    loudnessLayout->addLayout(dependent);
    layout->addWidget(loudness);

    layout->addStretch(1);
    layout->addLayout(bottomRow(page, "generalToolbarItem", nullptr));
    return page;
}

QWidget* SettingsController::buildSettingsTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* output = new QGroupBox(QStringLiteral("Output"), page);
    auto* outputForm = new QFormLayout(output);
    hiResTypePopup_ = makePopup(output, "hiResType", kOnOff);
    hiResTypePopup_->setToolTip(QStringLiteral("Double 44.1 and 48 kHz sources and write 24-bit files"));
    ditherTypePopup_ = makePopup(output, "ditherType", kOnOff);
    ambisonicUhjRegimePopup_ = makePopup(output, "ambisonicUhjRegime", kUhjRegimes);
    outputForm->addRow(QStringLiteral("Hi-Res:"), hiResTypePopup_);
    outputForm->addRow(QStringLiteral("Dither:"), ditherTypePopup_);
    outputForm->addRow(QStringLiteral("Ambisonic UHJ decoding:"), ambisonicUhjRegimePopup_);
    layout->addWidget(output);

    auto* groove = new QGroupBox(QStringLiteral("Groove"), page);
    auto* grooveForm = new QFormLayout(groove);
    grooveDistortionTapOffCheckBox_ =
        makeCheckBox(groove, "grooveDistortionTapOff", "Output the stylus model distortion alone");
    // A diagnostic switch: kept, never shown.
    grooveDistortionTapOffCheckBox_->hide();
    grooveDistortionSlider_ = makeSlider(groove, "grooveDistortion", kGrooveDistortionRange);
    grooveDistortionSlider_->setTickPosition(QSlider::TicksBelow);
    grooveDistortionLabel_ = makeValueLabel(groove, "grooveDistortionLabel");
    grooveNoiseSlider_ = makeSlider(groove, "grooveNoise", kGrooveNoiseRange);
    grooveNoiseLabel_ = makeValueLabel(groove, "grooveNoiseLabel");
    grooveForm->addRow(QStringLiteral("Stylus model distortion:"),
                       row(groove, {grooveDistortionSlider_, grooveDistortionLabel_}));
    grooveForm->addRow(QStringLiteral("Surface model noise:"),
                       row(groove, {grooveNoiseSlider_, grooveNoiseLabel_}));
    layout->addWidget(groove);

    auto* cat22 = new QGroupBox(QStringLiteral("Cat 22 noise reduction"), page);
    auto* cat22Form = new QFormLayout(cat22);
    dolbyToneSlider_ = makeSlider(cat22, "dolbyTone", kDolbyToneRange);
    dolbyToneLabel_ = makeValueLabel(cat22, "dolbyToneLabel");
    cat22Form->addRow(QStringLiteral("Dolby tone level:"), row(cat22, {dolbyToneSlider_, dolbyToneLabel_}));
    layout->addWidget(cat22);

    layout->addStretch(1);
    settingsDefaultsButton_ = makeResetButton(page, "settingsDefaults");
    layout->addLayout(bottomRow(page, "settingsToolbarItem", settingsDefaultsButton_));
    return page;
}

QWidget* SettingsController::buildPhonographTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* replay = new QGroupBox(QStringLiteral("Replay"), page);
    auto* replayForm = new QFormLayout(replay);
    phonographRegimePopup_ = makePopup(replay, "phonographRegime", kPhonographRegimes);
    captureSpeedPopup_ = makePopup(replay, "captureSpeed", kCaptureSpeeds);
    replayForm->addRow(QStringLiteral("Channels:"), phonographRegimePopup_);
    replayForm->addRow(QStringLiteral("Capture speed:"), captureSpeedPopup_);
    layout->addWidget(replay);

    auto* restoration = new QGroupBox(QStringLiteral("Restoration"), page);
    auto* grid = new QGridLayout(restoration);
    useGainRangingCheckBox_ = makeCheckBox(restoration, "useGainRanging", "Gain ranging");
    useCartridgeBalanceCheckBox_ =
        makeCheckBox(restoration, "useCartridgeBalance", "Cartridge channel balance");
    useDiscEchoRemovalCheckBox_ = makeCheckBox(restoration, "useDiscEchoRemoval", "Disc echo removal");
    usePhlux2ResponseCorrectionCheckBox_ =
        makeCheckBox(restoration, "usePhlux2ResponseCorrection", "DAROZ-AD response correction");
    useKestrelOneCheckBox_ = makeCheckBox(restoration, "useKestrelOne", "Kestrel ONE");
    useRumbleFilterCheckBox_ = makeCheckBox(restoration, "useRumbleFilter", "Veltrane rumble filter");
    useHumRemovalCheckBox_ = makeCheckBox(restoration, "useHumRemoval", "Hum removal");
    useHumRemovalBassCompensationCheckBox_ =
        makeCheckBox(restoration, "useHumRemovalBassCompensation", "Bass compensation");
    grid->addWidget(useGainRangingCheckBox_, 0, 0);
    grid->addWidget(useCartridgeBalanceCheckBox_, 1, 0);
    grid->addWidget(useDiscEchoRemovalCheckBox_, 2, 0);
    grid->addWidget(usePhlux2ResponseCorrectionCheckBox_, 3, 0);
    grid->addWidget(useKestrelOneCheckBox_, 0, 1);
    grid->addWidget(useRumbleFilterCheckBox_, 1, 1);
    grid->addWidget(useHumRemovalCheckBox_, 2, 1);
    auto* bass = new QHBoxLayout;
    bass->setContentsMargins(24, 0, 0, 0);
    bass->addWidget(useHumRemovalBassCompensationCheckBox_);
    grid->addLayout(bass, 3, 1);
    grid->setColumnStretch(2, 1);

    auto* clicks = new QFormLayout;
    phonographPopClickPopup_ = makePopup(restoration, "phonographPopClick", kPopClick);
    phonographScratchPopup_ = makePopup(restoration, "phonographScratch", kScratch);
    clicks->addRow(QStringLiteral("Pops and clicks:"), phonographPopClickPopup_);
    clicks->addRow(QStringLiteral("Needle scratch:"), phonographScratchPopup_);
    grid->addLayout(clicks, 4, 0, 1, 3);

    useLpDistortionCancelCheckBox_ = makeCheckBox(restoration, "useLpDistortionCancel", "");
    lpDistortionStylusRadiusSlider_ = makeSlider(restoration, "lpDistortionStylusRadius", kStylusRadiusRange);
    lpDistortionStylusRadiusSlider_->setToolTip(
        QStringLiteral("Tip radius of the stylus that made the capture"));
    grid->addWidget(useLpDistortionCancelCheckBox_, 5, 0, 1, 3);
    auto* radius = new QHBoxLayout;
    radius->setContentsMargins(24, 0, 0, 0);
    radius->addWidget(lpDistortionStylusRadiusSlider_, 1);
    grid->addLayout(radius, 6, 0, 1, 3);
    layout->addWidget(restoration);

    layout->addStretch(1);
    phonographDefaultsButton_ = makeResetButton(page, "phonographDefaults");
    layout->addLayout(bottomRow(page, "phonographToolbarItem", phonographDefaultsButton_));
    return page;
}

QWidget* SettingsController::buildWowTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    useWowCorrectionCheckBox_ =
        makeCheckBox(page, "useWowCorrection", "Correct the wow of off-centre records");
    layout->addWidget(useWowCorrectionCheckBox_);

    auto* record = new QGroupBox(QStringLiteral("Record"), page);
    auto* form = new QFormLayout(record);
    rotationalSpeedWowPopup_ = makePopup(record, "rotationalSpeedWow", kRotationalSpeeds);
    pitchCorrectionWowPopup_ = makePopup(record, "pitchCorrectionWow", kPitchCorrection);
    tonearmSwayWowSlider_ = makeSlider(record, "tonearmSwayWow", kTonearmSwayRange);
    tonearmSwayWowLabel_ = makeValueLabel(record, "tonearmSwayWowLabel");
    startDiameterWowSlider_ = makeSlider(record, "startDiameterWow", kDiameterRange);
    startDiameterWowLabel_ = makeValueLabel(record, "startDiameterWowLabel");
    stopDiameterWowSlider_ = makeSlider(record, "stopDiameterWow", kDiameterRange);
    stopDiameterWowLabel_ = makeValueLabel(record, "stopDiameterWowLabel");
    form->addRow(QStringLiteral("Rotational speed:"), rotationalSpeedWowPopup_);
    form->addRow(QStringLiteral("Pitch correction:"), pitchCorrectionWowPopup_);
    form->addRow(QStringLiteral("Tonearm sway:"), row(record, {tonearmSwayWowSlider_, tonearmSwayWowLabel_}));
    form->addRow(QStringLiteral("Groove diameter at start:"),
                 row(record, {startDiameterWowSlider_, startDiameterWowLabel_}));
    form->addRow(QStringLiteral("Groove diameter at end:"),
                 row(record, {stopDiameterWowSlider_, stopDiameterWowLabel_}));
    layout->addWidget(record);

    layout->addStretch(1);
    wowDefaultsButton_ = makeResetButton(page, "wowDefaults");
    layout->addLayout(bottomRow(page, "wowToolbarItem", wowDefaultsButton_));
    return page;
}

QWidget* SettingsController::buildCD4Tab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* restoration = new QGroupBox(QStringLiteral("Restoration"), page);
    auto* grid = new QGridLayout(restoration);
    useCartridgeBalanceCD4CheckBox_ =
        makeCheckBox(restoration, "useCartridgeBalanceCD4", "Cartridge channel balance");
    usePhlux2CrosstalkCD4CheckBox_ =
        makeCheckBox(restoration, "usePhlux2CrosstalkCD4", "DAROZ-AD crosstalk compensation");
    useKestrelOneCD4CheckBox_ = makeCheckBox(restoration, "useKestrelOneCD4", "Kestrel ONE");
    useRumbleFilterCD4CheckBox_ = makeCheckBox(restoration, "useRumbleFilterCD4", "Veltrane rumble filter");
    useHumRemovalCD4CheckBox_ = makeCheckBox(restoration, "useHumRemovalCD4", "Hum removal");
    useHumRemovalBassCompensationCD4CheckBox_ =
        makeCheckBox(restoration, "useHumRemovalBassCompensationCD4", "Bass compensation");
    grid->addWidget(useCartridgeBalanceCD4CheckBox_, 0, 0);
    grid->addWidget(usePhlux2CrosstalkCD4CheckBox_, 1, 0);
    grid->addWidget(useKestrelOneCD4CheckBox_, 2, 0);
    grid->addWidget(useRumbleFilterCD4CheckBox_, 0, 1);
    grid->addWidget(useHumRemovalCD4CheckBox_, 1, 1);
    auto* bass = new QHBoxLayout;
    bass->setContentsMargins(24, 0, 0, 0);
    bass->addWidget(useHumRemovalBassCompensationCD4CheckBox_);
    grid->addLayout(bass, 2, 1);
    grid->setColumnStretch(2, 1);
    auto* form = new QFormLayout;
    popClickCD4Popup_ = makePopup(restoration, "popClickCD4", kPopClickCD4);
    form->addRow(QStringLiteral("Pops and clicks:"), popClickCD4Popup_);
    grid->addLayout(form, 3, 0, 1, 3);
    layout->addWidget(restoration);

    auto* output = new QGroupBox(QStringLiteral("Output"), page);
    auto* outputForm = new QFormLayout(output);
    outputCD4Popup_ = makePopup(output, "outputCD4", kOutputCD4);
    outputForm->addRow(QStringLiteral("Rear channels:"), outputCD4Popup_);
    layout->addWidget(output);

    layout->addStretch(1);
    cd4DefaultsButton_ = makeResetButton(page, "cd4Defaults");
    layout->addLayout(bottomRow(page, "cd4ToolbarItem", cd4DefaultsButton_));
    return page;
}

QWidget* SettingsController::buildAboutTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addStretch(1);
    auto* icon = new QLabel(page);
    icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* version = new QLabel(versionText(), page);
    version->setObjectName(QStringLiteral("versionText"));
    version->setAlignment(Qt::AlignCenter);
    QFont bold = version->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    version->setFont(bold);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(version);
    auto* blurb =
        new QLabel(QStringLiteral("Enhancement and restoration of WAV, AIFF and FLAC recordings"), page);
    blurb->setAlignment(Qt::AlignCenter);
    layout->addWidget(blurb);
    layout->addSpacing(12);

    auto button = [this, page](const char* name, const char* title, auto action) {
        auto* b = new QPushButton(QString::fromUtf8(title), page);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, action);
        return b;
    };
    auto* links = new QGridLayout;
    links->addWidget(button("webPage", "Web Page", [this] { openUrl(QUrl(QString::fromLatin1(kWebPage))); }),
                     0, 0);
    links->addWidget(
        button("downloadsPage", "Downloads", [this] { openUrl(QUrl(QString::fromLatin1(kDownloadsPage))); }),
        0, 1);
    links->addWidget(button("manualPage", "Furrowscope Manual",
                            [this] { openUrl(QUrl(QString::fromLatin1(kManualPage))); }),
                     0, 2);
    links->addWidget(
        button("supportMail", "Email Support", [this] { openUrl(QUrl(QString::fromLatin1(kSupportMail))); }),
        1, 0);
    links->addWidget(button("acknowledgements", "Acknowledgements",
                            [this] {
                                showDocument(QStringLiteral(":/documents/Acknowledgements.md"),
                                             QStringLiteral("Quiramo Acknowledgements"));
                            }),
                     1, 1);
    links->addWidget(button("licence", "Licence",
                            [this] {
                                showDocument(QStringLiteral(":/documents/Licence.md"),
                                             QStringLiteral("Quiramo Licence"));
                            }),
                     1, 2);
    auto* centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addLayout(links);
    centred->addStretch(1);
    layout->addLayout(centred);
    layout->addStretch(2);
    return page;
}

// ---- What each control edits ----------------------------------------------------------------

void SettingsController::bindControls() {
    using P = Post;
    QAbstractButton* reset = settingsDefaultsButton_;
    settings_ = {
        {warnPreprocessCheckBox_, "warnPreprocess", P::boolean,
         "<Info> Warning for preprocessed audio files changed to: %1", &warnPreprocessInit, nullptr,
         kSettingsUpdateWarnPreprocess},
        {hiResTypePopup_, "hiResType", P::unsignedTag, "<Info> Hi-Res changed: %1", &hiResTypeInit, reset,
         kSettingsupdateHiResType},
        {ditherTypePopup_, "ditherType", P::unsignedTag, "<Info> Dither changed: %1", &ditherTypeInit, reset,
         kSettingsUpdateDitherType},
        {ambisonicUhjRegimePopup_, "ambisonicUhjRegime", P::unsignedTag,
         "<Info> Ambisonic UHJ regime changed: %1", &ambisonicUhjRegimeInit, reset,
         kSettingsUpdateAmbisonicUhjRegime},
        {grooveDistortionTapOffCheckBox_, "grooveDistortionTapOff", P::integer,
         "<Info> Groove stylus model distortion tap off changed to %1", &grooveDistortionTapOffInit, reset,
         kSettingsUpdateGrooveDistortionTapOff},
        {grooveDistortionSlider_, "grooveDistortion", P::real,
         "<Info> Groove stylus model distortion changed to %1", &grooveDistortionInit, reset,
         kSettingsUpdateGrooveDistortion, true},
        {grooveNoiseSlider_, "grooveNoise", P::real, "<Info> Groove surface model noise changed to %1",
         &grooveNoiseInit, reset, kSettingsUpdateGrooveNoise, true},
        {dolbyToneSlider_, "dolbyTone", P::real, "<Info> Cat 22 Dolby Tone Level changed to %1",
         &dolbyToneInit, reset, kSettingsUpdateDolbyTone, true},
        {calculateSrcR128CheckBox_, "calculateSrcR128", P::integer,
         "<Info> Calculate R128 loudness metrics for source files changed: %1", &calculateSrcR128Init,
         nullptr, kSettingsUpdateCalculateSrcR128},
        {calculateDstR128CheckBox_, "calculateDstR128", P::integer,
         "<Info> Calculate R128 loudness metrics for converted files changed: %1", &calculateDstR128Init,
         nullptr, kSettingsUpdateCalculateDstR128},
        {dstBwfMetadataCheckBox_, "dstBwfMetadata", P::integer,
         "<Info> Broadcast Wave Format (BWF) metadata changed: %1", &dstBwfMetadataInit, nullptr,
         kSettingsUpdateDstBwfMetadata},
        {adjustDstR128CheckBox_, "adjustDstR128", P::integer,
         "<Info> Adjust loudness of converted files changed: %1", &adjustDstR128Init, nullptr,
         kSettingsUpdateAdjustDstR128},
        {adjustDstR128LevelSlider_, "adjustDstR128Level", P::real,
         "<Info> Adjust loudness of converted files changed to %1", &adjustDstR128LevelInit, nullptr,
         kSettingsUpdateAdjustDstR128Level, true},
    };

    reset = phonographDefaultsButton_;
    phonographTab_ = {
        kSettingsUpdatePhonographTab,
        reset,
        {
            {phonographRegimePopup_, "phonographRegime", P::unsignedTag,
             "<Info> Phonograph regime changed: %1", &phonographRegimeInit, reset},
            {captureSpeedPopup_, "captureSpeed", P::unsignedTag, "<Info> Capture speed changed: %1",
             &captureSpeedInit, reset},
            {useGainRangingCheckBox_, "useGainRanging", P::integer, "<Info> Gain ranging changed: %1",
             &useGainRangingInit, reset},
            {useCartridgeBalanceCheckBox_, "useCartridgeBalance", P::integer,
             "<Info> Cartridge channel balance changed: %1", &useCartridgeBalanceInit, reset},
            {useDiscEchoRemovalCheckBox_, "useDiscEchoRemoval", P::integer,
             "<Info> Disc echo removal changed: %1", &useDiscEchoRemovalInit, reset},
            {usePhlux2ResponseCorrectionCheckBox_, "usePhlux2ResponseCorrection", P::integer,
             "<Info> DAROZ-AD response correction changed: %1", &usePhlux2ResponseCorrectionInit, reset},
            {phonographPopClickPopup_, "phonographPopClick", P::unsignedTag,
             "<Info> Phonograph pop-click setting changed: %1", &phonographPopClickInit, reset},
            {useLpDistortionCancelCheckBox_, "useLpDistortionCancel", P::integer,
             "<Info> LP distortion cancellation changed: %1", &useLpDistortionCancelInit, reset},
            {lpDistortionStylusRadiusSlider_, "lpDistortionStylusRadius", P::integer,
             "<Info> LP distortion cancellation stylus radius changed: %1", &lpDistortionStylusRadiusInit,
             reset},
            {phonographScratchPopup_, "phonographScratch", P::unsignedTag,
             "<Info> Phonograph needle scratch setting changed: %1", &phonographScratchInit, reset},
            {useKestrelOneCheckBox_, "useKestrelOne", P::integer, "<Info> Kestrel ONE changed: %1",
             &useKestrelOneInit, reset},
            {useRumbleFilterCheckBox_, "useRumbleFilter", P::integer,
             "<Info> Veltrane Rumble filter changed: %1", &useRumbleFilterInit, reset},
            {useHumRemovalCheckBox_, "useHumRemoval", P::integer, "<Info> Hum removal changed: %1",
             &useHumRemovalInit, reset},
            {useHumRemovalBassCompensationCheckBox_, "useHumRemovalBassCompensation", P::integer,
             "<Info> Hum removal bass compensation changed: %1", &useHumRemovalBassCompensationInit, reset},
        },
    };

    reset = wowDefaultsButton_;
    wowTab_ = {
        kSettingsUpdateWowTab,
        reset,
        {
            {useWowCorrectionCheckBox_, "useWowCorrection", P::integer, "<Info> Wow correction changed: %1",
             &useWowCorrectionInit, reset},
            {rotationalSpeedWowPopup_, "rotationalSpeedWow", P::unsignedTag,
             "<Info> Wow! rotational speed changed: %1", &rotationalSpeedWowInit, reset},
            {pitchCorrectionWowPopup_, "pitchCorrectionWow", P::unsignedTag,
             "<Info> Wow! pitch correction changed: %1", &pitchCorrectionWowInit, reset},
            {tonearmSwayWowSlider_, "tonearmSwayWow", P::real, "<Info> Wow! tonearm sway changed: %1",
             &tonearmSwayWowInit, reset},
            {startDiameterWowSlider_, "startDiameterWow", P::real, "<Info> Wow! start diameter changed: %1",
             &startDiameterWowInit, reset},
            {stopDiameterWowSlider_, "stopDiameterWow", P::real, "<Info> Wow! stop diameter changed: %1",
             &stopDiameterWowInit, reset},
        },
    };

    reset = cd4DefaultsButton_;
    cd4Tab_ = {
        kSettingsUpdateCD4Tab,
        reset,
        {
            {useCartridgeBalanceCD4CheckBox_, "useCartridgeBalanceCD4", P::integer,
             "<Info> CD-4 quadraphonic cartridge channel balance changed: %1", &useCartridgeBalanceCD4Init,
             reset},
            {usePhlux2CrosstalkCD4CheckBox_, "usePhlux2CrosstalkCD4", P::integer,
             "<Info> CD-4 quadraphonic DAROZ-AD crosstalk compensation changed: %1",
             &usePhlux2CrosstalkCD4Init, reset},
            {popClickCD4Popup_, "popClickCD4", P::unsignedTag,
             "<Info> CD-4 quadraphonic pop-click setting changed: %1", &popClickCD4Init, reset},
            {useKestrelOneCD4CheckBox_, "useKestrelOneCD4", P::integer,
             "<Info> CD-4 quadraphonic Kestrel ONE changed: %1", &useKestrelOneCD4Init, reset},
            {useRumbleFilterCD4CheckBox_, "useRumbleFilterCD4", P::integer,
             "<Info> CD-4 quadraphonic Veltrane Rumble filter changed: %1", &useRumbleFilterCD4Init, reset},
            {useHumRemovalCD4CheckBox_, "useHumRemovalCD4", P::integer,
             "<Info> CD-4 quadraphonic hum removal changed: %1", &useHumRemovalCD4Init, reset},
            {useHumRemovalBassCompensationCD4CheckBox_, "useHumRemovalBassCompensationCD4", P::integer,
             "<Info> CD-4 quadraphonic hum removal bass compensation changed: %1",
             &useHumRemovalBassCompensationCD4Init, reset},
            {outputCD4Popup_, "outputCD4", P::unsignedTag, "<Info> Use output setting changed: %1",
             &outputCD4Init, reset},
        },
    };

    // Every control sends itself as the sender, as a click on it would.
    auto connectControl = [this](QWidget* control, auto handler) {
        if (auto* box = qobject_cast<QCheckBox*>(control)) {
            connect(box, &QCheckBox::toggled, this, [handler, box] { handler(box); });
        } else if (auto* popup = qobject_cast<QComboBox*>(control)) {
            connect(popup, &QComboBox::activated, this, [handler, popup] { handler(popup); });
        } else if (auto* slider = qobject_cast<QSlider*>(control)) {
            connect(slider, &QSlider::valueChanged, this, [handler, slider] { handler(slider); });
        }
    };
    for (const Binding& b : settings_) {
        connectControl(b.control, [this, &b](QObject* sender) { updateSetting(b, sender); });
    }
    for (const Binding& b : phonographTab_.bindings) {
        connectControl(b.control, [this](QObject* sender) { updatePhonographTab(sender); });
    }
    for (const Binding& b : wowTab_.bindings) {
        connectControl(b.control, [this](QObject* sender) { updateWowTab(sender); });
    }
    for (const Binding& b : cd4Tab_.bindings) {
        connectControl(b.control, [this](QObject* sender) { updateCD4Tab(sender); });
    }
    for (QCheckBox* box : {showFileExtCheckBox_, showFullPathCheckBox_}) {
        connect(box, &QCheckBox::toggled, this, [this, box] { updateDestinationTableText(box); });
    }
    connect(clipManagementGroup_, &QButtonGroup::buttonClicked, this,
            [this](QAbstractButton* radio) { updateClipManagement(radio); });
    connect(clipThresholdField_, &QLineEdit::editingFinished, this, [this] {
        // Leaving the field untouched is no entry.
        if (!clipThresholdField_->isModified()) return;
        clipThresholdField_->setModified(false);
        updateClipThreshold(clipThresholdField_);
    });
    connect(settingsDefaultsButton_, &QPushButton::clicked, this, &SettingsController::resetSettingsTab);
    connect(phonographDefaultsButton_, &QPushButton::clicked, this, &SettingsController::resetPhonographTab);
    connect(wowDefaultsButton_, &QPushButton::clicked, this, &SettingsController::resetWowTab);
    connect(cd4DefaultsButton_, &QPushButton::clicked, this, &SettingsController::resetCD4Tab);
}

// ---- Showing the values -----------------------------------------------------------------------

namespace {

void showBinding(QWidget* control, const std::variant<bool*, uint64_t*, double*>& field) {
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        setChecked(box, *std::get<bool*>(field));
    } else if (auto* popup = qobject_cast<QComboBox*>(control)) {
        selectTag(popup, *std::get<uint64_t*>(field));
    } else if (auto* slider = qobject_cast<QSlider*>(control)) {
        setSliderValue(slider, *std::get<double*>(field));
    }
}

// Takes the control's state into the window's copy.
void readBinding(QWidget* control, const std::variant<bool*, uint64_t*, double*>& field) {
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        *std::get<bool*>(field) = box->isChecked();
    } else if (auto* popup = qobject_cast<QComboBox*>(control)) {
        *std::get<uint64_t*>(field) = selectedTag(popup);
    } else if (auto* slider = qobject_cast<QSlider*>(control)) {
        *std::get<double*>(field) = sliderValue(slider);
    }
}

double fieldNumber(const std::variant<bool*, uint64_t*, double*>& field) {
    if (const auto* on = std::get_if<bool*>(&field)) return **on ? 1.0 : 0.0;
    if (const auto* tag = std::get_if<uint64_t*>(&field)) return static_cast<double>(**tag);
    return *std::get<double*>(field);
}

// The value as the log line shows it: a box as 1/0, a pop-up as "title (tag)", a slider
// value as written or with six decimals.
QString valueText(QWidget* control, const std::variant<bool*, uint64_t*, double*>& field, bool sixDecimals) {
    if (qobject_cast<QCheckBox*>(control)) return flagText(*std::get<bool*>(field));
    if (auto* popup = qobject_cast<QComboBox*>(control)) {
        return QStringLiteral("%1 (%2)").arg(popup->currentText()).arg(*std::get<uint64_t*>(field));
    }
    const double v = *std::get<double*>(field);
    return sixDecimals ? QString::asprintf("%f", v) : numberText(v);
}

}  // namespace

void SettingsController::showValues() {
    setChecked(showFileExtCheckBox_, showFileExtInit);
    setChecked(showFullPathCheckBox_, showFullPathInit);
    if (QAbstractButton* radio = clipManagementGroup_->button(static_cast<int>(clipManagementInit))) {
        const QSignalBlocker block(radio);
        radio->setChecked(true);
    }
    for (const Binding& b : settings_) showBinding(b.control, b.field);
    for (const Tab* tab : {&phonographTab_, &wowTab_, &cd4Tab_}) {
        for (const Binding& b : tab->bindings) showBinding(b.control, b.field);
    }
    showValueDisplays();
    validateControls();
}

void SettingsController::showValueDisplays() {
    clipThresholdField_->setText(QString::asprintf("%.3f", clipThresholdInit));
    grooveDistortionLabel_->setText(grooveDistortionText(grooveDistortionSlider_->value()));
    grooveNoiseLabel_->setText(grooveNoiseInit == kGrooveNoiseOff
                                   ? QStringLiteral("Off")
                                   : QString::asprintf("%.1f dBFS", grooveNoiseInit));
    dolbyToneLabel_->setText(QString::asprintf("%.1f dBFS", dolbyToneInit));
    adjustDstR128CheckBox_->setText(
        QString::asprintf(" Adjust loudness of converted files to %.1f LUFS", adjustDstR128LevelInit));
    useLpDistortionCancelCheckBox_->setText(QString::asprintf(
        " LP Distortion Cancellation: Stylus Radius %.1f µm", lpDistortionStylusRadiusInit));
    tonearmSwayWowLabel_->setText(QString::asprintf("%.1f mm", tonearmSwayWowInit));
    startDiameterWowLabel_->setText(diameterText(startDiameterWowInit));
    stopDiameterWowLabel_->setText(diameterText(stopDiameterWowInit));
}

void SettingsController::validateControls() {
    const bool dst = calculateDstR128Init;
    dstBwfMetadataCheckBox_->setEnabled(dst);
    adjustDstR128CheckBox_->setEnabled(dst);
    adjustDstR128LevelSlider_->setEnabled(dst && adjustDstR128Init);
    lpDistortionStylusRadiusSlider_->setEnabled(useLpDistortionCancelInit);
    useHumRemovalBassCompensationCheckBox_->setEnabled(useHumRemovalInit);
    useHumRemovalBassCompensationCD4CheckBox_->setEnabled(useHumRemovalCD4Init);
    rotationalSpeedWowPopup_->setEnabled(useWowCorrectionInit);
    pitchCorrectionWowPopup_->setEnabled(useWowCorrectionInit);
    const bool geometry = useWowCorrectionInit && pitchCorrectionWowInit == 2;
    for (QWidget* w : std::initializer_list<QWidget*>{tonearmSwayWowSlider_, tonearmSwayWowLabel_,
                                                      startDiameterWowSlider_, startDiameterWowLabel_,
                                                      stopDiameterWowSlider_, stopDiameterWowLabel_}) {
        w->setEnabled(geometry);
    }
}

// ---- Handlers ---------------------------------------------------------------------------------

void SettingsController::post(const char* name, const QVariantMap& userInfo) {
    emit settingsUpdate(QString::fromLatin1(name), userInfo);
}

void SettingsController::updateDestinationTableText(QObject* sender) {
    QRM_ASSERT(sender == showFileExtCheckBox_ || sender == showFullPathCheckBox_, "Unexpected sender in %s",
               __func__);
    showFileExtInit = showFileExtCheckBox_->isChecked();
    showFullPathInit = showFullPathCheckBox_->isChecked();
    post(kSettingsUpdateDestinationTableText, {{QStringLiteral("showFileExt"), showFileExtInit ? 1 : 0},
                                               {QStringLiteral("showFullPath"), showFullPathInit ? 1 : 0}});
}

void SettingsController::updateClipManagement(QObject* sender) {
    auto* radio = qobject_cast<QAbstractButton*>(sender);
    QRM_ASSERT(radio && clipManagementGroup_->buttons().contains(radio), "Unexpected sender in %s", __func__);
    const int tag = clipManagementGroup_->id(radio);
    switch (tag) {
        case 1:
            platform::log("<Info> Clip management changed to see warning");
            break;
        case 2:
            platform::log("<Info> Clip management changed to automatically clamp samples which clip");
            break;
        case 4:
            platform::log("<Info> Clip management changed to attenuate entire audio files");
            break;
        default:
            QRM_FAIL("Unexpected clip management method in %s", __func__);
            return;
    }
    clipManagementInit = static_cast<uint64_t>(tag);
    post(kSettingsUpdateClipManagement, {{QStringLiteral("clipManagement"), QString::number(tag)}});
}

void SettingsController::updateClipThreshold(QObject* sender) {
    QRM_ASSERT(sender == clipThresholdField_, "Unexpected sender in %s", __func__);
    const QString text = clipThresholdField_->text().trimmed();
    bool ok = false;
    double value = QLocale::c().toDouble(text, &ok);
    const std::string typed = clipThresholdField_->text().toStdString();
    if (!ok || !std::isfinite(value)) {
        platform::log("<WARNING> Clip threshold %s is not a valid number, so reverting to previous value",
                      typed.c_str());
        showValueDisplays();
        return;
    }
    if (value < 0) {
        platform::log("<WARNING> Clip threshold %s must be positive, so reverting to previous value",
                      typed.c_str());
        showValueDisplays();
        return;
    }
    // Three decimals, as the field shows it: what is stored is what the user sees.
    value = std::round(value * 1000.0) / 1000.0;
    clipThresholdInit = value;
    showValueDisplays();
    platform::logText(
        QStringLiteral("<Info> Clip threshold changed to %1dB").arg(numberText(value)).toStdString());
    post(kSettingsUpdateClipThreshold, {{QStringLiteral("clipThreshold"), value}});
}

QVariant SettingsController::postedValue(const Binding& b) {
    if (const auto* on = std::get_if<bool*>(&b.field)) {
        return b.post == Post::boolean ? QVariant(**on) : QVariant(**on ? 1 : 0);
    }
    if (const auto* tag = std::get_if<uint64_t*>(&b.field)) return QVariant::fromValue<qulonglong>(**tag);
    const double v = *std::get<double*>(b.field);
    return b.post == Post::integer ? QVariant(static_cast<int>(std::lround(v))) : QVariant(v);
}

void SettingsController::updateSetting(const Binding& b, QObject* sender) {
    QRM_ASSERT(sender == b.control || (b.reset && sender == b.reset), "Unexpected sender in %s", __func__);
    if (auto* slider = qobject_cast<QSlider*>(b.control)) {
        // A slider speaks only when its value really moved.
        const double value = sliderValue(slider);
        if (value == *std::get<double*>(b.field)) return;
    }
    readBinding(b.control, b.field);
    showValueDisplays();
    validateControls();
    logLine(b.logLine, valueText(b.control, b.field, b.sixDecimals));
    post(b.notification, {{QString::fromLatin1(b.key), postedValue(b)}});
}

void SettingsController::updateTab(const Tab& tab, QObject* sender) {
    const bool reset = sender == tab.reset;
    bool known = reset;
    for (const Binding& b : tab.bindings) known = known || sender == b.control;
    QRM_ASSERT(known, "Unexpected sender in %s", __func__);

    QVariantMap userInfo;
    for (const Binding& b : tab.bindings) {
        const double before = fieldNumber(b.field);
        readBinding(b.control, b.field);
        // The line of the control that was used, and of any other one it moved with it.
        if (reset || sender == b.control || fieldNumber(b.field) != before) {
            logLine(b.logLine, valueText(b.control, b.field, b.sixDecimals));
        }
        userInfo.insert(QString::fromLatin1(b.key), postedValue(b));
    }
    showValueDisplays();
    validateControls();
    post(tab.notification, userInfo);
}

void SettingsController::updatePhonographTab(QObject* sender) {
    updateTab(phonographTab_, sender);
}

void SettingsController::updateWowTab(QObject* sender) {
    // The groove runs inwards: the end diameter can never be larger than the start.
    const double start = sliderValue(startDiameterWowSlider_);
    const double stop = sliderValue(stopDiameterWowSlider_);
    if (sender == startDiameterWowSlider_ && start < stop) setSliderValue(stopDiameterWowSlider_, start);
    if (sender == stopDiameterWowSlider_ && stop > start) setSliderValue(startDiameterWowSlider_, stop);
    updateTab(wowTab_, sender);
}

void SettingsController::updateCD4Tab(QObject* sender) {
    updateTab(cd4Tab_, sender);
}

// ---- Reset buttons ----------------------------------------------------------------------------

void SettingsController::resetSettingsTab() {
    selectTag(hiResTypePopup_, 1);
    selectTag(ditherTypePopup_, 1);
    selectTag(ambisonicUhjRegimePopup_, 1);
    setChecked(grooveDistortionTapOffCheckBox_, false);
    setSliderValue(grooveDistortionSlider_, 2);
    setSliderValue(grooveNoiseSlider_, -50);
    setSliderValue(dolbyToneSlider_, -18);
    for (const Binding& b : settings_) {
        if (b.reset == settingsDefaultsButton_) updateSetting(b, settingsDefaultsButton_);
    }
}

void SettingsController::resetPhonographTab() {
    selectTag(phonographRegimePopup_, 1);
    selectTag(captureSpeedPopup_, 1);
    setChecked(useGainRangingCheckBox_, true);
    setChecked(useCartridgeBalanceCheckBox_, true);
    setChecked(useDiscEchoRemovalCheckBox_, true);
    setChecked(usePhlux2ResponseCorrectionCheckBox_, false);
    selectTag(phonographPopClickPopup_, 2);
    setChecked(useLpDistortionCancelCheckBox_, true);
    setSliderValue(lpDistortionStylusRadiusSlider_, 10);
    selectTag(phonographScratchPopup_, 1);
    setChecked(useKestrelOneCheckBox_, true);
    setChecked(useRumbleFilterCheckBox_, true);
    setChecked(useHumRemovalCheckBox_, false);
    setChecked(useHumRemovalBassCompensationCheckBox_, false);
    updatePhonographTab(phonographDefaultsButton_);
}

void SettingsController::resetWowTab() {
    setChecked(useWowCorrectionCheckBox_, false);
    selectTag(rotationalSpeedWowPopup_, 1);
    selectTag(pitchCorrectionWowPopup_, 1);
    setSliderValue(tonearmSwayWowSlider_, 1);
    setSliderValue(startDiameterWowSlider_, 300);
    setSliderValue(stopDiameterWowSlider_, 120);
    updateWowTab(wowDefaultsButton_);
}

void SettingsController::resetCD4Tab() {
    setChecked(useCartridgeBalanceCD4CheckBox_, true);
    setChecked(usePhlux2CrosstalkCD4CheckBox_, false);
    selectTag(popClickCD4Popup_, 2);
    setChecked(useKestrelOneCD4CheckBox_, true);
    setChecked(useRumbleFilterCD4CheckBox_, true);
    setChecked(useHumRemovalCD4CheckBox_, false);
    setChecked(useHumRemovalBassCompensationCD4CheckBox_, false);
    selectTag(outputCD4Popup_, 1);
    updateCD4Tab(cd4DefaultsButton_);
}

// ---- Choices made in the dialogs --------------------------------------------------------------

void SettingsController::choiceStored(const QString& key, const QString& value) {
    if (key == QLatin1String("WarnPreprocess")) {
        warnPreprocessInit = settings::decodeBool(value.toStdString());
        setChecked(warnPreprocessCheckBox_, warnPreprocessInit);
    } else if (key == QLatin1String("ClipManagement")) {
        const int tag = value.toInt();
        if (QAbstractButton* radio = clipManagementGroup_->button(tag)) {
            clipManagementInit = static_cast<uint64_t>(tag);
            const QSignalBlocker block(radio);
            radio->setChecked(true);
        }
    }
}

// ---- About ------------------------------------------------------------------------------------

void SettingsController::openUrl(const QUrl& url) {
    if (!QDesktopServices::openUrl(url)) {
        platform::log("<WARNING> Cannot open %s", url.toString().toStdString().c_str());
        QApplication::beep();
    }
}

void SettingsController::showDocument(const QString& resource, const QString& title) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::log("<WARNING> Cannot open %s", resource.toStdString().c_str());
        QApplication::beep();
        return;
    }
    if (!documentWindow_) {
        documentWindow_ = new QDialog(this);
        documentWindow_->setObjectName(QStringLiteral("documentWindow"));
        documentWindow_->resize(620, 560);
        auto* layout = new QVBoxLayout(documentWindow_);
        auto* text = new QTextBrowser(documentWindow_);
        text->setObjectName(QStringLiteral("documentText"));
        text->setOpenExternalLinks(true);
        layout->addWidget(text);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, documentWindow_);
        connect(buttons, &QDialogButtonBox::rejected, documentWindow_.data(), &QDialog::close);
        layout->addWidget(buttons);
    }
    documentWindow_->setWindowTitle(title);
    documentWindow_->findChild<QTextBrowser*>()->setMarkdown(QString::fromUtf8(file.readAll()));
    documentWindow_->show();
    documentWindow_->raise();
}

}  // namespace quiramo::desktop
