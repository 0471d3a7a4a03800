// The controller's end of a pseudo-terminal for screen_bench: it prints the
// terminal's device name, then takes orders on stdin, one a line, and
// answers each with "done <frames written>" once it is carried out:
//
//   rate R frames N     N status frames, R a second, each on its due time
//   flood seconds S     status frames as fast as the terminal takes them
//
// Every frame is the worked example status frame (mode 2, x 10000, y -50,
// z 0, c 256, 50 %, error 0, frame counter 7), so whoever reads the line
// shows the same values every time, as from a machine standing still.
// Ends when stdin closes.

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr std::array<std::uint8_t, 32> kWorkedExample = {
    0x02, 0x11, 0x90, 0x10, 0x27, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x32, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00};

std::int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void sleepUntil(std::int64_t ns) {
    const timespec due{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
    }
}

// Writes one whole frame, waiting for room; false when the line is gone.
bool writeFrame(int master) {
    std::size_t written = 0;
    while (written < kWorkedExample.size()) {
        const ssize_t n =
            write(master, kWorkedExample.data() + written, kWorkedExample.size() - written);
        if (n > 0) {
            written += std::size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd room{master, POLLOUT, 0};
        poll(&room, 1, 100);
    }
    return true;
}

// Bytes the reader may send (none are expected) are thrown away, so that
// they never fill the terminal.
void drainInput(int master) {
    char sink[256];
    while (read(master, sink, sizeof sink) > 0) {
    }
}

long atRate(int master, double rate, long frames) {
    const auto period = std::int64_t(1e9 / rate);
    std::int64_t due = nowNs();
    long sent = 0;
    for (; sent < frames; ++sent) {
        sleepUntil(due);
        drainInput(master);
        if (!writeFrame(master)) {
            break;
        }
        due += period;
    }
    return sent;
}

long flood(int master, double seconds) {
    const std::int64_t end = nowNs() + std::int64_t(seconds * 1e9);
    long sent = 0;
    while (nowNs() < end) {
        drainInput(master);
        if (!writeFrame(master)) {
            break;
        }
        ++sent;
    }
    return sent;
}

} // namespace

int main() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("stream_peer: pty");
        return 1;
    }
    const char* name = ptsname(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // The far end is kept open and raw, so that the line discipline passes
    // the frames unchanged whoever opens the device.
    const int keeper = open(name, O_RDWR | O_NOCTTY);
    termios raw{};
    if (keeper < 0 || tcgetattr(keeper, &raw) != 0) {
        std::perror("stream_peer: device");
        return 1;
    }
    cfmakeraw(&raw);
    cfsetispeed(&raw, B115200);
    cfsetospeed(&raw, B115200);
    tcsetattr(keeper, TCSANOW, &raw);
    std::printf("%s\n", name);
    std::fflush(stdout);

    char order[128];
    while (std::fgets(order, sizeof order, stdin)) {
        double rate = 0;
        long frames = 0;
        double seconds = 0;
        long sent = -1;
        if (std::sscanf(order, "rate %lf frames %ld", &rate, &frames) == 2 && rate > 0) {
            sent = atRate(master, rate, frames);
        } else if (std::sscanf(order, "flood seconds %lf", &seconds) == 1) {
            sent = flood(master, seconds);
        }
        std::printf("done %ld\n", sent);
        std::fflush(stdout);
    }
    close(keeper);
    close(master);
    return 0;
}
