// The capture reader against captures written by the encoder (in either
// byte order), by Wireshark's own text2pcap, and cut or damaged at every
// place: what goes in comes out, and a damaged capture is refused with the
// kind and offset of the block the damage is in.

#include "tool_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pcapng_format.h"
#include "pcapng_reader.h"
#include "pcapng_writer.h"

namespace {

using pcapng::CaptureReader;
using pcapng::Direction;
using pcapng::Packet;

struct Written {
    Direction direction = Direction::Inbound;
    std::uint64_t time = 0;
    std::string data;
    std::string comment;
};

struct Capture {
    std::string bytes;
    std::vector<std::size_t> blockStarts; // offset of every block, in order
    std::vector<std::uint32_t> blockTypes;
    std::vector<Written> packets;
};

void AddBlock(Capture& capture, std::uint32_t type, const std::string& block) {
    capture.blockStarts.push_back(capture.bytes.size());
    capture.blockTypes.push_back(type);
    capture.bytes += block;
}

std::string RandomBytes(std::mt19937& random, std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

Capture RandomCapture(std::mt19937& random) {
    Capture capture;
    const std::string comment = RandomBytes(random, random() % 7);
    AddBlock(capture, pcapng::kSectionHeaderType, pcapng::sectionHeaderBlock(comment));
    AddBlock(capture, pcapng::kInterfaceDescriptionType,
             pcapng::interfaceDescriptionBlock("/dev/pts/" + std::to_string(random() % 10),
                                               "115200,n,8,1"));
    const std::size_t count = random() % 12;
    for (std::size_t i = 0; i < count; ++i) {
        Written packet;
        packet.direction = random() % 2 ? Direction::Inbound : Direction::Outbound;
        packet.time = (std::uint64_t{random()} << 32) | random();
        packet.data = RandomBytes(random, random() % 3 ? (random() % 2 ? 32 : 64) : random() % 70);
        packet.comment = random() % 3 ? "" : RandomBytes(random, 1 + random() % 9);
        capture.packets.push_back(packet);
        AddBlock(capture, pcapng::kEnhancedPacketType,
                 pcapng::enhancedPacketBlock(packet.direction, packet.time, packet.data,
                                             packet.comment));
    }
    return capture;
}

struct ReadBack {
    std::vector<Packet> packets;
    std::string error;
    std::string comment;
};

ReadBack Read(const std::string& bytes, std::size_t piece = 4096) {
    std::size_t at = 0;
    CaptureReader reader([&](char* buffer, std::size_t size) {
        const std::size_t n = std::min({size, piece, bytes.size() - at});
        bytes.copy(buffer, n, at);
        at += n;
        return n;
    });
    ReadBack back;
    while (auto packet = reader.next()) {
        back.packets.push_back(*packet);
    }
    back.error = reader.error();
    back.comment = reader.sectionComment();
    return back;
}

void Swap16(std::string& bytes, std::size_t at) {
    std::swap(bytes[at], bytes[at + 1]);
}

void Swap32(std::string& bytes, std::size_t at) {
    std::swap(bytes[at], bytes[at + 3]);
    std::swap(bytes[at + 1], bytes[at + 2]);
}

// The options from `at` to the block's trailer, turned big-endian.
void SwapOptions(std::string& block, std::size_t at, bool epb) {
    while (at + 4 <= block.size() - 4) {
        const unsigned code = static_cast<unsigned char>(block[at]);
        const std::size_t length = static_cast<unsigned char>(block[at + 2]) |
                                   static_cast<unsigned char>(block[at + 3]) << 8;
        Swap16(block, at);
        Swap16(block, at + 2);
        if (epb && code == pcapng::kEpbFlags) {
            Swap32(block, at + 4);
        }
        at += 4 + pcapng::PaddedLength(length);
    }
}

// What a big-endian machine's writer would have made of the same blocks.
std::string BigEndian(const Capture& capture) {
    std::string out;
    for (std::size_t i = 0; i < capture.blockStarts.size(); ++i) {
        const std::size_t end =
            i + 1 < capture.blockStarts.size() ? capture.blockStarts[i + 1] : capture.bytes.size();
        std::string block =
            capture.bytes.substr(capture.blockStarts[i], end - capture.blockStarts[i]);
        Swap32(block, 0);
        Swap32(block, 4);
        Swap32(block, block.size() - 4);
        switch (capture.blockTypes[i]) {
        case pcapng::kSectionHeaderType:
            Swap32(block, 8);
            Swap16(block, 12);
            Swap16(block, 14);
            SwapOptions(block, 24, false);
            break;
        case pcapng::kInterfaceDescriptionType:
            Swap16(block, 8);
            Swap32(block, 12);
            SwapOptions(block, 16, false);
            break;
        default: {
            for (std::size_t at : {8, 12, 16, 20, 24}) {
                Swap32(block, at);
            }
            const std::size_t captured = static_cast<unsigned char>(block[23]);
            SwapOptions(block, 28 + pcapng::PaddedLength(captured), true);
        }
        }
        out += block;
    }
    return out;
}

void ExpectSame(const Capture& capture, const ReadBack& back) {
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.packets.size(), capture.packets.size());
    for (std::size_t i = 0; i < capture.packets.size(); ++i) {
        const Written& want = capture.packets[i];
        const Packet& got = back.packets[i];
        EXPECT_EQ(got.offset, capture.blockStarts[i + 2]);
        EXPECT_EQ(got.skipped, "");
        ASSERT_TRUE(got.direction.has_value());
        EXPECT_EQ(*got.direction, want.direction);
        EXPECT_EQ(got.unixNanoseconds, want.time);
        EXPECT_EQ(got.data, want.data);
        EXPECT_EQ(got.originalLength, want.data.size());
        EXPECT_EQ(got.comment, want.comment);
    }
}

std::string Prefix(std::uint32_t type, std::size_t offset) {
    return pcapng::BlockKindName(type) + " at offset " + std::to_string(offset) + ": ";
}

// Random captures read back whole, whatever pieces the input comes in and in
// either byte order.
TEST(PcapngReader, WhatIsWrittenIsRead) {
    std::mt19937 random(22);
    for (int round = 0; round < 300; ++round) {
        const Capture capture = RandomCapture(random);
        const std::size_t piece = 1 + random() % 50;
        ExpectSame(capture, Read(capture.bytes, piece));
        const ReadBack swapped = Read(BigEndian(capture), piece);
        ExpectSame(capture, swapped);
        if (HasFailure()) {
            FAIL() << "round " << round;
        }
    }
}

// A capture cut anywhere is either whole (cut between blocks) or refused
// with the block the cut falls in; the packets before it are all delivered.
TEST(PcapngReader, CutAnywhere) {
    std::mt19937 random(2022);
    const Capture capture = RandomCapture(random);
    for (std::size_t cut = 0; cut < capture.bytes.size(); ++cut) {
        const ReadBack back = Read(capture.bytes.substr(0, cut), 7);
        if (cut == 0) {
            EXPECT_EQ(back.error, "empty file: not a pcapng capture");
            continue;
        }
        std::size_t block = 0;
        while (block + 1 < capture.blockStarts.size() && capture.blockStarts[block + 1] <= cut) {
            ++block;
        }
        const std::size_t start = capture.blockStarts[block];
        const std::size_t packetsBefore = block < 2 ? 0 : block - 2;
        EXPECT_EQ(back.packets.size(), std::min(packetsBefore, capture.packets.size()))
            << "cut at " << cut;
        if (cut == start) {
            EXPECT_EQ(back.error, "") << "cut at " << cut;
        } else if (cut - start < 4) {
            EXPECT_EQ(back.error, "block at offset " + std::to_string(start) +
                                      ": the file ends after " + std::to_string(cut - start) +
                                      " bytes of the block's 8-byte header");
        } else {
            EXPECT_EQ(back.error.rfind(Prefix(capture.blockTypes[block], start), 0), 0u)
                << "cut at " << cut << ": " << back.error;
        }
    }
}

// Any one byte of a length field changed: the capture is refused at that
// block, or (when the change keeps the lengths consistent, which a single
// byte of one length field cannot) read.
TEST(PcapngReader, LengthsThatDisagree) {
    std::mt19937 random(7);
    Capture capture;
    do {
        capture = RandomCapture(random);
    } while (capture.packets.size() < 3);
    for (std::size_t block = 0; block < capture.blockStarts.size(); ++block) {
        const std::size_t start = capture.blockStarts[block];
        const std::size_t end = block + 1 < capture.blockStarts.size()
                                    ? capture.blockStarts[block + 1]
                                    : capture.bytes.size();
        for (std::size_t field : {start + 4, end - 4}) {
            for (std::size_t byte = 0; byte < 4; ++byte) {
                std::string damaged = capture.bytes;
                damaged[field + byte] =
                    static_cast<char>(damaged[field + byte] ^ (1 + random() % 255));
                const ReadBack back = Read(damaged);
                EXPECT_EQ(back.error.rfind(Prefix(capture.blockTypes[block], start), 0), 0u)
                    << "block " << block << " field " << field << ": " << back.error;
                EXPECT_EQ(back.packets.size(), block < 2 ? 0 : block - 2);
            }
        }
    }
}

TEST(PcapngReader, RefusesWithReasons) {
    const std::string shb = pcapng::sectionHeaderBlock("");
    const std::string idb = pcapng::interfaceDescriptionBlock("/dev/ttyS0", "9600,n,8,1");
    const std::string epb = pcapng::enhancedPacketBlock(Direction::Inbound, 5, "abcd");

    // Another link type: Ethernet.
    std::string foreign = idb;
    foreign[8] = 1;
    EXPECT_EQ(Read(shb + foreign).error,
              "interface description block at offset " + std::to_string(shb.size()) +
                  ": link type 1, not LINKTYPE_USER0 (147): a capture of something other than "
                  "Kelmora's serial line");

    // Not a capture at all: a history file.
    EXPECT_EQ(Read("\"Kelmora V0.5B History Ouptut File\"\r\n").error,
              "not a pcapng capture: the file starts with 0x6C654B22, not a section header "
              "block (0A 0D 0D 0A)");

    // A length far beyond any block: refused before anything is allocated.
    std::string huge = shb + idb + epb;
    const std::size_t at = shb.size() + idb.size();
    huge[at + 4] = '\xF0';
    huge[at + 5] = huge[at + 6] = huge[at + 7] = '\xFF';
    EXPECT_EQ(Read(huge).error, "enhanced packet block at offset " + std::to_string(at) +
                                    ": total length 4294967280, over the 1048576 bytes this "
                                    "reader takes in one block");

    // A packet on an interface the section never described.
    EXPECT_EQ(Read(shb + epb).error, "enhanced packet block at offset " +
                                         std::to_string(shb.size()) +
                                         ": a packet on interface 0, but the section describes 0");

    // A captured length past the block's end.
    std::string longData = shb + idb + epb;
    longData[at + 20] = 40;
    EXPECT_EQ(Read(longData).error, "enhanced packet block at offset " + std::to_string(at) +
                                        ": captured length 40 runs past the block's end");

    // An option that runs past the end of the options.
    std::string longOption = shb + idb + epb;
    longOption[at + 34] = 9; // epb_flags claims 9 bytes
    EXPECT_EQ(Read(longOption).error,
              "enhanced packet block at offset " + std::to_string(at) +
                  ": option 2 at byte 32 of the block: its 9 bytes run past the options' end");

    // Wrong byte-order magic, wrong version.
    std::string magic = shb;
    magic[8] = 0;
    EXPECT_EQ(Read(magic).error, "section header block at offset 0: byte-order magic 0x1A2B3C00, "
                                 "neither 1A2B3C4D nor 4D3C2B1A");
    std::string version = shb;
    version[12] = 2;
    EXPECT_EQ(Read(version).error,
              "section header block at offset 0: version 2.0, which this reader does not know");
}

// Blocks the reader has no use for are passed over; packet blocks without a
// direction are named, not guessed at.
TEST(PcapngReader, OtherBlocks) {
    const std::string shb = pcapng::sectionHeaderBlock("first");
    const std::string idb = pcapng::interfaceDescriptionBlock("/dev/ttyS0", "9600,n,8,1");
    // An interface statistics block and a custom block of made-up content.
    const std::string isb("\x05\0\0\0\x14\0\0\0\0\0\0\0\1\0\0\0\x14\0\0\0", 20);
    const std::string custom("\xAD\x0B\0\0\x10\0\0\0\x7B\0\0\0\x10\0\0\0", 16);
    // A simple packet block of 2 bytes.
    const std::string spb("\3\0\0\0\x14\0\0\0\2\0\0\0\x41\x42\0\0\x14\0\0\0", 20);
    const std::string epb = pcapng::enhancedPacketBlock(Direction::Outbound, 99, "x");
    const ReadBack back = Read(shb + idb + isb + custom + spb + epb +
                               pcapng::sectionHeaderBlock("second") + idb + epb);
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.packets.size(), 3u);
    const std::size_t spbAt = shb.size() + idb.size() + isb.size() + custom.size();
    EXPECT_EQ(back.packets[0].skipped, "simple packet block at offset " + std::to_string(spbAt) +
                                           " skipped: it does not say which way its frame went");
    EXPECT_EQ(back.packets[1].data, "x");
    EXPECT_EQ(back.packets[2].data, "x");
    EXPECT_EQ(back.comment, "second");
}

// Time resolutions other than nanoseconds, and the time offset.
TEST(PcapngReader, TimeResolutions) {
    const std::string shb = pcapng::sectionHeaderBlock("");
    const std::string epb = pcapng::enhancedPacketBlock(Direction::Inbound, 3000000005ull, "");
    auto withResolution = [&](char tsresol) {
        std::string idb = pcapng::interfaceDescriptionBlock("", "");
        idb[idb.size() - 12] = tsresol; // the value of if_tsresol
        return Read(shb + idb + epb);
    };
    EXPECT_EQ(withResolution(9).packets.at(0).unixNanoseconds, 3000000005ull);
    EXPECT_EQ(withResolution(6).packets.at(0).unixNanoseconds, 3000000005000ull);
    EXPECT_EQ(withResolution(10).packets.at(0).unixNanoseconds, 300000000ull);
    // 2^-1 seconds: 3000000005 halves.
    EXPECT_EQ(withResolution('\x81').packets.at(0).unixNanoseconds, 1500000002500000000ull);

    std::string idb = pcapng::interfaceDescriptionBlock("", "");
    // if_tsoffset of 100 s, put before the end of options.
    const std::string offset("\x0E\0\x08\0\x64\0\0\0\0\0\0\0", 12);
    idb.insert(idb.size() - 8, offset);
    idb[4] = static_cast<char>(idb.size());
    idb[idb.size() - 4] = static_cast<char>(idb.size());
    EXPECT_EQ(Read(shb + idb + epb).packets.at(0).unixNanoseconds, 103000000005ull);
}

// Wireshark's own writer: text2pcap, which puts the direction into
// epb_flags from an I or O before each packet.
TEST(PcapngReader, ReadsWhatText2pcapWrites) {
    SKIP_ON_WINDOWS("runs Linux's text2pcap");
    const ScratchFolder scratch;
    const std::string dir = scratch.path();
    const std::string text = dir + "/in.txt";
    const std::string out = dir + "/out.pcapng";
    {
        std::ofstream file(text);
        file << "I 2024-01-01T00:00:00.\n0000 02 11 90 10\n"
             << "O 2024-01-01T00:00:01.\n0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n";
    }
    for (const char* linkType : {"147", "1"}) {
        const ToolRun made =
            RunCommand("HOME=" + dir + " text2pcap -q -D -t '%Y-%m-%dT%H:%M:%S.' -l " + linkType +
                           " -N ttyS0 " + text + " " + out,
                       dir);
        ASSERT_EQ(made.status, 0) << made.err;
        std::ifstream file(out, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        const ReadBack back = Read(bytes.str());
        if (std::string(linkType) == "1") {
            EXPECT_NE(back.error.find("link type 1, not LINKTYPE_USER0"), std::string::npos)
                << back.error;
            continue;
        }
        ASSERT_EQ(back.error, "");
        ASSERT_EQ(back.packets.size(), 2u);
        EXPECT_EQ(back.packets[0].data, std::string("\x02\x11\x90\x10", 4));
        EXPECT_EQ(back.packets[0].direction, Direction::Inbound);
        EXPECT_EQ(back.packets[0].unixNanoseconds, 1704067200000000000ull);
        EXPECT_EQ(back.packets[1].data, std::string(16, '\0'));
        EXPECT_EQ(back.packets[1].direction, Direction::Outbound);
        EXPECT_EQ(back.packets[1].unixNanoseconds, 1704067201000000000ull);
    }
}

} // namespace
