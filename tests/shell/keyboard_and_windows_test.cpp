// Keyboard shortcuts, the default button, the floating window's life cycle and
// the port settings dialog's entry points.

#include "float_window.h"
#include "history_model.h"
#include "main_frm.h"
#include "port_set.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

namespace {
// A history line the keys can clear without the port being open.
void addLine(Main_frm& w) {
    w.history().appendText("line");
}
} // namespace

class KeyboardAndWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void spaceClearsTheHistoryWhenTheFocusIsOnAButton();
    void keysTypedIntoATextBoxTriggerNothing();
    void upperCaseDoesNothing();
    void keyIsNotSwallowed();
    void aRepeatIsTheSameKeyAgainWithin2MsAndNothingBetween_data();
    void aRepeatIsTheSameKeyAgainWithin2MsAndNothingBetween();
    void enterPressesTheDefaultButton();
    void floatToggleAndCloseBox();
    void floatCreatedHiddenOnFirstUse();
    void dialogShownThreeWays();
};

void KeyboardAndWindowsTest::spaceClearsTheHistoryWhenTheFocusIsOnAButton() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    addLine(w);
    w.ui.Com_Refresh->setFocus();
    QTest::keyClick(w.ui.Com_Refresh, Qt::Key_Space);
    QCOMPARE(w.history().count(), 0);

    addLine(w);
    w.ui.List1->setFocus();
    QTest::keyClick(w.ui.List1, Qt::Key_Space);
    QCOMPARE(w.history().count(), 0);

    addLine(w);
    w.ui.spindel_check->setFocus();
    QTest::keyClick(w.ui.spindel_check, Qt::Key_Space);
    QCOMPARE(w.history().count(), 0);
}

void KeyboardAndWindowsTest::keysTypedIntoATextBoxTriggerNothing() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    addLine(w);
    w.ui.v_end->setFocus();
    w.ui.v_end->clear();
    QTest::keyClicks(w.ui.v_end, "x y z c");
    QCOMPARE(w.ui.v_end->text(), QString("x y z c"));
    QCOMPARE(w.history().count(), 1);
}

void KeyboardAndWindowsTest::upperCaseDoesNothing() {
    Main_frm w;
    addLine(w);
    w.Form_KeyPress('X');
    w.Form_KeyPress('C');
    w.Form_KeyPress('a');
    QCOMPARE(w.history().count(), 1);
    w.Form_KeyPress(' ');
    QCOMPARE(w.history().count(), 0);
}

void KeyboardAndWindowsTest::keyIsNotSwallowed() {
    // Space on a check box reached with Tab ticks the box, and is the box's
    // alone: the history stays.
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    addLine(w);
    for (int i = 0; i < 200 && QApplication::focusWidget() != w.ui.cool_check; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(QApplication::focusWidget(), w.ui.cool_check);
    QTest::keyClick(w.ui.cool_check, Qt::Key_Space);
    QCOMPARE(w.history().count(), 1);
    QVERIFY(w.ui.cool_check->isChecked());
}

void KeyboardAndWindowsTest::aRepeatIsTheSameKeyAgainWithin2MsAndNothingBetween_data() {
    // Space let go at 1000 ms, something in between (or not), Space pressed
    // again: the X server's repeat of a held key looks like that, unmarked.
    QTest::addColumn<QString>("between"); // "", "x", "x elsewhere", "click"
    QTest::addColumn<quint64>("releasedAt");
    QTest::addColumn<quint64>("pressedAt");
    QTest::addColumn<bool>("acts");
    QTest::newRow("held: 1 ms later") << QString() << quint64(1000) << quint64(1001) << false;
    QTest::newRow("held: 2 ms later") << QString() << quint64(1000) << quint64(1002) << false;
    QTest::newRow("pressed again 3 ms later")
        << QString() << quint64(1000) << quint64(1003) << true;
    QTest::newRow("another key between") << "x" << quint64(1000) << quint64(1001) << true;
    QTest::newRow("a key between, in another window")
        << "x elsewhere" << quint64(1000) << quint64(1001) << true;
    QTest::newRow("a click between") << "click" << quint64(1000) << quint64(1001) << true;
    QTest::newRow("no time stamps") << QString() << quint64(0) << quint64(0) << true;
}

void KeyboardAndWindowsTest::aRepeatIsTheSameKeyAgainWithin2MsAndNothingBetween() {
    QFETCH(QString, between);
    QFETCH(quint64, releasedAt);
    QFETCH(quint64, pressedAt);
    QFETCH(bool, acts);
    Main_frm w;
    QWidget elsewhere;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.ui.List1->setFocus();
    const auto key = [](QWidget* to, QEvent::Type type, int code, const QString& text, quint64 at) {
        QKeyEvent event(type, code, Qt::NoModifier, 65, code, 0, text);
        event.setTimestamp(at);
        QApplication::sendEvent(to, &event);
    };
    key(w.ui.List1, QEvent::KeyPress, Qt::Key_Space, " ", releasedAt);
    key(w.ui.List1, QEvent::KeyRelease, Qt::Key_Space, " ", releasedAt);
    addLine(w);
    if (between == "x" || between == "x elsewhere") {
        key(between == "x" ? static_cast<QWidget*>(w.ui.List1) : &elsewhere, QEvent::KeyPress,
            Qt::Key_X, "x", releasedAt);
    } else if (between == "click") {
        QMouseEvent click(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.ui.List1->viewport(), &click);
        w.ui.List1->setFocus();
    }
    key(w.ui.List1, QEvent::KeyPress, Qt::Key_Space, " ", pressedAt);
    QCOMPARE(w.history().count(), acts ? 0 : 1);
}

void KeyboardAndWindowsTest::enterPressesTheDefaultButton() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.presetPort("/dev/kelmora-no-such-port");
    // Enter in a text box presses the default button, "Open Port": it fails
    // on a missing port and says so.
    w.ui.v_end->setFocus();
    QTest::keyClick(w.ui.v_end, Qt::Key_Return);
    QVERIFY(w.statusMessage().startsWith("Open Port:"));
    QVERIFY(w.ui.Command1->isEnabled());

    // A button the operator moved to with Tab takes Enter for itself.
    addLine(w);
    w.ui.v_end->setFocus();
    for (int i = 0; i < 200 && QApplication::focusWidget() != w.ui.Com_ClrHis; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(QApplication::focusWidget(), w.ui.Com_ClrHis);
    QTest::keyClick(w.ui.Com_ClrHis, Qt::Key_Return);
    QCOMPARE(w.history().count(), 0);
}

void KeyboardAndWindowsTest::floatToggleAndCloseBox() {
    Main_frm w;
    w.show();
    w.float_on_off_Click();
    Float* first = w.existingFloatWindow();
    QVERIFY(first != nullptr);
    QVERIFY(first->isVisible());
    QVERIFY(first->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(first->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QCOMPARE(first->windowTitle(), QString("Current Datasets"));
    QCOMPARE(first->size(), QSize(554, 26));

    w.float_on_off_Click();
    QVERIFY(!first->isVisible());
    first->model().appendText("kept while hidden");
    w.float_on_off_Click();
    QVERIFY(first->isVisible());
    QCOMPARE(first->model().count(), 1);

    // The close box discards the window and its lines.
    QPointer<Float> closed = first;
    first->close();
    QTRY_VERIFY(closed.isNull());
    w.float_on_off_Click();
    QVERIFY(w.existingFloatWindow() != nullptr);
    QVERIFY(w.existingFloatWindow()->isVisible());
    QCOMPARE(w.existingFloatWindow()->model().count(), 0);
}

void KeyboardAndWindowsTest::floatCreatedHiddenOnFirstUse() {
    Main_frm w;
    QVERIFY(w.existingFloatWindow() == nullptr);
    Float& window = w.floatWindow();
    QVERIFY(!window.isVisible());
    // Its list fills the window when it grows, and keeps its registered size
    // when it is made smaller.
    window.show();
    window.resize(800, 120);
    QCOMPARE(window.List1->geometry(), QRect(0, 0, 800 - 1, 120));
    window.resize(300, 20);
    QCOMPARE(window.List1->geometry(), QRect(0, 0, 553, 26));
}

void KeyboardAndWindowsTest::dialogShownThreeWays() {
    Main_frm w;
    w.show();
    Port_Set* dialog = w.existingPortSettings();
    QVERIFY(dialog != nullptr);
    w.ui.Com_Com_Set->click();
    QVERIFY(dialog->isVisible());
    dialog->hide();
    w.opt->trigger();
    QVERIFY(dialog->isVisible());
    dialog->hide();
    QTest::mouseDClick(w.ui.Label_Com, Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    // Modeless: the main window stays usable meanwhile.
    QVERIFY(!dialog->isModal());
}

QTEST_MAIN(KeyboardAndWindowsTest)
#include "keyboard_and_windows_test.moc"
