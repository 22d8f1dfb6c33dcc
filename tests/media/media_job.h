// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "job_report.h"
#include "medium_pattern.h"
#include "rescue_map.h"
#include "run_process.h"
#include "scratch_dir.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace brindlecap::testing {

// A job run the way the window runs it: the copy engine over the real POSIX
// file access, ticked until it ends.
struct EngineRun
{
    JobReport report;
    std::string filesDone; // the last texts shown
    std::string percent;
    std::string byteDone;
    int ticks = 0;
};
// `beforeTick`, if given, runs before each tick with the tick's number (from 0).
EngineRun runEngineJob(const std::vector<std::string>& sources, const std::string& folder,
                       int bufferOption, const std::function<void(int)>& beforeTick = {});

// The same job through brindlecap-cli, quiet.
ProcessResult runCliJob(const std::vector<std::string>& sources, const std::string& folder,
                        int bufferOption);
// brindlecap-cli with these arguments.
ProcessResult runCli(const std::vector<std::string>& arguments);

// A whole file as text.
std::string slurp(const std::string& path);
// The rescue map at `path` (FOLDER/.brindlecap/NAME.map), or, where there is
// none, the line of NAME in the folder's finished list; a test fails where
// neither reads.
RescueMap mapAt(const std::string& path);

inline std::int64_t chunkBytes(int bufferOption)
{
    return std::int64_t{32} * 1024 << bufferOption;
}

// A stretch of a file that fails to read, [start, end).
struct Failing
{
    std::int64_t start, end;
};

inline constexpr std::int64_t mib = 1 << 20;

// COUNT whole sectors of the test medium from sector FIRST on.
inline Failing sectors(std::int64_t first, std::int64_t count)
{
    return {first * sector, (first + count) * sector};
}

// What a copy of a file from the test medium must hold: the medium's bytes,
// with zeros over every sector that holds a failing byte (a drive fails
// whole sectors).
Bytes expectedCopy(std::int64_t size, std::uint8_t seed, const std::vector<Failing>& failing);
Bytes mediumBytes(std::int64_t size, std::uint8_t seed);

// The zero stretches of a copy, as the report gives them.
std::vector<ByteRange> zeroRanges(const Bytes& copy);
// How the CLI's report starts the line of one: "unreadable: bytes FIRST-LAST (".
std::string reportLine(const ByteRange& range);

} // namespace brindlecap::testing
