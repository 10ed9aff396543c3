#include "app/desktop/QueueTableModel.h"

#include <QBrush>
#include <unordered_set>

namespace quiramo::desktop {

namespace {

struct ColumnInfo {
    Column column;
    const char* title;
    Qt::Alignment alignment;
};

// The state first after the name: it is what a user watches.
constexpr ColumnInfo kColumns[kColumnCount] = {
    {Column::sourceName, "Source", Qt::AlignLeft | Qt::AlignVCenter},
    {Column::state, "State", Qt::AlignLeft | Qt::AlignVCenter},
    {Column::progress, "Progress", Qt::AlignRight | Qt::AlignVCenter},
    {Column::fileType, "Type", Qt::AlignLeft | Qt::AlignVCenter},
    {Column::duration, "Duration", Qt::AlignRight | Qt::AlignVCenter},
    {Column::frameRate, "Rate", Qt::AlignRight | Qt::AlignVCenter},
    {Column::channels, "Channels", Qt::AlignRight | Qt::AlignVCenter},
    {Column::sampleSizeBits, "Bits", Qt::AlignRight | Qt::AlignVCenter},
    {Column::filter, "Enhancement", Qt::AlignLeft | Qt::AlignVCenter},
    {Column::destinationName, "Destination", Qt::AlignLeft | Qt::AlignVCenter},
};

bool passMayRun(int state) {
    return state != kStateAnalysed && state != kStateConverted && state != kStateFailed;
}

}  // namespace

RowColour rowColour(int state, int error, int warning, uint64_t warning_1) {
    if (error != 0) return RowColour::red;
    if (state == kStateConverting) return RowColour::green;
    if ((warning == 0 && warning_1 == 0) || warning_1 == 1) {
        return state == kStateConverted ? RowColour::green : RowColour::normal;
    }
    return RowColour::orange;
}

QColor colourValue(RowColour colour) {
    // Dark enough to read on a light table and light enough on a dark one.
    switch (colour) {
        case RowColour::red:
            return QColor(0xd0, 0x1b, 0x24);
        case RowColour::green:
            return QColor(0x1f, 0x9d, 0x55);
        case RowColour::orange:
            return QColor(0xe0, 0x6c, 0x00);
        case RowColour::normal:
            break;
    }
    return QColor();
}

QueueTableModel::QueueTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void QueueTableModel::refreshRow(Row& row) {
    const AudioFile& job = *row.job;
    const int state = job.state.load();
    // warning_1 belongs to the pass while one may be running on the record; between passes
    // (states 4, 8, 9, entered only as a pass's last step or by the main thread) it is still.
    if (!passMayRun(state)) row.warning_1 = job.warning_1;
    row.texts = job.rowTexts();
    row.colour = rowColour(state, job.error.load(), job.warning.load(), row.warning_1);
}

void QueueTableModel::reload(const std::vector<Queue::Job>& jobs) {
    const std::unordered_set<const AudioFile*> present = [&] {
        std::unordered_set<const AudioFile*> s;
        for (const auto& j : jobs) s.insert(j.get());
        return s;
    }();
    for (size_t i = rows_.size(); i-- > 0;) {
        if (present.count(rows_[i].job.get())) continue;
        const int r = static_cast<int>(i);
        beginRemoveRows(QModelIndex(), r, r);
        rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(i));
        endRemoveRows();
    }
    // Rows are only ever appended, so what stays is a prefix of the queue.
    bool prefix = rows_.size() <= jobs.size();
    for (size_t i = 0; prefix && i < rows_.size(); ++i) prefix = rows_[i].job == jobs[i];
    if (!prefix) {
        beginResetModel();
        rows_.clear();
        endResetModel();
    }
    if (jobs.size() > rows_.size()) {
        beginInsertRows(QModelIndex(), static_cast<int>(rows_.size()), static_cast<int>(jobs.size()) - 1);
        for (size_t i = rows_.size(); i < jobs.size(); ++i)
            rows_.push_back(Row{jobs[i], {}, RowColour::normal, 0});
        endInsertRows();
    }
    for (auto& row : rows_) refreshRow(row);
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, kColumnCount - 1));
}

Queue::Job QueueTableModel::job(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)].job : nullptr;
}

RowColour QueueTableModel::colour(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)].colour
                                                            : RowColour::normal;
}

int QueueTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int QueueTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant QueueTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()) || index.column() >= kColumnCount) {
        return {};
    }
    const Row& row = rows_[static_cast<size_t>(index.row())];
    const ColumnInfo& c = kColumns[index.column()];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return QString::fromStdString(row.texts.get(c.column));
        case Qt::ForegroundRole:
            if (row.colour == RowColour::normal) return {};
            return QBrush(colourValue(row.colour));
        case Qt::TextAlignmentRole:
            return static_cast<int>(c.alignment);
        default:
            return {};
    }
}

QVariant QueueTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kColumns[section].title);
    // The identifier a column is bound to: the name of the record's text it shows.
    if (role == Qt::UserRole) return QString::fromLatin1(columnIdentifier(kColumns[section].column));
    return {};
}

}  // namespace quiramo::desktop
