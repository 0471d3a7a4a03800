#include "mqtt_messages.h"

#include <flag_column_names.h>
#include <history_entry.h>

#include <nlohmann/json.hpp>

#include <ctime>

namespace {

using nlohmann::json;

long long MillisecondsOf(WallClock::time_point at) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
}

// The CSV's columns of an entry, as JSON values.
void AddEntryColumns(const HistoryEntry& entry, json& object) {
    if (entry.kind == HistoryEntryKind::Received) {
        const StatusReport& s = entry.status;
        object["direction"] = "in";
        object["elapsed_ms"] = entry.elapsedMs;
        object["counter"] = s.frameCounter;
        object["mode"] = s.mode;
        object["error"] = s.errorCode;
        object["x"] = s.positionX;
        object["y"] = s.positionY;
        object["z"] = s.positionZ;
        object["c"] = s.positionC;
        object["fill_percent"] = s.fillLevel;
        object["switches"] = StatusSwitchColumnNames(s.switchFlags);
        object["aux"] = StatusAuxiliaryColumnNames(s.auxiliaryFlags);
        return;
    }
    const DecodedCommand& d = entry.command;
    object["direction"] = "out";
    object["command"] = CommandKindName(d.kind);
    if (d.counter) {
        object["counter"] = *d.counter;
    }
    if (d.kind == CommandKind::ModeChange) {
        object["mode"] = d.targetMode;
    } else if (d.kind == CommandKind::ZeroPoint) {
        const char* axes[] = {"x", "y", "z", "c"};
        for (std::size_t i = 0; i < 4; ++i) {
            // The frame's own number text: it may carry a fraction.
            object[axes[i]] = json::parse(FrameValueText(d.zeroPoint[i]), nullptr, false);
            if (object[axes[i]].is_discarded()) {
                object[axes[i]] = FrameValueText(d.zeroPoint[i]);
            }
        }
    } else if (d.kind == CommandKind::AuxiliarySignals) {
        object["aux"] = SignalColumnNames(d.signalBits);
    }
}

} // namespace

std::string IsoUtcText(WallClock::time_point at) {
    const long long ms = MillisecondsOf(at);
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(ms - seconds * 1000LL));
    return std::string(text, length) + fraction;
}

std::string StatusJson(std::string_view line, WallClock::time_point receivedAt,
                       std::uint64_t index) {
    const std::optional<HistoryEntry> entry = ParseHistoryEntry(line);
    if (!entry || entry->kind != HistoryEntryKind::Received) {
        return {};
    }
    json object{{"index", index}};
    AddEntryColumns(*entry, object);
    object["raw"] = line;
    for (int bit = 0; bit < 5; ++bit) {
        object[StatusSwitchColumnName(bit)] = ((entry->status.switchFlags >> bit) & 1) != 0;
    }
    for (int bit = 4; bit < 8; ++bit) {
        object[StatusAuxiliaryColumnName(bit)] = ((entry->status.auxiliaryFlags >> bit) & 1) != 0;
    }
    object["text"] = DescribeStatus(entry->status);
    object["received"] = IsoUtcText(receivedAt);
    object["received_ms"] = MillisecondsOf(receivedAt);
    return object.dump();
}

std::string FrameJson(std::string_view line, WallClock::time_point at, std::uint64_t index) {
    json object{{"index", index}};
    const std::optional<HistoryEntry> entry = ParseHistoryEntry(line);
    if (entry) {
        AddEntryColumns(*entry, object);
    }
    // Entries are ASCII; anything else has its invalid UTF-8 replaced when
    // dumped rather than refused.
    object["raw"] = std::string(line);
    object["text"] = entry ? DescribeHistoryEntry(*entry) : std::string(line);
    object["time"] = IsoUtcText(at);
    object["time_ms"] = MillisecondsOf(at);
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string PortJson(bool open, std::string_view device, std::string_view reason) {
    json object{{"open", open}, {"device", device}};
    if (!reason.empty()) {
        object["reason"] = reason;
    }
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

const char* OnlinePayload(bool online) {
    return online ? "true" : "false";
}
