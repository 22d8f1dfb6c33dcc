// SPDX-License-Identifier: GPL-3.0-or-later
#include "report_file.h"

#include "descriptor_reads.h"
#include "map_folder.h"
#include "path_text.h"
#include "regular_file_open.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlecap {

namespace {

namespace fs = std::filesystem;

fs::path resolved(const std::string& path)
{
    std::error_code error;
    const auto canonical = fs::weakly_canonical(path, error);
    return error ? fs::absolute(path) : canonical;
}

bool isSource(const FileIdentity& identity, const SourcePlan& plan)
{
    const auto is = [&](const std::string& path) {
        struct stat status
        {};
        return ::stat(path.c_str(), &status) == 0 && identityOf(status) == identity;
    };
    return std::any_of(plan.copies.begin(), plan.copies.end(),
                       [&](const PlannedCopy& copy) { return is(copy.source); }) ||
           std::any_of(plan.alsoRead.begin(), plan.alsoRead.end(), is);
}

// Why the path may not take the report, or empty.
std::string refusal(const std::string& path, const SourcePlan& plan)
{
    const auto where = resolved(path);
    if (std::any_of(where.begin(), where.end(),
                    [](const fs::path& part) { return part == MapFolder::name; }))
        return "it would go into a folder of rescue maps";
    const auto name = bareName(path);
    for (const auto& copy : plan.copies) {
        const auto destination = joinPath(copy.folder, bareName(copy.source));
        if (bareName(destination) == name && resolved(destination) == where)
            return "it is a copy this run makes";
    }
    struct stat status
    {};
    if (::stat(path.c_str(), &status) == 0 && isSource(identityOf(status), plan))
        return "it is a source of this run";
    return {};
}

} // namespace

std::string ReportFile::open(const std::string& path, const SourcePlan& plan)
{
    if (auto why = refusal(path, plan); !why.empty())
        return why;
    // O_NONBLOCK: a FIFO there must not hang the run before it starts.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    if (!fd.isOpen() && errno == ENXIO) // a FIFO nobody reads
        return "it is not a plain file";
    if (!fd.isOpen())
        return lastError().message();
    struct stat status
    {};
    if (::fstat(fd.get(), &status) != 0)
        return lastError().message();
    if (!S_ISREG(status.st_mode))
        return "it is not a plain file";
    // Looked at again once open: the name may have changed hands since.
    if (isSource(identityOf(status), plan))
        return "it is a source of this run";
    if (::ftruncate(fd.get(), 0) != 0)
        return lastError().message();
    m_fd = std::move(fd);
    return {};
}

std::error_code ReportFile::write(const std::string& text)
{
    if (const auto written = writeAll(m_fd.get(), 0, std::as_bytes(std::span(text))); written.error)
        return written.error;
    return m_fd.close();
}

} // namespace brindlecap
