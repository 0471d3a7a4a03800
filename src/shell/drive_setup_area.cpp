// Drive setup (left): the coordinate table, point count, end velocity, units,
// ramp bits and the two drive buttons.

#include "control_factory.h"
#include "main_areas.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

using namespace controls;

void BuildDriveSetupArea(QWidget* form, MainControls& ui) {
    ui.Shape2 = shape(form, "Shape2", {8, 8, 244, 336});
    ui.Label10 = label(form, "Label10", "Drive Setup:", {16, 12, 150, 16}, "Left");
    ui.Label7 = label(form, "Label7", "X / Z", {24, 32, 100, 16}, "Left");
    ui.Label8 = label(form, "Label8", "Y / C", {134, 32, 100, 16}, "Left");

    // Design-time contents; Form_Load replaces rows 1 to 4.
    const char* designX[6] = {"5000", "-5000", "-5000", "5000", "0", "0"};
    const char* designY[6] = {"5000", "5000", "-5000", "-5000", "0", "0"};
    for (int row = 0; row < 6; ++row) {
        const int top = 50 + 24 * row;
        const QString n = QString::number(row + 1);
        ui.x_z[row] = textBox(form, "x_z_" + n, designX[row], {24, top, 100, 20}, "X / Z " + n);
        ui.y_c[row] = textBox(form, "y_c_" + n, designY[row], {134, top, 100, 20}, "Y / C " + n);
    }

    ui.Label11 = label(form, "Label11", "Number of Coordinates:", {16, 198, 144, 20}, "Left");
    ui.num_coord = textBox(form, "num_coord", "4", {164, 198, 70, 20}, "Number of Coordinates");
    ui.Label9 = label(form, "Label9", "V - end (units/s):", {16, 222, 144, 20}, "Left");
    ui.v_end = textBox(form, "v_end", "0", {164, 222, 70, 20}, "V - end (units/s)");

    // The option buttons sit on the window inside the frame's outline.
    ui.Frame1 = frame(form, "Frame1", "Units:", {16, 246, 218, 42});
    ui.Option1[0] = option(form, "Option1(0)", "Steps", {28, 264, 80, 20});
    ui.Option1[1] = option(form, "Option1(1)", "mm", {120, 264, 80, 20});
    ui.Option1Group = new QButtonGroup(form);
    ui.Option1Group->setObjectName("Option1Group");
    ui.Option1Group->addButton(ui.Option1[0], 0);
    ui.Option1Group->addButton(ui.Option1[1], 1);
    ui.Option1[0]->setChecked(true);

    ui.Label36 = label(form, "Label36", "Rampe:", {16, 294, 50, 18});
    // Index 7 is the leftmost box, so the row reads as a number written most
    // significant bit first.
    for (int i = 7; i >= 0; --i) {
        const int left = 70 + 20 * (7 - i);
        ui.Check1[i] = check(form, QString("Check1(%1)").arg(i), QString(), {left, 294, 18, 18},
                             QString("Ramp bit %1").arg(i));
    }

    ui.com_move_xy = button(form, "com_move_xy", "Drive X / Y", {16, 316, 106, 24});
    ui.com_move_zc = button(form, "com_move_zc", "Drive Z / C", {128, 316, 106, 24});
}
