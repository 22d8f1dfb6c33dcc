// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli_run.h"

#include "cli_options.h"
#include "job_report_json.h"
#include "job_report_text.h"
#include "quoted_name.h"
#include "rescue_run.h"

#include <filesystem>
#include <fstream>
#include <ostream>

namespace brindlecap {

namespace {

constexpr int exitBadCommandLine = 2;
constexpr int exitInterrupted = 130;

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

} // namespace

int runCli(const std::vector<std::string_view>& arguments, CliTerminal terminal,
           const std::function<bool()>& interrupted)
{
    const auto options = parseCliOptions(arguments);
    auto problem = options.error;
    // A last operand that is no folder says more than "no sources".
    const bool operandsRead = options.sources.empty() && !options.directory.empty();
    if (options.action == CliOptions::Action::copy && (problem.empty() || operandsRead)) {
        if (const auto directory = directoryProblem(options.directory); !directory.empty())
            problem = directory;
    }
    SourcePlan plan;
    if (problem.empty() && options.action == CliOptions::Action::copy) {
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

    RescueRun run(options, commandLineOf(arguments), terminal.err,
                  terminal.showsProgress && !options.quiet ? &terminal.err : nullptr,
                  terminal.width, interrupted);
    const auto report = run.copy(plan);
    const int status = run.interrupted() ? exitInterrupted : exitStatusFor(report);
    const LocaleNumberFormat numbers;
    const auto text = options.json ? jobReportJson(report, status) : jobReportText(report, numbers);
    terminal.out << text << std::flush;
    if (!options.reportFile.empty()) {
        std::ofstream file(options.reportFile, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush())
            terminal.err << "brindlecap-cli: cannot write the report to "
                         << quotedName(options.reportFile) << "\n";
    }
    return status;
}

} // namespace brindlecap
