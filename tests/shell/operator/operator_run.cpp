#include "operator_run.h"

#include "main_frm.h"
#include "random_operator.h"

#include <QtTest>

#include <exception>
#include <random>

namespace {

RandomOperator* running = nullptr;

int envInt(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

void printRecentActions() {
    if (running == nullptr) {
        return;
    }
    qInfo("the last actions played:");
    for (const QString& action : running->recentActions()) {
        qInfo("  %s", qPrintable(action));
    }
}

} // namespace

bool RunRandomOperator(OperatorInput& hands, int defaultActions) {
    const int actions = envInt("KELMORA_OPERATOR_ACTIONS", defaultActions);
    // Seeds are 32-bit: half of them do not fit an int.
    bool given = false;
    const std::uint32_t givenSeed = qEnvironmentVariable("KELMORA_OPERATOR_SEED").toUInt(&given);
    const std::uint32_t seed = given ? givenSeed : std::random_device{}();
    qInfo("seed %u, %d actions (KELMORA_OPERATOR_SEED=%u replays it)", seed, actions, seed);

    Main_frm w;
    w.show();
    // A window manager on a machine busy with a build can take seconds to
    // give a new window the focus (once more than the default 5 s).
    if (!QTest::qWaitForWindowActive(&w, 20000)) {
        qWarning("the console's window did not become active within 20 s\n%s",
                 qPrintable(hands.recentEvents()));
        return false;
    }
    RandomOperator player(w, hands, seed);
    running = &player;
    QObject::connect(ConsoleApplication::instance(), &ConsoleApplication::handlerFailed, &w,
                     [&player](const QString& what) { player.noteEscapedException(what); });
    std::set_terminate([] {
        printRecentActions();
        std::abort();
    });
    bool held = true;
    for (int i = 0; i < actions; ++i) {
        hands.actionStarts(i);
        QString broken = player.step(i);
        // A lost event is the cause of whatever else the action broke.
        const QString lost = hands.eventLost();
        if (!lost.isEmpty()) {
            broken = QStringLiteral("action %1: %2").arg(i).arg(lost);
        }
        if (!broken.isEmpty()) {
            qWarning("seed %u, %s", seed, qPrintable(broken));
            const QString events = hands.recentEvents();
            if (!events.isEmpty()) {
                qInfo("%s", qPrintable(events));
            }
            printRecentActions();
            qWarning("KELMORA_OPERATOR_SEED=%u KELMORA_OPERATOR_ACTIONS=%d replays it", seed,
                     i + 1);
            held = false;
            break;
        }
    }
    if (held) {
        const QString capture = player.checkCapture();
        if (!capture.isEmpty()) {
            qWarning("seed %u, %s", seed, qPrintable(capture));
            held = false;
        }
    }
    const OperatorFigures& f = player.figures();
    qInfo("%zu actions, %zu with the port open to a live controller; %zu frames on the wire, "
          "%zu refused (%zu of them taken in part); %zu held keys, %zu keys while a menu had the "
          "keyboard; busiest action %lld ms",
          f.actions, f.actionsWithLiveLine, f.framesOnWire, f.framesRefused, f.framesPartlyTaken,
          f.heldKeys, f.menuKeys, f.busiestMs);
    running = nullptr;
    return held;
}
