#include "console_log.h"

#include "history_model.h"

void ConsoleLog::logReceived() {
    if (before_) {
        before_();
    }
}

void ConsoleLog::clearDatasets() {
    logReceived();
    datasets_.clear();
    floatModel_().clear();
}

void ConsoleLog::appendSentFrame(const CommandFrame& frame) {
    logReceived();
    datasets_.appendSentFrame(frame);
    history_.appendSentFrame(frame);
    floatModel_().appendSentFrame(frame);
}

void ConsoleLog::appendReferenceRun(std::string_view line) {
    logReceived();
    datasets_.appendText(line);
    history_.appendText(line);
    floatModel_().appendText(line);
}

void ConsoleLog::withdrawLastLine() {
    // Blocks read since the line went in are logged after it is gone: the
    // newest line is still the one to take back.
    datasets_.removeLast();
    history_.removeLast();
    floatModel_().removeLast();
}
