// The randomized operator (tests/shell/operator) on a real X server with a
// window manager: clicks and keys go through the server (XTest), so its own
// key repeat, the window manager's focus and Qt's real input path act on
// them. Run by run_on_x_server.sh, which starts Xvfb and openbox. Its
// invariants are listed in operator/random_operator.h; it also checks that
// the server really repeated the held keys.
//
// KELMORA_OPERATOR_SEED=N replays one seed (as far as the server's timing
// allows); KELMORA_OPERATOR_ACTIONS=N sets the number of actions (1,000 by
// default); KELMORA_OPERATOR_TRACE=1 prints every action.

#include "operator/operator_run.h"
#include "operator/x11_operator_input.h"

#include <QtTest>

class X11OperatorTest : public QObject {
    Q_OBJECT
private slots:
    void everyInvariantHoldsThroughTheXServer() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        // Repeats start after a quarter second, 30 a second, so that the
        // held keys (a quarter to seven tenths of a second) repeat.
        X11OperatorInput hands(200, 30);
        QVERIFY2(hands.connected(), "no X server at $DISPLAY");
        QVERIFY2(RunRandomOperator(hands, 1000), "an invariant broke (see above)");
        qInfo("%d auto-repeated presses from the server; %d releases of keys that closed a menu "
              "dropped by Qt; %d injected events not delivered",
              hands.autoRepeatsSeen(), hands.releasesToClosedMenus(), hands.eventsLost());
        QVERIFY2(hands.autoRepeatsSeen() > 0, "the server repeated no held key");
        QCOMPARE(hands.eventsLost(), 0);
    }
};

KELMORA_OPERATOR_TEST_MAIN(X11OperatorTest)
#include "x11_operator_test.moc"
