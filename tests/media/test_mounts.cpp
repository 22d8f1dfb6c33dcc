// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_mounts.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace brindlecap::testing {

namespace {

constexpr long fuseSuperMagic = 0x65735546;

bool isFuseMount(const std::filesystem::path& folder)
{
    struct statfs volume
    {};
    return ::statfs(folder.c_str(), &volume) == 0 && volume.f_type == fuseSuperMagic;
}

// Waits for the child, for at most `limit`; true when it has ended.
bool reaped(pid_t child, std::chrono::milliseconds limit, int* status)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (::waitpid(child, status, WNOHANG) == child)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

MountedMedium::MountedMedium(const std::filesystem::path& where, const std::string& description)
    : m_mountPoint(where / "medium"), m_log(where / "medium.log"),
      m_description(where / "medium.description")
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        m_unavailable = std::string("cannot use /dev/fuse: ") + std::strerror(errno);
        return;
    }
    std::filesystem::create_directories(m_mountPoint);
    std::ofstream(m_description) << description;
    std::ofstream(m_log).flush();
    const auto output = (where / "medium.output").string();

    m_server = ::fork();
    if (m_server == 0) {
        const int sink = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(sink, STDOUT_FILENO);
        ::dup2(sink, STDERR_FILENO);
        ::execl(BRINDLECAP_FAULTY_MEDIUM, "faulty_medium", m_description.c_str(), m_log.c_str(),
                m_mountPoint.c_str(), nullptr);
        ::_exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (!isFuseMount(m_mountPoint)) {
        if (::waitpid(m_server, &status, WNOHANG) == m_server ||
            std::chrono::steady_clock::now() > until) {
            std::ifstream said(output);
            std::stringstream text;
            text << said.rdbuf();
            m_unavailable = "the FUSE medium did not mount: " + text.str();
            if (m_server > 0 && ::kill(m_server, 0) == 0) {
                ::kill(m_server, SIGKILL);
                ::waitpid(m_server, &status, 0);
            }
            m_server = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

MountedMedium::~MountedMedium()
{
    if (m_server <= 0)
        return;
    // A lazy unmount: a test that failed may still hold a file open.
    ::umount2(m_mountPoint.c_str(), MNT_DETACH);
    int status = 0;
    if (!reaped(m_server, std::chrono::seconds(5), &status)) {
        ::kill(m_server, SIGKILL);
        ::waitpid(m_server, &status, 0);
    }
}

void MountedMedium::redescribe(const std::string& description) const
{
    // Put in place whole, as a new file: the medium sees it change at once.
    const auto next = m_description.string() + ".next";
    std::ofstream(next) << description;
    std::filesystem::rename(next, m_description);
}

std::string MountedMedium::writeAttempts() const
{
    std::ifstream in(m_log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<MediumRead> MountedMedium::reads() const
{
    std::ifstream in(m_log.string() + ".reads");
    std::vector<MediumRead> reads;
    for (MediumRead read; in >> read.offset >> read.size >> read.result;)
        reads.push_back(read);
    return reads;
}

long MountedMedium::failingReads() const
{
    const auto all = reads();
    return std::count_if(all.begin(), all.end(),
                         [](const MediumRead& read) { return read.result < 0; });
}

MountedTmpfs::MountedTmpfs(const std::filesystem::path& where, std::uint64_t bytes, bool readOnly)
    : m_path(where)
{
    std::filesystem::create_directories(m_path);
    const auto options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", m_path.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
        m_unavailable = std::string("cannot mount a tmpfs (") + std::strerror(errno) +
                        "); the test needs the right to mount, as root has";
        return;
    }
    m_mounted = true;
}

MountedTmpfs::~MountedTmpfs()
{
    if (m_mounted)
        ::umount2(m_path.c_str(), MNT_DETACH);
}

} // namespace brindlecap::testing
