#include "history_file_writer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr std::size_t kPieceBytes = 64 * 1024;
// From this many lines on, pieces are formatted on a second thread while the
// caller writes the previous one: formatting a line costs about as much as
// writing its bytes, so a large save takes about the time of one of them.
constexpr std::size_t kPipelinedLines = 4096;
// Pieces formatted ahead of the writing, at most.
constexpr std::size_t kPiecesAhead = 2;

// Appends quoted lines from `row` on until the piece is full; the row after.
std::size_t formatPiece(std::size_t row, std::size_t lineCount, const HistoryLineSource& lineAt,
                        std::string& piece) {
    while (row < lineCount && piece.size() < kPieceBytes) {
        AppendHistoryFileEntry(row++, lineAt, piece);
    }
    return row;
}

// Formats pieces from `firstRow` on in a thread of its own, handing them to
// the caller in order; the caller hands each back once it is written.
class PieceFormatter {
public:
    PieceFormatter(std::size_t firstRow, std::size_t lineCount, const HistoryLineSource& lineAt)
        : thread_([this, firstRow, lineCount, &lineAt] { run(firstRow, lineCount, lineAt); }) {}

    ~PieceFormatter() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // The next piece, or false when there are no more.
    bool next(std::string& piece) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !formatted_.empty() || done_; });
        if (formatted_.empty()) {
            return false;
        }
        piece.swap(formatted_.front());
        formatted_.pop_front();
        return true;
    }

    void giveBack(std::string&& piece) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            spare_.push_back(std::move(piece));
        }
        changed_.notify_all();
    }

private:
    void run(std::size_t row, std::size_t lineCount, const HistoryLineSource& lineAt) {
        for (std::size_t i = 0; i < kPiecesAhead; ++i) {
            spare_.emplace_back().reserve(kPieceBytes + 256);
        }
        while (row < lineCount) {
            std::string piece;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return stopped_ || !spare_.empty(); });
                if (stopped_) {
                    return;
                }
                piece.swap(spare_.back());
                spare_.pop_back();
            }
            piece.clear();
            row = formatPiece(row, lineCount, lineAt, piece);
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                formatted_.push_back(std::move(piece));
            }
            changed_.notify_all();
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> formatted_;
    std::deque<std::string> spare_;
    bool done_ = false;
    bool stopped_ = false;
    std::thread thread_; // last: starts once the rest is ready
};

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

void AppendHistoryFileEntry(std::size_t row, const HistoryLineSource& lineAt, std::string& out) {
    out += '"';
    lineAt(row, out);
    out += "\"\r\n";
}

bool WriteHistoryFile(const HistoryFileHeader& header, std::size_t lineCount,
                      const HistoryLineSource& lineAt, const HistoryByteSink& sink) {
    std::string piece;
    piece.reserve(kPieceBytes + 256);
    for (const std::string& line : HistoryHeaderLines(header)) {
        piece += '"';
        piece += line;
        piece += "\"\r\n";
    }
    // The first piece is formatted and written here: a sink that refuses it
    // has cost no more lines than that.
    std::size_t row = formatPiece(0, lineCount, lineAt, piece);
    if (row == lineCount || lineCount < kPipelinedLines) {
        while (true) {
            if (!piece.empty() && !sink(piece.data(), piece.size())) {
                return false;
            }
            if (row == lineCount) {
                return true;
            }
            piece.clear();
            row = formatPiece(row, lineCount, lineAt, piece);
        }
    }
    if (!sink(piece.data(), piece.size())) {
        return false;
    }
    PieceFormatter formatter(row, lineCount, lineAt);
    while (formatter.next(piece)) {
        if (!sink(piece.data(), piece.size())) {
            return false; // the formatter stops as it goes
        }
        formatter.giveBack(std::move(piece));
    }
    return true;
}
