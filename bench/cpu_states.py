#!/usr/bin/env python3
"""CPU time of quorvane and its audio host in five states.

Starts a private JACK server (the dummy back-end), a private Xvfb with openbox,
the release-built program and qv-simfeed playing the iRacing lap, and measures
the CPU time of quorvane and qv-audiohost (utime + stime of /proc/PID/stat) over
a window of N seconds in each state:

  no display, waiting      quorvane without DISPLAY, no simulator running
  no display, playing      the same with qv-simfeed driving the lap
  window open, waiting     quorvane on the Xvfb display, no simulator
  window open, playing     the same with qv-simfeed driving the lap
  window minimised, playing

Prints one table: percent of one core for each process and both together, and
the load average before and after (the figures mean something only on an idle
machine). Everything runs under names and folders of its own; everything it
started is ended by its process id.

Usage: bench/cpu_states.py BUILD_DIR [--seconds N] [--settle N] [--perf FOLDER]
--perf records where the time goes in each state (perf record -e cpu-clock
with DWARF call graphs on both processes during the measurement) and leaves perf's report of each in
FOLDER; the figures of such a run include perf's own cost.
BUILD_DIR is a build folder of the project (quorvane with qv-audiohost beside it,
and tools/simfeed/qv-simfeed).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

# The shared module is imported from the source tree: leave no bytecode there.
sys.dont_write_bytecode = True
from private_run import PrivateRun, SetupError, find_program, wait_for

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid):
    """utime + stime of a process in clock ticks, or None when it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            data = f.read()
    except OSError:
        return None
    fields = data[data.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])  # fields 14 and 15 of the whole line


def children_named(parent, name):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                data = f.read()
        except OSError:
            continue
        comm = data[data.index("(") + 1:data.rindex(")")]
        ppid = int(data[data.rindex(")") + 2:].split()[1])
        if ppid == parent and comm == name:
            found.append(int(entry))
    return found


class Bench(PrivateRun):
    def __init__(self, build, program, seconds, settle, perf=None):
        super().__init__("qv-cpu-bench-", f"qvbench-{os.getpid()}")
        self.perf = perf
        self.build = build
        self.program = program
        self.seconds = seconds
        self.settle = settle
        self.display = None

    def base_env(self):
        """The run's environment; JACK clients find the run's jackd."""
        env = super().base_env()
        env["JACK_DEFAULT_SERVER"] = self.name
        return env

    # ---- servers ----

    def start_x(self):
        read, write = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp", "-screen", "0", "1920x1080x24"],
                   None, "xvfb.log", pass_fds=(write,))
        os.close(write)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            raise SetupError("Xvfb did not come up")
        self.display = ":" + number.decode().strip()
        home = os.path.join(self.root, "openbox-home")
        os.makedirs(home, exist_ok=True)
        env = self.base_env()
        env.update(DISPLAY=self.display, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"), XDG_DATA_HOME=os.path.join(home, "data"))
        self.start(["openbox"], env, "openbox.log")

        def managed():
            r = subprocess.run(["xprop", "-display", self.display, "-root", "_NET_SUPPORTING_WM_CHECK"],
                               capture_output=True, text=True)
            return "window id" in r.stdout

        wait_for(managed, 20, "openbox")

    # ---- the program ----

    def write_config(self):
        self.write_jack_settings(256)
        os.makedirs(os.path.join(self.root, "runtime"), mode=0o700, exist_ok=True)

    def start_program(self, with_display, log):
        env = self.base_env()
        if with_display:
            env["DISPLAY"] = self.display
        program = self.start([self.program], env, log)
        path = os.path.join(self.root, log)

        def synth_ready():
            with open(path, errors="replace") as f:
                return "Synth ready" in f.read()

        wait_for(synth_ready, 60, "the program's synthesis")
        wait_for(lambda: children_named(program.pid, "qv-audiohost"), 10, "the audio host")
        host = children_named(program.pid, "qv-audiohost")[0]
        window = None
        if with_display:
            def find_window():
                r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(program.pid)],
                                   env=env, capture_output=True, text=True)
                ids = r.stdout.split()
                return ids[0] if ids else None

            wait_for(find_window, 20, "the main window")
            window = find_window()
        return program, host, window

    def start_feed(self):
        env = self.base_env()
        return self.start([os.path.join(self.build, "tools/simfeed/qv-simfeed"), "--sim", "iracing", "--script", "lap",
                           "--shm-dir", os.path.join(self.root, "shm")], env, "feed.log")

    def measure(self, pids, state):
        before = [cpu_ticks(p) for p in pids]
        start = time.monotonic()
        if self.perf:
            name = state.replace(",", "").replace(" ", "-")
            data = os.path.join(self.perf, name + ".data")
            subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-F", "1999", "--call-graph", "dwarf,32768", "-o", data,
                            "-p", ",".join(str(p) for p in pids), "--", "sleep", str(self.seconds)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            elapsed = time.monotonic() - start
            after = [cpu_ticks(p) for p in pids]
            with open(os.path.join(self.perf, name + ".txt"), "w") as out:
                subprocess.run(["perf", "report", "--stdio", "--no-children", "--percent-limit", "0.5",
                                "--sort", "comm,dso,symbol", "-i", data], stdout=out, stderr=subprocess.DEVNULL)
        else:
            time.sleep(self.seconds)
            elapsed = time.monotonic() - start
            after = [cpu_ticks(p) for p in pids]
        result = []
        for b, a in zip(before, after):
            if b is None or a is None:
                result.append(float("nan"))
            else:
                result.append(100.0 * (a - b) / CLOCK_TICKS / elapsed)
        return result

    def run(self):
        rows = []
        self.write_config()
        self.start_jackd(256, "jackd.log")
        self.start_x()

        program, host, _ = self.start_program(False, "quorvane-nodisplay.log")
        time.sleep(self.settle)
        rows.append(("no display, waiting", self.measure([program.pid, host], "no display, waiting")))
        feed = self.start_feed()
        time.sleep(self.settle + 4)  # the lap starts with 4 s in the garage
        rows.append(("no display, playing", self.measure([program.pid, host], "no display, playing")))
        self.stop(feed, signal.SIGINT)
        self.stop(program, signal.SIGINT, 30)

        program, host, window = self.start_program(True, "quorvane-window.log")
        time.sleep(self.settle + 3)  # the frame timer slows after 2 s of quiet meters
        rows.append(("window open, waiting", self.measure([program.pid, host], "window open, waiting")))
        feed = self.start_feed()
        time.sleep(self.settle + 4)
        rows.append(("window open, playing", self.measure([program.pid, host], "window open, playing")))
        env = self.base_env()
        env["DISPLAY"] = self.display
        subprocess.run(["xdotool", "windowminimize", window], env=env, check=True)
        time.sleep(self.settle)
        rows.append(("window minimised, playing", self.measure([program.pid, host], "window minimised, playing")))
        self.stop(feed, signal.SIGINT)
        self.stop(program, signal.SIGINT, 30)
        return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="the release build folder")
    parser.add_argument("--seconds", type=float, default=20.0, help="length of each measurement (default 20)")
    parser.add_argument("--settle", type=float, default=3.0, help="seconds before each measurement (default 3)")
    parser.add_argument("--perf", help="record a perf profile of each state into this folder")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    program = find_program(build)
    if program is None or not os.access(os.path.join(build, "tools/simfeed/qv-simfeed"), os.X_OK):
        sys.exit(f"quorvane, qv-audiohost and qv-simfeed are not all built in {build}")
    load_before = os.getloadavg()
    perf = None
    if args.perf:
        perf = os.path.abspath(args.perf)
        os.makedirs(perf, exist_ok=True)
    bench = Bench(build, program, args.seconds, args.settle, perf)
    try:
        rows = bench.run()
    except (RuntimeError, subprocess.SubprocessError, OSError) as error:
        bench.stop_all()
        print(f"cpu_states: {error} (logs in {bench.root})", file=sys.stderr)
        return 1
    finally:
        bench.stop_all()
    shutil.rmtree(bench.root, ignore_errors=True)
    load_after = os.getloadavg()
    print(f"CPU of one core over {args.seconds:g} s per state (utime + stime)")
    print(f"| state | quorvane | qv-audiohost | both |")
    print(f"|---|---|---|---|")
    for name, (program, host) in rows:
        print(f"| {name} | {program:.2f} % | {host:.2f} % | {program + host:.2f} % |")
    print(f"load average before {load_before[0]:.2f} {load_before[1]:.2f} {load_before[2]:.2f}, "
          f"after {load_after[0]:.2f} {load_after[1]:.2f} {load_after[2]:.2f} ({os.cpu_count()} cores)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
