#include "aside_file.h"

#include <fcntl.h>
#include <io.h>
#include <system_error>
#include <windows.h>

namespace {

// The file being written aside, for the console's control handler, which
// Windows runs on a thread of its own: a conversion that is interrupted
// removes it before the program ends. Guarded by `asideLock`.
SRWLOCK asideLock = SRWLOCK_INIT;
std::string asideForControl;

BOOL WINAPI RemoveAsideOnControl(DWORD) {
    // The lock is kept: the program ends now, and no file may be created
    // or put in place meanwhile.
    ::AcquireSRWLockExclusive(&asideLock);
    if (!asideForControl.empty()) {
        ::DeleteFileA(asideForControl.c_str());
    }
    return FALSE; // on to the default handler, which ends the program
}

std::string Reason(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

} // namespace

std::string LookUpOutput(const std::string& path, OutputName& name) {
    name.replaced = path;
    const HANDLE file =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? std::string() : Reason(error);
    }
    name.direct = ::GetFileType(file) != FILE_TYPE_DISK; // NUL, CON, a pipe
    // A link is written through: the file it leads to (opened above) is
    // the one replaced.
    std::string refusal;
    if (!name.direct && (::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
        char target[32768];
        const DWORD length = ::GetFinalPathNameByHandleA(file, target, sizeof target, 0);
        if (length == 0 || length >= sizeof target) {
            refusal = Reason(::GetLastError());
        } else {
            name.replaced.assign(target, length);
        }
    }
    ::CloseHandle(file);
    return refusal;
}

std::string CreateAside(const std::string& prefix, const OutputName&, std::string& aside,
                        std::FILE*& stream) {
    static const BOOL handled = ::SetConsoleCtrlHandler(RemoveAsideOnControl, TRUE);
    (void)handled;
    static unsigned counter = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    // The process id and a counter make the name; another process's file
    // of that name (one left by a crash) is stepped over.
    for (int tries = 0; file == INVALID_HANDLE_VALUE && error == ERROR_FILE_EXISTS && tries < 100;
         ++tries) {
        aside = prefix + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
        // Shared for deletion, so that the control handler can remove it
        // while it is open: it goes with the last handle.
        ::AcquireSRWLockExclusive(&asideLock);
        file = ::CreateFileA(aside.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        error = ::GetLastError();
        if (file != INVALID_HANDLE_VALUE) {
            asideForControl = aside;
        }
        ::ReleaseSRWLockExclusive(&asideLock);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return Reason(error);
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    stream = fd < 0 ? nullptr : ::_fdopen(fd, "wb");
    if (!stream) {
        fd < 0 ? ::CloseHandle(file) : ::_close(fd);
        RemoveAside(aside);
        return "cannot open the file written aside";
    }
    return {};
}

std::string PutInPlace(const std::string& aside, const std::string& replaced) {
    ::AcquireSRWLockExclusive(&asideLock);
    const bool moved = ::MoveFileExA(aside.c_str(), replaced.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    const DWORD error = ::GetLastError();
    if (moved) {
        asideForControl.clear();
    }
    ::ReleaseSRWLockExclusive(&asideLock);
    return moved ? std::string() : Reason(error);
}

void RemoveAside(const std::string& aside) {
    ::AcquireSRWLockExclusive(&asideLock);
    ::DeleteFileA(aside.c_str());
    asideForControl.clear();
    ::ReleaseSRWLockExclusive(&asideLock);
}

bool IsSameFile(int fd, const std::string& path) {
    const HANDLE other =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION input{};
    BY_HANDLE_FILE_INFORMATION output{};
    const bool same =
        ::GetFileInformationByHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), &input) &&
        ::GetFileInformationByHandle(other, &output) &&
        input.dwVolumeSerialNumber == output.dwVolumeSerialNumber &&
        input.nFileIndexHigh == output.nFileIndexHigh &&
        input.nFileIndexLow == output.nFileIndexLow;
    ::CloseHandle(other);
    return same;
}
