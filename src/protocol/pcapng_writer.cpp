#include "pcapng_writer.h"

#include "pcapng_format.h"

#ifndef KELMORA_VERSION_TEXT
#define KELMORA_VERSION_TEXT ""
#endif

namespace pcapng {
namespace {

void AppendU16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void AppendU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void PadTo32Bits(std::string& out) {
    out.append(PaddedLength(out.size()) - out.size(), '\0');
}

// An option: code, length, the value padded to 32 bits. Longer values than
// an option's 16-bit length can hold are cut there, on a whole byte.
void AppendOption(std::string& out, std::uint16_t code, std::string_view value) {
    if (value.size() > kMaxOptionLength) {
        value = value.substr(0, kMaxOptionLength);
    }
    AppendU16(out, code);
    AppendU16(out, static_cast<std::uint16_t>(value.size()));
    out.append(value.data(), value.size());
    PadTo32Bits(out);
}

void AppendEndOfOptions(std::string& out) {
    AppendU32(out, 0);
}

// Wraps a block body (everything between the length fields) into the block.
std::string Block(std::uint32_t type, const std::string& body) {
    const auto total = static_cast<std::uint32_t>(kBlockOverhead + body.size());
    std::string block;
    block.reserve(total);
    AppendU32(block, type);
    AppendU32(block, total);
    block += body;
    AppendU32(block, total);
    return block;
}

} // namespace

std::string sectionHeaderBlock(std::string_view comment) {
    std::string body;
    AppendU32(body, kByteOrderMagic);
    AppendU16(body, 1);           // major version
    AppendU16(body, 0);           // minor version
    AppendU32(body, 0xFFFFFFFFu); // section length: not given (64 bits of ones)
    AppendU32(body, 0xFFFFFFFFu);
    if (!comment.empty()) {
        AppendOption(body, kOptComment, comment);
    }
    const std::string version = KELMORA_VERSION_TEXT;
    AppendOption(body, kShbUserAppl, version.empty() ? "Kelmora" : "Kelmora " + version);
    AppendEndOfOptions(body);
    return Block(kSectionHeaderType, body);
}

std::string interfaceDescriptionBlock(std::string_view deviceName, std::string_view lineSettings) {
    std::string body;
    AppendU16(body, kLinkTypeUser0);
    AppendU16(body, 0); // reserved
    AppendU32(body, kSnapLength);
    if (!deviceName.empty()) {
        AppendOption(body, kIfName, deviceName);
    }
    if (!lineSettings.empty()) {
        AppendOption(body, kIfDescription, lineSettings);
    }
    AppendOption(body, kIfTsresol, std::string_view("\x09", 1));
    AppendEndOfOptions(body);
    return Block(kInterfaceDescriptionType, body);
}

std::string enhancedPacketBlock(Direction direction, std::uint64_t unixNanoseconds,
                                std::string_view data, std::string_view comment) {
    std::string body;
    AppendU32(body, 0); // interface 0
    AppendU32(body, static_cast<std::uint32_t>(unixNanoseconds >> 32));
    AppendU32(body, static_cast<std::uint32_t>(unixNanoseconds & 0xFFFFFFFFu));
    AppendU32(body, static_cast<std::uint32_t>(data.size()));
    AppendU32(body, static_cast<std::uint32_t>(data.size()));
    body.append(data.data(), data.size());
    PadTo32Bits(body);
    if (!comment.empty()) {
        AppendOption(body, kOptComment, comment);
    }
    std::string flags;
    AppendU32(flags, direction == Direction::Inbound ? kFlagInbound : kFlagOutbound);
    AppendOption(body, kEpbFlags, flags);
    AppendEndOfOptions(body);
    return Block(kEnhancedPacketType, body);
}

} // namespace pcapng
