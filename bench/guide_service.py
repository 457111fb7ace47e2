#!/usr/bin/env python3
"""The whole reference service reading a 100 MB programme guide.

Starts sintonex-servicio over a playlist whose header names the guide (plain, then gzip'ed),
waits until the guide is published, and reports the service's CPU time and peak memory so far
(its start, the playlist and the guide) and the time of now/next answers over HTTP on one
kept-alive connection. The files come from `bench_service_guide --write-files DIR`.

    bench/guide_service.py --service build/sintonex-servicio --files DIR [--requests 1000]
"""
import argparse
import http.client
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse


def status_kb(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key):
                return int(line.split()[1])
    return -1


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(service, playlist, requests):
    with tempfile.TemporaryDirectory() as tmp:
        log = os.path.join(tmp, "log")
        proc = subprocess.Popen(
            [service, "--service-port", "0", "--web-port", "0", "--forum-port", "0", "--no-demo",
             "--cache-dir", os.path.join(tmp, "cache"), "--log", log, "--tv-playlist", playlist],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            port = int(proc.stdout.readline().split()[1].split("=")[1])
            started = time.monotonic()
            while True:
                if os.path.exists(log) and "NOTE guides: " in open(log, encoding="utf-8").read():
                    break
                if time.monotonic() - started > 120:
                    raise RuntimeError("the guide was not published within two minutes")
                time.sleep(0.05)
            wall = time.monotonic() - started
            cpu = cpu_seconds(proc.pid)
            peak = status_kb(proc.pid, "VmHWM:")
            kept = [line for line in open(log, encoding="utf-8") if "programmes kept" in line]
            # Now/next of every channel in turn, on one connection as a cache in front would keep.
            names = [line.split(",", 1)[1].strip() for line in open(playlist, encoding="utf-8")
                     if line.startswith("#EXTINF")]
            conn = http.client.HTTPConnection("127.0.0.1", port)
            times = []
            for i in range(requests):
                path = "/windows/guia/ahora.php?canal=" + urllib.parse.quote(names[i % len(names)])
                t = time.perf_counter()
                conn.request("GET", path)
                body = conn.getresponse().read()
                times.append((time.perf_counter() - t) * 1000)
                json.loads(body)
            conn.close()
            idle = status_kb(proc.pid, "VmRSS:")
            # A refresh reads the guide again beside the published one: the worst moment for memory.
            proc.send_signal(1)  # SIGHUP
            before = cpu_seconds(proc.pid)
            last, still = before, 0
            while still < 3 and time.monotonic() - started < 240:
                time.sleep(0.2)
                now = cpu_seconds(proc.pid)
                still = still + 1 if now == last and now > before + cpu / 2 else 0
                last = now
            return {
                "playlist": os.path.basename(playlist),
                "cpu_s": round(cpu, 2),
                "wall_s": round(wall, 2),
                "peak_rss_mb": round(peak / 1024, 1),
                "rss_after_mb": round(idle / 1024, 1),
                "refresh_cpu_s": round(last - before, 2),
                "peak_rss_with_refresh_mb": round(status_kb(proc.pid, "VmHWM:") / 1024, 1),
                "now_next_median_ms": round(statistics.median(times), 3),
                "now_next_p99_ms": round(sorted(times)[int(len(times) * 0.99) - 1], 3),
                "log": kept[0].split("NOTE ", 1)[1].strip() if kept else "",
            }
        finally:
            proc.terminate()
            proc.wait()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--service", required=True)
    p.add_argument("--files", required=True)
    p.add_argument("--requests", type=int, default=1000)
    a = p.parse_args()
    results = [run(a.service, os.path.join(a.files, name), a.requests) for name in ("lista.m3u", "lista-gz.m3u")]
    json.dump(results, sys.stdout, indent=2, ensure_ascii=False)
    print()


if __name__ == "__main__":
    main()
