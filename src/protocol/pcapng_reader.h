#pragma once
// Reads a pcapng capture block by block from a stream, as untrusted input:
// every length is checked before it is used, a block may be at most
// kMaxBlockLength bytes, and only one block is held at a time, so memory
// stays fixed however large the file. Sections of either byte order are
// read. Interfaces must carry LINKTYPE_USER0 (the serial line's frames);
// a capture of any other link type is foreign and refused.
//
// Packets come from Enhanced Packet Blocks. Simple Packet Blocks and the
// obsolete Packet Blocks carry no direction (and the first no time either),
// so they are handed back marked as skipped rather than guessed at; every
// other block type is passed over after its lengths are checked.

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pcapng_writer.h"

namespace pcapng {

// Larger than any block a capture of the serial line holds by four orders
// of magnitude; a length beyond it is taken as damage, not allocated.
constexpr std::uint32_t kMaxBlockLength = 1024 * 1024;

struct Packet {
    std::uint64_t offset = 0;    // byte offset of the block in the file
    std::uint32_t blockType = 0; // kEnhancedPacketType, or the skipped block's type
    // Not empty for a packet block that cannot be read as a frame (a Simple
    // Packet Block or an obsolete Packet Block): why it was skipped. The
    // fields below are then not set.
    std::string skipped;
    std::uint32_t interfaceId = 0;
    // From epb_flags bits 0-1; none when the flags are absent or say "not
    // available" (00) or hold the undefined 11.
    std::optional<Direction> direction;
    // The time converted to nanoseconds since the Unix epoch, with the
    // interface's if_tsresol and if_tsoffset applied.
    std::uint64_t unixNanoseconds = 0;
    std::string data; // the captured bytes
    std::uint32_t originalLength = 0;
    std::string comment; // the first opt_comment, if any
};

struct Interface {
    std::uint16_t linkType = 0;
    std::uint32_t snapLength = 0;
    std::string name;         // if_name
    std::string description;  // if_description
    std::uint8_t tsresol = 6; // pcapng's default: microseconds
    std::int64_t tsoffsetSeconds = 0;
};

class CaptureReader {
public:
    // Fills up to `size` bytes of `buffer` and says how many it gave; 0 at
    // the end of the input.
    using Source = std::function<std::size_t(char* buffer, std::size_t size)>;

    explicit CaptureReader(Source source);
    explicit CaptureReader(std::istream& in);

    // The next packet, or none at the end of the capture or at the first
    // fault; error() then tells which. After a fault nothing more is read.
    std::optional<Packet> next();

    // Empty at a clean end; otherwise names the block kind and its byte
    // offset and says what is wrong, e.g. "enhanced packet block at offset
    // 168: total length 48 at its start, 44 at its end".
    const std::string& error() const { return error_; }

    // The current section's first opt_comment and shb_userappl.
    const std::string& sectionComment() const { return sectionComment_; }
    const std::string& sectionApplication() const { return sectionApplication_; }
    // The current section's interfaces, in the order they were described.
    const std::vector<Interface>& interfaces() const { return interfaces_; }

    // A section may describe at most this many interfaces.
    static constexpr std::size_t kMaxInterfaces = 256;

private:
    bool fill(std::size_t size, std::size_t& got);
    bool readBlock();
    bool readSectionHeader();
    bool readInterface();
    std::optional<Packet> readEnhancedPacket();
    bool fail(const std::string& why);
    bool failHere(const std::string& why);

    std::uint16_t u16(std::size_t at) const;
    std::uint32_t u32(std::size_t at) const;

    Source source_;
    std::vector<char> block_;       // the current block, at most kMaxBlockLength bytes
    std::uint64_t offset_ = 0;      // where the next block starts
    std::uint64_t blockOffset_ = 0; // where the current block started
    std::uint32_t blockType_ = 0;
    bool swapped_ = false; // the section is big-endian
    bool sawSection_ = false;
    bool done_ = false;
    std::string error_;
    std::string sectionComment_;
    std::string sectionApplication_;
    std::vector<Interface> interfaces_;
};

// What a block of this type is called in messages: "enhanced packet block",
// "section header block", ..., "block of type 0x00000BAD" for a type this
// reader has no name for.
std::string BlockKindName(std::uint32_t type);

} // namespace pcapng
