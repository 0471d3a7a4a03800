// Port strip (top right): the port text, the port lamp and the port buttons.
// All of it follows the window's right edge.

#include "control_factory.h"
#include "lamp.h"
#include "main_areas.h"

#include <QLabel>
#include <QPushButton>

using namespace controls;

void BuildPortStripArea(QWidget* form, MainControls& ui) {
    ui.Label_Com = label(form, "Label_Com", "Com", {560, 10, 204, 16}, "Top Right",
                         Qt::AlignRight | Qt::AlignVCenter);
    ui.Label_Com->setAccessibleName("Com port settings");
    ui.Label4 = label(form, "Label4", "Label4", {770, 6, 30, 20}, "Top Right fixedRight");
    ui.Label4->setAccessibleName("Port lamp border");
    ui.Label3 = lamp(form, "Label3", {773, 9, 24, 14}, "Port", "Top Right fixedRight");
    ui.Label3->setColourValue(255); // red: closed

    ui.Command1 = button(form, "Command1", "Open Port", {696, 32, 104, 26}, "Right");
    ui.Command1->setDefault(true);
    ui.Command2 = button(form, "Command2", "Close Port", {696, 62, 104, 26}, "Right");
    ui.Command2->setEnabled(false);
    ui.Com_Com_Set = button(form, "Com_Com_Set", "Com Settings...", {696, 92, 104, 26}, "Right");
}
