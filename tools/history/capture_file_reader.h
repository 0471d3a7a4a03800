#pragma once
// Reads a pcapng capture of the serial line and writes the same decoded
// lines or CSV rows as for a saved history: an outbound packet of 64 bytes is
// a sent frame, an inbound packet of 32 bytes a received block. A shorter
// outbound packet is what the line took of a frame the port refused (the
// console closed the port after it): a row of kind "partial" with its bytes. The capture
// is read one block at a time (pcapng::CaptureReader), so memory does not
// grow with the file.
//
// elapsed_ms of a received block is the time since the previous received
// block (an inbound packet of 32 bytes), from the capture's time stamps, in whole milliseconds; for
// the first one it is the time since the capture's first packet (0 when it is that packet). raw is
// the line the console's history holds for the frame, except that every sent frame is its 128 hex
// digits, the reference run's too: the capture has all its 64 bytes, the history's line only those
// up to the first 00.

#include <cstdint>
#include <optional>
#include <string>

#include "history_reader.h"
#include "pcapng_reader.h"

class CaptureFileReader {
public:
    using Sink = HistoryFileReader::Sink;

    // `out` gets each row with its line end; `problems` gets each complaint
    // (the file name, then the block's kind and offset and why) with its line
    // end.
    CaptureFileReader(HistoryOutput output, std::string fileName,
                      pcapng::CaptureReader::Source source, Sink out, Sink problems);

    // Reads up to the next packet and writes its row; false once the capture
    // has ended or a fault in it stopped the reading.
    bool readPacket();
    // True when the capture was read to its end and every packet was a frame.
    bool allRead() const { return allRead_; }
    std::size_t entries() const { return entries_; }

private:
    void refuse(const std::string& why);

    HistoryOutput output_;
    std::string fileName_;
    pcapng::CaptureReader reader_;
    Sink out_;
    Sink problems_;
    bool allRead_ = true;
    std::size_t entries_ = 0;
    std::size_t packets_ = 0;
    std::optional<std::uint64_t> firstTime_;
    std::optional<std::uint64_t> lastInboundTime_;
    std::string row_;
};

// Whole milliseconds from `earlier` to `later` (both nanoseconds), truncated
// toward zero and held to the signed 32-bit range of a history's elapsed time.
std::int32_t ElapsedMilliseconds(std::uint64_t earlier, std::uint64_t later);
