// A received block of any length and content, as the receive path meets it:
// the status decoding, the history line and the compact history record of
// the same block must agree with a plain reading of its bytes.

#include "history_records.h"
#include "received_line.h"
#include "status_report.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Byte `offset` of the frame, 0 where the block is shorter.
std::uint8_t ByteOf(const std::uint8_t* data, std::size_t size, std::size_t offset) {
    return offset < size ? data[offset] : 0;
}

std::int32_t PositionOf(const std::uint8_t* data, std::size_t size, std::size_t offset) {
    std::uint32_t pattern = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        pattern |= std::uint32_t{ByteOf(data, size, offset + i)} << (8 * i);
    }
    std::int64_t value = pattern;
    if (pattern & 0x80000000u) {
        value -= std::int64_t{1} << 32;
    }
    return static_cast<std::int32_t>(value);
}

LampColour Lamp(bool bitSet, bool setMeansFault) {
    if (setMeansFault) {
        return bitSet ? LampColour::Red : LampColour::Green;
    }
    return bitSet ? LampColour::Green : LampColour::Red;
}

void CheckStatus(const std::uint8_t* data, std::size_t size, std::string_view block) {
    const StatusReport report = DecodeStatus(block);
    Require(report.mode == ByteOf(data, size, 0), "mode is byte 1");
    Require(report.positionX == PositionOf(data, size, 3), "x from bytes 4..7");
    Require(report.positionY == PositionOf(data, size, 7), "y from bytes 8..11");
    Require(report.positionZ == PositionOf(data, size, 11), "z from bytes 12..15");
    Require(report.positionC == PositionOf(data, size, 15), "c from bytes 16..19");
    Require(report.fillLevel == ByteOf(data, size, 20), "fill level is byte 21");
    Require(report.errorCode == ByteOf(data, size, 26), "error code is byte 27");
    Require(report.frameCounter == ByteOf(data, size, 27), "frame counter is byte 28");

    const std::uint8_t switches = ByteOf(data, size, 1);
    const std::uint8_t auxiliary = ByteOf(data, size, 2);
    Require(report.lamp(StatusLamp::EndX) == Lamp(switches & 0x01, true), "End X");
    Require(report.lamp(StatusLamp::EndY) == Lamp(switches & 0x02, true), "End Y");
    Require(report.lamp(StatusLamp::EndZ) == Lamp(switches & 0x04, true), "End Z");
    Require(report.lamp(StatusLamp::EndC) == Lamp(switches & 0x08, true), "End C");
    Require(report.lamp(StatusLamp::Emergency) == Lamp(switches & 0x10, true), "Emergency");
    Require(report.lamp(StatusLamp::Spindle) == Lamp(auxiliary & 0x10, false), "Spindle");
    Require(report.lamp(StatusLamp::Cooling) == Lamp(auxiliary & 0x20, false), "Cooling");
    Require(report.lamp(StatusLamp::Sleep) == Lamp(auxiliary & 0x40, false), "Sleep");
    Require(report.lamp(StatusLamp::Boost) == Lamp(auxiliary & 0x80, false), "Boost");

    const int bar = FillBarValue(report.fillLevel);
    Require(bar >= 0 && bar <= 100, "bar within 0..100");
    Require(bar == (report.fillLevel > 100 ? 100 : report.fillLevel), "bar follows the level");
    Require(FillLevelText(report.fillLevel) == " " + std::to_string(report.fillLevel) + " %",
            "percentage text");
}

std::string ReferenceLine(const std::uint8_t* data, std::size_t size, std::int32_t elapsed) {
    static const char digits[] = "0123456789ABCDEF";
    std::string line = "IN < ";
    for (std::size_t i = 0; i < 32; ++i) {
        const std::uint8_t b = ByteOf(data, size, i);
        line += digits[b >> 4];
        line += digits[b & 15];
        if (i % 2 == 1) {
            line += ' ';
        }
    }
    return line + " t- " + std::to_string(elapsed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view block(reinterpret_cast<const char*>(data), size);
    CheckStatus(data, size, block);

    // The elapsed time comes from the block's tail, so every value is reached.
    const std::int32_t elapsed = PositionOf(data, size, size >= 4 ? size - 4 : 0);
    const ReceivedBlock first = FirstBlockBytes(block);
    for (std::size_t i = 0; i < first.size(); ++i) {
        Require(first[i] == ByteOf(data, size, i), "first 32 bytes, missing ones 0");
    }
    const std::string line = ReceivedLine(first, elapsed);
    Require(line == ReferenceLine(data, size, elapsed), "received line");
    Require(line.size() == 89 + std::to_string(elapsed).size(), "89 characters + elapsed");

    HistoryRecords records;
    records.appendReceived(first, elapsed);
    CommandFrame frame{};
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = ByteOf(data, size, size - 1 - (i % (size == 0 ? 1 : size)));
    }
    records.appendSentFrame(frame);
    records.appendReceived(first, ~elapsed);
    Require(records.count() == 3, "three records");
    Require(records.lineAt(0) == line, "record line equals ReceivedLine");
    Require(records.lineAt(2) == ReceivedLine(first, ~elapsed), "complemented elapsed");
    const std::string sent = records.lineAt(1);
    Require(sent.size() == 128, "sent line is 128 digits");
    for (std::size_t i = 0; i < frame.size(); ++i) {
        static const char digits[] = "0123456789ABCDEF";
        Require(sent[2 * i] == digits[frame[i] >> 4] && sent[2 * i + 1] == digits[frame[i] & 15],
                "sent line digits");
    }
    return 0;
}
