#include "history_model.h"

#include <limits>

#include "history_display_text.h"
#include "history_entry.h"

HistoryModel::HistoryModel(QObject* parent) : QAbstractListModel(parent) {}

bool HistoryModel::beginAppend() {
    if (records_.count() >= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    if (!announceLater_) {
        beginInsertRows(QModelIndex(), count(), count());
    }
    return true;
}

void HistoryModel::endAppend() {
    if (announceLater_) {
        noteWaiting();
    } else {
        shownRows_ = count();
        endInsertRows();
    }
    emit lineAppended();
}

void HistoryModel::noteWaiting() {
    if (!waiting_) {
        waiting_ = true;
        emit waitingForAnnouncement();
    }
}

void HistoryModel::setAnnounceLater(bool later) {
    if (!later) {
        announceWaiting();
    }
    announceLater_ = later;
}

void HistoryModel::announceWaiting() {
    waiting_ = false;
    if (count() > shownRows_) {
        beginInsertRows(QModelIndex(), shownRows_, count() - 1);
        shownRows_ = count();
        endInsertRows();
    }
}

void HistoryModel::appendSentFrame(const CommandFrame& frame) {
    if (beginAppend()) {
        records_.appendSentFrame(frame);
        endAppend();
    }
}

void HistoryModel::appendReceived(const ReceivedBlock& block, std::int32_t elapsedMs) {
    if (beginAppend()) {
        records_.appendReceived(block, elapsedMs);
        endAppend();
    }
}

void HistoryModel::appendText(std::string_view text) {
    if (beginAppend()) {
        records_.appendText(text);
        endAppend();
    }
}

void HistoryModel::clear() {
    emit cleared();
    // The views hear of a clear at once, even while appends wait for the
    // screen: a view that kept rows the record no longer has would offer
    // the operator lines that are gone (a selection, its meaning, a copy),
    // or other lines under their rows. Views then never know of more rows
    // than the record holds.
    beginResetModel();
    records_.clear();
    shownRows_ = 0;
    endResetModel();
}

void HistoryModel::removeLast() {
    if (count() == 0) {
        return;
    }
    const int last = count() - 1;
    if (last >= shownRows_) {
        records_.removeLast(); // the views never heard of it
    } else {
        beginRemoveRows(QModelIndex(), last, last);
        records_.removeLast();
        shownRows_ = count();
        endRemoveRows();
    }
    emit lastLineRemoved();
}

std::string HistoryModel::lineAt(int row) const {
    return records_.lineAt(static_cast<std::size_t>(row));
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    const bool decoded = role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole;
    if ((role != Qt::DisplayRole && !decoded) ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        index.row() >= count()) {
        return {};
    }
    if (decoded) {
        return decodedLine(index.row());
    }
    return HistoryDisplayText(lineAt(index.row()));
}

QString HistoryModel::decodedLine(int row) const {
    if (row < 0 || row >= count()) {
        return {}; // a row a view still offers after the record changed
    }
    return QString::fromStdString(DescribeHistoryLine(lineAt(row)));
}
