// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scratch_dir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace brindlecap::testing {

struct ProcessResult
{
    int exitStatus = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// A program started with these arguments (no shell), running beside the
// test until wait() or the end of the object.
class RunningProcess final
{
public:
    RunningProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~RunningProcess();
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    ProcessResult wait();

private:
    ScratchDir m_capture; // its output goes to files, so a chatty child never blocks
    pid_t m_child = -1;
};

// Runs a program with these arguments (no shell) and waits for it.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments);

} // namespace brindlecap::testing
