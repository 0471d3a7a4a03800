#include "aside_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file being written aside, for the signal handlers: a conversion
// that is interrupted removes it before the program ends.
char asideForSignals[PATH_MAX + 1];

extern "C" void RemoveAsideAndEnd(int signal) {
    if (asideForSignals[0] != '\0') {
        ::unlink(asideForSignals);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Creates the file aside from `pattern` (mkstemp's), known to the signal
// handlers before a signal can be taken: one that comes meanwhile waits.
int CreateWatched(std::string& pattern) {
    sigset_t ending;
    sigset_t before;
    sigemptyset(&ending);
    for (const int signal : kEndingSignals) {
        sigaddset(&ending, signal);
        std::signal(signal, RemoveAsideAndEnd);
    }
    sigprocmask(SIG_BLOCK, &ending, &before);
    const int fd = ::mkstemp(pattern.data());
    const int error = errno;
    if (fd >= 0) {
        std::memset(asideForSignals, 0, sizeof asideForSignals);
        std::strncpy(asideForSignals, pattern.c_str(), PATH_MAX);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return fd;
}

std::string Reason(int error) {
    return std::strerror(error);
}

} // namespace

std::string LookUpOutput(const std::string& path, OutputName& name) {
    name.replaced = path;
    struct stat facts {};
    if (::stat(path.c_str(), &facts) != 0) {
        return {};
    }
    name.direct = !S_ISREG(facts.st_mode);
    if (!name.direct) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) {
            return Reason(errno);
        }
        name.replaced = resolved;
    }
    return {};
}

std::string CreateAside(const std::string& prefix, const OutputName& name, std::string& aside,
                        std::FILE*& stream) {
    aside = prefix + "XXXXXX";
    const int fd = CreateWatched(aside);
    if (fd < 0) {
        return Reason(errno);
    }
    // The mode a new file gets, or the one the replaced file had.
    struct stat facts {};
    const bool exists = ::stat(name.replaced.c_str(), &facts) == 0;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, exists ? (facts.st_mode & 07777) : (0666 & ~mask));
    stream = ::fdopen(fd, "wb");
    if (!stream) {
        const int error = errno;
        ::close(fd);
        RemoveAside(aside);
        return Reason(error);
    }
    return {};
}

std::string PutInPlace(const std::string& aside, const std::string& replaced) {
    if (::rename(aside.c_str(), replaced.c_str()) != 0) {
        return Reason(errno);
    }
    asideForSignals[0] = '\0';
    return {};
}

void RemoveAside(const std::string& aside) {
    ::unlink(aside.c_str());
    asideForSignals[0] = '\0';
}

bool IsSameFile(int fd, const std::string& path) {
    struct stat input {};
    struct stat output {};
    return ::fstat(fd, &input) == 0 && ::stat(path.c_str(), &output) == 0 &&
           input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}
