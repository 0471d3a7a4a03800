#include "accessible_announcer.h"

#include "accessible_reading.h"

#include <QAccessible>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace {
int screenFrameMs() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal hertz =
        screen != nullptr && screen->refreshRate() >= 1 ? screen->refreshRate() : 60;
    return int(std::ceil(1000 / hertz));
}
} // namespace

AccessibleAnnouncer::AccessibleAnnouncer(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    // A coarse timer may run out up to 5 % early, two announcements then
    // closer together than one frame.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(screenFrameMs());
    connect(&timer_, &QTimer::timeout, this, &AccessibleAnnouncer::announceChanges);
}

void AccessibleAnnouncer::watch(QWidget* widget) {
    watched_.push_back({widget, accessible::ReadingOf(widget)});
    widget->installEventFilter(this);
}

bool AccessibleAnnouncer::listening() const {
    return sink_ ? true : QAccessible::isActive();
}

bool AccessibleAnnouncer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && listening()) {
        for (Watched& entry : watched_) {
            if (entry.widget == watched) {
                entry.painted = true;
                break;
            }
        }
        if (!timer_.isActive()) {
            timer_.start();
        }
    }
    return QObject::eventFilter(watched, event);
}

void AccessibleAnnouncer::announceChanges() {
    for (Watched& entry : watched_) {
        if (!entry.painted || entry.widget.isNull()) {
            continue;
        }
        entry.painted = false;
        QString reading = accessible::ReadingOf(entry.widget);
        if (reading == entry.announced) {
            continue; // painted for another reason, or changed and back again
        }
        entry.announced = std::move(reading);
        QAccessibleEvent changed(entry.widget.data(), QAccessible::NameChanged);
        if (sink_) {
            sink_(changed);
        } else {
            QAccessible::updateAccessibility(&changed);
        }
    }
}
