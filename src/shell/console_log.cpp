#include "console_log.h"

#include "history_model.h"
#include "serial_connection.h"
#include "system_tick.h"

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

bool SerialLink::isOpen() const {
    return connection_.isOpen();
}

std::size_t SerialLink::writeBlock(const std::uint8_t* data, std::size_t size) {
    const std::int64_t writtenAt = UnixNanosecondsNow();
    connection_.output(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    const auto taken = static_cast<std::size_t>(connection_.lastWriteTaken());
    if (taken > 0 && tap_) {
        tap_(data, taken, writtenAt);
    }
    return taken;
}
