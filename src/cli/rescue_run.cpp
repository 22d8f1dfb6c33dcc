// SPDX-License-Identifier: GPL-3.0-or-later
#include "rescue_run.h"

#include "disc_sectors.h"
#include "headless_job.h"
#include "path_text.h"
#include "rescue_passes.h"

#include <utility>

namespace brindlecap {

namespace {

// Where a file stands, for the progress line.
struct Tally
{
    std::int64_t rescued = 0;
    std::int64_t bad = 0;
    int areas = 0;
};

void addUp(Tally& tally, const FileOutcome& file, MapRecord& record)
{
    if (const auto* map = record.mapOf(file.destination)) {
        tally.rescued += record.rescuedBytes(file.destination);
        for (const auto status : {RescueMap::Status::badSector, RescueMap::Status::nonScraped})
            tally.bad += map->bytesWith(status);
        tally.areas += static_cast<int>(map->unreadableStretches());
        return;
    }
    tally.rescued +=
        std::max<std::int64_t>(0, file.reached - file.unreadableBytes - file.unwrittenBytes);
    tally.bad += file.unreadableBytes;
    tally.areas += static_cast<int>(file.unreadable.size());
}

// A planned file the run did not copy: passed over for `why`, or, with no
// reason, not started.
FileOutcome uncopied(const std::string& source, const std::string& folder, std::error_code why = {})
{
    FileOutcome file;
    file.source = source;
    file.destination = joinPath(folder, bareName(source));
    file.whyNotCopied = why;
    file.notStarted = !why;
    return file;
}

} // namespace

RescueRun::RescueRun(const CliOptions& options, const DiscSource* disc, FolderTree& copies,
                     std::string commandLine, std::ostream& messages, std::ostream* progress,
                     std::size_t width, std::function<int()> stopSignal)
    : m_options(options), m_copies(copies), m_stopSignal(std::move(stopSignal)),
      m_rescuedOnly(m_posix), m_disc(m_rescuedOnly), m_files(m_disc, m_clock),
      m_record(options.useMaps, std::move(commandLine), messages, m_files, m_volume, copies)
{
    // Where it cannot be opened, each copy is put on the disk by itself.
    m_volume.open(copies.root());
    m_posix.writeThrough(&copies);
    // A terminal tool need not reopen the source for every chunk as the
    // window does: its name is still checked at every chunk, and the
    // medium keeps its pace.
    m_posix.keepSourceOpen(true);
    m_posix.setSectorSize(options.sectorSize);
    if (disc != nullptr) {
        m_disc.serve(*disc);
        m_posix.readBlockDevices(true);
        if (disc->notRescued)
            m_rescuedOnly.limit(disc->path, *disc->notRescued);
        // Whatever the file system beneath an image says, a disc's sector
        // is 2048 bytes.
        if (options.sectorSize == 0)
            m_posix.setSectorSize(DiscSectors::sectorSize);
    }
    // Ctrl-C is looked at between two reads, even inside a damaged chunk.
    m_posix.setStopCheck([this] { return stopAsked(); });
    if (progress != nullptr)
        m_meter = std::make_unique<ProgressMeter>(*progress, width, m_clock);
}

RescueRun::~RescueRun() = default;

bool RescueRun::stopAsked()
{
    if (m_stoppedBy == 0)
        m_stoppedBy = m_stopSignal();
    return m_stoppedBy != 0;
}

JobReport RescueRun::copy(const SourcePlan& plan)
{
    std::int64_t total = 0;
    for (const auto& planned : plan.copies)
        total += planned.size;
    m_total = total;
    m_planned = plan.copies.size();
    m_passes = 1 + static_cast<int>(m_options.lastPass);
    m_pass = {1, "copying"};
    // A first read that hangs on the drive shows against the file it is for.
    if (!plan.copies.empty()) {
        m_passFile = 1;
        showProgress(uncopied(plan.copies.front().source, plan.copies.front().folder));
    }
    std::size_t next = 0;
    while (next < plan.copies.size() && !stopAsked()) {
        // The copies of one folder go through one job, so the same-name rule
        // holds within each folder.
        std::vector<std::string> sources;
        const auto& first = plan.copies[next];
        for (; next < plan.copies.size() && plan.copies[next].folder == first.folder; ++next)
            sources.push_back(plan.copies[next].source);
        m_treeOf.resize(m_report.files.size() + sources.size(), first.tree);
        // Made where it is missing, one folder at a time; a link or a file
        // where a folder goes keeps its copies out, as cp -r keeps them out.
        int made = -1;
        if (const auto error = m_copies.folder(first.folder, made)) {
            for (const auto& source : sources)
                m_report.files.push_back(uncopied(source, first.folder, error));
            continue;
        }
        copyInto(sources, first.folder, first.tree);
    }
    // The easy data of every file first; then, file by file, what is hard.
    if (m_options.lastPass >= CliOptions::Pass::scrape)
        runPass({2, "scraping"}, [&](const FileOutcome& file) {
            return scrapeFile(m_files, m_record, file, [this] { return stopAsked(); });
        });
    if (m_options.lastPass >= CliOptions::Pass::retry)
        runPass({3, "retrying bad sectors"}, [&](const FileOutcome& file) {
            return retryFile(m_files, m_record, file, m_options.retries,
                             [this] { return stopAsked(); });
        });
    // What was written is on the disk, or reported not written.
    m_record.saveAll();
    for (auto& file : m_report.files)
        m_record.account(file);
    for (std::size_t rest = m_report.files.size(); rest < plan.copies.size(); ++rest)
        m_report.files.push_back(uncopied(plan.copies[rest].source, plan.copies[rest].folder));
    for (const auto& passed : plan.passedOver)
        m_report.files.push_back(uncopied(passed.source, passed.folder, passed.why));
    m_meter.reset();
    return m_report;
}

void RescueRun::runPass(Pass pass, const std::function<bool(const FileOutcome&)>& onFile)
{
    m_pass = std::move(pass);
    for (std::size_t index = 0; index < m_report.files.size() && !stopAsked(); ++index) {
        const auto& file = m_report.files[index];
        m_posix.readThrough(m_treeOf[index]);
        m_passFile = index + 1;
        showProgress(file);
        if (!onFile(file))
            return;
    }
}

void RescueRun::copyInto(const std::vector<std::string>& sources, const std::string& folder,
                         FolderTree* tree)
{
    m_posix.readThrough(tree);
    HeadlessJob headless(m_files, m_numbers, &m_record);
    auto& job = headless.job();
    headless.start(sources, folder, m_options.bufferOption);
    // No timer here: a terminal needs no event loop to stay responsive.
    while (headless.running()) {
        if (stopAsked()) {
            job.cmdStop_Click();
            break;
        }
        job.Timer1_Timer();
        m_passFile = m_report.files.size() + job.report().files.size();
        if (!job.report().files.empty())
            showProgress(job.report().files.back(), &job.report().files);
    }
    const auto& files = job.report().files;
    m_report.files.insert(m_report.files.end(), files.begin(), files.end());
}

void RescueRun::showProgress(const FileOutcome& current, const std::vector<FileOutcome>* inJob)
{
    if (!m_meter || std::chrono::steady_clock::now() < m_nextProgress)
        return;
    // As often as the line is shown: counting a map's stretches walks it.
    m_nextProgress = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    Tally tally;
    for (const auto& file : m_report.files)
        addUp(tally, file, m_record);
    if (inJob != nullptr)
        for (const auto& file : *inJob)
            addUp(tally, file, m_record);
    ProgressSnapshot progress;
    progress.pass = m_pass.number;
    progress.passes = m_passes;
    progress.passName = m_pass.name;
    progress.file = static_cast<int>(m_passFile);
    progress.files = static_cast<int>(m_planned);
    progress.name = bareName(current.source);
    progress.rescued = tally.rescued;
    progress.total = m_total;
    progress.bad = tally.bad;
    progress.badAreas = tally.areas;
    m_meter->update(progress);
}

} // namespace brindlecap
