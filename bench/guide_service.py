#!/usr/bin/env python3
"""The whole reference service reading a 100 MB programme guide.

Starts sintonex-servicio over a playlist whose header names the guide (plain, then gzip'ed),
waits until the guide is published, and reports the service's CPU time and peak memory so far
(its start, the playlist and the guide) and the time of now/next answers over HTTP on one
kept-alive connection. The files come from `bench_service_guide --write-files DIR`.

    bench/guide_service.py --service build/sintonex-servicio --files DIR [--requests 1000] [--hostile]

With --hostile it also serves the service two guides over HTTP from this script and reports the
same figures: a gzip bomb (2 GiB of blanks packed into 2 MB) and ten million programmes (1 GB of
XML, made while it is sent), each against the playlist's list.
"""
import argparse
import gzip
import http.client
import http.server
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import zlib


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


def bomb():
    """2 GiB of blanks inside a guide, gzip'ed once (about 2 MB)."""
    z = zlib.compressobj(9, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
    out = [z.compress(b'<?xml version="1.0"?>\n<tv>\n')]
    block = b" " * (1 << 20)
    for _ in range(2048):
        out.append(z.compress(block))
    out.append(z.flush())
    return b"".join(out)


def many_programmes(count, channel):
    """Ten million short programmes of one list channel, a day before now onwards, made as sent."""
    start = int(time.time()) - 86400
    yield ('<?xml version="1.0"?>\n<tv><channel id="%s"><display-name>%s</display-name></channel>\n'
           % (channel, channel)).encode()
    piece = []
    for k in range(count):
        t = time.gmtime(start + 30 * k)
        u = time.gmtime(start + 30 * k + 30)
        piece.append('<programme channel="%s" start="%s +0000" stop="%s +0000"><title>Corto %d</title>'
                     '</programme>\n' % (channel if k % 3 else "otro", time.strftime("%Y%m%d%H%M%S", t),
                                          time.strftime("%Y%m%d%H%M%S", u), k % 1000))
        if len(piece) == 2000:
            yield "".join(piece).encode()
            piece = []
    yield ("".join(piece) + "</tv>\n").encode()


class Guides(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    bomb_bytes = b""
    channel = ""

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "application/xml")
        if self.path == "/bomba.xml.gz":
            self.send_header("Content-Length", str(len(self.bomb_bytes)))
            self.end_headers()
            self.wfile.write(self.bomb_bytes)
            return
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        try:
            for chunk in many_programmes(10_000_000, self.channel):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
            self.wfile.write(b"0\r\n\r\n")
        except (BrokenPipeError, ConnectionResetError):
            pass


def hostile(service, files):
    """The two hostile guides, each named by --guide beside the playlist's list."""
    playlist = os.path.join(files, "lista.m3u")
    names = [line.split(",", 1)[1].strip() for line in open(playlist, encoding="utf-8")
             if line.startswith("#EXTINF")]
    Guides.bomb_bytes = bomb()
    Guides.channel = names[0]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Guides)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = server.server_address[1]
    results = []
    with tempfile.TemporaryDirectory() as tmp:
        # A playlist without a guide of its own: only the hostile guide is read.
        bare = os.path.join(tmp, "lista.m3u")
        with open(bare, "w", encoding="utf-8") as f:
            f.write("#EXTM3U\n" + "".join(l for l in open(playlist, encoding="utf-8").readlines()[1:]))
        for path in ("/bomba.xml.gz", "/diez-millones.xml"):
            r = run(service, bare, 10, ["--guide", "http://127.0.0.1:%d%s" % (port, path)], refresh=False)
            r["guide"] = path
            results.append(r)
    server.shutdown()
    return results


def run(service, playlist, requests, extra=(), refresh=True):
    with tempfile.TemporaryDirectory() as tmp:
        log = os.path.join(tmp, "log")
        proc = subprocess.Popen(
            [service, "--service-port", "0", "--web-port", "0", "--forum-port", "0", "--no-demo",
             "--cache-dir", os.path.join(tmp, "cache"), "--log", log, "--tv-playlist", playlist, *extra],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            port = int(proc.stdout.readline().split()[1].split("=")[1])
            started = time.monotonic()
            while True:
                if os.path.exists(log) and "NOTE guides: " in open(log, encoding="utf-8").read():
                    break
                if time.monotonic() - started > 300:
                    raise RuntimeError("the guide was not published within five minutes")
                time.sleep(0.05)
            wall = time.monotonic() - started
            cpu = cpu_seconds(proc.pid)
            peak = status_kb(proc.pid, "VmHWM:")
            kept = [line for line in open(log, encoding="utf-8") if "NOTE guide " in line]
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
            before = last = cpu_seconds(proc.pid)
            still = 3
            if refresh:
                proc.send_signal(1)  # SIGHUP
                still = 0
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
                "log": [line.split("NOTE ", 1)[1].strip() for line in kept],
            }
        finally:
            proc.terminate()
            proc.wait()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--service", required=True)
    p.add_argument("--files", required=True)
    p.add_argument("--requests", type=int, default=1000)
    p.add_argument("--hostile", action="store_true")
    a = p.parse_args()
    results = [run(a.service, os.path.join(a.files, name), a.requests) for name in ("lista.m3u", "lista-gz.m3u")]
    if a.hostile:
        results += hostile(a.service, a.files)
    json.dump(results, sys.stdout, indent=2, ensure_ascii=False)
    print()


if __name__ == "__main__":
    main()
