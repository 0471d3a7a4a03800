#pragma once
// Turns the entries of a saved history into a pcapng capture, one packet per
// entry: a sent frame is an outbound packet of its 64 bytes, a received line
// an inbound packet of its 32 bytes.
//
// A history keeps no times of day, only each received block's milliseconds
// since the one before, so the times are made from those: the capture starts
// at 1970-01-01 00:00:00 UTC, each received block comes its elapsed
// milliseconds after the previous one (never before the start), and each
// sent frame takes the time of the last received block before it. The
// section's comment says so.
//
// The reference run's history line is the frame's text up to its first 00
// byte. Its packet is those bytes followed by 00 up to 64: exact when the
// line kept the four axis codes or ended at the fourth; otherwise the steps
// after the one that ended the line were not kept, are written as 00 (axis
// x), and the packet's comment names them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "history_entry.h"

class HistoryCaptureWriter {
public:
    using Sink = std::function<void(std::string_view)>;

    // Writes the section header and the interface block to `out` at once.
    HistoryCaptureWriter(std::string_view historyName, Sink out);

    void add(std::string_view text, const HistoryEntry& entry);

    std::size_t packets() const { return packets_; }

private:
    Sink out_;
    std::int64_t timeMs_ = 0;
    std::size_t packets_ = 0;
};

// The 64 bytes a history line of a reference run stands for, and the
// comment for its packet (empty when the line kept every step).
CommandFrame ReferenceRunFrame(std::string_view line, std::string& comment);
