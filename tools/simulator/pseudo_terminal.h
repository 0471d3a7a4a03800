#pragma once
// The pseudo-terminal that the simulator plays the controller on, and the
// optional symbolic link that gives its slave side a fixed name.

#include <cstddef>
#include <memory>
#include <string>

namespace sim {

class PseudoTerminal {
public:
    // A master in non-blocking mode and the slave set raw at 115200 baud.
    // Returns nullptr and says why in `error` when the system refuses.
    static std::unique_ptr<PseudoTerminal> open(std::string& error);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_; }
    const std::string& slaveName() const { return slaveName_; }

    // Bytes written to the master that no reader of the slave has taken yet.
    std::size_t unreadBytes() const;

private:
    PseudoTerminal() = default;

    int master_ = -1;
    // The simulator keeps the slave open itself: without any open slave a
    // master reports hang-up on every poll, and the settings made here would
    // be lost between two users of the line.
    int slaveKeeper_ = -1;
    std::string slaveName_;
};

class SymbolicLink {
public:
    // Makes `path` a link to `target`. An existing link at `path` is
    // replaced; anything else there is left alone and refused.
    static std::unique_ptr<SymbolicLink> create(const std::string& path, const std::string& target,
                                                std::string& error);
    // Removes the link, unless something else has taken its place since.
    ~SymbolicLink();
    SymbolicLink(const SymbolicLink&) = delete;
    SymbolicLink& operator=(const SymbolicLink&) = delete;

private:
    SymbolicLink(std::string path, std::string target)
        : path_(std::move(path)), target_(std::move(target)) {}

    std::string path_;
    std::string target_;
};

} // namespace sim
