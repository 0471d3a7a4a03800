// Any bytes as a pcapng capture, read by the capture reader in pieces of any
// size and by kelmora-history's capture reading: it never crashes or holds
// more than a block, the pieces do not change what it reads, a fault names a
// block and an offset inside the input, and the packets it read, written
// again by the encoder, read back the same.

#include "capture_file_reader.h"
#include "pcapng_reader.h"
#include "pcapng_writer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

pcapng::CaptureReader::Source SourceOf(std::string_view input, std::size_t piece, std::size_t& at) {
    return [input, piece, &at](char* buffer, std::size_t size) -> std::size_t {
        std::size_t n = input.size() - at;
        n = n < size ? n : size;
        n = n < piece ? n : piece;
        input.copy(buffer, n, at);
        at += n;
        return n;
    };
}

struct Reading {
    std::vector<pcapng::Packet> packets;
    std::string error;
};

Reading ReadAll(std::string_view input, std::size_t piece) {
    std::size_t at = 0;
    pcapng::CaptureReader reader(SourceOf(input, piece, at));
    Reading reading;
    while (auto packet = reader.next()) {
        Require(packet->data.size() <= pcapng::kMaxBlockLength, "a packet within a block");
        Require(packet->offset < input.size(), "a packet's offset inside the input");
        reading.packets.push_back(std::move(*packet));
    }
    reading.error = reader.error();
    return reading;
}

bool SamePackets(const std::vector<pcapng::Packet>& a, const std::vector<pcapng::Packet>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].offset != b[i].offset || a[i].skipped != b[i].skipped || a[i].data != b[i].data ||
            a[i].direction != b[i].direction || a[i].unixNanoseconds != b[i].unixNanoseconds ||
            a[i].comment != b[i].comment) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = data[0] % 61 + 1;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    const Reading whole = ReadAll(input, input.size() + 1);
    const Reading pieces = ReadAll(input, piece);
    Require(SamePackets(whole.packets, pieces.packets) && whole.error == pieces.error,
            "the pieces do not matter");
    if (!whole.error.empty()) {
        // "<kind> at offset N: why", "block at offset N: ...", or a refusal
        // of the whole input at its start.
        const std::size_t at = whole.error.find(" at offset ");
        if (at != std::string::npos) {
            const std::size_t offset = std::strtoull(whole.error.c_str() + at + 11, nullptr, 10);
            Require(offset < input.size(), "a fault's offset inside the input");
        } else {
            Require(whole.error.rfind("not a pcapng capture", 0) == 0 ||
                        whole.error.rfind("empty file", 0) == 0,
                    "a fault names its block");
        }
    }

    // Written again by the encoder, the packets that carry a direction read
    // back as they were.
    std::string again = pcapng::sectionHeaderBlock("") + pcapng::interfaceDescriptionBlock("", "");
    std::vector<pcapng::Packet> kept;
    for (const pcapng::Packet& packet : whole.packets) {
        if (packet.skipped.empty() && packet.direction) {
            again += pcapng::enhancedPacketBlock(*packet.direction, packet.unixNanoseconds,
                                                 packet.data, packet.comment);
            kept.push_back(packet);
        }
    }
    const Reading reread = ReadAll(again, piece);
    Require(reread.error.empty() && reread.packets.size() == kept.size(), "re-encoded whole");
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const pcapng::Packet& a = kept[i];
        const pcapng::Packet& b = reread.packets[i];
        Require(a.data == b.data && a.direction == b.direction &&
                    a.unixNanoseconds == b.unixNanoseconds &&
                    a.comment.substr(0, 65532) == b.comment,
                "re-encoded the same");
    }

    // kelmora-history's reading of the same bytes: a CSV row of fifteen
    // columns per frame, and the input fully read exactly when nothing was
    // refused.
    std::size_t at = 0;
    std::string out;
    std::string problems;
    CaptureFileReader reader(
        HistoryOutput::Csv, "f", SourceOf(input, piece, at),
        [&](std::string_view row) { out += row; },
        [&](std::string_view problem) { problems += problem; });
    while (reader.readPacket()) {
    }
    Require(reader.allRead() == problems.empty(), "all read exactly when nothing is refused");
    std::size_t rows = 0;
    for (char c : out) {
        rows += c == '\n';
    }
    Require(rows == reader.entries() + 1, "one row per frame after the header");
    return 0;
}
