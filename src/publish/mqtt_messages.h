#pragma once
// The payloads published for a machine, as plain functions of what the line
// saw: each a JSON text (nlohmann-json), or "true"/"false" for online.
// Field names follow kelmora-history's CSV columns, so a row and a message
// read alike; absent columns are left out rather than sent empty.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

using WallClock = std::chrono::system_clock;

// The newest status from a received history line ("IN < ... t- 12"):
// index (the block's number since publishing began), direction "in",
// elapsed_ms, counter, mode, error, x, y, z, c, fill_percent, switches and aux
// (the CSV's "+"-joined names), raw (the line), each switch and lamp as a
// boolean (end_x .. emergency, spindle .. boost), text (in words), and the
// time it was received: received (ISO 8601, UTC, milliseconds) and
// received_ms (milliseconds since 1970). Empty when `line` is no received
// block.
std::string StatusJson(std::string_view line, WallClock::time_point receivedAt,
                       std::uint64_t index);

// Any logged line, sent or received: index, direction ("out" or "in"), the
// CSV columns that apply (command for a frame sent), raw, text, and the time
// as time/time_ms. A line that is no history entry goes out with raw and
// text alone.
std::string FrameJson(std::string_view line, WallClock::time_point at, std::uint64_t index);

// The serial port: {"open": true|false, "device": "...", "reason": "..."};
// reason (the last failure) only when there is one.
std::string PortJson(bool open, std::string_view device, std::string_view reason);

// The payload of the online topic.
const char* OnlinePayload(bool online);

// "2026-12-08T15:04:05.123Z"
std::string IsoUtcText(WallClock::time_point at);
