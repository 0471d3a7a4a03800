#pragma once
// A job file: one step a line in the words of kelmora-ctl's subcommands,
// plus "wait idle [LIMIT]", "wait TIME" and "expect FIELD OP VALUE"; blank
// lines and comments ("#" to the end of the line) are skipped. The whole
// file is checked before anything is sent: the first bad line is named
// with its reason, and then no step runs.

#include "ctl_steps.h"

#include <string>
#include <vector>

struct JobFile {
    std::vector<Step> steps;
    std::string problem; // "job.txt:7: mode: 1 or 2, not \"3\""; empty when every line is good
    bool ok() const { return problem.empty(); }
};

JobFile ReadJobFile(const std::string& path);

// The same for a job's text, `name` naming it in a problem.
JobFile ParseJobText(const std::string& text, const std::string& name);
