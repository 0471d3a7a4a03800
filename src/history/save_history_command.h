#pragma once
// "Save History..." / "Save History As...": ask for a path, remember it in
// strFileName, write the history there.

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

class HistoryModel;
class QWidget;

// Asks for the path to save to; no value when the operator cancelled.
using HistoryPathChooser = std::function<std::optional<QString>()>;

// The save dialog: proposes "Kelmora_history" in the current folder, titled
// "Save History As...", with the types "History File (*.his)" (preselected),
// "Text File (*.txt)" and "All Types (*.*)"; asks before overwriting and
// insists on an existing folder.
std::optional<QString> ChooseHistoryPathWithDialog(QWidget* parent);

// The dialog of "Record History to File...": the save dialog's, titled
// "Record History to File", with "Wireshark capture (*.pcapng)" added
// before "All Types (*.*)".
std::optional<QString> ChooseRecordingPathWithDialog(QWidget* parent);

class SaveHistoryCommand {
public:
    using Clock = std::function<QDateTime()>;

    SaveHistoryCommand(const HistoryModel& history, QString versionText, HistoryPathChooser chooser,
                       Clock clock = &QDateTime::currentDateTime);

    // Runs one save. Returns the text for the status bar: "History saved to
    // <path> (<n> lines)", "Could not save the history to <path>: <reason>",
    // or nothing when the dialog was cancelled (then nothing is written and
    // strFileName keeps its value).
    QString run();

    // The path chosen in the last save dialog that was not cancelled.
    const QString& strFileName() const { return strFileName_; }

private:
    const HistoryModel& history_;
    QString versionText_;
    HistoryPathChooser chooser_;
    Clock clock_;
    QString strFileName_;
};
