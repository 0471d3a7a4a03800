#include "capture_file_reader.h"

#include <limits>
#include <utility>

#include "type_casting.h"

namespace {

template <typename Bytes> std::string HexText(const Bytes& bytes) {
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (const auto byte : bytes) {
        hex += TypeCasting::ByteToHex(static_cast<std::uint8_t>(byte));
    }
    return hex;
}

// The first bytes of a frame the port refused, which reached the line all
// the same: the console closed the port right after them.
void AppendPartialFrameRow(HistoryOutput output, std::size_t index, const std::string& bytes,
                           std::string& row) {
    row += std::to_string(index);
    if (output == HistoryOutput::Csv) {
        row += ",out,,partial,,,,,,,,,,," + HexText(bytes);
        return;
    }
    row += " out: Partial frame: the line took " + std::to_string(bytes.size()) + " of " +
           std::to_string(kCommandFrameSize) + " bytes (" + HexText(bytes) +
           "), then the port was closed";
}

} // namespace

std::int32_t ElapsedMilliseconds(std::uint64_t earlier, std::uint64_t later) {
    const auto difference = static_cast<std::int64_t>(later - earlier);
    const std::int64_t ms = difference / 1000000;
    if (ms > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (ms < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(ms);
}

CaptureFileReader::CaptureFileReader(HistoryOutput output, std::string fileName,
                                     pcapng::CaptureReader::Source source, Sink out, Sink problems)
    : output_(output), fileName_(std::move(fileName)), reader_(std::move(source)),
      out_(std::move(out)), problems_(std::move(problems)) {
    if (output_ == HistoryOutput::Csv) {
        out_(std::string(kHistoryCsvHeader) + "\n");
    }
}

void CaptureFileReader::refuse(const std::string& why) {
    allRead_ = false;
    problems_(fileName_ + ": " + why + "\n");
}

bool CaptureFileReader::readPacket() {
    const std::optional<pcapng::Packet> packet = reader_.next();
    if (!packet) {
        if (!reader_.error().empty()) {
            refuse(reader_.error());
        }
        return false;
    }
    if (!packet->skipped.empty()) {
        refuse(packet->skipped);
        return true;
    }
    ++packets_;
    if (!firstTime_) {
        firstTime_ = packet->unixNanoseconds;
    }
    const std::string where = "packet " + std::to_string(packets_) + " (" +
                              pcapng::BlockKindName(packet->blockType) + " at offset " +
                              std::to_string(packet->offset) + ")";
    // A packet whose flags do not tell its direction is taken by its length,
    // the two lengths the line carries being distinct.
    std::optional<pcapng::Direction> direction = packet->direction;
    if (!direction && packet->data.size() == kCommandFrameSize) {
        direction = pcapng::Direction::Outbound;
    } else if (!direction && packet->data.size() == kStatusFrameSize) {
        direction = pcapng::Direction::Inbound;
    }
    if (!direction) {
        refuse(where + ": no direction in its flags, and " + std::to_string(packet->data.size()) +
               " bytes are neither a command frame (64) nor a status frame (32)");
        return true;
    }
    HistoryEntry entry;
    std::string raw;
    if (*direction == pcapng::Direction::Outbound && !packet->data.empty() &&
        packet->data.size() < kCommandFrameSize) {
        row_.clear();
        AppendPartialFrameRow(output_, ++entries_, packet->data, row_);
        out_(row_ + '\n');
        return true;
    }
    if (*direction == pcapng::Direction::Outbound) {
        if (packet->data.size() != kCommandFrameSize) {
            refuse(where + ": outbound, " + std::to_string(packet->data.size()) +
                   " bytes, not a 64-byte command frame");
            return true;
        }
        entry.kind = HistoryEntryKind::SentFrame;
        for (std::size_t i = 0; i < entry.frame.size(); ++i) {
            entry.frame[i] = static_cast<std::uint8_t>(packet->data[i]);
        }
        entry.command = DecodeCommand(entry.frame);
        raw = HexText(entry.frame);
    } else {
        if (packet->data.size() != kStatusFrameSize) {
            refuse(where + ": inbound, " + std::to_string(packet->data.size()) +
                   " bytes, not a 32-byte status frame");
            return true;
        }
        entry.kind = HistoryEntryKind::Received;
        entry.block = FirstBlockBytes(packet->data);
        entry.status = DecodeStatus(packet->data);
        entry.elapsedMs =
            ElapsedMilliseconds(lastInboundTime_.value_or(*firstTime_), packet->unixNanoseconds);
        lastInboundTime_ = packet->unixNanoseconds;
        raw = ReceivedLine(entry.block, entry.elapsedMs);
    }
    ++entries_;
    row_.clear();
    if (output_ == HistoryOutput::Csv) {
        AppendCsvRow(entries_, raw, entry, row_);
    } else {
        AppendTextRow(entries_, entry, row_);
    }
    row_ += '\n';
    out_(row_);
    return true;
}
