// A history saved by the console's own writer, read back by the installed
// reader program: every entry's CSV fields against what went into it, then
// the same file with lines that are not entries.

#include "tool_run.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "command_frames.h"
#include "frames/command_channel.h"
#include "history_records.h"
#include "history_saver.h"

namespace {

const std::string kHeader =
    "index,direction,elapsed_ms,command,counter,mode,error,x,y,z,c,fill_percent,switches,aux,raw";

ToolRun RunReader(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<std::string> line = {KELMORA_HISTORY_PATH};
    line.insert(line.end(), args.begin(), args.end());
    return RunProgram(line, dir);
}

std::string Joined(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : "+") + name;
    }
    return joined;
}

std::string Int32At(const ReceivedBlock& block, std::size_t offset) {
    const std::uint32_t word = block[offset] | block[offset + 1] << 8 | block[offset + 2] << 16 |
                               std::uint32_t{block[offset + 3]} << 24;
    return std::to_string(static_cast<std::int32_t>(word));
}

// What each entry's row must hold: columns 2 to 15, index excluded.
using Row = std::vector<std::string>;

Row Expected(const std::string& direction, const std::string& raw) {
    Row row(14);
    row[0] = direction;
    row[13] = raw;
    return row;
}

TEST(HistoryReader, ASavedHistoryReadsBackFieldByField) {
    std::mt19937 random(20261207);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    HistoryRecords history;
    std::vector<Row> expected;
    const std::vector<std::string> millimetres = {"2.5", "-0.125", "100", "0", "-7.75"};

    for (int i = 0; i < 400; ++i) {
        const auto counter = static_cast<std::uint8_t>(pick(0, 255));
        std::string hex;
        Row row = Expected("out", "");
        switch (pick(0, 7)) {
        case 0: {
            const AxisPair pair = pick(0, 1) ? AxisPair::XY : AxisPair::ZC;
            hex = BuildMoveFrame(MoveSetup{}, pair, counter, '.').hexText;
            row[2] = pair == AxisPair::XY ? "move_xy" : "move_zc";
            row[3] = std::to_string(counter);
            break;
        }
        case 1: {
            const bool mm = pick(0, 1);
            std::array<std::string, 4> values;
            for (auto& value : values) {
                value = mm ? millimetres[pick(0, 4)] : std::to_string(pick(-100000, 100000));
            }
            hex = BuildZeroPointFrame(mm ? Units::Millimetres : Units::Steps, values, '.').hexText;
            row[2] = "zero_point";
            std::copy(values.begin(), values.end(), row.begin() + 6);
            break;
        }
        case 2: {
            const bool spindle = pick(0, 1), cooling = pick(0, 1);
            hex = BuildAuxiliarySignalsFrame(spindle, cooling);
            row[2] = "aux_signals";
            std::vector<std::string> on;
            if (spindle)
                on.push_back("spindle");
            if (cooling)
                on.push_back("cooling");
            row[12] = Joined(on);
            break;
        }
        case 3: {
            const bool toMode1 = pick(0, 1);
            hex = BuildModeChangeFrame(toMode1);
            row[2] = "mode_change";
            row[4] = toMode1 ? "1" : "2";
            break;
        }
        case 4:
            hex = BuildStatusRequestFrame(counter);
            row[2] = "status_request";
            row[3] = std::to_string(counter);
            break;
        case 5: {
            std::array<Axis, 4> order{};
            for (Axis& axis : order) {
                axis = static_cast<Axis>(pick(0, 3));
            }
            const std::string line = ReferenceRunLogLine(BuildReferenceRunFrame(order));
            history.appendText(line);
            row[2] = "reference_run";
            row[13] = line;
            expected.push_back(row);
            continue;
        }
        case 6: {
            CommandFrame frame{};
            for (auto& byte : frame) {
                byte = static_cast<std::uint8_t>(pick(0, 255));
            }
            frame[0] = static_cast<std::uint8_t>(pick(3, 255)); // neither 00 nor 02
            history.appendSentFrame(frame);
            row[2] = "unknown";
            row[13] = history.lineAt(history.count() - 1);
            expected.push_back(row);
            continue;
        }
        default: {
            ReceivedBlock block{};
            for (auto& byte : block) {
                byte = static_cast<std::uint8_t>(pick(0, 255));
            }
            const std::int32_t elapsed = pick(-5, 100000);
            history.appendReceived(block, elapsed);
            static const char* const kSwitches[] = {"end_x",     "end_y", "end_z", "end_c",
                                                    "emergency", "bit5",  "bit6",  "bit7"};
            static const char* const kAux[] = {"bit0",    "bit1",    "bit2",  "bit3",
                                               "spindle", "cooling", "sleep", "boost"};
            std::vector<std::string> switches, aux;
            for (int bit = 0; bit < 8; ++bit) {
                if (block[1] >> bit & 1)
                    switches.push_back(kSwitches[bit]);
                if (block[2] >> bit & 1)
                    aux.push_back(kAux[bit]);
            }
            expected.push_back({"in", std::to_string(elapsed), "", std::to_string(block[27]),
                                std::to_string(block[0]), std::to_string(block[26]),
                                Int32At(block, 3), Int32At(block, 7), Int32At(block, 11),
                                Int32At(block, 15), std::to_string(block[20]), Joined(switches),
                                Joined(aux), ReceivedLine(block, elapsed)});
            continue;
        }
        }
        ASSERT_EQ(hex.size(), 128u);
        history.appendSentFrame(FrameFromHex(hex));
        row[13] = hex;
        expected.push_back(row);
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string base = dir.path().toStdString();
    const QDateTime now(QDate(2026, 12, 7), QTime(14, 3));
    for (const std::string name : {"session.his", "session.txt", "session"}) {
        SCOPED_TRACE(name);
        const std::string path = base + "/" + name;
        ASSERT_TRUE(SaveHistory(history, QString::fromStdString(path), "V0.5B", now).ok);
        const ToolRun run = RunReader({"--csv", path}, base);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        const std::vector<std::string> lines = Split(run.out, '\n');
        ASSERT_EQ(lines.size(), expected.size() + 2); // header, rows, the empty tail
        EXPECT_EQ(lines.front(), kHeader);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            std::vector<std::string> fields = Split(lines[i + 1], ',');
            ASSERT_EQ(fields.size(), 15u) << lines[i + 1];
            EXPECT_EQ(fields[0], std::to_string(i + 1));
            fields.erase(fields.begin());
            EXPECT_EQ(fields, expected[i]) << "entry " << i + 1;
        }
        const ToolRun text = RunReader({path}, base);
        EXPECT_EQ(text.status, 0);
        EXPECT_EQ(Split(text.out, '\n').size(), expected.size() + 1);
    }

    // Lines that are not entries, at known line numbers of a .his file
    // (two header lines first), and no line end after the last one.
    const std::string path = base + "/session.his";
    std::string file = ReadFile(path);
    const std::size_t lines = expected.size() + 2;
    file += "\"IN < 0211\"\r\n";                     // line lines+1
    file += "\"" + std::string(128, 'a') + "\"\r\n"; // lower-case digits
    file += "\"" + expected[0][13] + "\"\r\n";       // an entry again
    file += std::string(5000, 'x') + "\r\n";         // longer than any line
    file += expected[0][13];                         // no quotes, no line end
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
    const ToolRun run = RunReader({"--csv", path}, base);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 4) << run.err;
    for (std::size_t k : {1, 2, 4, 5}) {
        const std::string where = path + ":" + std::to_string(lines + k) + ":";
        EXPECT_NE(run.err.find(where), std::string::npos) << where << " in " << run.err;
    }
    const std::vector<std::string> rows = Split(run.out, '\n');
    ASSERT_EQ(rows.size(), expected.size() + 3);
    EXPECT_EQ(rows[expected.size() + 1].substr(0, std::to_string(expected.size() + 1).size() + 1),
              std::to_string(expected.size() + 1) + ",");

    EXPECT_EQ(RunReader({base + "/no-such-file"}, base).status, 2);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
