#!/usr/bin/env python3
"""Whole-process benchmarks of Sintonex beside the mpv player, on a private X server (Xvfb, no GPU)
against the reference service on 127.0.0.1, with sound into a PulseAudio null sink.

    bench/whole.py --build DIR [--only playback,zap,radio,idle,startup] [--out FILE.json]

The program is driven as a user drives it: real X input (XTest) into its windows. It is a copy of
the built program in a folder of its own (its config.ini and list files live beside it).
Each benchmark prints its figures and they are written as JSON to --out.
"""
import argparse
import json
import os
import re
import select
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xlib  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
CHOOSER = "Sintonex - Televisión o radio"
TICK = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")
TV_LIST = "vqrcv8xotv.exe"
RADIO_LIST = "oftwy69jrad.exe"
# Design sizes in twips (1/1440 inch) of the windows the benchmarks click into.
CHOOSER_WIDTH, TV_WIDTH = 6300, 8745
PLAYER_AREA = (120, 360, 5895, 4440)  # the player windows' player, under the menu bar


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def cpu_seconds(pid):
    """User + system CPU time of a process (all its threads)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def status_kib(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def loads_webengine(pid):
    with open(f"/proc/{pid}/maps") as f:
        return any("libQt6WebEngineCore" in line for line in f)


def load_average():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def median(values):
    return statistics.median(values) if values else None


def at(window, design_width, x, y):
    """A point given in a window's design twips, on the screen."""
    scale = window[4] / design_width
    return window[2] + int(x * scale), window[3] + int(y * scale)


class Environment:
    """Xvfb, the sound server's null sink and the reference service, for the whole run."""

    def __init__(self, build):
        self.build = build
        self.procs = []
        self.tmp = tempfile.mkdtemp(prefix="sintonex-bench-")
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        number = xvfb.stdout.readline().decode().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.xvfb_pid = xvfb.pid
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display, LC_NUMERIC="C")
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.x = xlib.Display(self.display)

        # A sound server of the benchmarks' own, so that tests running meanwhile, which move the
        # master volume of theirs, change nothing here; full volume, so that sound is sound.
        self.pulse_dir = os.path.join(tempfile.gettempdir(), "sintonex-bench-pulse")
        pulse_env = dict(os.environ, SINTONEX_PULSE_DIR=self.pulse_dir)
        pulse = subprocess.run(["bash", "-c", f"source '{ROOT}/scripts/pulse-null-sink' && "
                                "echo \"$PULSE_SERVER\"; echo \"$PULSE_RUNTIME_PATH\""],
                               capture_output=True, text=True, env=pulse_env)
        lines = pulse.stdout.split()
        if pulse.returncode != 0 or len(lines) < 2:
            raise RuntimeError("no PulseAudio null sink: " + pulse.stderr)
        self.env["PULSE_SERVER"], self.env["PULSE_RUNTIME_PATH"] = lines[0], lines[1]
        subprocess.run(["pactl", "set-sink-volume", "sintonex_null", "100%"], env=self.env, check=True)
        subprocess.run(["pactl", "set-sink-mute", "sintonex_null", "0"], env=self.env, check=True)

        service = subprocess.Popen([os.path.join(build, "sintonex-servicio"), "--service-port", "0", "--web-port",
                                    "0", "--forum-port", "0", "--media", os.path.join(build, "media"),
                                    "--log", os.path.join(self.tmp, "servicio.log")],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.procs.append(service)
        m = re.match(r"listening service=(\d+) web=(\d+) forum=(\d+)", service.stdout.readline())
        if not m:
            raise RuntimeError("the reference service did not start")
        self.service = f"http://127.0.0.1:{m.group(1)}"
        self.web = f"http://127.0.0.1:{m.group(2)}"
        self.forum = f"http://127.0.0.1:{m.group(3)}"
        self.hls_uno = self.service + "/media/canal1/live.m3u8"
        self.hls_dos = self.service + "/media/canal2/live.m3u8"
        self.radio = self.service + "/stream/antena-sur"

    def close(self):
        for p in reversed(self.procs):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        subprocess.run([os.path.join(ROOT, "scripts", "pulse-null-sink"), "--stop"],
                       env=dict(os.environ, SINTONEX_PULSE_DIR=self.pulse_dir), capture_output=True)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def program_folder(self, tv_lines, radio_lines):
        """A folder holding a copy of the program, its settings and its two lists."""
        folder = tempfile.mkdtemp(prefix="programa-", dir=self.tmp)
        shutil.copy2(os.path.join(self.build, "sintonex"), folder)
        # donaciones01=0: the donation appeal would open 30 s after the player window and, with no
        # window manager to hand the keyboard back, take the keys meant for the channel list.
        with open(os.path.join(folder, "config.ini"), "w") as f:
            f.write(f"[config]\r\nservidor={self.service}\r\nweb={self.web}\r\nforo={self.forum}\r\n"
                    "vers_local_canales=37\r\ndonaciones01=0\r\n")
        for name, lines in ((TV_LIST, tv_lines), (RADIO_LIST, radio_lines)):
            with open(os.path.join(folder, name), "wb") as f:
                f.write("".join(line + "\r\n" for line in lines).encode("cp1252"))
        return folder


class Program:
    """One run of the program; its stderr is read for the traced first frames."""

    def __init__(self, env, folder, extra_env=None):
        self.env = env
        e = dict(env.env, SINTONEX_TRACE_FRAMES="1", **(extra_env or {}))
        self.started = xlib.now_us()
        self.proc = subprocess.Popen([os.path.join(folder, "sintonex")], env=e, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, text=True, cwd=folder)
        self.pid = self.proc.pid
        self.frames = []
        self._lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stderr:
            m = re.match(r"sintonex: first frame (\d+)", line)
            if m:
                with self._lock:
                    self.frames.append(int(m.group(1)))

    def first_frame_after(self, t, timeout=20):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            with self._lock:
                later = [f for f in self.frames if f >= t]
            if later:
                return later[0]
            time.sleep(0.005)
        return None

    def open_window(self, television=True):
        """Splash, chooser, "Ver la televisión" (or "Escuchar la radio"): the player window."""
        x = self.env.x
        if not x.wait_window(lambda t: t == CHOOSER, 30):
            raise RuntimeError("the chooser did not appear")
        time.sleep(1.5)  # the fade-in takes the input for a moment
        chooser = x.wait_window(lambda t: t == CHOOSER, 5)
        x.click(*at(chooser, CHOOSER_WIDTH, 1650 if television else 4650, 2887))
        window = x.wait_window(lambda t: t.startswith("Sintonex 2.4.5"), 20)
        if not window:
            raise RuntimeError("the player window did not appear")
        x.gone(lambda t: t == CHOOSER, 5)
        return window

    def focus_list(self, window):
        """Points at the channel list (without a window manager the keyboard follows the pointer)
        and selects its first entry."""
        self.env.x.click(*at(window, TV_WIDTH, 7370, 5900))
        self.env.x.key(xlib.KEY_HOME)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def player_geometry(window):
    x, y, w, h = PLAYER_AREA
    scale = window[4] / TV_WIDTH
    left, top = at(window, TV_WIDTH, x, y)
    return int(w * scale), int(h * scale), left, top


class Mpv:
    """The mpv player, optionally with its JSON IPC and a log file."""

    def __init__(self, env, args, ipc=False, log_file=None):
        self.env = env
        self.sock_path = os.path.join(env.tmp, f"mpv-{time.monotonic_ns()}.sock") if ipc else None
        cmd = ["mpv", "--no-config", "--ytdl=no", "--no-terminal"] + args
        if ipc:
            cmd += ["--idle=yes", "--input-ipc-server=" + self.sock_path]
        if log_file:
            cmd += ["--log-file=" + log_file]
        self.proc = subprocess.Popen(cmd, env=env.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pid = self.proc.pid
        self.sock = None
        if ipc:
            end = time.monotonic() + 10
            while time.monotonic() < end and self.sock is None:
                try:
                    s = socket.socket(socket.AF_UNIX)
                    s.connect(self.sock_path)
                    self.sock = s
                except OSError:
                    time.sleep(0.02)

    def command(self, *args):
        self.sock.sendall((json.dumps({"command": list(args)}) + "\n").encode())

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def sample_cpu(pid, seconds, xvfb_pid):
    c0, x0, t0 = cpu_seconds(pid), cpu_seconds(xvfb_pid), time.monotonic()
    time.sleep(seconds)
    c1, x1, t1 = cpu_seconds(pid), cpu_seconds(xvfb_pid), time.monotonic()
    return 100 * (c1 - c0) / (t1 - t0), 100 * (x1 - x0) / (t1 - t0)


# --- playback CPU and peak memory -------------------------------------------------------------

def mpv_video_outputs(env, geometry):
    """The video outputs that show the picture here, cheapest first (by a 10 s trial each)."""
    working = []
    for vo in ("x11", "xv"):
        log_path = os.path.join(env.tmp, f"vo-{vo}.log")
        m = Mpv(env, [f"--vo={vo}", geometry, "--length=6", env.hls_uno], log_file=log_path)
        try:
            m.proc.wait(30)
        except subprocess.TimeoutExpired:
            m.stop()
        text = open(log_path, errors="replace").read() if os.path.exists(log_path) else ""
        ok = "first video frame after restart shown" in text and "Error opening/initializing the selected video_out" not in text
        log(f"  mpv --vo={vo}: {'shows the picture' if ok else 'does not work here'}")
        if ok:
            working.append(vo)
    return working


def bench_playback(env, runs, seconds):
    folder = env.program_folder(["Canal Uno||>asx"], ["Antena Sur||>asx"])
    results = {"program": [], "mpv": {}}
    geometry = None

    def program_run():
        nonlocal geometry
        p = Program(env, folder)
        try:
            tv = p.open_window()
            w, h, left, top = player_geometry(tv)
            geometry = f"--geometry={w}x{h}+{left}+{top}"
            time.sleep(5)  # the intro clip is over
            p.focus_list(tv)
            t = xlib.now_us()
            env.x.key(xlib.KEY_RETURN)
            if p.first_frame_after(t) is None:
                raise RuntimeError("the channel showed no picture")
            time.sleep(3)
            cpu, xcpu = sample_cpu(p.pid, seconds, env.xvfb_pid)
            r = {"cpu_percent": cpu, "xvfb_cpu_percent": xcpu, "peak_rss_mib": status_kib(p.pid, "VmHWM") / 1024,
                 "rss_mib": status_kib(p.pid, "VmRSS") / 1024, "webengine_loaded": loads_webengine(p.pid),
                 "load": load_average()}
            log(f"  program: {cpu:.1f} % CPU (Xvfb {xcpu:.1f} %), peak {r['peak_rss_mib']:.1f} MiB, "
                f"WebEngine {'loaded' if r['webengine_loaded'] else 'not loaded'}")
            return r
        finally:
            p.stop()

    def mpv_run(vo):
        m = Mpv(env, [f"--vo={vo}", geometry, env.hls_uno])
        try:
            time.sleep(5)
            cpu, xcpu = sample_cpu(m.pid, seconds, env.xvfb_pid)
            r = {"cpu_percent": cpu, "xvfb_cpu_percent": xcpu, "peak_rss_mib": status_kib(m.pid, "VmHWM") / 1024,
                 "rss_mib": status_kib(m.pid, "VmRSS") / 1024, "load": load_average()}
            log(f"  mpv --vo={vo}: {cpu:.1f} % CPU (Xvfb {xcpu:.1f} %), peak {r['peak_rss_mib']:.1f} MiB")
            return r
        finally:
            m.stop()

    results["program"].append(program_run())  # also learns the player's size on the screen
    vos = mpv_video_outputs(env, geometry)
    results["mpv_video_outputs"] = vos
    for vo in vos:
        results["mpv"][vo] = []
    for i in range(runs):
        for vo in vos:
            results["mpv"][vo].append(mpv_run(vo))
        if i + 1 < runs:
            results["program"].append(program_run())
    summary = {"program_cpu": median([r["cpu_percent"] for r in results["program"]]),
               "program_peak_mib": median([r["peak_rss_mib"] for r in results["program"]]),
               "webengine_loaded": any(r["webengine_loaded"] for r in results["program"]),
               "mpv_geometry": geometry}
    for vo in vos:
        summary[f"mpv_{vo}_cpu"] = median([r["cpu_percent"] for r in results["mpv"][vo]])
        summary[f"mpv_{vo}_peak_mib"] = median([r["peak_rss_mib"] for r in results["mpv"][vo]])
    if vos:
        best = min(vos, key=lambda v: summary[f"mpv_{v}_cpu"])
        summary["mpv_reference_vo"] = best
        summary["cpu_ratio"] = summary["program_cpu"] / summary[f"mpv_{best}_cpu"]
        summary["memory_over_mpv_mib"] = summary["program_peak_mib"] - summary[f"mpv_{best}_peak_mib"]
    results["summary"] = summary
    return results


# --- zap time ---------------------------------------------------------------------------------

def bench_zap(env, zaps, growth_zaps):
    folder = env.program_folder(["Canal Uno||>asx", "Canal Dos||>asx"], ["Antena Sur||>asx"])
    results = {}
    p = Program(env, folder)
    try:
        tv = p.open_window()
        w, h, left, top = player_geometry(tv)
        geometry = f"--geometry={w}x{h}+{left}+{top}"
        time.sleep(5)
        p.focus_list(tv)
        times, rss = [], []
        for i in range(max(zaps, growth_zaps)):
            env.x.key(xlib.KEY_DOWN if i % 2 else xlib.KEY_UP)  # the other channel
            t = xlib.now_us()
            env.x.key(xlib.KEY_RETURN)
            frame = p.first_frame_after(t)
            if frame is None:
                shown = env.x.windows()
                raise RuntimeError(f"zap {i + 1} showed no picture; windows: {shown}")
            if i < zaps:
                times.append((frame - t) / 1000)
            time.sleep(0.3)
            rss.append(status_kib(p.pid, "VmRSS") / 1024)
        results["program_ms"] = times
        results["rss_mib"] = rss
    finally:
        p.stop()

    log_path = os.path.join(env.tmp, "mpv-zap.log")
    m = Mpv(env, ["--vo=x11", geometry], ipc=True, log_file=log_path)
    try:
        urls = [env.hls_uno, env.hls_dos]
        for i in range(zaps + 1):
            m.command("loadfile", urls[i % 2])
            end = time.monotonic() + 20
            while time.monotonic() < end:
                text = open(log_path, errors="replace").read()
                if text.count("first video frame after restart shown") > i:
                    break
                time.sleep(0.01)
            time.sleep(0.3)
    finally:
        m.stop()
    # Pairs of "loadfile" received → first frame shown, in mpv's own log times.
    stamps = re.findall(r"^\[\s*([\d.]+)\]\[\w\]\[cplayer\] (Run command: loadfile|first video frame after restart shown)",
                        open(log_path, errors="replace").read(), re.M)
    mpv_times, start = [], None
    for t, what in stamps:
        if what.startswith("Run"):
            start = float(t)
        elif start is not None:
            mpv_times.append((float(t) - start) * 1000)
            start = None
    results["mpv_ms"] = mpv_times[1:]  # the first load also starts the video output
    growth = rss[19:] if len(rss) > 20 else rss
    results["summary"] = {
        "program_median_ms": median(results["program_ms"]),
        "mpv_median_ms": median(results["mpv_ms"]),
        "ratio": median(results["program_ms"]) / median(results["mpv_ms"]) if results["mpv_ms"] else None,
        "zaps": len(results["program_ms"]),
        "growth_zaps": len(rss),
        "rss_after_20_mib": growth[0],
        "rss_last_mib": rss[-1],
        "rss_max_after_20_mib": max(growth),
        "rss_slope_kib_per_zap": _slope(growth) * 1024,
    }
    return results


def _slope(values):
    n = len(values)
    if n < 2:
        return 0.0
    mx, my = (n - 1) / 2, sum(values) / n
    return sum((i - mx) * (v - my) for i, v in enumerate(values)) / sum((i - mx) ** 2 for i in range(n))


# --- radio start ------------------------------------------------------------------------------

class Monitor(threading.Thread):
    """Reads the null sink's monitor in 2 ms blocks and notes when sound starts and stops."""

    def __init__(self, env):
        super().__init__(daemon=True)
        self.proc = subprocess.Popen(["parec", "--device=sintonex_null.monitor", "--raw", "--format=s16le",
                                      "--rate=44100", "--channels=2", "--latency-msec=2", "--process-time-msec=1"],
                                     env=env.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.loud_since = None
        self.quiet_since = xlib.now_us()
        self._stop = False

    def run(self):
        block = 44100 * 4 * 2 // 1000
        fd = self.proc.stdout.fileno()
        while not self._stop:
            data = os.read(fd, block)
            if not data:
                break
            t = xlib.now_us()
            samples = memoryview(data[: len(data) // 2 * 2]).cast("h")
            loud = any(abs(s) > 1 for s in samples)  # the null sink's silence is zeros
            if loud and self.loud_since is None:
                self.loud_since, self.quiet_since = t, None
            elif not loud and self.quiet_since is None:
                self.quiet_since, self.loud_since = t, None

    def sound_after(self, t, timeout=15):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            s = self.loud_since
            if s is not None and s >= t:
                return s
            time.sleep(0.002)
        return None

    def wait_quiet(self, seconds, timeout=30):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            q = self.quiet_since
            if q is not None and xlib.now_us() - q > seconds * 1e6:
                return True
            time.sleep(0.02)
        return False

    def stop(self):
        self._stop = True
        self.proc.terminate()


def bench_radio(env, starts):
    folder = env.program_folder(["Canal Uno||>asx"], ["Antena Sur||>asx", "Sin emisión||>htmlasx"])
    monitor = Monitor(env)
    monitor.start()
    results = {"program_ms": [], "mpv_ms": []}
    p = Program(env, folder)
    try:
        radio = p.open_window(television=False)
        p.focus_list(radio)
        for i in range(starts):
            # The joined kind plays nothing: it stops the station, and the sink goes quiet.
            env.x.key(xlib.KEY_DOWN)
            env.x.key(xlib.KEY_RETURN)
            if not monitor.wait_quiet(1.0):
                raise RuntimeError("the radio window does not go quiet")
            env.x.key(xlib.KEY_HOME)
            t = xlib.now_us()
            env.x.key(xlib.KEY_RETURN)
            s = monitor.sound_after(t)
            if s is None:
                raise RuntimeError("no sound from the station")
            results["program_ms"].append((s - t) / 1000)
            time.sleep(1)
    finally:
        p.stop()
    m = Mpv(env, ["--vo=null", "--no-video"], ipc=True)
    try:
        for i in range(starts):
            m.command("stop")
            if not monitor.wait_quiet(1.0):
                raise RuntimeError("mpv does not go quiet")
            t = xlib.now_us()
            m.command("loadfile", env.radio)
            s = monitor.sound_after(t)
            if s is None:
                raise RuntimeError("no sound from mpv")
            results["mpv_ms"].append((s - t) / 1000)
            time.sleep(1)
    finally:
        m.stop()
        monitor.stop()
    results["summary"] = {"program_median_ms": median(results["program_ms"]),
                          "program_max_ms": max(results["program_ms"]),
                          "mpv_median_ms": median(results["mpv_ms"]), "starts": starts}
    return results


# --- idle windows -----------------------------------------------------------------------------

def bench_idle(env, seconds):
    folder = env.program_folder(["Canal Uno||>asx", "Canal Dos||>asx"], ["Antena Sur||>asx"])
    results = {}
    for key, args in (("tv_window", ["--window", "TvWindow"]), ("radio_window_hidden", ["--window", "RadioWindow", "--hide"]),
                      ("reference_bare_status_line", ["--window", "bare"])):
        out = subprocess.run([os.path.join(env.build, "bench", "bench_windows"), "--folder", folder,
                              "--seconds", str(seconds), "--settle", "10"] + args,
                             env=env.env, capture_output=True, text=True, timeout=seconds + 120)
        line = out.stdout.strip().splitlines()[-1] if out.stdout.strip() else "{}"
        r = json.loads(line)
        r["load"] = load_average()
        results[key] = r
        log(f"  {key}: {r.get('cpu_percent', float('nan')):.3f} % of a core")
    return results


# --- start-up ---------------------------------------------------------------------------------

def bench_startup(env, runs):
    folder = env.program_folder(["Canal Uno||>asx", "Canal Dos||>asx"], ["Antena Sur||>asx"])
    results = {"splash_ms": [], "click_to_tv_ms": [], "fade_end_to_tv_ms": []}
    for _ in range(runs):
        watcher = xlib.Watcher(env.display)
        watcher.start()
        time.sleep(0.1)
        p = Program(env, folder)
        try:
            x = env.x
            chooser = x.wait_window(lambda t: t == CHOOSER, 30)
            if not chooser:
                raise RuntimeError("the chooser did not appear")
            splash = watcher.find("paint", lambda t: t == "Sintonex")
            time.sleep(1.5)
            chooser = x.wait_window(lambda t: t == CHOOSER, 5)
            click = xlib.now_us()
            x.click(*at(chooser, CHOOSER_WIDTH, 1650, 2887))
            if not x.wait_window(lambda t: t.startswith("Sintonex 2.4.5"), 20):
                raise RuntimeError("the TV window did not appear")
            time.sleep(0.5)
            tv = watcher.find("paint", lambda t: t.startswith("Sintonex 2.4.5"), after=click)
            fades = [e[0] for e in watcher.all("opacity", chooser[0]) if click <= e[0] <= tv[0]]
            results["splash_ms"].append((splash[0] - p.started) / 1000)
            results["click_to_tv_ms"].append((tv[0] - click) / 1000)
            results["fade_end_to_tv_ms"].append((tv[0] - (max(fades) if fades else click)) / 1000)
            log(f"  splash {results['splash_ms'][-1]:.0f} ms; click → TV window {results['click_to_tv_ms'][-1]:.0f} ms, "
                f"{results['fade_end_to_tv_ms'][-1]:.0f} ms after the fade")
        finally:
            p.stop()
            watcher.stop()
    results["summary"] = {k + "_median": median(v) for k, v in results.items() if isinstance(v, list)}
    return results


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--only", default="playback,zap,radio,idle,startup")
    parser.add_argument("--out")
    parser.add_argument("--runs", type=int, default=5, help="alternated runs of playback and start-up")
    parser.add_argument("--seconds", type=float, default=60, help="seconds measured per playback/idle run")
    parser.add_argument("--zaps", type=int, default=20)
    parser.add_argument("--growth-zaps", type=int, default=200)
    parser.add_argument("--radio-starts", type=int, default=10)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    env = Environment(build)
    results = {"machine": {"cpus": os.cpu_count(), "load_at_start": load_average(),
                           "cpu": _cpu_model(), "date": time.strftime("%Y-%m-%d %H:%M")}}
    try:
        for name in args.only.split(","):
            log(f"== {name} (load {load_average():.2f})")
            if name == "playback":
                results[name] = bench_playback(env, args.runs, args.seconds)
            elif name == "zap":
                results[name] = bench_zap(env, args.zaps, args.growth_zaps)
            elif name == "radio":
                results[name] = bench_radio(env, args.radio_starts)
            elif name == "idle":
                results[name] = bench_idle(env, args.seconds)
            elif name == "startup":
                results[name] = bench_startup(env, args.runs)
            if "summary" in results[name]:
                log("   " + json.dumps(results[name]["summary"]))
    finally:
        env.close()
        results["machine"]["load_at_end"] = load_average()
        if args.out:
            with open(args.out, "w") as f:
                json.dump(results, f, indent=1)
    print(json.dumps({k: v.get("summary", v) if isinstance(v, dict) else v for k, v in results.items()}, indent=1))


def _cpu_model():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "?"


if __name__ == "__main__":
    main()
