// A second yardstick for the console's start: one window showing one line of
// text, the least a window with anything to read needs (the fonts loaded).

#include "first_paint_probe.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Kelmora"));
    window.resize(808, 580);
    bench::FirstPaintProbe probe(&window);
    window.show();
    return app.exec();
}
