#!/usr/bin/env python3
"""Reads a TVQ_TRACE_SYNC file and prints how far the shown pictures were from the sound heard.

Each frame line is "<monotonic ms> <second> <frame index> <heard audio ms>"; "# fps N" starts a
movie. A frame's own time is second + index / fps; its offset is the heard position when it came
on screen minus that time. A frame that appears as soon as its sound is heard has an offset
between 0 and one notification period; a negative offset means it came early. Offsets are only
meaningful at 1x (the fast modes show seconds out of step with the sound on purpose).

Skipped frames are the labels missing between two shown ones; a frame counts as shown twice
when its label is not after the one before it.

  bench/sync.py FILE [--skip-first S]   (S seconds of each movie left out: the opening)
"""
import argparse
import sys


def percentile(sorted_values, fraction):
    if not sorted_values:
        return float("nan")
    k = min(len(sorted_values) - 1, max(0, round(fraction * (len(sorted_values) - 1))))
    return sorted_values[k]


def read_trace(path):
    """The frame lines as (paint ms, second, index, heard ms, fps), the frames skipped and the
    frames shown twice. bench/pulse_sync.py reads the trace through this too."""
    frames, skipped, twice = [], 0, 0
    fps, last = 25, None
    with open(path) as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if parts[0] == "#":
                if len(parts) == 3 and parts[1] == "fps":
                    fps, last = max(1, int(parts[2])), None
                continue
            if len(parts) != 4:
                continue
            ms, second, index, heard_ms = (int(p) for p in parts)
            label = second * fps + index
            if last is not None:
                if label <= last:
                    twice += 1
                elif label > last + 1:
                    skipped += label - last - 1
            last = label
            frames.append((ms, second, index, heard_ms, fps))
    return frames, skipped, twice


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("trace")
    parser.add_argument("--skip-first", type=int, default=0)
    args = parser.parse_args()
    frames, skipped, twice = read_trace(args.trace)
    offsets = [heard - (second * 1000 + index * 1000 / fps)
               for _, second, index, heard, fps in frames if second >= args.skip_first]
    if not offsets:
        print("no frames in the trace", file=sys.stderr)
        return 1
    values = sorted(abs(o) for o in offsets)
    signed = sorted(offsets)
    print(f"frames shown      {len(frames)}")
    print(f"A/V offset |ms|   p50 {percentile(values, .5):.1f}  p95 {percentile(values, .95):.1f}"
          f"  p99 {percentile(values, .99):.1f}  max {values[-1]:.1f}")
    print(f"signed offset ms  min {signed[0]:.1f}  median {percentile(signed, .5):.1f}"
          f"  max {signed[-1]:.1f}")
    print(f"frames skipped    {skipped}")
    print(f"shown twice       {twice}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
