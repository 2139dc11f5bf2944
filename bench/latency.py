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
import tempfile
import time

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


class SetupError(Exception):
    pass


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    raise SetupError(f"timed out waiting for {what}")


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


class Case:
    def __init__(self, build, program, probe, server, frames, events):
        self.build = build
        self.program = program
        self.probe = probe
        self.server = server
        self.frames = frames
        self.events = events
        self.root = tempfile.mkdtemp(prefix=f"qv-latency-{server}-{frames}-")
        self.name = f"qvlat{os.getpid()}-{server}-{frames}"
        self.processes = []

    # ---- processes ----

    def start(self, argv, env, log):
        out = open(os.path.join(self.root, log), "wb")
        p = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        out.close()
        self.processes.append(p)
        return p

    def log(self, name):
        try:
            with open(os.path.join(self.root, name), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def stop(self, p, sig=signal.SIGTERM, timeout=15):
        if p.poll() is None:
            p.send_signal(sig)
            try:
                p.wait(timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()

    def stop_all(self):
        for p in reversed(self.processes):
            self.stop(p)
        self.processes.clear()
        # jackd removes its files when it ends; a killed one leaves them.
        for f in os.listdir("/dev/shm"):
            if self.name in f:
                try:
                    os.remove(os.path.join("/dev/shm", f))
                except OSError:
                    pass

    def base_env(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "LD_LIBRARY_PATH", "PIPEWIRE_REMOTE", "PIPEWIRE_LATENCY")}
        env["JACK_NO_AUDIO_RESERVATION"] = "1"
        env["DBUS_SESSION_BUS_ADDRESS"] = ""
        env["XDG_CONFIG_HOME"] = os.path.join(self.root, "config")
        env["XDG_RUNTIME_DIR"] = os.path.join(self.root, "runtime")
        env["QUORVANE_SHM_DIR"] = os.path.join(self.root, "shm")
        return env

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
            self.start_jackd()

    def ports_ready(self, wanted, server):
        if self.processes[-1].poll() is not None:
            last = self.log("server.log").strip().splitlines()[-1:]
            raise SetupError(f"{server} exited with code {self.processes[-1].returncode}"
                             + (f": {last[0]}" if last else ""))
        r = subprocess.run(["jack_lsp"], env=self.client_env(), capture_output=True, text=True, timeout=10)
        return all(port in r.stdout for port in wanted)

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
        wait_for(lambda: self.ports_ready(("system:playback_SR", "system:monitor_FL"), "pipewire"), 20,
                 "the PipeWire server's sink")

    def start_jackd(self):
        if shutil.which("jackd") is None or shutil.which("jack_lsp") is None:
            raise SetupError("jackd or jack_lsp not found in PATH (Debian package jackd2)")
        self.start(["jackd", "-r", "-n", self.name, "-p", "64", "-d", "dummy", "-r", "48000", "-p", str(self.frames),
                    "-P", "8", "-C", "8"], self.base_env(), "server.log")
        wait_for(lambda: self.ports_ready(("system:playback_8",), "jackd"), 20, "jackd's ports")

    # ---- the program ----

    def write_settings(self):
        folder = os.path.join(self.root, "config", "QuorVane")
        os.makedirs(os.path.join(folder, "profiles", "iracing"), exist_ok=True)
        os.makedirs(os.path.join(self.root, "shm"), exist_ok=True)
        with open(os.path.join(folder, "haptic_config.ini"), "w") as f:
            f.write("[HapticEngine]\naudioDeviceIndex=0\naudioSampleRate=48000\nselectedSim=0\n\n"
                    "[Audio]\nnumDevices=1\n\n[Audio.Device0]\nname=system\napi=JACK\nchannels=0\n"
                    f"bufferSize={self.frames}\nenabled=1\n\n[Config]\nselectedSim=0\n"
                    "activeProfile0=default\n")
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


def find_program(build):
    for folder in ("src/main", "src/app"):
        if os.access(os.path.join(build, folder, "quorvane"), os.X_OK) and \
                os.access(os.path.join(build, folder, "qv-audiohost"), os.X_OK):
            return os.path.join(build, folder, "quorvane")
    return None


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
