#pragma once
// What writing an output aside and putting it in place takes of the
// operating system: POSIX's (aside_file_posix.cpp) or Windows'
// (aside_file_windows.cpp). A file created aside is removed when the program
// is ended meanwhile: by SIGINT, SIGTERM or SIGHUP, or on Windows by Ctrl+C,
// Ctrl+Break or the console window closing.

#include <cstdio>
#include <string>

struct OutputName {
    bool direct = false;  // not a regular file (a device, a fifo): written in place
    std::string replaced; // the file put in place of: a link's target, else the name
};

// How `path` stands; empty on success, else why it cannot be written.
std::string LookUpOutput(const std::string& path, OutputName& name);

// Creates a new file named `prefix` and a unique ending (its name into
// `aside`), open for binary writing as `stream`, with the permissions of the
// file it is to replace or those a new file gets. Empty on success, else why
// not.
std::string CreateAside(const std::string& prefix, const OutputName& name, std::string& aside,
                        std::FILE*& stream);

// Puts the closed file `aside` in place of `replaced` in one step: a crash
// leaves one or the other. Empty on success, else why not.
std::string PutInPlace(const std::string& aside, const std::string& replaced);

// Removes the closed file `aside`; an ending program no longer will.
void RemoveAside(const std::string& aside);

// Whether `path` names the file open as `fd` (by any path or link): writing
// it would destroy the input while it is read.
bool IsSameFile(int fd, const std::string& path);
