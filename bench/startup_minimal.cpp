// The yardstick for the console's start: the least a Qt Widgets program does
// to show a window, one empty window of the console's size.

#include "first_paint_probe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(808, 580);
    bench::FirstPaintProbe probe(&window);
    window.show();
    return app.exec();
}
