// From the port text an operator types to the device opened, and the texts
// the settings dialog accepts.

#include "port_name.h"
#include "port_settings_text.h"

#include <QLocale>
#include <QtTest>

class PortNameTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void resolvedTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("accepted");

        QTest::newRow("first port") << "1"
                                    << "/dev/ttyS0"
                                    << "1";
        QTest::newRow("third port") << "3"
                                    << "/dev/ttyS2"
                                    << "3";
        QTest::newRow("blanks around") << " 4\t"
                                       << "/dev/ttyS3"
                                       << "4";
        QTest::newRow("plus sign") << "+5"
                                   << "/dev/ttyS4"
                                   << "5";
        QTest::newRow("fraction rounds down") << "2.4"
                                              << "/dev/ttyS1"
                                              << "2";
        QTest::newRow("half rounds to even") << "2.5"
                                             << "/dev/ttyS1"
                                             << "2";
        QTest::newRow("half rounds up to even") << "3.5"
                                                << "/dev/ttyS3"
                                                << "4";
        QTest::newRow("exponent") << "1e1"
                                  << "/dev/ttyS9"
                                  << "10";
        QTest::newRow("largest number") << "32767"
                                        << "/dev/ttyS32766"
                                        << "32767";
        QTest::newRow("usb adapter") << "/dev/ttyUSB0"
                                     << "/dev/ttyUSB0"
                                     << "/dev/ttyUSB0";
        QTest::newRow("acm device") << "/dev/ttyACM0"
                                    << "/dev/ttyACM0"
                                    << "/dev/ttyACM0";
        QTest::newRow("pty") << "/dev/pts/5"
                             << "/dev/pts/5"
                             << "/dev/pts/5";
        QTest::newRow("stable symlink") << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"
                                        << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"
                                        << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
        QTest::newRow("path with blanks around") << "  /dev/ttyUSB1 "
                                                 << "/dev/ttyUSB1"
                                                 << "/dev/ttyUSB1";
        QTest::newRow("bare tty name") << "ttyUSB0"
                                       << "/dev/ttyUSB0"
                                       << "ttyUSB0";
        QTest::newRow("bare rfcomm name") << "rfcomm0"
                                          << "/dev/rfcomm0"
                                          << "rfcomm0";
    }

    void resolvedTexts() {
#ifndef Q_OS_LINUX
        QSKIP("the numbered port locations in this table are Linux ones");
#endif
        QFETCH(QString, text);
        const PortNameResolution resolution = ResolvePortName(text);
        QVERIFY2(resolution.ok(), qPrintable(resolution.reason));
        QTEST(resolution.systemLocation, "location");
        QTEST(resolution.acceptedText, "accepted");
    }

    void refusedTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reasonPart");

        QTest::newRow("empty") << ""
                               << "No port";
        QTest::newRow("blanks") << "   "
                                << "No port";
        QTest::newRow("zero") << "0"
                              << "first port is 1";
        QTest::newRow("negative") << "-1"
                                  << "first port is 1";
        QTest::newRow("rounds to zero") << "0.4"
                                        << "first port is 1";
        QTest::newRow("beyond 16 bits") << "32768"
                                        << "out of range";
        QTest::newRow("far beyond") << "1e9"
                                    << "out of range";
        QTest::newRow("letters") << "abc!"
                                 << "neither";
        QTest::newRow("number with letters") << "3x"
                                             << "neither";
        QTest::newRow("word") << "three"
                              << "neither";
        QTest::newRow("group separator") << "1,000"
                                         << "neither";
        QTest::newRow("hex") << "0x3"
                             << "neither";
        QTest::newRow("prefix alone") << "tty"
                                      << "neither";
        QTest::newRow("name with blank") << "tty USB0"
                                         << "neither";
        QTest::newRow("root alone") << "/"
                                    << "neither";
    }

    void refusedTexts() {
        QFETCH(QString, text);
        QFETCH(QString, reasonPart);
        const PortNameResolution resolution = ResolvePortName(text);
        QVERIFY(!resolution.ok());
        QVERIFY(resolution.systemLocation.isEmpty());
        QVERIFY2(resolution.reason.contains(reasonPart), qPrintable(resolution.reason));
    }

    void availablePortsAreSystemLocations() {
        const QStringList names = AvailablePortNames();
        for (const QString& name : names)
            QVERIFY2(name.startsWith(QLatin1Char('/')), qPrintable(name));
    }

    void acceptedSettings_data() {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<QString>("speedText");
        QTest::addColumn<QString>("label");

        QTest::newRow("design time") << "3"
                                     << "115200"
                                     << "Com 3 115200,8,n,1";
        QTest::newRow("port four") << "4"
                                   << "115200"
                                   << "Com 4 115200,8,n,1";
        QTest::newRow("blanks dropped") << " 12 "
                                        << " 9600 "
                                        << "Com 12 9600,8,n,1";
        QTest::newRow("fractions rounded") << "4.6"
                                           << "9600.4"
                                           << "Com 5 9600,8,n,1";
        QTest::newRow("device name") << "/dev/ttyUSB0"
                                     << "115200"
                                     << "Com /dev/ttyUSB0 115200,8,n,1";
        QTest::newRow("largest speed") << "1"
                                       << "2147483647"
                                       << "Com 1 2147483647,8,n,1";
    }

    void acceptedSettings() {
        QFETCH(QString, portText);
        QFETCH(QString, speedText);
        const PortSettingsAcceptance accepted = AcceptPortSettings(portText, speedText);
        QVERIFY2(accepted.ok(), qPrintable(accepted.reason));
        QTEST(AcceptedPortText(accepted.port, accepted.speed), "label");
    }

    void refusedSettings_data() {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<QString>("speedText");
        QTest::addColumn<QString>("reasonPart");

        QTest::newRow("garbage port") << "abc!"
                                      << "115200"
                                      << "abc!";
        QTest::newRow("port zero") << "0"
                                   << "115200"
                                   << "first port";
        QTest::newRow("empty speed") << "3"
                                     << ""
                                     << "Baudrate";
        QTest::newRow("speed word") << "3"
                                    << "fast"
                                    << "Baudrate \"fast\"";
        QTest::newRow("speed zero") << "3"
                                    << "0"
                                    << "more than 0";
        QTest::newRow("speed beyond 32 bits") << "3"
                                              << "2147483648"
                                              << "Baudrate";
    }

    void refusedSettings() {
        QFETCH(QString, portText);
        QFETCH(QString, speedText);
        QFETCH(QString, reasonPart);
        const PortSettingsAcceptance accepted = AcceptPortSettings(portText, speedText);
        QVERIFY(!accepted.ok());
        QVERIFY2(accepted.reason.contains(reasonPart), qPrintable(accepted.reason));
    }
};

QTEST_GUILESS_MAIN(PortNameTest)
#include "port_name_test.moc"
