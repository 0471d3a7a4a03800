#pragma once
// The numbers of the pcapng format that the capture writer and reader share.

#include <cstddef>
#include <cstdint>

namespace pcapng {

constexpr std::uint32_t kSectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceDescriptionType = 0x00000001;
constexpr std::uint32_t kSimplePacketType = 0x00000003;
constexpr std::uint32_t kNameResolutionType = 0x00000004;
constexpr std::uint32_t kInterfaceStatisticsType = 0x00000005;
constexpr std::uint32_t kEnhancedPacketType = 0x00000006;
constexpr std::uint32_t kDecryptionSecretsType = 0x0000000A;
constexpr std::uint32_t kCustomType = 0x00000BAD;
constexpr std::uint32_t kCustomNoCopyType = 0x40000BAD;
constexpr std::uint32_t kObsoletePacketType = 0x00000002;

constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;

// Block type, total length ... total length.
constexpr std::size_t kBlockOverhead = 12;

constexpr std::uint16_t kOptEndOfOpt = 0;
constexpr std::uint16_t kOptComment = 1;
constexpr std::uint16_t kShbUserAppl = 4;
constexpr std::uint16_t kIfName = 2;
constexpr std::uint16_t kIfDescription = 3;
constexpr std::uint16_t kIfTsresol = 9;
constexpr std::uint16_t kEpbFlags = 2;

constexpr std::uint32_t kFlagInbound = 0x1;
constexpr std::uint32_t kFlagOutbound = 0x2;
constexpr std::uint32_t kFlagDirectionMask = 0x3;

// A command frame is the longest thing on the line.
constexpr std::uint32_t kSnapLength = 64;

// Options hold at most 65535 bytes; the writer cuts at a multiple of four
// below that so the padded option still fits its length field's meaning.
constexpr std::size_t kMaxOptionLength = 65532;

constexpr std::size_t PaddedLength(std::size_t size) {
    return (size + 3) / 4 * 4;
}

} // namespace pcapng
