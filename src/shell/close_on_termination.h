#pragma once
// Closes a window, as its close box does, when the process is asked to end
// (SIGINT from the terminal, SIGTERM or SIGHUP from the session): its
// close handler then runs to its end, instead of the process dying with a
// recording's last lines unwritten. The signal is taken on the window's
// own thread through a pipe; a second signal ends the process at once.

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

class CloseOnTermination : public QObject {
    Q_OBJECT
public:
    explicit CloseOnTermination(QWidget* window);
    ~CloseOnTermination() override;

private:
    void signalled();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};
