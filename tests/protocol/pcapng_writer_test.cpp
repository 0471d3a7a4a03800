// The capture encoder's blocks byte for byte, worked out by hand from the
// pcapng layout, and a file of them read back by tshark and capinfos: the
// programs the captures are for are the real judges of the format.

#include "tool_run.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>
#include <string>

#include "pcapng_writer.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) {
        bytes += static_cast<char>(v);
    }
    return bytes;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
        hex += ' ';
    }
    return hex;
}

// clang-format off: the bytes laid out as the format's fields
TEST(PcapngWriter, EnhancedPacketBlockByHand) {
    const std::string block = pcapng::enhancedPacketBlock(pcapng::Direction::Outbound,
                                                          0x0000000100000002ull, Bytes({1, 2, 3}));
    const std::string expected = Bytes({
        0x06, 0, 0, 0, 0x30, 0, 0, 0, // type 6, 48 bytes
        0,    0, 0, 0,                // interface 0
        1,    0, 0, 0, 2,    0, 0, 0, // time, high word first
        3,    0, 0, 0, 3,    0, 0, 0, // captured and original length
        1,    2, 3, 0,                // data, padded
        2,    0, 4, 0, 2,    0, 0, 0, // epb_flags: outbound
        0,    0, 0, 0,                // end of options
        0x30, 0, 0, 0,
    });
    EXPECT_EQ(Hex(block), Hex(expected));
}

TEST(PcapngWriter, InboundPacketWithCommentByHand) {
    const std::string block =
        pcapng::enhancedPacketBlock(pcapng::Direction::Inbound, 0x1122334455667788ull, "", "hello");
    const std::string expected = Bytes({
        0x06, 0, 0, 0, 0x38, 0,    0,    0, // 56 bytes
        0,    0, 0, 0, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55, 0,   0, 0, 0,
        0,    0, 0, 0, 1,    0,    5,    0,    'h',  'e',  'l',  'l',  'o', 0, 0, 0, // opt_comment
        2,    0, 4, 0, 1,    0,    0,    0, // epb_flags: inbound
        0,    0, 0, 0, 0x38, 0,    0,    0,
    });
    EXPECT_EQ(Hex(block), Hex(expected));
}

TEST(PcapngWriter, InterfaceDescriptionBlockByHand) {
    const std::string block = pcapng::interfaceDescriptionBlock("/dev/pts/3", "115200,n,8,1");
    std::string expected =
        Bytes({1, 0, 0, 0, 0x40, 0, 0, 0, 0x93, 0, 0, 0, 0x40, 0, 0, 0, 2, 0, 10, 0});
    expected += "/dev/pts/3" + Bytes({0, 0, 3, 0, 12, 0}) + "115200,n,8,1";
    expected += Bytes({9, 0, 1, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0});
    EXPECT_EQ(Hex(block), Hex(expected));
}

TEST(PcapngWriter, SectionHeaderBlockByHand) {
    const std::string app = "Kelmora " KELMORA_VERSION_TEXT; // 13 bytes
    ASSERT_EQ(app.size(), 13u);
    const std::string block = pcapng::sectionHeaderBlock("ab");
    std::string expected = Bytes(
        {0x0A, 0x0D, 0x0D, 0x0A, 0x3C, 0,    0, 0, 0x4D, 0x3C, 0x2B, 0x1A, 1, 0, 0, 0, 0xFF, 0xFF,
         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 2,    0,    'a',  'b',  0, 0, 4, 0, 13,   0});
    expected += app + Bytes({0, 0, 0, 0, 0, 0, 0, 0x3C, 0, 0, 0}); // 3 padding, end of options
    EXPECT_EQ(Hex(block), Hex(expected));
    // No comment, no opt_comment.
    EXPECT_EQ(pcapng::sectionHeaderBlock("").size(), expected.size() - 8);
}

// clang-format on

class PcapngFile : public ::testing::Test {
protected:
    ScratchFolder scratch_;
    const std::string dir_ = scratch_.path();
    const std::string path_ = dir_ + "/written.pcapng";
};

// tshark reads every packet with its time to the nanosecond, its direction,
// its bytes and its comment; capinfos names the link type, the interface and
// the section's comment.
TEST_F(PcapngFile, TsharkAndCapinfosReadIt) {
    SKIP_ON_WINDOWS("runs Linux's tshark and capinfos");
    std::string out64(64, '\0');
    out64[0] = 0x02;
    out64[1] = 0x11;
    out64[63] = 0x7F;
    std::string in32(32, '\x5A');
    {
        std::ofstream file(path_, std::ios::binary);
        file << pcapng::sectionHeaderBlock("times are made up, for a test")
             << pcapng::interfaceDescriptionBlock("/dev/ttyUSB0", "115200,n,8,1")
             << pcapng::enhancedPacketBlock(pcapng::Direction::Outbound, 1700000000123456789ull,
                                            out64)
             << pcapng::enhancedPacketBlock(pcapng::Direction::Inbound, 1700000000987654321ull,
                                            in32, "answer, with a comma")
             << pcapng::enhancedPacketBlock(pcapng::Direction::Inbound, 1700000001000000001ull,
                                            std::string(7, '\x01'));
    }
    // Wireshark's own names for what the blocks carry.
    const ToolRun fields =
        RunCommand("HOME=" + dir_ + " tshark -r " + path_ +
                       " -T fields -E separator=';' -e frame.time_epoch -e frame.len -e "
                       "frame.packet_flags_direction -e frame.comment -e data.data",
                   dir_);
    ASSERT_EQ(fields.status, 0) << fields.out;
    const std::string expected =
        "1700000000.123456789;64;0x00000002;;0211" + std::string(122, '0') + "7f\n" +
        "1700000000.987654321;32;0x00000001;answer, with a comma;" + std::string(64, ' ') + "\n" +
        "1700000001.000000001;7;0x00000001;;01010101010101\n";
    std::string inHex;
    for (int i = 0; i < 32; ++i) {
        inHex += "5a";
    }
    std::string want = expected;
    want.replace(want.find(std::string(64, ' ')), 64, inHex);
    EXPECT_EQ(fields.out, want);

    ToolRun info = RunCommand("HOME=" + dir_ + " capinfos " + path_, dir_);
    info.out += info.err;
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("File type:           Wireshark/... - pcapng"), std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("USER 0"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Number of packets:   3"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Capture comment:     times are made up, for a test"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Capture application: Kelmora " KELMORA_VERSION_TEXT),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Name = /dev/ttyUSB0"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Description = 115200,n,8,1"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Time precision = nanoseconds (9)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Capture length = 64"), std::string::npos) << info.out;
}

} // namespace
