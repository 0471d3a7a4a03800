#pragma once
// How the randomized operator's hands reach the console: clicks at points of
// widgets and keys, tapped or held. Two kinds of hands play the same
// operator: events handed to Qt's window system interface in this process
// (fast, many actions), and events injected into a real X server, which
// adds the server's own key repeat, the window manager and Qt's real input
// path.

#include <QPoint>
#include <QString>
#include <Qt>

class QWidget;

struct OperatorKey {
    Qt::Key key = Qt::Key_unknown;
    QString text; // what the key types, as a keyboard sends it
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

// A key as typed: letters, digits and the few signs the operator types.
OperatorKey KeyForCharacter(QChar character);

class OperatorInput {
public:
    virtual ~OperatorInput() = default;

    // A left click at `at` (the widget's coordinates), press and release.
    virtual void click(QWidget* widget, QPoint at) = 0;
    virtual void doubleClick(QWidget* widget, QPoint at) = 0;
    // Press and release, with the modifiers' own keys pressed around it.
    virtual void tap(const OperatorKey& key) = 0;
    // The key held down for `heldMs`, with the auto-repeated presses a
    // keyboard sends meanwhile, then released once.
    virtual void hold(const OperatorKey& key, int heldMs) = 0;
    // Time passes with the console's event loop running.
    virtual void wait(int ms) = 0;
    // Whether time is real here (held keys and waits take as long as they say).
    virtual bool realTime() const = 0;
    // Keys a window manager keeps for itself (Alt+Tab, Alt+Space): they never
    // reach the console there, so the operator does not press them.
    virtual bool keptByWindowManager(const OperatorKey& key) const {
        Q_UNUSED(key);
        return false;
    }
    // The run marks where each action starts, so that hands which can lose
    // an event tell which action lost it and what happened around it.
    virtual void actionStarts(int number) { Q_UNUSED(number); }
    // An event made since the action started that never arrived; empty when
    // every one did.
    virtual QString eventLost() const { return {}; }
    // What the hands made and what arrived in the last few actions, with
    // times (for a failure's report; empty if they keep none).
    virtual QString recentEvents() const { return {}; }
};
