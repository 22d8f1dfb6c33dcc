// SPDX-License-Identifier: GPL-3.0-or-later
// Where one tick of the copy job spends its time: the whole tick, and each of
// its steps on its own with the same file access and number format.
//
// Usage: bench_tick_steps [benchmark flags] SOURCE TMPFS_FOLDER DISK_FOLDER
// SOURCE should be a large file in the page cache; each destination folder
// gets one scratch file, removed at the end.
#include "chunk_buffer.h"
#include "headless_job.h"
#include "locale_number_format.h"
#include "posix_file_access.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace brindlecap;

struct Paths
{
    std::string source;
    std::string folders[2]; // tmpfs, disk
    std::int64_t sourceSize = 0;
};

std::string destinationIn(const Paths& paths, std::int64_t folder)
{
    return paths.folders[folder] + "/bench-tick-steps.bin";
}

// Arguments: chunk kilobytes, destination folder (0 tmpfs, 1 disk).
void chunkArguments(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgNames({"KB", "disk"});
    for (const auto kilobytes : {256, 2048})
        for (const auto folder : {0, 1})
            benchmark->Args({kilobytes, folder});
}

// Chunk offsets walking through the source, starting over at its end.
class ChunkWalk
{
public:
    ChunkWalk(std::int64_t length, std::int64_t sourceSize)
        : m_length(length), m_sourceSize(sourceSize)
    {}
    bool atEnd() const { return m_next + m_length > m_sourceSize; }
    void startOver() { m_next = 0; }
    std::int64_t next()
    {
        const auto position = m_next;
        m_next += m_length;
        return position;
    }

private:
    std::int64_t m_length;
    std::int64_t m_sourceSize;
    std::int64_t m_next = 0;
};

// A copy's file, removed before it is written and when done with, so that
// every write lands where the file has no data yet, as in a real copy.
class ScratchCopy
{
public:
    explicit ScratchCopy(std::string path) : m_path(std::move(path)) { remove(); }
    ~ScratchCopy() { remove(); }
    const std::string& path() const { return m_path; }
    void remove() const { std::filesystem::remove(m_path); }

private:
    std::string m_path;
};

void Tick(benchmark::State& state, const Paths& paths)
{
    PosixFileAccess files;
    LocaleNumberFormat numbers;
    HeadlessJob headless(files, numbers);
    const auto& folder = paths.folders[state.range(1)];
    const ScratchCopy copy(folder + "/" + std::filesystem::path(paths.source).filename().string());
    headless.start({paths.source}, folder, *bufferOptionFor(std::to_string(state.range(0))));
    for (auto _ : state) {
        if (!headless.running()) {
            state.PauseTiming();
            copy.remove();
            headless.job().cmdCopy_Click();
            state.ResumeTiming();
        }
        headless.job().Timer1_Timer();
    }
}

FileIdentity identityOf(const FileAccess& files, const std::string& path)
{
    FileIdentity identity;
    files.identify(path, identity);
    return identity;
}

void OpenCloseSource(benchmark::State& state, const Paths& paths)
{
    PosixFileAccess files;
    const auto source = identityOf(files, paths.source);
    for (auto _ : state) {
        benchmark::DoNotOptimize(files.openSource(paths.source, source));
        benchmark::DoNotOptimize(files.close());
    }
}

void OpenCloseDestination(benchmark::State& state, const Paths& paths)
{
    PosixFileAccess files;
    const ScratchCopy copy(destinationIn(paths, state.range(0)));
    // Every chunk after a file's first opens a destination already known.
    std::optional<FileIdentity> destination;
    files.openDestination(copy.path(), destination, 0644, {});
    files.close();
    for (auto _ : state) {
        benchmark::DoNotOptimize(files.openDestination(copy.path(), destination, 0644, {}));
        benchmark::DoNotOptimize(files.close());
    }
}

// What the tick does to Buf around a read that fills it: size it afresh
// before, zero what the read could not fill after (nothing, here).
void RecreateBuf(benchmark::State& state, const Paths&)
{
    ChunkBuffer buf;
    const auto length = static_cast<std::size_t>(state.range(0) * 1024);
    for (auto _ : state) {
        sizeForChunk(buf, length);
        benchmark::DoNotOptimize(buf.data());
        zeroUnread(buf, {});
        benchmark::ClobberMemory();
    }
}

void Read(benchmark::State& state, const Paths& paths)
{
    PosixFileAccess files;
    const auto length = state.range(0) * 1024;
    std::vector<std::byte> buf(static_cast<std::size_t>(length));
    ChunkWalk walk(length, paths.sourceSize);
    if (files.openSource(paths.source, identityOf(files, paths.source)))
        state.SkipWithError("the source cannot be opened");
    for (auto _ : state) {
        if (walk.atEnd())
            walk.startOver();
        benchmark::DoNotOptimize(files.readAt(walk.next(), buf));
    }
    files.close();
    state.SetBytesProcessed(state.iterations() * length);
}

void Write(benchmark::State& state, const Paths& paths)
{
    PosixFileAccess files;
    const auto length = state.range(0) * 1024;
    const std::vector<std::byte> buf(static_cast<std::size_t>(length), std::byte{0x5a});
    const ScratchCopy copy(destinationIn(paths, state.range(1)));
    ChunkWalk walk(length, paths.sourceSize);
    std::optional<FileIdentity> destination;
    if (files.openDestination(copy.path(), destination, 0644, {}))
        state.SkipWithError("the destination cannot be opened");
    for (auto _ : state) {
        if (walk.atEnd()) {
            state.PauseTiming();
            files.close();
            copy.remove();
            walk.startOver();
            destination.reset();
            if (files.openDestination(copy.path(), destination, 0644, {}))
                state.SkipWithError("the destination cannot be opened");
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(files.writeAt(walk.next(), buf, {}));
    }
    files.close();
    state.SetBytesProcessed(state.iterations() * length);
}

// The buffer size read back from its caption, as each tick does.
void ReadBufferCaption(benchmark::State& state, const Paths&)
{
    LocaleNumberFormat numbers;
    OptionGroup options;
    for (auto _ : state)
        benchmark::DoNotOptimize(numbers.parse(options.caption(3)) * 1024);
}

// The three texts a tick shows: files done, bytes done and the percentage.
void DisplayTexts(benchmark::State& state, const Paths&)
{
    LocaleNumberFormat numbers;
    FieldTable fields;
    std::int64_t position = 123'456'789;
    const std::int64_t size = 536'870'912;
    for (auto _ : state) {
        fields.setText(Field::lblFilesDone, std::to_string(1) + " From " + std::to_string(1));
        fields.setText(Field::lblByteDone, numbers.thousands(position));
        fields.setText(Field::lblPercent, numbers.percent(static_cast<double>(position * 100) /
                                                          static_cast<double>(size)) +
                                              " %");
        position += 262'144;
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_tick_steps [benchmark flags] SOURCE TMPFS DISK\n");
        return 2;
    }
    Paths paths;
    paths.source = argv[1];
    paths.folders[0] = argv[2];
    paths.folders[1] = argv[3];
    std::error_code error;
    paths.sourceSize = static_cast<std::int64_t>(std::filesystem::file_size(paths.source, error));
    if (error) {
        std::fprintf(stderr, "bench_tick_steps: %s: %s\n", argv[1], error.message().c_str());
        return 2;
    }
    benchmark::RegisterBenchmark("Tick", Tick, paths)->Apply(chunkArguments);
    benchmark::RegisterBenchmark("OpenCloseSource", OpenCloseSource, paths);
    benchmark::RegisterBenchmark("OpenCloseDestination", OpenCloseDestination, paths)
        ->ArgName("disk")
        ->Arg(0)
        ->Arg(1);
    benchmark::RegisterBenchmark("RecreateBuf", RecreateBuf, paths)
        ->ArgName("KB")
        ->Arg(256)
        ->Arg(2048);
    benchmark::RegisterBenchmark("Read", Read, paths)->ArgName("KB")->Arg(256)->Arg(2048);
    benchmark::RegisterBenchmark("Write", Write, paths)->Apply(chunkArguments);
    benchmark::RegisterBenchmark("ReadBufferCaption", ReadBufferCaption, paths);
    benchmark::RegisterBenchmark("DisplayTexts", DisplayTexts, paths);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
