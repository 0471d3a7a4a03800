#include "console_log.h"

#include "history_model.h"

void ConsoleLog::clearDatasets() {
    datasets_.clear();
    floatModel_().clear();
}

void ConsoleLog::appendSentFrame(const CommandFrame& frame) {
    datasets_.appendSentFrame(frame);
    history_.appendSentFrame(frame);
    floatModel_().appendSentFrame(frame);
}

void ConsoleLog::appendReferenceRun(std::string_view line) {
    datasets_.appendText(line);
    history_.appendText(line);
    floatModel_().appendText(line);
}

void ConsoleLog::withdrawLastLine() {
    datasets_.removeLast();
    history_.removeLast();
    floatModel_().removeLast();
}
