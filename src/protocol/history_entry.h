#pragma once
// A history line read back: which of the console's three kinds of line it
// is, the bytes it holds, and what they mean in words. The console logs
// exactly these forms, so anything else is not a history entry.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "command_decoding.h"
#include "received_line.h"
#include "status_report.h"

enum class HistoryEntryKind {
    SentFrame,    // 128 upper-case hex digits
    ReferenceRun, // the reference run frame's text up to its first zero code
    Received,     // "IN < " + sixteen groups + " t- " + elapsed milliseconds
};

struct HistoryEntry {
    HistoryEntryKind kind = HistoryEntryKind::SentFrame;
    CommandFrame frame{};       // SentFrame
    DecodedCommand command;     // SentFrame, ReferenceRun
    ReceivedBlock block{};      // Received
    StatusReport status;        // Received
    std::int32_t elapsedMs = 0; // Received
};

// Nothing when the line is none of the three forms.
std::optional<HistoryEntry> ParseHistoryEntry(std::string_view line);

// The entry in one line of words, e.g. "Status: mode 2; x 10000, y -50, z 0,
// c 256; buffer 50 %; error code 0; frame counter 7; set: End X, Emergency,
// Spindle, Boost; 250 ms after the previous block".
std::string DescribeHistoryEntry(const HistoryEntry& entry);

// The entry's meaning, or why the line is not an entry.
std::string DescribeHistoryLine(std::string_view line);

// The status description of a received block, as DescribeHistoryEntry has it
// without the elapsed time.
std::string DescribeStatus(const StatusReport& status);

// The names of the set bits of the status frame's flag bytes, in bit order:
// "End X", "End Y", "End Z", "End C", "Emergency" for the switch byte,
// "Spindle", "Cooling", "Sleep", "Boost" for the auxiliary byte; a set bit
// with no lamp is "bit N".
std::string SwitchBitName(int bit);
std::string AuxiliaryBitName(int bit);
