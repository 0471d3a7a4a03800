#include "history_entry.h"

#include <cstring>

namespace {

constexpr std::string_view kReceivedPrefix = "IN < ";
constexpr std::string_view kElapsedSeparator = " t- ";
constexpr std::size_t kGroupCount = 16;
constexpr std::size_t kGroupWidth = 5; // four digits and a blank
constexpr std::size_t kElapsedOffset =
    kReceivedPrefix.size() + kGroupCount * kGroupWidth + kElapsedSeparator.size();
constexpr std::string_view kReferenceRunStart = "\x02\x31";

// Upper-case only: that is what the console writes.
int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool ReadByte(std::string_view text, std::size_t at, std::uint8_t& byte) {
    const int high = DigitValue(text[at]);
    const int low = DigitValue(text[at + 1]);
    if (high < 0 || low < 0) {
        return false;
    }
    byte = static_cast<std::uint8_t>(high * 16 + low);
    return true;
}

// A decimal number as the console writes it: an optional "-", digits without
// leading zeros, within the signed 32-bit range.
bool ReadElapsed(std::string_view text, std::int32_t& value) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (c - '0');
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue < INT32_MIN || signedValue > INT32_MAX || (negative && magnitude == 0)) {
        return false;
    }
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

std::optional<HistoryEntry> ParseSent(std::string_view line) {
    CommandFrame frame{};
    for (std::size_t i = 0; i < frame.size(); ++i) {
        if (!ReadByte(line, 2 * i, frame[i])) {
            return std::nullopt;
        }
    }
    HistoryEntry entry;
    entry.kind = HistoryEntryKind::SentFrame;
    entry.frame = frame;
    entry.command = DecodeCommand(frame);
    return entry;
}

std::optional<HistoryEntry> ParseReceived(std::string_view line) {
    if (line.size() <= kElapsedOffset ||
        line.substr(0, kReceivedPrefix.size()) != kReceivedPrefix ||
        line.substr(kElapsedOffset - kElapsedSeparator.size(), kElapsedSeparator.size()) !=
            kElapsedSeparator) {
        return std::nullopt;
    }
    HistoryEntry entry;
    entry.kind = HistoryEntryKind::Received;
    for (std::size_t group = 0; group < kGroupCount; ++group) {
        const std::size_t at = kReceivedPrefix.size() + group * kGroupWidth;
        if (!ReadByte(line, at, entry.block[2 * group]) ||
            !ReadByte(line, at + 2, entry.block[2 * group + 1]) || line[at + 4] != ' ') {
            return std::nullopt;
        }
    }
    if (!ReadElapsed(line.substr(kElapsedOffset), entry.elapsedMs)) {
        return std::nullopt;
    }
    entry.status = DecodeStatus(
        std::string_view(reinterpret_cast<const char*>(entry.block.data()), entry.block.size()));
    return entry;
}

std::optional<HistoryEntry> ParseReferenceRun(std::string_view line) {
    if (line.size() >= kCommandFrameSize || line.substr(0, 2) != kReferenceRunStart ||
        line.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    HistoryEntry entry;
    entry.kind = HistoryEntryKind::ReferenceRun;
    entry.command = DecodeReferenceRunLine(line);
    return entry;
}

std::string NamesOfSetBits(std::uint8_t flags, std::string (*name)(int)) {
    std::string names;
    for (int bit = 0; bit < 8; ++bit) {
        if ((flags >> bit) & 1) {
            names += (names.empty() ? "" : ", ") + name(bit);
        }
    }
    return names;
}

} // namespace

std::optional<HistoryEntry> ParseHistoryEntry(std::string_view line) {
    if (line.size() == kCommandHexLength) {
        if (auto sent = ParseSent(line)) {
            return sent;
        }
    }
    if (line.substr(0, kReceivedPrefix.size()) == kReceivedPrefix) {
        return ParseReceived(line);
    }
    return ParseReferenceRun(line);
}

std::string SwitchBitName(int bit) {
    static const char* const kNames[] = {"End X", "End Y", "End Z", "End C", "Emergency"};
    return bit >= 0 && bit < 5 ? kNames[bit] : "bit " + std::to_string(bit);
}

std::string AuxiliaryBitName(int bit) {
    static const char* const kNames[] = {"Spindle", "Cooling", "Sleep", "Boost"};
    return bit >= 4 && bit < 8 ? kNames[bit - 4] : "bit " + std::to_string(bit);
}

std::string DescribeStatus(const StatusReport& status) {
    std::string text = "Status: mode " + std::to_string(status.mode);
    text += "; x " + std::to_string(status.positionX) + ", y " + std::to_string(status.positionY) +
            ", z " + std::to_string(status.positionZ) + ", c " + std::to_string(status.positionC);
    text += "; buffer " + std::to_string(status.fillLevel) + " %";
    text += "; error code " + std::to_string(status.errorCode);
    text += "; frame counter " + std::to_string(status.frameCounter);
    const std::string switches = NamesOfSetBits(status.switchFlags, SwitchBitName);
    const std::string auxiliary = NamesOfSetBits(status.auxiliaryFlags, AuxiliaryBitName);
    const std::string set =
        switches.empty() || auxiliary.empty() ? switches + auxiliary : switches + ", " + auxiliary;
    text += "; set: " + (set.empty() ? std::string("none") : set);
    return text;
}

std::string DescribeHistoryEntry(const HistoryEntry& entry) {
    if (entry.kind == HistoryEntryKind::Received) {
        return DescribeStatus(entry.status) + "; " + std::to_string(entry.elapsedMs) +
               " ms after the previous block";
    }
    return DescribeCommand(entry.command);
}

std::string DescribeHistoryLine(std::string_view line) {
    if (const auto entry = ParseHistoryEntry(line)) {
        return DescribeHistoryEntry(*entry);
    }
    return "Not a line the console logs";
}
