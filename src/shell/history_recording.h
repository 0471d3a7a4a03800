#pragma once
// File > "Record History to File...": the checkable menu entry, its dialog,
// the status bar's word on a running recording, and the recorder behind
// them. The entry is ticked exactly while a recording runs.

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

struct CapturedLine;
class HistoryModel;
class HistoryRecorder;
class QAction;
class QLabel;
class QStatusBar;

class HistoryRecording : public QObject {
    Q_OBJECT

public:
    using PathChooser = std::function<std::optional<QString>()>;
    // The port a capture started now is of: the open one, else the one the
    // next Open Port opens.
    using LineInUse = std::function<CapturedLine()>;

    // `entry` is the menu entry (made checkable here); `bar` gets a
    // permanent label naming the file while a recording runs.
    HistoryRecording(const HistoryModel& history, const QString& versionText, QAction* entry,
                     QStatusBar* bar, LineInUse lineInUse, QObject* parent);
    ~HistoryRecording() override;

    // The dialog's answer: a path, or nothing when cancelled.
    void setPathChooser(PathChooser chooser) { chooser_ = std::move(chooser); }

    // Starts recording into `path` (the --record option, or the dialog's
    // choice) and says so, or why not.
    void start(const QString& path);
    // Ends a running recording and says so, or that its file is incomplete
    // (a notice that stays until the next recording starts).
    void stop();
    // Ends a running recording, saying nothing (the window closes): empty
    // when its file is whole, else what the operator must be told.
    QString finish();

    HistoryRecorder& recorder() { return *recorder_; }
    // A recording of this session ended with its file lacking its end.
    bool leftIncompleteFile() const { return leftIncompleteFile_; }

signals:
    void statusText(const QString& text);

private:
    void entryTriggered(bool checked);
    void recorderFailed(const QString& reason);
    void showRunning(bool running);
    void showIncomplete(const QString& text);
    QString incompleteText(const QString& failure) const;

    HistoryRecorder* recorder_;
    QAction* entry_;
    QLabel* indicator_;
    PathChooser chooser_;
    LineInUse lineInUse_;
    bool leftIncompleteFile_ = false;
};
