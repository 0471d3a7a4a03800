// display_input: paints a status frame's decoded values into the status panel.

#include "lamp.h"
#include "main_frm.h"

#include <status_report.h>

#include <QLabel>
#include <QProgressBar>

namespace {
void paintLamp(Lamp* lamp, LampColour colour) {
    lamp->setColourValue(static_cast<std::uint32_t>(colour));
}
} // namespace

void Main_frm::display_input(std::string_view block) {
    const StatusReport report = DecodeStatus(block);

    ui.Pufferfüllstand->setValue(FillBarValue(report.fillLevel));
    ui.Pufferfüllstand->repaint();
    ui.label_bufferfill_prozent->setText(QString::fromStdString(FillLevelText(report.fillLevel)));
    ui.label_bufferfill_prozent->repaint();

    ui.Label_posx->setText(QString::number(report.positionX));
    ui.Label_posy->setText(QString::number(report.positionY));
    ui.Label_posz->setText(QString::number(report.positionZ));
    ui.Label_posc->setText(QString::number(report.positionC));

    ui.Label_mode->setText(QString::number(report.mode));
    ui.Label_errcode->setText(QString::number(report.errorCode));
    ui.Label_framectr->setText(QString::number(report.frameCounter));

    paintLamp(ui.Label_boost, report.lamp(StatusLamp::Boost));
    paintLamp(ui.Label_sleep, report.lamp(StatusLamp::Sleep));
    paintLamp(ui.Label_cool, report.lamp(StatusLamp::Cooling));
    paintLamp(ui.Label_spindel, report.lamp(StatusLamp::Spindle));

    paintLamp(ui.Label_emergency, report.lamp(StatusLamp::Emergency));
    paintLamp(ui.Label_endc, report.lamp(StatusLamp::EndC));
    paintLamp(ui.Label_endz, report.lamp(StatusLamp::EndZ));
    paintLamp(ui.Label_endy, report.lamp(StatusLamp::EndY));
    paintLamp(ui.Label_endx, report.lamp(StatusLamp::EndX));
}
