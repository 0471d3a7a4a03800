// What a screen reader is told about the console's readings, asked through
// Qt's accessible interfaces the way the desktop's accessibility bus asks:
// the status panel's values and lamps, the port and the status bar in words,
// and how often a change of them is announced.

#include "accessible_announcer.h"
#include "lamp.h"
#include "main_frm.h"
#include "pty_peer.h"
#include "worked_status_frame.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QtTest>

#include <map>

namespace {
QAccessibleInterface* accessibleOf(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    if (iface == nullptr) {
        qFatal("no accessible interface for %s", qPrintable(widget->objectName()));
    }
    return iface;
}

QString nameOf(QWidget* widget) {
    return accessibleOf(widget)->text(QAccessible::Name);
}

QString descriptionOf(QWidget* widget) {
    return accessibleOf(widget)->text(QAccessible::Description);
}

// What a screen reader reads as the object's text.
QString textOf(QWidget* widget) {
    QAccessibleTextInterface* text = accessibleOf(widget)->textInterface();
    return text != nullptr ? text->text(0, text->characterCount()) : QString("(no text)");
}

struct Reading {
    QWidget* widget;
    QString name;
    QString colour; // lamps only
};

std::vector<Reading> statusLampsOf(Main_frm& w, const QString& emergency, const QString& endX,
                                   const QString& endYZC, const QString& boostSpindle,
                                   const QString& sleepCooling) {
    return {
        {w.ui.Label_emergency, "Emergency: " + emergency, {}},
        {w.ui.Label_endx, "End X: " + endX, {}},
        {w.ui.Label_endy, "End Y: " + endYZC, {}},
        {w.ui.Label_endz, "End Z: " + endYZC, {}},
        {w.ui.Label_endc, "End C: " + endYZC, {}},
        {w.ui.Label_boost, "Boost: " + boostSpindle, {}},
        {w.ui.Label_spindel, "Spindle: " + boostSpindle, {}},
        {w.ui.Label_sleep, "Sleep: " + sleepCooling, {}},
        {w.ui.Label_cool, "Cooling: " + sleepCooling, {}},
    };
}

void compareReadings(const std::vector<Reading>& readings) {
    for (const Reading& reading : readings) {
        QCOMPARE(nameOf(reading.widget), reading.name);
        QCOMPARE(textOf(reading.widget), reading.name);
        if (!reading.colour.isEmpty()) {
            QCOMPARE(descriptionOf(reading.widget), reading.colour);
        }
    }
}

struct Announcement {
    QString name;
    qint64 atNs;
};
} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void readingsBeforeAnyFrame();
    void workedFrameInWords();
    void portLampFollowsThePort();
    void refusedBoxIsNamedInTheStatusBar();
    void aStreamIsAnnouncedOncePerScreenFrameAndEndsOnTheLastReading();
};

void AccessibilityTest::readingsBeforeAnyFrame() {
    Main_frm w;
    std::vector<Reading> readings = {
        {w.ui.Label_posx, "Position x: - - -", {}},
        {w.ui.Label_posy, "Position y: - - -", {}},
        {w.ui.Label_posz, "Position z: - - -", {}},
        {w.ui.Label_posc, "Position c: - - -", {}},
        {w.ui.Label_mode, "Mode: - - -", {}},
        {w.ui.Label_errcode, "Error Code: - - -", {}},
        {w.ui.Label_framectr, "Frame Counter: - - -", {}},
        {w.ui.label_bufferfill_prozent, "Pufferfüllstand: 0 %", {}},
        {w.ui.Label_Com, "Com port settings: Com 3 115200,n,8,1", {}},
        {w.ui.Label3, "Port: closed", "red"},
    };
    for (Reading lamp : statusLampsOf(w, "- - -", "- - -", "- - -", "- - -", "- - -")) {
        lamp.colour = "grey";
        readings.push_back(lamp);
    }
    compareReadings(readings);
    // The widgets a script finds by name are the ones that speak.
    QCOMPARE(accessibleOf(w.ui.Label_posx)->object()->objectName(), QString("Label_posx"));
    QCOMPARE(accessibleOf(w.ui.Label_endx)->role(), QAccessible::StaticText);
}

void AccessibilityTest::workedFrameInWords() {
    Main_frm w;
    w.display_input(WorkedStatusFrame().toStdString());
    w.showPendingDisplay();
    std::vector<Reading> readings = {
        {w.ui.Label_posx, "Position x: 10000", {}},
        {w.ui.Label_posy, "Position y: -50", {}},
        {w.ui.Label_posz, "Position z: 0", {}},
        {w.ui.Label_posc, "Position c: 256", {}},
        {w.ui.Label_mode, "Mode: 2", {}},
        {w.ui.Label_errcode, "Error Code: 0", {}},
        {w.ui.Label_framectr, "Frame Counter: 7", {}},
        {w.ui.label_bufferfill_prozent, "Pufferfüllstand: 50 %", {}},
    };
    // A set bit is "on" whatever colour shows it: red for a switch, green for
    // a drive or signal state.
    for (const Reading& lamp : statusLampsOf(w, "on", "on", "off", "on", "off")) {
        readings.push_back(lamp);
    }
    compareReadings(readings);
    QCOMPARE(descriptionOf(w.ui.Label_endx), QString("red"));
    QCOMPARE(descriptionOf(w.ui.Label_boost), QString("green"));
    QCOMPARE(descriptionOf(w.ui.Label_endy), QString("green"));
    QCOMPARE(descriptionOf(w.ui.Label_sleep), QString("red"));
    QCOMPARE(accessibleOf(w.ui.Label_posx)->text(QAccessible::Value), QString("10000"));
    QCOMPARE(accessibleOf(w.ui.Label_endx)->text(QAccessible::Value), QString("on"));
}

void AccessibilityTest::portLampFollowsThePort() {
    PtyPeer peer;
    Main_frm w;
    w.presetPort(peer.devicePath());
    QCOMPARE(nameOf(w.ui.Label_Com),
             "Com port settings: Com " + peer.devicePath() + " 115200,n,8,1");
    w.Command1_Click();
    QVERIFY2(w.MSComm1.isOpen(), qPrintable(w.statusMessage()));
    QCOMPARE(nameOf(w.ui.Label3), QString("Port: open"));
    QCOMPARE(descriptionOf(w.ui.Label3), QString("yellow"));
    QVERIFY(peer.write(WorkedStatusFrame()));
    QTRY_COMPARE(nameOf(w.ui.Label3), QString("Port: receiving"));
    QCOMPARE(descriptionOf(w.ui.Label3), QString("green"));
    w.Timer1_Timer();
    QCOMPARE(nameOf(w.ui.Label3), QString("Port: open"));
    w.Command2_Click();
    QCOMPARE(nameOf(w.ui.Label3), QString("Port: closed"));
    QCOMPARE(nameOf(w.statusBar()), QString("Port closed"));
}

void AccessibilityTest::refusedBoxIsNamedInTheStatusBar() {
    Main_frm w;
    w.ui.x_z[2]->setText("5O");
    w.com_move_xy_Click();
    const QString message = w.statusMessage();
    QVERIFY2(message.startsWith("X / Z 3: "), qPrintable(message));
    QAccessibleInterface* bar = accessibleOf(w.statusBar());
    QCOMPARE(bar->role(), QAccessible::StatusBar);
    QCOMPARE(bar->text(QAccessible::Name), message);
    QCOMPARE(textOf(w.statusBar()), message);
    // The refused box itself says why when the reader reaches it.
    QVERIFY(!descriptionOf(w.ui.x_z[2]).isEmpty());
    QVERIFY2(message.contains(descriptionOf(w.ui.x_z[2])), qPrintable(descriptionOf(w.ui.x_z[2])));
}

void AccessibilityTest::aStreamIsAnnouncedOncePerScreenFrameAndEndsOnTheLastReading() {
    // Random frames as fast as the window paints them, with the event loop
    // running between them as it does between received blocks. Mode and
    // error code stay put; positions and the frame counter change every
    // frame; lamps and the fill level now and then.
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* announcer = w.findChild<AccessibleAnnouncer*>();
    QVERIFY(announcer != nullptr);
    const qint64 intervalNs = qint64(announcer->intervalMs()) * 1'000'000;

    std::map<QObject*, std::vector<Announcement>> announced;
    QElapsedTimer clock;
    clock.start();
    announcer->setSink([&](QAccessibleEvent& event) {
        QCOMPARE(event.type(), QAccessible::NameChanged);
        auto* widget = qobject_cast<QWidget*>(event.object());
        QVERIFY(widget != nullptr);
        announced[widget].push_back({nameOf(widget), clock.nsecsElapsed()});
    });

    std::map<QWidget*, QString> before;
    const QList<QWidget*> readings = {w.ui.Label_posx,      w.ui.Label_posy,
                                      w.ui.Label_posz,      w.ui.Label_posc,
                                      w.ui.Label_mode,      w.ui.Label_errcode,
                                      w.ui.Label_framectr,  w.ui.label_bufferfill_prozent,
                                      w.ui.Label_emergency, w.ui.Label_endx,
                                      w.ui.Label_endy,      w.ui.Label_endz,
                                      w.ui.Label_endc,      w.ui.Label_boost,
                                      w.ui.Label_sleep,     w.ui.Label_cool,
                                      w.ui.Label_spindel,   w.ui.Label_Com,
                                      w.ui.Label3};
    for (QWidget* widget : readings) {
        before[widget] = nameOf(widget);
    }

    QRandomGenerator random(20261207);
    QByteArray frame(32, '\0');
    frame[0] = 2;
    int blocks = 0;
    const qint64 streamNs = 1'500'000'000;
    while (clock.nsecsElapsed() < streamNs) {
        for (int offset = 3; offset < 19; ++offset) {
            frame[offset] = char(random.bounded(256));
        }
        if (random.bounded(50) == 0) {
            frame[1] = char(random.bounded(32));
            frame[2] = char(random.bounded(16) << 4);
            frame[20] = char(random.bounded(101));
        }
        frame[27] = char(blocks);
        w.display_input(frame.toStdString());
        ++blocks;
        QCoreApplication::processEvents();
    }
    // Quiet: whatever is still due comes out within a few screen frames.
    QTest::qWait(int(4 * intervalNs / 1'000'000) + 50);
    const qint64 elapsedNs = clock.nsecsElapsed();

    for (QWidget* widget : readings) {
        const std::vector<Announcement>& events = announced[widget];
        const QString what = widget->objectName();
        QString previous = before[widget];
        for (std::size_t i = 0; i < events.size(); ++i) {
            QVERIFY2(events[i].name != previous,
                     qPrintable(what + " announced again unchanged: " + previous));
            // Timed where the sink hears them, a little after the timer ran
            // out: a quarter of a frame is left for that; a flood comes
            // within a fraction of a millisecond.
            if (i > 0) {
                QVERIFY2(events[i].atNs - events[i - 1].atNs >= intervalNs * 3 / 4,
                         qPrintable(what + " announced twice within one screen frame"));
            }
            previous = events[i].name;
        }
        // Nothing lost: the last word a reader heard is what is shown now.
        QVERIFY2(previous == nameOf(widget), qPrintable(what + ": last announced \"" + previous +
                                                        "\", shows \"" + nameOf(widget) + "\""));
        QVERIFY(qint64(events.size()) <= elapsedNs / intervalNs + 1);
    }
    // A reading that changed once is announced once; one that never changed,
    // never.
    QCOMPARE(announced[w.ui.Label_mode].size(), std::size_t(1));
    QCOMPARE(announced[w.ui.Label_errcode].size(), std::size_t(1));
    QCOMPARE(announced[w.ui.Label_Com].size(), std::size_t(0));
    QCOMPARE(announced[w.ui.Label3].size(), std::size_t(0));
    // The stream did outrun the screen, so the coalescing was put to work.
    QVERIFY2(blocks > 4 * int(announced[w.ui.Label_posx].size()),
             qPrintable(QString("%1 blocks, %2 announcements")
                            .arg(blocks)
                            .arg(announced[w.ui.Label_posx].size())));
    QVERIFY(announced[w.ui.Label_posx].size() >= 2);
}

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
