// The history as the console keeps it (compact records) and the file written
// from it, for any mix of lines: every line is read back exactly as logged,
// and the file is the header lines its name asks for followed by every
// entry, each as a double-quote, the text, a double-quote, CR LF. A sink
// that refuses a piece stops the writing there.
//
// Input: a path (length byte, bytes), the version and date texts (same),
// then operations, each a byte followed by its operands:
//   0 sent frame (64 bytes)   1 received block (32 bytes, 4 bytes elapsed)
//   2 text (length byte, bytes)   3 long text (2 length bytes x 8, fill byte)
//   4 the sink refuses piece n (byte n)   5 clear the history
//   6 many texts (2 count bytes, length byte, fill byte), so that a small
//     input still crosses the records' storage boundaries

#include "history_file_writer.h"
#include "history_records.h"
#include "received_line.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Generated lines are capped so one input stays under half a megabyte and
// the fuzzer keeps its pace; that is still past a long text's threshold and
// past the records' first storage chunk and index block.
constexpr std::size_t kMaxGeneratedBytes = 384 * 1024;

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string bytes(std::size_t count) {
        std::string out;
        while (count-- > 0 && at_ < size_) {
            out += static_cast<char>(data_[at_++]);
        }
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

const char kHex[] = "0123456789ABCDEF";

std::string HexLine(const std::uint8_t* bytes, std::size_t count) {
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 15];
    }
    return line;
}

bool EndsWith(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    const std::string path = in.bytes(in.byte() % 24);
    HistoryFileHeader header;
    header.kind = HistoryFileKindOf(path);
    header.versionText = in.bytes(in.byte() % 16);
    header.createdOn = in.bytes(in.byte() % 32);

    std::vector<std::string> expectedHeader;
    if (EndsWith(path, ".his")) {
        Require(header.kind == HistoryFileKind::History, ".his names a history file");
        expectedHeader = {"Kelmora " + header.versionText + " History Ouptut File",
                          "Created on " + header.createdOn};
    } else if (EndsWith(path, ".txt")) {
        Require(header.kind == HistoryFileKind::Text, ".txt names a text file");
        expectedHeader = {"Kelmora " + header.versionText + " History Text Ouptut File",
                          "Created on " + header.createdOn};
    } else {
        Require(header.kind == HistoryFileKind::EntriesOnly, "any other name: entries only");
    }
    Require(HistoryHeaderLines(header) == expectedHeader, "header lines");

    HistoryRecords records;
    std::vector<std::string> expected;
    std::optional<std::size_t> refusedPiece;
    std::size_t generated = 0;
    while (!in.done()) {
        switch (in.byte() % 7) {
        case 0: {
            CommandFrame frame{};
            for (auto& b : frame) {
                b = in.byte();
            }
            records.appendSentFrame(frame);
            expected.push_back(HexLine(frame.data(), frame.size()));
            break;
        }
        case 1: {
            ReceivedBlock block{};
            for (auto& b : block) {
                b = in.byte();
            }
            std::uint32_t pattern = 0;
            for (int i = 0; i < 4; ++i) {
                pattern |= std::uint32_t{in.byte()} << (8 * i);
            }
            const auto elapsed = static_cast<std::int32_t>(pattern);
            records.appendReceived(block, elapsed);
            std::string line = "IN < ";
            for (std::size_t i = 0; i < block.size(); i += 2) {
                line += HexLine(&block[i], 2) + ' ';
            }
            expected.push_back(line + " t- " + std::to_string(elapsed));
            break;
        }
        case 2: {
            const std::string text = in.bytes(in.byte());
            records.appendText(text);
            expected.push_back(text.substr(0, text.find('\0')));
            break;
        }
        case 3: {
            std::size_t length = (in.byte() | std::size_t{in.byte()} << 8) * 8;
            const char fill = static_cast<char>(in.byte());
            if (generated + length > kMaxGeneratedBytes) {
                length = 0;
            }
            generated += length;
            const std::string text(length, fill);
            records.appendText(text);
            expected.push_back(fill == '\0' ? std::string() : text);
            break;
        }
        case 4:
            refusedPiece = in.byte();
            break;
        case 5:
            records.clear();
            expected.clear();
            generated = 0;
            break;
        case 6: {
            std::size_t count = in.byte() | std::size_t{in.byte()} << 8;
            const std::size_t length = in.byte();
            const char fill = static_cast<char>(in.byte());
            if (generated + count * (length + 16) > kMaxGeneratedBytes) {
                count = 0;
            }
            generated += count * (length + 16);
            const std::string text(length, fill);
            const std::string kept = fill == '\0' ? std::string() : text;
            for (std::size_t i = 0; i < count; ++i) {
                records.appendText(text);
                expected.push_back(kept);
            }
            break;
        }
        }
    }

    Require(records.count() == expected.size(), "one record per line");
    for (std::size_t row = 0; row < expected.size(); ++row) {
        Require(records.lineAt(row) == expected[row], "a line reads back as logged");
    }

    std::string expectedFile;
    for (const std::string& line : expectedHeader) {
        expectedFile += '"' + line + "\"\r\n";
    }
    for (const std::string& line : expected) {
        expectedFile += '"' + line + "\"\r\n";
    }

    std::string file;
    std::size_t pieces = 0;
    bool refused = false;
    const bool written = WriteHistoryFile(
        header, records.count(),
        [&](std::size_t row, std::string& out) { records.appendLineTo(row, out); },
        [&](const char* piece, std::size_t pieceSize) {
            Require(!refused, "nothing is written after a refused piece");
            Require(pieceSize > 0, "no empty pieces");
            if (refusedPiece && pieces == *refusedPiece) {
                refused = true;
                return false;
            }
            ++pieces;
            file.append(piece, pieceSize);
            return true;
        });
    Require(written == !refused, "the result tells whether every piece was taken");
    if (written) {
        Require(file == expectedFile, "the file is the quoted header and entries, CR LF each");
    } else {
        Require(file.size() < expectedFile.size() &&
                    expectedFile.compare(0, file.size(), file) == 0,
                "a refused write leaves a prefix of the file");
    }
    return 0;
}
