// kelmora-history: a saved history file or a capture of the line in words
// or as CSV, one entry a line; or a history turned into a capture.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "aside_file.h"
#include "capture_file_reader.h"
#include "history_capture_writer.h"
#include "history_reader.h"
#include "output_file.h"

namespace {

const std::string kUsage =
    "Usage: kelmora-history [--csv] FILE\n"
    "       kelmora-history --pcapng OUT FILE\n"
    "Prints each entry of a saved Kelmora history (.his, .txt or any name; the\n"
    "header lines are skipped) or each frame of a pcapng capture of the line (told\n"
    "by its first bytes, 0A 0D 0D 0A) as one decoded line. FILE - reads standard\n"
    "input.\n"
    "\n"
    "  --csv         one CSV row per entry, after the header line\n"
    "                " +
    std::string(kHistoryCsvHeader) +
    "\n"
    "  --pcapng OUT  write the history FILE as a pcapng capture to OUT (- for\n"
    "                standard output): one packet per frame, the times rebuilt\n"
    "                from the received lines' elapsed milliseconds. OUT is\n"
    "                replaced only once the capture is whole; OUT may not be\n"
    "                FILE\n"
    "  --version     print the version and exit\n"
    "  -h, --help    print this text and exit\n"
    "\n"
    "Exit status: 0 when every line or packet was read, 1 when a line is not a\n"
    "history entry or the capture is damaged or holds something other than the\n"
    "line's frames (each named on standard error with its line number, or its\n"
    "block and byte offset), 2 on a usage error, a file that cannot be read or\n"
    "output that cannot be written.\n";

constexpr std::string_view kCaptureMagic("\x0A\x0D\x0D\x0A", 4);

// Output that failed is said once, with the reason, and ends the reading:
// a full disk or a reader that went away (standard output closed: SIGPIPE
// is ignored so that the write fails with EPIPE instead of the signal
// ending the program without a word; Windows has no such signal).
struct Output {
    std::FILE* stream = stdout;
    const char* name = "standard output";
    OutputFile* file = nullptr; // a named file, put in place at the end
    bool failed = false;
    std::string reason;

    void write(std::string_view text) {
        if (failed) {
            return;
        }
        if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() ||
            std::ferror(stream)) {
            fail(errno);
        }
    }
    void fail(int error) {
        if (!failed) {
            failed = true;
            reason = error ? std::strerror(error) : "write error";
        }
    }
    // Flushes (and puts a named file in place, unless a write failed);
    // false, with the reason said, when any of it failed.
    bool finish() {
        if (!failed && std::fflush(stream) != 0) {
            fail(errno);
        }
        if (!failed && file) {
            reason = file->commit();
            failed = !reason.empty();
        }
        if (failed) {
            std::fprintf(stderr, "kelmora-history: cannot write %s: %s\n", name, reason.c_str());
        }
        return !failed;
    }
};

void Complain(std::string_view problem) {
    std::fflush(stdout); // keeps complaints in place when both go to one terminal
    std::fputs("kelmora-history: ", stderr);
    std::fwrite(problem.data(), 1, problem.size(), stderr);
}

// The standard streams carry bytes as they are: on Windows they would
// otherwise turn LF into CR LF on the way out, and take CR LF for LF and
// Ctrl+Z for the end on the way in, which breaks captures and histories.
void PrepareStandardStreams() {
#ifdef _WIN32
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
#else
    std::signal(SIGPIPE, SIG_IGN);
    // A file size limit fails the write (said, status 2) rather than ending
    // the program with the output half written.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace

int main(int argc, char** argv) {
    PrepareStandardStreams();
    HistoryOutput format = HistoryOutput::Text;
    bool csvAsked = false;
    const char* path = nullptr;
    const char* capturePath = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--csv") {
            format = HistoryOutput::Csv;
            csvAsked = true;
        } else if (arg == "--pcapng" && i + 1 < argc && !capturePath) {
            capturePath = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage.c_str(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 2;
        } else if (arg == "--version") {
            std::fputs("kelmora-history " KELMORA_VERSION_TEXT " (" KELMORA_PACKAGE_VERSION ")\n",
                       stdout);
            return std::fflush(stdout) == 0 ? 0 : 2;
        } else if ((arg.size() > 1 && arg[0] == '-' && arg != "-") || path) {
            std::fprintf(stderr, "kelmora-history: unexpected argument '%s'\n%s", argv[i],
                         kUsage.c_str());
            return 2;
        } else {
            path = argv[i];
        }
    }
    if (!path) {
        std::fprintf(stderr, "kelmora-history: no file named\n%s", kUsage.c_str());
        return 2;
    }
    if (csvAsked && capturePath) {
        std::fprintf(stderr, "kelmora-history: --csv and --pcapng exclude each other\n%s",
                     kUsage.c_str());
        return 2;
    }
    const bool fromStdin = std::string_view(path) == "-";
    std::FILE* in = fromStdin ? stdin : std::fopen(path, "rb");
    if (!in) {
        std::fprintf(stderr, "kelmora-history: %s: %s\n", path, std::strerror(errno));
        return 2;
    }
    const std::string inputName = fromStdin ? "(standard input)" : path;

    static char buffer[64 * 1024];
    std::size_t got = std::fread(buffer, 1, sizeof buffer, in);
    const bool isCapture =
        std::string_view(buffer, std::min(got, kCaptureMagic.size())) == kCaptureMagic;

    Output output;
    OutputFile outputFile;
    const bool ownOutput = capturePath && std::string_view(capturePath) != "-";
    if (capturePath) {
        if (isCapture) {
            std::fprintf(stderr, "kelmora-history: %s is a capture already\n", path);
            return 2;
        }
        if (ownOutput && IsSameFile(fileno(in), capturePath)) {
            std::fprintf(stderr,
                         "kelmora-history: %s is the file being read; write the capture to "
                         "another file\n",
                         capturePath);
            return 2;
        }
        if (ownOutput) {
            if (const std::string refusal = outputFile.open(capturePath); !refusal.empty()) {
                std::fprintf(stderr, "kelmora-history: %s: %s\n", capturePath, refusal.c_str());
                return 2;
            }
            output.name = capturePath;
            output.stream = outputFile.stream();
            output.file = &outputFile;
        }
    }
    auto write = [&output](std::string_view text) { output.write(text); };

    bool allRead = true;
    if (isCapture) {
        std::size_t served = 0;
        CaptureFileReader reader(
            format, inputName,
            [&](char* to, std::size_t size) -> std::size_t {
                if (served < got) {
                    const std::size_t n = std::min(size, got - served);
                    std::memcpy(to, buffer + served, n);
                    served += n;
                    return n;
                }
                return std::fread(to, 1, size, in);
            },
            write, Complain);
        while (!output.failed && reader.readPacket()) {
        }
        allRead = reader.allRead();
    } else {
        std::optional<HistoryCaptureWriter> captureWriter;
        std::optional<HistoryFileReader> historyReader;
        if (capturePath) {
            captureWriter.emplace(inputName, write);
            historyReader.emplace(
                inputName,
                [&](std::string_view text, const HistoryEntry& entry) {
                    captureWriter->add(text, entry);
                },
                Complain);
        } else {
            historyReader.emplace(format, inputName, write, Complain);
        }
        while (got > 0 && !output.failed) {
            historyReader->feed(buffer, got);
            got = std::fread(buffer, 1, sizeof buffer, in);
        }
        // Stopped by output that failed, the last line fed is likely cut.
        allRead = output.failed || historyReader->finish();
    }
    const bool readError = std::ferror(in) != 0;
    if (!fromStdin) {
        std::fclose(in);
    }
    if (!output.finish()) {
        return 2;
    }
    if (readError) {
        std::fprintf(stderr, "kelmora-history: %s: read error\n", path);
        return 2;
    }
    return allRead ? 0 : 1;
}
