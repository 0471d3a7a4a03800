#pragma once
// Runs one of the project's programs, its output and errors kept in files of
// a scratch folder, and splits its CSV output, for the tests of the tools.
// RunProgram starts the program itself, on Linux and on Windows alike;
// RunCommand hands a line to the shell, for the tests that need a POSIX
// shell or Linux's tools (and skip on Windows).

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// Skips a test on Windows, saying why (what POSIX or Linux tool it needs).
#ifdef _WIN32
#define SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "not on Windows: " << reason
#else
#define SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

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
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
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
// DIR/err.
class StartedProgram {
public:
    StartedProgram(const std::vector<std::string>& arguments, const std::string& dir,
                   const std::string& input, const std::string& output) {
        const std::string out = output.empty() ? dir + "/out" : output;
        const std::string err = dir + "/err";
#ifdef _WIN32
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        auto open = [&](const std::string& path, bool write) {
            return ::CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited,
                                 write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
        };
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        if (input.empty()) {
            ::CreatePipe(&startup.hStdInput, &input_, &inherited, 0);
            ::SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        } else {
            startup.hStdInput = open(input, false);
        }
        startup.hStdOutput = open(out, true);
        startup.hStdError = open(err, true);
        std::string line; // each argument quoted: the tests' hold no quotes
        for (const std::string& argument : arguments) {
            line += (line.empty() ? "\"" : " \"") + argument + "\"";
        }
        // One fed through a pipe gets a console of its own, for interrupt().
        ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                         input.empty() ? CREATE_NEW_CONSOLE : 0, nullptr, nullptr, &startup,
                         &child_);
        for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
            ::CloseHandle(handle);
        }
#else
        int ends[2] = {-1, -1};
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        if (input.empty() && pipe(ends) == 0) {
            posix_spawn_file_actions_adddup2(&files, ends[0], 0);
            posix_spawn_file_actions_addclose(&files, ends[1]);
        } else {
            posix_spawn_file_actions_addopen(&files, 0, input.c_str(), O_RDONLY, 0);
        }
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&child_, argv[0], &files, nullptr, argv.data(), environ) != 0) {
            child_ = 0;
        }
        posix_spawn_file_actions_destroy(&files);
        if (ends[0] >= 0) {
            close(ends[0]);
        }
        input_ = ends[1];
#endif
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool write(const std::string& bytes) {
#ifdef _WIN32
        DWORD written = 0;
        return ::WriteFile(input_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                           nullptr) &&
               written == bytes.size();
#else
        return ::write(input_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
#endif
    }

    // Waits for the end: the exit status, or -1 when it did not exit. With
    // `interrupted`, ends it first as a user does (SIGTERM, on Windows
    // Ctrl+C in its console) and gives 0 when it ended so.
    int wait(bool interrupted = false) {
#ifdef _WIN32
        if (interrupted) {
            // Ctrl+C goes to every process of a console: the test joins the
            // program's for it and ignores the event itself.
            ::FreeConsole();
            ::AttachConsole(child_.dwProcessId);
            ::SetConsoleCtrlHandler(nullptr, TRUE);
            ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        }
        DWORD code = 0;
        const bool ended = ::WaitForSingleObject(child_.hProcess, 60000) == WAIT_OBJECT_0 &&
                           ::GetExitCodeProcess(child_.hProcess, &code);
        if (interrupted) {
            ::FreeConsole();
            ::SetConsoleCtrlHandler(nullptr, FALSE);
        }
        for (const HANDLE handle : {input_, child_.hProcess, child_.hThread}) {
            if (handle) {
                ::CloseHandle(handle);
            }
        }
        // Wine's default Ctrl+C handler ends a program with 0, Windows' with
        // STATUS_CONTROL_C_EXIT.
        return !ended ? -1 : interrupted ? 0 : static_cast<int>(code);
#else
        if (interrupted) {
            kill(child_, SIGTERM);
        }
        int raw = 0;
        const bool ended = child_ > 0 && waitpid(child_, &raw, 0) == child_;
        if (input_ >= 0) {
            close(input_);
        }
        if (interrupted) {
            return ended && WIFSIGNALED(raw) && WTERMSIG(raw) == SIGTERM ? 0 : -1;
        }
        return ended && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    }

private:
#ifdef _WIN32
    HANDLE input_ = nullptr;
    PROCESS_INFORMATION child_{};
#else
    int input_ = -1;
    pid_t child_ = 0;
#endif
};

// `arguments` (the program first) with standard input from the file `input`
// (none when empty), standard output into the file `output` (DIR/out when
// empty, then read back) and errors into DIR/err.
inline ToolRun RunProgram(const std::vector<std::string>& arguments, const std::string& dir,
                          const std::string& input = "", const std::string& output = "") {
#ifdef _WIN32
    const std::string nothing = "NUL";
#else
    const std::string nothing = "/dev/null";
#endif
    const int status =
        StartedProgram(arguments, dir, input.empty() ? nothing : input, output).wait();
    return {status, output.empty() ? ReadFile(dir + "/out") : "", ReadFile(dir + "/err")};
}

// `commandLine`, through the shell, with standard output into DIR/out and
// errors into DIR/err.
inline ToolRun RunCommand(const std::string& commandLine, const std::string& dir) {
    const std::string line = commandLine + " >" + dir + "/out 2>" + dir + "/err";
    const int raw = std::system(line.c_str());
#ifdef _WIN32
    const int status = raw;
#else
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    return {status, ReadFile(dir + "/out"), ReadFile(dir + "/err")};
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
