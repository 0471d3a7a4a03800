#pragma once
// The lines of one history list, kept as the frames they came from rather
// than as text. A polling session logs millions of lines; holding each as a
// string would cost several hundred bytes a line and one heap block each.
// Here a line costs its packed record (a sent status request about ten
// bytes, a received block under forty) plus eight bytes of index, and lines
// are formatted only when someone reads them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frames/command_channel.h"
#include "received_line.h"

class HistoryRecords {
public:
    HistoryRecords() = default;
    HistoryRecords(const HistoryRecords&) = delete;
    HistoryRecords& operator=(const HistoryRecords&) = delete;
    HistoryRecords(HistoryRecords&&) = default;
    HistoryRecords& operator=(HistoryRecords&&) = default;

    // A command frame; its line is the 128 upper-case hex digits.
    void appendSentFrame(const CommandFrame& frame);
    // A received block; its line is "IN < " ... " t- " + elapsed.
    void appendReceived(const ReceivedBlock& block, std::int32_t elapsedMs);
    // A line given as text (the reference run frame). A list line ends at its
    // first code-0 character, so anything from there on is not kept.
    void appendText(std::string_view text);

    void clear();
    // Drops the newest line (a frame the port refused after it was logged).
    void removeLast();
    std::size_t count() const { return count_; }

    // The line exactly as logged, one char per 8-bit code.
    std::string lineAt(std::size_t row) const;
    // Appends the line to `out`; saves a string per line when streaming.
    void appendLineTo(std::size_t row, std::string& out) const;

    // Bytes held for the lines, index and bookkeeping included.
    std::size_t memoryBytes() const;

private:
    // Records never straddle two chunks, so a record is read in place.
    static constexpr std::size_t kChunkBytes = 256 * 1024;
    static constexpr std::size_t kIndexBlockEntries = 16 * 1024;
    // Texts too long to share a chunk with others are kept on their own.
    static constexpr std::size_t kLongTextBytes = kChunkBytes / 4;

    std::uint8_t* reserveRecord(std::size_t size);
    void pushIndex(std::uint64_t position);
    std::uint64_t positionOf(std::size_t row) const;
    const std::uint8_t* recordAt(std::size_t row) const;

    std::vector<std::unique_ptr<std::uint8_t[]>> chunks_;
    std::size_t usedInLastChunk_ = kChunkBytes;
    std::vector<std::unique_ptr<std::uint64_t[]>> indexBlocks_;
    std::vector<std::string> longTexts_;
    std::size_t longTextBytes_ = 0;
    std::size_t count_ = 0;
};
