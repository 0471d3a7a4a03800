#include "display_refresh.h"

#include <QEvent>
#include <QScreen>
#include <QTimerEvent>
#include <QWidget>

#include <algorithm>

namespace {
// Faster gains nothing: a number that changes thirty times a second is
// already a blur, and every picture costs a paint pass and a trip to the
// display server.
constexpr double kFastestHz = 30.0;
constexpr qint64 kUnseenPeriodNs = 200'000'000;
} // namespace

DisplayRefresh::DisplayRefresh(QWidget* window, std::function<void()> show)
    : QObject(window), window_(window), show_(std::move(show)) {
    window_->installEventFilter(this);
}

qint64 DisplayRefresh::periodNs() const {
    if (!window_->isVisible() || window_->isMinimized()) {
        return kUnseenPeriodNs;
    }
    const QScreen* screen = window_->screen();
    const double hz = screen && screen->refreshRate() > 1.0
                          ? std::min<double>(screen->refreshRate(), kFastestHz)
                          : kFastestHz;
    return qint64(1e9 / hz);
}

void DisplayRefresh::request() {
    if (waiting_) {
        return; // already due
    }
    waiting_ = true;
    const qint64 left =
        sinceShown_.isValid() ? std::max<qint64>(0, periodNs() - sinceShown_.nsecsElapsed()) : 0;
    // A zero timer rather than a posted call when the period is over:
    // posting wakes the event loop through a system call each time.
    due_.start(int((left + 999'999) / 1'000'000), Qt::PreciseTimer, this);
}

void DisplayRefresh::showIfDue() {
    // The caller's own pace jitters by a millisecond or so: a picture due in
    // that much is shown now rather than after one more wake-up for it.
    if (!sinceShown_.isValid() || sinceShown_.nsecsElapsed() >= periodNs() * 3 / 4) {
        showNow();
    } else {
        request();
    }
}

void DisplayRefresh::showNow() {
    due_.stop();
    waiting_ = false;
    sinceShown_.start();
    show_();
}

void DisplayRefresh::timerEvent(QTimerEvent* event) {
    if (event->timerId() == due_.timerId()) {
        showNow();
        return;
    }
    QObject::timerEvent(event);
}

bool DisplayRefresh::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && waiting_ &&
        (event->type() == QEvent::Show || event->type() == QEvent::WindowStateChange)) {
        // Seen again: what waited comes at once, not at the unseen pace.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (waiting_) {
                    showNow();
                }
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}
