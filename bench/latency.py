#!/usr/bin/env python3
"""Telemetry-to-output latency of quorvane on PipeWire and on jackd.

For each case it starts a private audio server, writes a settings folder whose
audio slot names the server's device "system" with the case's buffer size, and
plays only the gear-change effect, starts the release-built quorvane (with
qv-audiohost beside it) as a desktop would, and runs bench/qv_latency_probe:
it writes iRacing's shared memory, steps the gear N times at random moments
and, as a JACK client of the same server, times the first sample of each
gear pulse:

  graph  the program's output ports, in the cycle that carries the pulse
  sink   the sink's monitor ports (PipeWire only: what the sink played)

Cases: PipeWire with a desktop's clock (default.clock.quantum 1024,
min-quantum 32, max-quantum 2048) and the device's buffer size set to 256,
then to 1024; jackd (dummy back-end) at 256 frames. The program asks the
server for whatever it asks for today, so a change in how it asks shows in
the figures. Prints p50, p95 and max in milliseconds, the buffer size the
graph ran at, and the load average before and after (the figures mean
something only on an idle machine).

Exit code 1, with a message naming the server and its log, when a server
cannot be started or the program plays nothing.

Usage: bench/latency.py BUILD_DIR [--events N] [--case NAME ...]
Cases: pipewire-256, pipewire-1024, jackd-256 (default: all three).
"""

import argparse
import math
import os
import shutil
import signal
import subprocess
import sys

# The shared module is imported from the source tree: leave no bytecode there.
sys.dont_write_bytecode = True
from private_run import PrivateRun, SetupError, find_program, wait_for

# Where Debian's pipewire-jack puts PipeWire's libjack (pw-jack uses it).
PIPEWIRE_JACK = "/usr/lib/x86_64-linux-gnu/pipewire-0.3/jack"
CASES = {
    "pipewire-256": ("pipewire", 256),
    "pipewire-1024": ("pipewire", 1024),
    "jackd-256": ("jackd", 256),
}

# A desktop's clock; otherwise the graph of tests/support/PipeWireServer.cpp:
# a dummy driver and an 8-channel null sink "system" with monitor ports.
PIPEWIRE_CONFIG = """context.properties = {{
    core.daemon = true
    core.name = {name}
    support.dbus = false
    mem.allow-mlock = false
    default.clock.rate = 48000
    default.clock.quantum = 1024
    default.clock.min-quantum = 32
    default.clock.max-quantum = 2048
}}
context.spa-libs = {{
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}}
context.modules = [
    {{ name = libpipewire-module-protocol-native }}
    {{ name = libpipewire-module-metadata }}
    {{ name = libpipewire-module-access }}
    {{ name = libpipewire-module-profiler }}
    {{ name = libpipewire-module-spa-node-factory }}
    {{ name = libpipewire-module-client-node }}
    {{ name = libpipewire-module-adapter }}
    {{ name = libpipewire-module-link-factory }}
]
context.objects = [
    {{ factory = spa-node-factory args = {{ factory.name = support.node.driver node.name = Dummy-Driver
        priority.driver = 20000 }} }}
    {{ factory = adapter args = {{
        factory.name = support.null-audio-sink
        node.name = "system"
        node.description = "system"
        media.class = "Audio/Sink"
        audio.rate = 48000
        audio.channels = 8
        audio.position = [ FL FR RL RR FC LFE SL SR ]
        adapter.auto-port-config = {{ mode = dsp monitor = true position = preserve }}
        node.driver = true
        priority.driver = 30000
        object.linger = true
    }} }}
]
"""

# Only the gear change plays (a 40 ms pulse at full intensity): between pulses
# the program's output is exact zeros.
GEAR_ONLY_PROFILE = """{
  "version": 3,
  "sim": "iracing",
  "name": "default",
  "effectEnabled": [false, false, false, false, false, true, false],
  "gearChangeIntensity": 1.0,
  "gearChangeDuration": 0.0
}
"""


def percentile(values, fraction):
    """Nearest-rank percentile of a non-empty list."""
    ordered = sorted(values)
    rank = max(1, math.ceil(fraction * len(ordered)))
    return ordered[rank - 1]


def parse_probe(text):
    """(buffer frames, graph latencies, sink latencies, missed) from the probe's output."""
    frames = None
    graph, sink = [], []
    missed = 0
    for line in text.splitlines():
        words = line.split()
        if len(words) == 3 and words[0] == "buffer":
            frames = int(words[1])
        elif len(words) == 6 and words[0] == "event":
            if words[3] == "-":
                missed += 1
            else:
                graph.append(float(words[3]))
            if words[5] != "-":
                sink.append(float(words[5]))
    return frames, graph, sink, missed


class Case(PrivateRun):
    def __init__(self, build, program, probe, server, frames, events):
        super().__init__(f"qv-latency-{server}-{frames}-", f"qvlat{os.getpid()}-{server}-{frames}")
        self.build = build
        self.program = program
        self.probe = probe
        self.server = server
        self.frames = frames
        self.events = events

    def program_env(self):
        """The program finds the server as on a desktop: jackd by its name, PipeWire by its socket."""
        env = self.base_env()
        if self.server == "pipewire":
            env["PIPEWIRE_REMOTE"] = self.name
            env["JACK_DEFAULT_SERVER"] = self.name + "-nojack"
        else:
            env["JACK_DEFAULT_SERVER"] = self.name
        return env

    def client_env(self):
        """A JACK client of the server (for PipeWire through its libjack, as pw-jack does)."""
        env = self.base_env()
        env["JACK_DEFAULT_SERVER"] = self.name
        if self.server == "pipewire":
            env["PIPEWIRE_REMOTE"] = self.name
            env["LD_LIBRARY_PATH"] = PIPEWIRE_JACK
        return env

    # ---- servers ----

    def start_server(self):
        os.makedirs(os.path.join(self.root, "runtime"), mode=0o700, exist_ok=True)
        if self.server == "pipewire":
            self.start_pipewire()
        else:
            self.start_jackd(self.frames, "server.log")

    def start_pipewire(self):
        for tool in ("pipewire", "jack_lsp"):
            if shutil.which(tool) is None:
                raise SetupError(f"{tool} not found in PATH (Debian packages pipewire, jackd2)")
        if not os.path.exists(os.path.join(PIPEWIRE_JACK, "libjack.so.0")):
            raise SetupError("PipeWire's JACK library is missing (Debian package pipewire-jack)")
        config = os.path.join(self.root, "pipewire.conf")
        with open(config, "w") as f:
            f.write(PIPEWIRE_CONFIG.format(name=self.name))
        env = self.base_env()
        env["PIPEWIRE_DEBUG"] = "2"
        self.start(["pipewire", "-c", config], env, "server.log")
        wait_for(lambda: self.ports_ready("pipewire", "server.log", ("system:playback_SR", "system:monitor_FL"),
                                          self.client_env()), 20, "the PipeWire server's sink")

    # ---- the program ----

    def write_settings(self):
        folder = self.write_jack_settings(self.frames, "\n[Config]\nselectedSim=0\nactiveProfile0=default\n")
        os.makedirs(os.path.join(folder, "profiles", "iracing"), exist_ok=True)
        with open(os.path.join(folder, "profiles", "iracing", "default.json"), "w") as f:
            f.write(GEAR_ONLY_PROFILE)

    def start_program(self):
        program = self.start([self.program], self.program_env(), "quorvane.log")

        def synth_ready():
            if program.poll() is not None:
                raise SetupError(f"quorvane exited with code {program.returncode}")
            return "Synth ready" in self.log("quorvane.log")

        wait_for(synth_ready, 60, "the program's synthesis")
        return program

    def run(self):
        self.write_settings()
        self.start_server()
        program = self.start_program()
        argv = [self.probe, "--shm-dir", os.path.join(self.root, "shm"), "--events", str(self.events)]
        if self.server == "pipewire":
            argv += ["--sink-ports", "^system:monitor_"]
        # Each event takes at most a few tenths of a second; the start up to a minute.
        probe = subprocess.run(argv, env=self.client_env(), capture_output=True, text=True,
                               timeout=90 + self.events * 3)
        with open(os.path.join(self.root, "probe.log"), "w") as f:
            f.write(probe.stdout + probe.stderr)
        if probe.returncode != 0:
            raise SetupError(f"the probe failed: {probe.stderr.strip()}")
        self.stop(program, signal.SIGINT, 30)
        frames, graph, sink, missed = parse_probe(probe.stdout)
        if not graph:
            raise SetupError("the probe heard no event")
        return frames, graph, sink, missed


def row(server, frames, graph_frames, where, values, missed):
    ms = " | ".join(f"{v:.1f}" for v in (percentile(values, 0.5), percentile(values, 0.95), max(values)))
    return f"| {server} | {frames} | {graph_frames} | {where} | {ms} | {len(values)} | {missed} |"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="the release build folder")
    parser.add_argument("--events", type=int, default=200, help="gear steps per case (default 200)")
    parser.add_argument("--case", action="append", choices=sorted(CASES), help="run only this case (repeatable)")
    args = parser.parse_args()
    if args.events < 1:
        parser.error("--events must be at least 1")
    build = os.path.abspath(args.build)
    program = find_program(build)
    probe = os.path.join(build, "bench", "qv_latency_probe")
    if program is None or not os.access(probe, os.X_OK):
        sys.exit(f"latency: quorvane, qv-audiohost and bench/qv_latency_probe are not all built in {build}")

    load_before = os.getloadavg()
    rows = []
    for name in args.case or list(CASES):
        server, frames = CASES[name]
        case = Case(build, program, probe, server, frames, args.events)
        try:
            graph_frames, graph, sink, missed = case.run()
        except (SetupError, subprocess.SubprocessError, OSError) as error:
            case.stop_all()
            print(f"latency: {name}: {error} (logs in {case.root})", file=sys.stderr)
            return 1
        case.stop_all()
        shutil.rmtree(case.root, ignore_errors=True)
        label = "PipeWire" if server == "pipewire" else "jackd"
        rows.append(row(label, frames, graph_frames, "graph", graph, missed))
        if sink:
            rows.append(row(label, frames, graph_frames, "sink", sink, args.events - len(sink)))
    load_after = os.getloadavg()

    print("Telemetry written to first sample of the gear pulse, in ms")
    print("| server | buffer | graph ran at | measured at | p50 | p95 | max | events | missed |")
    print("|---|---|---|---|---|---|---|---|---|")
    for line in rows:
        print(line)
    print(f"load average before {load_before[0]:.2f} {load_before[1]:.2f} {load_before[2]:.2f}, "
          f"after {load_after[0]:.2f} {load_after[1]:.2f} {load_after[2]:.2f} ({os.cpu_count()} cores)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
