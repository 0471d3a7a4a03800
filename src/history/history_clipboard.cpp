#include "history_clipboard.h"

#include <QClipboard>
#include <QItemSelectionModel>
#include <algorithm>
#include <vector>

QString SelectedLinesText(const QItemSelectionModel& selection) {
    std::vector<int> rows;
    for (const QModelIndex& index : selection.selectedIndexes()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const QAbstractItemModel* model = selection.model();
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(rows.size()));
    for (int row : rows) {
        lines.append(model->index(row, 0).data(Qt::DisplayRole).toString());
    }
    return lines.join(QLatin1Char('\n'));
}

bool CopySelectedLines(const QItemSelectionModel& selection, QClipboard& clipboard) {
    if (!selection.hasSelection()) {
        return false;
    }
    clipboard.setText(SelectedLinesText(selection));
    return true;
}
