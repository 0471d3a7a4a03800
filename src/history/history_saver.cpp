#include "history_saver.h"

#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include "file_sync.h"
#include "history_file_writer.h"
#include "history_records.h"

QString HistoryCreatedOnText(const QDateTime& when) {
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), QLocale::ShortFormat);
}

QString HistoryPathRefusal(const QString& path) {
    if (path.isEmpty()) {
        return QStringLiteral("no file name was given");
    }
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile()) {
        return existing.isDir() ? QStringLiteral("it is a folder")
                                : QStringLiteral("it is not a regular file");
    }
    return {};
}

HistorySaveResult SaveHistory(const HistoryRecords& history, const QString& path,
                              const QString& versionText, const QDateTime& now) {
    if (const QString refusal = HistoryPathRefusal(path); !refusal.isEmpty()) {
        return {false, refusal};
    }

    QSaveFile file(path);
    // Where the folder takes no new file but the file itself may be written,
    // write it in place: a plain overwrite works there, and refusing it
    // would lose the save. All-or-nothing holds wherever the folder allows.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        return {false, file.errorString()};
    }
    const HistoryFileHeader header{HistoryFileKindOf(path.toStdString()), versionText.toStdString(),
                                   HistoryCreatedOnText(now).toLocal8Bit().toStdString()};
    const bool written = WriteHistoryFile(
        header, history.count(),
        [&history](std::size_t row, std::string& out) { history.appendLineTo(row, out); },
        [&file](const char* data, std::size_t size) {
            return file.write(data, static_cast<qint64>(size)) == static_cast<qint64>(size);
        });
    if (!written) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return {false, reason};
    }
    // commit() syncs before it replaces the old file but does not say when
    // the sync fails: the bytes are synced here first, so a save is only
    // reported once they are on the disk.
    if (!file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return {false, reason};
    }
    if (const std::string failure = SyncFileData(static_cast<int>(file.handle()));
        !failure.empty()) {
        file.cancelWriting();
        return {false, QString::fromLocal8Bit(failure.c_str())};
    }
    if (!file.commit()) {
        return {false, file.errorString()};
    }
    // The replace is a rename in the file's folder (its target's, for a
    // link): until that folder is synced, a power cut may undo it.
    const QString replaced = QFileInfo(path).canonicalFilePath();
    if (const std::string failure = SyncFolderOf(QFile::encodeName(replaced).toStdString());
        !failure.empty()) {
        return {false, QStringLiteral("the file was written, but its folder could not be synced "
                                      "(%1): after a power cut the old file may be back")
                           .arg(QString::fromLocal8Bit(failure.c_str()))};
    }
    return {true, {}};
}
