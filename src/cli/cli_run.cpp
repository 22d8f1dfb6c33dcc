// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli_run.h"

#include "cli_options.h"
#include "disc_listing.h"
#include "disc_reading.h"
#include "disc_sectors.h"
#include "exit_status.h"
#include "folder_tree.h"
#include "job_report_json.h"
#include "job_report_text.h"
#include "path_text.h"
#include "quoted_name.h"
#include "report_file.h"
#include "rescue_run.h"
#include "rescued_only_file_access.h"
#include "retried_call.h"
#include "space_check.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sys/file.h>
#include <sys/stat.h>

namespace brindlecap {

namespace {

// A missing folder whose parent is there is made once the command line is
// found sound, as ddrescue makes its output: one level only, so that a typo
// in a path makes no tree of folders.
bool toBeMade(const std::string& directory)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::symlink_status(directory, error).type() != fs::file_type::not_found)
        return false;
    const auto parent = fs::path(directory).lexically_normal().parent_path();
    return fs::is_directory(parent.empty() ? fs::path(".") : parent, error);
}

std::string directoryProblem(const std::string& directory)
{
    std::error_code error;
    const auto status = std::filesystem::status(directory, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return "no such directory " + quotedName(directory);
    if (error)
        return "cannot use directory " + quotedName(directory) + ": " + error.message();
    if (status.type() != std::filesystem::file_type::directory)
        return quotedName(directory) + " is not a directory";
    return {};
}

std::string commandLineOf(const std::vector<std::string_view>& arguments)
{
    std::string line = "brindlecap-cli";
    // Piece by piece: GCC 12 at -O3 warns falsely about " " + string.
    for (const auto argument : arguments) {
        line += ' ';
        line += quotedName(argument);
    }
    return line;
}

// Takes the lock that lets one run at a time write into the destination,
// and gives the problem when another run holds it. The lock is on the
// folder itself (flock): taking it writes nothing, and the kernel lets go of
// it when the process ends, however it ends. A folder that cannot be opened,
// or a file system without locks, has none to take; the copies say why.
std::string lockDestination(const std::string& directory, const FolderTree& folder)
{
    if (retrying([&] { return ::flock(folder.root(), LOCK_EX | LOCK_NB); },
                 RetryOn::interruption) == 0 ||
        errno != EWOULDBLOCK)
        return {};
    return "another brindlecap-cli is copying into " + quotedName(directory);
}

// The planned copy that is the file at `path` (through any link), if one is.
std::string copyOver(const SourcePlan& plan, const std::string& path)
{
    for (const auto& planned : plan.copies) {
        auto destination = joinPath(planned.folder, bareName(planned.source));
        std::error_code error;
        if (!path.empty() && std::filesystem::equivalent(destination, path, error))
            return destination;
    }
    return {};
}

// Lists the disc named on the command line, and plans the copies of what
// it names; when only a listing is asked for, gives its exit status.
std::optional<int> readDiscSource(const CliOptions& options, CliTerminal& terminal,
                                  const std::function<int()>& stopSignal, DiscSource& disc,
                                  SourcePlan& plan)
{
    PosixFileAccess reader;
    reader.readBlockDevices(true);
    reader.keepSourceOpen(true);
    reader.setSectorSize(options.sectorSize != 0 ? options.sectorSize : DiscSectors::sectorSize);
    reader.setStopCheck([&] { return stopSignal() != 0; });
    RescuedOnlyFileAccess rescued(reader);
    if (!options.discMap.empty()) {
        std::vector<ByteRange> missing;
        if (const auto why = readImageMap(options.discMap, missing); !why.empty()) {
            terminal.err << "brindlecap-cli: cannot use the map " << quotedName(options.discMap)
                         << ": " << why << "\n";
            return exitBadCommandLine;
        }
        rescued.limit(options.disc, missing);
        disc.notRescued = std::move(missing);
    }
    // A damaged disc's folders can take minutes to list: say what the wait is.
    if (terminal.showsProgress && !options.quiet)
        terminal.err << "brindlecap-cli: reading the folders of " << quotedName(options.disc)
                     << "\n";
    if (const auto why = readDisc(rescued, options.disc, disc); !why.empty()) {
        terminal.err << "brindlecap-cli: cannot read the disc " << quotedName(options.disc) << ": "
                     << why << "\n";
        return exitNotAllWritten;
    }
    if (const int signal = stopSignal())
        return exitSignalled + signal;
    const auto choice = chooseDiscFiles(disc, options.sources);
    if (options.listOnly) {
        const LocaleNumberFormat numbers;
        terminal.out << discListing(disc, choice, numbers) << std::flush;
        if (!choice.missing.empty())
            return exitNotAllWritten;
        return discListedInPart(disc) ? exitUnreadableAsZeros : exitAllCopied;
    }
    plan = planDisc(disc, choice, options.directory);
    plan.alsoRead = {options.disc};
    if (!options.discMap.empty())
        plan.alsoRead.push_back(options.discMap);
    // The disc is a source, which no copy may take; its map is not, and
    // must not be one of the copies either.
    if (const auto copy = copyOver(plan, options.discMap); !copy.empty()) {
        terminal.err << "brindlecap-cli: the copy " << quotedName(copy)
                     << " would be written over the disc's map\n";
        return exitBadCommandLine;
    }
    return std::nullopt;
}

} // namespace

int runCli(const std::vector<std::string_view>& arguments, CliTerminal terminal,
           const std::function<int()>& stopSignal)
{
    const auto options = parseCliOptions(arguments);
    auto problem = options.error;
    // A last operand that is no folder says more than "no sources".
    const bool operandsRead = options.sources.empty() && !options.directory.empty();
    const bool copying = options.action == CliOptions::Action::copy && !options.listOnly;
    const bool makeDirectory = copying && problem.empty() && toBeMade(options.directory);
    if (copying && !makeDirectory && (problem.empty() || operandsRead)) {
        if (const auto directory = directoryProblem(options.directory); !directory.empty())
            problem = directory;
    }
    SourcePlan plan;
    if (problem.empty() && copying && options.disc.empty()) {
        plan = planSources(options.sources, options.directory, options.recursive);
        problem = plan.error;
    }
    if (!problem.empty()) {
        terminal.err << "brindlecap-cli: " << problem << "\nTry 'brindlecap-cli --help'.\n";
        return exitBadCommandLine;
    }
    if (options.action == CliOptions::Action::help) {
        terminal.out << cliUsage();
        return 0;
    }
    if (options.action == CliOptions::Action::version) {
        terminal.out << "brindlecap-cli " BRINDLECAP_VERSION "\n";
        return 0;
    }

    DiscSource disc;
    if (!options.disc.empty()) {
        if (const auto listed = readDiscSource(options, terminal, stopSignal, disc, plan))
            return *listed;
    }
    if (makeDirectory) {
        if (::mkdir(options.directory.c_str(), 0777) != 0 && errno != EEXIST) {
            terminal.err << "brindlecap-cli: cannot make directory "
                         << quotedName(options.directory) << ": " << std::strerror(errno) << "\n";
            return exitBadCommandLine;
        }
        terminal.err << "brindlecap-cli: created directory " << quotedName(options.directory)
                     << "\n";
    }
    // Opened once: every folder and file the run writes is reached from it,
    // and it holds the lock to the end of the run.
    FolderTree copies;
    if (const auto error = copies.open(options.directory, FolderTree::Mode::make)) {
        terminal.err << "brindlecap-cli: cannot use directory " << quotedName(options.directory)
                     << ": " << error.message() << "\n";
        return exitBadCommandLine;
    }
    if (const auto held = lockDestination(options.directory, copies); !held.empty()) {
        terminal.err << "brindlecap-cli: " << held << "\n";
        return exitBadCommandLine;
    }
    // Found out once, before anything is written: not file by file, with
    // each copy cut short where the disk ran full.
    if (const auto space = spaceNeeded(plan, copies); !space.fits() && !options.force) {
        const LocaleNumberFormat numbers;
        const auto bytes = [&](std::int64_t count) {
            return count == 0 ? std::string("0") : numbers.thousands(count);
        };
        terminal.err << "brindlecap-cli: the copies need " << bytes(space.needed) << " bytes, and "
                     << quotedName(options.directory) << " has " << bytes(space.available)
                     << " bytes free: nothing was copied (--force copies what fits)\n";
        return exitNotAllWritten;
    }
    ReportFile reportFile;
    if (!options.reportFile.empty()) {
        if (const auto why = reportFile.open(options.reportFile, plan); !why.empty()) {
            terminal.err << "brindlecap-cli: cannot write the report to "
                         << quotedName(options.reportFile) << ": " << why << "\n";
            return exitBadCommandLine;
        }
    }
    RescueRun run(options, options.disc.empty() ? nullptr : &disc, copies, commandLineOf(arguments),
                  terminal.err, terminal.showsProgress && !options.quiet ? &terminal.err : nullptr,
                  terminal.width, stopSignal);
    const auto report = run.copy(plan);
    int status = run.stoppedBy() != 0 ? exitSignalled + run.stoppedBy() : exitStatusFor(report);
    // Files a folder held that no tree could list are not copied either:
    // the run cannot say every byte was.
    if (status == exitAllCopied && discListedInPart(disc))
        status = exitUnreadableAsZeros;
    const LocaleNumberFormat numbers;
    auto text = options.json ? jobReportJson(report, status, plan.earlierMaps)
                             : jobReportText(report, numbers, plan.earlierMaps);
    // What the disc's trees did heads the report; JSON keeps its one
    // object, and the terminal hears it.
    if (!options.disc.empty() && options.json)
        terminal.err << discSummary(disc);
    else if (!options.disc.empty())
        text.insert(0, discSummary(disc));
    terminal.out << text << std::flush;
    if (!options.reportFile.empty()) {
        if (const auto error = reportFile.write(text)) {
            terminal.err << "brindlecap-cli: cannot write the report to "
                         << quotedName(options.reportFile) << ": " << error.message() << "\n";
            // Something the run was asked to write is not written.
            if (status < exitNotAllWritten)
                status = exitNotAllWritten;
        }
    }
    return status;
}

} // namespace brindlecap
