#pragma once
// The queue table's data: one row per job record, one column per row text. The texts are
// copied from each record (AudioFile::rowTexts()) when the table is reloaded, so painting
// never races a pass that is writing them.

#include <QAbstractTableModel>
#include <QColor>
#include <vector>

#include "engine/Queue.h"

namespace quiramo::desktop {

enum class RowColour { normal, red, green, orange };

// The text colour of a row: red for an error, green while converting and when converted
// cleanly, orange when warnings or earlier conversions deserve a look.
RowColour rowColour(int state, int error, int warning, uint64_t warning_1);
QColor colourValue(RowColour colour);

class QueueTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit QueueTableModel(QObject* parent = nullptr);

    // Takes the queue's rows and their current texts. Rows keep their identity across
    // reloads (removed rows go, new rows are appended), so the selection survives.
    void reload(const std::vector<Queue::Job>& jobs);

    Queue::Job job(int row) const;
    RowColour colour(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    struct Row {
        Queue::Job job;
        RowTexts texts;
        RowColour colour = RowColour::normal;
        uint64_t warning_1 = 0;  // as last read while no pass was running on the record
    };
    void refreshRow(Row& row);

    std::vector<Row> rows_;
};

}  // namespace quiramo::desktop
