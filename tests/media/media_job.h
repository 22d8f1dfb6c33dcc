#pragma once

#include "job_report.h"
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

inline std::int64_t chunkBytes(int bufferOption)
{
    return std::int64_t{32} * 1024 << bufferOption;
}

// A stretch of a file that fails to read, [start, end).
struct Failing
{
    std::int64_t start, end;
};

// What a copy of a file from the test medium must hold, read once in chunks
// of `chunk` bytes: the medium's bytes, except from the first failing byte of
// a chunk to that chunk's end, which are zeros.
Bytes expectedCopy(std::int64_t size, std::uint8_t seed, std::int64_t chunk,
                   const std::vector<Failing>& failing);
Bytes mediumBytes(std::int64_t size, std::uint8_t seed);

// The zero stretches of a copy, as the report gives them.
std::vector<ByteRange> zeroRanges(const Bytes& copy);
// How the CLI's report starts the line of one: "unreadable: bytes FIRST-LAST (".
std::string reportLine(const ByteRange& range);

} // namespace brindlecap::testing
