// The port settings dialog: its start texts, OK, Cancel, the keys, and
// closing it with the close box (a Cancel).

#include "port_set.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class PortSetTest : public QObject {
    Q_OBJECT

private:
    static QComboBox* portBox(Port_Set& dialog) {
        return dialog.findChild<QComboBox*>(QStringLiteral("Text_Com"));
    }
    static QLineEdit* speedBox(Port_Set& dialog) {
        return dialog.findChild<QLineEdit*>(QStringLiteral("Text_Baud"));
    }
    static QPushButton* button(Port_Set& dialog, const char* name) {
        return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void startsWithTheDesignTimeTexts() {
        Port_Set dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Port Settings"));
        QCOMPARE(dialog.comText(), QStringLiteral("3"));
        QCOMPARE(dialog.baudText(), QStringLiteral("115200"));
        QCOMPARE(dialog.acceptedPort(), QStringLiteral("3"));
        QCOMPARE(dialog.acceptedSpeed(), 115200);
        QVERIFY(!speedBox(dialog)->isEnabled());
        QVERIFY(portBox(dialog)->isEditable());
        QCOMPARE(dialog.minimumSize(), QSize(218, 121));
        QCOMPARE(dialog.maximumSize(), QSize(218, 121));
        QVERIFY(dialog.isHidden());
    }

    void captionsAndAccessibleNames_data() {
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<QString>("accessibleName");
        QTest::newRow("Label1") << "Label1"
                                << "Com Port:";
        QTest::newRow("Text_Com") << "Text_Com"
                                  << "Com Port";
        QTest::newRow("Label2") << "Label2"
                                << "Baudrate:";
        QTest::newRow("Text_Baud") << "Text_Baud"
                                   << "Baudrate";
        QTest::newRow("Command_OK") << "Command_OK"
                                    << "OK";
        QTest::newRow("Command_Cancel") << "Command_Cancel"
                                        << "Cancel";
    }

    void captionsAndAccessibleNames() {
        QFETCH(QString, objectName);
        Port_Set dialog;
        QWidget* control = dialog.findChild<QWidget*>(objectName);
        QVERIFY(control);
        QTEST(control->accessibleName(), "accessibleName");
        if (auto* label = qobject_cast<QLabel*>(control)) {
            QCOMPARE(label->text(), control->accessibleName());
            QVERIFY(label->alignment() & Qt::AlignRight);
        }
    }

    void okIsTheDefaultAndCancelIsNotEsc() {
        Port_Set dialog;
        QVERIFY(button(dialog, "Command_OK")->isDefault());
        QVERIFY(!button(dialog, "Command_Cancel")->isDefault());
    }

    void opensWithTheFocusInThePortBoxAndTabsInOrder() {
        Port_Set dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTRY_VERIFY(portBox(dialog)->hasFocus());
        // The disabled speed box is skipped.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(button(dialog, "Command_OK")->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(button(dialog, "Command_Cancel")->hasFocus());
    }

    void okAcceptsAndAnnounces_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("portText");
        QTest::addColumn<QString>("accepted");
        QTest::newRow("port four") << "4"
                                   << "Com 4 115200,8,n,1"
                                   << "4";
        QTest::newRow("blanks") << " 7 "
                                << "Com 7 115200,8,n,1"
                                << "7";
        QTest::newRow("device") << "/dev/ttyUSB0"
                                << "Com /dev/ttyUSB0 115200,8,n,1"
                                << "/dev/ttyUSB0";
    }

    void okAcceptsAndAnnounces() {
        QFETCH(QString, typed);
        Port_Set dialog;
        QSignalSpy announced(&dialog, &Port_Set::portTextAccepted);
        QSignalSpy refused(&dialog, &Port_Set::inputRefused);
        dialog.show();
        dialog.setComText(typed);
        QTest::mouseClick(button(dialog, "Command_OK"), Qt::LeftButton);
        QVERIFY(dialog.isHidden());
        QCOMPARE(announced.count(), 1);
        QTEST(announced.at(0).at(0).toString(), "portText");
        QTEST(dialog.acceptedPort(), "accepted");
        QCOMPARE(refused.count(), 0);
    }

    void enterInThePortBoxPressesOk() {
        Port_Set dialog;
        QSignalSpy announced(&dialog, &Port_Set::portTextAccepted);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.setComText(QStringLiteral("6"));
        const int offered = portBox(dialog)->count();
        QTRY_VERIFY(portBox(dialog)->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(announced.count(), 1);
        QCOMPARE(announced.at(0).at(0).toString(), QStringLiteral("Com 6 115200,8,n,1"));
        QVERIFY(dialog.isHidden());
        QCOMPARE(portBox(dialog)->count(), offered); // typed text is not added to the list
    }

    void cancelRestoresTheLastAcceptedPort() {
        Port_Set dialog;
        QSignalSpy announced(&dialog, &Port_Set::portTextAccepted);
        dialog.show();
        dialog.setComText(QStringLiteral("4"));
        QTest::mouseClick(button(dialog, "Command_OK"), Qt::LeftButton);

        dialog.show();
        dialog.setComText(QStringLiteral("9"));
        QTest::mouseClick(button(dialog, "Command_Cancel"), Qt::LeftButton);
        QVERIFY(dialog.isHidden());
        QCOMPARE(dialog.comText(), QStringLiteral("4"));
        QCOMPARE(dialog.baudText(), QStringLiteral("115200"));
        QCOMPARE(announced.count(), 1);
    }

    void escapeDoesNothing() {
        Port_Set dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.setComText(QStringLiteral("8"));
        QTRY_VERIFY(portBox(dialog)->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.comText(), QStringLiteral("8"));
        QCOMPARE(dialog.acceptedPort(), QStringLiteral("3"));
    }

    void garbageOnOkKeepsThePreviousValues_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("letters") << "abc!";
        QTest::newRow("empty") << "";
        QTest::newRow("zero") << "0";
        QTest::newRow("beyond 16 bits") << "40000";
    }

    void garbageOnOkKeepsThePreviousValues() {
        QFETCH(QString, typed);
        Port_Set dialog;
        QSignalSpy announced(&dialog, &Port_Set::portTextAccepted);
        QSignalSpy refused(&dialog, &Port_Set::inputRefused);
        dialog.show();
        dialog.setComText(QStringLiteral("5"));
        QTest::mouseClick(button(dialog, "Command_OK"), Qt::LeftButton);
        QCOMPARE(announced.count(), 1);

        dialog.show();
        dialog.setComText(typed);
        QTest::mouseClick(button(dialog, "Command_OK"), Qt::LeftButton);
        QVERIFY(dialog.isHidden());
        QCOMPARE(announced.count(), 1);
        QCOMPARE(refused.count(), 1);
        QVERIFY(!refused.at(0).at(0).toString().isEmpty());
        QCOMPARE(dialog.acceptedPort(), QStringLiteral("5"));
        QCOMPARE(dialog.acceptedSpeed(), 115200);
        QCOMPARE(dialog.comText(), QStringLiteral("5"));
        QCOMPARE(dialog.baudText(), QStringLiteral("115200"));
    }

    void showingKeepsTheTextAndOffersThePorts() {
        Port_Set dialog;
        dialog.setComText(QStringLiteral("/dev/pts/9"));
        dialog.show();
        QCOMPARE(dialog.comText(), QStringLiteral("/dev/pts/9"));
        dialog.hide();
        dialog.show();
        QCOMPARE(dialog.comText(), QStringLiteral("/dev/pts/9"));
    }

    void closeBoxKeepsTheAcceptedPortLikeCancel() {
        Port_Set dialog;
        dialog.show();
        dialog.setComText(QStringLiteral("4"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Command_OK")),
                          Qt::LeftButton);
        dialog.show();
        dialog.setComText(QStringLiteral("9"));
        QVERIFY(dialog.close());
        QVERIFY(dialog.isHidden());
        QCOMPARE(dialog.comText(), QStringLiteral("4"));
        QCOMPARE(dialog.acceptedPort(), QStringLiteral("4"));
    }
};

QTEST_MAIN(PortSetTest)
#include "port_set_test.moc"
