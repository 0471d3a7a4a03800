// Runs the real kelmora-sim and talks to it through the pseudo-terminal it
// prints, as the console would.

#include "test_frames.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& arguments) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            static char program[] = KELMORA_SIM_PATH;
            argv.push_back(program);
            for (const std::string& a : arguments) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(program, argv.data());
            _exit(127);
        }
        close(out[1]);
        stdout_ = out[0];
    }

    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) {
            close(stdout_);
        }
    }

    bool started() const { return pid_ > 0 && stdout_ >= 0; }

    std::optional<std::string> readLine(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const auto end = buffered_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            pollfd fd{stdout_, POLLIN, 0};
            if (poll(&fd, 1, RemainingMs(deadline)) <= 0) {
                return std::nullopt;
            }
            char chunk[512];
            const ssize_t n = read(stdout_, chunk, sizeof chunk);
            if (n <= 0) {
                return std::nullopt;
            }
            buffered_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    void signal(int number) { kill(pid_, number); }

    // The wait status, once the process has ended within the timeout.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout, rusage* usage = nullptr) {
        const auto deadline = Clock::now() + timeout;
        do {
            int status = 0;
            const pid_t done = wait4(pid_, &status, WNOHANG, usage);
            if (done == pid_) {
                exited_ = true;
                return status;
            }
            usleep(10'000);
        } while (Clock::now() < deadline);
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool exited_ = false;
    std::string buffered_;
};

class SlaveLine {
public:
    explicit SlaveLine(const std::string& name)
        : fd_(open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~SlaveLine() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    bool isOpen() const { return fd_ >= 0; }

    bool write(const sim::CommandFrame& frame) {
        return ::write(fd_, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
    }

    // Exactly `count` bytes, or what arrived before the timeout.
    std::vector<std::uint8_t> read(std::size_t count, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        std::vector<std::uint8_t> bytes;
        while (bytes.size() < count) {
            pollfd fd{fd_, POLLIN, 0};
            if (poll(&fd, 1, RemainingMs(deadline)) <= 0) {
                break;
            }
            std::uint8_t chunk[256];
            const ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, count - bytes.size()));
            if (n < 0 && errno == EAGAIN) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        return bytes;
    }

private:
    int fd_;
};

sim::StatusFrame AsStatus(const std::vector<std::uint8_t>& bytes, std::size_t offset = 0) {
    sim::StatusFrame frame{};
    std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
              bytes.begin() + static_cast<std::ptrdiff_t>(offset + frame.size()), frame.begin());
    return frame;
}

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "kelmora-sim-" + std::to_string(getpid()) + "-" + name;
}

TEST(SimProcess, AnswersAStatusRequestAndStopsOnSigterm) {
    const std::string link = TempPath("link");
    SimProcess sim({"--link", link});
    ASSERT_TRUE(sim.started());
    const std::optional<std::string> name = sim.readLine(5s);
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(name->rfind("/dev/", 0), 0u) << *name;

    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), *name);

    SlaveLine line(*name);
    ASSERT_TRUE(line.isOpen());
    ASSERT_TRUE(line.write(simtest::Frame("00 00")));
    const std::vector<std::uint8_t> reply = line.read(32, 1s);
    ASSERT_EQ(reply.size(), 32u);
    const simtest::Status status = simtest::Decode(AsStatus(reply));
    EXPECT_EQ(status.counter, 1);
    EXPECT_EQ(status.mode, 1);
    EXPECT_EQ(status.error, 0);
    EXPECT_TRUE(line.read(1, 100ms).empty()) << "one request, one status frame";

    sim.signal(SIGTERM);
    const std::optional<int> exit = sim.waitForExit(5s);
    ASSERT_TRUE(exit.has_value());
    EXPECT_TRUE(WIFEXITED(*exit));
    EXPECT_EQ(WEXITSTATUS(*exit), 0);
    struct stat gone {};
    EXPECT_NE(lstat(link.c_str(), &gone), 0) << "the link is removed on exit";
}

TEST(SimProcess, StreamsStampedFramesAndStopsAfterTheLimit) {
    SimProcess sim({"--stream", "max", "--frames", "5", "--stamp"});
    ASSERT_TRUE(sim.started());
    const std::optional<std::string> name = sim.readLine(5s);
    ASSERT_TRUE(name.has_value());
    SlaveLine line(*name);
    ASSERT_TRUE(line.isOpen());

    const std::vector<std::uint8_t> bytes = line.read(5 * 32, 5s);
    ASSERT_EQ(bytes.size(), 5u * 32u);
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        const sim::StatusFrame frame = AsStatus(bytes, 32 * i);
        EXPECT_EQ(frame[0], 1) << "frame " << i;
        const auto stamp = static_cast<std::uint32_t>(simtest::Int32At(frame, 28));
        if (i > 0) {
            // CLOCK_MONOTONIC in microseconds, wrapping at 2^32: later or equal.
            EXPECT_LT(stamp - previous, 60'000'000u) << "frame " << i;
        }
        previous = stamp;
    }
    const std::optional<int> exit = sim.waitForExit(5s);
    ASSERT_TRUE(exit.has_value());
    EXPECT_TRUE(WIFEXITED(*exit));
    EXPECT_EQ(WEXITSTATUS(*exit), 0);
}

TEST(SimProcess, HexPrintsEachReceivedFrame) {
    SimProcess sim({"--hex"});
    ASSERT_TRUE(sim.started());
    const std::optional<std::string> name = sim.readLine(5s);
    ASSERT_TRUE(name.has_value());
    SlaveLine line(*name);
    ASSERT_TRUE(line.isOpen());

    ASSERT_TRUE(line.write(simtest::Frame("02 41 00 00 00 00 00 01 E8 03 00 00 FF FF FF FF")));
    EXPECT_EQ(sim.readLine(2s), "02410000000000"
                                "01E8030000FFFFFFFF" +
                                    std::string(128 - 32, '0'));
    ASSERT_TRUE(line.write(simtest::Frame("00 00")));
    const std::vector<std::uint8_t> reply = line.read(32, 1s);
    ASSERT_EQ(reply.size(), 32u);
    const simtest::Status status = simtest::Decode(AsStatus(reply));
    EXPECT_EQ(status.x, 1000);
    EXPECT_EQ(status.y, -1);
    EXPECT_EQ(status.counter, 2);
    EXPECT_EQ(sim.readLine(2s), std::string(128, '0'));
    sim.signal(SIGINT);
    ASSERT_TRUE(sim.waitForExit(5s).has_value());
}

// With no one on the line, and after a user has come and gone, the
// simulator waits rather than spins.
TEST(SimProcess, IdlesWithoutBurningTheProcessor) {
    SimProcess sim({});
    ASSERT_TRUE(sim.started());
    const std::optional<std::string> name = sim.readLine(5s);
    ASSERT_TRUE(name.has_value());
    usleep(400'000);
    {
        SlaveLine line(*name);
        ASSERT_TRUE(line.isOpen());
    }
    usleep(400'000);
    sim.signal(SIGTERM);
    rusage usage{};
    ASSERT_TRUE(sim.waitForExit(5s, &usage).has_value());
    const double cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    EXPECT_LT(cpuSeconds, 0.3);
}

TEST(SimProcess, RefusesToReplaceAFileThatIsNotALink) {
    const std::string path = TempPath("plain-file");
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    SimProcess sim({"--link", path});
    ASSERT_TRUE(sim.started());
    const std::optional<int> exit = sim.waitForExit(5s);
    ASSERT_TRUE(exit.has_value());
    EXPECT_EQ(WEXITSTATUS(*exit), 1);
    struct stat still {};
    ASSERT_EQ(lstat(path.c_str(), &still), 0);
    EXPECT_TRUE(S_ISREG(still.st_mode));
    unlink(path.c_str());
}

TEST(SimProcess, UnknownOptionExitsWithUsageError) {
    SimProcess sim({"--no-such-option"});
    ASSERT_TRUE(sim.started());
    const std::optional<int> exit = sim.waitForExit(5s);
    ASSERT_TRUE(exit.has_value());
    EXPECT_EQ(WEXITSTATUS(*exit), 2);
}

} // namespace
