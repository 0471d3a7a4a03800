#pragma once
// Edit > Copy on a history list: the selected lines, as shown, one per line
// in list order.

#include <QString>

class QClipboard;
class QItemSelectionModel;

// The selected rows' display texts joined by "\n", in row order whatever the
// order of selecting; empty when nothing is selected.
QString SelectedLinesText(const QItemSelectionModel& selection);

// Puts SelectedLinesText on the clipboard. With nothing selected the
// clipboard is left as it was and false is returned.
bool CopySelectedLines(const QItemSelectionModel& selection, QClipboard& clipboard);
