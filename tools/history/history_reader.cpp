#include "history_reader.h"

#include <flag_column_names.h>

#include <utility>

namespace {

constexpr std::string_view kTitleStart = "Kelmora ";
constexpr std::string_view kHistoryTitleEnd = " History Ouptut File";
constexpr std::string_view kTextTitleEnd = " History Text Ouptut File";
constexpr std::string_view kCreatedOn = "Created on ";

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool IsTitle(std::string_view text) {
    return StartsWith(text, kTitleStart) &&
           (EndsWith(text, kHistoryTitleEnd) || EndsWith(text, kTextTitleEnd));
}

// RFC 4180: a field holding a comma, a double-quote or a line end is quoted,
// its double-quotes doubled. The console's own lines never need it.
void AppendCsvField(std::string_view field, std::string& row) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        row += field;
        return;
    }
    row += '"';
    for (char c : field) {
        row += c;
        if (c == '"') {
            row += '"';
        }
    }
    row += '"';
}

} // namespace

void AppendCsvRow(std::size_t index, std::string_view raw, const HistoryEntry& entry,
                  std::string& row) {
    // Columns 3 to 14 (elapsed_ms .. aux); empty where they do not apply.
    std::string fields[12];
    auto& [elapsed, command, counter, mode, error, x, y, z, c, fill, switches, aux] = fields;
    const bool in = entry.kind == HistoryEntryKind::Received;
    if (in) {
        const StatusReport& s = entry.status;
        elapsed = std::to_string(entry.elapsedMs);
        counter = std::to_string(s.frameCounter);
        mode = std::to_string(s.mode);
        error = std::to_string(s.errorCode);
        x = std::to_string(s.positionX);
        y = std::to_string(s.positionY);
        z = std::to_string(s.positionZ);
        c = std::to_string(s.positionC);
        fill = std::to_string(s.fillLevel);
        switches = StatusSwitchColumnNames(s.switchFlags);
        aux = StatusAuxiliaryColumnNames(s.auxiliaryFlags);
    } else {
        const DecodedCommand& d = entry.command;
        command = CommandKindName(d.kind);
        if (d.counter) {
            counter = std::to_string(*d.counter);
        }
        if (d.kind == CommandKind::ModeChange) {
            mode = std::to_string(d.targetMode);
        } else if (d.kind == CommandKind::ZeroPoint) {
            x = FrameValueText(d.zeroPoint[0]);
            y = FrameValueText(d.zeroPoint[1]);
            z = FrameValueText(d.zeroPoint[2]);
            c = FrameValueText(d.zeroPoint[3]);
        } else if (d.kind == CommandKind::AuxiliarySignals) {
            aux = SignalColumnNames(d.signalBits);
        }
    }
    row += std::to_string(index);
    row += in ? ",in" : ",out";
    for (const std::string& field : fields) {
        row += ',';
        row += field;
    }
    row += ',';
    AppendCsvField(raw, row);
}

HistoryFileReader::HistoryFileReader(std::string fileName, EntrySink entries, Sink problems)
    : output_(HistoryOutput::Text), fileName_(std::move(fileName)), entrySink_(std::move(entries)),
      problems_(std::move(problems)) {
    line_.reserve(kMaxLineBytes);
}

HistoryFileReader::HistoryFileReader(HistoryOutput output, std::string fileName, Sink out,
                                     Sink problems)
    : output_(output), fileName_(std::move(fileName)), out_(std::move(out)),
      problems_(std::move(problems)) {
    line_.reserve(kMaxLineBytes);
    if (output_ == HistoryOutput::Csv) {
        out_(std::string(kHistoryCsvHeader) + "\n");
    }
}

void HistoryFileReader::feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\n') {
            endLine();
        } else if (line_.size() < kMaxLineBytes) {
            line_ += c;
        } else {
            overlong_ = true;
        }
    }
}

bool HistoryFileReader::finish() {
    if (!line_.empty() || overlong_) {
        endLine();
    }
    return allRead_;
}

void HistoryFileReader::endLine() {
    ++lineNumber_;
    if (overlong_) {
        refuse("longer than any history line");
    } else {
        std::string_view line = line_;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        readLine(line);
    }
    line_.clear();
    overlong_ = false;
}

void HistoryFileReader::readLine(std::string_view line) {
    if (line.size() < 2 || line.front() != '"' || line.back() != '"') {
        refuse("not in double quotes");
        return;
    }
    const std::string_view text = line.substr(1, line.size() - 2);
    if (lineNumber_ == 1 && IsTitle(text)) {
        sawTitle_ = true;
        return;
    }
    if (lineNumber_ == 2 && sawTitle_ && StartsWith(text, kCreatedOn)) {
        return;
    }
    if (const auto entry = ParseHistoryEntry(text)) {
        writeEntry(text, *entry);
    } else {
        refuse("not a history entry");
    }
}

void HistoryFileReader::refuse(const char* why) {
    allRead_ = false;
    problems_(fileName_ + ":" + std::to_string(lineNumber_) + ": " + why + "\n");
}

void HistoryFileReader::writeEntry(std::string_view text, const HistoryEntry& entry) {
    ++entries_;
    if (entrySink_) {
        entrySink_(text, entry);
        return;
    }
    row_.clear();
    if (output_ == HistoryOutput::Csv) {
        AppendCsvRow(entries_, text, entry, row_);
    } else {
        AppendTextRow(entries_, entry, row_);
    }
    row_ += '\n';
    out_(row_);
}

void AppendTextRow(std::size_t index, const HistoryEntry& entry, std::string& row) {
    row += std::to_string(index);
    row += entry.kind == HistoryEntryKind::Received ? " in: " : " out: ";
    row += DescribeHistoryEntry(entry);
}
