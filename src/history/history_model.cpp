#include "history_model.h"

#include <limits>

#include "history_display_text.h"
#include "history_entry.h"

HistoryModel::HistoryModel(QObject* parent) : QAbstractListModel(parent) {}

bool HistoryModel::beginAppend() {
    if (records_.count() >= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    beginInsertRows(QModelIndex(), count(), count());
    return true;
}

void HistoryModel::appendSentFrame(const CommandFrame& frame) {
    if (beginAppend()) {
        records_.appendSentFrame(frame);
        endInsertRows();
    }
}

void HistoryModel::appendReceived(const ReceivedBlock& block, std::int32_t elapsedMs) {
    if (beginAppend()) {
        records_.appendReceived(block, elapsedMs);
        endInsertRows();
    }
}

void HistoryModel::appendText(std::string_view text) {
    if (beginAppend()) {
        records_.appendText(text);
        endInsertRows();
    }
}

void HistoryModel::clear() {
    beginResetModel();
    records_.clear();
    endResetModel();
}

void HistoryModel::removeLast() {
    if (count() == 0) {
        return;
    }
    beginRemoveRows(QModelIndex(), count() - 1, count() - 1);
    records_.removeLast();
    endRemoveRows();
}

std::string HistoryModel::lineAt(int row) const {
    return records_.lineAt(static_cast<std::size_t>(row));
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    const bool decoded = role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole;
    if ((role != Qt::DisplayRole && !decoded) ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    if (decoded) {
        return decodedLine(index.row());
    }
    return HistoryDisplayText(lineAt(index.row()));
}

QString HistoryModel::decodedLine(int row) const {
    return QString::fromStdString(DescribeHistoryLine(lineAt(row)));
}
