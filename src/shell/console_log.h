#pragma once
// The send path's view of the console: the port (FrameLink) and the three
// lists (FrameLog). Both forward to objects the main window owns.

#include <frames/command_channel.h>

#include <functional>

class HistoryModel;
class SerialConnection;

class ConsoleLog : public FrameLog {
public:
    // `floatModel` returns the floating window's list model, creating the
    // window (hidden) when it does not exist.
    ConsoleLog(HistoryModel& datasets, HistoryModel& history,
               std::function<HistoryModel&()> floatModel)
        : datasets_(datasets), history_(history), floatModel_(std::move(floatModel)) {}

    void clearDatasets() override;
    void appendSentFrame(const CommandFrame& frame) override;
    void appendReferenceRun(std::string_view line) override;
    void withdrawLastLine() override;

private:
    HistoryModel& datasets_;
    HistoryModel& history_;
    std::function<HistoryModel&()> floatModel_;
};

class SerialLink : public FrameLink {
public:
    // Told of the bytes of each block that reached the line (all of it, or
    // the first bytes of one the port refused), with the real time the
    // write began (nanoseconds since 1970).
    using WrittenTap =
        std::function<void(const std::uint8_t* data, std::size_t size, std::int64_t unixNs)>;

    explicit SerialLink(SerialConnection& connection) : connection_(connection) {}
    bool isOpen() const override;
    std::size_t writeBlock(const std::uint8_t* data, std::size_t size) override;
    void setWrittenTap(WrittenTap tap) { tap_ = std::move(tap); }

private:
    SerialConnection& connection_;
    WrittenTap tap_;
};
