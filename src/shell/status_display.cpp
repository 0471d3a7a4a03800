// display_input: paints a status frame's decoded values into the status panel.

#include "lamp.h"
#include "main_frm.h"

#include <status_report.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <optional>

namespace {
void paintLamp(Lamp* lamp, LampColour colour) {
    lamp->setColourValue(static_cast<std::uint32_t>(colour));
}

// The buffer's bar and percentage are painted at once when a frame changes
// them, but not more often than every 2 ms: a change that comes sooner is
// painted when the 2 ms are up, together with whatever came meanwhile. At
// the line's 360 frames a second every frame is still painted as it comes; a
// controller on a fast link, sending thousands a second, no longer costs a
// paint of the bar for each (about a tenth of a millisecond), which no screen
// could show anyway. Qt's own repaint() paces itself the same way on
// composited windows. Meanwhile the percentage's text is the latest; the bar
// takes the latest value when it is painted, as setting it works out its look
// again, which alone costs as much as the rest of a frame.
class FillLevelPainter : public QObject {
    Q_OBJECT
public:
    static FillLevelPainter& of(QProgressBar* bar, QLabel* percent) {
        auto* painter = bar->findChild<FillLevelPainter*>(QString(), Qt::FindDirectChildrenOnly);
        return painter ? *painter : *new FillLevelPainter(bar, percent);
    }

    void show(int value, const QString& text) {
        pendingValue_ = value == bar_->value() ? std::nullopt : std::optional<int>(value);
        if (percent_->text() != text) {
            hold(percent_, percentHeld_); // so that setText's own update paints nothing yet
            percent_->setText(text);
        }
        // The spacing is timed by the clock; the timer only brings the paint.
        const qint64 sinceLastPaint = lastPaint_.isValid() ? lastPaint_.nsecsElapsed() : kSpacingNs;
        const bool spacingOver = sinceLastPaint >= kSpacingNs;
        if (spacing_.isActive()) {
            // A paint of what is held is on its way. When it is already due,
            // the bar takes this frame's value now, so that it never lags
            // behind the labels; the paint follows as soon as the event loop
            // delivers the timer.
            if (spacingOver) {
                setPendingValue();
            }
        } else if (spacingOver) {
            paintHeld();
        } else {
            spacing_.start(int((kSpacingNs - sinceLastPaint + 999'999) / 1'000'000));
        }
    }

private:
    static constexpr qint64 kSpacingNs = 2'000'000;

    FillLevelPainter(QProgressBar* bar, QLabel* percent)
        : QObject(bar), bar_(bar), percent_(percent) {
        spacing_.setSingleShot(true);
        spacing_.setTimerType(Qt::PreciseTimer);
        connect(&spacing_, &QTimer::timeout, this, &FillLevelPainter::paintHeld);
    }

    static void hold(QWidget* widget, bool& held) {
        if (!held) {
            widget->setUpdatesEnabled(false);
            held = true;
        }
    }

    static void release(QWidget* widget, bool& held, QRect& changed) {
        if (held) {
            widget->setUpdatesEnabled(true); // marks the whole widget for painting
            held = false;
            changed = changed.united(widget->geometry());
        }
    }

    void setPendingValue() {
        if (pendingValue_) {
            // setValue repaints the bar itself when it judges a pixel to have
            // moved; held back, so that the bar is painted once, with the rest.
            hold(bar_, barHeld_);
            bar_->setValue(*pendingValue_);
            pendingValue_.reset();
        }
    }

    void paintHeld() {
        setPendingValue();
        QRect changed;
        release(bar_, barHeld_, changed);
        release(percent_, percentHeld_, changed);
        if (changed.isNull()) {
            return; // nothing came since the last paint
        }
        // Both in one pass, and as one rectangle: a clip of separate pieces
        // makes the raster engine fill the backgrounds under them span by
        // span, handing the spans to other threads.
        QWidget* parent = bar_->parentWidget();
        if (parent && parent == percent_->parentWidget()) {
            parent->repaint(changed);
        } else {
            bar_->repaint();
            percent_->repaint();
        }
        lastPaint_.start();
    }

    QProgressBar* bar_;
    QLabel* percent_;
    QTimer spacing_;
    QElapsedTimer lastPaint_;
    std::optional<int> pendingValue_; // not yet given to the bar
    bool barHeld_ = false;            // given, not yet painted
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
