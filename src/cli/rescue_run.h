// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli_options.h"
#include "disc_file_access.h"
#include "file_system_sync.h"
#include "job_report.h"
#include "locale_number_format.h"
#include "map_record.h"
#include "metered_file_access.h"
#include "posix_file_access.h"
#include "progress_meter.h"
#include "rescued_only_file_access.h"
#include "source_plan.h"

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>

namespace brindlecap {

// One run of brindlecap-cli over its planned sources, in passes over all of
// them: the copy job for each destination folder in turn, then scraping
// each file's bad stretches, then retrying its bad sectors; the rescue maps
// kept all along and a stop honoured within one read.
class RescueRun final
{
public:
    // `progress`: a terminal to show the progress line on, or null.
    // `stopSignal` gives the signal that asks the run to stop, or 0.
    // `copies` is the destination folder, opened once for the whole run:
    // every copy and map is reached through it. `disc`: the disc whose
    // files are the sources, or null; it must outlive the run.
    RescueRun(const CliOptions& options, const DiscSource* disc, FolderTree& copies,
              std::string commandLine, std::ostream& messages, std::ostream* progress,
              std::size_t width, std::function<int()> stopSignal);
    ~RescueRun();

    // Copies everything planned; the report covers every planned source,
    // and counts as rescued only what is on the disk.
    JobReport copy(const SourcePlan& plan);
    // The signal that stopped the run, or 0.
    int stoppedBy() const { return m_stoppedBy; }

private:
    struct Pass
    {
        int number = 1;
        std::string name;
    };

    void copyInto(const std::vector<std::string>& sources, const std::string& folder,
                  FolderTree* tree);
    // One pass after the copy pass, over every file copied; `onFile` false:
    // stopped.
    void runPass(Pass pass, const std::function<bool(const FileOutcome&)>& onFile);
    // `inJob`: the files of the job under way, not yet in the report.
    void showProgress(const FileOutcome& current, const std::vector<FileOutcome>* inJob = nullptr);
    bool stopAsked();

    const CliOptions& m_options;
    FolderTree& m_copies;
    std::function<int()> m_stopSignal;
    // Opened before anything is written, so that it hears of every failed
    // write-back.
    FileSystemSync m_volume;
    PosixFileAccess m_posix;
    RescuedOnlyFileAccess m_rescuedOnly;
    DiscFileAccess m_disc;
    ReadClock m_clock;
    MeteredFileAccess m_files;
    LocaleNumberFormat m_numbers;
    MapRecord m_record;
    std::unique_ptr<ProgressMeter> m_meter;
    JobReport m_report;                // of the folders done
    std::vector<FolderTree*> m_treeOf; // the folder tree of each file of the report
    std::size_t m_planned = 0;
    int m_passes = 1;
    Pass m_pass;
    std::size_t m_passFile = 0; // from 1
    std::int64_t m_total = 0;
    std::chrono::steady_clock::time_point m_nextProgress;
    int m_stoppedBy = 0;
};

} // namespace brindlecap
