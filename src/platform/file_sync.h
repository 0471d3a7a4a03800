#pragma once
// Making written files durable: the data of an open file, and the entries
// of a folder after a file was created or renamed into it. Without the
// folder's sync a power cut just after a replace may bring the old file
// back, or leave none. Plain C++ and POSIX, for the console and the tools.
//
// Every sync goes through one gate, which a test may watch and fail
// (SetSyncGateForTesting): the recording, Save History and kelmora-history
// all sync this way.

#include <functional>
#include <string>

// What separates a path's folders: Windows takes both slashes.
#ifdef _WIN32
constexpr const char* kPathSeparators = "/\\";
#else
constexpr const char* kPathSeparators = "/";
#endif

enum class SyncKind { FileData, Folder };

// Syncs the data written to the open file `fd`; empty on success, else why
// not.
std::string SyncFileData(int fd);

// Syncs the folder holding `path` (a file's path), so that a file created
// or renamed into it stays there; empty on success, else why not.
std::string SyncFolderOf(const std::string& path);

// For tests: called before every sync with its kind; an errno it returns
// fails that sync with that error, 0 lets it run. May be called on any
// thread; set it before the syncs it is to see. Nothing (the default)
// syncs as usual.
using SyncGate = std::function<int(SyncKind kind)>;
void SetSyncGateForTesting(SyncGate gate);
