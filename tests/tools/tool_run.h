#pragma once
// Runs one of the project's programs, its output and errors kept in files of
// a scratch folder, and splits its CSV output, for the tests of the tools.
// RunProgram starts the program itself, on Linux and on Windows alike;
// RunCommand hands a line to the shell, for the tests that need a POSIX
// shell or Linux's tools (and skip on Windows).

#include <gtest/gtest.h>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
constexpr int kBinary = _O_BINARY;
constexpr const char* kNoInput = "NUL";
constexpr const char* kQuote = "\""; // around each argument: the tests' hold no quotes
#define WIFEXITED(raw) true
#define WEXITSTATUS(raw) (raw)
// Skips a test on Windows, saying why (what POSIX or Linux tool it needs).
#define SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "not on Windows: " << reason
#else
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
constexpr int kBinary = 0;
constexpr const char* kNoInput = "/dev/null";
constexpr const char* kQuote = "";
#define SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

struct ToolRun {
    int status = -1; // the exit status, or -1 when it did not exit
    std::string out;
    std::string err;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A new empty folder under the system's temporary folder, removed with all
// it holds when it goes.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        do {
            path_ =
                (std::filesystem::temp_directory_path() / ("kelmora-" + std::to_string(random())))
                    .string();
        } while (!std::filesystem::create_directory(path_));
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A program started on its own (no shell), with standard input from the
// file `input` or, when that is empty, from a pipe the test writes; its
// output into the file `output` (DIR/out when empty) and errors into
// DIR/err. The test's own standard streams are swapped for those while it
// starts.
class StartedProgram {
public:
    StartedProgram(const std::vector<std::string>& arguments, const std::string& dir,
                   const std::string& input, const std::string& output) {
        const int writing = O_WRONLY | O_CREAT | O_TRUNC | kBinary;
        int streams[3] = {-1,
                          ::open((output.empty() ? dir + "/out" : output).c_str(), writing, 0644),
                          ::open((dir + "/err").c_str(), writing, 0644)};
        if (!input.empty()) {
            streams[0] = ::open(input.c_str(), O_RDONLY | kBinary);
        } else {
            int ends[2] = {-1, -1};
#ifdef _WIN32
            ::_pipe(ends, 1 << 16, _O_BINARY | _O_NOINHERIT);
            // A console the program shares with the test, for the Ctrl+C.
            ::FreeConsole();
            ::AllocConsole();
#else
            ::pipe(ends);
            ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
#endif
            streams[0] = ends[0];
            input_ = ends[1];
        }
        std::vector<std::string> words;
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            words.push_back(kQuote + argument + kQuote);
        }
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        int saved[3];
        for (int fd = 0; fd < 3; ++fd) {
            saved[fd] = ::dup(fd);
            ::dup2(streams[fd], fd);
            ::close(streams[fd]);
        }
#ifdef _WIN32
        child_ = ::_spawnv(_P_NOWAIT, arguments[0].c_str(), argv.data());
#else
        if (posix_spawnp(&child_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            child_ = -1;
        }
#endif
        for (int fd = 0; fd < 3; ++fd) {
            ::dup2(saved[fd], fd);
            ::close(saved[fd]);
        }
    }
    bool write(const std::string& bytes) {
        return ::write(input_, bytes.data(), static_cast<unsigned>(bytes.size())) ==
               static_cast<int>(bytes.size());
    }

    // Waits for the end: the exit status, or -1 when it did not exit. With
    // `interrupted`, ends it first as a user does (SIGTERM, on Windows
    // Ctrl+C in its console) and gives 0 when it ended so.
    int wait(bool interrupted = false) {
        int status = -1;
#ifdef _WIN32
        if (interrupted) {
            ::SetConsoleCtrlHandler(nullptr, TRUE); // the test stays
            ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        }
        // Wine ends a program on Ctrl+C with 0, Windows with
        // STATUS_CONTROL_C_EXIT: that it ended is what tells.
        if (child_ != -1 && ::_cwait(&status, child_, 0) == child_ && interrupted) {
            status = 0;
        }
#else
        int raw = 0;
        if (interrupted) {
            kill(child_, SIGTERM);
        }
        if (child_ > 0 && waitpid(child_, &raw, 0) == child_) {
            status = interrupted ? (WIFSIGNALED(raw) && WTERMSIG(raw) == SIGTERM ? 0 : -1)
                                 : (WIFEXITED(raw) ? WEXITSTATUS(raw) : -1);
        }
#endif
        if (input_ >= 0) {
            ::close(input_);
        }
        return status;
    }

private:
    int input_ = -1;
#ifdef _WIN32
    intptr_t child_ = -1;
#else
    pid_t child_ = -1;
#endif
};

// `arguments` (the program first) with standard input from the file `input`
// (none when empty), standard output into the file `output` (DIR/out when
// empty, then read back) and errors into DIR/err.
inline ToolRun RunProgram(const std::vector<std::string>& arguments, const std::string& dir,
                          const std::string& input = "", const std::string& output = "") {
    const int status =
        StartedProgram(arguments, dir, input.empty() ? kNoInput : input, output).wait();
    return {status, output.empty() ? ReadFile(dir + "/out") : "", ReadFile(dir + "/err")};
}

// `commandLine`, through the shell, with standard output into DIR/out and
// errors into DIR/err.
inline ToolRun RunCommand(const std::string& commandLine, const std::string& dir) {
    const std::string line = commandLine + " >" + dir + "/out 2>" + dir + "/err";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir + "/out"), ReadFile(dir + "/err")};
}

// The fields of one line of CSV output, an empty last one kept.
inline std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == separator) {
        parts.emplace_back();
    }
    return parts;
}
