#include "history_recording.h"

#include "history_recorder.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QStatusBar>

#include <cstdio>

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString entriesText(std::uint64_t entries, bool frames) {
    const QString one = frames ? QStringLiteral(" frame") : QStringLiteral(" line");
    return QString::number(entries) + one + (entries == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

HistoryRecording::HistoryRecording(const HistoryModel& history, const QString& versionText,
                                   QAction* entry, QStatusBar* bar, LineInUse lineInUse,
                                   QObject* parent)
    : QObject(parent), recorder_(new HistoryRecorder(history, versionText, this)), entry_(entry),
      indicator_(new QLabel(bar)), lineInUse_(std::move(lineInUse)) {
    entry_->setCheckable(true);
    indicator_->setObjectName("recordingIndicator");
    indicator_->hide();
    bar->addPermanentWidget(indicator_);
    connect(entry_, &QAction::triggered, this, &HistoryRecording::entryTriggered);
    connect(recorder_, &HistoryRecorder::failed, this, &HistoryRecording::recorderFailed);
}

HistoryRecording::~HistoryRecording() {
    // The menu entry and the status bar may be gone already.
    recorder_->stop();
}

void HistoryRecording::entryTriggered(bool checked) {
    if (!checked) {
        stop();
        return;
    }
    entry_->setChecked(false); // until a recording runs
    const std::optional<QString> path = chooser_ ? chooser_() : std::nullopt;
    if (path) {
        start(*path);
    }
}

void HistoryRecording::start(const QString& path) {
    const QString refusal = recorder_->start(path, QDateTime::currentDateTime(),
                                             IsCapturePath(path) ? lineInUse_() : CapturedLine{});
    showRunning(refusal.isEmpty());
    if (!refusal.isEmpty()) {
        emit statusText(
            QStringLiteral("Could not record the history to %1: %2").arg(shown(path), refusal));
        return;
    }
    emit statusText(QStringLiteral("Recording the history to %1").arg(shown(path)));
}

void HistoryRecording::stop() {
    if (!recorder_->isRecording()) {
        return;
    }
    const QString failure = recorder_->stop();
    if (!failure.isEmpty()) {
        showIncomplete(incompleteText(failure));
        return;
    }
    showRunning(false);
    // One arg() call: a "%2" in the path must stay as it is.
    emit statusText(QStringLiteral("Recording to %1 ended (%2)")
                        .arg(shown(recorder_->path()),
                             entriesText(recorder_->entriesWritten(), recorder_->isCapture())));
}

QString HistoryRecording::finish() {
    if (!recorder_->isRecording()) {
        return {};
    }
    const QString failure = recorder_->stop();
    showRunning(false);
    if (failure.isEmpty()) {
        return {};
    }
    leftIncompleteFile_ = true;
    return incompleteText(failure);
}

QString HistoryRecording::incompleteText(const QString& failure) const {
    return QStringLiteral("Recording to %1 ended, but the file is incomplete: its last lines "
                          "could not be written (%2)")
        .arg(shown(recorder_->path()), failure);
}

void HistoryRecording::recorderFailed(const QString& reason) {
    showIncomplete(
        QStringLiteral("Recording to %1 stopped: %2").arg(shown(recorder_->path()), reason));
}

void HistoryRecording::showRunning(bool running) {
    entry_->setChecked(running);
    indicator_->setStyleSheet(QString());
    indicator_->setVisible(running);
    indicator_->setText(running ? QStringLiteral("Recording to %1").arg(shown(recorder_->path()))
                                : QString());
}

void HistoryRecording::showIncomplete(const QString& text) {
    // Said in the status bar, and kept beside it until the next recording
    // starts: a later message must not hide that the file lacks its end.
    // Said on standard error too, for the log of whoever started the console.
    leftIncompleteFile_ = true;
    std::fprintf(stderr, "kelmora: %s\n", text.toLocal8Bit().constData());
    entry_->setChecked(false);
    indicator_->setText(text);
    indicator_->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0); font-weight: bold;"));
    indicator_->setVisible(true);
    emit statusText(text);
}
