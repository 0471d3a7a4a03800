// Any bytes as a saved history file, read by kelmora-history's reader in
// pieces of any size: it never crashes, the pieces do not change what it
// writes, every CSV row has the fifteen columns, the complaints come in line
// order, and a line taken as an entry is exactly a line the console writes.

#include "history_entry.h"
#include "history_reader.h"
#include "received_line.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct Result {
    std::string out;
    std::string problems;
    bool allRead = false;
    std::size_t entries = 0;
};

Result Read(HistoryOutput output, std::string_view input, std::size_t piece) {
    Result result;
    HistoryFileReader reader(
        output, "f", [&](std::string_view row) { result.out += row; },
        [&](std::string_view problem) { result.problems += problem; });
    for (std::size_t at = 0; at < input.size(); at += piece) {
        const std::size_t size = input.size() - at < piece ? input.size() - at : piece;
        reader.feed(input.data() + at, size);
    }
    result.allRead = reader.finish();
    result.entries = reader.entries();
    return result;
}

// Columns of one CSV row, quoted fields taken whole.
std::size_t Columns(std::string_view row) {
    std::size_t columns = 1;
    bool quoted = false;
    for (char c : row) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            ++columns;
        }
    }
    Require(!quoted, "quotes balance");
    return columns;
}

void CheckCanonical(std::string_view line) {
    const auto entry = ParseHistoryEntry(line);
    if (!entry) {
        return;
    }
    static const char digits[] = "0123456789ABCDEF";
    switch (entry->kind) {
    case HistoryEntryKind::Received:
        Require(ReceivedLine(entry->block, entry->elapsedMs) == line, "received line canonical");
        break;
    case HistoryEntryKind::SentFrame: {
        std::string hex;
        for (std::uint8_t b : entry->frame) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        Require(hex == line, "sent line canonical");
        break;
    }
    case HistoryEntryKind::ReferenceRun:
        Require(line.size() < 64 && line.substr(0, 2) == "\x02\x31", "reference run line");
        break;
    }
    Require(!DescribeHistoryEntry(*entry).empty(), "a description");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = data[0] % 97 + 1;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    CheckCanonical(input);

    const Result whole = Read(HistoryOutput::Csv, input, input.size() + 1);
    const Result pieces = Read(HistoryOutput::Csv, input, piece);
    Require(whole.out == pieces.out && whole.problems == pieces.problems &&
                whole.allRead == pieces.allRead,
            "the pieces do not matter");
    Require(whole.allRead == whole.problems.empty(), "all read exactly when nothing is refused");

    std::size_t rows = 0;
    std::size_t start = 0;
    while (start < whole.out.size()) {
        const std::size_t end = whole.out.find('\n', start);
        Require(end != std::string::npos, "every row ends in a line end");
        const std::string_view row(whole.out.data() + start, end - start);
        if (start == 0) {
            Require(row == kHistoryCsvHeader, "the header comes first");
        } else {
            Require(Columns(row) == 15, "fifteen columns");
            Require(row.substr(0, std::to_string(rows).size() + 1) == std::to_string(rows) + ",",
                    "entries numbered from 1");
        }
        ++rows;
        start = end + 1;
    }
    Require(rows == whole.entries + 1, "one row per entry");

    std::size_t lastLine = 0;
    for (std::size_t at = 0; at < whole.problems.size();) {
        Require(whole.problems.compare(at, 2, "f:") == 0, "a complaint names the file");
        const std::size_t number = std::strtoul(whole.problems.c_str() + at + 2, nullptr, 10);
        Require(number > lastLine, "complaints in line order");
        lastLine = number;
        at = whole.problems.find('\n', at) + 1;
        Require(at != 0, "a complaint ends in a line end");
    }

    const Result text = Read(HistoryOutput::Text, input, piece);
    Require(text.entries == whole.entries && text.problems == whole.problems,
            "text and CSV read the same entries");
    return 0;
}
