#include "pcapng_reader.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "pcapng_format.h"

namespace pcapng {
namespace {

constexpr std::size_t kHeaderBytes = 8;       // block type, total length
constexpr std::size_t kSectionMinimum = 28;   // frame, magic, version, section length
constexpr std::size_t kInterfaceMinimum = 20; // frame, link type, reserved, snaplen
constexpr std::size_t kEnhancedMinimum = 32;  // frame, interface, time, two lengths
constexpr std::size_t kSimpleMinimum = 16;    // frame, original length
constexpr std::size_t kOldPacketMinimum = 32;

constexpr std::uint16_t kIfTsoffset = 14;

std::uint32_t Swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

std::uint32_t RawU32(const char* at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= std::uint32_t{static_cast<unsigned char>(at[i])} << (8 * i);
    }
    return v;
}

std::string Hex32(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

std::uint64_t Pow10(unsigned exponent) {
    std::uint64_t value = 1;
    for (unsigned i = 0; i < exponent; ++i) {
        value *= 10;
    }
    return value;
}

// Time stamp units to nanoseconds. Unsigned arithmetic: a time beyond
// 2554 wraps, which is wrong but harmless, and never undefined.
std::uint64_t ToNanoseconds(std::uint64_t units, std::uint8_t tsresol) {
    const unsigned exponent = tsresol & 0x7F;
    if ((tsresol & 0x80) == 0) {
        if (exponent <= 9) {
            return units * Pow10(9 - exponent);
        }
        if (exponent - 9 > 19) {
            return 0;
        }
        return units / Pow10(exponent - 9);
    }
    if (exponent == 0) {
        return units * 1000000000ull;
    }
    const std::uint64_t seconds = exponent >= 64 ? 0 : units >> exponent;
    const std::uint64_t fraction = exponent >= 64 ? units : units & ((1ull << exponent) - 1);
    const long double fractionNs =
        std::ldexp(static_cast<long double>(fraction) * 1e9L, -static_cast<int>(exponent));
    return seconds * 1000000000ull + static_cast<std::uint64_t>(fractionNs);
}

} // namespace

std::string BlockKindName(std::uint32_t type) {
    switch (type) {
    case kSectionHeaderType:
        return "section header block";
    case kInterfaceDescriptionType:
        return "interface description block";
    case kEnhancedPacketType:
        return "enhanced packet block";
    case kSimplePacketType:
        return "simple packet block";
    case kObsoletePacketType:
        return "packet block (obsolete)";
    case kNameResolutionType:
        return "name resolution block";
    case kInterfaceStatisticsType:
        return "interface statistics block";
    case kDecryptionSecretsType:
        return "decryption secrets block";
    case kCustomType:
    case kCustomNoCopyType:
        return "custom block";
    default:
        return "block of type " + Hex32(type);
    }
}

CaptureReader::CaptureReader(Source source) : source_(std::move(source)) {}

CaptureReader::CaptureReader(std::istream& in)
    : source_([&in](char* buffer, std::size_t size) -> std::size_t {
          in.read(buffer, static_cast<std::streamsize>(size));
          return static_cast<std::size_t>(in.gcount());
      }) {}

std::uint16_t CaptureReader::u16(std::size_t at) const {
    const auto lo = static_cast<unsigned char>(block_[at]);
    const auto hi = static_cast<unsigned char>(block_[at + 1]);
    return static_cast<std::uint16_t>(swapped_ ? (lo << 8) | hi : (hi << 8) | lo);
}

std::uint32_t CaptureReader::u32(std::size_t at) const {
    const std::uint32_t v = RawU32(block_.data() + at);
    return swapped_ ? Swap32(v) : v;
}

bool CaptureReader::fill(std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        const std::size_t more = source_(block_.data() + block_.size() - size + got, size - got);
        if (more == 0) {
            return false;
        }
        got += more;
    }
    return true;
}

bool CaptureReader::fail(const std::string& why) {
    error_ = why;
    done_ = true;
    return false;
}

bool CaptureReader::failHere(const std::string& why) {
    return fail(BlockKindName(blockType_) + " at offset " + std::to_string(blockOffset_) + ": " +
                why);
}

// Reads one whole block into block_ after checking its lengths; false at the
// end of the capture (error_ empty) or at a fault.
bool CaptureReader::readBlock() {
    blockOffset_ = offset_;
    block_.resize(kHeaderBytes);
    std::size_t got = 0;
    if (!fill(kHeaderBytes, got)) {
        if (got == 0) {
            done_ = true;
            return sawSection_ ? false : fail("empty file: not a pcapng capture");
        }
        if (got < 4) {
            return fail("block at offset " + std::to_string(blockOffset_) +
                        ": the file ends after " + std::to_string(got) +
                        " bytes of the block's 8-byte header");
        }
        const std::uint32_t rawType = RawU32(block_.data());
        blockType_ = swapped_ ? Swap32(rawType) : rawType;
        return failHere("the file ends after " + std::to_string(got) +
                        " bytes of the block's 8-byte header");
    }
    const std::uint32_t rawType = RawU32(block_.data());
    if (rawType == kSectionHeaderType) {
        blockType_ = kSectionHeaderType;
        block_.resize(kHeaderBytes + 4);
        if (!fill(4, got)) {
            return failHere("the file ends before the byte-order magic");
        }
        const std::uint32_t magic = RawU32(block_.data() + kHeaderBytes);
        if (magic == kByteOrderMagic) {
            swapped_ = false;
        } else if (magic == Swap32(kByteOrderMagic)) {
            swapped_ = true;
        } else {
            return failHere("byte-order magic " + Hex32(magic) + ", neither 1A2B3C4D nor 4D3C2B1A");
        }
    } else if (!sawSection_) {
        blockType_ = rawType;
        return fail("not a pcapng capture: the file starts with " + Hex32(rawType) +
                    ", not a section header block (0A 0D 0D 0A)");
    } else {
        blockType_ = swapped_ ? Swap32(rawType) : rawType;
    }
    const std::uint32_t length = u32(4);
    const std::string lengthText = "total length " + std::to_string(length);
    if (length < kBlockOverhead) {
        return failHere(lengthText + ", less than the 12 bytes of type and two lengths");
    }
    if (length % 4 != 0) {
        return failHere(lengthText + ", not a multiple of 4");
    }
    if (length > kMaxBlockLength) {
        return failHere(lengthText + ", over the " + std::to_string(kMaxBlockLength) +
                        " bytes this reader takes in one block");
    }
    const std::size_t have = block_.size(); // 8, or 12 with a section's magic
    block_.resize(length);
    if (!fill(length - have, got)) {
        return failHere("the file ends after " + std::to_string(have + got) + " of its " +
                        std::to_string(length) + " bytes");
    }
    const std::uint32_t trailer = u32(length - 4);
    if (trailer != length) {
        return failHere("total length " + std::to_string(length) + " at its start, " +
                        std::to_string(trailer) + " at its end");
    }
    offset_ += length;
    return true;
}

namespace {

// Walks the options between `at` and `end`; `take` gets each one's code and
// value. False with `why` set when an option runs past the end.
template <typename Take>
bool ForEachOption(const std::vector<char>& block, std::size_t at, std::size_t end, bool swapped,
                   Take take, std::string& why) {
    auto u16 = [&](std::size_t i) {
        const auto lo = static_cast<unsigned char>(block[i]);
        const auto hi = static_cast<unsigned char>(block[i + 1]);
        return static_cast<std::uint16_t>(swapped ? (lo << 8) | hi : (hi << 8) | lo);
    };
    while (at < end) {
        if (end - at < 4) {
            why = "an option header cut at byte " + std::to_string(at) + " of the block";
            return false;
        }
        const std::uint16_t code = u16(at);
        const std::uint16_t length = u16(at + 2);
        if (code == kOptEndOfOpt) {
            return true;
        }
        if (PaddedLength(length) > end - at - 4) {
            why = "option " + std::to_string(code) + " at byte " + std::to_string(at) +
                  " of the block: its " + std::to_string(length) +
                  " bytes run past the options' end";
            return false;
        }
        if (!take(code, std::string_view(block.data() + at + 4, length), why)) {
            return false;
        }
        at += 4 + PaddedLength(length);
    }
    return true;
}

} // namespace

bool CaptureReader::readSectionHeader() {
    if (block_.size() < kSectionMinimum) {
        return failHere("total length " + std::to_string(block_.size()) + ", under the " +
                        std::to_string(kSectionMinimum) + " bytes of a section header");
    }
    const std::uint16_t major = u16(12);
    const std::uint16_t minor = u16(14);
    if (major != 1) {
        return failHere("version " + std::to_string(major) + "." + std::to_string(minor) +
                        ", which this reader does not know");
    }
    sawSection_ = true;
    interfaces_.clear();
    sectionComment_.clear();
    sectionApplication_.clear();
    bool sawComment = false;
    std::string why;
    const bool ok = ForEachOption(
        block_, 24, block_.size() - 4, swapped_,
        [&](std::uint16_t code, std::string_view value, std::string&) {
            if (code == kOptComment && !sawComment) {
                sectionComment_ = value;
                sawComment = true;
            } else if (code == kShbUserAppl) {
                sectionApplication_ = value;
            }
            return true;
        },
        why);
    return ok || failHere(why);
}

bool CaptureReader::readInterface() {
    if (block_.size() < kInterfaceMinimum) {
        return failHere("total length " + std::to_string(block_.size()) + ", under the " +
                        std::to_string(kInterfaceMinimum) + " bytes of an interface description");
    }
    Interface interface;
    interface.linkType = u16(8);
    interface.snapLength = u32(12);
    if (interface.linkType != kLinkTypeUser0) {
        return failHere("link type " + std::to_string(interface.linkType) +
                        ", not LINKTYPE_USER0 (147): a capture of something other than "
                        "Kelmora's serial line");
    }
    if (interfaces_.size() >= kMaxInterfaces) {
        return failHere("more than " + std::to_string(kMaxInterfaces) +
                        " interfaces in one section");
    }
    std::string why;
    const bool ok = ForEachOption(
        block_, 16, block_.size() - 4, swapped_,
        [&](std::uint16_t code, std::string_view value, std::string& problem) {
            if (code == kIfName) {
                interface.name = value;
            } else if (code == kIfDescription) {
                interface.description = value;
            } else if (code == kIfTsresol) {
                if (value.size() != 1) {
                    problem = "if_tsresol of " + std::to_string(value.size()) + " bytes, not 1";
                    return false;
                }
                interface.tsresol = static_cast<std::uint8_t>(value[0]);
            } else if (code == kIfTsoffset) {
                if (value.size() != 8) {
                    problem = "if_tsoffset of " + std::to_string(value.size()) + " bytes, not 8";
                    return false;
                }
                std::uint64_t bits = 0;
                for (std::size_t i = 0; i < 8; ++i) {
                    const std::size_t from = swapped_ ? 7 - i : i;
                    bits |= std::uint64_t{static_cast<unsigned char>(value[from])} << (8 * i);
                }
                interface.tsoffsetSeconds = static_cast<std::int64_t>(bits);
            }
            return true;
        },
        why);
    if (!ok) {
        return failHere(why);
    }
    interfaces_.push_back(std::move(interface));
    return true;
}

std::optional<Packet> CaptureReader::readEnhancedPacket() {
    const std::size_t length = block_.size();
    if (length < kEnhancedMinimum) {
        failHere("total length " + std::to_string(length) + ", under the " +
                 std::to_string(kEnhancedMinimum) + " bytes of an enhanced packet");
        return std::nullopt;
    }
    Packet packet;
    packet.offset = blockOffset_;
    packet.blockType = blockType_;
    packet.interfaceId = u32(8);
    if (packet.interfaceId >= interfaces_.size()) {
        failHere("a packet on interface " + std::to_string(packet.interfaceId) + ", but the " +
                 "section describes " + std::to_string(interfaces_.size()));
        return std::nullopt;
    }
    const Interface& interface = interfaces_[packet.interfaceId];
    const std::uint64_t units = std::uint64_t{u32(12)} << 32 | u32(16);
    packet.unixNanoseconds = ToNanoseconds(units, interface.tsresol) +
                             static_cast<std::uint64_t>(interface.tsoffsetSeconds) * 1000000000ull;
    const std::uint32_t captured = u32(20);
    packet.originalLength = u32(24);
    const std::size_t dataEnd = length - 4;
    if (captured > dataEnd - 28 || PaddedLength(captured) > dataEnd - 28) {
        failHere("captured length " + std::to_string(captured) + " runs past the block's end");
        return std::nullopt;
    }
    packet.data.assign(block_.data() + 28, captured);
    bool sawComment = false;
    std::string why;
    const bool ok = ForEachOption(
        block_, 28 + PaddedLength(captured), dataEnd, swapped_,
        [&](std::uint16_t code, std::string_view value, std::string& problem) {
            if (code == kOptComment && !sawComment) {
                packet.comment = value;
                sawComment = true;
            } else if (code == kEpbFlags) {
                if (value.size() != 4) {
                    problem = "epb_flags of " + std::to_string(value.size()) + " bytes, not 4";
                    return false;
                }
                const std::uint32_t raw = RawU32(value.data());
                const std::uint32_t flags = swapped_ ? Swap32(raw) : raw;
                switch (flags & kFlagDirectionMask) {
                case kFlagInbound:
                    packet.direction = Direction::Inbound;
                    break;
                case kFlagOutbound:
                    packet.direction = Direction::Outbound;
                    break;
                default:
                    packet.direction.reset();
                }
            }
            return true;
        },
        why);
    if (!ok) {
        failHere(why);
        return std::nullopt;
    }
    return packet;
}

std::optional<Packet> CaptureReader::next() {
    while (!done_) {
        if (!readBlock()) {
            return std::nullopt;
        }
        switch (blockType_) {
        case kSectionHeaderType:
            if (!readSectionHeader()) {
                return std::nullopt;
            }
            break;
        case kInterfaceDescriptionType:
            if (!readInterface()) {
                return std::nullopt;
            }
            break;
        case kEnhancedPacketType:
            return readEnhancedPacket();
        case kSimplePacketType:
        case kObsoletePacketType: {
            const std::size_t minimum =
                blockType_ == kSimplePacketType ? kSimpleMinimum : kOldPacketMinimum;
            if (block_.size() < minimum) {
                failHere("total length " + std::to_string(block_.size()) + ", under the " +
                         std::to_string(minimum) + " bytes of its kind");
                return std::nullopt;
            }
            Packet packet;
            packet.offset = blockOffset_;
            packet.blockType = blockType_;
            packet.skipped = BlockKindName(blockType_) + " at offset " +
                             std::to_string(blockOffset_) +
                             " skipped: it does not say which way its frame went";
            return packet;
        }
        default:
            break; // statistics, names, secrets, custom and unknown blocks
        }
    }
    return std::nullopt;
}

} // namespace pcapng
