#include "cli_run.h"

#include "cli_options.h"
#include "copy_job.h"
#include "headless_surroundings.h"
#include "job_report_text.h"
#include "locale_number_format.h"
#include "posix_file_access.h"
#include "progress_line.h"

#include <chrono>
#include <filesystem>
#include <ostream>

namespace brindlecap {

namespace {

constexpr int exitBadCommandLine = 2;
constexpr int exitInterrupted = 130;
constexpr auto progressInterval = std::chrono::milliseconds(100);

std::string directoryProblem(const std::string& directory)
{
    std::error_code error;
    const auto status = std::filesystem::status(directory, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return "no such directory '" + directory + "'";
    if (error)
        return "cannot use directory '" + directory + "': " + error.message();
    if (status.type() != std::filesystem::file_type::directory)
        return "'" + directory + "' is not a directory";
    return {};
}

} // namespace

int runCli(const std::vector<std::string_view>& arguments, CliTerminal terminal,
           const std::function<bool()>& interrupted)
{
    const auto options = parseCliOptions(arguments);
    auto problem = options.error;
    if (problem.empty() && options.action == CliOptions::Action::copy)
        problem = directoryProblem(options.directory);
    if (!problem.empty()) {
        terminal.err << "brindlecap-cli: " << problem << "\n";
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

    FieldTable fields;
    PathList queue;
    OptionGroup bufferOptions;
    ControlFlags controls;
    PosixFileAccess files;
    LocaleNumberFormat numbers;
    CopyJob job({fields, queue, bufferOptions, controls, files, numbers});
    job.Form_Load();
    for (const auto& source : options.sources)
        queue.append(source);
    bufferOptions.select(options.bufferOption);
    fields.setText(Field::lblDir, options.directory);
    job.cmdCopy_Click();

    const bool showProgress = terminal.showsProgress && !options.quiet;
    const auto start = std::chrono::steady_clock::now();
    auto nextProgress = start;
    bool stoppedByUser = false;
    // No timer here: a terminal needs no event loop to stay responsive.
    while (controls.isEnabled(Control::Timer1)) {
        if (interrupted()) {
            job.cmdStop_Click();
            stoppedByUser = true;
            break;
        }
        job.Timer1_Timer();
        if (!showProgress)
            continue;
        const auto now = std::chrono::steady_clock::now();
        if (now < nextProgress)
            continue;
        nextProgress = now + progressInterval;
        const std::chrono::duration<double> elapsed = now - start;
        terminal.out << "\r\033[K"
                     << progressLine(job, queue.count(), fields.text(Field::lblFileName),
                                     elapsed.count(), numbers, terminal.width)
                     << std::flush;
    }
    if (showProgress)
        terminal.out << "\r\033[K";
    terminal.out << jobReportText(job.report(), numbers) << std::flush;
    return stoppedByUser ? exitInterrupted : exitStatusFor(job.report());
}

} // namespace brindlecap
