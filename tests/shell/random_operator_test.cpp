// The randomized operator (tests/shell/operator) played inside the process:
// events enter through Qt's window system interface, held keys arrive with
// their auto-repeat, and nothing waits for real time, so a run plays many
// actions. Its invariants are listed in operator/random_operator.h.
//
// KELMORA_OPERATOR_SEED=N replays one seed; KELMORA_OPERATOR_ACTIONS=N sets
// the number of actions (20,000 by default); KELMORA_OPERATOR_TRACE=1 prints
// every action.

#include "operator/operator_run.h"
#include "operator/qt_operator_input.h"

#include <QtTest>

class RandomOperatorTest : public QObject {
    Q_OBJECT
private slots:
    void everyInvariantHoldsAfterEveryAction() {
        QtOperatorInput hands;
        QVERIFY2(RunRandomOperator(hands, 20000), "an invariant broke (see above)");
    }
};

KELMORA_OPERATOR_TEST_MAIN(RandomOperatorTest)
#include "random_operator_test.moc"
