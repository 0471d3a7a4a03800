// The yardstick for kelmora-ctl's start: a Qt Core program that starts and
// ends, doing nothing.

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return 0;
}
