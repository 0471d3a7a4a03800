#pragma once
// kelmora-history's output into a named file. A regular file (or a name
// not yet taken) is written aside in the same folder and put in place only
// once it is whole and on the disk, so a conversion that fails or is
// interrupted (Ctrl+C, SIGTERM, a full disk) leaves the file named as it was.
// A link is written through: its target is replaced and the link stays.
// Anything else (a device, a fifo) is written directly.

#include <cstdio>
#include <string>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Empty on success, else why the file cannot be written.
    std::string open(const std::string& path);
    std::FILE* stream() const { return stream_; }

    // Flushes, syncs and closes, then puts the file in place and syncs its
    // folder. Empty on success, else why not; the file named is then as it
    // was, and nothing written aside is left.
    std::string commit();

private:
    void abandon();

    std::string target_; // the file replaced, a link's target
    std::string aside_;  // empty when written directly
    std::FILE* stream_ = nullptr;
};
