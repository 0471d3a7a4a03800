#include "history_capture_writer.h"

#include <utility>

#include "pcapng_writer.h"

namespace {

std::string SectionComment(std::string_view historyName) {
    return "Made by kelmora-history from the history file " + std::string(historyName) +
           ". The times are not real: they are reconstructed from the history's elapsed "
           "milliseconds, from 1970-01-01 00:00:00 UTC on; each received frame comes its "
           "elapsed milliseconds after the one before, each sent frame at the time of the "
           "last received frame before it.";
}

std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace

CommandFrame ReferenceRunFrame(std::string_view line, std::string& comment) {
    CommandFrame frame{};
    for (std::size_t i = 0; i < line.size() && i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(line[i]);
    }
    const DecodedCommand decoded = DecodeReferenceRunLine(line);
    std::string missing;
    for (std::size_t step = 0; step < decoded.referenceOrder.size(); ++step) {
        if (!decoded.referenceOrder[step]) {
            missing += (missing.empty() ? "" : ", ") + std::to_string(step + 1);
        }
    }
    comment.clear();
    if (!missing.empty()) {
        comment = "Reference run from a history line of " + std::to_string(line.size()) +
                  " bytes: step(s) " + missing + " not kept in the history, written as 00 (axis x)";
    }
    return frame;
}

HistoryCaptureWriter::HistoryCaptureWriter(std::string_view historyName, Sink out)
    : out_(std::move(out)) {
    out_(pcapng::sectionHeaderBlock(SectionComment(historyName)));
    // The history names neither the port nor its settings.
    out_(pcapng::interfaceDescriptionBlock("", ""));
}

void HistoryCaptureWriter::add(std::string_view text, const HistoryEntry& entry) {
    const auto ns = [this] { return static_cast<std::uint64_t>(timeMs_) * 1000000u; };
    switch (entry.kind) {
    case HistoryEntryKind::SentFrame:
        out_(pcapng::enhancedPacketBlock(pcapng::Direction::Outbound, ns(),
                                         Bytes(entry.frame.data(), entry.frame.size())));
        break;
    case HistoryEntryKind::ReferenceRun: {
        std::string comment;
        const CommandFrame frame = ReferenceRunFrame(text, comment);
        out_(pcapng::enhancedPacketBlock(pcapng::Direction::Outbound, ns(),
                                         Bytes(frame.data(), frame.size()), comment));
        break;
    }
    case HistoryEntryKind::Received:
        timeMs_ += entry.elapsedMs;
        if (timeMs_ < 0) {
            timeMs_ = 0;
        }
        out_(pcapng::enhancedPacketBlock(pcapng::Direction::Inbound, ns(),
                                         Bytes(entry.block.data(), entry.block.size())));
        break;
    }
    ++packets_;
}
