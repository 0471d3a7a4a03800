#pragma once
// Ctrl+C (SIGINT), SIGTERM and SIGHUP, taken on the event loop's thread
// through a pipe: the handler only writes the signal's number, and
// `onStop` runs between events, so a frame is never cut in two.

#include <QObject>

#include <functional>

class QSocketNotifier;

class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(std::function<void(int signal)> onStop, QObject* parent = nullptr);
    ~StopSignals() override;

private:
    void readSignal();

    std::function<void(int)> onStop_;
    QSocketNotifier* notifier_ = nullptr;
};
