// History area (bottom): the dataset list, the communication history and its
// buttons. The history stretches both ways, the dataset list sideways.

#include "control_factory.h"
#include "main_areas.h"

#include "history_view.h"

#include <QLabel>
#include <QListView>
#include <QPushButton>

using namespace controls;

void BuildHistoryArea(QWidget* form, MainControls& ui) {
    ui.Label2 = label(form, "Label2", "Communication History:", {8, 350, 200, 18}, "Left");
    ui.List2 = list(form, "List2", {8, 370, 680, 36}, "Left varWidth fixRight", "Current datasets");
    ui.List2->setProperty("datasets", true);
    // Two lines high, for the newest exchange: both lines stay in sight, a
    // line too long for the width ends in an ellipsis rather than a bar.
    ui.List2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.List2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The history can grow to millions of lines: a view whose rows cost the
    // same at any length.
    ui.List1 = new HistoryView(form);
    ui.List1->setObjectName("List1");
    ui.List1->setGeometry(8, 410, 680, 121);
    ui.List1->setProperty("Tag", QStringLiteral("100 Left varWidth varVertical fixRight"));
    ui.List1->setAccessibleName("Communication History");
    ui.List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ui.Com_ClrHis = button(form, "Com_ClrHis", "Clear History", {696, 410, 104, 26}, "Right");
    ui.Command_Save_His =
        button(form, "Command_Save_His", "Save History As...", {696, 442, 104, 26}, "Right");
}
