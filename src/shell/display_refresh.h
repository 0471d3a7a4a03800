#pragma once
// Paces what the operator sees to the screen. Frames can arrive hundreds of
// times a second, a screen shows sixty pictures a second (thirty are shown
// at most: a reading changing faster cannot be read), and bringing the
// lists, labels, lamps and bar up to date costs about as much once as for
// every frame: so whatever arrives is recorded at once and shown at most
// once per screen refresh, the newest state within one refresh of its
// arrival. After a quiet spell the first change is shown on the next turn
// of the event loop. While the window is hidden or minimized nobody sees
// it, and it is brought up to date five times a second; at once again when
// it is shown.

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QWidget;

class DisplayRefresh : public QObject {
    Q_OBJECT
public:
    // `show` brings the display up to date; `window` is watched for being
    // hidden, minimized and shown again.
    DisplayRefresh(QWidget* window, std::function<void()> show);

    // Something waits to be shown: `show` runs when the pace allows.
    void request();
    // Runs `show` now when a period has passed since the last time, else as
    // request(): for a caller woken at the pace already.
    void showIfDue();
    // Runs `show` now (also when nothing waits) and starts a new period.
    void showNow();
    bool isWaiting() const { return waiting_; }

protected:
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    qint64 periodNs() const;

    QWidget* window_;
    std::function<void()> show_;
    QBasicTimer due_;
    QElapsedTimer sinceShown_;
    bool waiting_ = false;
};
