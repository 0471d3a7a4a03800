// The command frames: mode change, auxiliary signals and zero point.

#include "control_factory.h"
#include "main_areas.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace controls;

void BuildCommandFramesArea(QWidget* form, MainControls& ui) {
    ui.Moduswechsel = frame(form, "Moduswechsel", "Moduswechsel", {426, 214, 164, 130});
    ui.to_mode_1 = option(ui.Moduswechsel, "to_mode_1", " -- > 1", {10, 24, 100, 20});
    ui.to_mode_2 = option(ui.Moduswechsel, "to_mode_2", " -- > 2", {10, 48, 100, 20});
    auto* modeGroup = new QButtonGroup(ui.Moduswechsel);
    modeGroup->addButton(ui.to_mode_1, 1);
    modeGroup->addButton(ui.to_mode_2, 2);
    ui.to_mode_1->setChecked(true);
    ui.Modechange =
        button(ui.Moduswechsel, "Modechange", "Ok", {10, 80, 70, 24}, {}, "Moduswechsel Ok");

    ui.Frame3 = frame(form, "Frame3", "Zusatzsignale", {596, 126, 204, 80});
    ui.spindel_check = check(ui.Frame3, "spindel_check", "Spindel", {8, 28, 70, 20});
    ui.cool_check = check(ui.Frame3, "cool_check", "Kühlung", {80, 28, 72, 20});
    ui.Zusatzsignale_schalten = button(ui.Frame3, "Zusatzsignale_schalten", "Ok", {154, 26, 44, 24},
                                       {}, "Zusatzsignale Ok");

    ui.Frame4 = frame(form, "Frame4", "Nullpunkt setzen", {596, 214, 204, 130});
    ui.null_step_option = option(ui.Frame4, "null_step_option", "Steps", {8, 24, 64, 20});
    ui.Null_mm_option = option(ui.Frame4, "Null_mm_option", "mm", {8, 48, 64, 20});
    auto* unitGroup = new QButtonGroup(ui.Frame4);
    unitGroup->addButton(ui.null_step_option, 0);
    unitGroup->addButton(ui.Null_mm_option, 1);
    ui.Label37 = label(ui.Frame4, "Label37", "x: ", {72, 24, 16, 20});
    ui.Null_x = textBox(ui.Frame4, "Null_x", "0", {88, 24, 44, 20}, "Zero x");
    ui.Label38 = label(ui.Frame4, "Label38", "y: ", {138, 24, 16, 20});
    ui.Null_y = textBox(ui.Frame4, "Null_y", "0", {154, 24, 44, 20}, "Zero y");
    ui.Label39 = label(ui.Frame4, "Label39", "z: ", {72, 50, 16, 20});
    ui.Null_z = textBox(ui.Frame4, "Null_z", "0", {88, 50, 44, 20}, "Zero z");
    ui.Label40 = label(ui.Frame4, "Label40", "c:", {138, 50, 16, 20});
    ui.Null_c = textBox(ui.Frame4, "Null_c", "0", {154, 50, 44, 20}, "Zero c");
    ui.Nullpunkt_setzen =
        button(ui.Frame4, "Nullpunkt_setzen", "Ok", {8, 80, 64, 24}, {}, "Nullpunkt setzen Ok");
}
