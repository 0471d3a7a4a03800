// kelmora-history: a saved history file in words or as CSV, one entry a line.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "history_reader.h"

namespace {

const std::string kUsage =
    "Usage: kelmora-history [--csv] FILE\n"
    "Prints each entry of a saved Kelmora history (.his, .txt or any name; the\n"
    "header lines are skipped) as one decoded line. FILE - reads standard input.\n"
    "\n"
    "  --csv       one CSV row per entry, after the header line\n"
    "              " +
    std::string(kHistoryCsvHeader) +
    "\n"
    "  --version   print the version and exit\n"
    "  -h, --help  print this text and exit\n"
    "\n"
    "Exit status: 0 when every line was read, 1 when a line is not a history entry\n"
    "(each such line is named with its number on standard error), 2 on a usage\n"
    "error or a file that cannot be read.\n";

void Write(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

} // namespace

int main(int argc, char** argv) {
    HistoryOutput output = HistoryOutput::Text;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--csv") {
            output = HistoryOutput::Csv;
        } else if (arg == "-h" || arg == "--help") {
            Write(stdout, kUsage);
            return 0;
        } else if (arg == "--version") {
            Write(stdout,
                  "kelmora-history " KELMORA_VERSION_TEXT " (" KELMORA_PACKAGE_VERSION ")\n");
            return 0;
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
    const bool fromStdin = std::string_view(path) == "-";
    std::FILE* in = fromStdin ? stdin : std::fopen(path, "rb");
    if (!in) {
        std::fprintf(stderr, "kelmora-history: %s: %s\n", path, std::strerror(errno));
        return 2;
    }

    HistoryFileReader reader(
        output, fromStdin ? "(standard input)" : path,
        [](std::string_view row) { Write(stdout, row); },
        [](std::string_view problem) {
            std::fflush(stdout); // keeps complaints in place when both go to one terminal
            Write(stderr, "kelmora-history: ");
            Write(stderr, problem);
        });
    static char buffer[64 * 1024];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        reader.feed(buffer, got);
    }
    const bool readError = std::ferror(in) != 0;
    if (!fromStdin) {
        std::fclose(in);
    }
    const bool allRead = reader.finish();
    if (readError) {
        std::fprintf(stderr, "kelmora-history: %s: read error\n", path);
        return 2;
    }
    return std::fflush(stdout) == 0 && allRead ? 0 : 1;
}
