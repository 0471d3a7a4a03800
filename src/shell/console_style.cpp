// The console's look: mid grey window, cyan captions, dark grey frames, the
// dataset list dark grey with cyan text, marked boxes when input is refused.

#include "main_frm.h"

#include <QFont>
#include <QListView>
#include <QPalette>
#include <QScrollBar>

void Main_frm::applyConsoleStyle() {
    QFont controlFont("MS Sans Serif");
    controlFont.setPointSizeF(8.25);
    controlFont.setStyleHint(QFont::SansSerif);
    form_->setFont(controlFont);

    form_->setStyleSheet(R"(
QWidget#form { background: rgb(128, 128, 128); }
QLabel { color: rgb(0, 255, 255); }
QLabel#Label4 { background: black; color: black; }
QRadioButton, QCheckBox { color: rgb(0, 255, 255); }
QGroupBox {
    background: rgb(64, 64, 64);
    color: rgb(0, 255, 255);
    border: 1px solid rgb(192, 192, 192);
    margin-top: 8px;
}
QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; color: rgb(0, 255, 255); }
QFrame[shape="true"] { border: 1px solid rgb(192, 192, 192); background: transparent; }
QFrame[picture="true"] { background: rgb(96, 96, 96); }
QProgressBar { border: 1px solid rgb(192, 192, 192); background: rgb(64, 64, 64); }
QProgressBar::chunk { background: rgb(0, 255, 255); }
QScrollBar { background: rgb(96, 96, 96); border: none; }
QScrollBar:vertical { width: 14px; }
QScrollBar:horizontal { height: 14px; }
QScrollBar::handle { background: rgb(176, 176, 176); border: 1px solid rgb(64, 64, 64); }
QScrollBar::handle:hover, QScrollBar::handle:pressed { background: rgb(208, 208, 208); }
QScrollBar::handle:vertical { min-height: 24px; }
QScrollBar::handle:horizontal { min-width: 24px; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QListView[datasets="true"] { color: rgb(0, 255, 255); }
QLineEdit[inputError="true"] { background: rgb(255, 210, 210); border: 2px solid red; }
)");
    // The lists are repainted for every picture while lines arrive, and so
    // is the history's bar. A widget painted whole is repainted on its own;
    // one that lets its parent show through is repainted from the window
    // down, through every control of the form. A background from the style
    // sheet lets the parent show through, so the dataset list's comes from
    // its palette; the sheet paints the bars' whole background.
    QPalette datasets = ui.List2->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window, QPalette::Button}) {
        datasets.setColor(role, QColor(64, 64, 64)); // as a sheet's background sets them
    }
    ui.List2->setPalette(datasets);
    for (QListView* list : {ui.List1, ui.List2}) {
        list->verticalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent);
        list->horizontalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent);
    }

    QFont historyFont("Monospace", 9);
    historyFont.setStyleHint(QFont::TypeWriter);
    ui.List1->setFont(historyFont);
}
