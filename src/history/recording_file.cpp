#include "recording_file.h"

#include "file_sync.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string errnoText(int error) {
    return std::strerror(error);
}

} // namespace

RecordingFile::~RecordingFile() {
    close();
}

bool RecordingFile::open(const std::string& path, SyncFailureHandler onSyncFailure) {
    close();
    reason_.clear();
    // O_NONBLOCK: a fifo put there meanwhile is refused at once instead of
    // waiting for a reader; it changes nothing for a regular file.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd_ < 0) {
        reason_ = errnoText(errno);
        return false;
    }
    struct stat facts {};
    if (::fstat(fd_, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        reason_ = "it is not a regular file";
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    // The new file's name must outlast a power cut as its lines do.
    if (std::string failure = SyncFolderOf(path); !failure.empty()) {
        reason_ = "its folder could not be synced: " + failure;
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    size_ = 0;
    onSyncFailure_ = std::move(onSyncFailure);
    stopping_ = false;
    unsynced_ = false;
    syncer_ = std::thread([this] { syncLoop(); });
    return true;
}

bool RecordingFile::append(const char* data, std::size_t size) {
    if (fd_ < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd_, data + done, size - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            reason_ = errnoText(written < 0 ? errno : ENOSPC);
            if (done > 0) {
                // Only whole pieces stay: a reader never meets half a line.
                (void)!::ftruncate(fd_, static_cast<off_t>(size_));
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    size_ += size;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!unsynced_) {
        unsynced_ = true;
        firstUnsynced_ = std::chrono::steady_clock::now();
        wake_.notify_one();
    }
    return true;
}

bool RecordingFile::close() {
    if (fd_ < 0) {
        return true;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    syncer_.join();
    std::string failure = syncNow();
    if (::close(fd_) != 0 && failure.empty()) {
        failure = errnoText(errno);
    }
    fd_ = -1;
    if (!failure.empty()) {
        reason_ = failure;
        return false;
    }
    return true;
}

void RecordingFile::syncLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return unsynced_ || stopping_; });
        if (stopping_ ||
            wake_.wait_until(lock, firstUnsynced_ + kSyncDelay, [this] { return stopping_; })) {
            return; // close() syncs the rest
        }
        unsynced_ = false;
        lock.unlock();
        const std::string failure = syncNow();
        if (!failure.empty()) {
            onSyncFailure_(failure);
            return;
        }
        lock.lock();
    }
}

std::string RecordingFile::syncNow() {
    if (std::string failure = SyncFileData(fd_); !failure.empty()) {
        return failure;
    }
    // Writing to a file that lost its last name (deleted, or its folder
    // removed) succeeds and keeps nothing.
    struct stat facts {};
    if (::fstat(fd_, &facts) == 0 && facts.st_nlink == 0) {
        return "the file was deleted";
    }
    return {};
}
