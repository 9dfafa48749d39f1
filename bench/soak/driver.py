#!/usr/bin/env python3
"""Drives a running tvqplayer at random for a while and watches it (bench/soak.sh runs it).

The player is driven the ways a user or a desktop drives it: MPRIS on the session bus
(play, pause, stop, next, previous, relative and absolute seeks), X input through xdotool
(the display menu's speeds, the skin menu while stopped, the seek keys) and second
starts that hand a file over. It is watched through the same bus and the frame trace
(TVQ_TRACE_SYNC):

  stall   the player is playing, no command of ours explains a wait, and no new frame has
          been shown for more than --stall-ms; or a bus call takes longer than that
  rss     the resident set, sampled every --rss-every seconds

It prints the RSS curve and the counts, and writes them as JSON to --report.
"""
import argparse
import json
import os
import random
import subprocess
import sys
import time

BUS_NAME = "org.mpris.MediaPlayer2.tvqplayer"
BUS_PATH = "/org/mpris/MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
TITLE = "TVQ Player"

# Where to click, from the main window's size: the picture fills the upper part, and the
# skin button keeps its place to the bottom right corner whatever size the window has.
DISPLAY_AT = (0.5, 0.35)  # fractions of the width and height
STYLE_FROM_CORNER = (36, 110)  # pixels left of the right edge and above the bottom edge
SKINS = 3
SPEED_ITEMS = 4  # 1X 2X 4X 8X
FORWARD_ITEM = 7  # the display menu's "Forward" submenu is its seventh item

# How long a command may keep the picture still before it counts as a stall, on top of the
# stall limit: next, previous and play after stop go through the player's second-long pause
# between files.
COMMAND_GRACE_S = {"next": 1.2, "previous": 1.2, "play": 1.2}


def now():
    return time.monotonic()


class Bus:
    def __init__(self, timeout_s, begin):
        self.timeout_s = timeout_s
        self.begin = begin
        self.slow = []  # (when, what, seconds) of calls that took longer than the limit
        self.longest = (0.0, None)  # seconds and method of the slowest call

    def _send(self, args):
        start = now()
        try:
            out = subprocess.run(
                ["dbus-send", "--session", "--print-reply",
                 "--reply-timeout=%d" % int(self.timeout_s * 1000 + 3000),
                 "--dest=" + BUS_NAME, BUS_PATH] + args,
                capture_output=True, text=True, timeout=self.timeout_s + 5)
            text = out.stdout if out.returncode == 0 else None
        except subprocess.TimeoutExpired:
            text = None
        took = now() - start
        if took > self.longest[0]:
            self.longest = (took, args[0].rsplit(".", 1)[-1])
        if took > self.timeout_s:
            self.slow.append((round(start - self.begin), "slow bus call " +
                              args[0].rsplit(".", 1)[-1], round(took, 2)))
        return text

    def get(self, prop):
        text = self._send(["org.freedesktop.DBus.Properties.Get",
                           "string:" + PLAYER, "string:" + prop])
        if text is None:
            return None
        for line in text.splitlines():
            line = line.strip()
            if line.startswith("variant"):
                parts = line.split()
                return parts[-1].strip('"')
        return None

    def call(self, method, *args):
        return self._send([PLAYER + "." + method] + list(args)) is not None


class X:
    """Input through xdotool at the player's main window (no window manager: the window sits
    where the program put it)."""

    def __init__(self, available):
        self.available = available

    def _run(self, *args):
        return subprocess.run(["xdotool"] + list(args), capture_output=True, text=True,
                              timeout=10)

    def window(self):
        out = self._run("search", "--onlyvisible", "--name", "^%s$" % TITLE)
        ids = out.stdout.split()
        return ids[0] if ids else None

    def geometry(self, wid):
        # The skinned frame is part of the window: its origin is the dialog's.
        out = self._run("getwindowgeometry", "--shell", wid)
        vals = dict(l.split("=", 1) for l in out.stdout.split() if "=" in l)
        return tuple(int(vals.get(k, 0)) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def click(self, where, button):
        wid = self.window()
        if wid is None:
            return False
        x, y, w, h = self.geometry(wid)
        at_x, at_y = where(w, h)
        self._run("mousemove", str(x + at_x), str(y + at_y), "sleep", "0.1", "click", str(button))
        return True

    def keys(self, *keys):
        self._run("sleep", "0.3", "key", "--delay", "60", *keys)

    def speed(self, index):
        if not self.click(lambda w, h: (int(w * DISPLAY_AT[0]), int(h * DISPLAY_AT[1])), 3):
            return False
        self.keys(*(["Down"] * FORWARD_ITEM + ["Right"] + ["Down"] * index + ["Return"]))
        return True

    def skin(self, index):
        if not self.click(lambda w, h: (w - STYLE_FROM_CORNER[0], h - STYLE_FROM_CORNER[1]), 1):
            return False
        self.keys(*(["Down"] * (index + 1) + ["Return"]))
        return True

    def focus_key(self, key):
        wid = self.window()
        if wid is None:
            return False
        self._run("windowfocus", wid)
        self.keys(key)
        return True


def rss_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        return None
    return None


def skin_index(settings):
    try:
        with open(settings, errors="replace") as f:
            for line in f:
                if line.strip().lower().startswith("skin="):
                    return line.split("=", 1)[1].strip()
    except (OSError, TypeError):
        return None
    return None


def peaks_per_minute(samples, skip_s=60):
    """The highest RSS of each whole minute after the first: what a leak makes climb, while
    single samples also follow which movie plays and whether it is stopped."""
    peaks = {}
    for s, v in samples:
        if s >= skip_s:
            m = int(s // 60)
            peaks[m] = max(peaks.get(m, 0), v)
    return [peaks[m] for m in sorted(peaks)]


def alive(pid):
    try:
        os.kill(pid, 0)
    except OSError:
        return False
    try:  # a zombie is not alive
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(") ", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--pid", type=int, required=True)
    ap.add_argument("--seconds", type=float, required=True)
    ap.add_argument("--sync", required=True, help="the player's TVQ_TRACE_SYNC file")
    ap.add_argument("--player", required=True, help="the program, for second starts")
    ap.add_argument("--handover", nargs="*", default=[], help="files second starts hand over")
    ap.add_argument("--length-s", type=int, default=3600, help="length of the first file")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--stall-ms", type=int, default=2000)
    ap.add_argument("--rss-every", type=float, default=10.0)
    ap.add_argument("--no-x", action="store_true", help="no xdotool: bus and second starts only")
    ap.add_argument("--settings", help="the player's settings.ini: the skin it keeps")
    ap.add_argument("--report", required=True)
    a = ap.parse_args()

    rng = random.Random(a.seed)
    begin = now()
    bus = Bus(a.stall_ms / 1000.0, begin)
    x = X(not a.no_x)
    stall_s = a.stall_ms / 1000.0
    end = begin + a.seconds

    actions = ["seek", "seek", "position", "pause", "stop", "next", "previous", "key"]
    if x.available:
        actions += ["speed", "speed", "speed", "skin", "skin"]
    actions += ["handover"]
    counts = {}
    rss = []  # (seconds since start, KiB, playback status)
    skins_seen = set()
    skin_changes = 0
    last_skin = skin_index(a.settings)
    stalls = []  # (seconds since start, what, seconds)
    max_gap_playing = 0.0
    next_rss = begin
    next_action = begin + 3.0
    resume_at = None  # a pause or stop is undone after a while
    last_size = -1
    last_frame = now()
    grace_until = 0.0
    playing_since = None
    spell = None  # [start, last seen] of a still picture past the limit, while playing
    handovers = 0
    last_status = None

    history = []  # (seconds since start, command)

    def close_spell(what):
        # One entry per still spell, with its whole length.
        nonlocal spell
        stalls.append((round(spell[0] - begin), what, round(spell[1] - spell[0], 2)))
        spell = None

    def command(name, grace=0.0):
        nonlocal grace_until
        counts[name] = counts.get(name, 0) + 1
        history.append((round(now() - begin, 1), name))
        grace_until = max(grace_until, now() + COMMAND_GRACE_S.get(name, 0.0) + grace)

    while now() < end:
        if not alive(a.pid):
            print("the player is gone after %.0f s" % (now() - begin))
            break
        t = now()
        if t >= next_rss:
            value = rss_kib(a.pid)
            if value is not None:
                rss.append((round(t - begin), value, last_status))
            next_rss += a.rss_every

        # Progress: new frames while playing.
        try:
            size = os.path.getsize(a.sync)
        except OSError:
            size = 0
        if size != last_size:
            last_size = size
            last_frame = t
            if spell is not None:
                close_spell("no new frame while playing")
        status = bus.get("PlaybackStatus")
        last_status = status
        if status is None:
            stalls.append((round(t - begin), "no answer to PlaybackStatus", a.stall_ms / 1000))
        t = now()
        if status == "Playing":
            if playing_since is None:
                playing_since = t
            quiet_from = max(last_frame, playing_since, grace_until)
            gap = t - quiet_from
            max_gap_playing = max(max_gap_playing, t - max(last_frame, playing_since))
            if gap > stall_s:
                if spell is None:
                    spell = [quiet_from, t]
                spell[1] = t
            elif spell is not None:
                close_spell("no new frame while playing")  # a command explains the rest
        else:
            playing_since = None
            if spell is not None:
                close_spell("no new frame while playing, then %s" % status)

        if resume_at is not None and t >= resume_at:
            bus.call("Play")
            command("play")
            resume_at = None
        elif t >= next_action:
            what = rng.choice(actions)
            if what == "seek":
                if bus.call("Seek", "int64:%d" % (rng.randint(-120, 120) * 1000000)):
                    command(what)
            elif what == "position":
                meta = subprocess.run(
                    ["playerctl", "-p", "tvqplayer", "metadata", "mpris:trackid"],
                    capture_output=True, text=True, timeout=5).stdout.strip()
                if meta:
                    target = rng.randint(0, max(1, a.length_s - 30))
                    bus.call("SetPosition", "objpath:" + meta, "int64:%d" % (target * 1000000))
                    command(what)
            elif what == "pause":
                if bus.call("Pause"):
                    command(what)
                    resume_at = now() + rng.uniform(0.5, 4.0)
            elif what == "stop":
                if bus.call("Stop"):
                    command(what)
                    resume_at = now() + rng.uniform(0.5, 3.0)
            elif what in ("next", "previous"):
                if bus.call(what.capitalize()):
                    command(what)
            elif what == "key":
                if x.available and x.focus_key(rng.choice(["Left", "Right"])):
                    command(what, grace=0.5)
            elif what == "speed":
                index = rng.choice([0, 0, 1, 2, 3])
                if x.speed(index):
                    command("speed%dx" % (1 << index), grace=1.0)
            elif what == "skin":
                # The skin button works only while nothing plays: stop, switch, play later.
                if bus.call("Stop"):
                    command("stop")
                    resume_at = now() + rng.uniform(2.5, 4.0)
                    time.sleep(0.8)
                if x.skin(rng.randrange(SKINS)):
                    command(what)
                    time.sleep(1.0)
                    now_skin = skin_index(a.settings)
                    if now_skin is not None and now_skin != last_skin:
                        skin_changes += 1
                        skins_seen.add(now_skin)
                    last_skin = now_skin
            elif what == "handover" and a.handover and handovers < 6:
                handovers += 1
                started = now()
                subprocess.run([a.player, rng.choice(a.handover)], capture_output=True,
                               timeout=20)
                took = now() - started
                if took > stall_s:
                    stalls.append((round(now() - begin), "second start took", round(took, 2)))
                command(what)
            next_action = now() + rng.uniform(1.5, 6.0)
        time.sleep(0.25)

    if spell is not None:
        close_spell("no new frame while playing, at the end")
    ran = now() - begin
    base = peaks_per_minute([(s, v) for s, v, _ in rss])
    flat = None
    if len(base) >= 2:
        flat = (max(base) - min(base)) / float(min(base))
    stalls = sorted(stalls + bus.slow)
    # A still picture and a slow answer at the same moment are one stall.
    events = []
    for when, what, secs in stalls:
        if events and when - events[-1]["at"] <= 5:
            events[-1]["seen"].append("%s (%s s)" % (what, secs))
        else:
            before = [c for t_, c in history if when - 8 <= t_ <= when][-4:]
            events.append({"at": when, "seen": ["%s (%s s)" % (what, secs)],
                           "commands_before": before})
    report = {
        "seconds": round(ran),
        "alive": alive(a.pid),
        "commands": counts,
        "rss_kib": rss,
        "rss_peak_per_minute_kib": base,
        "rss_spread_after_1min": None if flat is None else round(flat, 4),
        "skin_changes": skin_changes,
        "stalls": events,
        "command_log": history,
        "longest_still_while_playing_s": round(max_gap_playing, 2),
        "longest_bus_call_s": round(bus.longest[0], 2),
        "longest_bus_call": bus.longest[1],
    }
    with open(a.report, "w") as f:
        json.dump(report, f, indent=1)

    print("ran %.0f s; commands: %s" % (ran, ", ".join(
        "%s %d" % kv for kv in sorted(counts.items()))))
    letter = {"Playing": "", "Paused": "p", "Stopped": "s"}
    print("RSS every %.0f s (s:MiB, p paused, s stopped):" % a.rss_every)
    line = []
    for s, v, st in rss:
        line.append("%d:%.0f%s" % (s, v / 1024.0, letter.get(st, "?")))
        if len(line) == 12:
            print("  " + " ".join(line))
            line = []
    if line:
        print("  " + " ".join(line))
    if flat is not None:
        print("RSS peak of each minute after the first (MiB): %s; spread %.1f %%" % (
            " ".join("%.0f" % (v / 1024.0) for v in base), flat * 100))
    print("skin changes seen in settings.ini: %d" % skin_changes)
    print("longest still picture while playing (commands included): %.2f s" % max_gap_playing)
    # A call's time includes the start of dbus-send, which a loaded machine slows as well.
    print("longest bus call: %.2f s (%s)" % bus.longest)
    print("stalls: %d" % len(events))
    for e in events:
        print("  at %d s: %s; commands in the 8 s before: %s" % (
            e["at"], ", ".join(e["seen"]), " ".join(e["commands_before"]) or "none"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
