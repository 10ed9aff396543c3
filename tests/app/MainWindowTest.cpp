// The main window through its widgets: first start, popups, suffix fields, dropping files,
// the context menu, the clipboard export, row colours, and a conversion end to end.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/desktop/DropView.h"
#include "app/desktop/QueueTableModel.h"
#include "engine/record/Catalogue.h"
#include "tests/app/AppTestSupport.h"

namespace quiramo::desktop::test {
namespace {

namespace cat = catalogue;
using Sender = TableViewController::Sender;

uint64_t selectedTag(const QComboBox* popup) {
    return popup->currentData().toULongLong();
}

// The tags of the rows a popup shows.
std::vector<uint64_t> shownTags(QComboBox* popup) {
    auto* list = qobject_cast<QListView*>(popup->view());
    std::vector<uint64_t> tags;
    for (int row = 0; row < popup->count(); ++row) {
        const QVariant tag = popup->itemData(row);
        if (tag.isValid() && !list->isRowHidden(row)) tags.push_back(tag.toULongLong());
    }
    return tags;
}

std::vector<QString> shownHeadings(QComboBox* popup) {
    auto* list = qobject_cast<QListView*>(popup->view());
    std::vector<QString> headings;
    for (int row = 0; row < popup->count(); ++row) {
        if (!popup->itemData(row).isValid() && !popup->itemText(row).isEmpty() && !list->isRowHidden(row)) {
            headings.push_back(popup->itemText(row));
        }
    }
    return headings;
}

// What a user's choice in a popup does: select the row and send its action.
void choose(QComboBox* popup, uint64_t tag) {
    for (int row = 0; row < popup->count(); ++row) {
        const QVariant t = popup->itemData(row);
        if (t.isValid() && t.toULongLong() == tag) {
            popup->setCurrentIndex(row);
            emit popup->activated(row);
            return;
        }
    }
    ADD_FAILURE() << "no row with tag " << tag;
}

TEST_F(AppTest, FirstStartShowsHeadphonesNoneNoneUnchanged) {
    TableViewController& w = makeWindow();
    EXPECT_EQ(selectedTag(w.modePopup()), 64u);
    EXPECT_EQ(w.modePopup()->currentText(), "Headphones");
    EXPECT_EQ(selectedTag(w.filterTypePopup_1()), cat::kTypeNO);
    EXPECT_EQ(selectedTag(w.filterTypePopup_2()), cat::kTypeNO);
    EXPECT_EQ(selectedTag(w.outputFormatTypePopup()), 1u);
    // The "no mode" row is never offered; the fourteen modes are.
    EXPECT_EQ(shownTags(w.modePopup()).size(), 14u);
    EXPECT_EQ(shownTags(w.outputFormatTypePopup()), (std::vector<uint64_t>{1, 2, 4, 8, 16}));

    EXPECT_EQ(selectedTag(w.destinationFolderPopup()), 1u);
    EXPECT_FALSE(w.destinationFolderBrowse()->isEnabled());
    EXPECT_FALSE(w.destinationLabel()->isEnabled());
    EXPECT_EQ(w.destinationLabel()->text().toStdString(), settings::defaultMusicFolder());
    EXPECT_EQ(w.destinationFileSuffix_1_TextField()->text(), "-no");
    EXPECT_EQ(w.destinationFileSuffix_2_TextField()->text(), "-no");
    EXPECT_TRUE(w.dragDropPrompt()->isVisible());
    EXPECT_TRUE(
        w.dragDropPrompt()->text().endsWith("\nDrop the audio files you want to enhance into this table"));
    EXPECT_EQ(w.windowTitle(), "Quiramo");
    EXPECT_EQ(store_->value("Mode"), "1");  // replaced in the window, not in the store
    EXPECT_EQ(store_->value("FilterType_1"), "1");
}

TEST_F(AppTest, StartupRepairsStoredSelection) {
    store_->setValue("Mode", "65536");
    store_->setValue("OutputFormatType", "64");  // a split format without a multichannel type
    store_->setList("FilterTypeDefaults_2", {"1", "1", "1", "1", "1"});
    TableViewController& w = makeWindow();
    EXPECT_EQ(selectedTag(w.modePopup()), 64u);
    EXPECT_EQ(selectedTag(w.outputFormatTypePopup()), 1u);
    EXPECT_TRUE(logHas("<WARNING> WAV C+LFE is not supported with this enhancement. Changing to Unchanged"));
    EXPECT_EQ(store_->list("FilterTypeDefaults_2").size(), 22u);
}

TEST_F(AppTest, PopupsOfferOnlyAvailableTypes) {
    TableViewController& w = makeWindow(cat::kTypeNO | cat::kTypeHR);
    EXPECT_EQ(shownTags(w.filterTypePopup_1()), (std::vector<uint64_t>{cat::kTypeNO}));
    EXPECT_TRUE(shownHeadings(w.filterTypePopup_1()).empty());

    choose(w.modePopup(), 2048);
    EXPECT_EQ(shownTags(w.filterTypePopup_1()), (std::vector<uint64_t>{cat::kTypeNO, cat::kTypeHR}));
    EXPECT_EQ(shownHeadings(w.filterTypePopup_1()), (std::vector<QString>{"Hi-Res"}));
    choose(w.filterTypePopup_1(), cat::kTypeHR);
    EXPECT_EQ(store_->value("FilterType_1"), std::to_string(cat::kTypeHR));
    EXPECT_EQ(w.destinationFileSuffix_1_TextField()->text(), "-hr");
    EXPECT_EQ(shownTags(w.filterTypePopup_2()), (std::vector<uint64_t>{cat::kTypeNO}));
}

TEST_F(AppTest, OutputPopupOffersSplitFormatsWhileAnEnhancementIsMultichannel) {
    TableViewController& w = makeWindow(cat::kAllTypes);
    choose(w.modePopup(), 2);
    choose(w.filterTypePopup_1(), cat::kTypePA1);
    choose(w.filterTypePopup_2(), cat::kTypeCS40);
    EXPECT_EQ(shownTags(w.outputFormatTypePopup()).size(), 14u);
    EXPECT_EQ(shownHeadings(w.outputFormatTypePopup()),
              (std::vector<QString>{"File Types", "Channel Pairs", "Single Channels"}));
    choose(w.outputFormatTypePopup(), 64);
    EXPECT_EQ(w.destinationFileSuffix_2_TextField()->text(), "-cs40");

    choose(w.filterTypePopup_2(), cat::kTypeNO);
    EXPECT_EQ(selectedTag(w.outputFormatTypePopup()), 1u);
    EXPECT_EQ(shownTags(w.outputFormatTypePopup()), (std::vector<uint64_t>{1, 2, 4, 8, 16}));
    EXPECT_EQ(shownHeadings(w.outputFormatTypePopup()), (std::vector<QString>{"File Types"}));
}

TEST_F(AppTest, SuffixFieldsStoreEveryKeystrokeAndRefuseASlash) {
    {
        TableViewController& w = makeWindow();
        QLineEdit* first = w.destinationFileSuffix_1_TextField();
        first->setFocus();
        first->end(false);
        QTest::keyClicks(first, "x");
        EXPECT_EQ(store_->value("FileSuffixNO"), "-nox");
        // Both enhancements are None: the second field shows the same suffix.
        EXPECT_EQ(w.destinationFileSuffix_2_TextField()->text(), "-nox");
        QTest::keyClicks(first, "/");
        EXPECT_EQ(first->text(), "-nox");
        EXPECT_EQ(store_->value("FileSuffixNO"), "-nox");
        closeWindow();
    }
    TableViewController& again = makeWindow();
    EXPECT_EQ(again.destinationFileSuffix_1_TextField()->text(), "-nox");
}

TEST_F(AppTest, DroppedFilesAreQueuedInOrderAndOthersRefused) {
    TableViewController& w = makeWindow();
    QSignalSpy dropped(w.tableView(), &DropView::dropViewAddFileMsg);
    QSignalSpy beeps(&w, &TableViewController::beeped);
    const std::string a = writeWav("a.wav");
    const std::string b = writeWav("b.WAV");
    const std::string mp3 = dir_.file("song.mp3");

    ASSERT_TRUE(
        dropFiles({QString::fromStdString(a), QString::fromStdString(mp3), QString::fromStdString(b)}));
    ASSERT_EQ(dropped.count(), 3);
    EXPECT_EQ(dropped.at(0).at(0).toMap().value("filename").toString().toStdString(), a);
    EXPECT_EQ(dropped.at(1).at(0).toMap().value("filename").toString().toStdString(), mp3);
    EXPECT_EQ(dropped.at(2).at(0).toMap().value("filename").toString().toStdString(), b);
    EXPECT_TRUE(logHas("<Info> Number of files drag-and-dropped: 3"));
    EXPECT_TRUE(logHas("<WARNING> Cannot add '" + mp3 + "' to the table view"));
    EXPECT_EQ(beeps.count(), 1);
    ASSERT_EQ(w.queue().size(), 2u);
    EXPECT_EQ(w.model()->rowCount(), 2);
    EXPECT_EQ(w.model()->data(w.model()->index(1, 0), Qt::DisplayRole).toString(), "b");
    EXPECT_FALSE(w.dragDropPrompt()->isVisible());

    // A drag that carries no files, or cannot be copied, is refused.
    QMimeData text;
    text.setText("a.wav");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.tableView()->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_FALSE(dropFiles({QString::fromStdString(a)}, Qt::MoveAction));
    EXPECT_EQ(dropped.count(), 3);
}

TEST_F(AppTest, RowColoursFollowStateErrorsAndWarnings) {
    struct Case {
        int state, error, warning;
        uint64_t warning_1;
        RowColour colour;
    } cases[] = {
        {kStateAnalysed, 32, 0, 0, RowColour::red},    {kStateConverted, 8, 0, 0, RowColour::red},
        {kStateConverting, 0, 4, 6, RowColour::green}, {kStateConverted, 0, 0, 0, RowColour::green},
        {kStateConverted, 0, 0, 1, RowColour::green},  {kStateConverted, 0, 4, 1, RowColour::green},
        {kStateConverted, 0, 0, 3, RowColour::orange}, {kStateConverted, 0, 1, 0, RowColour::orange},
        {kStateAnalysed, 0, 0, 0, RowColour::normal},  {kStateWaiting, 0, 0, 0, RowColour::normal},
        {kStateAnalysed, 0, 32, 0, RowColour::orange}, {kStateQueued, 0, 0, 4, RowColour::orange},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "state " << c.state << " error " << c.error << " warning "
                                          << c.warning << " warning_1 " << c.warning_1);
        EXPECT_EQ(rowColour(c.state, c.error, c.warning, c.warning_1), c.colour);
    }

    // In the table: a file that cannot be opened ends red.
    TableViewController& w = makeWindow();
    w.queueFiles({QString::fromStdString(dir_.file("missing.wav"))});
    ASSERT_TRUE(waitForState(0, "Cannot open file. "));
    const QVariant brush = w.model()->data(w.model()->index(0, kStateColumn), Qt::ForegroundRole);
    EXPECT_EQ(brush.value<QBrush>().color(), colourValue(RowColour::red));
}

class ContextMenuTest : public AppTest {
  protected:
    // Four analysed rows, then set to the states of the case (no pass runs on them).
    TableViewController& windowWithRows(std::initializer_list<int> states) {
        TableViewController& w = makeWindow();
        QStringList paths;
        for (size_t i = 0; i < states.size(); ++i)
            paths << QString::fromStdString(writeWav("r" + std::to_string(i) + ".wav"));
        w.queueFiles(paths);
        for (size_t i = 0; i < states.size(); ++i) EXPECT_TRUE(waitForState(i, "Ready to convert. "));
        size_t i = 0;
        for (int state : states) w.queue().jobs()[i++]->state = state;
        w.refreshQueue();
        return w;
    }
    void select(TableViewController& w, std::initializer_list<int> rows) {
        w.tableView()->clearSelection();
        for (int row : rows) {
            w.tableView()->selectionModel()->select(w.model()->index(row, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    std::vector<std::pair<QString, bool>> items(TableViewController& w) {
        std::vector<std::pair<QString, bool>> out;
        for (auto bit :
             {TableViewController::kConvert, TableViewController::kShow, TableViewController::kPlay,
              TableViewController::kMetrics, TableViewController::kDelete, TableViewController::kCancel}) {
            out.emplace_back(w.contextItem(bit)->text(), w.contextItem(bit)->isEnabled());
        }
        return out;
    }
};

TEST_F(ContextMenuTest, TitlesAndStatesFollowTheTargetRows) {
    TableViewController& w =
        windowWithRows({kStateAnalysed, kStateConverted, kStateConverted, kStateConverting});
    const std::vector<std::pair<QString, bool>> none = {
        {"Convert File", false},        {"Show Converted File in File Manager", false},
        {"Play Converted File", false}, {"Copy Audio Metrics to Clipboard", false},
        {"Delete Row", false},          {"Cancel Conversion", false},
    };

    select(w, {0, 1, 2});
    w.menuNeedsUpdate(1);
    EXPECT_EQ(items(w), (std::vector<std::pair<QString, bool>>{
                            {"Convert File", true},
                            {"Show 2 Converted Files in File Manager", true},
                            {"Play 2 Converted Files", true},
                            {"Copy 3 Audio Metrics to Clipboard", true},
                            {"Delete 3 Rows", true},
                            {"Cancel Conversion", false},
                        }));
    EXPECT_EQ(w.contextMenu()->actions().at(0), w.contextItem(TableViewController::kConvert));
    EXPECT_EQ(w.contextMenu()->actions().at(6), w.contextItem(TableViewController::kDelete));

    // An unselected row clicked while others are selected: only that row.
    w.menuNeedsUpdate(3);
    auto converting = none;
    converting.back() = {"Cancel Conversion", true};
    EXPECT_EQ(items(w), converting);
    EXPECT_EQ(w.queue().jobs()[0]->contextAction, 0);

    w.menuNeedsUpdate(-1);
    EXPECT_EQ(items(w), none);

    select(w, {1, 2});
    w.menuNeedsUpdate(2);
    QSignalSpy beeps(&w, &TableViewController::beeped);
    w.contextItem(TableViewController::kDelete)->trigger();
    EXPECT_EQ(w.queue().size(), 2u);
    EXPECT_EQ(beeps.count(), 0);
}

TEST_F(ContextMenuTest, RemoveAllKeepsBusyRowsAndBeepsOnce) {
    TableViewController& w = windowWithRows({kStateAnalysed, kStateConverting, kStateFailed, kStateQueued});
    QSignalSpy beeps(&w, &TableViewController::beeped);
    w.removeAll();
    EXPECT_EQ(w.queue().size(), 2u);
    EXPECT_EQ(beeps.count(), 1);
    EXPECT_TRUE(logHas("<WARNING> Cannot remove row 3"));
    EXPECT_TRUE(logHas("<WARNING> Cannot remove row 1"));
    EXPECT_FALSE(w.dragDropPrompt()->isVisible());
    for (const auto& job : w.queue().jobs()) job->state = kStateFailed;
    w.removeAll();
    EXPECT_TRUE(w.dragDropPrompt()->isVisible());
    EXPECT_EQ(w.model()->rowCount(), 0);
}

TEST_F(ContextMenuTest, CopyMetricsExportsTheReportsOfTheChosenRows) {
    TableViewController& w = windowWithRows({kStateConverted, kStateFailed, kStateAnalysed, kStateConverted});
    const auto jobs = w.queue().jobs();
    jobs[0]->srcMetrics = {"Peak = -3.0 dB"};
    jobs[0]->midMetrics = {};
    jobs[0]->dstMetrics = {"Peak = -1.0 dB", "RMS = -20.0 dB"};
    jobs[0]->setText(Column::destinationName, "/out/r0-no.wav");
    jobs[2]->srcMetrics = {"Peak = -6.0 dB"};
    jobs[3]->srcMetrics = {"S"};
    jobs[3]->midMetrics = {"M"};
    jobs[3]->dstMetrics = {"D"};
    jobs[3]->setText(Column::destinationName, "/out/r3-no.wav");

    select(w, {0, 1, 2});
    w.copySelectedFilesMetrics(Sender::other);
    const QString expected =
        QStringLiteral(
            "==== SOURCE AUDIO FILE 1 ====\nFile Name = %1\nPeak = -3.0 dB\n\n"
            "==== CONVERTED AUDIO FILE 1 ====\nFile Name = /out/r0-no.wav\nPeak = -1.0 dB\n"
            "RMS = -20.0 dB\n\n"
            "==== SOURCE AUDIO FILE 2 ====\nFile Name = %2\nPeak = -6.0 dB\n")
            .arg(QString::fromStdString(jobs[0]->inputFile), QString::fromStdString(jobs[2]->inputFile));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);

    // From the context menu: the clicked row alone, with its mid-enhancement section.
    w.tableView()->clearSelection();
    w.menuNeedsUpdate(3);
    w.contextItem(TableViewController::kMetrics)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("==== SOURCE AUDIO FILE 1 ====\nFile Name = %1\nS\n\n"
                             "==== MID-ENHANCEMENT AUDIO FILE 1 ====\nM\n\n"
                             "==== CONVERTED AUDIO FILE 1 ====\nFile Name = /out/r3-no.wav\nD\n")
                  .arg(QString::fromStdString(jobs[3]->inputFile)));

    // Nothing to copy, nothing to play: a beep.
    QSignalSpy beeps(&w, &TableViewController::beeped);
    select(w, {1});
    w.copySelectedFilesMetrics(Sender::other);
    w.playSelectedFiles(Sender::other);
    EXPECT_EQ(beeps.count(), 2);
}

TEST_F(AppTest, DestinationNameDisplayFollowsThePreferences) {
    TableViewController& w = makeWindow();
    const std::string path = writeWav("Song.wav");
    w.queueFiles({QString::fromStdString(path)});
    ASSERT_TRUE(waitForState(0, "Ready to convert. "));
    w.settingsUpdate("SettingsUpdateDestinationTableText", {{"showFileExt", 1}, {"showFullPath", 0}});
    EXPECT_EQ(w.model()->data(w.model()->index(0, 0), Qt::DisplayRole).toString(), "Song.wav");
    EXPECT_EQ(store_->value("ShowFileExt"), "YES");
    w.settingsUpdate("SettingsUpdateDestinationTableText", {{"showFileExt", 0}, {"showFullPath", 1}});
    EXPECT_EQ(w.model()->data(w.model()->index(0, 0), Qt::DisplayRole).toString().toStdString(),
              path.substr(0, path.size() - 4));
}

// ---- End to end ---------------------------------------------------------------------------

TEST_F(AppTest, DroppedWavIsConvertedBesideItsSource) {
    TableViewController& w = makeWindow();
    const std::string source = writeWav("take.wav", 44100);
    ASSERT_TRUE(dropFiles({QString::fromStdString(source)}));
    ASSERT_TRUE(waitForState(0, "Ready to convert. ")) << stateText(0);

    QSignalSpy beeps(&w, &TableViewController::beeped);
    QTest::mouseClick(w.convertButton(), Qt::LeftButton);
    ASSERT_TRUE(waitForState(0, "Complete.")) << stateText(0);
    const std::string expected = dir_.file("take-no.wav");
    EXPECT_TRUE(std::filesystem::exists(expected));
    EXPECT_EQ(w.queue().jobs()[0]->rowTexts().destinationNameTableText, expected);
    EXPECT_EQ(w.model()->colour(0), RowColour::green);
    EXPECT_TRUE(
        waitFor([&] { return w.statusBar()->currentMessage() == "1 file converted, 0 failed."; }, 5000))
        << w.statusBar()->currentMessage().toStdString();

    // A second press finds nothing left to convert.
    QTest::mouseClick(w.convertButton(), Qt::LeftButton);
    EXPECT_EQ(beeps.count(), 1);
}

TEST_F(AppTest, EmptyDestinationFolderWritesToTheDesktop) {
    quiramo::test::TempDir desktop;
    qputenv("XDG_DESKTOP_DIR", QByteArray::fromStdString(desktop.path()));
    TableViewController& w = makeWindow();
    choose(w.destinationFolderPopup(), kDestinationChosenFolder);
    EXPECT_TRUE(w.destinationFolderBrowse()->isEnabled());
    w.destinationLabel()->selectAll();
    QTest::keyClick(w.destinationLabel(), Qt::Key_Delete);
    EXPECT_EQ(store_->value("DestinationFolder"), "");
    EXPECT_EQ(store_->value("DestinationFolderOption"), "2");

    w.queueFiles({QString::fromStdString(writeWav("desk.wav"))});
    ASSERT_TRUE(waitForState(0, "Ready to convert. ")) << stateText(0);
    w.processQueue(Sender::convertButton);
    ASSERT_TRUE(waitForState(0, "Complete.")) << stateText(0);
    EXPECT_TRUE(std::filesystem::exists(desktop.file("desk-no.wav")));
    qunsetenv("XDG_DESKTOP_DIR");
}

TEST_F(AppTest, CancelledConversionEndsCancelled) {
    TableViewController& w = makeWindow();
    w.queueFiles({QString::fromStdString(writeWav("long.wav"))});
    ASSERT_TRUE(waitForState(0, "Ready to convert. "));
    // Hold the conversions' turn so the row waits in the queue.
    PassLock& lock = w.queue().processAudioLock();
    lock.waitTurn(lock.take());
    w.processQueue(Sender::convertButton);
    ASSERT_TRUE(waitForState(0, "Queued"));
    w.menuNeedsUpdate(0);
    QAction* cancel = w.contextItem(TableViewController::kCancel);
    EXPECT_TRUE(cancel->isEnabled());
    cancel->trigger();
    lock.endTurn();
    ASSERT_TRUE(waitForState(0, "Cancelled. ")) << stateText(0);
    EXPECT_EQ(w.queue().jobs()[0]->state.load(), kStateFailed);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("long-no.wav")));
    EXPECT_TRUE(
        waitFor([&] { return w.statusBar()->currentMessage() == "0 files converted, 1 failed."; }, 5000))
        << w.statusBar()->currentMessage().toStdString();
}

// Answers the next modal question with `button` as soon as it shows.
void answerNextQuestion(QMessageBox::StandardButton button, QString* text) {
    QTimer::singleShot(0, [button, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return answerNextQuestion(button, text);
        *text = box->text();
        box->button(button)->click();
    });
}

TEST_F(AppTest, ClosingWhileConvertingAsksThenCancelsAndLeavesNoFile) {
    TableViewController& w = makeWindow();
    w.queueFiles({QString::fromStdString(writeWav("busy.wav", 441000))});
    ASSERT_TRUE(waitForState(0, "Ready to convert. "));
    PassLock& lock = w.queue().processAudioLock();
    lock.waitTurn(lock.take());  // the conversion waits for its turn until the test lets go
    w.processQueue(Sender::convertButton);
    ASSERT_TRUE(waitForState(0, "Queued"));

    QString question;
    answerNextQuestion(QMessageBox::No, &question);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(question.startsWith("Files are still being converted. Quit anyway?")) << question.toStdString();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(stateText(0).starts_with("Queued")) << stateText(0);

    // Quitting cancels the conversion and waits for its pass, which gets its turn meanwhile.
    answerNextQuestion(QMessageBox::Yes, &question);
    QTimer::singleShot(50, [&lock] { lock.endTurn(); });
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.queue().jobs()[0]->state.load(), kStateFailed);
    EXPECT_EQ(w.queue().jobs()[0]->rowTexts().stateTableText, "Cancelled. ");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"busy.wav"}) << "only the source may be left";
}

}  // namespace
}  // namespace quiramo::desktop::test
