#pragma once
// The file a recording appends to, at the POSIX edge.
//
// Each piece handed to append() goes out with write(2) at once, finished
// if the system takes it in parts: the bytes are then the system's, and a
// console killed a moment later leaves them in the file. A thread of its
// own calls fdatasync(2) at most kSyncDelay after the first piece it has
// not yet synced, so the disk has every piece within a second while the
// console never waits for the disk. A failure (no space, a size limit, the
// file deleted under the recording) is kept as a reason; a piece that was
// only partly written is cut off again, so the file ends with a whole piece.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class RecordingFile {
public:
    // With the writer's 40 ms, a piece is on the disk within a second
    // unless the sync itself takes over 200 ms.
    static constexpr std::chrono::milliseconds kSyncDelay{750};

    // Called on the sync thread when a sync fails; no more syncs follow.
    using SyncFailureHandler = std::function<void(const std::string& reason)>;

    RecordingFile() = default;
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;
    ~RecordingFile();

    // Creates the file, or empties an existing regular file, and syncs its
    // folder. False, with reason(), when it cannot be opened, is not a
    // regular file or its folder cannot be synced.
    bool open(const std::string& path, SyncFailureHandler onSyncFailure);
    bool isOpen() const { return fd_ >= 0; }

    // Writes every byte. False, with reason(), when the file refused them;
    // the file then ends where it ended before this piece.
    bool append(const char* data, std::size_t size);

    // Stops the sync thread, syncs and closes. False, with reason(), when
    // the last sync or the close failed. Does nothing on a closed file.
    bool close();

    const std::string& reason() const { return reason_; }
    std::uint64_t size() const { return size_; }

private:
    void syncLoop();
    // Empty when the data is on the disk and the file still has a name.
    std::string syncNow();

    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string reason_;
    SyncFailureHandler onSyncFailure_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool unsynced_ = false;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point firstUnsynced_;
    std::thread syncer_;
};
