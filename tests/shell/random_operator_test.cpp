// The randomized operator (tests/shell/operator) played inside the process:
// events enter through Qt's window system interface, held keys arrive with
// their auto-repeat, and nothing waits for real time, so a run plays many
// actions. Its invariants are listed in operator/random_operator.h.
//
// KELMORA_OPERATOR_SEED=N replays one seed; KELMORA_OPERATOR_ACTIONS=N sets
// the number of actions (20,000 by default); KELMORA_OPERATOR_TRACE=1 prints
// every action.

#include "history_model.h"
#include "main_frm.h"
#include "operator/operator_run.h"
#include "operator/qt_operator_input.h"

#include <QtTest>

#include <stdexcept>

class RandomOperatorTest : public QObject {
    Q_OBJECT
private slots:
    void everyInvariantHoldsAfterEveryAction() {
        QtOperatorInput hands;
        QVERIFY2(RunRandomOperator(hands, 20000), "an invariant broke (see above)");
    }
    void aHandlerThatThrowsIsSaidAndTheConsoleCarriesOn() {
        Main_frm w;
        QTimer::singleShot(0, &w, [] { throw std::runtime_error("a planted fault"); });
        QTRY_VERIFY(w.statusMessage().startsWith("Internal fault (a planted fault)"));
        w.history().appendText("after");
        QCOMPARE(w.history().count(), 1);
    }
};

KELMORA_OPERATOR_TEST_MAIN(RandomOperatorTest)
#include "random_operator_test.moc"
