#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs Brindlecap's benchmarks on this machine and writes their report.

Usage: bench/benchmarks.py BUILD_DIR REPORT

BUILD_DIR holds the benchmark programs (a build with BRINDLECAP_BENCH=ON);
REPORT is the Markdown file to write. Environment:
  BENCH_RUNS      runs behind each figure (default 5)
  BENCH_WORK      scratch folder on disk (default BUILD_DIR/bench-work)
  BENCH_DELAY_MS  how long each failing read of the damaged discs takes (10)

Every figure is the median of the runs, with their minimum and maximum; each
ratio divides two medians taken in this one run of the script.
"""

import collections
import json
import datetime
import os
import platform
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

MIB = 1 << 20
BUFFER_KB = [32, 64, 128, 256, 512, 1024, 2048]
WINDOW_SOURCE_BYTES = 512 * MIB
CLI_SOURCE_BYTES = 1024 * MIB
DISC_SECTOR = 2048
DISC_SEED = 7
DAMAGED_BUFFER_KB = [32, 256, 2048]
BLOCK_MEDIUM_BYTES = 4096  # a disk's ext4 or FAT, or an image served through FUSE
BLOCK_MEDIUM_SECTORS = [2048, 512]
WINDOW_TWICE = "window, 256 KB, Copy twice"
DEEP_TREE_LEVELS = [2_000, 10_000]
SLOW_DISC_BYTES = 64 * MIB
SLOW_PACE_US = 1000  # per 64 KiB: a slow healthy drive
SHORT_RUN_KB = 256  # from this buffer size on, a window copy takes a few seconds at most


def log(message):
    print(f"[bench {time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


class Figure:
    """Several measurements of one quantity."""

    def __init__(self, values=()):
        self.values = list(values)

    def add(self, value):
        self.values.append(value)

    @property
    def median(self):
        return statistics.median(self.values)

    def text(self, digits=0, scale=1.0):
        if not self.values:
            return "n/a"
        median = self.median * scale
        low = min(self.values) * scale
        high = max(self.values) * scale
        return f"{median:,.{digits}f} ({low:,.{digits}f}–{high:,.{digits}f})"


class Measured:
    def __init__(self, seconds, output, peak_kib, status, user_seconds=0.0):
        self.seconds = seconds
        self.output = output
        self.peak_kib = peak_kib
        self.status = status
        self.user_seconds = user_seconds

    def fields(self):
        """The program's "key=value" line as a dictionary."""
        line = self.output.strip().splitlines()[-1] if self.output.strip() else ""
        return dict(pair.split("=", 1) for pair in line.split() if "=" in pair)


def measure(command, accept=(0,), env=None):
    """Runs a command to its end: wall time, output and peak resident memory."""
    # Output goes to files, not pipes: a report of ten thousand lines would
    # fill a pipe that is read only once the program has ended. The peak is
    # GNU time's: a child's own peak from wait4 counts the copy of this
    # script it was forked from, before it ran the program.
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err, \
            tempfile.NamedTemporaryFile("w+") as peak:
        start = time.perf_counter()
        process = subprocess.Popen(["/usr/bin/time", "-q", "-f", "%M", "-o", peak.name,
                                    *command], stdout=out, stderr=err, env=env, text=True)
        _, wait_status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(wait_status)
        out.seek(0)
        err.seek(0)
        output = out.read()
        errors = err.read()
        peak_kib = int(peak.read().split()[-1])
    if process.returncode not in accept:
        raise RuntimeError(f"{' '.join(map(str, command))} exited with "
                           f"{process.returncode}: {errors.strip()}")
    return Measured(seconds, output, peak_kib, process.returncode, usage.ru_utime)


def first_line(command):
    try:
        result = subprocess.run(command, capture_output=True, text=True, check=False)
        return (result.stdout or result.stderr).strip().splitlines()[0]
    except (OSError, IndexError):
        return "not found"


def remove(*paths):
    for path in paths:
        Path(path).unlink(missing_ok=True)


def rate(byte_count, seconds):
    return byte_count / seconds / MIB


class Scratch:
    """The folders the benchmarks copy into: one on disk and one on tmpfs."""

    def __init__(self, work):
        self.work = Path(work)
        self.sources = self.work / "sources"
        self.sources.mkdir(parents=True, exist_ok=True)
        self.disk = self.work / "disk"
        self.disk.mkdir(exist_ok=True)
        self.mounted = None
        self.tmpfs = None
        self.tmpfs_note = ""
        mount_point = self.work / "tmpfs"
        mount_point.mkdir(exist_ok=True)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3g", "brindlecap-bench",
                                 str(mount_point)], capture_output=True, text=True)
        if result.returncode == 0:
            self.tmpfs = self.mounted = mount_point
            self.tmpfs_note = f"a 3 GiB tmpfs mounted at {mount_point}"
        else:
            shm = Path("/dev/shm")
            if shm.is_dir() and shutil.disk_usage(shm).free > 3 << 30:
                self.tmpfs = shm / "brindlecap-bench"
                self.tmpfs.mkdir(exist_ok=True)
                self.tmpfs_note = f"{self.tmpfs} (mounting a tmpfs was refused: " \
                                  f"{result.stderr.strip()})"
            else:
                self.tmpfs_note = "none: mounting a tmpfs was refused and /dev/shm is too small"
        if self.tmpfs:
            self.prewarm()

    def prewarm(self):
        """Fills the tmpfs once and empties it again.

        On a virtual machine the first touch of a memory page costs the host
        a fault; without this the first runs would measure that."""
        fill = self.tmpfs / "prewarm"
        block = bytes(8 * MIB)
        with open(fill, "wb") as out:
            for _ in range(5 * 64):  # 2.5 GiB
                out.write(block)
        fill.unlink()

    def close(self):
        if self.mounted:
            subprocess.run(["umount", str(self.mounted)], check=False)
        elif self.tmpfs:
            shutil.rmtree(self.tmpfs, ignore_errors=True)

    def destinations(self):
        places = [("disk", self.disk)]
        if self.tmpfs:
            places.insert(0, ("tmpfs", self.tmpfs))
        return places

    def fast_destination(self):
        return self.destinations()[0]


def source_file(folder, byte_count):
    """A file of random bytes, made once, then read so it sits in the page cache."""
    path = Path(folder) / f"source-{byte_count // MIB}MiB.bin"
    if not path.exists() or path.stat().st_size != byte_count:
        log(f"writing {path}")
        with open(path, "wb") as out:
            for _ in range(byte_count // (8 * MIB)):
                out.write(os.urandom(8 * MIB))
    with open(path, "rb") as source:
        while source.read(8 * MIB):
            pass
    return path


def settle(folder):
    """Writes back what the last run left dirty, outside any timing."""
    subprocess.run(["sync", "-f", str(folder)], check=False)


class Bench:
    def __init__(self, build, runs, scratch):
        self.build = Path(build)
        self.runs = runs
        # Copies of a second or less vary more from run to run; they get more runs.
        self.fast_runs = 2 * runs
        self.scratch = scratch
        self.window = self.build / "bench" / "bench_window"
        self.tick_steps = self.build / "bench" / "bench_tick_steps"
        self.recovery = self.build / "bench" / "bench_medium_recovery"
        self.cli = self.build / "src" / "cli" / "brindlecap-cli"
        self.medium = self.build / "tests" / "media" / "faulty_medium"
        self.window_env = dict(os.environ, QT_QPA_PLATFORM="offscreen",
                               XDG_RUNTIME_DIR=str(scratch.work / "runtime"))
        (scratch.work / "runtime").mkdir(mode=0o700, exist_ok=True)
        self.qt_version = "unknown"

    # 1. The window's copy rate against the timer bound and cp.
    def window_rate(self):
        source = source_file(self.scratch.sources, WINDOW_SOURCE_BYTES)
        timer = Figure()
        cp = {name: Figure() for name, _ in self.scratch.destinations()}
        ours = {(name, kb): Figure() for name, _ in self.scratch.destinations()
                for kb in BUFFER_KB}
        dd = {key: Figure() for key in ours}
        peaks = {kb: Figure() for kb in BUFFER_KB}
        for run in range(self.fast_runs):
            log(f"window rate, run {run + 1} of {self.fast_runs}")
            if run < self.runs:
                fields = measure([self.window, "timer", "5"], env=self.window_env).fields()
                timer.add(float(fields["per_second"]))
                self.qt_version = fields.get("qt", self.qt_version)
            for name, folder in self.scratch.destinations():
                copy = folder / source.name
                remove(copy)
                cp[name].add(rate(WINDOW_SOURCE_BYTES, measure(["cp", source, copy]).seconds))
                remove(copy)
                settle(folder)
                for kb in BUFFER_KB:
                    # The timer holds the small chunks to a steady pace.
                    if run >= self.runs and kb < SHORT_RUN_KB:
                        continue
                    result = measure([self.window, "copy", source, folder, str(kb)],
                                     env=self.window_env)
                    seconds = float(result.fields()["seconds"])
                    ours[(name, kb)].add(rate(WINDOW_SOURCE_BYTES, seconds))
                    if name == self.scratch.fast_destination()[0]:
                        peaks[kb].add(result.peak_kib / 1024)
                    remove(copy)
                    settle(folder)
                    # The destination's own rate at this chunk: a tick can be
                    # no shorter than its read and its write.
                    dd[(name, kb)].add(rate(WINDOW_SOURCE_BYTES, measure(
                        ["dd", f"if={source}", f"of={copy}", f"bs={kb}K", "status=none"]).seconds))
                    remove(copy)
                    settle(folder)
        idle = Figure(measure([self.window, "timer", "1"], env=self.window_env).peak_kib / 1024
                      for _ in range(self.runs))
        return timer, cp, dd, ours, peaks, idle

    # 2. The CLI against cp, dd and ddrescue.
    def cli_throughput(self):
        source = source_file(self.scratch.sources, CLI_SOURCE_BYTES)
        name, folder = self.scratch.fast_destination()
        copy, mapfile = folder / source.name, folder / "ddrescue.map"
        cp = Figure()
        tools = {(tool, kb): Figure() for tool in ("cli", "dd", "ddrescue") for kb in BUFFER_KB}
        peaks = {kb: Figure() for kb in BUFFER_KB}
        commands = {
            "cli": lambda kb: [self.cli, "-q", "-b", str(kb), source, folder],
            "dd": lambda kb: ["dd", f"if={source}", f"of={copy}", f"bs={kb}K",
                              "conv=noerror,sync", "status=none"],
            # One cluster is one chunk: -c counts 512-byte sectors.
            "ddrescue": lambda kb: ["ddrescue", "-q", f"--cluster-size={kb * 2}", source, copy,
                                    mapfile],
        }
        for run in range(self.fast_runs):
            log(f"CLI throughput, run {run + 1} of {self.fast_runs}")
            remove(copy)
            cp.add(rate(CLI_SOURCE_BYTES, measure(["cp", source, copy]).seconds))
            for kb in BUFFER_KB:
                for tool, command in commands.items():
                    remove(copy, mapfile)
                    settle(folder)
                    result = measure(command(kb))
                    tools[(tool, kb)].add(rate(CLI_SOURCE_BYTES, result.seconds))
                    if tool == "cli":
                        peaks[kb].add(result.peak_kib / 1024)
            remove(copy, mapfile)
        return name, cp, tools, peaks

    # 3. Where a tick's time goes.
    def tick_breakdown(self):
        source = source_file(self.scratch.sources, WINDOW_SOURCE_BYTES)
        fast = self.scratch.fast_destination()[1]
        out = self.scratch.work / "tick-steps.json"
        log("tick steps")
        measure([self.tick_steps, f"--benchmark_repetitions={self.runs}",
                 "--benchmark_min_time=0.5", f"--benchmark_out={out}",
                 "--benchmark_out_format=json", source, fast, self.scratch.disk])
        figures = {}
        for entry in json.loads(out.read_text())["benchmarks"]:
            if entry.get("run_type") != "iteration":
                continue
            scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[entry["time_unit"]]
            figures.setdefault(entry["run_name"], Figure()).add(entry["real_time"] * scale)
        return figures

    # 5. Damaged discs on the FUSE medium.
    def damaged_discs(self, delay_ms):
        """Each damage shape, read directly and through the page cache, by the window at
        three buffer sizes and by ddrescue: readable bytes lost, failing reads, wall time
        and the window's longest tick. The counts do not vary from run to run; the times
        are of one run."""
        if not self.medium.exists():
            return None, f"{self.medium} was not built (libfuse3-dev missing)"
        if not os.path.exists("/dev/fuse"):
            return None, "this machine has no /dev/fuse"
        folder = self.scratch.fast_destination()[1]
        copy, mapfile = folder / "disc.iso", folder / "disc.map"
        # Each tool is one command or several run in turn on the same medium.
        tools = {f"window, {kb} KB": [[self.window, "copy", None, folder, str(kb)]]
                 for kb in DAMAGED_BUFFER_KB}
        tools[WINDOW_TWICE] = [[self.window, "copy", None, folder, "256", "2"]]
        cli = [self.cli, "-q", "-b", "256"]
        tools["cli, 256 KB (all passes)"] = [[*cli, None, folder]]
        tools["cli, 256 KB --passes=copy"] = [[*cli, "--passes=copy", None, folder]]
        tools["cli, 256 KB --passes=copy, then all"] = [[*cli, "--passes=copy", None, folder],
                                                         [*cli, None, folder]]
        tools["ddrescue (default run)"] = [["ddrescue", "-q", "-b", str(DISC_SECTOR), None, copy,
                                            mapfile]]
        tools["ddrescue -n"] = [["ddrescue", "-q", "-n", "-b", str(DISC_SECTOR), None, copy,
                                 mapfile]]
        results = {}
        for shape, (size, unreadable) in damage_shapes().items():
            ranges = [str(value) for pair in unreadable for value in pair]
            for access in ("direct", "page cache"):
                lines = [f"file disc.iso {size} {DISC_SEED}", f"delay {delay_ms}"]
                lines += [f"hard disc.iso {start} {end}" for start, end in unreadable]
                if access == "direct":
                    lines.append("direct-io")
                for tool, commands in tools.items():
                    log(f"damaged disc: {shape}, {access}, {tool}")
                    window = tool.startswith("window")
                    figures, last = self.rescue_on_medium(lines, commands, window, size, ranges)
                    longest = last.fields().get("longest_tick") if window else None
                    recovered = last.fields().get("recovered") if window else None
                    results[(shape, access, tool)] = {
                        **figures, "longest": float(longest) if longest else None,
                        "recovered": int(recovered) if recovered else 0}
        remove(copy, mapfile)
        shutil.rmtree(folder / ".brindlecap", ignore_errors=True)
        return results, ""


    def rescue_on_medium(self, lines, commands, window, size, ranges):
        """Runs the commands in turn on a fresh FUSE medium described by `lines` (None in a
        command stands for its disc), copying into the fast destination, and checks the copy:
        seconds, readable bytes lost, wrong bytes and failing reads, and the last command's
        result."""
        folder = self.scratch.fast_destination()[1]
        copy = folder / "disc.iso"
        remove(copy, folder / "disc.map")
        shutil.rmtree(folder / ".brindlecap", ignore_errors=True)
        env = self.window_env if window else None
        seconds = 0.0
        with MountedMedium(self.medium, self.scratch.work / "disc", lines) as medium:
            for command in commands:
                run = [medium.disc if part is None else part for part in command]
                result = measure(run, accept=(0, 1, 3), env=env)
                seconds += result.seconds
            failing = medium.failing_reads()
        fields = measure([self.recovery, copy, str(size), str(DISC_SEED), *ranges]).fields()
        return {"seconds": seconds, "lost": int(fields["lost_readable"]),
                "wrong": int(fields["wrong"]), "failing": failing}, result

    def blocks_over_sectors(self, delay_ms):
        """Each damage shape on a medium that reports 4096-byte blocks over smaller sectors
        and fails a whole request that meets a bad one, as a drive does: the window at three
        buffer sizes, the command line's first run, and ddrescue given the true sector."""
        if not self.medium.exists():
            return None
        folder = self.scratch.fast_destination()[1]
        copy, mapfile = folder / "disc.iso", folder / "disc.map"
        results = {}
        for sector in BLOCK_MEDIUM_SECTORS:
            tools = {f"window, {kb} KB": [self.window, "copy", None, folder, str(kb)]
                     for kb in DAMAGED_BUFFER_KB}
            tools["cli, 256 KB, first run"] = [self.cli, "-q", "-b", "256", None, folder]
            tools[f"ddrescue -b {sector} (default run)"] = [
                "ddrescue", "-q", "-b", str(sector), None, copy, mapfile]
            for shape, (size, unreadable) in damage_shapes(sector).items():
                ranges = [str(value) for pair in unreadable for value in pair]
                for access in ("direct", "page cache"):
                    lines = [f"file disc.iso {size} {DISC_SEED}", f"delay {delay_ms}",
                             f"block-size {BLOCK_MEDIUM_BYTES}", f"sector {sector}",
                             "fails-whole"]
                    lines += [f"hard disc.iso {start} {end}" for start, end in unreadable]
                    if access == "direct":
                        lines.append("direct-io")
                    for tool, command in tools.items():
                        log(f"4096-byte blocks: {sector}-byte sectors, {shape}, {access}, {tool}")
                        results[(sector, shape, access, tool)], _ = self.rescue_on_medium(
                            lines, [command], tool.startswith("window"), size, ranges)
        remove(copy, mapfile)
        shutil.rmtree(folder / ".brindlecap", ignore_errors=True)
        return results

    # 6. A run stopped half-way, resumed, and retried after cleaning.
    def resumed_rescue(self, delay_ms):
        """brindlecap-cli and ddrescue (each with its map) through the same three runs over
        one image: stopped with SIGINT half-way, run again to the end, and run once more
        after the disc is cleaned (its soft sectors read). Failing reads and bytes read
        again that a map already had, per run; readable bytes lost at the end."""
        if not self.medium.exists() or not os.path.exists("/dev/fuse"):
            return None
        size, hard, soft = RESUME_IMAGE
        folder = self.scratch.fast_destination()[1] / "resume"
        half = size // 2
        tools = {
            "brindlecap-cli": lambda disc, run: [self.cli, "-q", "-t", folder, disc],
            "ddrescue (default run)": lambda disc, run: [
                "ddrescue", "-q", "-b", str(DISC_SECTOR), disc, folder / "disc.iso",
                folder / "ddrescue.map"],
            "ddrescue, -r1 on the third run": lambda disc, run: [
                "ddrescue", "-q", "-b", str(DISC_SECTOR), *(["-r1"] if run == 3 else []), disc,
                folder / "disc.iso", folder / "ddrescue.map"],
        }
        results = {}
        for tool, command in tools.items():
            shutil.rmtree(folder, ignore_errors=True)
            folder.mkdir(parents=True)
            runs = []
            finished = []  # what the tool's map said was rescued before the run
            for run in (1, 2, 3):
                bad = hard + soft if run < 3 else hard
                lines = [f"file disc.iso {size} {DISC_SEED}", f"delay {delay_ms}", "direct-io"]
                lines += [f"hard disc.iso {start} {end}" for start, end in bad]
                if run == 1:
                    lines.append(f"at-read disc.iso {half} interrupt")
                log(f"stopped, resumed, retried: {tool}, run {run}")
                with MountedMedium(self.medium, self.scratch.work / "resume", lines) as medium:
                    # A stopped run ends as each tool ends on SIGINT: any status.
                    result = measure(command(medium.disc, run), accept=range(-64, 256))
                    reads = medium.reads()
                again = sum(overlap(offset, size_, finished) for offset, size_, _ in reads)
                runs.append({"status": result.status, "seconds": result.seconds,
                             "failing": sum(1 for read in reads if read[2] < 0),
                             "reads": len(reads), "again": again})
                finished = rescued_ranges(folder / ("ddrescue.map" if "ddrescue" in tool
                                                    else ".brindlecap/disc.iso.map"))
            ranges = [str(value) for pair in hard for value in pair]
            check = measure([self.recovery, folder / "disc.iso", str(size), str(DISC_SEED),
                             *ranges]).fields()
            results[tool] = {"runs": runs, "lost": int(check["lost_readable"]),
                             "wrong": int(check["wrong"])}
        shutil.rmtree(folder, ignore_errors=True)
        return results

    # 7. Rescue maps at scale.
    def map_costs(self):
        """What keeping rescue maps costs: -r over many small files from the page cache into
        a folder on disk, against cp -r and a sync (a map per file, a line of its folder's
        finished list, each on the disk before the run ends); and a large file scratched all
        over (a one-sector bad area every few sectors, failing at once), with maps and
        without, for the share of the run's user time that the maps take."""
        tree = self.scratch.sources / "tree"
        if not (tree / f"{99 + TREE_FOLDERS}CANON").exists():
            log(f"writing {TREE_FOLDERS * TREE_FILES:,} small files")
            for folder in range(TREE_FOLDERS):
                place = tree / f"{100 + folder}CANON"
                place.mkdir(parents=True, exist_ok=True)
                for number in range(TREE_FILES):
                    (place / f"IMG_{number:04d}.JPG").write_bytes(os.urandom(TREE_FILE_BYTES))
        for path in tree.rglob("*.JPG"):
            path.read_bytes()
        small = {tool: Figure() for tool in ("cli", "cli --no-map", "cp -r + sync")}
        commands = {
            "cli": lambda out: [self.cli, "-q", "-r", tree, out],
            "cli --no-map": lambda out: [self.cli, "-q", "--no-map", "-r", tree, out],
            "cp -r + sync": lambda out: ["sh", "-c", 'cp -r "$0" "$1" && sync -f "$1"', tree,
                                         out / "tree"],
        }
        # Each copy into a folder of its own, all removed at the end: ext4 passes
        # over inodes freed in the last minute, so removing one copy just
        # before the next would time that instead. The tools take turns first.
        copies = self.scratch.disk / "tree-copies"
        shutil.rmtree(copies, ignore_errors=True)
        tools = list(commands)
        for run in range(self.runs):
            log(f"small files, run {run + 1} of {self.runs}")
            for turn in range(len(tools)):
                tool = tools[(run + turn) % len(tools)]
                out = copies / f"{run}-{turn}"
                out.mkdir(parents=True)
                settle(self.scratch.disk)
                small[tool].add(measure(commands[tool](out)).seconds)
        shutil.rmtree(copies, ignore_errors=True)
        settle(self.scratch.disk)

        if not self.medium.exists() or not os.path.exists("/dev/fuse"):
            return small, None
        scratched = {}
        folder = self.scratch.fast_destination()[1] / "scratched"
        # A million areas take minutes a run: one run each way.
        for areas, runs in ((100_000, self.runs), (1_000_000, 1)):
            period = SCRATCHED_BYTES // areas // 512 * 512
            lines = [f"file disc.iso {SCRATCHED_BYTES} {DISC_SEED}", "direct-io", "block-size 512",
                     f"hard-every disc.iso 0 {period} 512 {areas}"]
            figures = {mode: (Figure(), Figure()) for mode in ("maps", "--no-map")}
            shutil.rmtree(folder, ignore_errors=True)
            folder.mkdir(parents=True)
            log(f"scratched all over: {areas:,} bad areas, maps, sampled")
            with MountedMedium(self.medium, self.scratch.work / "scratched", lines) as medium:
                sampled = sampled_map_share([self.cli, "-q", medium.disc, folder],
                                            self.scratch.work / "perf.data")
            for run in range(runs):
                for mode, (user, wall) in figures.items():
                    log(f"scratched all over: {areas:,} bad areas, {mode}, run {run + 1} of {runs}")
                    shutil.rmtree(folder, ignore_errors=True)
                    folder.mkdir(parents=True)
                    with MountedMedium(self.medium, self.scratch.work / "scratched", lines) as medium:
                        options = ["--no-map"] if mode == "--no-map" else []
                        result = measure([self.cli, "-q", *options, medium.disc, folder],
                                         accept=(1,))
                    user.add(result.user_seconds)
                    wall.add(result.seconds)
            scratched[areas] = (figures, sampled)
        shutil.rmtree(folder, ignore_errors=True)
        return small, scratched


    # 9. A slow healthy medium.
    def slow_medium(self):
        """A healthy image on a medium that takes 1 ms per 64 KiB and serves one request at
        a time, read directly and through the page cache: the copy rate of the window, the
        command line, dd and ddrescue at 256 and 2048 KB, in MiB/s."""
        if not self.medium.exists() or not os.path.exists("/dev/fuse"):
            return None
        folder = self.scratch.fast_destination()[1]
        copy, mapfile = folder / "disc.iso", folder / "disc.map"
        results = {}
        for access in ("direct", "page cache"):
            lines = [f"file disc.iso {SLOW_DISC_BYTES} {DISC_SEED}", f"pace {SLOW_PACE_US}"]
            # Through the page cache the medium keeps what it read when the
            # file is opened again, as the kernel's own disc file systems do:
            # the window opens the source again for every chunk.
            lines.append("direct-io" if access == "direct" else "kernel-cache")
            for kb in (256, 2048):
                tools = {
                    "window": lambda disc: [self.window, "copy", disc, folder, str(kb)],
                    "brindlecap-cli": lambda disc: [self.cli, "-q", "-b", str(kb), disc, folder],
                    "dd": lambda disc: ["dd", f"if={disc}", f"of={copy}", f"bs={kb}K",
                                        "status=none"],
                    "ddrescue": lambda disc: ["ddrescue", "-q", "-b", str(DISC_SECTOR),
                                              f"--cluster-size={kb * 1024 // DISC_SECTOR}",
                                              disc, copy, mapfile],
                }
                for tool, command in tools.items():
                    figure = results.setdefault((access, kb, tool), Figure())
                    for run in range(self.runs):
                        log(f"slow medium: {access}, {kb} KB, {tool}, run {run + 1}")
                        remove(copy, mapfile)
                        shutil.rmtree(folder / ".brindlecap", ignore_errors=True)
                        env = self.window_env if tool == "window" else None
                        with MountedMedium(self.medium, self.scratch.work / "slow",
                                           lines) as medium:
                            result = measure(command(medium.disc), env=env)
                        # The window from the press of Copy, as in table 1: its
                        # own start (Qt's, a tenth of a second) copies nothing.
                        seconds = (float(result.fields()["seconds"]) if tool == "window"
                                   else result.seconds)
                        figure.add(SLOW_DISC_BYTES / MIB / seconds)
        remove(copy, mapfile)
        shutil.rmtree(folder / ".brindlecap", ignore_errors=True)
        return results

    # 10. The easy data of every file first.
    def easy_data_first(self, delay_ms):
        """Two files on one medium, the first with a 4 MiB stretch that reads nothing, the
        second healthy: the time at which the second one's copy is complete and the time of
        the whole job, for the command line and for ddrescue run on each file in turn."""
        if not self.medium.exists() or not os.path.exists("/dev/fuse"):
            return None
        folder = self.scratch.fast_destination()[1]
        size = 16 * MIB
        lines = [f"file disc.iso {size} {DISC_SEED}", f"file healthy.iso {size} {DISC_SEED + 1}",
                 f"hard disc.iso {4 * MIB} {8 * MIB}", f"delay {delay_ms}", "direct-io"]
        second = folder / "healthy.iso"
        results = {}
        for tool in ("brindlecap-cli", "ddrescue, file by file"):
            log(f"easy data first: {tool}")
            for name in ("disc.iso", "healthy.iso", "disc.map", "healthy.map"):
                remove(folder / name)
            shutil.rmtree(folder / ".brindlecap", ignore_errors=True)
            with MountedMedium(self.medium, self.scratch.work / "two", lines) as medium:
                a, b = medium.disc, medium.mount_point / "healthy.iso"
                if tool == "brindlecap-cli":
                    commands = [[self.cli, "-q", "-b", "256", a, b, folder]]
                else:
                    commands = [["ddrescue", "-q", "-b", str(DISC_SECTOR), source,
                                 folder / source.name, folder / f"{source.stem}.map"]
                                for source in (a, b)]
                start = time.perf_counter()
                complete = None
                for command in commands:
                    process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL)
                    while process.poll() is None:
                        if complete is None and second.exists() and \
                                second.stat().st_size == size:
                            complete = time.perf_counter() - start
                        time.sleep(0.002)
                total = time.perf_counter() - start
                if complete is None:
                    complete = total
                results[tool] = (complete, total, medium.failing_reads())
        for name in ("disc.iso", "healthy.iso", "disc.map", "healthy.map"):
            remove(folder / name)
        shutil.rmtree(folder / ".brindlecap", ignore_errors=True)
        return results

    def deep_trees(self):
        """The peak memory of copying a chain of folders (one file at its bottom) with -r,
        as deep as DEEP_TREE_LEVELS, against cp -r: a walk holds the path it is on and
        nothing more. Such paths are longer than any the system takes by name, so the
        chain is made and removed by descriptor."""
        peaks = {}
        for levels in DEEP_TREE_LEVELS:
            top = self.scratch.work / f"deep-{levels}"
            remove_tree(top)
            top.mkdir(parents=True)
            folder = os.open(top, os.O_RDONLY | os.O_DIRECTORY)
            for _ in range(levels):
                os.mkdir("d", dir_fd=folder)
                below = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=folder)
                os.close(folder)
                folder = below
            bottom = os.open("bottom.bin", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=folder)
            os.write(bottom, os.urandom(4096))
            os.close(bottom)
            os.close(folder)
            figures = {tool: Figure() for tool in ("cli", "cp -r")}
            statuses = {tool: set() for tool in figures}
            for run in range(self.runs):
                log(f"a tree {levels:,} folders deep, run {run + 1} of {self.runs}")
                for tool, figure in figures.items():
                    out = self.scratch.work / f"deep-{levels}-copy"
                    remove_tree(out)
                    out.mkdir()
                    command = ([self.cli, "-q", "-r", top / "d", out] if tool == "cli" else
                               ["cp", "-r", top / "d", out])
                    # cp gives up where a path grows too long for the system.
                    result = measure(command, accept=(0, 1))
                    figure.add(result.peak_kib / 1024)
                    statuses[tool].add(result.status)
                    remove_tree(out)
            remove_tree(top)
            peaks[levels] = (figures, statuses)
        return peaks


    def unlistable_disc(self, delay_ms):
        """A 100 MiB hybrid image (UDF, ISO 9660 with Rock Ridge and Joliet) whose primary root
        folder does not read: the files brindlecap-cli --disc rescues, and its failing reads,
        against the kernel's mount and cp, and against ddrescue imaging the whole disc."""
        if not self.medium.exists() or not os.path.exists("/dev/fuse"):
            return None
        work = self.scratch.work / "unlistable"
        shutil.rmtree(work, ignore_errors=True)
        tree = work / "tree"
        generator = random.Random(DISC_SEED)
        files = {}
        for folder in range(4):
            for number in range(10):
                path = f"DCIM/{100 + folder}CANON/MVI_{number:04d}.MOV"
                (tree / path).parent.mkdir(parents=True, exist_ok=True)
                files[path] = generator.randbytes(UNLISTABLE_FILE_BYTES)
                (tree / path).write_bytes(files[path])
        image = work / "disc.iso"
        subprocess.run(["genisoimage", "-quiet", "-udf", "-J", "-R", "-V", "HOLIDAY_2009", "-o",
                        image, tree], check=True)
        descriptor = image.read_bytes()[16 * DISC_SECTOR:17 * DISC_SECTOR]
        root = int.from_bytes(descriptor[158:162], "little")
        lines = [f"image disc.iso {image}", f"hard disc.iso {root * DISC_SECTOR} "
                 f"{(root + 1) * DISC_SECTOR}", f"delay {delay_ms}", "direct-io"]

        def rescued(folder):
            return sum(1 for path, data in files.items()
                       if (folder / path).is_file() and (folder / path).read_bytes() == data)

        results = {"image": image, "files": len(files), "root": root}
        log("a disc that will not open: brindlecap-cli --disc")
        out = work / "ours"
        with MountedMedium(self.medium, work / "m1", lines) as medium:
            run = measure([self.cli, "-q", f"--disc={medium.disc}", out], accept=(0, 1))
            results["ours"] = (rescued(out / "HOLIDAY_2009"), medium.failing_reads(), run.seconds,
                               run.output)
        log("a disc that will not open: mount and cp")
        mounted = work / "mounted"
        mounted.mkdir()
        with MountedMedium(self.medium, work / "m2", lines) as medium:
            attempt = subprocess.run(["mount", "-t", "iso9660", "-o", "ro,loop", medium.disc,
                                      mounted], capture_output=True, text=True)
            if attempt.returncode == 0:
                copy = work / "cp"
                subprocess.run(["cp", "-r", f"{mounted}/.", copy], capture_output=True)
                subprocess.run(["umount", mounted], capture_output=True)
                results["mount"] = (rescued(copy), medium.failing_reads(), "")
            else:
                # "mount: MOUNT: why", and a hint to read dmesg on a line of its own.
                why = attempt.stderr.strip().splitlines()[0].rsplit(": ", 1)[-1]
                results["mount"] = (0, medium.failing_reads(), why)
        log("a disc that will not open: ddrescue")
        with MountedMedium(self.medium, work / "m3", lines) as medium:
            run = measure(["ddrescue", "-q", "-b", str(DISC_SECTOR), medium.disc,
                           work / "ddrescue.iso", work / "ddrescue.map"], accept=(0,))
            results["ddrescue"] = (medium.failing_reads(), run.seconds)
        listing = subprocess.run([self.cli, f"--disc={work / 'ddrescue.iso'}",
                                  f"--disc-map={work / 'ddrescue.map'}", "--list"],
                                 capture_output=True, text=True)
        results["listing"] = listing.stdout.strip().splitlines()[-1]
        shutil.rmtree(work, ignore_errors=True)
        return results


def remove_tree(top):
    """Removes a folder tree of any depth: rm walks it by descriptor."""
    subprocess.run(["rm", "-rf", "--one-file-system", top], check=True)


class MountedMedium:
    """The FUSE test medium, mounted for as long as the with-block runs."""

    def __init__(self, program, work, lines):
        self.work = Path(work)
        self.mount_point = self.work / "medium"
        self.disc = self.mount_point / "disc.iso"
        self.program = program
        self.lines = lines
        self.log = self.work / "medium.log"
        self.process = None

    def __enter__(self):
        self.mount_point.mkdir(parents=True, exist_ok=True)
        description = self.work / "disc.medium"
        description.write_text("\n".join(self.lines) + "\n")
        remove(self.log, Path(f"{self.log}.reads"))
        self.process = subprocess.Popen([self.program, description, self.log, self.mount_point],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                        text=True)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and self.process.poll() is None:
            if os.path.ismount(self.mount_point) and self.disc.exists():
                return self
            time.sleep(0.05)
        self.process.kill()
        reason = self.process.communicate()[1].strip() or "the medium did not come up"
        raise RuntimeError(f"the FUSE medium could not be mounted: {reason}")

    def reads(self):
        """(offset, size, result) of every read request, result < 0 for a failing one."""
        reads = Path(f"{self.log}.reads")
        lines = reads.read_text().split("\n") if reads.exists() else []
        return [tuple(int(word) for word in line.split()) for line in lines if line.split()]

    def failing_reads(self):
        return sum(1 for read in self.reads() if read[2] < 0)

    def __exit__(self, *exception):
        subprocess.run(["fusermount3", "-u", str(self.mount_point)], check=False,
                       capture_output=True)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        if self.log.exists() and self.log.read_text().strip():
            raise RuntimeError(f"something opened the medium for writing: {self.log}")


def overlap(offset, size, ranges):
    """How many bytes of [offset, offset + size) lie in the ranges."""
    return sum(max(0, min(offset + size, end) - max(offset, start)) for start, end in ranges)


def rescued_ranges(mapfile):
    """The '+' blocks of a ddrescue mapfile, as (start, end). Where brindlecap-cli keeps
    none because the copy was rescued whole at once, its folder's finished list has a line
    for it."""
    if not mapfile.exists():
        listed = mapfile.parent / "finished.list"
        name = mapfile.name.removesuffix(".map")
        for line in listed.read_text().splitlines() if listed.exists() else []:
            fields = line.split("\t")
            if fields[0] == name:
                size = int(dict(field.split("=", 1) for field in fields[1:])["source-size"])
                return [(0, size)] if size else []
        return []
    blocks, status_line = [], False
    for line in mapfile.read_text().splitlines():
        words = line.split()
        if not words or words[0].startswith("#"):
            continue
        if not status_line:
            status_line = True
            continue
        start, size = int(words[0], 0), int(words[1], 0)
        if words[2] == "+":
            blocks.append((start, start + size))
    return blocks


def resume_image():
    """300 MiB with long bad runs, isolated bad sectors and sectors that read again once
    the disc is cleaned: (size, hard, soft)."""
    chooser = random.Random(314)
    sector, size = DISC_SECTOR, 300 * MIB
    taken, hard, soft = set(), [], []

    def place(length):
        while True:
            first = chooser.randrange(0, size // sector - length)
            if not taken & set(range(first - 2, first + length + 2)):
                taken.update(range(first, first + length))
                return (first * sector, (first + length) * sector)

    hard += [place(chooser.randint(50, 500)) for _ in range(10)]
    hard += [place(1) for _ in range(100)]
    soft += [place(chooser.randint(1, 4)) for _ in range(20)]
    return size, sorted(hard), sorted(soft)


RESUME_IMAGE = resume_image()
TREE_FOLDERS, TREE_FILES, TREE_FILE_BYTES = 10, 1000, 20 * 1024
UNLISTABLE_FILE_BYTES = 5 * 2 ** 19  # 2.5 MiB: forty of them make the 100 MiB disc
SCRATCHED_BYTES = 1 << 30


def damage_shapes(sector=DISC_SECTOR):
    """The four shapes damage takes on a disc, at fixed places, in sectors of `sector`
    bytes: (size, [(start, end)])."""
    chooser = random.Random(2026)

    def stretch(first, count):
        return (first * sector, (first + count) * sector)

    shapes = {}
    # Clusters of 1 to 16 bad sectors, apart from each other.
    size = 100 * MIB
    bad, taken = [], set()
    while len(bad) < 21:
        length = chooser.randint(1, 16)
        first = chooser.randrange(0, size // sector - length)
        if taken & set(range(first - 1, first + length + 1)):
            continue
        taken.update(range(first, first + length))
        bad.append(stretch(first, length))
    shapes["100 MiB, 21 clusters of bad sectors"] = (size, sorted(bad))
    # A scratch across the spiral: one bad sector about every turn.
    first, bad = 3000, []
    for _ in range(125):
        first += chooser.randint(17, 23)
        bad.append(stretch(first, 1))
    shapes["48 MiB, a scratch: 125 isolated bad sectors, one every ~20"] = (48 * MIB, bad)
    shapes["16 MiB, one 4 MiB stretch that reads nothing"] = (
        16 * MIB, [(4 * MIB, 8 * MIB)])
    # Short bad runs with good sectors between them, in six places.
    size, bad = 32 * MIB, []
    for region in sorted(chooser.sample(range(0, size // sector - 400, 1000), 6)):
        first = region
        while first < region + 300:
            length = chooser.randint(1, 8)
            bad.append(stretch(first, length))
            first += length + chooser.randint(1, 8)
    shapes["32 MiB, short bad runs (1–8 sectors) with good sectors between them"] = (size, bad)
    return shapes


def machine_lines(bench, scratch):
    meminfo = Path("/proc/meminfo").read_text().splitlines()
    memory_kib = int(next(line for line in meminfo if line.startswith("MemTotal")).split()[1])
    cpu = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    disk_fs = first_line(["stat", "-f", "-c", "%T", str(scratch.disk)])
    return [
        f"- Date: {datetime.date.today().isoformat()}",
        f"- CPU: {cpu}, {os.cpu_count()} cores",
        f"- Memory: {memory_kib / (1 << 20):.1f} GiB",
        f"- Kernel: {platform.system()} {platform.release()}",
        f"- Qt: {bench.qt_version} (offscreen platform for the window)",
        f"- Disk: {disk_fs} file system at {scratch.disk}",
        f"- tmpfs: {scratch.tmpfs_note}",
        f"- cp and dd: {first_line(['cp', '--version'])}",
        f"- ddrescue: {first_line(['ddrescue', '--version'])}",
        f"- Runs behind each figure: {bench.runs} for the timer, the tick's steps and the "
        f"window's copies below {SHORT_RUN_KB} KB; {bench.fast_runs} for the shorter copies "
        f"(cp, the command line, the window from {SHORT_RUN_KB} KB on); "
        "one on the damaged discs, whose counts do not vary",
    ]


def window_table(timer, cp, dd, ours, scratch):
    rows = ["| Destination | Buffer | Ours, MiB/s | Timer bound, MiB/s | dd, same chunk, MiB/s "
            "| cp, MiB/s | Ours ÷ min(bound, dd) |",
            "|---|---:|---:|---:|---:|---:|---:|"]
    ratios = {}
    for name, _ in scratch.destinations():
        for kb in BUFFER_KB:
            bound = Figure(firings * kb / 1024 for firings in timer.values)
            figure = ours[(name, kb)]
            ratios[(name, kb)] = figure.median / min(bound.median, dd[(name, kb)].median)
            rows.append(f"| {name} | {kb} KB | {figure.text(1)} | {bound.text(1)} "
                        f"| {dd[(name, kb)].text(1)} | {cp[name].text(1)} "
                        f"| {ratios[(name, kb)]:.2f} |")
    return rows, ratios


def cli_table(cp, tools):
    rows = ["| Buffer | brindlecap-cli, MiB/s | dd, MiB/s | ddrescue, MiB/s | ÷ cp | ÷ dd "
            "| ÷ ddrescue |",
            "|---:|---:|---:|---:|---:|---:|---:|"]
    ratios = {}
    for kb in BUFFER_KB:
        cli, dd, rescue = (tools[(tool, kb)] for tool in ("cli", "dd", "ddrescue"))
        ratios[kb] = (cli.median / cp.median, cli.median / dd.median,
                      cli.median / rescue.median)
        rows.append(f"| {kb} KB | {cli.text(0)} | {dd.text(0)} | {rescue.text(0)} | "
                    + " | ".join(f"{value:.2f}" for value in ratios[kb]) + " |")
    return rows, ratios


TICK_STEPS = [
    ("opening and closing the source", "OpenCloseSource"),
    ("opening and closing the destination", "OpenCloseDestination/disk:{disk}"),
    ("sizing `Buf` and zeroing what the read left", "RecreateBuf/KB:{kb}"),
    ("the read (page cache)", "Read/KB:{kb}"),
    ("the write", "Write/KB:{kb}/disk:{disk}"),
    ("the buffer size read from its caption", "ReadBufferCaption"),
    ("formatting the display texts", "DisplayTexts"),
]
OVERHEAD_STEPS = 3  # the opens and closes, and Buf


def tick_tables(figures, scratch):
    tables = []
    overhead = {}
    fast_name = scratch.fast_destination()[0]
    for kb in (256, 2048):
        for disk, name in ((0, fast_name), (1, "disk")):
            tick = figures[f"Tick/KB:{kb}/disk:{disk}"]
            rows = [f"**{kb} KB chunks into a file on {name}**", "",
                    "| Step | µs | Share of the tick |", "|---|---:|---:|"]
            total = 0.0
            for index, (label, key) in enumerate(TICK_STEPS):
                figure = figures[key.format(kb=kb, disk=disk)]
                total += figure.median
                if index == OVERHEAD_STEPS - 1:
                    overhead[(kb, name)] = total / tick.median
                rows.append(f"| {label} | {figure.text(1)} | "
                            f"{100 * figure.median / tick.median:.1f} % |")
            rest = tick.median - total
            rows.append(f"| everything else in the tick (the engine's own steps, caches) "
                        f"| {rest:,.1f} | {100 * rest / tick.median:.1f} % |")
            rows.append(f"| **the whole tick** | {tick.text(1)} | 100 % |")
            rows.append(f"| open, close and `Buf` together | "
                        f"{overhead[(kb, name)] * tick.median:,.1f} | "
                        f"{100 * overhead[(kb, name)]:.1f} % |")
            tables.append(rows)
    return tables, overhead


def damaged_disc_sections(discs, delay_ms):
    clean = all(result["wrong"] == 0 for result in discs.values())
    lines = [
        "Four disc images on the FUSE test medium (`tests/media/faulty_medium`), each with "
        "damage of one kind at fixed places, in 2048-byte sectors. *Direct*: every read "
        "reaches the medium as asked (the medium's direct-io); *page cache*: the kernel reads "
        "whole pages and reads ahead. Each failing read takes "
        f"{delay_ms} ms before it fails (`BENCH_DELAY_MS`); a real drive takes seconds, so the "
        "failing reads are the figure that counts. They are counted by the medium itself. "
        "Lost bytes are readable bytes the copy does not hold. The longest tick is how long "
        "the window stood still at most (the real window, offscreen, with its 1 ms timer). "
        "The counts are the same on every run; the times are of one run. *cli, "
        "--passes=copy, then all* is two runs of the same command, the second without "
        "`--passes`: their failing reads and times add up. *Copy twice* is Copy pressed "
        "again in the same window once the first job ended: the second reads each sector "
        "the first found bad once more on its own, and nothing the first rescued; the "
        "failing reads and times of both add up, and the bytes the second try recovered "
        "follow the name (none here: this damage is for good). "
        + ("No copy held a byte that was neither the medium's nor zero." if clean else
           "**Some copy held bytes that were neither the medium's nor zero.**"), "",
        "```",
        "bench_window copy MEDIUM/disc.iso FOLDER KB     # KB = 32, 256, 2048",
        "bench_window copy MEDIUM/disc.iso FOLDER 256 2",
        "brindlecap-cli -q -b 256 [--passes=copy] MEDIUM/disc.iso FOLDER",
        f"ddrescue -q -b {DISC_SECTOR} MEDIUM/disc.iso COPY MAPFILE",
        f"ddrescue -q -n -b {DISC_SECTOR} MEDIUM/disc.iso COPY MAPFILE",
        "```", "",
    ]
    for shape, size, bad in shape_summaries():
        lines += [f"**{shape}** ({bad:,} bad bytes of {size:,})", "",
                  "| Access | Tool | Readable bytes lost | Failing reads | Wall time, s "
                  "| Longest tick, s |",
                  "|---|---|---:|---:|---:|---:|"]
        for (name, access, tool), result in discs.items():
            if name != shape:
                continue
            longest = f"{result['longest']:.3f}" if result["longest"] is not None else "—"
            if tool == WINDOW_TWICE:
                tool += f" (recovered {result['recovered']:,} bytes)"
            lines.append(f"| {access} | {tool} | {result['lost']:,} | {result['failing']:,} | "
                         f"{result['seconds']:.2f} | {longest} |")
        lines.append("")
    return lines


def blocks_over_sectors_sections(results, delay_ms):
    if results is None:
        return ["Not measured: the FUSE test medium was not built.", ""]
    clean = all(result["wrong"] == 0 for result in results.values())
    lines = [
        "The same four shapes of damage on a medium that reports 4096-byte blocks, as a "
        "disk's ext4 or FAT does, or a disc image served through FUSE or a network, while "
        "its own sectors are 2048 or 512 bytes; nothing tells the copy the sector. The shapes "
        "are laid out in the medium's sectors (the 512-byte ones have a quarter of the bad "
        "bytes), and a request that meets a bad sector fails whole, as a drive's does. The "
        "copy halves a failed block at each edge of a bad stretch down to 512 bytes, and "
        "learns the sector from where the edges fall: an edge off a block's boundary brings "
        "its grain down to the finest boundary seen, and eight edges on one boundary stop "
        "the halving there. "
        f"Each failing read takes {delay_ms} ms. ddrescue is given the true sector "
        "(`-b`). " + ("No copy held a byte that was neither the medium's nor zero." if clean
                      else "**Some copy held bytes that were neither the medium's nor zero.**"),
        "",
        "```",
        "bench_window copy MEDIUM/disc.iso FOLDER KB     # KB = 32, 256, 2048",
        "brindlecap-cli -q -b 256 MEDIUM/disc.iso FOLDER",
        "ddrescue -q -b SECTOR MEDIUM/disc.iso COPY MAPFILE",
        "```", "",
    ]
    for sector in BLOCK_MEDIUM_SECTORS:
        for shape, size, bad in shape_summaries(sector):
            lines += [f"**{sector}-byte sectors: {shape}** ({bad:,} bad bytes of {size:,})", "",
                      "| Access | Tool | Readable bytes lost | Failing reads | Wall time, s |",
                      "|---|---|---:|---:|---:|"]
            for (medium_sector, name, access, tool), result in results.items():
                if medium_sector == sector and name == shape:
                    lines.append(f"| {access} | {tool} | {result['lost']:,} | "
                                 f"{result['failing']:,} | {result['seconds']:.2f} |")
            lines.append("")
    return lines


def resumed_sections(results, delay_ms):
    size, hard, soft = RESUME_IMAGE
    hard_bytes = sum(end - start for start, end in hard)
    soft_bytes = sum(end - start for start, end in soft)
    lines = [
        f"One {size // MIB} MiB image with {len([r for r in hard if r[1] - r[0] > DISC_SECTOR])}"
        f" long bad runs, {len([r for r in hard if r[1] - r[0] == DISC_SECTOR])} isolated bad "
        f"sectors ({hard_bytes:,} bad bytes in all) and {len(soft)} stretches of 1 to 4 "
        f"sectors ({soft_bytes:,} bytes) that fail until the disc is cleaned; {delay_ms} ms per "
        "failing read, every read reaching the medium. Three runs of the same command, each "
        "keeping its map: the first stopped with SIGINT (sent by the medium) when it reads the "
        "middle of the image, the second to the end, the third after cleaning (the soft "
        "sectors read from then on). *Read again* counts bytes read that the tool's own map "
        "already marked rescued before that run. Lost bytes are readable bytes missing at the "
        "end. ddrescue's default run never retries a bad sector, so it does not get the "
        "cleaned sectors; with `-r1` on the third run it does.", "",
        "```",
        "brindlecap-cli -q -t FOLDER MEDIUM/disc.iso",
        f"ddrescue -q -b {DISC_SECTOR} [-r1] MEDIUM/disc.iso FOLDER/disc.iso MAPFILE",
        "```", "",
        "| Tool | Run | Exit status | Failing reads | Reads | Bytes read again | Wall time, s |",
        "|---|---:|---:|---:|---:|---:|---:|",
    ]
    for tool, result in results.items():
        for number, run in enumerate(result["runs"], 1):
            lines.append(f"| {tool} | {number} | {run['status']} | {run['failing']:,} | "
                         f"{run['reads']:,} | {run['again']:,} | {run['seconds']:.2f} |")
        total = sum(run["failing"] for run in result["runs"])
        lines.append(f"| {tool} | all three | | **{total:,}** | | | |")
    lines += ["", "| Tool | Readable bytes lost at the end | Bytes neither the medium's nor zero |",
              "|---|---:|---:|"]
    for tool, result in results.items():
        lines.append(f"| {tool} | {result['lost']:,} | {result['wrong']:,} |")
    return lines + [""]


def map_sections(small, scratched):
    ratio = small["cli"].median / small["cp -r + sync"].median
    lines = [
        f"{TREE_FOLDERS * TREE_FILES:,} files of {TREE_FILE_BYTES // 1024} KB in "
        f"{TREE_FOLDERS} folders, from the page cache into a folder on disk. The command "
        "line keeps a rescue map for each file (each rescued whole at once: one line in its "
        "folder's finished list) and puts the copies and the maps on the disk "
        "before it ends: a thread of its own starts each copy on its way to the disk as it "
        "is written, and one syncfs for each batch of two seconds makes the batch durable; "
        "cp is followed by a sync "
        "of the folder's file system to be on the disk too. Each run copies into a new "
        "folder, after a sync outside the timing; the tools take turns at going first, and "
        "the copies are removed at the end.", "",
        "```",
        "brindlecap-cli -q [--no-map] -r TREE FOLDER",
        "cp -r TREE FOLDER/tree && sync -f FOLDER/tree",
        "```", "",
        "| Tool | Wall time, s | ÷ (cp -r + sync) |", "|---|---:|---:|",
    ]
    for tool, figure in small.items():
        lines.append(f"| {tool} | {figure.text(2)} | "
                     f"{figure.median / small['cp -r + sync'].median:.2f} |")
    lines += ["", f"With maps the command line takes {ratio:.2f} × cp -r and a sync.", ""]
    if scratched is None:
        return lines + ["The scratched file was not measured: the FUSE test medium is not "
                        "available.", ""]
    lines += [
        f"One {SCRATCHED_BYTES >> 30} GiB file on the FUSE test medium with a one-sector "
        "(512-byte) bad area at a fixed pace, failing at once, every read reaching the medium; "
        "its map ends with twice as many blocks as bad areas. The user time is the "
        "program's own (wait4), median of the runs. *Difference ÷ with* is what the run with "
        "maps takes beyond the run without, of the run with them; the user time of these "
        "runs varies by more than that from run to run (below zero where the difference is "
        "smaller than the variation). *Maps' code, sampled* is measured within one more run "
        "with maps: perf samples its user time about a thousand times a second with the "
        "call stack, and this is the share of the samples with a frame of the maps' code "
        "(`MapRecord`, `RescueMap`, `FinishedList`, `SourceFingerprint`, `MapFolder`, "
        "`WrittenCopy`, `FileSystemSync`). The report, the salvage and the reads are the same "
        "in both.", "",
        "```",
        "brindlecap-cli -q [--no-map] MEDIUM/disc.iso FOLDER",
        "```", "",
        "| Bad areas | Runs | User time with maps, s | Without, s | Difference ÷ with "
        "| Maps' code, sampled | Wall time with maps, s | Without, s |",
        "|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for areas, (figures, sampled) in scratched.items():
        (user, wall), (user_without, wall_without) = figures["maps"], figures["--no-map"]
        sampled_text = "n/a" if sampled is None else f"{100 * sampled:.1f} %"
        lines.append(f"| {areas:,} | {len(user.values)} | {user.text(2)} | "
                     f"{user_without.text(2)} | {100 * map_share(figures):.1f} % | "
                     f"{sampled_text} | {wall.text(1)} | {wall_without.text(1)} |")
    return lines + [""]


def deep_tree_sections(peaks):
    lines = [
        "A chain of folders, each holding only the next, with one 4 KiB file at the bottom, "
        "copied whole from the page cache into a folder on disk. The path of the bottom file "
        "is longer than the system takes by name (4,096 bytes) from about 2,000 levels on. "
        "Peak resident set as in section 4.", "",
        "```",
        "brindlecap-cli -q -r TREE FOLDER",
        "cp -r TREE FOLDER",
        "```", "",
        "| Levels | brindlecap-cli, MiB | Exit status | cp -r, MiB | Exit status |",
        "|---:|---:|---:|---:|---:|",
    ]
    for levels, (figures, statuses) in peaks.items():
        row = [f"{levels:,}"]
        for tool in ("cli", "cp -r"):
            row += [figures[tool].text(1), ", ".join(map(str, sorted(statuses[tool])))]
        lines.append("| " + " | ".join(row) + " |")
    return lines + ["", "cp -r exits 1 where it could not copy the whole tree (\"File name "
                    "too long\").", ""]


def slow_medium_sections(results):
    lines = [
        f"A healthy {SLOW_DISC_BYTES // MIB} MiB image on the FUSE test medium, which takes "
        f"{SLOW_PACE_US / 1000:g} ms for every 64 KiB it serves and serves one request at a "
        "time, as a slow drive does. *Direct*: every read reaches the medium as asked; *page "
        "cache*: the kernel reads ahead, and keeps what it read when the file is opened again, "
        "as its own disc file systems (iso9660, udf) do. The rate is the image's size over the "
        "wall time, in MiB/s, the window's from the press of Copy to the tick that shows the "
        "end of the job, as in section 1 (its start, about a tenth of a second, copies "
        "nothing); the copy goes to the same place as in section 5. The window "
        "opens the source again for every chunk, and on this medium each lookup, open and "
        "close is a request of its own (it lets the kernel cache no name or attribute), "
        "which a kernel file system answers from memory. Each request wakes a thread of the "
        "medium, and on this virtual machine a processor that fell idle is woken through the "
        "host: the window's waiting thread sleeps through each read, and its requests around "
        "the read take several times as long as they do with a processor kept busy.", "",
        "```",
        "bench_window copy MEDIUM/disc.iso FOLDER KB",
        "brindlecap-cli -q -b KB MEDIUM/disc.iso FOLDER",
        "dd if=MEDIUM/disc.iso of=COPY bs=KBK status=none",
        f"ddrescue -q -b {DISC_SECTOR} --cluster-size=KB×1024/{DISC_SECTOR} MEDIUM/disc.iso "
        "COPY MAPFILE",
        "```", "",
        "| Access | Buffer | window | brindlecap-cli | dd | ddrescue | cli ÷ dd | window ÷ dd |",
        "|---|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for access in ("direct", "page cache"):
        for kb in (256, 2048):
            rates = {tool: results[(access, kb, tool)]
                     for tool in ("window", "brindlecap-cli", "dd", "ddrescue")}
            dd = rates["dd"].median
            lines.append(f"| {access} | {kb} KB | " +
                         " | ".join(rate.text(1) for rate in rates.values()) +
                         f" | {rates['brindlecap-cli'].median / dd:.2f}"
                         f" | {rates['window'].median / dd:.2f} |")
    return lines + [""]


def easy_data_sections(results, delay_ms):
    lines = [
        "Two 16 MiB files on one medium, read directly: `disc.iso` with a 4 MiB stretch that "
        f"reads nothing ({delay_ms} ms per failing read), then `healthy.iso`. *healthy.iso "
        "complete* is when its copy reached its full length, from the start of the job.", "",
        "```",
        "brindlecap-cli -q -b 256 MEDIUM/disc.iso MEDIUM/healthy.iso FOLDER",
        f"ddrescue -q -b {DISC_SECTOR} MEDIUM/disc.iso COPY MAPFILE; "
        f"ddrescue -q -b {DISC_SECTOR} MEDIUM/healthy.iso COPY MAPFILE",
        "```", "",
        "| Tool | healthy.iso complete, s | Whole job, s | Failing reads |",
        "|---|---:|---:|---:|",
    ]
    for tool, (complete, total, failing) in results.items():
        lines.append(f"| {tool} | {complete:.2f} | {total:.2f} | {failing:,} |")
    return lines + [""]


def unlistable_headline(results):
    if results is None:
        return []
    ours, failing, _, _ = results["ours"]
    return [f"- A disc whose primary root folder does not read gives {ours} of its "
            f"{results['files']} files to `brindlecap-cli --disc`, in {failing:,} failing "
            f"read{'s' if failing != 1 else ''}."]


def unlistable_disc_sections(results, delay_ms):
    ours, failing, seconds, _ = results["ours"]
    mounted, mount_failing, refused = results["mount"]
    imaged_failing, imaged_seconds = results["ddrescue"]
    mount_text = (f"refused on this machine: {refused}" if refused
                  else f"{mounted} of {results['files']}")
    lines = [
        f"A 100 MiB hybrid disc made with `genisoimage -udf -J -R` ({results['files']} files "
        f"of {UNLISTABLE_FILE_BYTES / MIB:g} MiB in four folders under `DCIM`), served read "
        f"directly with its primary tree's root folder (sector {results['root']}) unreadable, "
        f"{delay_ms} ms per failing read. The Joliet tree and UDF still list every file.", "",
        "```",
        "brindlecap-cli -q --disc=MEDIUM/disc.iso FOLDER",
        "mount -t iso9660 -o ro,loop MEDIUM/disc.iso MOUNT && cp -r MOUNT/. FOLDER",
        f"ddrescue -q -b {DISC_SECTOR} MEDIUM/disc.iso IMAGE MAPFILE",
        "brindlecap-cli --disc=IMAGE --disc-map=MAPFILE --list",
        "```", "",
        "| Tool | Files rescued byte-exact | Failing reads | Time, s |",
        "|---|---:|---:|---:|",
        f"| brindlecap-cli --disc | {ours} of {results['files']} | {failing:,} | "
        f"{seconds:.2f} |",
        f"| mount + cp | {mount_text} | {mount_failing:,} | |",
        f"| ddrescue, whole disc | an image, no files | {imaged_failing:,} | "
        f"{imaged_seconds:.2f} |", "",
        "ddrescue's image says nothing of files by itself; read with its map, "
        f"`--list` ends: *{results['listing']}* (the bad sector holds a folder, no file's "
        "data).", "",
        "Both try the bad sector once: the disc reader asks for a one-sector folder on its "
        "own, as ddrescue does in its scraping; the copy then reads each file once.", "",
    ]
    return lines


def share_text(figures, sampled):
    """The sampled share where perf could sample, else the difference of the medians."""
    return f"{100 * (map_share(figures) if sampled is None else sampled):.1f} %"


MAP_CODE = re.compile(r"brindlecap::(MapRecord|RescueMap|FinishedList|SourceFingerprint|"
                      r"MapFolder|WrittenCopy|FileSystemSync)::")


def sampled_map_share(command, data):
    """The share of a run's user time spent in the maps' code: perf samples the user time
    about a thousand times a second, each sample with its call stack, and those with a
    frame of the maps' code count. None where perf cannot sample here."""
    record = subprocess.run(["perf", "record", "-q", "-e", "cpu-clock:u", "-F", "999",
                             "--call-graph", "dwarf,16384", "-o", str(data), "--", *command],
                            capture_output=True, text=True, check=False)
    if record.returncode not in (0, 1) or not data.exists():
        return None
    script = subprocess.run(["perf", "script", "-i", str(data)], capture_output=True, text=True,
                            check=False)
    data.unlink()
    samples = [sample for sample in script.stdout.split("\n\n") if sample.strip()]
    if not samples:
        return None
    return sum(1 for sample in samples if MAP_CODE.search(sample)) / len(samples)


def map_share(figures):
    return 1 - figures["--no-map"][0].median / figures["maps"][0].median


def map_headlines(small, scratched):
    lines = [f"- With a rescue map for each file, `-r` over {TREE_FOLDERS * TREE_FILES:,} small "
             "files "
             f"takes {small['cli'].median / small['cp -r + sync'].median:.2f} × cp -r and a "
             "sync."]
    if scratched:
        lines.append("- On a file scratched all over, the maps' code takes " + ", ".join(
            f"{share_text(figures, sampled)} of the user time with {areas:,} bad areas"
            for areas, (figures, sampled) in scratched.items()) + ".")
    return lines


def shape_summaries(sector=DISC_SECTOR):
    for shape, (size, bad) in damage_shapes(sector).items():
        yield shape, size, sum(end - start for start, end in bad)


def write_report(path, sections):
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    Path(path).write_text("\n".join(sections) + "\n")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build, report = sys.argv[1], sys.argv[2]
    runs = int(os.environ.get("BENCH_RUNS", "5"))
    delay_ms = int(os.environ.get("BENCH_DELAY_MS", "10"))
    scratch = Scratch(os.environ.get("BENCH_WORK", Path(build) / "bench-work"))
    bench = Bench(build, runs, scratch)
    try:
        timer, window_cp, window_dd, ours, window_peaks, idle_peak = bench.window_rate()
        cli_place, cli_cp, cli_tools, cli_peaks = bench.cli_throughput()
        tick_figures = bench.tick_breakdown()
        discs, disc_problem = bench.damaged_discs(delay_ms)
        blocks = bench.blocks_over_sectors(delay_ms)
        resumed = bench.resumed_rescue(delay_ms)
        small_files, scratched = bench.map_costs()
        deep = bench.deep_trees()
        slow = bench.slow_medium()
        easy = bench.easy_data_first(delay_ms)
        unlistable = bench.unlistable_disc(delay_ms)
        machine = machine_lines(bench, scratch)
    finally:
        scratch.close()

    window_rows, window_ratios = window_table(timer, window_cp, window_dd, ours, scratch)
    cli_rows, cli_ratios = cli_table(cli_cp, cli_tools)
    tick_rows, overhead = tick_tables(tick_figures, scratch)
    fast_name = scratch.fast_destination()[0]
    worst_window = min(window_ratios.values())

    sections = [
        "# Benchmarks", "",
        "Written by `make bench` (`bench/benchmarks.py`); do not edit by hand. Each figure is "
        "the median of several runs with the minimum and maximum in brackets, all taken on "
        "this machine in one run of `make bench`; each ratio divides two medians of that run. "
        "Nothing here is a pass or fail: the numbers are for reading.", "",
        "## Machine", "", *machine, "",
        "## Headlines", "",
        f"- The window's copy rate is at least {worst_window:.2f} of what bounds it "
        "(the 1 ms timer, or dd with the same chunk into the same place, whichever is lower) "
        "at every buffer size.",
        f"- brindlecap-cli at 256 KB: {cli_ratios[256][0]:.2f} × cp, "
        f"{cli_ratios[256][1]:.2f} × dd, {cli_ratios[256][2]:.2f} × ddrescue; at 2048 KB: "
        f"{cli_ratios[2048][0]:.2f} × cp, {cli_ratios[2048][1]:.2f} × dd, "
        f"{cli_ratios[2048][2]:.2f} × ddrescue.",
        f"- Opening and closing both files and preparing `Buf` take "
        f"{100 * overhead[(256, fast_name)]:.1f} % of a 256 KB tick into {fast_name} and "
        f"{100 * overhead[(256, 'disk')]:.1f} % into a file on disk.",
        *map_headlines(small_files, scratched),
        f"- A tree {DEEP_TREE_LEVELS[-1]:,} folders deep is copied whole with a peak resident "
        f"set of {deep[DEEP_TREE_LEVELS[-1]][0]['cli'].median:.1f} MiB.",
        *unlistable_headline(unlistable), "",
        "## 1. The window's copy rate", "",
        f"The real main window on Qt's offscreen platform, with its real 1 ms timer, copies a "
        f"{WINDOW_SOURCE_BYTES // MIB} MiB file of random bytes from the page cache into a new "
        "file. The rate runs from the press of Copy to the tick that shows the end of the job. "
        f"An empty timer of the same kind beside the idle window fires {timer.text(1)} times a "
        "second; the timer bound is that rate times the chunk size. dd copies the same file to "
        "the same place with the same chunk (the destination's own rate: a tick can be no "
        "shorter than its read and its write), cp with its own. Each copy is removed and the "
        "folder synced before the next run, outside the timing.", "",
        "```",
        "bench_window timer 5",
        "bench_window copy SOURCE FOLDER KB        # KB = 32 ... 2048",
        "dd if=SOURCE of=FOLDER/NAME bs=KBK status=none",
        "cp SOURCE FOLDER/NAME",
        "```", "",
        *window_rows, "",
        "## 2. The command line's throughput", "",
        f"A {CLI_SOURCE_BYTES // MIB} MiB file of random bytes in the page cache, copied into a "
        f"new file on {cli_place}. The command line has no timer: it moves one chunk after "
        f"the other. cp takes {cli_cp.text(0)} MiB/s. ddrescue's cluster is set to the chunk "
        "size, so that each tool moves the same amount per read.", "",
        "```",
        "brindlecap-cli -q -b KB SOURCE FOLDER",
        "dd if=SOURCE of=COPY bs=KBK conv=noerror,sync status=none",
        "ddrescue -q --cluster-size=2×KB SOURCE COPY MAPFILE",
        "cp SOURCE COPY",
        "```", "",
        *cli_rows, "",
        "## 3. Where a tick's time goes", "",
        "Google Benchmark (`bench/tick_steps.cpp`) times the whole tick of the copy job, as "
        "the command line drives it (plain-data fields, the POSIX file access, the locale's "
        "number format), and each of its steps on its own with the same code and the same "
        f"files: the {WINDOW_SOURCE_BYTES // MIB} MiB source in the page cache, a destination "
        "written from its start on each pass, the way a fresh copy is. A step's share divides "
        "its median by the tick's; what the steps leave over is the engine's own work plus "
        "what they cost together and not apart (caches).", "",
        "```",
        "bench_tick_steps --benchmark_repetitions=RUNS --benchmark_min_time=0.5 "
        "SOURCE TMPFS_FOLDER DISK_FOLDER",
        "```", "",
    ]
    for rows in tick_rows:
        sections += [*rows, ""]
    window_2048 = window_peaks[2048]
    sections += [
        "## 4. Peak resident memory", "",
        "The peak resident set of each program over a whole job, from the kernel's account of "
        "the finished process (GNU time's %M: a plain wait4 would count the copy of the "
        "benchmark script the program was forked from), for the runs of tables 1 and 2.", "",
        "| Program | Job | Peak RSS, MiB |", "|---|---|---:|",
        f"| window (bench_window) | idle, no job | {idle_peak.text(1)} |",
        f"| window (bench_window) | 32 KB, {WINDOW_SOURCE_BYTES // MIB} MiB into {fast_name} "
        f"| {window_peaks[32].text(1)} |",
        f"| window (bench_window) | 2048 KB, {WINDOW_SOURCE_BYTES // MIB} MiB into {fast_name} "
        f"| {window_2048.text(1)} |",
        f"| brindlecap-cli | 32 KB, {CLI_SOURCE_BYTES // MIB} MiB into {cli_place} "
        f"| {cli_peaks[32].text(1)} |",
        f"| brindlecap-cli | 2048 KB, {CLI_SOURCE_BYTES // MIB} MiB into {cli_place} "
        f"| {cli_peaks[2048].text(1)} |", "",
        "## 5. Damaged discs", "",
    ]
    if discs is None:
        sections += [f"Not measured on this machine: {disc_problem}.", ""]
    else:
        sections += damaged_disc_sections(discs, delay_ms)
        sections += ["### 4096-byte blocks over smaller sectors", "",
                     *blocks_over_sectors_sections(blocks, delay_ms)]
    sections += ["## 6. Stopped, resumed, retried", ""]
    if resumed is None:
        sections += ["Not measured on this machine: the FUSE test medium is not available.", ""]
    else:
        sections += resumed_sections(resumed, delay_ms)
    sections += ["## 7. Rescue maps at scale", "", *map_sections(small_files, scratched)]
    sections += ["## 8. Deep folder trees", "", *deep_tree_sections(deep)]
    unmeasured = ["Not measured on this machine: the FUSE test medium is not available.", ""]
    sections += ["## 9. A slow healthy medium", "",
                 *(unmeasured if slow is None else slow_medium_sections(slow))]
    sections += ["## 10. Every file's easy data first", "",
                 *(unmeasured if easy is None else easy_data_sections(easy, delay_ms))]
    sections += ["## 11. A disc that will not open", "",
                 *(unmeasured if unlistable is None
                   else unlistable_disc_sections(unlistable, delay_ms))]
    # What was changed after earlier runs, with this run's figures filled in.
    current = collections.defaultdict(lambda: "n/a")
    for (name, kb), ratio in window_ratios.items():
        current[f"window_{name}_{kb}"] = f"{ratio:.2f}"
    for (kb, name), share in overhead.items():
        current[f"overhead_{name}_{kb}"] = f"{100 * share:.1f} %"
    for name, figure in tick_figures.items():
        current[name.replace("/", "_").replace(":", "")] = f"{figure.median:,.1f}"
    changes = Path(__file__).with_name("changes.md")
    if changes.exists():
        sections += [changes.read_text().format_map(current).rstrip(), ""]
    write_report(report, sections)
    log(f"wrote {report}")


if __name__ == "__main__":
    main()
