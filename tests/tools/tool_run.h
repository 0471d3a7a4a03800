#pragma once
// Runs one of the project's programs as a shell command line, its output
// and errors kept in files of a scratch folder, and splits its CSV output,
// for the tests of the tools.

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
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

// `commandLine` with standard output into DIR/out and errors into DIR/err.
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
