#include "history_file_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct KindCase {
    std::string path;
    HistoryFileKind kind;
};

class HistoryFileKindOfPath : public testing::TestWithParam<KindCase> {};

TEST_P(HistoryFileKindOfPath, ComparesTheLastFourCharactersExactly) {
    EXPECT_EQ(HistoryFileKindOf(GetParam().path), GetParam().kind) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Endings, HistoryFileKindOfPath,
    testing::Values(KindCase{"/home/op/Kelmora_history.his", HistoryFileKind::History},
                    KindCase{"C:\\logs\\run.txt", HistoryFileKind::Text},
                    KindCase{".his", HistoryFileKind::History},
                    KindCase{"/home/op/Kelmora_history.HIS", HistoryFileKind::EntriesOnly},
                    KindCase{"run.Txt", HistoryFileKind::EntriesOnly},
                    KindCase{"Kelmora_history", HistoryFileKind::EntriesOnly},
                    KindCase{"his", HistoryFileKind::EntriesOnly},
                    KindCase{"run.his.bak", HistoryFileKind::EntriesOnly},
                    KindCase{"/data.his/run", HistoryFileKind::EntriesOnly},
                    KindCase{"run.thistxt", HistoryFileKind::EntriesOnly},
                    KindCase{"", HistoryFileKind::EntriesOnly}));

std::string writeToString(const HistoryFileHeader& header, const std::vector<std::string>& lines) {
    std::string file;
    const bool ok = WriteHistoryFile(
        header, lines.size(), [&](std::size_t row, std::string& out) { out += lines[row]; },
        [&](const char* data, std::size_t size) {
            file.append(data, size);
            return true;
        });
    EXPECT_TRUE(ok);
    return file;
}

struct FileCase {
    const char* name;
    HistoryFileKind kind;
    std::vector<std::string> lines;
    std::string bytes;
};

class HistoryFileBytes : public testing::TestWithParam<FileCase> {};

TEST_P(HistoryFileBytes, AreQuotedLinesEndingInCrLf) {
    const HistoryFileHeader header{GetParam().kind, "V0.5B", "07.12.25 14:03"};
    EXPECT_EQ(writeToString(header, GetParam().lines), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, HistoryFileBytes,
    testing::Values(
        FileCase{"EmptyHis",
                 HistoryFileKind::History,
                 {},
                 "\"Kelmora V0.5B History Ouptut File\"\r\n"
                 "\"Created on 07.12.25 14:03\"\r\n"},
        FileCase{"EmptyTxt",
                 HistoryFileKind::Text,
                 {},
                 "\"Kelmora V0.5B History Text Ouptut File\"\r\n"
                 "\"Created on 07.12.25 14:03\"\r\n"},
        FileCase{"EmptyOther", HistoryFileKind::EntriesOnly, {}, ""},
        FileCase{"EntriesOnly",
                 HistoryFileKind::EntriesOnly,
                 {std::string(118, '0') + "0700000000",
                  "IN < 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 "
                  "0000 0000  t- 40"},
                 "\"" + std::string(118, '0') + "0700000000\"\r\n" +
                     "\"IN < 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 "
                     "0000 0000 0000  t- 40\"\r\n"},
        // The reference run line keeps its control characters, byte for byte.
        FileCase{"ReferenceRunInHis",
                 HistoryFileKind::History,
                 {"\x02\x31\x04", "\x02\x31\x04\x01\x02\x03\x01"},
                 "\"Kelmora V0.5B History Ouptut File\"\r\n"
                 "\"Created on 07.12.25 14:03\"\r\n"
                 "\"\x02\x31\x04\"\r\n"
                 "\"\x02\x31\x04\x01\x02\x03\x01\"\r\n"},
        // Quotes inside a line and 8-bit characters are written unchanged;
        // an empty line is still a line.
        FileCase{"RawCharacters",
                 HistoryFileKind::EntriesOnly,
                 {"say \"hi\"", "", "\xB0\xFF"},
                 "\"say \"hi\"\"\r\n\"\"\r\n\"\xB0\xFF\"\r\n"}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST(HistoryFileWriter, StreamsALongHistoryInBoundedPiecesWithNothingLost) {
    constexpr std::size_t kLines = 20000;
    const HistoryFileHeader header{HistoryFileKind::Text, "V0.5B", "1/2/25 3:04 PM"};
    auto lineFor = [](std::size_t row) { return "line " + std::to_string(row); };
    std::string file;
    std::size_t pieces = 0;
    std::size_t largest = 0;
    const bool ok = WriteHistoryFile(
        header, kLines, [&](std::size_t row, std::string& out) { out += lineFor(row); },
        [&](const char* data, std::size_t size) {
            ++pieces;
            largest = std::max(largest, size);
            file.append(data, size);
            return true;
        });
    ASSERT_TRUE(ok);

    std::string expected = "\"Kelmora V0.5B History Text Ouptut File\"\r\n"
                           "\"Created on 1/2/25 3:04 PM\"\r\n";
    for (std::size_t row = 0; row < kLines; ++row) {
        expected += "\"" + lineFor(row) + "\"\r\n";
    }
    EXPECT_EQ(file, expected);
    EXPECT_GT(pieces, 2u);
    EXPECT_LE(largest, 64u * 1024u + 64u);
}

TEST(HistoryFileWriter, StopsAtTheFirstPieceTheSinkRefuses) {
    std::size_t offered = 0;
    std::size_t linesRead = 0;
    const bool ok = WriteHistoryFile(
        HistoryFileHeader{}, 100000,
        [&](std::size_t, std::string& out) {
            ++linesRead;
            out += std::string(100, 'A');
        },
        [&](const char*, std::size_t) {
            ++offered;
            return false;
        });
    EXPECT_FALSE(ok);
    EXPECT_EQ(offered, 1u);
    EXPECT_LT(linesRead, 1000u);
}

} // namespace
