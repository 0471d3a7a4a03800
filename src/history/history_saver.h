#pragma once
// Writing a history file to disk. The chosen file is replaced only by a
// complete new one (QSaveFile), so a failed save leaves an existing file
// exactly as it was. In a folder that takes no new files, an existing file
// that may be written is overwritten in place instead.

#include <QDateTime>
#include <QString>

class HistoryRecords;

struct HistorySaveResult {
    bool ok = false;
    QString reason; // why it failed; empty on success
};

// Short date, a blank and short time in the system's formats: the text after
// "Created on " in a file's header.
QString HistoryCreatedOnText(const QDateTime& when);

// Why a history may not be written to `path`, or nothing: no name, or a
// path that exists but is not a regular file (see SaveHistory).
QString HistoryPathRefusal(const QString& path);

// Refuses a path that exists but is not a regular file (a directory, a
// device, a fifo, a socket) without touching it: replacing it would put a
// plain file where one of those was. A symlink to a regular file is written
// through: its target is replaced and the link stays.
HistorySaveResult SaveHistory(const HistoryRecords& history, const QString& path,
                              const QString& versionText, const QDateTime& now);
