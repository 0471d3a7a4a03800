// display_input: decodes every status frame at once; the status panel shows
// the newest of them at the next screen refresh (see DisplayRefresh).

#include "display_refresh.h"
#include "lamp.h"
#include "main_frm.h"

#include <status_report.h>

#include <QLabel>
#include <QProgressBar>

namespace {
void paintLamp(Lamp* lamp, LampColour colour) {
    lamp->setColourValue(static_cast<std::uint32_t>(colour));
}

// A label is given its text only when the text changes: QLabel compares
// anyway, but then still works out its size hint again.
void showText(QLabel* label, const QString& text) {
    if (label->text() != text) {
        label->setText(text);
    }
}
} // namespace

void Main_frm::display_input(std::string_view block) {
    statusToShow_ = DecodeStatus(block);
    refresh_->request();
}

void Main_frm::showStatusReport(const StatusReport& report) {
    // Given only when it changes: setting the bar works out its look again,
    // which costs as much as the rest of the panel.
    const int fill = FillBarValue(report.fillLevel);
    if (ui.Pufferfüllstand->value() != fill) {
        ui.Pufferfüllstand->setValue(fill);
    }
    showText(ui.label_bufferfill_prozent, QString::fromStdString(FillLevelText(report.fillLevel)));

    showText(ui.Label_posx, QString::number(report.positionX));
    showText(ui.Label_posy, QString::number(report.positionY));
    showText(ui.Label_posz, QString::number(report.positionZ));
    showText(ui.Label_posc, QString::number(report.positionC));

    showText(ui.Label_mode, QString::number(report.mode));
    showText(ui.Label_errcode, QString::number(report.errorCode));
    showText(ui.Label_framectr, QString::number(report.frameCounter));

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
