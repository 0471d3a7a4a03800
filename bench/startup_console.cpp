// The console's start, as main.cpp makes it, up to its main window shown and
// painted; started by startup_bench, which it tells the time taken.

#include "first_paint_probe.h"

#include "main_frm.h"
#include "port_set.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    bench::printStartupStage("application");
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
    bench::printStartupStage("window_built");
    bench::FirstPaintProbe probe(&window);
    window.show();
    return app.exec();
}
