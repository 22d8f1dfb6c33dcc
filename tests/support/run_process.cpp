// SPDX-License-Identifier: GPL-3.0-or-later
#include "run_process.h"

#include "scratch_dir.h"
#include "unique_fd.h"

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace brindlecap::testing {

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments)
{
    // Output goes to files, not pipes, so a chatty child can never block.
    const ScratchDir capture;
    const auto outPath = capture / "out";
    const auto errPath = capture / "err";
    UniqueFd out(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    UniqueFd err(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    UniqueFd in(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!out.isOpen() || !err.isOpen() || !in.isOpen())
        throw std::runtime_error("cannot set up the child's output");

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("cannot start " + program);
    if (child == 0) {
        ::dup2(in.get(), STDIN_FILENO);
        ::dup2(out.get(), STDOUT_FILENO);
        ::dup2(err.get(), STDERR_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    ProcessResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

} // namespace brindlecap::testing
