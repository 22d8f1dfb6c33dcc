// SPDX-License-Identifier: GPL-3.0-or-later
#include "run_process.h"

#include "unique_fd.h"

#include <fcntl.h>
#include <fstream>
#include <signal.h>
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

RunningProcess::RunningProcess(const std::string& program,
                               const std::vector<std::string>& arguments)
{
    UniqueFd out(
        ::open((m_capture / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    UniqueFd err(
        ::open((m_capture / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    UniqueFd in(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!out.isOpen() || !err.isOpen() || !in.isOpen())
        throw std::runtime_error("cannot set up the child's output");

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    m_child = ::fork();
    if (m_child < 0)
        throw std::runtime_error("cannot start " + program);
    if (m_child == 0) {
        ::dup2(in.get(), STDIN_FILENO);
        ::dup2(out.get(), STDOUT_FILENO);
        ::dup2(err.get(), STDERR_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
}

RunningProcess::~RunningProcess()
{
    if (m_child > 0) {
        ::kill(m_child, SIGKILL);
        ::waitpid(m_child, nullptr, 0);
    }
}

ProcessResult RunningProcess::wait()
{
    int status = 0;
    while (::waitpid(m_child, &status, 0) < 0) {
    }
    m_child = -1;
    ProcessResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(m_capture / "out");
    result.err = slurp(m_capture / "err");
    return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments)
{
    return RunningProcess(program, arguments).wait();
}

} // namespace brindlecap::testing
