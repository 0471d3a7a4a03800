#include "pseudo_terminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::open(std::string& error) {
    std::unique_ptr<PseudoTerminal> terminal(new PseudoTerminal);
    terminal->master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal->master_ < 0) {
        error = SystemError("posix_openpt");
        return nullptr;
    }
    if (grantpt(terminal->master_) != 0 || unlockpt(terminal->master_) != 0) {
        error = SystemError("grantpt/unlockpt");
        return nullptr;
    }
    const char* name = ptsname(terminal->master_);
    if (name == nullptr) {
        error = SystemError("ptsname");
        return nullptr;
    }
    terminal->slaveName_ = name;

    const int flags = fcntl(terminal->master_, F_GETFL);
    if (flags < 0 || fcntl(terminal->master_, F_SETFL, flags | O_NONBLOCK) != 0 ||
        fcntl(terminal->master_, F_SETFD, FD_CLOEXEC) != 0) {
        error = SystemError("fcntl");
        return nullptr;
    }

    terminal->slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal->slaveKeeper_ < 0) {
        error = SystemError(std::string("open ") + name);
        return nullptr;
    }
    // Raw: no echo of the frames back to the controller, no line editing,
    // no translation of CR, NL or control bytes in binary frames.
    termios settings{};
    if (tcgetattr(terminal->slaveKeeper_, &settings) != 0) {
        error = SystemError("tcgetattr");
        return nullptr;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, B115200) != 0 || cfsetospeed(&settings, B115200) != 0 ||
        tcsetattr(terminal->slaveKeeper_, TCSANOW, &settings) != 0) {
        error = SystemError("tcsetattr");
        return nullptr;
    }
    return terminal;
}

PseudoTerminal::~PseudoTerminal() {
    if (slaveKeeper_ >= 0) {
        ::close(slaveKeeper_);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

std::size_t PseudoTerminal::unreadBytes() const {
    int waiting = 0;
    if (slaveKeeper_ < 0 || ioctl(slaveKeeper_, FIONREAD, &waiting) != 0 || waiting < 0) {
        return 0;
    }
    return static_cast<std::size_t>(waiting);
}

std::unique_ptr<SymbolicLink> SymbolicLink::create(const std::string& path,
                                                   const std::string& target, std::string& error) {
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error = path + ": exists and is not a symbolic link";
            return nullptr;
        }
        if (unlink(path.c_str()) != 0) {
            error = SystemError("unlink " + path);
            return nullptr;
        }
    }
    if (symlink(target.c_str(), path.c_str()) != 0) {
        error = SystemError("symlink " + path);
        return nullptr;
    }
    return std::unique_ptr<SymbolicLink>(new SymbolicLink(path, target));
}

SymbolicLink::~SymbolicLink() {
    char buffer[4096];
    const ssize_t length = readlink(path_.c_str(), buffer, sizeof buffer);
    if (length >= 0 && std::string(buffer, static_cast<std::size_t>(length)) == target_) {
        unlink(path_.c_str());
    }
}

} // namespace sim
