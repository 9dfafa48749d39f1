#!/usr/bin/env python3
"""Repeats the commands that used to freeze the player and times each of them
(bench/soak.sh --scenario speed runs it).

Where the soak driver picks at random, this one goes round a fixed cycle of what came before
the stalls: forward 4x and 8x, backward at every factor, back to 1x, far and near absolute
positions and relative seeks, all over MPRIS. For every command it measures how long the bus
call took (the user-interface thread answers it, so a long call is a frozen window), and from
the frame trace (TVQ_TRACE_SYNC) the longest time without a new picture after it.

When a call has not answered after --slow-ms, the stacks of all the player's threads are taken
with gdb while it hangs (at most --max-stacks times), so the holder of the lock the window
waits for can be seen. Attaching stops the player for a moment: a call that was caught is
reported as such, and its time includes gdb's.
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

# One turn of the cycle. ("rate", r) sets the Rate property (negative plays backward);
# ("position", where) jumps to a second far from or near the current one; ("seek", s) moves
# by s seconds.
CYCLE = [("rate", 4), ("rate", 8), ("rate", -1), ("rate", 1), ("rate", -2), ("rate", -4),
         ("rate", -8), ("rate", 1), ("position", "far"), ("rate", 8), ("rate", -4),
         ("rate", 4), ("rate", 1), ("position", "near"), ("rate", -8), ("rate", 2),
         ("rate", 1), ("seek", 60), ("seek", -30), ("position", "far")]
# A picture still for longer than this after a command is listed.
GAP_LIST_MS = 700
# Until it moves more than this away, "near" means a few seconds from where the picture is.
NEAR_SPAN_S = 8


def now():
    return time.monotonic()


def dbus(args, timeout_s):
    return subprocess.Popen(
        ["dbus-send", "--session", "--print-reply", "--reply-timeout=%d" % int(timeout_s * 1000),
         "--dest=" + BUS_NAME, BUS_PATH] + args,
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)


def get(prop, timeout_s=10):
    p = dbus(["org.freedesktop.DBus.Properties.Get", "string:" + PLAYER, "string:" + prop],
             timeout_s)
    out, _ = p.communicate()
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("variant"):
            return line.split(None, 2)[-1].strip('"')
    return None


def track_id():
    p = dbus(["org.freedesktop.DBus.Properties.Get", "string:" + PLAYER, "string:Metadata"], 10)
    out, _ = p.communicate()
    lines = out.splitlines()
    for i, line in enumerate(lines):
        if '"mpris:trackid"' in line and i + 1 < len(lines):
            return lines[i + 1].split()[-1].strip('"')
    return None


def stacks(pid, path):
    with open(path, "w") as f:
        subprocess.run(["gdb", "-p", str(pid), "-batch", "-ex", "set pagination off",
                        "-ex", "thread apply all bt"], stdout=f, stderr=subprocess.STDOUT,
                       timeout=120)


class FrameTrace:
    """Reads the frame trace as it grows: lines "ms second index heard_ms" (steady clock, the
    same as time.monotonic), comments start with #."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.last_ms = None
        self.last_label = None

    def read(self):
        """The new frames as (ms, second)."""
        frames = []
        try:
            with open(self.path) as f:
                f.seek(self.offset)
                chunk = f.read()
        except OSError:
            return frames
        whole = chunk[:chunk.rfind("\n") + 1]
        self.offset += len(whole.encode())
        for line in whole.splitlines():
            parts = line.split()
            if len(parts) < 3 or line.startswith("#"):
                continue
            frames.append((int(parts[0]), int(parts[1])))
        if frames:
            self.last_ms = frames[-1][0]
            self.last_label = frames[-1][1]
        return frames


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--pid", type=int, required=True)
    ap.add_argument("--seconds", type=float, required=True)
    ap.add_argument("--sync", required=True, help="the player's TVQ_TRACE_SYNC file")
    ap.add_argument("--length-s", type=int, default=3600, help="length of the playing file")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--slow-ms", type=int, default=1000)
    ap.add_argument("--max-stacks", type=int, default=4)
    ap.add_argument("--stacks-dir", default=".")
    ap.add_argument("--report", required=True)
    a = ap.parse_args()

    rng = random.Random(a.seed)
    begin = now()
    end = begin + a.seconds
    trace = FrameTrace(a.sync)
    trace.read()
    calls = []  # dicts: at, what, ms, caught, gap_ms
    caught = 0
    turn = 0

    def wait_watching(seconds, record):
        """Waits, following the frame trace; the longest picture gap goes to the record."""
        until = now() + seconds
        prev = trace.last_ms
        while now() < until:
            for ms, _ in trace.read():
                if prev is not None and record is not None:
                    record["gap_ms"] = max(record.get("gap_ms", 0), ms - prev)
                prev = ms
            time.sleep(0.05)
        # A picture still at the end of the wait counts up to now.
        if record is not None and prev is not None:
            record["gap_ms"] = max(record.get("gap_ms", 0), int(now() * 1000) - prev)

    while now() < end:
        what = CYCLE[turn % len(CYCLE)]
        turn += 1
        status = get("PlaybackStatus")
        if status != "Playing":
            # Backward play may have reached the start and the list moved on, or a file ends.
            p = dbus([PLAYER + ".Play"], 10)
            p.communicate()
            wait_watching(2.0, None)
            continue
        kind, value = what
        if kind == "rate":
            args = ["org.freedesktop.DBus.Properties.Set", "string:" + PLAYER, "string:Rate",
                    "variant:double:%d" % value]
            name = "rate %+dx" % value
        elif kind == "position":
            here = trace.last_label if trace.last_label is not None else 0
            if value == "far":
                target = rng.randint(60, max(61, a.length_s - 60))
            else:
                target = max(0, here + rng.randint(-NEAR_SPAN_S, NEAR_SPAN_S))
            tid = track_id()
            if not tid:
                continue
            args = [PLAYER + ".SetPosition", "objpath:" + tid, "int64:%d" % (target * 1000000)]
            name = "position %s" % value
        else:
            args = [PLAYER + ".Seek", "int64:%d" % (value * 1000000)]
            name = "seek %+ds" % value
        start = now()
        p = dbus(args, 60)
        record = {"at": round(start - begin, 1), "what": name, "caught": False}
        while p.poll() is None:
            if (not record["caught"] and caught < a.max_stacks and
                    now() - start > a.slow_ms / 1000.0):
                caught += 1
                record["caught"] = True
                record["stacks"] = os.path.join(a.stacks_dir, "stacks-%d.txt" % caught)
                stacks(a.pid, record["stacks"])
            time.sleep(0.01)
        record["ms"] = int((now() - start) * 1000)
        calls.append(record)
        wait_watching(rng.uniform(1.5, 3.0), record)
        if record["ms"] > a.slow_ms or record.get("gap_ms", 0) > GAP_LIST_MS:
            print("  at %6.1f s %-14s call %5d ms, picture still %5d ms%s" % (
                record["at"], name, record["ms"], record.get("gap_ms", 0),
                " (stacks: %s)" % record["stacks"] if record["caught"] else ""), flush=True)

    by_what = {}
    for c in calls:
        by_what.setdefault(c["what"], []).append(c)
    print("%-14s %5s %9s %9s %9s" % ("command", "count", "call p50", "call max", "still max"))
    for what in sorted(by_what):
        cs = by_what[what]
        ms = sorted(c["ms"] for c in cs)
        print("%-14s %5d %7d ms %7d ms %7d ms" % (what, len(cs), ms[len(ms) // 2], ms[-1],
                                                 max(c.get("gap_ms", 0) for c in cs)))
    slow = [c for c in calls if c["ms"] > a.slow_ms]
    print("calls over %d ms: %d of %d; longest call %d ms; longest still picture %d ms" % (
        a.slow_ms, len(slow), len(calls), max([c["ms"] for c in calls] or [0]),
        max([c.get("gap_ms", 0) for c in calls] or [0])))
    with open(a.report, "w") as f:
        json.dump({"calls": calls, "slow": len(slow)}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
