#include "file_sync.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

SyncGate& Gate() {
    static SyncGate gate;
    return gate;
}

// The gate's word on a sync: 0 to go on, else the error that fails it.
int Refusal(SyncKind kind) {
    const SyncGate& gate = Gate();
    return gate ? gate(kind) : 0;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string SyncFileData(int fd) {
    if (const int error = Refusal(SyncKind::FileData); error != 0) {
        return std::strerror(error);
    }
    if (::fdatasync(fd) != 0) {
        return std::strerror(errno);
    }
    return {};
}

std::string SyncFolderOf(const std::string& path) {
    if (const int error = Refusal(SyncKind::Folder); error != 0) {
        return std::strerror(error);
    }
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return std::strerror(errno);
    }
    // Some file systems cannot sync a folder and say so: nothing is lost
    // there that a sync could keep.
    const bool synced = ::fsync(folder) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int error = errno;
    ::close(folder);
    return synced ? std::string() : std::strerror(error);
}

void SetSyncGateForTesting(SyncGate gate) {
    Gate() = std::move(gate);
}
