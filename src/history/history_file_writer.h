#pragma once
// The bytes of a history file. The text is 8-bit: one byte per character,
// lines written in quoted form, a double-quote, the text, a double-quote,
// CR LF. A double-quote inside a line is written as it is, unescaped, the
// way the quoted form has always been written; none of the console's own
// lines can hold one (hex digits, "IN < " lines, reference run codes).

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class HistoryFileKind {
    EntriesOnly, // any name not ending in ".his" or ".txt" (".HIS" included)
    History,     // ".his"
    Text,        // ".txt"
};

// Compares the last four characters of the path exactly, case included.
HistoryFileKind HistoryFileKindOf(std::string_view path);

struct HistoryFileHeader {
    HistoryFileKind kind = HistoryFileKind::EntriesOnly;
    std::string versionText; // "V0.5B"
    std::string createdOn;   // short date, a blank, short time
};

// The header lines without quotes: none for EntriesOnly, else the title and
// "Created on ...".
std::vector<std::string> HistoryHeaderLines(const HistoryFileHeader& header);

// Appends entry `row` (0-based) to `out`.
using HistoryLineSource = std::function<void(std::size_t row, std::string& out)>;
// Takes the next piece of the file; false when it could not be written.
using HistoryByteSink = std::function<bool(const char* data, std::size_t size)>;

// Appends entry `row` as a history file holds it: quoted, CR LF.
void AppendHistoryFileEntry(std::size_t row, const HistoryLineSource& lineAt, std::string& out);

// Streams the header lines and entries 0 .. lineCount-1 to the sink in
// pieces of about 64 KiB. Stops at the first piece the sink refuses and
// returns false then.
bool WriteHistoryFile(const HistoryFileHeader& header, std::size_t lineCount,
                      const HistoryLineSource& lineAt, const HistoryByteSink& sink);
