#include "received_line.h"

#include "type_casting.h"

namespace {

constexpr std::size_t kBytesPerGroup = 2;

} // namespace

ReceivedBlock FirstBlockBytes(std::string_view blockText) {
    ReceivedBlock block{};
    for (std::size_t i = 0; i < block.size() && i < blockText.size(); ++i) {
        block[i] = static_cast<unsigned char>(blockText[i]);
    }
    return block;
}

std::string ReceivedLine(const ReceivedBlock& block, std::int32_t elapsedMs) {
    std::string line = "IN < ";
    for (std::size_t i = 0; i < block.size(); ++i) {
        line += TypeCasting::ByteToHex(block[i]);
        if (i % kBytesPerGroup == kBytesPerGroup - 1) {
            line += ' ';
        }
    }
    line += " t- ";
    line += std::to_string(elapsedMs);
    return line;
}

std::int32_t ElapsedTicks(std::int32_t previousTick, std::int32_t currentTick) {
    const std::uint32_t difference =
        static_cast<std::uint32_t>(currentTick) - static_cast<std::uint32_t>(previousTick);
    if (difference <= 0x7FFFFFFFu) {
        return static_cast<std::int32_t>(difference);
    }
    return -static_cast<std::int32_t>(0xFFFFFFFFu - difference) - 1;
}
