#pragma once
// The console's application object. Nothing thrown may leave an event
// handler: Qt's event loop is not made to carry an exception, and a console
// that dies loses its only log while the machine goes on unwatched. What a
// handler throws is caught here, said on stderr and to whoever listens
// (the main window's status bar), and the console carries on.

#include <QApplication>

class ConsoleApplication : public QApplication {
    Q_OBJECT
public:
    ConsoleApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The running console application, if the application is one.
    static ConsoleApplication* instance();

signals:
    // An event handler threw; `what` says what it threw.
    void handlerFailed(const QString& what);
};
