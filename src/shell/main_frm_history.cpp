// The history commands: clear, save, print and copy, and clearing List2.

#include "history_clipboard.h"
#include "history_model.h"
#include "history_printer.h"
#include "main_frm.h"
#include "position_plot_window.h"
#include "save_history_command.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QListView>
#include <QStatusBar>

void Main_frm::Com_ClrHis_Click() {
    logReceivedBlocks();
    history_->clear();
}

void Main_frm::List2_DblClick() {
    logReceivedBlocks();
    datasets_->clear();
}

void Main_frm::Speichern_Click() {
    logReceivedBlocks();
    const QString outcome = saveCommand_->run();
    if (!outcome.isEmpty()) {
        showStatus(outcome);
    }
}

void Main_frm::Print_Click() {
    logReceivedBlocks();
    showStatus(PrintHistoryWithDialog(*history_, versionText_, this));
}

void Main_frm::Copy_Click() {
    logReceivedBlocks();
    if (QItemSelectionModel* selection = ui.List1->selectionModel()) {
        CopySelectedLines(*selection, *QGuiApplication::clipboard());
    }
}

void Main_frm::showSelectedLineMeaning() {
    QItemSelectionModel* selection = ui.List1->selectionModel();
    const QModelIndex current = selection ? selection->currentIndex() : QModelIndex();
    if (current.isValid() && selection->isSelected(current)) {
        showStatus(history_->decodedLine(current.row()));
        meaningShown_ = statusBar()->currentMessage();
        return;
    }
    forgetLineMeaning();
}

void Main_frm::forgetLineMeaning() {
    // Once the line is no longer selected its meaning goes, unless something
    // else has been said meanwhile.
    if (!meaningShown_.isEmpty() && statusBar()->currentMessage() == meaningShown_) {
        statusBar()->clearMessage();
    }
    meaningShown_.clear();
}

void Main_frm::PositionPlot_Click() {
    if (!positionPlot_) {
        positionPlot_ = new PositionPlotWindow(*history_, this);
    }
    positionPlot_->show();
    positionPlot_->raise();
    positionPlot_->activateWindow();
}
