#pragma once
// The send path's view of the console: the three lists (FrameLog), which
// forward to models the main window owns. Its port is a SerialLink.

#include <frames/command_channel.h>

#include "serial_link.h"

#include <functional>

class HistoryModel;

class ConsoleLog : public FrameLog {
public:
    // `floatModel` returns the floating window's list model, creating the
    // window (hidden) when it does not exist.
    ConsoleLog(HistoryModel& datasets, HistoryModel& history,
               std::function<HistoryModel&()> floatModel)
        : datasets_(datasets), history_(history), floatModel_(std::move(floatModel)) {}

    // Runs before each change to the lists: whatever was received before it
    // is logged first.
    void setBeforeLine(std::function<void()> before) { before_ = std::move(before); }

    void clearDatasets() override;
    void appendSentFrame(const CommandFrame& frame) override;
    void appendReferenceRun(std::string_view line) override;
    void withdrawLastLine() override;

private:
    void logReceived();

    HistoryModel& datasets_;
    HistoryModel& history_;
    std::function<HistoryModel&()> floatModel_;
    std::function<void()> before_;
};
