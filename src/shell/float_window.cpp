#include "float_window.h"

#include "follow_newest.h"
#include "history_model.h"
#include "history_view.h"

#include <QListView>

Float::Float(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint |
                         Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
    setObjectName("Float");
    setWindowTitle("Current Datasets");
    // The close box discards the window and its lines; the next use makes a
    // new, empty one.
    setAttribute(Qt::WA_DeleteOnClose);
    resize(554, 26);

    model_ = new HistoryModel(this);
    List1 = new HistoryView(this);
    List1->setObjectName("List1");
    List1->setAccessibleName("Current Datasets");
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One line high: a horizontal bar would cover the line it scrolls.
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List1->setModel(model_);
    FollowNewest::install(List1);
    List1->setGeometry(0, 0, 553, 26);
    List1->setProperty("Tag", QStringLiteral("varWidth varVertical Top Bottom Left Right"));
    List1->setFont(QFont("Arial", 9));
    List1->setStyleSheet("QListView { background: black; color: rgb(0, 255, 255); }");
    Form_Load();
}

void Float::Form_Load() {
    layout_.SetLayout(this);
    // The stay-on-top hint is part of the window flags set above; it holds
    // whenever the window is shown later.
}

void Float::Form_Resize() {
    layout_.RedrawLayout();
}

void Float::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}
