// kelmora-history as a program, on captures: a history written as a capture
// with --pcapng reads back as the same entries; a damaged or foreign capture
// is refused with its block and offset and status 1; and output that cannot
// be written (a full disk, a reader gone away) is said, with status 2,
// instead of being lost in silence.

#include "tool_run.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "command_frames.h"
#include "frames/command_channel.h"
#include "pcapng_reader.h"
#include "pcapng_writer.h"
#include "received_line.h"
#include "type_casting.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

class HistoryCaptureCli : public ::testing::Test {
protected:
    ToolRun run(std::vector<std::string> args, const std::string& stdoutTo = "",
                const std::string& stdinFrom = "") {
        args.insert(args.begin(), KELMORA_HISTORY_PATH);
        return RunProgram(args, dir_, stdinFrom, stdoutTo);
    }

    // A history of `entries` random lines as the console saves it (.his
    // header, quoted lines, CR LF), starting with a sent frame.
    std::string writeHistory(const std::string& name, int entries, std::uint32_t seed) {
        std::mt19937 random(seed);
        auto pick = [&](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        std::string file = "\"Kelmora V0.5B History Ouptut File\"\r\n\"Created on 1.1.2027 "
                           "10:00\"\r\n";
        bool firstReceived = true;
        for (int i = 0; i < entries; ++i) {
            std::string line;
            const int kind = i == 0 ? 0 : pick(0, 4);
            if (kind == 0) {
                line = BuildStatusRequestFrame(static_cast<std::uint8_t>(pick(0, 255)));
            } else if (kind == 1) {
                std::array<Axis, 4> order{};
                for (Axis& axis : order) {
                    axis = static_cast<Axis>(pick(0, 3));
                }
                line = ReferenceRunLogLine(BuildReferenceRunFrame(order));
            } else if (kind == 2) {
                line = BuildModeChangeFrame(pick(0, 1) != 0);
            } else {
                ReceivedBlock block{};
                for (auto& byte : block) {
                    byte = static_cast<std::uint8_t>(pick(0, 255));
                }
                // A tick count first (the console's first block counts from
                // 0), then the gaps of a session, a few of them negative.
                const int elapsed = firstReceived ? pick(100000, 90000000) : pick(-5, 5000);
                firstReceived = false;
                line = ReceivedLine(block, elapsed);
            }
            file += "\"" + line + "\"\r\n";
        }
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << file;
        return path;
    }

    std::set<std::string> names() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    ScratchFolder scratch_;
    const std::string dir_ = scratch_.path();
};

// Every CSV column of every entry survives the trip through a capture; only
// a reference run's raw text differs (the capture has all 64 bytes, so the
// row shows their hex digits).
TEST_F(HistoryCaptureCli, AHistoryThroughACaptureReadsTheSame) {
    const std::string history = writeHistory("session.his", 3000, 17);
    const std::string capture = dir_ + "/session.pcapng";
    const ToolRun write = run({"--pcapng", capture, history});
    ASSERT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.out, "");

    const ToolRun fromHistory = run({"--csv", history});
    ASSERT_EQ(fromHistory.status, 0);
    const ToolRun fromCapture = run({"--csv", capture});
    ASSERT_EQ(fromCapture.status, 0) << fromCapture.err;
    const std::vector<std::string> a = Lines(fromHistory.out);
    const std::vector<std::string> b = Lines(fromCapture.out);
    ASSERT_EQ(a.size(), 3001u);
    ASSERT_EQ(b.size(), a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].find(",reference_run,") != std::string::npos) {
            const std::size_t rawAt = a[i].rfind(',') + 1;
            EXPECT_EQ(b[i].substr(0, rawAt), a[i].substr(0, rawAt));
            // The line's bytes, then 00 to the frame's end.
            std::string hex;
            for (unsigned char c : a[i].substr(rawAt)) {
                hex += TypeCasting::ByteToHex(c);
            }
            hex.resize(128, '0');
            EXPECT_EQ(b[i].substr(rawAt), hex);
        } else {
            EXPECT_EQ(b[i], a[i]) << "row " << i;
        }
    }
    // The decoded lines too, but for what the history did not keep of a
    // reference run.
    const std::vector<std::string> textA = Lines(run({history}).out);
    const std::vector<std::string> textB = Lines(run({capture}).out);
    ASSERT_EQ(textA.size(), textB.size());
    for (std::size_t i = 0; i < textA.size(); ++i) {
        if (textA[i].find("Reference run") == std::string::npos) {
            EXPECT_EQ(textB[i], textA[i]);
        }
    }

    // The capture says its times are made up, and names where it came from.
    std::ifstream in(capture, std::ios::binary);
    pcapng::CaptureReader reader(in);
    ASSERT_TRUE(reader.next().has_value());
    EXPECT_NE(reader.sectionComment().find("history file " + history), std::string::npos);
    EXPECT_NE(reader.sectionComment().find("times are not real"), std::string::npos);
}

// Damage of every kind, in front of good packets: the rows before the damage
// are written, the damage is named with its block and offset, status 1.
TEST_F(HistoryCaptureCli, DamagedAndForeignCapturesAreRefused) {
    const std::string status(32, '\x07');
    const std::string head = pcapng::sectionHeaderBlock("") +
                             pcapng::interfaceDescriptionBlock("/dev/ttyS0", "115200,n,8,1") +
                             pcapng::enhancedPacketBlock(pcapng::Direction::Inbound, 0, status);
    const std::string last = pcapng::enhancedPacketBlock(pcapng::Direction::Inbound, 5, status);
    const std::string at = std::to_string(head.size());
    const std::string size = std::to_string(last.size());

    struct Case {
        std::string name;
        std::string bytes;
        std::string message;
    };
    std::string badTrailer = head + last;
    badTrailer[badTrailer.size() - 4] = 0;
    std::string foreign =
        pcapng::sectionHeaderBlock("") + pcapng::interfaceDescriptionBlock("eth0", "");
    foreign[pcapng::sectionHeaderBlock("").size() + 8] = 1;
    const std::vector<Case> cases = {
        {"cut", head + last.substr(0, 30),
         "enhanced packet block at offset " + at + ": the file ends after 30 of its " + size +
             " bytes"},
        {"trailer", badTrailer,
         "enhanced packet block at offset " + at + ": total length " + size +
             " at its start, 0 at its end"},
        {"foreign", foreign,
         "interface description block at offset " +
             std::to_string(pcapng::sectionHeaderBlock("").size()) + ": link type 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_ + "/" + c.name + ".pcapng";
        std::ofstream(path, std::ios::binary) << c.bytes;
        const ToolRun csv = run({"--csv", path});
        EXPECT_EQ(csv.status, 1);
        EXPECT_EQ(csv.err.rfind("kelmora-history: " + path + ": " + c.message, 0), 0u) << csv.err;
        const std::size_t rows = c.name == "foreign" ? 1 : 2; // the header, the good packet
        EXPECT_EQ(Lines(csv.out).size(), rows) << csv.out;
    }
    // A capture given to --pcapng is refused before anything is written.
    const std::string good = dir_ + "/good.pcapng";
    std::ofstream(good, std::ios::binary) << head;
    EXPECT_EQ(run({"--pcapng", dir_ + "/again.pcapng", good}).status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/again.pcapng"));
}

// A full disk: every way of writing ends with the reason and status 2.
TEST_F(HistoryCaptureCli, AFullDiskIsSaid) {
    SKIP_ON_WINDOWS("it has no full device (/dev/full) nor a file size limit (ulimit -f)");
    const std::string history = writeHistory("big.his", 5000, 5);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{history}, std::vector<std::string>{"--csv", history}}) {
        const ToolRun full = run(args, "/dev/full");
        EXPECT_EQ(full.status, 2) << args.front();
        EXPECT_EQ(full.err, "kelmora-history: cannot write standard output: No space left on "
                            "device\n");
    }
    // A short output too, which only the final flush writes.
    const std::string small = writeHistory("small.his", 2, 6);
    for (const std::string& input : {history, small}) {
        EXPECT_EQ(run({input}, "/dev/full").status, 2) << input;
        const ToolRun capture = run({"--pcapng", "/dev/full", input});
        EXPECT_EQ(capture.status, 2) << input;
        EXPECT_EQ(capture.err,
                  "kelmora-history: cannot write /dev/full: No space left on device\n");
    }
    // Even the shortest output is checked: the help text.
    EXPECT_EQ(run({"--help"}, "/dev/full").status, 2);
    // A file size limit fails a write halfway; OUT stays as it was.
    const std::string out = dir_ + "/out.pcapng";
    std::ofstream(out) << "old";
    EXPECT_EQ(
        RunCommand("ulimit -f 8; " KELMORA_HISTORY_PATH " --pcapng " + out + " " + history, dir_)
            .status,
        2);
    EXPECT_EQ(ReadFile(out), "old");
}

// --pcapng OUT never destroys what it reads, and puts OUT in place only
// once it is whole: a conversion that fails or is stopped leaves OUT (and
// the folder) as they were.
TEST_F(HistoryCaptureCli, OutIsNeverTheInputAndOnlyEverWhole) {
    const std::string history = writeHistory("in.his", 3000, 12);
    const std::string original = ReadFile(history);
    std::filesystem::create_hard_link(history, dir_ + "/hard.pcapng");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"--pcapng", history, history}, ""},
        {{"--pcapng", dir_ + "/hard.pcapng", history}, ""},
        {{"--pcapng", history, "-"}, history}, // the file on standard input
    };
    for (const auto& [args, input] : refusals) {
        const ToolRun refused = run(args, "", input);
        EXPECT_EQ(refused.status, 2) << args[1];
        EXPECT_NE(refused.err.find("is the file being read"), std::string::npos) << refused.err;
        EXPECT_EQ(ReadFile(history), original) << args[1];
    }

    const std::string out = dir_ + "/out.pcapng";
    std::ofstream(out) << "old";
    const auto files = names();
    // Stopped while it reads: standard input stays open, then it is
    // interrupted.
    StartedProgram program({KELMORA_HISTORY_PATH, "--pcapng", out, "-"}, dir_, "", "");
    ASSERT_TRUE(program.write(original.substr(0, original.size() / 2)));
    while (names() == files) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // until it writes aside
    }
    EXPECT_EQ(program.wait(true), 0);
    EXPECT_EQ(ReadFile(out), "old");
    EXPECT_EQ(names(), files);
}

// A symbolic link to the input is the input too.
TEST_F(HistoryCaptureCli, OutIsNeverALinkToTheInput) {
    SKIP_ON_WINDOWS("libstdc++ makes no symbolic links there");
    const std::string history = writeHistory("in.his", 10, 3);
    std::filesystem::create_symlink(history, dir_ + "/link.pcapng");
    const ToolRun refused = run({"--pcapng", dir_ + "/link.pcapng", history});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("is the file being read"), std::string::npos) << refused.err;
}

// A reader that went away (the pipe's other end closed): said, status 2,
// not a silent death by SIGPIPE.
TEST_F(HistoryCaptureCli, AClosedPipeIsSaid) {
    SKIP_ON_WINDOWS("SIGPIPE is POSIX's, and the test forks");
#ifndef _WIN32
    const std::string history = writeHistory("big.his", 5000, 9);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        const int err = open((dir_ + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, STDERR_FILENO);
        // As a shell would start it: SIGPIPE at its default.
        signal(SIGPIPE, SIG_DFL);
        execl(KELMORA_HISTORY_PATH, KELMORA_HISTORY_PATH, "--csv", history.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 2);
    EXPECT_EQ(ReadFile(dir_ + "/err"),
              "kelmora-history: cannot write standard output: Broken pipe\n");
#endif
}

} // namespace
