// Reference run grid (centre): four steps, one axis chosen per step.

#include "control_factory.h"
#include "main_areas.h"

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

using namespace controls;

void BuildReferenceGridArea(QWidget* form, MainControls& ui) {
    ui.Picture1 = shape(form, "Picture1", {258, 214, 160, 130});
    ui.Picture1->setProperty("picture", true);
    ui.Label35 = label(form, "Label35", "Referenzfahren", {266, 218, 140, 16});

    const Qt::Alignment centred = Qt::AlignCenter;
    ui.Label15 = label(form, "Label15", "x", {294, 236, 20, 16}, {}, centred);
    ui.Label16 = label(form, "Label16", "y", {318, 236, 20, 16}, {}, centred);
    ui.Label21 = label(form, "Label21", "z", {342, 236, 20, 16}, {}, centred);
    ui.Label22 = label(form, "Label22", "c", {366, 236, 20, 16}, {}, centred);

    ui.Label23 = label(form, "Label23", "1", {268, 252, 20, 17}, {}, centred);
    QLabel** rowLabels[4] = {&ui.Label34, &ui.Label24, &ui.Label32, &ui.Label33};
    const char* rowNames[4] = {"Label34", "Label24", "Label32", "Label33"};
    const char* axisNames[4] = {"x", "y", "z", "c"};
    std::array<QRadioButton*, 4>* columns[4] = {&ui.Option2, &ui.Option3, &ui.Option4, &ui.Option5};
    for (int k = 0; k < 4; ++k) {
        const int top = 252 + 17 * k;
        *rowLabels[k] =
            label(form, rowNames[k], QString::number(k + 1), {268, top, 20, 17}, {}, centred);
        auto* row = new QWidget(form);
        row->setObjectName(QString("Frame2(%1)").arg(k));
        row->setGeometry(292, top, 100, 17);
        ui.Frame2[k] = row;
        ui.Frame2Group[k] = new QButtonGroup(row);
        for (int axis = 0; axis < 4; ++axis) {
            const QString name =
                QString("Option%1(%2)").arg(axis + 2).arg(k); // Option2(k) is x ... Option5(k) c
            QRadioButton* b = option(row, name, QString(), {4 + 24 * axis, 0, 18, 17},
                                     QString("Step %1 %2").arg(k + 1).arg(axisNames[axis]));
            (*columns[axis])[k] = b;
            ui.Frame2Group[k]->addButton(b, axis);
        }
    }
    ui.Label23->lower(); // lies under the first row's caption

    ui.Command3 = button(form, "Command3", "Ok", {296, 321, 70, 21}, {}, "Referenzfahren Ok");
}
