#pragma once
// Reads a saved history file, piece by piece as it comes, and writes one
// decoded line (or one CSV row) per entry. Lines are held one at a time in a
// buffer of fixed size, so memory does not grow with the file; a line longer
// than any history line can be is refused without being kept.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "history_entry.h"

enum class HistoryOutput { Text, Csv };

// The columns of a CSV row, in order.
constexpr std::string_view kHistoryCsvHeader =
    "index,direction,elapsed_ms,command,counter,mode,error,x,y,z,c,fill_percent,switches,aux,raw";

class HistoryFileReader {
public:
    using Sink = std::function<void(std::string_view)>;

    // `out` gets each row with its line end, `problems` each complaint about a
    // line (its number, counted from 1, and why) with its line end.
    HistoryFileReader(HistoryOutput output, std::string fileName, Sink out, Sink problems);

    // Hands each entry, with its text as saved, to `entries` instead of
    // writing rows.
    using EntrySink = std::function<void(std::string_view text, const HistoryEntry& entry)>;
    HistoryFileReader(std::string fileName, EntrySink entries, Sink problems);

    void feed(const char* data, std::size_t size);
    // Reads the last line when the file does not end in a line end. True
    // when every line was a header line or an entry.
    bool finish();

    std::size_t entries() const { return entries_; }

    // Longer than a header line with any sane version and date, four times
    // the longest entry.
    static constexpr std::size_t kMaxLineBytes = 1024;

private:
    void endLine();
    void readLine(std::string_view line);
    void refuse(const char* why);
    void writeEntry(std::string_view text, const HistoryEntry& entry);

    HistoryOutput output_;
    std::string fileName_;
    EntrySink entrySink_;
    Sink out_;
    Sink problems_;
    std::string line_;
    bool overlong_ = false;
    bool sawTitle_ = false;
    bool allRead_ = true;
    std::size_t lineNumber_ = 0;
    std::size_t entries_ = 0;
    std::string row_;
};

// The decoded line of an entry (no line end): "7 in: Status: mode 2; ...".
void AppendTextRow(std::size_t index, const HistoryEntry& entry, std::string& row);

// The CSV row of an entry (no line end): `index` counts entries from 1, `raw`
// is the entry's text as saved.
void AppendCsvRow(std::size_t index, std::string_view raw, const HistoryEntry& entry,
                  std::string& row);
