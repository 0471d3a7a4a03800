#include "console_application.h"

#include <exception>

ConsoleApplication::ConsoleApplication(int& argc, char** argv) : QApplication(argc, argv) {}

ConsoleApplication* ConsoleApplication::instance() {
    return qobject_cast<ConsoleApplication*>(QCoreApplication::instance());
}

bool ConsoleApplication::notify(QObject* receiver, QEvent* event) {
    QString what;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        what = QString::fromLocal8Bit(error.what());
    } catch (...) {
        what = QStringLiteral("an unknown exception");
    }
    qCritical("kelmora: an event handler failed (%s); the console carries on", qPrintable(what));
    emit handlerFailed(what);
    return false;
}
