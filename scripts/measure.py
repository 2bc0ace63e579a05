#!/usr/bin/python3
"""The figures of scripts/measure-desktop and scripts/measure-services, side by side with the
toolkit's floor (bench/floor/floor_window.cc, built in the same run) and, where installed, with
dunst and playerctld: each as min/median of several runs and as a ratio to its baseline.
Every wait is bounded; a figure that cannot be taken says why and the rest go on."""

import argparse
import os
import queue
import signal
import statistics
import struct
import subprocess
import sys
import threading
import time
import wave
import math
import shutil

parser = argparse.ArgumentParser()
parser.add_argument("--build", required=True)
parser.add_argument("--floor", required=True)
parser.add_argument("--dir", required=True)
parser.add_argument("--display", required=True)
parser.add_argument("--xvfb", type=int, required=True, help="the X server's process id")
parser.add_argument("--bus")
parser.add_argument("--pulse")
parser.add_argument("--runs", type=int, default=10)
parser.add_argument("--quiet", type=int, default=60)
args = parser.parse_args()

ENV = dict(os.environ, DISPLAY=args.display, QT_QPA_PLATFORM="xcb", HOME=args.dir, XDG_RUNTIME_DIR=args.dir,
           XDG_CONFIG_HOME=os.path.join(args.dir, "config"))
if args.bus:
    ENV.update(DBUS_SESSION_BUS_ADDRESS=args.bus, DBUS_SYSTEM_BUS_ADDRESS=args.bus, XDG_SESSION_ID="c1")
else:
    ENV.pop("DBUS_SESSION_BUS_ADDRESS", None)
if args.pulse:
    ENV["PULSE_SERVER"] = args.pulse
HALVYN = os.path.join(args.build, "shell", "halvyn")
children = []


def log(*a):
    print(*a, flush=True)


def cpu_ns(pid):
    """Processor time of every thread of `pid`, in nanoseconds."""
    total = 0
    for t in os.listdir("/proc/%d/task" % pid):
        try:
            total += int(open("/proc/%d/task/%s/schedstat" % (pid, t)).read().split()[0])
        except (OSError, ValueError):
            pass
    return total


def switches(pid):
    total = 0
    for t in os.listdir("/proc/%d/task" % pid):
        try:
            for line in open("/proc/%d/task/%s/status" % (pid, t)):
                if "ctxt_switches" in line:
                    total += int(line.split()[1])
        except OSError:
            pass
    return total


def memory(pid):
    """(RSS kB, PSS kB, threads)"""
    rss = pss = 0
    for line in open("/proc/%d/smaps_rollup" % pid):
        if line.startswith("Rss:"):
            rss = int(line.split()[1])
        elif line.startswith("Pss:"):
            pss = int(line.split()[1])
    threads = len(os.listdir("/proc/%d/task" % pid))
    return rss, pss, threads


def pss_by_mapping(pid):
    """PSS kB of each mapped file (by name), the heap, and the anonymous rest (thread stacks among it)."""
    out, name = {}, None
    for line in open("/proc/%d/smaps" % pid):
        field = line.split()
        if not field:
            continue
        if "-" in field[0] and not field[0].endswith(":"):
            name = os.path.basename(field[5]) if len(field) > 5 else "[anonymous]"
        elif field[0] == "Pss:":
            out[name] = out.get(name, 0) + int(field[1])
    return out


def wait_until(what, test, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = test()
        if value:
            return value
        time.sleep(0.01)
    raise TimeoutError("timed out after %g s: %s" % (timeout, what))


def start(cmd, env=ENV, **kw):
    p = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, **kw)
    children.append(p)
    return p


def stop(p):
    if p.poll() is None:
        p.send_signal(signal.SIGTERM)
        try:
            p.wait(5)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(5)


class MapWatch:
    """The moments windows are mapped on the display: xev on the root window's substructure."""

    def __init__(self):
        self.q = queue.Queue()
        self.p = start(["xev", "-root", "-event", "substructure", "-display", args.display],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        threading.Thread(target=self.read, daemon=True).start()
        time.sleep(0.3)

    def read(self):
        for line in iter(self.p.stdout.readline, b""):
            if line.startswith(b"MapNotify"):
                self.q.put(time.monotonic_ns())

    def drain(self):
        while not self.q.empty():
            self.q.get_nowait()

    def next_map(self, timeout):
        return self.q.get(timeout=timeout)


def halvyn_env(frame_log=None):
    env = dict(ENV)
    if frame_log:
        env["HALVYN_FRAME_LOG"] = "1"
    return env


def launch(cmd, watch, env=ENV, stderr=subprocess.DEVNULL):
    """Starts `cmd`; returns (process, ms from start to its first mapped window)."""
    watch.drain()
    t0 = time.monotonic_ns()
    p = start(cmd, env=env, stderr=stderr, stdout=subprocess.DEVNULL)
    try:
        t1 = watch.next_map(10)
    except queue.Empty:
        stop(p)
        raise TimeoutError("no window mapped within 10 s: %s" % cmd[0])
    return p, (t1 - t0) / 1e6


def summary(values, unit="", fmt="%.1f"):
    return (fmt + "%s median (" + fmt + " min)") % (statistics.median(values), unit, min(values))


def ratio(a, b):
    return "%.2f×" % (a / b) if b else "—"


rows = []


def row(figure, ours, baseline, r, goal):
    rows.append((figure, ours, baseline, r, goal))
    log("  %s: %s | %s | %s" % (figure, ours, baseline, r))


def table():
    log("\n| Figure | Halvyn | Baseline | Ratio | Goal |\n|---|---|---|---|---|")
    for r in rows:
        log("| " + " | ".join(r) + " |")


class FrameLog:
    """The program's HALVYN_FRAME_LOG lines: (wall ns, notification, activity, title)."""

    def __init__(self, path):
        self.path = path

    def frames(self):
        out = []
        with open(self.path, errors="replace") as f:
            for line in f:
                parts = line.rstrip("\n").split(" ", 4)
                if len(parts) >= 4 and parts[0] == "frame":
                    out.append((int(parts[1]), parts[2], parts[3], parts[4] if len(parts) > 4 else ""))
        return out

    def settled(self, quiet_s=0.6, timeout=15):
        """Waits until no frame has been painted for `quiet_s`."""
        end = time.monotonic() + timeout
        last = len(self.frames())
        since = time.monotonic()
        while time.monotonic() < end:
            time.sleep(0.05)
            n = len(self.frames())
            if n != last:
                last, since = n, time.monotonic()
            elif time.monotonic() - since >= quiet_s:
                return n
        raise TimeoutError("the notch kept painting for %g s" % timeout)


def write_preferences():
    os.makedirs(os.path.join(args.dir, "config", "halvyn"), exist_ok=True)
    # Past the first-launch page, which would otherwise hold the notch back.
    with open(os.path.join(args.dir, "config", "halvyn", "preferences.json"), "w") as f:
        f.write('{"isFirstLaunch": false}\n')


def helper_pid():
    """The process serving the helper's name on the bus, if any."""
    out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                          "org.freedesktop.DBus.GetConnectionUnixProcessID", "string:org.halvyn.Helper"],
                         env=ENV, capture_output=True, text=True, timeout=10).stdout.split()
    return int(out[-1]) if out and out[-1].isdigit() else None


# ---------------------------------------------------------------------------------------------
write_preferences()
watch = MapWatch()
xvfb = args.xvfb

log("Start-up and rest, %d runs each:" % args.runs)
ours_start, floor_start, ours_mem, floor_mem = [], [], [], []
for i in range(args.runs):
    for cmd, starts, mems in (([args.floor], floor_start, floor_mem), ([HALVYN], ours_start, ours_mem)):
        p, ms = launch(cmd, watch)
        starts.append(ms)
        if i < 3:
            time.sleep(5)  # start-up work done, its background threads gone
            mems.append(memory(p.pid))
            if i == 0:
                mems.append(pss_by_mapping(p.pid))
        stop(p)
        time.sleep(0.3)
# Where the memory above the floor's is: the largest differences of one run, by mapping.
ours_map, floor_map = ours_mem.pop(1), floor_mem.pop(1)
above = sorted(((ours_map.get(k, 0) - floor_map.get(k, 0), k) for k in set(ours_map) | set(floor_map)), reverse=True)
log("  PSS above the floor, by mapping: " + ", ".join("%s %+.1f MB" % (k, d / 1024) for d, k in above[:12]))
row("Start → first mapped window", summary(ours_start, " ms"), "floor " + summary(floor_start, " ms"),
    ratio(statistics.median(ours_start), statistics.median(floor_start)), "≤ 1.5× floor")
med = lambda xs, k: statistics.median(x[k] for x in xs)
row("RSS at rest (PSS)", "%.1f MB (%.1f)" % (med(ours_mem, 0) / 1024, med(ours_mem, 1) / 1024),
    "floor %.1f MB (%.1f)" % (med(floor_mem, 0) / 1024, med(floor_mem, 1) / 1024),
    "%s (%s)" % (ratio(med(ours_mem, 0), med(floor_mem, 0)), ratio(med(ours_mem, 1), med(floor_mem, 1))),
    "≤ 1.15× floor")
row("Threads at rest", "%d" % med(ours_mem, 2), "floor %d" % med(floor_mem, 2), "+%d" % (med(ours_mem, 2) - med(floor_mem, 2)),
    "justify each")

# The floor's cost of a whole-window frame.
n = 120
p, _ = launch([args.floor, str(n)], watch)
time.sleep(0.5)
c0, x0 = cpu_ns(p.pid), cpu_ns(xvfb)
time.sleep(1 + n * 0.016 + 1)
floor_frame = ((cpu_ns(p.pid) - c0) / n / 1e6, (cpu_ns(xvfb) - x0) / n / 1e6)
stop(p)

# At rest and the volume display.
flog = FrameLog(os.path.join(args.dir, "halvyn.log"))
app, _ = launch([HALVYN], watch, env=halvyn_env(True), stderr=open(flog.path, "w"))
time.sleep(3)
flog.settled()
if args.quiet > 0:
    s0, c0, f0 = switches(app.pid), cpu_ns(app.pid), len(flog.frames())
    time.sleep(args.quiet)
    log("  At rest over %d s: %d context switches, %.1f ms processor time, %d frames" %
        (args.quiet, switches(app.pid) - s0, (cpu_ns(app.pid) - c0) / 1e6, len(flog.frames()) - f0))

volume = {"frames": [], "cpu": [], "x": [], "latency": []}
if args.pulse:
    level = 50
    for i in range(10):
        flog.settled()
        if flog.frames() and flog.frames()[-1][1] != "none":
            raise RuntimeError("the volume display did not go away")
        f0, c0, x0 = len(flog.frames()), cpu_ns(app.pid), cpu_ns(xvfb)
        level = 56 if level == 50 else 50
        t0 = time.time_ns()
        subprocess.run(["pactl", "set-sink-volume", "one", "%d%%" % level], env=ENV, check=True, timeout=10)
        shown = wait_until("the volume display painted",
                           lambda: next((f for f in flog.frames()[f0:] if f[1] == "didChangeVolume"), None), 10)
        # The display's whole life, as dunst's is measured: it opens, stays still while shown
        # (longer than settled() waits for) and closes again.
        wait_until("the volume display closing",
                   lambda: next((f for f in flog.frames()[f0:] if f[0] > shown[0] and f[1] == "none"), None), 10)
        flog.settled()
        volume["latency"].append((shown[0] - t0) / 1e6)
        volume["frames"].append(len(flog.frames()) - f0)
        volume["cpu"].append((cpu_ns(app.pid) - c0) / 1e6)
        volume["x"].append((cpu_ns(xvfb) - x0) / 1e6)
    per_frame = statistics.median(c / f for c, f in zip(volume["cpu"], volume["frames"]))
    row("Frames per volume display", "%d; %.2f ms CPU each (X server %.2f)" %
        (statistics.median(volume["frames"]), per_frame,
         statistics.median(x / f for x, f in zip(volume["x"], volume["frames"]))),
        "floor whole-window frame %.2f ms (X server %.2f)" % floor_frame, ratio(per_frame, floor_frame[0]) + " per frame",
        "paint only the damaged rectangle")
    log("  pactl to the display's first painted frame: %s" % summary(volume["latency"], " ms", "%.2f"))
stop(app)

if args.pulse and args.bus and shutil.which("dunst"):
    dunst = start(["dunst"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until("dunst on the bus", lambda: subprocess.run(
        ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/", "org.freedesktop.DBus.NameHasOwner",
         "string:org.freedesktop.Notifications"], env=ENV, capture_output=True, text=True).stdout.find("true") >= 0, 10)
    time.sleep(1)
    d = {"cpu": [], "x": [], "show": []}
    for i in range(10):
        c0, x0 = cpu_ns(dunst.pid), cpu_ns(xvfb)
        watch.drain()
        t0 = time.monotonic_ns()
        subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications", "--object-path",
                        "/org/freedesktop/Notifications", "--method", "org.freedesktop.Notifications.Notify", "volume",
                        "0", "audio-volume-medium", "Volume", "%d %%" % (50 + i), "[]", "{}", "1500"],
                       env=ENV, capture_output=True, check=True, timeout=10)
        try:
            d["show"].append((watch.next_map(5) - t0) / 1e6)
        except queue.Empty:
            pass
        time.sleep(3)
        d["cpu"].append((cpu_ns(dunst.pid) - c0) / 1e6)
        d["x"].append((cpu_ns(xvfb) - x0) / 1e6)
    stop(dunst)
    if volume["cpu"]:
        row("CPU per volume display shown", "%.1f ms + %.1f in the X server" %
            (statistics.median(volume["cpu"]), statistics.median(volume["x"])),
            "dunst %.1f ms + %.1f" % (statistics.median(d["cpu"]), statistics.median(d["x"])),
            ratio(statistics.median(volume["cpu"]), statistics.median(d["cpu"])) + " (with X: " +
            ratio(statistics.median(volume["cpu"]) + statistics.median(volume["x"]),
                  statistics.median(d["cpu"]) + statistics.median(d["x"])) + ")", "≤ 3× dunst")
    if d["show"] and volume["latency"]:
        log("  dunst, Notify call to its window mapped: %s (Halvyn's display: %.2f ms median)" %
            (summary(d["show"], " ms", "%.2f"), statistics.median(volume["latency"])))
elif args.pulse:
    log("  dunst: not installed")

# Media playing, the track change and the helper's memory.
plugin = next((p for p in ("/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so") if os.path.exists(p)), None)
if args.bus and shutil.which("mpv") and plugin and os.path.exists(os.path.join(args.build, "shell", "halvyn-helper")):
    for name in "AB":
        path = os.path.join(args.dir, name + ".wav")
        with wave.open(path, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(8000)
            w.writeframes(b"".join(struct.pack("<h", int(2000 * math.sin(2 * math.pi * 440 * i / 8000)))
                                   for i in range(8000 * 30)))
        title = b"Track " + name.encode() + b"\0\0"
        info = b"INFO" + b"INAM" + struct.pack("<I", len(title)) + title
        data = open(path, "rb").read()
        body = data[12:] + b"LIST" + struct.pack("<I", len(info)) + info
        open(path, "wb").write(b"RIFF" + struct.pack("<I", len(body) + 4) + b"WAVE" + body)
    mpv = start(["mpv", "--no-config", "--load-scripts=no", "--script=" + plugin, "--ao=null", "--no-video",
                 "--no-terminal", "--loop-playlist=inf", os.path.join(args.dir, "A.wav"), os.path.join(args.dir, "B.wav")],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    names = lambda: subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                                    "org.freedesktop.DBus.ListNames"], env=ENV, capture_output=True, text=True).stdout
    wait_until("mpv on the bus", lambda: "org.mpris.MediaPlayer2.mpv" in names(), 10)
    player = next(w.strip('"') for w in names().split() if "org.mpris.MediaPlayer2.mpv" in w)
    app, _ = launch([HALVYN], watch, env=halvyn_env(True), stderr=open(flog.path, "w"))
    wait_until("a track's title painted", lambda: any(f[3].startswith("Track ") for f in flog.frames()), 15)
    time.sleep(3)
    helper = wait_until("the helper on the bus", helper_pid, 10)
    span = 10
    s0, c0, f0, x0 = switches(app.pid), cpu_ns(app.pid), len(flog.frames()), cpu_ns(xvfb)
    h0 = (switches(helper), cpu_ns(helper)) if helper else None
    time.sleep(span)
    cpu = (cpu_ns(app.pid) - c0) / 1e6
    row("While media plays", "%.0f wake-ups/s, %.1f ms CPU per second (%.2f %% of a core), %.0f frames/s; X server %.1f ms/s"
        % ((switches(app.pid) - s0) / span, cpu / span, cpu / span / 10, (len(flog.frames()) - f0) / span,
           (cpu_ns(xvfb) - x0) / 1e6 / span),
        "helper %.0f wake-ups/s, %.2f ms CPU/s" % ((switches(helper) - h0[0]) / span, (cpu_ns(helper) - h0[1]) / 1e6 / span)
        if h0 else "helper not found", "—", "≤ 1 % of a core")
    changes = []
    for i in range(20):
        last = next((f[3] for f in reversed(flog.frames()) if f[3]), "")
        f0 = len(flog.frames())
        t0 = time.time_ns()
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=" + player, "/org/mpris/MediaPlayer2",
                        "org.mpris.MediaPlayer2.Player.Next"], env=ENV, capture_output=True, check=True, timeout=10)
        try:
            shown = wait_until("the next title painted",
                               lambda: next((f for f in flog.frames()[f0:] if f[3].startswith("Track ") and f[3] != last), None), 10)
            changes.append((shown[0] - t0) / 1e6)
        except TimeoutError as e:
            log("  " + str(e))
        time.sleep(0.5)
    if changes:
        changes.sort()
        row("Track change → title painted", "%.1f ms median, %.1f ms p90 (max %.1f)" %
            (statistics.median(changes), changes[int(len(changes) * 0.9) - 1], changes[-1]), "—", "—", "≤ 1 frame p99")
    if helper:
        hm = memory(helper)
        if shutil.which("playerctld"):
            pd = start(["playerctld"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(3)
            pm = memory(pd.pid)
            stop(pd)
            row("halvyn-helper RSS (PSS)", "%.1f MB (%.1f), %d threads" % (hm[0] / 1024, hm[1] / 1024, hm[2]),
                "playerctld %.1f MB (%.1f), %d threads" % (pm[0] / 1024, pm[1] / 1024, pm[2]), ratio(hm[0], pm[0]),
                "≤ 1.5× playerctld")
        else:
            row("halvyn-helper RSS (PSS)", "%.1f MB (%.1f)" % (hm[0] / 1024, hm[1] / 1024), "playerctld: not installed",
                "—", "≤ 1.5× playerctld")
    stop(app)
    stop(mpv)
elif args.bus:
    log("  media: mpv, mpv-mpris or halvyn-helper not there; no media rows")

log("  pasystray: " + ("installed, not measured" if shutil.which("pasystray") else "not installed"))
table()
for p in children:
    stop(p)
