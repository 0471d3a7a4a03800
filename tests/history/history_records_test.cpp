#include "history_records.h"
#include "type_casting.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

ReceivedBlock blockOf(std::initializer_list<std::uint8_t> bytes) {
    ReceivedBlock block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

CommandFrame frameOf(std::initializer_list<std::uint8_t> bytes) {
    CommandFrame frame{};
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    return frame;
}

CommandFrame statusRequest(std::uint8_t counter) {
    CommandFrame frame{};
    frame[59] = counter;
    return frame;
}

struct LoggedLine {
    std::function<void(HistoryRecords&)> append;
    std::string line;
};

// Worked examples of each kind of line, appended one after the other into the
// same history so that records of different kinds and sizes sit side by side.
std::vector<LoggedLine> workedExamples() {
    ReceivedBlock counting{};
    for (std::size_t i = 0; i < counting.size(); ++i) {
        counting[i] = static_cast<std::uint8_t>(i);
    }
    const ReceivedBlock status =
        blockOf({0x02, 0x11, 0x90, 0x10, 0x27, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF,
                 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x32, 0x00,
                 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00});
    const CommandFrame firstMove =
        frameOf({0x02, 0x11, 0x00, 0x00, 0x00, 0x00, 0x04, 0x01, 0x32, 0x00, 0x00, 0x00, 0x32, 0x00,
                 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF, 0x32, 0x00, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF,
                 0xCE, 0xFF, 0xFF, 0xFF, 0x32, 0x00, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF});
    CommandFrame allOnes;
    allOnes.fill(0xFF);
    return {
        {[=](HistoryRecords& h) { h.appendReceived(counting, 125); },
         "IN < 0001 0203 0405 0607 0809 0A0B 0C0D 0E0F 1011 1213 1415 1617 1819 1A1B 1C1D 1E1F "
         " t- 125"},
        {[=](HistoryRecords& h) { h.appendReceived(status, 250); },
         "IN < 0211 9010 2700 00CE FFFF FF00 0000 0000 0100 0000 3200 0000 0000 0007 0000 0000 "
         " t- 250"},
        {[](HistoryRecords& h) { h.appendReceived(ReceivedBlock{}, -40); },
         "IN < 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 "
         " t- -40"},
        {[=](HistoryRecords& h) { h.appendSentFrame(firstMove); },
         // offsets 0 to 7, 8 to 23, 24 to 39, then zeros to the end
         "0211000000000401"
         "3200000032000000CEFFFFFF32000000"
         "CEFFFFFFCEFFFFFF32000000CEFFFFFF" +
             std::string(48, '0')},
        {[](HistoryRecords& h) { h.appendSentFrame(statusRequest(7)); },
         std::string(118, '0') + "0700000000"},
        {[](HistoryRecords& h) { h.appendSentFrame(CommandFrame{}); }, std::string(128, '0')},
        {[=](HistoryRecords& h) { h.appendSentFrame(allOnes); }, std::string(128, 'F')},
        // Reference run lines: the start-up order stops at the x code 0.
        {[](HistoryRecords& h) { h.appendText("\x02\x31\x04\x00\x01\x02\x03"s); }, "\x02\x31\x04"},
        {[](HistoryRecords& h) { h.appendText("\x02\x31\x04\x01\x02\x03\x01"); },
         "\x02\x31\x04\x01\x02\x03\x01"},
        {[](HistoryRecords& h) { h.appendText(""); }, ""},
        {[](HistoryRecords& h) { h.appendText("caf\xE9 \x7F\xFF"); }, "caf\xE9 \x7F\xFF"},
        {[](HistoryRecords& h) { h.appendText(std::string(200000, 'L')); },
         std::string(200000, 'L')},
    };
}

TEST(HistoryRecords, GivesBackEveryKindOfLineExactly) {
    const std::vector<LoggedLine> examples = workedExamples();
    HistoryRecords history;
    for (const LoggedLine& example : examples) {
        example.append(history);
    }
    ASSERT_EQ(history.count(), examples.size());
    for (std::size_t row = 0; row < examples.size(); ++row) {
        EXPECT_EQ(history.lineAt(row), examples[row].line) << "row " << row;
    }
}

TEST(HistoryRecords, AppendLineToKeepsWhatIsAlreadyThere) {
    HistoryRecords history;
    history.appendText("\x02\x31\x04");
    std::string out = "\"";
    history.appendLineTo(0, out);
    EXPECT_EQ(out, "\"\x02\x31\x04");
}

// Enough varied records to fill several storage chunks and index blocks;
// every line must still come back from its own record.
TEST(HistoryRecords, LongSessionKeepsEveryLineAcrossStorageBoundaries) {
    constexpr std::size_t kExchanges = 60000;
    auto replyFor = [](std::size_t i) {
        ReceivedBlock block{};
        for (std::size_t b = 0; b < block.size(); ++b) {
            block[b] = (i + b) % 3 == 0 ? 0 : static_cast<std::uint8_t>(i * 31 + b);
        }
        return block;
    };
    HistoryRecords history;
    for (std::size_t i = 0; i < kExchanges; ++i) {
        history.appendSentFrame(statusRequest(static_cast<std::uint8_t>(i)));
        history.appendReceived(replyFor(i), static_cast<std::int32_t>(i) - 100);
        if (i % 997 == 0) {
            history.appendText("\x02\x31\x04\x01");
        }
    }
    std::size_t row = 0;
    for (std::size_t i = 0; i < kExchanges; ++i) {
        const std::string counter = history.lineAt(row++);
        ASSERT_EQ(counter.substr(118, 2), TypeCasting::ByteToHex(static_cast<std::uint8_t>(i)));
        ASSERT_EQ(counter.size(), 128u);
        ASSERT_EQ(history.lineAt(row++), ReceivedLine(replyFor(i), static_cast<int>(i) - 100));
        if (i % 997 == 0) {
            ASSERT_EQ(history.lineAt(row++), "\x02\x31\x04\x01");
        }
    }
    EXPECT_EQ(row, history.count());
}

TEST(HistoryRecords, LinesAfterManyClearsReadBackWhateverTheirNumber) {
    // The dataset lists: cleared every other line; and a history cleared
    // after it grew past its first chunk and index block.
    HistoryRecords history;
    for (int round = 0; round < 3; ++round) {
        const int lines = round == 1 ? 40000 : 2;
        for (int i = 0; i < lines; ++i) {
            history.appendText("line " + std::to_string(round) + "/" + std::to_string(i));
        }
        ASSERT_EQ(history.count(), static_cast<std::size_t>(lines));
        EXPECT_EQ(history.lineAt(0), "line " + std::to_string(round) + "/0");
        EXPECT_EQ(history.lineAt(static_cast<std::size_t>(lines - 1)),
                  "line " + std::to_string(round) + "/" + std::to_string(lines - 1));
        EXPECT_EQ(history.lineAt(static_cast<std::size_t>(lines / 2)),
                  "line " + std::to_string(round) + "/" + std::to_string(lines / 2));
        history.clear();
    }
}

TEST(HistoryRecords, ClearReleasesTheLinesAndStartsAfresh) {
    HistoryRecords history;
    for (int i = 0; i < 50000; ++i) {
        history.appendSentFrame(statusRequest(static_cast<std::uint8_t>(i)));
    }
    history.appendText(std::string(100000, 'x'));
    const std::size_t filled = history.memoryBytes();
    history.clear();
    EXPECT_EQ(history.count(), 0u);
    // What is kept for the next lines is one chunk and one index block.
    EXPECT_LE(history.memoryBytes(), 512u * 1024u);
    EXPECT_LT(history.memoryBytes(), filled / 2);
    EXPECT_THROW(history.lineAt(0), std::out_of_range);

    history.appendText("\x02\x31\x04");
    ASSERT_EQ(history.count(), 1u);
    EXPECT_EQ(history.lineAt(0), "\x02\x31\x04");
}

TEST(HistoryRecords, RowPastTheEndIsRefused) {
    HistoryRecords history;
    history.appendText("only");
    EXPECT_THROW(history.lineAt(1), std::out_of_range);
}

// A polling session: a status request with its counter, then the controller's
// 32-byte reply with the elapsed time.
TEST(HistoryRecords, PollingSessionCostsLessThan64BytesALine) {
    const ReceivedBlock reply =
        blockOf({0x02, 0x11, 0x90, 0x10, 0x27, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF,
                 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x32, 0x00,
                 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00});
    HistoryRecords history;
    for (int i = 0; i < 50000; ++i) {
        history.appendSentFrame(statusRequest(static_cast<std::uint8_t>(i)));
        history.appendReceived(reply, 1000 + i % 7);
    }
    ASSERT_EQ(history.count(), 100000u);
    const double bytesPerLine =
        static_cast<double>(history.memoryBytes()) / static_cast<double>(history.count());
    EXPECT_GT(bytesPerLine, 8.0); // the accounting counts at least the index
    EXPECT_LT(bytesPerLine, 64.0);
}

} // namespace
