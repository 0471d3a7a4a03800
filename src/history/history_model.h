#pragma once
// One list of the console's communication lines, for a view: the history
// (List1 of the main window) and the two dataset lists use it alike. The
// lines are kept compact (HistoryRecords) and formatted only when a view
// asks for the visible rows, so a session of millions of lines stays small
// and a view with uniform item sizes stays fast.

#include <QAbstractListModel>
#include <string>
#include <string_view>

#include "history_records.h"

class HistoryModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit HistoryModel(QObject* parent = nullptr);

    void appendSentFrame(const CommandFrame& frame);
    void appendReceived(const ReceivedBlock& block, std::int32_t elapsedMs);
    // A line given as its characters; it ends at the first code-0 character.
    void appendText(std::string_view text);
    void clear();
    void removeLast();

    int count() const { return static_cast<int>(records_.count()); }
    // The line's real 8-bit characters, as they are saved.
    std::string lineAt(int row) const;
    std::size_t memoryBytes() const { return records_.memoryBytes(); }
    const HistoryRecords& records() const { return records_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // The line's meaning in words (the protocol core's decoding), made only
    // when asked for.
    QString decodedLine(int row) const;

    // DisplayRole: the line as drawn (see HistoryDisplayText); ToolTipRole
    // and AccessibleDescriptionRole: its meaning (decodedLine), so hovering
    // or a screen reader gets what the hex says.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    // Rows of a Qt model are int; beyond that the list no longer grows.
    bool beginAppend();

    HistoryRecords records_;
};
