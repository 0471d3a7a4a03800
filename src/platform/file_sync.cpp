#include "file_sync.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <system_error>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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

#ifdef _WIN32
std::string WindowsReason(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}
#endif

// The folder part of `path`; a root keeps its separator ("/", "C:\\").
// (On Windows, std::filesystem gives a narrow name back as UTF-8, not in
// the system's code page it came in.)
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos) {
        return ".";
    }
    const bool root = slash == 0 || path[slash - 1] == ':';
    return path.substr(0, root ? slash + 1 : slash);
}

} // namespace

std::string SyncFileData(int fd) {
    if (const int error = Refusal(SyncKind::FileData); error != 0) {
        return std::strerror(error);
    }
#ifdef _WIN32
    const auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE) {
        return std::strerror(EBADF);
    }
    if (!::FlushFileBuffers(file)) {
        return WindowsReason(::GetLastError());
    }
#else
    if (::fdatasync(fd) != 0) {
        return std::strerror(errno);
    }
#endif
    return {};
}

std::string SyncFolderOf(const std::string& path) {
    if (const int error = Refusal(SyncKind::Folder); error != 0) {
        return std::strerror(error);
    }
#ifdef _WIN32
    // A folder opens only with backup semantics, and flushes only when
    // opened for writing. Where Windows refuses a folder's flush, a
    // replace's own write-through (MoveFileEx) is what keeps the entry.
    const HANDLE folder =
        ::CreateFileA(FolderOf(path).c_str(), GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_ACCESS_DENIED ? std::string() : WindowsReason(error);
    }
    const bool synced = ::FlushFileBuffers(folder) || ::GetLastError() == ERROR_ACCESS_DENIED ||
                        ::GetLastError() == ERROR_INVALID_FUNCTION;
    const DWORD error = ::GetLastError();
    ::CloseHandle(folder);
    return synced ? std::string() : WindowsReason(error);
#else
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
#endif
}

void SetSyncGateForTesting(SyncGate gate) {
    Gate() = std::move(gate);
}
