// Kelmora: operator console for a four-axis motion controller.

#include "main_frm.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kelmora");
    QApplication::setApplicationVersion("V0.5B");

    QCommandLineParser parser;
    parser.setApplicationDescription("Operator console for a four-axis motion controller");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption portOption(
        "port", "Preset the Com Port box: a port number or a device name (/dev/ttyUSB0).", "NAME");
    parser.addOption(portOption);
    parser.process(app);

    Main_frm window;
    if (parser.isSet(portOption)) {
        window.presetPort(parser.value(portOption));
    }
    window.show();
    return app.exec();
}
