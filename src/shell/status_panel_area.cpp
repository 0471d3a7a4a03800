// Machine status panel (upper middle): positions, mode, error code, frame
// counter, the nine lamps, the buffer fill level and the status request.

#include "control_factory.h"
#include "fill_level_bar.h"
#include "lamp.h"
#include "main_areas.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

using namespace controls;

void BuildStatusPanelArea(QWidget* form, MainControls& ui) {
    ui.Shape1 = shape(form, "Shape1", {258, 8, 332, 200});
    ui.Label1 = label(form, "Label1", "Machine Status:", {266, 12, 150, 16}, "Left");

    struct ValueRow {
        QLabel** caption;
        const char* captionName;
        const char* captionText;
        QLabel** value;
        const char* valueName;
    };
    const ValueRow rows[] = {
        {&ui.Label5, "Label5", "Position x:", &ui.Label_posx, "Label_posx"},
        {&ui.Label6, "Label6", "Position y:", &ui.Label_posy, "Label_posy"},
        {&ui.Label12, "Label12", "Position z:", &ui.Label_posz, "Label_posz"},
        {&ui.Label29, "Label29", "Position c:", &ui.Label_posc, "Label_posc"},
        {&ui.Label14, "Label14", "Mode:", &ui.Label_mode, "Label_mode"},
        {&ui.Label30, "Label30", "Error Code:", &ui.Label_errcode, "Label_errcode"},
        {&ui.Label31, "Label31", "Frame Counter:", &ui.Label_framectr, "Label_framectr"},
    };
    int top = 34;
    for (const ValueRow& row : rows) {
        *row.caption = label(form, row.captionName, row.captionText, {266, top, 88, 18}, "Left");
        *row.value = label(form, row.valueName, "- - -", {356, top, 82, 18}, "Left");
        (*row.value)->setAccessibleName(QString(row.captionText).chopped(1));
        top += 20;
    }

    ui.Line[0] = line(form, "Line1", {440, 30, 1, 140});
    ui.Line[1] = line(form, "Line2", {525, 30, 1, 100});
    ui.Line[2] = line(form, "Line3", {440, 130, 148, 1});
    ui.Line[3] = line(form, "Line4", {262, 174, 324, 1});

    struct LampRow {
        QLabel** caption;
        const char* captionName;
        const char* captionText;
        Lamp** lampWidget;
        const char* lampName;
    };
    const LampRow switchLamps[] = {
        {&ui.Label25, "Label25", "Emergency", &ui.Label_emergency, "Label_emergency"},
        {&ui.Label26, "Label26", "End X", &ui.Label_endx, "Label_endx"},
        {&ui.Label27, "Label27", "End Y", &ui.Label_endy, "Label_endy"},
        {&ui.Label28, "Label28", "End Z", &ui.Label_endz, "Label_endz"},
        {&ui.Label13, "Label13", "End C", &ui.Label_endc, "Label_endc"},
    };
    top = 34;
    for (const LampRow& row : switchLamps) {
        *row.lampWidget = lamp(form, row.lampName, {444, top + 2, 12, 12}, row.captionText);
        *row.caption = label(form, row.captionName, row.captionText, {459, top, 64, 16}, "Left");
        top += 19;
    }
    const LampRow signalLamps[] = {
        {&ui.Label17, "Label17", "Boost", &ui.Label_boost, "Label_boost"},
        {&ui.Label18, "Label18", "Sleep", &ui.Label_sleep, "Label_sleep"},
        {&ui.Label19, "Label19", "Cooling", &ui.Label_cool, "Label_cool"},
        {&ui.Label20, "Label20", "Spindle", &ui.Label_spindel, "Label_spindel"},
    };
    top = 34;
    for (const LampRow& row : signalLamps) {
        *row.lampWidget = lamp(form, row.lampName, {529, top + 2, 12, 12}, row.captionText);
        *row.caption = label(form, row.captionName, row.captionText, {543, top, 46, 16}, "Left");
        top += 19;
    }

    ui.label_füllstand = label(form, "label_füllstand", "Pufferfüllstand:", {444, 134, 136, 16});
    ui.Pufferfüllstand = new FillLevelBar(form);
    ui.Pufferfüllstand->setObjectName("Pufferfüllstand");
    ui.Pufferfüllstand->setRange(0, 100);
    ui.Pufferfüllstand->setValue(0);
    ui.Pufferfüllstand->setTextVisible(false);
    ui.Pufferfüllstand->setGeometry(444, 152, 96, 16);
    ui.Pufferfüllstand->setAccessibleName("Pufferfüllstand");
    ui.label_bufferfill_prozent = label(form, "label_bufferfill_prozent", "0 %", {544, 152, 44, 16},
                                        {}, Qt::AlignRight | Qt::AlignVCenter);
    ui.label_bufferfill_prozent->setAccessibleName("Pufferfüllstand");

    ui.Com_Refresh = button(form, "Com_Refresh", "Refresh Status", {266, 180, 120, 24});
    ui.check_autorefresh = check(form, "check_autorefresh", "Autorefresh", {396, 182, 120, 20});
}
