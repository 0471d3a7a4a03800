// display_input: paints a status frame's decoded values into the status panel.

#include "lamp.h"
#include "main_frm.h"

#include <status_report.h>

#include <QLabel>
#include <QProgressBar>
#include <QRegion>
#include <QTimer>

namespace {
void paintLamp(Lamp* lamp, LampColour colour) {
    lamp->setColourValue(static_cast<std::uint32_t>(colour));
}

// The buffer's bar and percentage are painted at once when a frame changes
// them, but not more often than every kSpacingMs: a change that comes sooner
// is set at once (value() and text() tell it) and painted when the spacing is
// up, together with whatever came meanwhile. At the line's 360 frames a second
// every frame is still painted as it comes; a controller on a fast link,
// sending thousands a second, no longer costs a paint of the bar for each
// (about a tenth of a millisecond), which no screen could show anyway. Qt's
// own repaint() paces itself the same way on composited windows.
class FillLevelPainter : public QObject {
    Q_OBJECT
public:
    static FillLevelPainter& of(QProgressBar* bar, QLabel* percent) {
        auto* painter = bar->findChild<FillLevelPainter*>(QString(), Qt::FindDirectChildrenOnly);
        return painter ? *painter : *new FillLevelPainter(bar, percent);
    }

    void show(int value, const QString& text) {
        // Updates are held while the values change, so neither the bar's own
        // repaint in setValue nor setText's update paints anything yet: each
        // change is painted once, here or when the spacing is up.
        if (bar_->value() != value) {
            hold(bar_, barHeld_);
            bar_->setValue(value);
        }
        if (percent_->text() != text) {
            hold(percent_, percentHeld_);
            percent_->setText(text);
        }
        if (!spacing_.isActive()) {
            paintHeld();
        }
    }

private:
    static constexpr int kSpacingMs = 2;

    FillLevelPainter(QProgressBar* bar, QLabel* percent)
        : QObject(bar), bar_(bar), percent_(percent) {
        spacing_.setSingleShot(true);
        spacing_.setTimerType(Qt::PreciseTimer);
        spacing_.setInterval(kSpacingMs);
        connect(&spacing_, &QTimer::timeout, this, &FillLevelPainter::paintHeld);
    }

    static void hold(QWidget* widget, bool& held) {
        if (!held) {
            widget->setUpdatesEnabled(false);
            held = true;
        }
    }

    static void release(QWidget* widget, bool& held, QRegion& changed) {
        if (held) {
            widget->setUpdatesEnabled(true); // marks the whole widget for painting
            changed += widget->geometry();
            held = false;
        }
    }

    void paintHeld() {
        if (!barHeld_ && !percentHeld_) {
            return; // nothing came since the last paint: the spacing ends
        }
        QRegion changed;
        release(bar_, barHeld_, changed);
        release(percent_, percentHeld_, changed);
        // Both in one pass of painting where they sit side by side.
        QWidget* parent = bar_->parentWidget();
        if (parent && parent == percent_->parentWidget()) {
            parent->repaint(changed);
        } else {
            bar_->repaint();
            percent_->repaint();
        }
        spacing_.start();
    }

    QProgressBar* bar_;
    QLabel* percent_;
    QTimer spacing_;
    bool barHeld_ = false;
    bool percentHeld_ = false;
};
} // namespace

void Main_frm::display_input(std::string_view block) {
    const StatusReport report = DecodeStatus(block);

    FillLevelPainter::of(ui.Pufferfüllstand, ui.label_bufferfill_prozent)
        .show(FillBarValue(report.fillLevel),
              QString::fromStdString(FillLevelText(report.fillLevel)));

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

#include "status_display.moc"
