#include "output_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_sync.h"

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
int CreateAside(std::string& pattern) {
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

OutputFile::~OutputFile() {
    abandon();
}

std::string OutputFile::open(const std::string& path) {
    target_ = path;
    struct stat facts {};
    const bool exists = ::stat(path.c_str(), &facts) == 0;
    if (exists && !S_ISREG(facts.st_mode)) {
        stream_ = std::fopen(path.c_str(), "wb");
        return stream_ ? std::string() : Reason(errno);
    }
    if (exists) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) {
            return Reason(errno);
        }
        target_ = resolved;
    }
    const std::size_t slash = target_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string aside = folder + "." + name + ".kelmora-XXXXXX";
    const int fd = CreateAside(aside);
    if (fd < 0) {
        return Reason(errno);
    }
    // The mode a new file gets, or the one the replaced file had.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, exists ? (facts.st_mode & 07777) : (0666 & ~mask));
    aside_ = aside;
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        const int error = errno;
        ::close(fd);
        abandon();
        return Reason(error);
    }
    return {};
}

std::string OutputFile::commit() {
    if (!stream_) {
        return {};
    }
    std::string failure;
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
        failure = Reason(errno);
    }
    if (failure.empty() && !aside_.empty()) {
        failure = SyncFileData(::fileno(stream_));
    }
    if (std::fclose(stream_) != 0 && failure.empty()) {
        failure = Reason(errno);
    }
    stream_ = nullptr;
    if (aside_.empty()) {
        return failure;
    }
    if (failure.empty() && ::rename(aside_.c_str(), target_.c_str()) != 0) {
        failure = Reason(errno);
    }
    if (!failure.empty()) {
        abandon();
        return failure;
    }
    aside_.clear();
    asideForSignals[0] = '\0';
    return SyncFolderOf(target_);
}

void OutputFile::abandon() {
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!aside_.empty()) {
        ::unlink(aside_.c_str());
        aside_.clear();
        asideForSignals[0] = '\0';
    }
}

bool IsSameFile(int fd, const std::string& path) {
    struct stat input {};
    struct stat output {};
    return ::fstat(fd, &input) == 0 && ::stat(path.c_str(), &output) == 0 &&
           input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}
