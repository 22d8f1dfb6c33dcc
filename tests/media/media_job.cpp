// SPDX-License-Identifier: GPL-3.0-or-later
#include "media_job.h"

#include "finished_list.h"
#include "headless_job.h"
#include "locale_number_format.h"
#include "medium_pattern.h"
#include "posix_file_access.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace brindlecap::testing {

EngineRun runEngineJob(const std::vector<std::string>& sources, const std::string& folder,
                       int bufferOption, const std::function<void(int)>& beforeTick)
{
    PosixFileAccess files;
    LocaleNumberFormat numbers(QLocale(QLocale::English, QLocale::UnitedStates));
    HeadlessJob headless(files, numbers);
    headless.start(sources, folder, bufferOption);
    EngineRun run;
    // Far more ticks than any test file has chunks: a job that never ends fails.
    constexpr int tickLimit = 1000000;
    while (headless.running() && run.ticks < tickLimit) {
        if (beforeTick)
            beforeTick(run.ticks);
        headless.job().Timer1_Timer();
        ++run.ticks;
    }
    run.report = headless.job().report();
    run.filesDone = headless.fields().text(Field::lblFilesDone);
    run.percent = headless.fields().text(Field::lblPercent);
    run.byteDone = headless.fields().text(Field::lblByteDone);
    return run;
}

ProcessResult runCliJob(const std::vector<std::string>& sources, const std::string& folder,
                        int bufferOption)
{
    std::vector<std::string> arguments{
        "-q", "-b", std::to_string(chunkBytes(bufferOption) / 1024), "-t", folder, "--"};
    arguments.insert(arguments.end(), sources.begin(), sources.end());
    return runCli(arguments);
}

ProcessResult runCli(const std::vector<std::string>& arguments)
{
    return runProcess(BRINDLECAP_CLI, arguments);
}

std::string slurp(const std::string& path)
{
    const auto bytes = readFile(path);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

RescueMap mapAt(const std::string& path)
{
    std::string why;
    const std::filesystem::path own(path);
    if (!std::filesystem::exists(own)) {
        const auto list =
            FinishedList::parse(slurp(own.parent_path() / FinishedList::fileName), why);
        auto map = list ? list->mapOf(own.stem().string()) : std::nullopt;
        EXPECT_TRUE(map) << path << ": neither a map nor a line in the finished list " << why;
        return map ? *map : RescueMap();
    }
    auto map = RescueMap::parse(slurp(path), why);
    EXPECT_TRUE(map) << path << ": " << why;
    return map ? *map : RescueMap();
}

Bytes mediumBytes(std::int64_t size, std::uint8_t seed)
{
    Bytes bytes(static_cast<std::size_t>(size));
    for (std::size_t position = 0; position < bytes.size(); ++position)
        bytes[position] = mediumByte(position, seed);
    return bytes;
}

Bytes expectedCopy(std::int64_t size, std::uint8_t seed, const std::vector<Failing>& failing)
{
    auto bytes = mediumBytes(size, seed);
    for (const auto& range : failing) {
        const auto end = std::min(size, (range.end + sector - 1) / sector * sector);
        std::fill(bytes.begin() + range.start / sector * sector, bytes.begin() + end, std::byte{0});
    }
    return bytes;
}

std::vector<ByteRange> zeroRanges(const Bytes& copy)
{
    std::vector<ByteRange> ranges;
    for (std::size_t position = 0; position < copy.size(); ++position) {
        if (copy[position] != std::byte{0})
            continue;
        const auto offset = static_cast<std::int64_t>(position);
        if (!ranges.empty() && ranges.back().end() == offset)
            ++ranges.back().length;
        else
            ranges.push_back({offset, 1});
    }
    return ranges;
}

std::string reportLine(const ByteRange& range)
{
    return "unreadable: bytes " + std::to_string(range.offset) + "-" +
           std::to_string(range.end() - 1) + " (";
}

} // namespace brindlecap::testing
