// Parsing of the line settings text "speed,parity,data bits,stop bits".

#include "line_settings.h"

#include <QtTest>

class LineSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void acceptedTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");

        QTest::newRow("console default") << "115200,n,8,1" << 115200 << int(QSerialPort::NoParity)
                                         << 8 << int(QSerialPort::OneStop);
        QTest::newRow("upper case, even, 7, 2")
            << "9600,E,7,2" << 9600 << int(QSerialPort::EvenParity) << 7
            << int(QSerialPort::TwoStop);
        QTest::newRow("odd") << "19200,o,8,1" << 19200 << int(QSerialPort::OddParity) << 8
                             << int(QSerialPort::OneStop);
        QTest::newRow("mark, 5, 1.5") << "300,m,5,1.5" << 300 << int(QSerialPort::MarkParity) << 5
                                      << int(QSerialPort::OneAndHalfStop);
        QTest::newRow("space, 6") << "1200,S,6,1" << 1200 << int(QSerialPort::SpaceParity) << 6
                                  << int(QSerialPort::OneStop);
        QTest::newRow("blanks around fields")
            << " 57600 , n , 8 , 1 " << 57600 << int(QSerialPort::NoParity) << 8
            << int(QSerialPort::OneStop);
        QTest::newRow("largest speed")
            << "2147483647,n,8,1" << 2147483647 << int(QSerialPort::NoParity) << 8
            << int(QSerialPort::OneStop);
    }

    void acceptedTexts() {
        QFETCH(QString, text);
        const LineSettingsParse parse = ParseLineSettings(text);
        QVERIFY2(parse.settings.has_value(), qPrintable(parse.reason));
        QTEST(int(parse.settings->speed), "speed");
        QTEST(int(parse.settings->parity), "parity");
        QTEST(int(parse.settings->dataBits), "dataBits");
        QTEST(int(parse.settings->stopBits), "stopBits");
        QVERIFY(parse.reason.isEmpty());
    }

    void refusedTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reasonPart");

        QTest::newRow("empty") << ""
                               << "four parts";
        QTest::newRow("three fields") << "115200,n,8"
                                      << "four parts";
        QTest::newRow("five fields") << "115200,n,8,1,x"
                                     << "four parts";
        QTest::newRow("speed not a number") << "fast,n,8,1"
                                            << "Speed \"fast\"";
        QTest::newRow("speed zero") << "0,n,8,1"
                                    << "Speed \"0\"";
        QTest::newRow("speed negative") << "-9600,n,8,1"
                                        << "Speed \"-9600\"";
        QTest::newRow("speed with fraction") << "9600.5,n,8,1"
                                             << "Speed";
        QTest::newRow("speed beyond 32 bits") << "2147483648,n,8,1"
                                              << "Speed";
        QTest::newRow("speed missing") << ",n,8,1"
                                       << "Speed";
        QTest::newRow("parity word") << "9600,none,8,1"
                                     << "Parity \"none\"";
        QTest::newRow("parity unknown") << "9600,x,8,1"
                                        << "Parity \"x\"";
        QTest::newRow("four data bits") << "9600,n,4,1"
                                        << "Data bits \"4\"";
        QTest::newRow("nine data bits") << "9600,n,9,1"
                                        << "Data bits \"9\"";
        QTest::newRow("three stop bits") << "9600,n,8,3"
                                         << "Stop bits \"3\"";
        QTest::newRow("stop bits 1,5 split") << "9600,n,8,1,5"
                                             << "four parts";
    }

    void refusedTexts() {
        QFETCH(QString, text);
        QFETCH(QString, reasonPart);
        const LineSettingsParse parse = ParseLineSettings(text);
        QVERIFY(!parse.settings.has_value());
        QVERIFY2(parse.reason.contains(reasonPart), qPrintable(parse.reason));
    }

    void designTimeSettingsParse() {
        const LineSettingsParse parse = ParseLineSettings(QString::fromLatin1(DesignTimeSettings));
        QVERIFY(parse.settings.has_value());
        QCOMPARE(parse.settings->speed, 115200);
    }
};

QTEST_GUILESS_MAIN(LineSettingsTest)
#include "line_settings_test.moc"
