// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli_options.h"

#include "buffer_options.h"
#include "quoted_name.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace brindlecap {

namespace {

// Splits "--name=value" into its name and its value, if it has one.
std::pair<std::string_view, std::optional<std::string_view>> splitLong(std::string_view argument)
{
    const auto equals = argument.find('=');
    if (equals == std::string_view::npos)
        return {argument, std::nullopt};
    return {argument.substr(0, equals), argument.substr(equals + 1)};
}

class Parser
{
public:
    explicit Parser(const std::vector<std::string_view>& arguments) : m_arguments(arguments) {}

    CliOptions parse()
    {
        std::optional<std::string> target;
        std::vector<std::string> operands;
        bool optionsEnded = false;
        while (m_next < m_arguments.size() && m_options.error.empty()) {
            const auto argument = m_arguments[m_next++];
            if (optionsEnded || argument == "-" || argument.size() < 2 || argument[0] != '-')
                operands.emplace_back(argument);
            else if (argument == "--")
                optionsEnded = true;
            else if (argument[1] == '-')
                longOption(argument, target);
            else
                shortOptions(argument, target);
        }
        if (!m_options.error.empty() || m_options.action != CliOptions::Action::copy)
            return m_options;
        if (m_options.listOnly && m_options.disc.empty()) {
            m_options.error = "--list lists a disc: give it --disc=SOURCE";
            return m_options;
        }
        if (!m_options.discMap.empty() && m_options.disc.empty()) {
            m_options.error = "--disc-map is the map of a disc image: give the image with --disc";
            return m_options;
        }
        if (m_options.listOnly) {
            if (target)
                m_options.error = "--list copies nothing: it takes no target directory";
            m_options.sources = std::move(operands);
            return m_options;
        }
        if (target) {
            m_options.directory = *target;
            m_options.sources = std::move(operands);
        } else if (!operands.empty()) {
            m_options.directory = operands.back();
            operands.pop_back();
            m_options.sources = std::move(operands);
        }
        if (m_options.directory.empty() && !target)
            m_options.error = "missing destination directory";
        else if (m_options.directory.empty())
            m_options.error = "the target directory is an empty name";
        else if (m_options.sources.empty() && m_options.disc.empty())
            m_options.error = "no sources to copy";
        return m_options;
    }

private:
    void longOption(std::string_view argument, std::optional<std::string>& target)
    {
        const auto [name, inlineValue] = splitLong(argument);
        if (name == "--help" || name == "--version" || name == "--quiet" || name == "--recursive" ||
            name == "--no-map" || name == "--json" || name == "--force" || name == "--list") {
            if (inlineValue) {
                fail("option " + quotedName(name) + " takes no value");
                return;
            }
            if (name == "--quiet")
                m_options.quiet = true;
            else if (name == "--recursive")
                m_options.recursive = true;
            else if (name == "--no-map")
                m_options.useMaps = false;
            else if (name == "--json")
                m_options.json = true;
            else if (name == "--force")
                m_options.force = true;
            else if (name == "--list")
                m_options.listOnly = true;
            else
                requestAction(name == "--help" ? CliOptions::Action::help
                                               : CliOptions::Action::version);
        } else if (name == "--retries") {
            if (const auto value = valueOf(name, inlineValue))
                setRetries(*value);
        } else if (name == "--sector-size") {
            if (const auto value = valueOf(name, inlineValue))
                setSectorSize(*value);
        } else if (name == "--passes") {
            if (const auto value = valueOf(name, inlineValue))
                setLastPass(*value);
        } else if (name == "--report") {
            if (const auto value = valueOf(name, inlineValue)) {
                if (value->empty())
                    fail("the report file is an empty name");
                m_options.reportFile = std::string(*value);
            }
        } else if (name == "--disc") {
            if (const auto value = valueOf(name, inlineValue)) {
                if (value->empty())
                    fail("the disc is an empty name");
                m_options.disc = std::string(*value);
            }
        } else if (name == "--disc-map") {
            if (const auto value = valueOf(name, inlineValue)) {
                if (value->empty())
                    fail("the disc's map is an empty name");
                m_options.discMap = std::string(*value);
            }
        } else if (name == "--buffer") {
            if (const auto value = valueOf(name, inlineValue))
                setBuffer(*value);
        } else if (name == "--target-directory") {
            if (const auto value = valueOf(name, inlineValue))
                setTarget(*value, target);
        } else {
            fail("unknown option " + quotedName(name));
        }
    }

    void shortOptions(std::string_view argument, std::optional<std::string>& target)
    {
        for (std::size_t i = 1; i < argument.size() && m_options.error.empty(); ++i) {
            const char letter = argument[i];
            const auto attached = argument.substr(i + 1);
            switch (letter) {
            case 'q':
                m_options.quiet = true;
                break;
            case 'r':
                m_options.recursive = true;
                break;
            case 'h':
                requestAction(CliOptions::Action::help);
                break;
            case 'b':
            case 't': {
                const std::string name = std::string("-") + letter;
                const auto value =
                    valueOf(name, attached.empty() ? std::nullopt : std::optional(attached));
                if (value && letter == 'b')
                    setBuffer(*value);
                else if (value)
                    setTarget(*value, target);
                return; // the value took the rest of this argument
            }
            default:
                fail("unknown option " + quotedName("-" + std::string(1, letter)));
            }
        }
    }

    std::optional<std::string_view> valueOf(std::string_view name,
                                            std::optional<std::string_view> inlineValue)
    {
        if (inlineValue)
            return inlineValue;
        if (m_next < m_arguments.size())
            return m_arguments[m_next++];
        fail("option " + quotedName(name) + " needs a value");
        return std::nullopt;
    }

    void setBuffer(std::string_view kilobytes)
    {
        if (const auto option = bufferOptionFor(kilobytes))
            m_options.bufferOption = *option;
        else
            fail("buffer size " + quotedName(kilobytes) +
                 " is not one of 32, 64, 128, 256, 512, 1024, 2048");
    }

    void setLastPass(std::string_view text)
    {
        if (text == "copy")
            m_options.lastPass = CliOptions::Pass::copy;
        else if (text == "scrape")
            m_options.lastPass = CliOptions::Pass::scrape;
        else if (text == "retry")
            m_options.lastPass = CliOptions::Pass::retry;
        else
            fail("passes " + quotedName(text) + " is not copy, scrape or retry");
    }

    void setSectorSize(std::string_view text)
    {
        std::int64_t bytes = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bytes);
        if (error != std::errc() || end != text.data() + text.size() ||
            (bytes != 512 && bytes != 1024 && bytes != 2048 && bytes != 4096))
            fail("sector size " + quotedName(text) + " is not one of 512, 1024, 2048, 4096");
        else
            m_options.sectorSize = bytes;
    }

    void setRetries(std::string_view text)
    {
        int retries = -1;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), retries);
        if (error != std::errc() || end != text.data() + text.size() || retries < 0 ||
            retries > 1000)
            fail("retries " + quotedName(text) + " is not a number from 0 to 1000");
        else
            m_options.retries = retries;
    }

    void setTarget(std::string_view directory, std::optional<std::string>& target)
    {
        if (target)
            fail("the target directory is given twice");
        else
            target = std::string(directory);
    }

    void requestAction(CliOptions::Action action)
    {
        // --help wins over --version wherever they stand.
        if (m_options.action != CliOptions::Action::help)
            m_options.action = action;
    }

    void fail(std::string message)
    {
        if (m_options.error.empty())
            m_options.error = std::move(message);
    }

    const std::vector<std::string_view>& m_arguments;
    std::size_t m_next = 0;
    CliOptions m_options;
};

} // namespace

CliOptions parseCliOptions(const std::vector<std::string_view>& arguments)
{
    return Parser(arguments).parse();
}

std::string cliUsage()
{
    return R"(Usage: brindlecap-cli [OPTION]... [--] SOURCE... DIRECTORY
  or:  brindlecap-cli [OPTION]... -t DIRECTORY [--] SOURCE...
  or:  brindlecap-cli [OPTION]... --disc=DISC [PATH]... DIRECTORY
  or:  brindlecap-cli --disc=DISC --list [PATH]...
Copy each SOURCE into DIRECTORY, one chunk at a time. A read error does not
end a chunk: every sector the medium still gives is copied, the sectors it
will not give become zeros, and the copy always runs to its end. Sources are
only ever read, never written.

The easy data comes first: the copy pass reads every file, every folder
included, finding only the edges of each bad stretch; then the sectors
inside the bad stretches are read one by one, file by file (scraping); then
the bad sectors of files that earlier runs had tried through are tried
again. Running the same command again goes on where the last run stopped.
Each copy has a rescue map (GNU ddrescue's mapfile format) in
DIRECTORY/.brindlecap/NAME.map, which says which bytes are rescued, bad or
not tried yet. Nothing a map marks rescued is written again. A map is
trusted only for the copy it describes,
unchanged since, and for the same source disc: a copy changed since is
copied afresh, and a copy rescued from another source is kept and that file
not copied. One run at a time copies into a folder.

  -b, --buffer=KB             chunk size in kilobytes: 32, 64, 128, 256, 512,
                              1024 or 2048 (default 256); larger is faster
                              on a healthy disc
  -t, --target-directory=DIR  copy into DIR
  -r, --recursive             copy folders as a whole, subfolders included,
                              files in name order; symbolic links are not
                              followed out of the folder
      --passes=PASS           stop after this pass: copy, scrape or retry
                              (default retry: all three); the same command
                              without it later goes on with the rest
      --sector-size=BYTES     the medium's sector: 512, 1024, 2048 or 4096
                              (default: as the system says it, else learnt
                              from where bad stretches' edges fall); giving
                              it saves the failing reads of learning it
      --retries=N             when earlier runs tried all of a file, try each
                              of its bad sectors N more times (default 1;
                              0: not at all)
      --disc=DISC             read DISC (a disc image, such as ddrescue's
                              output) as a disc, through its own folder
                              trees, not the system's listing: for a disc
                              that will not mount or shows folders empty.
                              Copies the PATHs inside it (default: the whole
                              disc, into DIRECTORY/LABEL), each folder
                              listed from whichever tree still reads
      --disc-map=MAPFILE      with --disc: GNU ddrescue's map of the image;
                              what it does not mark rescued is never read
                              from the image and counts as unreadable
      --list                  with --disc: list the disc's files (size,
                              path, the tree that named them, and with
                              --disc-map the bytes in the map's bad areas),
                              copy nothing
      --no-map                keep no rescue maps: every file starts afresh
      --force                 copy even when the copies will not fit in
                              DIRECTORY's free space (they are cut short)
      --report=FILE           also write the report to FILE
      --json                  write the report as JSON, for scripts
  -q, --quiet                 show no progress line
  -h, --help                  show this help and exit
      --version               show the version and exit
  --                          the arguments after it are files, even when
                              they start with '-'

On a terminal a progress line on standard error shows the file, the bytes
rescued and bad, the rate and the time left, and says when a read is
waiting on the drive. Ctrl-C or SIGTERM stops within one read: the maps are
saved, the report is printed, and the same command goes on from there.

At the end a report on standard output tells, file by file, what was copied,
which byte ranges (counted from 0, both ends included) could not be read and
are zeros in the copy, what could not be written or copied, and where a
stopped copy got to. Names are quoted as 'ls --quoting-style=shell-escape'
quotes them, so a newline, a control character or a byte that is not UTF-8
cannot break a line or speak to the terminal.

Exit status:
  0    every byte was read and written
  1    the copy finished, but some sectors could not be read and were
       written as zeros
  2    bad command line, or another run is copying into DIRECTORY; nothing
       was written
  3    some data could not be written, or some source could not be copied
       (or the medium went away: the same command goes on once it is back;
       or the copies would not fit, and nothing was copied)
  130  interrupted (Ctrl-C); each destination keeps the chunks written so far,
       and running the same command again goes on from there
  143  stopped by SIGTERM, as with Ctrl-C
)";
}

} // namespace brindlecap
