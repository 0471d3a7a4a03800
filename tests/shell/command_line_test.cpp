// The console's command line, read before QApplication exists.

#include "command_line.h"

#include <QtTest>

using Action = ConsoleCommandLine::Action;

Q_DECLARE_METATYPE(ConsoleCommandLine::Action)

namespace {
std::vector<std::string> Words(const QString& line) {
    std::vector<std::string> words;
    for (const QString& word : line.split(' ', Qt::SkipEmptyParts)) {
        words.push_back(word.toStdString());
    }
    return words;
}
} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void readsOptionsInOrder_data();
    void readsOptionsInOrder();
};

void CommandLineTest::readsOptionsInOrder_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("port");      // "(none)": no preset
    QTest::addColumn<QString>("qtOptions"); // what QApplication is given
    QTest::addColumn<QString>("record");    // "(none)": no recording
    const auto row = [](const char* name, const char* line, Action action, const char* port = "",
                        const char* qtOptions = "", const char* record = "(none)") {
        QTest::newRow(name) << QString(line) << action << QString(port) << QString(qtOptions)
                            << QString(record);
    };

    // The port preset, and Qt's options handed on with their values.
    row("no arguments", "", Action::Run, "(none)");
    row("port, separate", "--port /dev/ttyUSB0", Action::Run, "/dev/ttyUSB0");
    row("port, joined", "--port=3", Action::Run, "3");
    row("the last port counts", "--port 1 --port 2", Action::Run, "2");
    row("qt options around the port",
        "-style Fusion --port /dev/ttyS0 --platform offscreen -reverse", Action::Run, "/dev/ttyS0",
        "-style Fusion --platform offscreen -reverse");
    row("qt option joined", "-style=fusion", Action::Run, "(none)", "-style=fusion");
    // A port that looks like a Qt option is still the port, and Qt never sees it.
    row("port named like a qt option", "--port -style", Action::Run, "-style");
    row("record, separate, with a port", "--record run.his --port 3", Action::Run, "3", "",
        "run.his");
    row("record, joined, then qt", "--record=/tmp/run.pcapng -reverse", Action::Run, "(none)",
        "-reverse", "/tmp/run.pcapng");
    row("record without value", "--port 3 --record", Action::Refuse);
    row("record with empty value", "--record=", Action::Refuse);
    // The publishing options are the console's own: Qt never sees them.
    row("mqtt options", "--mqtt mqtt://h:1883 --mqtt-machine m1 --mqtt-config=f.conf -reverse",
        Action::Run, "(none)", "-reverse");
    row("mqtt with empty value", "--mqtt=", Action::Refuse);

    // The first --help, --version or fault decides.
    row("help", "--port 3 --help --bogus", Action::ShowHelp);
    row("short version", "-v", Action::ShowVersion);
    row("fault before help", "--bogus --help", Action::Refuse);
    row("mistyped port", "--prot /dev/ttyUSB0", Action::Refuse);
    row("port without value", "--port", Action::Refuse);
    row("port with empty value", "--port=", Action::Refuse);
    row("qt option without value", "--port 3 -platform", Action::Refuse);
    row("stray word", "/dev/ttyUSB0", Action::Refuse);
}

void CommandLineTest::readsOptionsInOrder() {
    QFETCH(QString, line);
    QFETCH(Action, action);
    QFETCH(QString, port);
    QFETCH(QString, qtOptions);
    QFETCH(QString, record);

    const ConsoleCommandLine parsed = ParseConsoleCommandLine(Words(line));
    QCOMPARE(parsed.action, action);
    if (action == Action::Refuse) {
        QVERIFY(!parsed.error.empty());
        return;
    }
    if (action != Action::Run) {
        return;
    }
    QCOMPARE(parsed.port ? QString::fromStdString(*parsed.port) : QString("(none)"), port);
    QCOMPARE(parsed.qtArguments, Words(qtOptions));
    QCOMPARE(parsed.record ? QString::fromStdString(*parsed.record) : QString("(none)"), record);
}

QTEST_APPLESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
