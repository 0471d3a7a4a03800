#pragma once
// One list of the console's communication lines, for a view: the history
// (List1 of the main window) and the two dataset lists use it alike. The
// lines are kept compact (HistoryRecords) and formatted only when a view
// asks for the visible rows, so a session of millions of lines stays small
// and a view with uniform item sizes stays fast.
//
// A line is recorded the moment it is appended (count(), lineAt() and a
// save see it at once). Views normally hear of it at once too; with
// setAnnounceLater(true) they hear of the lines appended only when
// announceWaiting() is called, all together: lines arriving hundreds of
// times a second then cost the views one insertion per screen refresh
// instead of one per line. A clear, and the taking back of a line they
// know of, they hear of at once, so a view never offers a row the record
// does not hold.

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

    void setAnnounceLater(bool later);
    // Tells the views of every line appended since the last call.
    void announceWaiting();
    bool hasWaiting() const { return waiting_; }

    // Lines recorded, announced to the views or not.
    int count() const { return static_cast<int>(records_.count()); }
    // The line's real 8-bit characters, as they are saved.
    std::string lineAt(int row) const;
    std::size_t memoryBytes() const { return records_.memoryBytes(); }
    const HistoryRecords& records() const { return records_; }

    // Rows the views know of.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // The line's meaning in words (the protocol core's decoding), made only
    // when asked for; empty for a row the record does not hold.
    QString decodedLine(int row) const;

    // DisplayRole: the line as drawn (see HistoryDisplayText); ToolTipRole
    // and AccessibleDescriptionRole: its meaning (decodedLine), so hovering
    // or a screen reader gets what the hex says.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

signals:
    // Lines wait to be announced; once until announceWaiting().
    void waitingForAnnouncement();
    // The lines are being cleared (the views hear of it at once too).
    void cleared();
    // A line was recorded as row count() - 1: sent at once, whenever the
    // views hear of it, for listeners that keep every line (a recording).
    void lineAppended();
    // The newest line was taken back (its frame never reached the port).
    void lastLineRemoved();

private:
    // Rows of a Qt model are int; beyond that the list no longer grows.
    bool beginAppend();
    void endAppend();
    void noteWaiting();

    HistoryRecords records_;
    bool announceLater_ = false;
    bool waiting_ = false;
    int shownRows_ = 0; // the rows the views know of
};
