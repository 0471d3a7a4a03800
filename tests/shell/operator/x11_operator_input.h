#pragma once
// The operator's hands on a real X server: clicks and keys are injected with
// XTest from a connection of their own, so they reach the console the way a
// person's do, through the server's own key repeat, the window manager's
// focus and Qt's real input path. Each call returns once Qt has delivered
// the last event it made (a button or key release), so what the console
// did with it is done. An event that never arrives is reported with what
// was injected and delivered in that action and the three before.

#include "operator_input.h"
#include "x11_injection.h"

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWindow>

#include <deque>
#include <map>
#include <memory>

class X11OperatorInput : public OperatorInput, public QObject, public QAbstractNativeEventFilter {
public:
    // Opens its own connection to $DISPLAY and sets the server's key repeat
    // to start after `repeatDelayMs`, `repeatsPerSecond` times a second.
    X11OperatorInput(int repeatDelayMs, int repeatsPerSecond);
    ~X11OperatorInput() override;

    bool connected() const { return x_.connected(); }
    // Auto-repeated key presses Qt received from the server.
    int autoRepeatsSeen() const { return autoRepeats_; }
    // Events injected that Qt never delivered within the wait.
    int eventsLost() const { return lost_; }
    // Releases of keys that closed a menu, which Qt dropped with its window.
    int releasesToClosedMenus() const { return releasesToClosedMenus_; }

    void click(QWidget* widget, QPoint at) override;
    void doubleClick(QWidget* widget, QPoint at) override;
    void tap(const OperatorKey& key) override;
    void hold(const OperatorKey& key, int heldMs) override;
    void wait(int ms) override;
    bool realTime() const override { return true; }
    bool keptByWindowManager(const OperatorKey& key) const override;
    void actionStarts(int number) override;
    QString eventLost() const override { return lost_ > lostBefore_ ? lostWhat_ : QString(); }
    QString recentEvents() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The server's keys and buttons as they reach Qt, before Qt decides
    // which window each is for.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;

private:
    void pointAt(QWidget* widget, QPoint at);
    bool pressKeys(const OperatorKey& key, bool down);
    void fingerRest(Qt::Key key);
    void waitFor(const int& counter, int target, int timeoutMs);
    void flush();
    bool focusSettled();
    void note(const QString& what);
    // One of the console's windows by name (kept once closed), or another.
    QString xWindowName(unsigned long id);

    X11Injection x_;
    int buttonReleases_ = 0;
    int buttonPresses_ = 0;
    int keyReleases_ = 0;
    int autoRepeats_ = 0;
    int lost_ = 0;
    int releasesToClosedMenus_ = 0;
    const char* what_ = "";
    QString whatKey_;
    Qt::Key awaitedKey_ = Qt::Key_unknown;
    unsigned awaitedKeycode_ = 0;
    std::map<Qt::Key, QElapsedTimer> lastRelease_; // when each key was let go

    struct Noted {
        int action;
        qint64 ms; // on runClock_
        QString what;
    };
    std::deque<Noted> journal_; // this action's and the three before
    std::map<unsigned long, QString> windowNames_;
    QPointer<QWindow> shown_;        // a window shown in this action, if any
    unsigned long awaitedFocus_ = 0; // a window the console asked to have the focus
    QElapsedTimer runClock_;
    int action_ = 0;
    qint64 actionStartMs_ = 0;
    int lostBefore_ = 0; // lost_ when the action started
    QString lostWhat_;
};
