#include "history_records.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <tuple>

#include "type_casting.h"

// Record layouts (multi-byte fields least significant byte first):
//   sent frame    kind, 8-byte mask of the non-zero bytes, those bytes
//   received      kind, 4-byte mask of the non-zero bytes, those bytes,
//                 4-byte elapsed milliseconds
//   text          kind, 4-byte length, the characters
//   long text     kind, 4-byte number of the text in longTexts_
// Frames are mostly zero (a status request has one non-zero byte of 64), so
// keeping only the non-zero bytes is what makes a line this small.

namespace {

enum RecordKind : std::uint8_t { kSent = 1, kReceived = 2, kText = 3, kLongText = 4 };

template <std::size_t N> std::size_t nonZeroCount(const std::array<std::uint8_t, N>& bytes) {
    return static_cast<std::size_t>(
        std::count_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; }));
}

void putLittleEndian(std::uint8_t* out, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint64_t getLittleEndian(const std::uint8_t* in, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    }
    return value;
}

// Writes mask + non-zero bytes; returns the first byte after them.
template <std::size_t N>
std::uint8_t* packSparse(std::uint8_t* out, const std::array<std::uint8_t, N>& bytes) {
    static_assert(N % 8 == 0 && N <= 64, "one mask bit per byte");
    constexpr std::size_t maskBytes = N / 8;
    std::uint64_t mask = 0;
    std::uint8_t* value = out + maskBytes;
    for (std::size_t i = 0; i < N; ++i) {
        if (bytes[i] != 0) {
            mask |= std::uint64_t{1} << i;
            *value++ = bytes[i];
        }
    }
    putLittleEndian(out, mask, maskBytes);
    return value;
}

// Lines are formatted in place, without a string per byte: saving a million
// lines is mostly this. The digits still come from ByteToHex.
using HexPair = std::array<char, 2>;

const std::array<HexPair, 256>& hexPairs() {
    static const std::array<HexPair, 256> table = [] {
        std::array<HexPair, 256> pairs{};
        for (std::size_t b = 0; b < pairs.size(); ++b) {
            const std::string digits = TypeCasting::ByteToHex(static_cast<std::uint8_t>(b));
            pairs[b] = {digits[0], digits[1]};
        }
        return pairs;
    }();
    return table;
}

// Calls visit(i, byte) for each non-zero byte of a sparse record, in order;
// returns the first byte after the record's values. Most bytes of a frame
// are zero, so only the set bits of the mask are visited.
template <std::size_t N, typename Visit>
const std::uint8_t* forEachNonZero(const std::uint8_t* in, Visit visit) {
    constexpr std::size_t maskBytes = N / 8;
    std::uint64_t mask = getLittleEndian(in, maskBytes);
    const std::uint8_t* value = in + maskBytes;
    while (mask != 0) {
        const auto i = static_cast<std::size_t>(__builtin_ctzll(mask));
        visit(i, *value++);
        mask &= mask - 1;
    }
    return value;
}

// Where the hex digits of byte i stand in a received line: after "IN < ",
// in groups of four digits each followed by a blank.
constexpr std::size_t receivedDigitsAt(std::size_t i) {
    return 5 + (i / 2) * 5 + (i % 2) * 2;
}

// The received line with every byte zero and no elapsed digits yet.
constexpr std::string_view kZeroReceivedLine =
    "IN < 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000  t- ";
static_assert(kZeroReceivedLine.size() == receivedDigitsAt(32) + 4);

// The sent line straight from its record: 128 digits, "00" for every byte
// the record leaves out.
void appendSentLine(const std::uint8_t* sparse, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + 2 * std::tuple_size_v<CommandFrame>, '0');
    char* digits = &out[start];
    const auto& hex = hexPairs();
    forEachNonZero<std::tuple_size_v<CommandFrame>>(sparse, [&](std::size_t i, std::uint8_t b) {
        std::memcpy(digits + 2 * i, hex[b].data(), 2);
    });
}

// The same text as ReceivedLine: "IN < ", sixteen groups of four digits
// each followed by a blank, " t- ", the elapsed milliseconds.
void appendReceivedLine(const std::uint8_t* sparse, std::string& out) {
    const std::size_t start = out.size();
    constexpr std::size_t kLongest = kZeroReceivedLine.size() + 11;
    out.resize(start + kLongest);
    char* line = &out[start];
    std::memcpy(line, kZeroReceivedLine.data(), kZeroReceivedLine.size());
    const auto& hex = hexPairs();
    const std::uint8_t* elapsed = forEachNonZero<std::tuple_size_v<ReceivedBlock>>(
        sparse, [&](std::size_t i, std::uint8_t b) {
            std::memcpy(line + receivedDigitsAt(i), hex[b].data(), 2);
        });
    const auto elapsedMs = static_cast<std::int32_t>(getLittleEndian(elapsed, 4));
    char* end = std::to_chars(line + kZeroReceivedLine.size(), line + kLongest, elapsedMs).ptr;
    out.resize(start + static_cast<std::size_t>(end - line));
}

} // namespace

void HistoryRecords::appendSentFrame(const CommandFrame& frame) {
    std::uint8_t* out = reserveRecord(1 + 8 + nonZeroCount(frame));
    out[0] = kSent;
    packSparse(out + 1, frame);
}

void HistoryRecords::appendReceived(const ReceivedBlock& block, std::int32_t elapsedMs) {
    std::uint8_t* out = reserveRecord(1 + 4 + nonZeroCount(block) + 4);
    out[0] = kReceived;
    std::uint8_t* elapsed = packSparse(out + 1, block);
    putLittleEndian(elapsed, static_cast<std::uint32_t>(elapsedMs), 4);
}

void HistoryRecords::appendText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.size() > kLongTextBytes) {
        if (longTexts_.size() >= UINT32_MAX) {
            throw std::length_error("too many long history lines");
        }
        longTexts_.emplace_back(text);
        longTextBytes_ += text.size();
        std::uint8_t* out = reserveRecord(1 + 4);
        out[0] = kLongText;
        putLittleEndian(out + 1, longTexts_.size() - 1, 4);
        return;
    }
    std::uint8_t* out = reserveRecord(1 + 4 + text.size());
    out[0] = kText;
    putLittleEndian(out + 1, text.size(), 4);
    std::memcpy(out + 5, text.data(), text.size());
}

void HistoryRecords::clear() {
    // The first chunk and index block stay for the lines that follow: the
    // dataset lists are emptied every other block, and allocating them anew
    // each time cost more than the line itself. Everything beyond goes.
    chunks_.resize(std::min<std::size_t>(chunks_.size(), 1));
    chunks_.shrink_to_fit();
    indexBlocks_.resize(std::min<std::size_t>(indexBlocks_.size(), 1));
    indexBlocks_.shrink_to_fit();
    longTexts_.clear();
    longTexts_.shrink_to_fit();
    longTextBytes_ = 0;
    usedInLastChunk_ = chunks_.empty() ? kChunkBytes : 0;
    count_ = 0;
}

void HistoryRecords::removeLast() {
    if (count_ == 0) {
        return;
    }
    const std::uint64_t position = positionOf(count_ - 1);
    if (recordAt(count_ - 1)[0] == kLongText) {
        longTextBytes_ -= longTexts_.back().size();
        longTexts_.pop_back();
    }
    --count_;
    // The newest record is the last one written, so its bytes are the end of
    // the last chunk and can be written over by the next line.
    usedInLastChunk_ = static_cast<std::size_t>(position % kChunkBytes);
}

std::string HistoryRecords::lineAt(std::size_t row) const {
    std::string line;
    appendLineTo(row, line);
    return line;
}

void HistoryRecords::appendLineTo(std::size_t row, std::string& out) const {
    const std::uint8_t* record = recordAt(row);
    switch (record[0]) {
    case kSent:
        appendSentLine(record + 1, out);
        return;
    case kReceived:
        appendReceivedLine(record + 1, out);
        return;
    case kText:
        out.append(reinterpret_cast<const char*>(record + 5),
                   static_cast<std::size_t>(getLittleEndian(record + 1, 4)));
        return;
    case kLongText:
        out += longTexts_[static_cast<std::size_t>(getLittleEndian(record + 1, 4))];
        return;
    }
}

std::size_t HistoryRecords::memoryBytes() const {
    return chunks_.size() * kChunkBytes + chunks_.capacity() * sizeof(chunks_[0]) +
           indexBlocks_.size() * kIndexBlockEntries * sizeof(std::uint64_t) +
           indexBlocks_.capacity() * sizeof(indexBlocks_[0]) +
           longTexts_.capacity() * sizeof(std::string) + longTextBytes_;
}

std::uint8_t* HistoryRecords::reserveRecord(std::size_t size) {
    if (usedInLastChunk_ + size > kChunkBytes) {
        // Uninitialised on purpose: the kernel hands out the pages as they
        // are first written, so a fresh chunk costs nothing up front.
        chunks_.emplace_back(new std::uint8_t[kChunkBytes]);
        usedInLastChunk_ = 0;
    }
    const std::uint64_t position =
        static_cast<std::uint64_t>(chunks_.size() - 1) * kChunkBytes + usedInLastChunk_;
    pushIndex(position);
    std::uint8_t* record = chunks_.back().get() + usedInLastChunk_;
    usedInLastChunk_ += size;
    return record;
}

void HistoryRecords::pushIndex(std::uint64_t position) {
    const std::size_t block = count_ / kIndexBlockEntries;
    if (block == indexBlocks_.size()) { // kept through clear() otherwise
        indexBlocks_.emplace_back(new std::uint64_t[kIndexBlockEntries]);
    }
    indexBlocks_[block][count_ % kIndexBlockEntries] = position;
    ++count_;
}

std::uint64_t HistoryRecords::positionOf(std::size_t row) const {
    return indexBlocks_[row / kIndexBlockEntries][row % kIndexBlockEntries];
}

const std::uint8_t* HistoryRecords::recordAt(std::size_t row) const {
    if (row >= count_) {
        throw std::out_of_range("history row out of range");
    }
    const std::uint64_t position = positionOf(row);
    return chunks_[static_cast<std::size_t>(position / kChunkBytes)].get() + position % kChunkBytes;
}
