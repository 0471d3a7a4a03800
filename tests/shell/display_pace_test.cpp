// Frames over a real pseudo-terminal faster than a screen shows them: every
// one is logged and decoded as it is read, while the lists and the status
// panel are brought up to date at most once per screen refresh and show the
// newest frame once the refresh comes.

#include "display_refresh.h"
#include "history_model.h"
#include "main_frm.h"
#include "port_set.h"
#include "pty_peer.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QPaintEvent>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {

// 60 Hz, the fastest pace; hidden, the pace is slower still.
constexpr qint64 kFastestPeriodNs = 1'000'000'000 / 60;

QByteArray statusFrame(std::int32_t x, std::uint8_t counter) {
    QByteArray frame(32, '\0');
    frame[0] = 2;
    for (int i = 0; i < 4; ++i) {
        frame[3 + i] = char((std::uint32_t(x) >> (8 * i)) & 0xFF);
    }
    frame[27] = char(counter);
    return frame;
}

// Paint events that reach what lies beneath the lists: their frames, the
// bars' containers, and the form and window under them, and the horizontal
// bars. While lines arrive only the lists' viewports and vertical bars need
// painting; a repaint beneath them walks every control of the form.
class PaintsBeneathLists : public QObject {
public:
    explicit PaintsBeneathLists(Main_frm& window) {
        QListView* lists[] = {window.ui.List1, window.ui.List2};
        for (QListView* list : lists) {
            watchWholly(list);
            watchWholly(list->verticalScrollBar()->parentWidget());
            watchWholly(list->horizontalScrollBar()->parentWidget());
            watchWholly(list->horizontalScrollBar()); // the rows' width does not change
        }
        for (QWidget* under : {static_cast<QWidget*>(&window), window.ui.List1->parentWidget()}) {
            QRegion area;
            for (QListView* list : lists) {
                area += QRect(list->mapTo(under, QPoint()), list->size());
            }
            beneath_[under] = area;
            under->installEventFilter(this);
        }
    }
    QStringList painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint &&
            static_cast<QPaintEvent*>(event)->region().intersects(beneath_.value(watched))) {
            painted << watched->objectName() + " " + watched->metaObject()->className();
        }
        return false;
    }

private:
    void watchWholly(QWidget* widget) {
        beneath_[widget] = QRegion(0, 0, 1 << 20, 1 << 20);
        widget->installEventFilter(this);
    }
    QHash<QObject*, QRegion> beneath_;
};

struct ShownConsole {
    PtyPeer peer;
    Main_frm window;

    ShownConsole() {
        window.presetPort(peer.devicePath());
        window.show();
        window.Command1_Click();
    }
};

} // namespace

class DisplayPaceTest : public QObject {
    Q_OBJECT
private slots:
    void burstIsLoggedWhollyAndShownAtTheScreensPace_data();
    void burstIsLoggedWhollyAndShownAtTheScreensPace();
    void hiddenWindowCatchesUpWhenShown();
    void pacerRunsOncePerPeriodHoweverOftenAsked();
};

void DisplayPaceTest::burstIsLoggedWhollyAndShownAtTheScreensPace_data() {
    QTest::addColumn<bool>("scrolledUp");
    QTest::newRow("following the newest line") << false;
    QTest::newRow("operator scrolled up") << true;
}

void DisplayPaceTest::burstIsLoggedWhollyAndShownAtTheScreensPace() {
    QFETCH(bool, scrolledUp);
    ShownConsole c;
    QVERIFY(QTest::qWaitForWindowExposed(&c.window));
    QVERIFY2(c.window.MSComm1.isOpen(), qPrintable(c.window.statusMessage()));
    QScrollBar* bar = c.window.ui.List1->verticalScrollBar();
    for (int i = 0; i < 40; ++i) { // enough lines for the history to scroll, and as wide
        c.window.history().appendText("earlier line " + std::string(120, '-'));
    }
    c.window.showPendingDisplay();
    QTRY_VERIFY(bar->maximum() > 0);
    QTRY_COMPARE(bar->value(), bar->maximum());
    QTRY_VERIFY(c.window.ui.List1->horizontalScrollBar()->isVisible());
    if (scrolledUp) {
        bar->setValue(3); // the operator reads an earlier line
    }
    QTest::qWait(100); // whatever the lines above still repaint
    const PaintsBeneathLists beneath(c.window);

    QSignalSpy announced(&c.window.history(), &QAbstractItemModel::rowsInserted);
    QRandomGenerator random(20261207);
    const int earlier = c.window.history().count();
    constexpr int kFrames = 150;
    std::int32_t lastX = 0;
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < kFrames; ++n) {
        lastX = std::int32_t(random.generate());
        QVERIFY(c.peer.write(statusFrame(lastX, std::uint8_t(n))));
        // Logged and decoded as it is read, whether or not it is shown yet.
        QTRY_COMPARE_WITH_TIMEOUT(c.window.history().count(), earlier + n + 1, 2000);
        const std::string line = c.window.history().lineAt(earlier + n);
        QVERIFY2(line.rfind("IN < 02", 0) == 0, line.c_str());
    }
    const qint64 burstNs = clock.nsecsElapsed();

    // The rows of 150 frames reached the view in at most one announcement
    // per refresh, not one per frame.
    QVERIFY2(announced.count() <= burstNs / kFastestPeriodNs + 1,
             qPrintable(QString("%1 announcements in %2 ms")
                            .arg(announced.count())
                            .arg(double(burstNs) / 1e6)));

    // With no frame after it, the newest comes to the screen by itself.
    const int total = c.window.history().count();
    QTRY_COMPARE(c.window.ui.List1->model()->rowCount(), total);
    QTRY_COMPARE(c.window.ui.Label_posx->text(), QString::number(lastX));
    QCOMPARE(c.window.ui.Label_framectr->text(), QString::number(kFrames - 1));
    QCOMPARE(c.window.ui.List2->model()->rowCount(), c.window.datasets().count());
    if (scrolledUp) {
        QTest::qWait(50);
        QCOMPARE(bar->value(), 3);
    } else {
        QTRY_COMPARE(bar->value(), bar->maximum());
    }
    QVERIFY2(beneath.painted.isEmpty(), qPrintable(beneath.painted.join(", ")));
}

void DisplayPaceTest::hiddenWindowCatchesUpWhenShown() {
    Main_frm window;
    window.showPendingDisplay(); // a refresh has just been: the next is due later
    window.display_input(statusFrame(-77, 9).toStdString());
    window.history().appendText("while hidden");
    // Nothing is shown while the refresh is due.
    QCOMPARE(window.ui.Label_posx->text(), QString("- - -"));
    QCOMPARE(window.ui.List1->model()->rowCount(), 0);
    window.show();
    // Shown again: the next turn of the event loop brings it all, without
    // waiting for the slow pace kept while hidden.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(window.ui.Label_posx->text(), QString("-77"));
    QCOMPARE(window.ui.List1->model()->rowCount(), 1);
}

void DisplayPaceTest::pacerRunsOncePerPeriodHoweverOftenAsked() {
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int shown = 0;
    DisplayRefresh refresh(&window, [&] { ++shown; });
    QElapsedTimer clock;
    clock.start();
    // Asked far more often than a screen refreshes, for a quarter second.
    while (clock.elapsed() < 250) {
        refresh.request();
        QCoreApplication::processEvents();
    }
    const qint64 elapsedNs = clock.nsecsElapsed();
    QVERIFY2(shown >= 1 && shown <= elapsedNs / kFastestPeriodNs + 1,
             qPrintable(QString::number(shown)));
    // The last request is served too.
    const int before = shown;
    refresh.request();
    QTRY_COMPARE(shown, before + 1);
    QVERIFY(!refresh.isWaiting());
}

QTEST_MAIN(DisplayPaceTest)
#include "display_pace_test.moc"
