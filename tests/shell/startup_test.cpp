// The main window as the operator finds it after start-up, its menus, and
// shutdown.

#include "float_window.h"
#include "history_model.h"
#include "lamp.h"
#include "main_frm.h"
#include "port_set.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void windowProperties();
    void coordinateTableAndDriveSetup();
    void zeroPointReferenceGridAndCommandFrames();
    void portStripAndDialog();
    void statusPanelBeforeFirstFrame();
    void menusCaptionsAndShortcuts();
    void everyControlHasAnAccessibleName();
    void tabOrderFollowsTheAreas();
    void quitUnloadsEveryWindow();
    void closingWhileOpenEndsWithoutAQuestion();
};

void StartupTest::windowProperties() {
    Main_frm w;
    QCOMPARE(w.windowTitle(), QString("Kelmora"));
    QCOMPARE(w.centralWidget()->size(), QSize(808, 539));
    QCOMPARE(w.versionText(), QString("V0.5B"));
    QVERIFY(!w.Timer1.isActive());
    QVERIFY(!w.Statem_timer.isActive());
    QCOMPARE(w.Timer1.interval(), 500);
    QCOMPARE(w.Statem_timer.interval(), 1000);
    QCOMPARE(w.history().count(), 0);
    QCOMPARE(w.datasets().count(), 0);
    QVERIFY(w.existingFloatWindow() == nullptr);
    QVERIFY(!w.MSComm1.isOpen());
}

void StartupTest::coordinateTableAndDriveSetup() {
    Main_frm w;
    const char* xz[6] = {"50", "-50", "-50", "50", "0", "0"};
    const char* yc[6] = {"50", "50", "-50", "-50", "0", "0"};
    for (int row = 0; row < 6; ++row) {
        QCOMPARE(w.ui.x_z[row]->text(), QString(xz[row]));
        QCOMPARE(w.ui.y_c[row]->text(), QString(yc[row]));
        QCOMPARE(w.ui.x_z[row]->objectName(), QString("x_z_%1").arg(row + 1));
    }
    QCOMPARE(w.ui.num_coord->text(), QString("4"));
    QCOMPARE(w.ui.v_end->text(), QString("0"));
    QVERIFY(w.ui.Option1[0]->isChecked());
    QVERIFY(!w.ui.Option1[1]->isChecked());
    QCOMPARE(w.ui.Option1[0]->text(), QString("Steps"));
    for (QCheckBox* box : w.ui.Check1) {
        QVERIFY(!box->isChecked());
    }
    // Index 7 is the leftmost box.
    QVERIFY(w.ui.Check1[7]->x() < w.ui.Check1[0]->x());
    QCOMPARE(w.GetRampenbits(), std::uint8_t(0));
    QCOMPARE(w.ui.com_move_xy->text(), QString("Drive X / Y"));
    QCOMPARE(w.ui.com_move_zc->text(), QString("Drive Z / C"));

    // The units choice is one exclusive group.
    w.ui.Option1[1]->click();
    QVERIFY(!w.ui.Option1[0]->isChecked());
}

void StartupTest::zeroPointReferenceGridAndCommandFrames() {
    Main_frm w;
    QVERIFY(w.ui.null_step_option->isChecked());
    QVERIFY(!w.ui.Null_mm_option->isChecked());
    for (QLineEdit* box : {w.ui.Null_x, w.ui.Null_y, w.ui.Null_z, w.ui.Null_c}) {
        QCOMPARE(box->text(), QString("0"));
    }
    const std::array<std::array<QRadioButton*, 4>*, 4> columns{&w.ui.Option2, &w.ui.Option3,
                                                               &w.ui.Option4, &w.ui.Option5};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            QCOMPARE((*columns[column])[row]->isChecked(), row == column);
        }
    }
    // Each row is its own group: choosing c in row 1 leaves row 2 alone.
    w.ui.Option5[0]->click();
    QVERIFY(!w.ui.Option2[0]->isChecked());
    QVERIFY(w.ui.Option3[1]->isChecked());

    QVERIFY(w.ui.to_mode_1->isChecked());
    QCOMPARE(w.ui.to_mode_1->text(), QString(" -- > 1"));
    QVERIFY(!w.ui.spindel_check->isChecked());
    QVERIFY(!w.ui.cool_check->isChecked());
    QCOMPARE(w.ui.cool_check->text(), QString::fromUtf8("Kühlung"));
    QCOMPARE(w.ui.Frame4->title(), QString("Nullpunkt setzen"));
    QCOMPARE(w.ui.Frame3->title(), QString("Zusatzsignale"));
    QCOMPARE(w.ui.Moduswechsel->title(), QString("Moduswechsel"));
    QCOMPARE(w.ui.Label35->text(), QString("Referenzfahren"));
}

void StartupTest::portStripAndDialog() {
    Main_frm w;
    QCOMPARE(w.ui.Label_Com->text(), QString("Com 3 115200,n,8,1"));
    QVERIFY(w.ui.Command1->isEnabled());
    QVERIFY(w.ui.Command1->isDefault());
    QVERIFY(!w.ui.Command2->isEnabled());
    QVERIFY(!w.ui.Command2->isDefault());
    QCOMPARE(w.ui.Label3->colourValue(), 255u);
    // The dialog exists, hidden, from start-up on.
    QVERIFY(w.existingPortSettings() != nullptr);
    QVERIFY(!w.existingPortSettings()->isVisible());

    // A port preset on the command line shows the way start-up shows a port.
    w.presetPort("/dev/ttyUSB0");
    QCOMPARE(w.existingPortSettings()->comText(), QString("/dev/ttyUSB0"));
    QCOMPARE(w.ui.Label_Com->text(), QString("Com /dev/ttyUSB0 115200,n,8,1"));
    QVERIFY(w.ui.Label_Com->sizeHint().width() <= w.ui.Label_Com->width());
}

void StartupTest::statusPanelBeforeFirstFrame() {
    Main_frm w;
    for (QLabel* value : {w.ui.Label_posx, w.ui.Label_posy, w.ui.Label_posz, w.ui.Label_posc,
                          w.ui.Label_mode, w.ui.Label_errcode, w.ui.Label_framectr}) {
        QCOMPARE(value->text(), QString("- - -"));
    }
    for (Lamp* lamp : {w.ui.Label_boost, w.ui.Label_sleep, w.ui.Label_cool, w.ui.Label_spindel,
                       w.ui.Label_emergency, w.ui.Label_endx, w.ui.Label_endy, w.ui.Label_endz,
                       w.ui.Label_endc}) {
        QVERIFY(!lamp->hasColour());
    }
    QCOMPARE(w.ui.Pufferfüllstand->value(), 0);
    QCOMPARE(w.ui.label_bufferfill_prozent->text(), QString("0 %"));
    QCOMPARE(w.ui.Com_Refresh->text(), QString("Refresh Status"));
    QVERIFY(!w.ui.check_autorefresh->isChecked());
}

void StartupTest::menusCaptionsAndShortcuts() {
    Main_frm w;
    const QList<QAction*> menus = w.menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->text(), QString("File"));
    QCOMPARE(menus[1]->text(), QString("Edit"));
    QCOMPARE(menus[2]->text(), QString("View"));

    struct Entry {
        QAction* action;
        const char* caption;
        QKeySequence shortcut;
    };
    const Entry entries[] = {
        {w.Speichern, "Save History...", QKeySequence("Ctrl+S")},
        {w.recordHistory, "Record History to File...", QKeySequence()},
        {w.Print, "Print History...", QKeySequence()},
        {w.Beenden, "Quit", QKeySequence("Ctrl+Q")},
        {w.Copy, "Copy", QKeySequence("Ctrl+C")},
        {w.opt, "Com Settings", QKeySequence()},
        {w.float_on_off, "Toggle Floating Window", QKeySequence(Qt::Key_F1)},
    };
    for (const Entry& entry : entries) {
        QCOMPARE(entry.action->text(), QString(entry.caption));
        QCOMPARE(entry.action->shortcut(), entry.shortcut);
    }
    const QList<QAction*> file = menus[0]->menu()->actions();
    QCOMPARE(file.size(), 5);
    QCOMPARE(file[1], w.recordHistory);
    QVERIFY(file[3]->isSeparator());
}

void StartupTest::everyControlHasAnAccessibleName() {
    Main_frm w;
    QStringList unnamed;
    for (QWidget* widget : w.centralWidget()->findChildren<QWidget*>()) {
        const bool control = widget->focusPolicy() != Qt::NoFocus ||
                             qobject_cast<QLabel*>(widget) != nullptr ||
                             qobject_cast<QProgressBar*>(widget) != nullptr;
        if (control && widget->accessibleName().isEmpty() &&
            !widget->objectName().startsWith("qt_")) {
            unnamed << widget->objectName();
        }
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    QCOMPARE(w.ui.x_z[0]->accessibleName(), QString("X / Z 1"));
    QCOMPARE(w.ui.y_c[5]->accessibleName(), QString("Y / C 6"));
    QCOMPARE(w.ui.Check1[0]->accessibleName(), QString("Ramp bit 0"));
    QCOMPARE(w.ui.Option5[3]->accessibleName(), QString("Step 4 c"));
    QCOMPARE(w.ui.Null_c->accessibleName(), QString("Zero c"));
    QCOMPARE(w.ui.Label_endx->accessibleName(), QString("End X"));
    QCOMPARE(w.ui.Label3->accessibleName(), QString("Port")); // said as "Port: closed"
}

void StartupTest::tabOrderFollowsTheAreas() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* first = w.ui.x_z[0];
    QWidget* after = first->nextInFocusChain();
    while (after != nullptr && after->focusPolicy() == Qt::NoFocus) {
        after = after->nextInFocusChain();
    }
    QCOMPARE(after, static_cast<QWidget*>(w.ui.y_c[0]));
    // The drive setup comes before the status panel, which comes before the
    // history list.
    QList<QWidget*> chain;
    for (QWidget* widget = first->nextInFocusChain(); widget != first;
         widget = widget->nextInFocusChain()) {
        chain << widget;
    }
    QVERIFY(chain.indexOf(w.ui.com_move_zc) < chain.indexOf(w.ui.Com_Refresh));
    QVERIFY(chain.indexOf(w.ui.Com_Refresh) < chain.indexOf(w.ui.Command1));
    QVERIFY(chain.indexOf(w.ui.Command1) < chain.indexOf(w.ui.Command3));
    QVERIFY(chain.indexOf(w.ui.Command3) < chain.indexOf(w.ui.List1));
}

void StartupTest::quitUnloadsEveryWindow() {
    auto* w = new Main_frm;
    w->show();
    w->float_on_off_Click();
    w->opt_Click();
    QPointer<Float> floating = w->existingFloatWindow();
    QPointer<Port_Set> dialog = w->existingPortSettings();
    QVERIFY(floating && floating->isVisible());
    QVERIFY(dialog && dialog->isVisible());
    w->Beenden_Click();
    QVERIFY(!w->isVisible());
    QVERIFY(floating.isNull());
    QVERIFY(dialog.isNull());
    delete w;
}

void StartupTest::closingWhileOpenEndsWithoutAQuestion() {
    Main_frm w;
    w.show();
    QVERIFY(w.close()); // nothing asked, never cancelled
    QVERIFY(!w.isVisible());
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
