#include "history_file_writer.h"

namespace {

constexpr std::size_t kPieceBytes = 64 * 1024;

bool endsWith(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

} // namespace

HistoryFileKind HistoryFileKindOf(std::string_view path) {
    if (endsWith(path, ".his")) {
        return HistoryFileKind::History;
    }
    if (endsWith(path, ".txt")) {
        return HistoryFileKind::Text;
    }
    return HistoryFileKind::EntriesOnly;
}

std::vector<std::string> HistoryHeaderLines(const HistoryFileHeader& header) {
    switch (header.kind) {
    case HistoryFileKind::History:
        return {"Kelmora " + header.versionText + " History Ouptut File",
                "Created on " + header.createdOn};
    case HistoryFileKind::Text:
        return {"Kelmora " + header.versionText + " History Text Ouptut File",
                "Created on " + header.createdOn};
    case HistoryFileKind::EntriesOnly:
        break;
    }
    return {};
}

bool WriteHistoryFile(const HistoryFileHeader& header, std::size_t lineCount,
                      const HistoryLineSource& lineAt, const HistoryByteSink& sink) {
    std::string piece;
    piece.reserve(kPieceBytes + 256);
    auto endLine = [&] {
        piece += "\"\r\n";
        if (piece.size() < kPieceBytes) {
            return true;
        }
        const bool written = sink(piece.data(), piece.size());
        piece.clear();
        return written;
    };
    for (const std::string& line : HistoryHeaderLines(header)) {
        piece += '"';
        piece += line;
        if (!endLine()) {
            return false;
        }
    }
    for (std::size_t row = 0; row < lineCount; ++row) {
        piece += '"';
        lineAt(row, piece);
        if (!endLine()) {
            return false;
        }
    }
    return piece.empty() || sink(piece.data(), piece.size());
}
