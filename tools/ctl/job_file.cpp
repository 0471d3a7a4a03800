#include "job_file.h"

#include "step_words.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

// The words of a line, its comment cut off.
std::vector<std::string> WordsOfLine(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        if (word[0] == '#') {
            break;
        }
        words.push_back(word);
    }
    return words;
}

// The step of one line, or why not.
StepCheck CheckLine(std::vector<std::string> words) {
    StepWords stepWords;
    CLI::App app("job line", "job");
    app.require_subcommand(1, 1);
    AddStepSubcommands(app, stepWords, true);
    std::reverse(words.begin(), words.end()); // CLI11 takes the last word first
    try {
        app.parse(words);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return {std::nullopt, "--help belongs on the command line, not in a job"};
        }
        return {std::nullopt, error.what()};
    }
    return *CheckStepWords(app, stepWords);
}

} // namespace

JobFile ParseJobText(const std::string& text, const std::string& name) {
    JobFile job;
    std::istringstream in(text);
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::vector<std::string> words = WordsOfLine(line);
        if (words.empty()) {
            continue;
        }
        StepCheck check = CheckLine(words);
        if (!check.step) {
            job.steps.clear();
            job.problem = name + ":" + std::to_string(number) + ": " + check.reason;
            return job;
        }
        check.step->line = number;
        std::string written;
        for (const std::string& word : words) {
            written += (written.empty() ? "" : " ") + word;
        }
        check.step->words = written;
        job.steps.push_back(*check.step);
    }
    if (job.steps.empty()) {
        job.problem = name + ": no step in the job";
    }
    return job;
}

JobFile ReadJobFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        JobFile job;
        job.problem = path + ": cannot be read";
        return job;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseJobText(text.str(), path);
}
