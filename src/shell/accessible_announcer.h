#pragma once
// Tells assistive technology that a reading (accessible_reading.h) has
// changed, at most once per widget per screen refresh, and only while a
// client listens.
//
// A change is noticed when the widget is painted, so the announcer keeps pace
// with what the operator can see and does no work of its own per status
// frame: at line rate, or on a faster link, the labels are rewritten far more
// often than any screen shows them. The first paint after a quiet spell arms
// one single-shot timer; when it runs out, every widget whose reading now
// differs from the one last announced gets one NameChanged event. Nothing runs
// while nothing changes.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QAccessibleEvent;
class QWidget;

class AccessibleAnnouncer : public QObject {
    Q_OBJECT
public:
    using Sink = std::function<void(QAccessibleEvent& event)>;

    explicit AccessibleAnnouncer(QObject* parent = nullptr);

    void watch(QWidget* widget);

    // The shortest time between two announcements of one widget: one frame
    // of the primary screen.
    int intervalMs() const { return timer_.interval(); }

    // Events go to the sink instead of the accessibility bus, and are made
    // whether or not a client listens (tests, where no bus is active).
    void setSink(Sink sink) { sink_ = std::move(sink); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Watched {
        QPointer<QWidget> widget;
        QString announced;
        bool painted = false;
    };

    bool listening() const;
    void announceChanges();

    std::vector<Watched> watched_;
    QTimer timer_;
    Sink sink_;
};
