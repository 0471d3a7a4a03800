#include "save_history_command.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "history_model.h"
#include "history_saver.h"

namespace {

std::optional<QString> ChoosePathWithDialog(QWidget* parent, const QString& title,
                                            const QStringList& extraTypes) {
    const QString historyFilter = QStringLiteral("History File (*.his)");
    QFileDialog dialog(parent, title, QDir::homePath(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(QStringList{historyFilter, QStringLiteral("Text File (*.txt)")}
                          << extraTypes << QStringLiteral("All Types (*.*)"));
    dialog.selectNameFilter(historyFilter);
    dialog.selectFile(QStringLiteral("Kelmora_history"));
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty()) {
            continue;
        }
        // The dialog itself lets a typed name point into a folder that does
        // not exist; the save would only fail later.
        const QString folder = QFileInfo(chosen.first()).absolutePath();
        if (QFileInfo(folder).isDir()) {
            return chosen.first();
        }
        QMessageBox::warning(
            &dialog, dialog.windowTitle(),
            QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder)));
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> ChooseHistoryPathWithDialog(QWidget* parent) {
    return ChoosePathWithDialog(parent, QStringLiteral("Save History As..."), {});
}

std::optional<QString> ChooseRecordingPathWithDialog(QWidget* parent) {
    return ChoosePathWithDialog(parent, QStringLiteral("Record History to File"),
                                {QStringLiteral("Wireshark capture (*.pcapng)")});
}

SaveHistoryCommand::SaveHistoryCommand(const HistoryModel& history, QString versionText,
                                       HistoryPathChooser chooser, Clock clock)
    : history_(history), versionText_(std::move(versionText)), chooser_(std::move(chooser)),
      clock_(std::move(clock)) {}

QString SaveHistoryCommand::run() {
    const std::optional<QString> path = chooser_();
    if (!path) {
        return {};
    }
    strFileName_ = *path;
    const HistorySaveResult result =
        SaveHistory(history_.records(), strFileName_, versionText_, clock_());
    const QString shownPath = QDir::toNativeSeparators(strFileName_);
    if (!result.ok) {
        return QStringLiteral("Could not save the history to %1: %2").arg(shownPath, result.reason);
    }
    const int lines = history_.count();
    // One arg() call: a "%2" in the path must stay as it is.
    return QStringLiteral("History saved to %1 (%2 %3)")
        .arg(shownPath, QString::number(lines),
             lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
}
