// Two decoders agree: a capture holding every kind of frame, with random
// contents and random times, is read by tshark with kelmora.lua and by
// kelmora-history --csv, and every field of every frame must be the same in
// both. The fields the CSV has no column for (units, end velocity, points,
// ramp bits, reference order, signal bits) are held against the protocol
// core's decoding of the frame written, which is what kelmora-history
// decodes with.

#include "tool_run.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "command_decoding.h"
#include "command_frames.h"
#include "frames/command_channel.h"
#include "pcapng_writer.h"
#include "status_report.h"

namespace {

struct Frame {
    pcapng::Direction direction = pcapng::Direction::Outbound;
    std::uint64_t time = 0;
    std::string bytes;
};

ToolRun RunTool(const std::string& command, const std::string& dir) {
    return RunCommand("HOME=" + dir + " " + command, dir);
}

std::string FromFrame(const CommandFrame& frame) {
    return std::string(reinterpret_cast<const char*>(frame.data()), frame.size());
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// tshark prints a float field as printf's %g does.
std::string FloatText(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

std::string ValueText(const FrameValue& value) {
    return value.millimetres ? FloatText(value.mm) : std::to_string(value.steps);
}

std::string Byte0x(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", byte);
    return text;
}

const std::vector<std::string> kSwitchNames = {"end_x",     "end_y", "end_z", "end_c",
                                               "emergency", "bit5",  "bit6",  "bit7"};
const std::vector<std::string> kAuxNames = {"bit0",    "bit1",    "bit2",  "bit3",
                                            "spindle", "cooling", "sleep", "boost"};

std::vector<std::string> TsharkFields() {
    std::vector<std::string> fields = {
        "frame.number",
        "kelmora.direction",
        "kelmora.kind",
        "kelmora.elapsed_ms",
        "kelmora.counter",
        "kelmora.target_mode",
        "kelmora.status.mode",
        "kelmora.status.error_code",
        "kelmora.status.frame_counter",
        "kelmora.status.x",
        "kelmora.status.y",
        "kelmora.status.z",
        "kelmora.status.c",
        "kelmora.status.fill_level",
        "kelmora.status.switches",
        "kelmora.status.aux",
        "kelmora.zero.x",
        "kelmora.zero.y",
        "kelmora.zero.z",
        "kelmora.zero.c",
        "kelmora.zero.x_mm",
        "kelmora.zero.y_mm",
        "kelmora.zero.z_mm",
        "kelmora.zero.c_mm",
        "kelmora.signals",
        "kelmora.signals.spindle",
        "kelmora.signals.cooling",
        "kelmora.units",
        "kelmora.end_velocity",
        "kelmora.end_velocity_mm",
        "kelmora.point_count",
        "kelmora.point.a",
        "kelmora.point.b",
        "kelmora.point.a_mm",
        "kelmora.point.b_mm",
        "kelmora.point.used",
        "kelmora.ramp_bits",
        "kelmora.reference.constant",
        "kelmora.start",
        "kelmora.command",
        "kelmora.unknown",
        "kelmora.partial",
    };
    for (int step = 1; step <= 4; ++step) {
        fields.push_back("kelmora.reference.step" + std::to_string(step));
    }
    for (int bit = 0; bit < 8; ++bit) {
        fields.push_back("kelmora.ramp_bits.bit" + std::to_string(bit));
        fields.push_back("kelmora.status.switch." + kSwitchNames[bit]);
        fields.push_back("kelmora.status.aux." + kAuxNames[bit]);
    }
    return fields;
}

// Random frames of every kind the line carries, built as the console builds
// them where a builder exists, and raw bytes where the point is any value.
class FrameMaker {
public:
    explicit FrameMaker(std::uint32_t seed) : random_(seed) {}

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string randomBytes(std::size_t size) {
        std::string bytes;
        for (std::size_t i = 0; i < size; ++i) {
            bytes += static_cast<char>(pick(0, 255));
        }
        return bytes;
    }

    // A finite single or a step count, as 4 bytes.
    std::string value(bool mm) {
        if (!mm) {
            return randomBytes(4);
        }
        const float v = pick(0, 3) == 0
                            ? std::ldexp(static_cast<float>(pick(-99999, 99999)), pick(-140, 100))
                            : static_cast<float>(pick(-200000, 200000)) / 8.0f;
        std::string bytes(4, '\0');
        std::memcpy(&bytes[0], &v, 4);
        return bytes;
    }

    std::string command(const std::string& kind) {
        if (kind == "move_xy" || kind == "move_zc") {
            if (pick(0, 1)) {
                MoveSetup setup;
                setup.units = pick(0, 1) ? Units::Millimetres : Units::Steps;
                setup.num_coord = std::to_string(pick(0, 6));
                for (int i = 0; i < 6; ++i) {
                    setup.x_z[i] = std::to_string(pick(-50000, 50000));
                    setup.y_c[i] = std::to_string(pick(-50000, 50000)) + ".5";
                }
                setup.v_end = std::to_string(pick(0, 9000));
                for (bool& box : setup.rampChecked) {
                    box = pick(0, 1);
                }
                const BuiltFrame built =
                    BuildMoveFrame(setup, kind == "move_xy" ? AxisPair::XY : AxisPair::ZC,
                                   static_cast<std::uint8_t>(pick(0, 255)), '.');
                EXPECT_TRUE(built.ok());
                return FromFrame(FrameFromHex(built.hexText));
            }
            // Any bytes, a units byte of 00, 01 or anything.
            std::string frame = randomBytes(64);
            frame[0] = 0x02;
            frame[1] = kind == "move_xy" ? 0x11 : 0x12;
            const int units = pick(0, 2);
            frame[7] = static_cast<char>(units == 2 ? pick(2, 255) : units);
            for (std::size_t at = 2; at < 56; at += (at == 2 ? 6 : 4)) {
                frame.replace(at, 4, value(frame[7] == 0));
            }
            return frame;
        }
        if (kind == "zero_point") {
            const bool mm = pick(0, 1);
            std::array<std::string, 4> values;
            for (auto& v : values) {
                v = mm ? std::to_string(pick(-9999, 9999)) + "." + std::to_string(pick(0, 999))
                       : std::to_string(pick(-2000000, 2000000));
            }
            const BuiltFrame built =
                BuildZeroPointFrame(mm ? Units::Millimetres : Units::Steps, values, '.');
            EXPECT_TRUE(built.ok());
            return FromFrame(FrameFromHex(built.hexText));
        }
        if (kind == "aux_signals") {
            std::string frame = FromFrame(
                FrameFromHex(BuildAuxiliarySignalsFrame(pick(0, 1) != 0, pick(0, 1) != 0)));
            if (pick(0, 3) == 0) {
                frame[2] = static_cast<char>(pick(0, 255)); // bits beyond the two signals
            }
            return frame;
        }
        if (kind == "mode_change") {
            return FromFrame(FrameFromHex(BuildModeChangeFrame(pick(0, 1) != 0)));
        }
        if (kind == "reference_run") {
            std::array<Axis, 4> order{};
            for (Axis& axis : order) {
                axis = static_cast<Axis>(pick(0, 3));
            }
            return BuildReferenceRunFrame(order);
        }
        if (kind == "status_request") {
            return FromFrame(
                FrameFromHex(BuildStatusRequestFrame(static_cast<std::uint8_t>(pick(0, 255)))));
        }
        if (kind == "partial") {
            // What the line took of a refused frame: its first 1 to 63 bytes.
            return command(pick(0, 1) ? "move_xy" : "status_request")
                .substr(0, static_cast<std::size_t>(pick(1, 63)));
        }
        // Unknown: a start byte that is neither 00 nor 02, or a command byte
        // no command has.
        std::string frame = randomBytes(64);
        if (pick(0, 1)) {
            frame[0] = static_cast<char>(pick(3, 255));
        } else {
            frame[0] = 0x02;
            frame[1] = 0x7E;
        }
        return frame;
    }

private:
    std::mt19937 random_;
};

class CaptureDecodersAgree : public ::testing::Test {
protected:
    ScratchFolder scratch_;
    const std::string dir_ = scratch_.path();
};

TEST_F(CaptureDecodersAgree, EveryFieldOfEveryFrame) {
    // KELMORA_AGREE_SEED=N replays a run.
    const char* replay = std::getenv("KELMORA_AGREE_SEED");
    const auto seed = replay ? static_cast<std::uint32_t>(std::strtoul(replay, nullptr, 10))
                             : std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    FrameMaker maker(seed);
    const std::vector<std::string> kinds = {
        "move_xy",        "move_zc", "zero_point", "aux_signals", "mode_change", "reference_run",
        "status_request", "unknown", "status",     "status",      "partial"};
    std::vector<Frame> frames;
    std::uint64_t time =
        1700000000000000000ull + static_cast<std::uint64_t>(maker.pick(0, 1 << 30));
    for (int i = 0; i < 600; ++i) {
        const std::string kind = i < static_cast<int>(kinds.size())
                                     ? kinds[static_cast<std::size_t>(i)]
                                     : kinds[static_cast<std::size_t>(maker.pick(0, 10))];
        Frame frame;
        // Steps of nanoseconds to seconds, now and then backwards.
        const int scale = maker.pick(0, 9);
        const std::int64_t step =
            static_cast<std::int64_t>(maker.pick(0, 999999)) * (scale < 3   ? 1
                                                                : scale < 8 ? 1000
                                                                            : 3000000);
        time += static_cast<std::uint64_t>(maker.pick(0, 40) == 0 ? -step / 7 : step);
        frame.time = time;
        if (kind == "status") {
            frame.direction = pcapng::Direction::Inbound;
            frame.bytes = maker.randomBytes(32);
        } else {
            frame.bytes = maker.command(kind);
        }
        frames.push_back(frame);
    }
    // A packet neither decoder takes as a frame: kelmora-history names it,
    // the dissector shows it as unknown.
    const std::size_t oddIndex = 300;
    frames.insert(frames.begin() + oddIndex,
                  Frame{pcapng::Direction::Inbound, frames[oddIndex - 1].time, "\x01\x02\x03"});

    const std::string capture = dir_ + "/every-kind.pcapng";
    std::size_t oddOffset = 0;
    {
        std::ofstream file(capture, std::ios::binary);
        file << pcapng::sectionHeaderBlock("two decoders agree")
             << pcapng::interfaceDescriptionBlock("/dev/pts/9", "115200,n,8,1");
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (i == oddIndex) {
                oddOffset = static_cast<std::size_t>(file.tellp());
            }
            file << pcapng::enhancedPacketBlock(frames[i].direction, frames[i].time,
                                                frames[i].bytes);
        }
    }

    const ToolRun csv = RunProgram({KELMORA_HISTORY_PATH, "--csv", capture}, dir_);
    EXPECT_EQ(csv.status, 1);
    EXPECT_EQ(csv.err, "kelmora-history: " + capture + ": packet " + std::to_string(oddIndex + 1) +
                           " (enhanced packet block at offset " + std::to_string(oddOffset) +
                           "): inbound, 3 bytes, not a 32-byte status frame\n");
    const std::vector<std::string> fields = TsharkFields();
    std::string command = "tshark -r " + capture + " -X lua_script:" KELMORA_DISSECTOR_PATH +
                          " -T fields -E separator='|' -E occurrence=a -E aggregator=';'";
    for (const std::string& field : fields) {
        command += " -e " + field;
    }
    const ToolRun shark = RunTool(command, dir_);
    ASSERT_EQ(shark.status, 0) << shark.err;

    const std::vector<std::string> csvRows = Split(csv.out, '\n');
    const std::vector<std::string> sharkRows = Split(shark.out, '\n');
    ASSERT_EQ(sharkRows.size(), frames.size() + 1); // the empty tail
    ASSERT_EQ(csvRows.size(), frames.size() + 1);   // header, one row short, empty tail

    std::size_t csvRow = 1;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i + 1));
        const Frame& frame = frames[i];
        const std::vector<std::string> values = Split(sharkRows[i], '|');
        ASSERT_EQ(values.size(), fields.size()) << sharkRows[i];
        std::map<std::string, std::string> got;
        for (std::size_t k = 0; k < fields.size(); ++k) {
            got[fields[k]] = values[k];
        }
        EXPECT_EQ(got["frame.number"], std::to_string(i + 1));
        const bool in = frame.direction == pcapng::Direction::Inbound;
        EXPECT_EQ(got["kelmora.direction"], in ? "in" : "out");
        if (i == oddIndex) {
            EXPECT_EQ(got["kelmora.kind"], "unknown");
            EXPECT_EQ(got["kelmora.unknown"], "010203");
            continue;
        }
        const std::vector<std::string> row = Split(csvRows[csvRow++], ',');
        ASSERT_EQ(row.size(), 15u);
        // index,direction,elapsed_ms,command,counter,mode,error,x,y,z,c,
        // fill_percent,switches,aux,raw
        EXPECT_EQ(row[1], got["kelmora.direction"]);
        if (in) {
            const StatusReport s = DecodeStatus(frame.bytes);
            EXPECT_EQ(got["kelmora.kind"], "status");
            EXPECT_EQ(row[3], "");
            EXPECT_EQ(row[2], got["kelmora.elapsed_ms"]);
            EXPECT_EQ(row[4], got["kelmora.status.frame_counter"]);
            EXPECT_EQ(row[5], got["kelmora.status.mode"]);
            EXPECT_EQ(row[6], got["kelmora.status.error_code"]);
            EXPECT_EQ(row[7], got["kelmora.status.x"]);
            EXPECT_EQ(row[8], got["kelmora.status.y"]);
            EXPECT_EQ(row[9], got["kelmora.status.z"]);
            EXPECT_EQ(row[10], got["kelmora.status.c"]);
            EXPECT_EQ(row[11], got["kelmora.status.fill_level"]);
            std::string switches, aux;
            for (int bit = 0; bit < 8; ++bit) {
                if (got["kelmora.status.switch." + kSwitchNames[bit]] == "1") {
                    switches += (switches.empty() ? "" : "+") + kSwitchNames[bit];
                }
                if (got["kelmora.status.aux." + kAuxNames[bit]] == "1") {
                    aux += (aux.empty() ? "" : "+") + kAuxNames[bit];
                }
                EXPECT_EQ(got["kelmora.status.switch." + kSwitchNames[bit]],
                          (s.switchFlags >> bit & 1) ? "1" : "0");
            }
            EXPECT_EQ(row[12], switches);
            EXPECT_EQ(row[13], aux);
            EXPECT_EQ(got["kelmora.status.switches"], Byte0x(s.switchFlags));
            EXPECT_EQ(got["kelmora.status.aux"], Byte0x(s.auxiliaryFlags));
            EXPECT_EQ(row[14].substr(0, 10), "IN < " + Hex(frame.bytes.substr(0, 2)) + " ");
            EXPECT_EQ(row[14].substr(row[14].size() - row[2].size() - 4), " t- " + row[2]);
            continue;
        }
        if (frame.bytes.size() < 64) {
            EXPECT_EQ(row[3], "partial");
            EXPECT_EQ(got["kelmora.kind"], "partial");
            EXPECT_EQ(row[14], Hex(frame.bytes));
            EXPECT_EQ(got["kelmora.partial"], Lower(Hex(frame.bytes)));
            continue;
        }
        CommandFrame bytes{};
        std::memcpy(bytes.data(), frame.bytes.data(), bytes.size());
        const DecodedCommand d = DecodeCommand(bytes);
        EXPECT_EQ(row[14], Hex(frame.bytes));
        EXPECT_EQ(row[3], got["kelmora.kind"]);
        EXPECT_EQ(row[3], CommandKindName(d.kind));
        EXPECT_EQ(got["kelmora.start"], Byte0x(d.start));
        EXPECT_EQ(got["kelmora.command"], Byte0x(d.command));
        EXPECT_EQ(row[2], got["kelmora.elapsed_ms"]);
        EXPECT_EQ(row[4], got["kelmora.counter"]);
        switch (d.kind) {
        case CommandKind::MoveXY:
        case CommandKind::MoveZC: {
            EXPECT_EQ(got["kelmora.units"], Byte0x(d.unitsByte));
            EXPECT_EQ(got["kelmora.point_count"], std::to_string(d.pointCount));
            const bool mm = d.endVelocity.millimetres;
            EXPECT_EQ(got[mm ? "kelmora.end_velocity_mm" : "kelmora.end_velocity"],
                      ValueText(d.endVelocity));
            std::string a, b, used;
            for (std::size_t n = 0; n < 6; ++n) {
                a += (n ? ";" : "") + ValueText(d.points[n][0]);
                b += (n ? ";" : "") + ValueText(d.points[n][1]);
                used += (n ? ";" : "") + std::string(n < d.pointCount ? "1" : "0");
            }
            EXPECT_EQ(got[mm ? "kelmora.point.a_mm" : "kelmora.point.a"], a);
            EXPECT_EQ(got[mm ? "kelmora.point.b_mm" : "kelmora.point.b"], b);
            EXPECT_EQ(got[mm ? "kelmora.point.a" : "kelmora.point.a_mm"], "");
            EXPECT_EQ(got["kelmora.point.used"], used);
            EXPECT_EQ(got["kelmora.ramp_bits"], Byte0x(d.rampBits));
            for (int bit = 0; bit < 8; ++bit) {
                EXPECT_EQ(got["kelmora.ramp_bits.bit" + std::to_string(bit)],
                          (d.rampBits >> bit & 1) ? "1" : "0");
            }
            break;
        }
        case CommandKind::ZeroPoint: {
            const bool mm = d.zeroPoint[0].millimetres;
            EXPECT_EQ(got["kelmora.units"], Byte0x(d.unitsByte));
            const char* axes[] = {"x", "y", "z", "c"};
            for (std::size_t k = 0; k < 4; ++k) {
                const std::string name = std::string("kelmora.zero.") + axes[k];
                EXPECT_EQ(got[mm ? name + "_mm" : name], ValueText(d.zeroPoint[k]));
                EXPECT_EQ(got[mm ? name : name + "_mm"], "");
                // The CSV's x, y, z, c hold the zero point; in millimetres as
                // the shortest text that reads back as the same single.
                if (mm) {
                    const float csvValue = std::strtof(row[7 + k].c_str(), nullptr);
                    EXPECT_EQ(std::memcmp(&csvValue, &d.zeroPoint[k].mm, 4), 0) << row[7 + k];
                    EXPECT_EQ(FloatText(csvValue), got[name + "_mm"]);
                } else {
                    EXPECT_EQ(row[7 + k], got[name]);
                }
            }
            break;
        }
        case CommandKind::AuxiliarySignals: {
            EXPECT_EQ(got["kelmora.signals"], Byte0x(d.signalBits));
            std::string csvNames;
            for (int bit = 0; bit < 8; ++bit) {
                if (d.signalBits >> bit & 1) {
                    const std::string name = bit == 0   ? "spindle"
                                             : bit == 1 ? "cooling"
                                                        : "bit" + std::to_string(bit);
                    csvNames += (csvNames.empty() ? "" : "+") + name;
                }
            }
            EXPECT_EQ(row[13], csvNames);
            EXPECT_EQ(got["kelmora.signals.spindle"], (d.signalBits & 1) ? "1" : "0");
            EXPECT_EQ(got["kelmora.signals.cooling"], (d.signalBits & 2) ? "1" : "0");
            break;
        }
        case CommandKind::ModeChange:
            EXPECT_EQ(row[5], got["kelmora.target_mode"]);
            EXPECT_EQ(row[5], std::to_string(d.targetMode));
            break;
        case CommandKind::ReferenceRun:
            EXPECT_EQ(got["kelmora.reference.constant"], Byte0x(frame.bytes[2]));
            for (std::size_t step = 0; step < 4; ++step) {
                EXPECT_EQ(got["kelmora.reference.step" + std::to_string(step + 1)],
                          std::to_string(*d.referenceOrder[step]));
            }
            break;
        case CommandKind::StatusRequest:
            EXPECT_EQ(row[4], std::to_string(*d.counter));
            break;
        case CommandKind::Unknown:
            EXPECT_EQ(got["kelmora.unknown"], Lower(Hex(frame.bytes)));
            break;
        }
        if (HasFailure()) {
            FAIL() << "tshark: " << sharkRows[i] << "\ncsv: " << csvRows[csvRow - 1];
        }
    }
}

} // namespace
