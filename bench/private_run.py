"""What the measurement scripts share: a folder of a run's own, the processes
it starts there (private servers, the program), their logs and their end.

Everything a run starts is ended by its process id; a private jackd's name
carries the run's name, so the files a killed one leaves in /dev/shm are
found and removed.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time


class SetupError(RuntimeError):
    """A server or the program did not come up, or a step of a run failed."""


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    raise SetupError(f"timed out waiting for {what}")


def find_program(build):
    """quorvane in the build folder when qv-audiohost is beside it, else None."""
    for folder in ("src/main", "src/app"):
        if os.access(os.path.join(build, folder, "quorvane"), os.X_OK) and \
                os.access(os.path.join(build, folder, "qv-audiohost"), os.X_OK):
            return os.path.join(build, folder, "quorvane")
    return None


class PrivateRun:
    """A temporary folder (`root`) and the processes started in it.

    `name` names the run's private servers (jackd's -n, PipeWire's core).
    """

    def __init__(self, prefix, name):
        self.root = tempfile.mkdtemp(prefix=prefix)
        self.name = name
        self.processes = []

    # ---- processes ----

    def start(self, argv, env, log, **popen):
        """Starts a process with its output in the run's file `log`."""
        with open(os.path.join(self.root, log), "wb") as out:
            p = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                 **popen)
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
        """This process's environment without a display or another audio server, with the run's folders."""
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "LD_LIBRARY_PATH", "PIPEWIRE_REMOTE", "PIPEWIRE_LATENCY")}
        env["JACK_NO_AUDIO_RESERVATION"] = "1"
        env["DBUS_SESSION_BUS_ADDRESS"] = ""
        env["XDG_CONFIG_HOME"] = os.path.join(self.root, "config")
        env["XDG_RUNTIME_DIR"] = os.path.join(self.root, "runtime")
        env["QUORVANE_SHM_DIR"] = os.path.join(self.root, "shm")
        return env

    # ---- the program ----

    def write_jack_settings(self, frames, extra=""):
        """The program's settings folder with the JACK device "system" saved at `frames` (and `extra` after it);
        the shared-memory folder beside it. Returns the settings folder."""
        folder = os.path.join(self.root, "config", "QuorVane")
        os.makedirs(folder, exist_ok=True)
        os.makedirs(os.path.join(self.root, "shm"), exist_ok=True)
        with open(os.path.join(folder, "haptic_config.ini"), "w") as f:
            f.write("[HapticEngine]\naudioDeviceIndex=0\naudioSampleRate=48000\nselectedSim=0\n\n"
                    "[Audio]\nnumDevices=1\n\n[Audio.Device0]\nname=system\napi=JACK\nchannels=0\n"
                    f"bufferSize={frames}\nenabled=1\n" + extra)
        return folder

    # ---- servers ----

    def ports_ready(self, server, log, wanted, client_env):
        """Whether jack_lsp lists every port of `wanted`; SetupError when the server (the last process) ended."""
        if self.processes[-1].poll() is not None:
            last = self.log(log).strip().splitlines()[-1:]
            raise SetupError(f"{server} exited with code {self.processes[-1].returncode}"
                             + (f": {last[0]}" if last else ""))
        r = subprocess.run(["jack_lsp"], env=client_env, capture_output=True, text=True, timeout=10)
        return all(port in r.stdout for port in wanted)

    def start_jackd(self, frames, log):
        """A jackd named after the run on the dummy back-end (8 channels each way, 48 kHz) at `frames`."""
        if shutil.which("jackd") is None or shutil.which("jack_lsp") is None:
            raise SetupError("jackd or jack_lsp not found in PATH (Debian package jackd2)")
        self.start(["jackd", "-r", "-n", self.name, "-p", "64", "-d", "dummy", "-r", "48000", "-p", str(frames),
                    "-P", "8", "-C", "8"], self.base_env(), log)
        client_env = self.base_env()
        client_env["JACK_DEFAULT_SERVER"] = self.name
        wait_for(lambda: self.ports_ready("jackd", log, ("system:playback_8",), client_env), 20, "jackd's ports")
