#pragma once
// One run of the randomized operator against a fresh console window. Both
// operator tests run in the console's own application, which catches what
// an event handler throws; the run reports it as a broken invariant.

#include "console_application.h"

class OperatorInput;

// Plays KELMORA_OPERATOR_ACTIONS actions (default `defaultActions`) with the
// seed KELMORA_OPERATOR_SEED (default: a fresh one). Prints the seed, and on
// failure the broken invariant with the last actions played; at the end how
// many frames went out, how many were refused and how many actions ran with
// the port open to a live controller. True when every invariant held.
bool RunRandomOperator(OperatorInput& hands, int defaultActions);

#define KELMORA_OPERATOR_TEST_MAIN(TestObject)                                                     \
    int main(int argc, char* argv[]) {                                                             \
        ConsoleApplication app(argc, argv);                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
