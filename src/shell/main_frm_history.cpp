// The history commands: clear, save, print and copy, and clearing List2.

#include "history_clipboard.h"
#include "history_model.h"
#include "history_printer.h"
#include "main_frm.h"
#include "save_history_command.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QListView>

void Main_frm::Com_ClrHis_Click() {
    history_->clear();
}

void Main_frm::List2_DblClick() {
    datasets_->clear();
}

void Main_frm::Speichern_Click() {
    const QString outcome = saveCommand_->run();
    if (!outcome.isEmpty()) {
        showStatus(outcome);
    }
}

void Main_frm::Print_Click() {
    showStatus(PrintHistoryWithDialog(*history_, versionText_, this));
}

void Main_frm::Copy_Click() {
    if (QItemSelectionModel* selection = ui.List1->selectionModel()) {
        CopySelectedLines(*selection, *QGuiApplication::clipboard());
    }
}
