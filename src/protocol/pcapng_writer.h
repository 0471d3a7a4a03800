#pragma once
// Blocks of a pcapng capture (the file format Wireshark and tshark read) for
// the frames of the serial line: one interface, link type LINKTYPE_USER0,
// one packet per frame with its direction and a time in nanoseconds. Every
// block comes back as its bytes, little-endian, padded to 32 bits, its total
// length at both ends, so a writer only appends them to a file.

#include <cstdint>
#include <string>
#include <string_view>

namespace pcapng {

// LINKTYPE_USER0: the first link type kept for private protocols, which a
// dissector claims through Wireshark's "wtap_encap" table.
constexpr std::uint16_t kLinkTypeUser0 = 147;

enum class Direction { Inbound, Outbound };

// Section Header Block: byte-order magic, version 1.0, section length
// unknown, shb_userappl naming the console and an opt_comment when
// `comment` is not empty.
std::string sectionHeaderBlock(std::string_view comment);

// Interface Description Block: link type 147, snaplen 64 (the longest frame),
// if_name the device, if_description the line settings ("115200,n,8,1"),
// if_tsresol 9 (times in nanoseconds).
std::string interfaceDescriptionBlock(std::string_view deviceName, std::string_view lineSettings);

// Enhanced Packet Block on interface 0: the time in nanoseconds since the
// Unix epoch, the bytes, epb_flags with the direction (inbound 01, outbound
// 10 in bits 0-1) and an opt_comment when `comment` is not empty.
std::string enhancedPacketBlock(Direction direction, std::uint64_t unixNanoseconds,
                                std::string_view data, std::string_view comment = {});

} // namespace pcapng
