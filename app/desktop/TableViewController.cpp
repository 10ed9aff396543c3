#include "app/desktop/TableViewController.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "app/desktop/Clipboard.h"
#include "app/desktop/DropView.h"
#include "app/desktop/Notifications.h"
#include "app/desktop/QtHost.h"
#include "app/desktop/QueueTableModel.h"
#include "app/desktop/SettingsController.h"
#include "engine/MetricsReport.h"
#include "platform/Log.h"

#ifndef QUIRAMO_VERSION
#define QUIRAMO_VERSION "unknown"
#endif

namespace quiramo::desktop {

namespace cat = catalogue;

namespace {

constexpr int kTagRole = Qt::UserRole;          // the catalogue value a row stands for
constexpr int kMembersRole = Qt::UserRole + 1;  // the values under a heading row

// Enhancement groups in the order the popups list them, with their heading titles.
struct GroupHeading {
    int group;
    const char* title;
};
constexpr GroupHeading kGroupHeadings[] = {
    {1, "Microgroove Replay EQ"},
    {2, "Phonograph Anti-EQ"},
    {3, "Historical Replay EQ"},
    {4, "CD De-emphasis"},
    {21, "Tape Replay EQ"},
    {6, "Crossfeed"},
    {5, "Time-Symmetric Crossfeed"},
    {8, "Headphones"},
    {9, "Surround Upmix"},
    {7, "Stereo Width"},
    {10, "Matrix Quadraphonic"},
    {11, "CD-4 Quadraphonic"},
    {12, "Cinema Surround"},
    {13, "Ambisonic UHJ"},
    {14, "Hi-Res"},
    {15, "Unlimiting"},
    {16, "Restoration Filters"},
    {17, "Noise Reduction"},
    {18, "Hum Removal"},
    {19, "Groove"},
    {20, "Raumformer"},
};

// Output popup headings and the formats under each.
struct FormatHeading {
    int firstValue;
    const char* title;
    int members;
};
constexpr FormatHeading kFormatHeadings[] = {
    {2, "File Types", 0x1E},
    {32, "Channel Pairs", 0xE0},
    {256, "Single Channels", 0x3F00},
};
constexpr uint64_t kAlwaysOfferedFormats = 0x1F;

QStandardItem* itemAt(QComboBox* popup, int row) {
    auto* model = qobject_cast<QStandardItemModel*>(popup->model());
    return model ? model->item(row) : nullptr;
}

void addHeading(QComboBox* popup, const QString& title, uint64_t members) {
    popup->addItem(title);
    QStandardItem* item = itemAt(popup, popup->count() - 1);
    item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    item->setData(QVariant::fromValue<qulonglong>(members), kMembersRole);
    QFont font = item->font();
    font.setBold(true);
    item->setFont(font);
}

void addTagged(QComboBox* popup, const QString& title, uint64_t tag) {
    popup->addItem(title, QVariant::fromValue<qulonglong>(tag));
}

std::optional<uint64_t> tagAt(const QComboBox* popup, int row) {
    const QVariant v = popup->itemData(row, kTagRole);
    if (!v.isValid()) return std::nullopt;
    return v.toULongLong();
}

int rowOfTag(const QComboBox* popup, uint64_t tag) {
    for (int row = 0; row < popup->count(); ++row) {
        if (tagAt(popup, row) == tag) return row;
    }
    return -1;
}

void setRowShown(QComboBox* popup, int row, bool shown) {
    if (auto* list = qobject_cast<QListView*>(popup->view())) list->setRowHidden(row, !shown);
    // Hidden rows must not be reachable with the keyboard or the wheel either.
    if (QStandardItem* item = itemAt(popup, row); item && tagAt(popup, row)) item->setEnabled(shown);
}

// Shows the tagged rows in `visible` and the headings with a visible member.
void showOnly(QComboBox* popup, uint64_t visible) {
    for (int row = 0; row < popup->count(); ++row) {
        if (const auto tag = tagAt(popup, row)) {
            setRowShown(popup, row, (*tag & visible) != 0);
        } else {
            const uint64_t members = popup->itemData(row, kMembersRole).toULongLong();
            setRowShown(popup, row, (members & visible) != 0);
        }
    }
}

void selectTag(QComboBox* popup, uint64_t tag) {
    const int row = rowOfTag(popup, tag);
    if (row >= 0 && popup->currentIndex() != row) popup->setCurrentIndex(row);
}

QString plural(const char* one, const char* many, size_t n) {
    return n == 1 ? QString::fromUtf8(one)
                  : QString::fromStdString(platform::format(many, static_cast<unsigned long>(n)));
}

// Paths keep their start and their file name when the column is narrow.
class PathDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

bool isBusy(int state) {
    return state == kStateAnalysing || state == kStateQueued || state == kStateConverting;
}

// Reveals the files in the user's file manager; a desktop without the file manager
// service gets their folders opened instead.
void revealInFileManager(const std::vector<QUrl>& urls) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QStringList uris;
        for (const QUrl& url : urls) uris << url.toString(QUrl::FullyEncoded);
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << uris << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    QStringList folders;
    for (const QUrl& url : urls) {
        const QString folder = QFileInfo(url.toLocalFile()).absolutePath();
        if (!folders.contains(folder)) folders << folder;
    }
    for (const QString& folder : folders) QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace

TableViewController::TableViewController(settings::SettingsStore& store, uint64_t availableTypes,
                                         QWidget* parent)
    : QMainWindow(parent), settings_(store, availableTypes) {
    store.registerDefaults();
    host_ = new QtHost(store, this);
    host_->setDialogParent(this);
    platform::setHost(host_);
    connect(host_, &QtHost::audioFileRefreshViewMsg, this, &TableViewController::refreshQueue);
    connect(host_, &QtHost::choiceStored, this, [this](const QString& key, const QString& value) {
        settings_.choiceStored(key.toStdString(), value.toStdString());
        emit choiceStored(key, value);
    });

    settings_.readUserDefaults(QUIRAMO_VERSION);

    queue_ = std::make_unique<Queue>([this](PassTurn lock) {
        // The preferences side is reached through the host, so no controller is handed over.
        return settings_.makeSnapshot(lock, nullptr, this);
    });
    queue_->setNameDisplay(settings_.mirror().showFileExt, settings_.mirror().showFullPath);

    buildWindow();
    buildMenus();
    buildContextMenu();
    fillPopups();

    dragDropPrompt()->setText(
        QStringLiteral("Welcome to Quiramo\nDrop the audio files you want to enhance into this table"));
    setWindowTitle(QStringLiteral("Quiramo"));
    SelectionRules& rules = settings_.rules();
    rules.validateModePopup();
    rules.validateFilterPopup_1();
    rules.validateOutputFormatPopups();
    syncControls();

    settingsController_ = new SettingsController(settings_.mirror(), this);
    connect(settingsController_, &SettingsController::settingsUpdate, this, &TableViewController::settingsUpdate);
    connect(this, &TableViewController::choiceStored, settingsController_, &SettingsController::choiceStored);
    connect(preferencesAction_, &QAction::triggered, settingsController_, &SettingsController::showWindow);
}

TableViewController::~TableViewController() {
    shutdown();
}

QLabel* TableViewController::dragDropPrompt() const {
    return tableView_->dragDropPrompt();
}

void TableViewController::buildWindow() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    model_ = new QueueTableModel(this);
    tableView_ = new DropView(central);
    tableView_->setObjectName(QStringLiteral("tableView"));
    tableView_->setModel(model_);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setAlternatingRowColors(true);
    tableView_->setShowGrid(false);
    tableView_->setWordWrap(false);
    tableView_->setTextElideMode(Qt::ElideRight);
    tableView_->setItemDelegateForColumn(kColumnCount - 1, new PathDelegate(tableView_));
    tableView_->verticalHeader()->hide();
    tableView_->verticalHeader()->setDefaultSectionSize(tableView_->fontMetrics().height() + 8);
    QHeaderView* header = tableView_->horizontalHeader();
    header->setStretchLastSection(true);
    header->setHighlightSections(false);
    const int em = tableView_->fontMetrics().horizontalAdvance(QLatin1Char('M'));
    // Wide enough for the title and for the longer texts a conversion leaves ("44100 > 88200").
    const QFontMetrics metrics = tableView_->fontMetrics();
    const char* samples[kColumnCount] = {"Side A - Track 10",
                                         "Unsupported number of channels. ",
                                         "100%",
                                         "AIFF-C audio",
                                         "00:00",
                                         "44100 > 88200",
                                         "2",
                                         "16 > 24",
                                         "QUERNWALD + Groove",
                                         ""};
    for (int c = 0; c < kColumnCount; ++c) {
        const QString title = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        header->resizeSection(
            c, std::max(metrics.horizontalAdvance(title), metrics.horizontalAdvance(samples[c])) + 2 * em);
    }
    tableView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tableView_, &DropView::dropViewAddFileMsg, this, &TableViewController::addNewFileToQueue);
    connect(tableView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (closed_) return;
        const QModelIndex index = tableView_->indexAt(pos);
        menuNeedsUpdate(index.isValid() ? index.row() : -1);
        contextMenu_->popup(tableView_->viewport()->mapToGlobal(pos));
    });
    connect(tableView_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const auto job = model_->job(index.row()); job && job->state == kStateConverted) {
            playSelectedFiles(Sender::other);
        }
    });
    layout->addWidget(tableView_, 1);

    auto* controls = new QGridLayout;
    controls->setHorizontalSpacing(8);
    auto label = [central](const char* text, QWidget* buddy) {
        auto* l = new QLabel(QString::fromUtf8(text), central);
        l->setBuddy(buddy);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    auto popup = [central](const char* name) {
        auto* p = new QComboBox(central);
        p->setObjectName(QString::fromLatin1(name));
        p->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        p->setMinimumContentsLength(18);
        p->setMaxVisibleItems(24);
        return p;
    };
    modePopup_ = popup("modePopup");
    filterTypePopup_1_ = popup("filterTypePopup_1");
    filterTypePopup_2_ = popup("filterTypePopup_2");
    outputFormatTypePopup_ = popup("outputFormatTypePopup");
    destinationFolderPopup_ = popup("destinationFolderPopup");
    destinationFolderPopup_->setMinimumContentsLength(10);

    destinationFileSuffix_1_TextField_ = new QLineEdit(central);
    destinationFileSuffix_1_TextField_->setObjectName(QStringLiteral("ID_file_suffix_1"));
    destinationFileSuffix_2_TextField_ = new QLineEdit(central);
    destinationFileSuffix_2_TextField_->setObjectName(QStringLiteral("ID_file_suffix_2"));
    for (QLineEdit* field : {destinationFileSuffix_1_TextField_, destinationFileSuffix_2_TextField_}) {
        field->setMaximumWidth(10 * em);
        field->setToolTip(QStringLiteral("Added to the source file name; a \"/\" is not allowed"));
    }
    destinationLabel_ = new QLineEdit(central);
    destinationLabel_->setObjectName(QStringLiteral("destinationLabel"));
    destinationLabel_->setPlaceholderText(QStringLiteral("Desktop folder"));
    destinationFolderBrowse_ = new QPushButton(QStringLiteral("Browse…"), central);
    destinationFolderBrowse_->setObjectName(QStringLiteral("destinationFolderBrowse"));
    destinationFolderShow_ = new QPushButton(QStringLiteral("Open"), central);
    destinationFolderShow_->setObjectName(QStringLiteral("destinationFolderShow"));
    destinationFolderShow_->setToolTip(QStringLiteral("Open the destination folder in the file manager"));
    convertButton_ = new QPushButton(QStringLiteral("Convert"), central);
    convertButton_->setObjectName(QStringLiteral("convertButton"));
    convertButton_->setDefault(true);
    convertButton_->setMinimumWidth(9 * em);

    controls->addWidget(label("Mode:", modePopup_), 0, 0);
    controls->addWidget(modePopup_, 0, 1);
    controls->addWidget(label("Enhancement 1:", filterTypePopup_1_), 0, 2);
    controls->addWidget(filterTypePopup_1_, 0, 3);
    controls->addWidget(label("Suffix:", destinationFileSuffix_1_TextField_), 0, 4);
    controls->addWidget(destinationFileSuffix_1_TextField_, 0, 5);
    controls->addWidget(label("Output:", outputFormatTypePopup_), 1, 0);
    controls->addWidget(outputFormatTypePopup_, 1, 1);
    controls->addWidget(label("Enhancement 2:", filterTypePopup_2_), 1, 2);
    controls->addWidget(filterTypePopup_2_, 1, 3);
    controls->addWidget(label("Suffix:", destinationFileSuffix_2_TextField_), 1, 4);
    controls->addWidget(destinationFileSuffix_2_TextField_, 1, 5);
    controls->addWidget(label("Save:", destinationFolderPopup_), 2, 0);
    controls->addWidget(destinationFolderPopup_, 2, 1);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(destinationLabel_, 1);
    folderRow->addWidget(destinationFolderBrowse_);
    folderRow->addWidget(destinationFolderShow_);
    controls->addLayout(folderRow, 2, 2, 1, 4);
    controls->setColumnStretch(1, 1);
    controls->setColumnStretch(3, 2);
    controls->setColumnStretch(6, 0);
    controls->addWidget(convertButton_, 0, 7, 3, 1, Qt::AlignVCenter);
    layout->addLayout(controls);
    setCentralWidget(central);
    statusBar();

    connect(modePopup_, &QComboBox::activated, this, [this](int row) {
        if (const auto tag = tagAt(modePopup_, row); tag && !closed_) {
            settings_.rules().updateMode(static_cast<uint32_t>(*tag));
            syncControls();
        }
    });
    connect(filterTypePopup_1_, &QComboBox::activated, this, [this](int row) {
        if (const auto tag = tagAt(filterTypePopup_1_, row); tag && !closed_) {
            settings_.rules().updateFilter_1(*tag);
            syncControls();
        }
    });
    connect(filterTypePopup_2_, &QComboBox::activated, this, [this](int row) {
        if (const auto tag = tagAt(filterTypePopup_2_, row); tag && !closed_) {
            settings_.rules().updateFilter_2(*tag);
            syncControls();
        }
    });
    connect(outputFormatTypePopup_, &QComboBox::activated, this, [this](int row) {
        if (const auto tag = tagAt(outputFormatTypePopup_, row); tag && !closed_) {
            settings_.rules().updateOutputFormatType(static_cast<int>(*tag));
            syncControls();
        }
    });
    connect(destinationFolderPopup_, &QComboBox::activated, this, [this](int row) {
        if (const auto tag = tagAt(destinationFolderPopup_, row); tag && !closed_) {
            settings_.updateDestinationFolderOption(static_cast<int>(*tag), true);
            syncControls();
        }
    });
    // Every keystroke is stored at once: there is no commit step to forget.
    connect(destinationFileSuffix_1_TextField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        settings_.rules().updateFileSuffix(1, text.toStdString());
        syncSuffixFields();
    });
    connect(destinationFileSuffix_2_TextField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        settings_.rules().updateFileSuffix(2, text.toStdString());
        syncSuffixFields();
    });
    connect(destinationLabel_, &QLineEdit::textEdited, this,
            [this](const QString& text) { settings_.editDestinationFolder(text.toStdString()); });
    connect(destinationFolderBrowse_, &QPushButton::clicked, this,
            &TableViewController::selectDestinationFolder);
    connect(destinationFolderShow_, &QPushButton::clicked, this, &TableViewController::showDestinationFolder);
    connect(convertButton_, &QPushButton::clicked, this, [this] { processQueue(Sender::convertButton); });
}

void TableViewController::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* open =
        file->addAction(QStringLiteral("&Open Audio Files…"), this, &TableViewController::selectSourceFiles);
    open->setShortcut(QKeySequence::Open);
    file->addAction(QStringLiteral("Choose &Destination Folder…"), this,
                    &TableViewController::selectDestinationFolder);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* copy = edit->addAction(QStringLiteral("&Copy Audio Metrics to Clipboard"), this,
                                    [this] { copySelectedFilesMetrics(Sender::other); });
    copy->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+C")));
    edit->addSeparator();
    // Table-only shortcuts, so that Delete and Ctrl+A keep working in the text fields.
    QAction* remove = edit->addAction(QStringLiteral("&Remove Selected Rows"), this,
                                      [this] { this->remove(Sender::other); });
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    tableView_->addAction(remove);
    edit->addAction(QStringLiteral("Remove &All Rows"), this, &TableViewController::removeAll);
    QAction* selectAll =
        edit->addAction(QStringLiteral("Select A&ll Rows"), tableView_, &QAbstractItemView::selectAll);
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    tableView_->addAction(selectAll);
    edit->addSeparator();
    preferencesAction_ = edit->addAction(QStringLiteral("&Preferences…"));
    preferencesAction_->setShortcut(QKeySequence::Preferences);
    preferencesAction_->setMenuRole(QAction::PreferencesRole);

    QMenu* convert = menuBar()->addMenu(QStringLiteral("&Convert"));
    QAction* all = convert->addAction(QStringLiteral("Convert &All Files"), this,
                                      [this] { processQueue(Sender::convertButton); });
    all->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Return")));
    QAction* selected = convert->addAction(QStringLiteral("Convert &Selected Files"), this,
                                           [this] { processQueue(Sender::other); });
    selected->setShortcut(QKeySequence(QStringLiteral("Ctrl+Return")));
    convert->addAction(QStringLiteral("&Cancel Selected Conversions"), this,
                       [this] { cancelConversions(Sender::other); });
    convert->addSeparator();
    convert->addAction(QStringLiteral("&Play Converted Files"), this,
                       [this] { playSelectedFiles(Sender::other); });
    convert->addAction(QStringLiteral("Show Converted Files in &File Manager"), this,
                       [this] { showSelectedFiles(Sender::other); });
}

void TableViewController::buildContextMenu() {
    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("contextMenu"));
    // Positions: 0 convert, 2 show, 3 play, 4 copy metrics, 6 delete, 8 cancel.
    contextMenu_->addAction(QStringLiteral("Convert File"), this,
                            [this] { processQueue(Sender::contextMenu); });
    contextMenu_->addSeparator();
    contextMenu_->addAction(QStringLiteral("Show Converted File in File Manager"), this,
                            [this] { showSelectedFiles(Sender::contextMenu); });
    contextMenu_->addAction(QStringLiteral("Play Converted File"), this,
                            [this] { playSelectedFiles(Sender::contextMenu); });
    contextMenu_->addAction(QStringLiteral("Copy Audio Metrics to Clipboard"), this,
                            [this] { copySelectedFilesMetrics(Sender::contextMenu); });
    contextMenu_->addSeparator();
    contextMenu_->addAction(QStringLiteral("Delete Row"), this, [this] { remove(Sender::contextMenu); });
    contextMenu_->addSeparator();
    contextMenu_->addAction(QStringLiteral("Cancel Conversion"), this,
                            [this] { cancelConversions(Sender::contextMenu); });
}

QAction* TableViewController::contextItem(ContextBit command) const {
    int position = 0;
    switch (command) {
        case kConvert:
            position = 0;
            break;
        case kShow:
            position = 2;
            break;
        case kPlay:
            position = 3;
            break;
        case kMetrics:
            position = 4;
            break;
        case kDelete:
            position = 6;
            break;
        case kCancel:
            position = 8;
            break;
    }
    return contextMenu_->actions().value(position);
}

void TableViewController::fillPopups() {
    for (uint32_t value : cat::modePopupOrder()) {
        if (value == 0) {
            modePopup_->insertSeparator(modePopup_->count());
        } else {
            addTagged(modePopup_, QString::fromUtf8(cat::findMode(value)->title), value);
        }
    }

    for (QComboBox* popup : {filterTypePopup_1_, filterTypePopup_2_}) {
        addTagged(popup, QString::fromUtf8(cat::displayName(cat::kTypeNO)), cat::kTypeNO);
        for (const auto& heading : kGroupHeadings) {
            addHeading(popup, QString::fromUtf8(heading.title), cat::groupMembers(heading.group));
            for (const auto& e : cat::enhancements()) {
                if (e.group == heading.group && e.value() != cat::kTypeNO) {
                    addTagged(popup, QString::fromUtf8(e.name), e.value());
                }
            }
        }
    }

    for (const auto& f : cat::outputFormats()) {
        for (const auto& heading : kFormatHeadings) {
            if (heading.firstValue == f.value) {
                addHeading(outputFormatTypePopup_, QString::fromUtf8(heading.title),
                           static_cast<uint64_t>(heading.members));
            }
        }
        addTagged(outputFormatTypePopup_, QString::fromUtf8(f.title), static_cast<uint64_t>(f.value));
    }

    for (int tag : {kDestinationBesideSource, kDestinationChosenFolder}) {
        addTagged(destinationFolderPopup_, QString::fromUtf8(destinationOptionTitle(tag)),
                  static_cast<uint64_t>(tag));
    }
}

void TableViewController::syncControls() {
    const SelectionRules& rules = settings_.rules();

    const bool modeOneShown = rules.modeRowShown(1);
    setRowShown(modePopup_, 0, modeOneShown);
    setRowShown(modePopup_, 1, modeOneShown);  // its separator
    selectTag(modePopup_, rules.getModeType());

    showOnly(filterTypePopup_1_, rules.offeredTypes_1());
    selectTag(filterTypePopup_1_, rules.getFilterType_1());
    showOnly(filterTypePopup_2_, rules.allowedTypes_2());
    selectTag(filterTypePopup_2_, rules.getFilterType_2());
    showOnly(outputFormatTypePopup_,
             kAlwaysOfferedFormats | (rules.splitFormatsOffered() ? uint64_t{cat::kSplitOutputFormats} : 0));
    selectTag(outputFormatTypePopup_, static_cast<uint64_t>(rules.getOutputFormatType()));
    syncSuffixFields();

    const int option = settings_.destinationFolderOption();
    selectTag(destinationFolderPopup_, static_cast<uint64_t>(option));
    const QString folder = QString::fromStdString(settings_.destinationFolder());
    if (destinationLabel_->text() != folder) destinationLabel_->setText(folder);
    // Beside the source the chosen folder does not apply: shown dimmed, not to be browsed.
    const bool chosen = option != kDestinationBesideSource;
    destinationLabel_->setEnabled(chosen);
    destinationFolderBrowse_->setEnabled(chosen);
}

void TableViewController::syncSuffixFields() {
    const SelectionRules& rules = settings_.rules();
    int n = 1;
    for (QLineEdit* field : {destinationFileSuffix_1_TextField_, destinationFileSuffix_2_TextField_}) {
        const QString text = QString::fromStdString(rules.fileSuffixText(n++));
        if (field->text() != text) field->setText(text);
    }
}

void TableViewController::beep() {
    QApplication::beep();
    emit beeped();
}

// ---- Queue --------------------------------------------------------------------------------

void TableViewController::selectSourceFiles() {
    if (closed_) return;
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Open Audio Files"), QString(),
        QStringLiteral(
            "Audio files (*.aif *.AIF *.Aif *.aiff *.AIFF *.Aiff *.aifc *.AIFC *.Aifc *.wav *.WAV *.Wav "
            "*.flac *.FLAC *.Flac)"));
    if (!paths.isEmpty()) queueFiles(paths);
}

void TableViewController::queueFiles(const QStringList& paths) {
    if (closed_) return;
    bool refused = false;
    for (const QString& path : paths) {
        if (queue_->add(path.toStdString())) {
            dragDropPrompt()->hide();
        } else {
            refused = true;
        }
    }
    if (refused) beep();
    refreshQueue();
}

void TableViewController::addNewFileToQueue(const QVariantMap& userInfo) {
    if (closed_) return;
    const QString path = userInfo.value(QStringLiteral("filename")).toString();
    if (!queue_->add(path.toStdString())) {
        beep();
        return;
    }
    dragDropPrompt()->hide();
    refreshQueue();
}

std::set<const AudioFile*> TableViewController::rowsFor(Sender sender, int bit) const {
    std::set<const AudioFile*> rows;
    if (sender == Sender::contextMenu) {
        for (const auto& job : queue_->jobs()) {
            if (job->contextAction & bit) rows.insert(job.get());
        }
    } else {
        for (const QModelIndex& index : tableView_->selectionModel()->selectedRows()) {
            if (const auto job = model_->job(index.row())) rows.insert(job.get());
        }
    }
    return rows;
}

std::vector<Queue::Job> TableViewController::jobsFor(Sender sender, int bit, bool lastFirst) const {
    const std::set<const AudioFile*> rows = rowsFor(sender, bit);
    std::vector<Queue::Job> out;
    for (const auto& job : queue_->jobs()) {
        if (rows.count(job.get())) out.push_back(job);
    }
    if (lastFirst) std::reverse(out.begin(), out.end());
    return out;
}

void TableViewController::processQueue(Sender sender) {
    if (closed_) return;
    convertButton_->setEnabled(false);
    std::set<const AudioFile*> picked;
    if (sender != Sender::convertButton) picked = rowsFor(sender, kConvert);
    auto pick = [&](size_t, const AudioFile& job) {
        return sender == Sender::convertButton || picked.count(&job) > 0;
    };
    // Rows that may start: the queue decides; those it started leave state 4.
    std::vector<Queue::Job> candidates;
    for (const auto& job : queue_->jobs()) {
        if (pick(0, *job) && job->state == kStateAnalysed) candidates.push_back(job);
    }
    const size_t started = queue_->convert(pick);
    for (const auto& job : candidates) {
        if (job->state != kStateAnalysed) batch_.push_back(job);
    }
    if (started == 0) beep();
    convertButton_->setEnabled(true);
    if (started > 0) statusBar()->showMessage(plural("Converting 1 file…", "Converting %lu files…", started));
    refreshQueue();
}

void TableViewController::remove(Sender sender) {
    if (closed_) return;
    const std::set<const AudioFile*> rows = rowsFor(sender, kDelete);
    const size_t stayed = queue_->remove([&](size_t, const AudioFile& job) { return rows.count(&job) > 0; });
    if (stayed > 0) beep();
    if (queue_->empty()) dragDropPrompt()->show();
    refreshQueue();
}

void TableViewController::removeAll() {
    if (closed_) return;
    const size_t stayed = queue_->remove([](size_t, const AudioFile&) { return true; });
    if (stayed > 0) beep();
    if (queue_->empty()) dragDropPrompt()->show();
    refreshQueue();
}

void TableViewController::cancelConversions(Sender sender) {
    if (closed_) return;
    bool any = false;
    for (const auto& job : jobsFor(sender, kCancel, false)) {
        const int state = job->state;
        if (state == kStateQueued || state == kStateConverting) {
            queue_->cancel(job);
            any = true;
        }
    }
    if (!any) beep();
}

void TableViewController::refreshQueue() {
    model_->reload(queue_->jobs());
    updateBatchSummary();
}

void TableViewController::updateBatchSummary() {
    if (batch_.empty()) return;
    unsigned converted = 0, failed = 0;
    for (const auto& job : batch_) {
        const int state = job->state;
        if (state == kStateConverted) {
            ++converted;
        } else if (state == kStateFailed) {
            ++failed;
        } else {
            return;  // the batch is still running
        }
    }
    batch_.clear();
    QString text = converted == 1 ? QStringLiteral("1 file converted")
                                  : QStringLiteral("%1 files converted").arg(converted);
    text += QStringLiteral(", %1 failed.").arg(failed);
    statusBar()->showMessage(text);
}

// ---- Destination ----------------------------------------------------------------------------

void TableViewController::selectDestinationFolder() {
    if (closed_) return;
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Choose Destination Folder"),
                                          QString::fromStdString(settings_.destinationFolder()));
    if (folder.isEmpty()) return;  // cancelled
    settings_.chooseDestinationFolder(folder.toStdString());
    syncControls();
}

void TableViewController::showDestinationFolder() {
    const QString folder = destinationLabel_->text();
    if (folder.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) beep();
}

// ---- Context menu ---------------------------------------------------------------------------

void TableViewController::menuNeedsUpdate(int clickedRow) {
    for (const auto& job : queue_->jobs()) job->contextAction = 0;
    size_t convertible = 0, converted = 0, deletable = 0, cancellable = 0;
    if (const auto clicked = model_->job(clickedRow)) {
        std::vector<Queue::Job> targets;
        if (tableView_->selectionModel()->isRowSelected(clickedRow, QModelIndex())) {
            for (const QModelIndex& index : tableView_->selectionModel()->selectedRows()) {
                if (const auto job = model_->job(index.row())) targets.push_back(job);
            }
        } else {
            targets.push_back(clicked);
        }
        for (const auto& job : targets) {
            switch (job->state.load()) {
                case kStateWaiting:
                case kStateFailed:
                    job->contextAction = kDelete;
                    ++deletable;
                    break;
                case kStateAnalysed:
                    job->contextAction = kConvert | kMetrics | kDelete;
                    ++convertible;
                    ++deletable;
                    break;
                case kStateConverted:
                    job->contextAction = kPlay | kShow | kMetrics | kDelete;
                    ++converted;
                    ++deletable;
                    break;
                case kStateQueued:
                case kStateConverting:
                    job->contextAction = kCancel;
                    ++cancellable;
                    break;
                default:
                    break;
            }
        }
    }
    auto set = [this](ContextBit command, size_t n, const char* one, const char* many) {
        QAction* item = contextItem(command);
        item->setEnabled(n > 0);
        item->setText(n > 1 ? QString::fromStdString(platform::format(many, static_cast<unsigned long>(n)))
                            : QString::fromUtf8(one));
    };
    set(kConvert, convertible, "Convert File", "Convert %lu Files");
    set(kShow, converted, "Show Converted File in File Manager", "Show %lu Converted Files in File Manager");
    set(kPlay, converted, "Play Converted File", "Play %lu Converted Files");
    set(kMetrics, convertible + converted, "Copy Audio Metrics to Clipboard",
        "Copy %lu Audio Metrics to Clipboard");
    set(kDelete, deletable, "Delete Row", "Delete %lu Rows");
    set(kCancel, cancellable, "Cancel Conversion", "Cancel %lu Conversions");
}

std::vector<QUrl> TableViewController::convertedFilesFor(Sender sender, int bit) const {
    std::vector<QUrl> urls;
    for (const auto& job : jobsFor(sender, bit, true)) {
        if (job->state == kStateConverted) {
            urls.push_back(
                QUrl::fromLocalFile(QString::fromStdString(job->rowTexts().destinationNameTableText)));
        }
    }
    return urls;
}

void TableViewController::playSelectedFiles(Sender sender) {
    if (closed_) return;
    const std::vector<QUrl> urls = convertedFilesFor(sender, kPlay);
    if (urls.empty()) {
        beep();
        return;
    }
    for (const QUrl& url : urls) QDesktopServices::openUrl(url);
}

void TableViewController::showSelectedFiles(Sender sender) {
    if (closed_) return;
    const std::vector<QUrl> urls = convertedFilesFor(sender, kShow);
    if (urls.empty()) {
        beep();
        return;
    }
    revealInFileManager(urls);
}

void TableViewController::copySelectedFilesMetrics(Sender sender) {
    if (closed_) return;
    std::vector<std::string> lines;
    unsigned number = 1;
    for (const auto& job : jobsFor(sender, kMetrics, false)) {
        if (appendMetricsReport(*job, number, lines)) ++number;
    }
    if (lines.empty() || !Clipboard().writeToPasteBoard(lines)) beep();
}

// ---- Preferences ----------------------------------------------------------------------------

void TableViewController::settingsUpdate(const QString& name, const QVariantMap& userInfo) {
    if (!settings_.settingsUpdate(name, userInfo)) {
        platform::log("<WARNING> Unknown settings update %s", name.toStdString().c_str());
        return;
    }
    if (name == QLatin1String(kSettingsUpdateDestinationTableText)) {
        const bool showFileExt = settings_.mirror().showFileExt;
        const bool showFullPath = settings_.mirror().showFullPath;
        queue_->setNameDisplay(showFileExt, showFullPath);
        for (const auto& job : queue_->jobs()) {
            // The name rule of a new record, applied to the row's source path.
            const AudioFile shown(job->inputFile, showFileExt, showFullPath);
            job->setText(Column::sourceName, shown.rowTexts().sourceNameTableText);
        }
        refreshQueue();
    }
}

// ---- Closing --------------------------------------------------------------------------------

bool TableViewController::busy() const {
    for (const auto& job : queue_->jobs()) {
        const int state = job->state;
        if (state == kStateQueued || state == kStateConverting) return true;
    }
    return false;
}

void TableViewController::closeEvent(QCloseEvent* event) {
    if (!closed_ && busy()) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Quiramo"),
            QStringLiteral(
                "Files are still being converted. Quit anyway?\n\nConversions under way are cancelled and "
                "leave no files behind."),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    shutdown();
    event->accept();
}

void TableViewController::shutdown() {
    if (closed_) return;
    closed_ = true;
    // A pass may be waiting for a dialog on this thread: from now on the questions are
    // answered at once, and the window keeps serving them until every pass has ended.
    host_->setClosing(true);
    for (const auto& job : queue_->jobs()) {
        if (isBusy(job->state) || job->state == kStateWaiting) queue_->cancel(job);
    }
    std::atomic<bool> ended{false};
    std::thread waiter([this, &ended] {
        queue_->waitForPasses();
        ended.store(true, std::memory_order_release);
    });
    while (!ended.load(std::memory_order_acquire)) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
    waiter.join();
    if (&platform::host() == host_) platform::setHost(nullptr);
}

}  // namespace quiramo::desktop
