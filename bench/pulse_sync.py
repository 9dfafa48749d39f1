#!/usr/bin/env python3
"""A/V sync as a listener hears it: a sound server's recording against the player's paint times.

Two steps, both run by bench/pulse-sync.sh:

  pulse_sync.py record RAW STAMPS -- parec ARGS...
      Runs parec (raw s16le on its stdout) and stores what it hands over in RAW. After each read
      one line "<bytes so far> <time.monotonic_ns()>" goes to STAMPS: the moment the bytes up to
      there reached us, on CLOCK_MONOTONIC, the clock the player's std::chrono::steady_clock
      reads and its TVQ_TRACE_SYNC trace writes. Ends on SIGTERM or SIGINT, or when parec ends.

  pulse_sync.py analyse RAW STAMPS TRACE [--rate R] [--channels C] [--record-latency-ms L]
                [--skip-first S] [--summary FILE --label NAME]
      RAW holds a tvq-make --pattern sync movie's sound: a burst on the first sample of every
      frame, its pitch naming the frame's index (600 Hz + 120 Hz x index, modulo 25). Each burst
      onset is found (the first sample off digital silence), labelled with its frame, and given
      the time it was heard; that frame's first paint in TRACE minus that time is its offset
      (positive: the picture came after its sound). --summary appends the figures to FILE.

  pulse_sync.py summarise FILE
      The median of each figure over the runs of each label in FILE.

When a sample was heard. A null sink plays by its own clock (the monotonic clock): it wakes
when what it rendered last has played out and renders the next block, of R ms, at once; its
monitor source hands that block to parec straight away. So a block reaches us as soon as its
first sample is heard, and its last sample is heard R ms after that. The recording runs
without a gap from its first sample (parec would report an overrun otherwise), so sample n is
heard at T0 + n / rate: T0 is taken from the reads that came soonest (the 2nd percentile of
"stamp - samples so far / rate", over the reads that end a block) plus R. R is measured from the
reads themselves: the reads of one block come within a millisecond of each other, a block's
reads a block apart (bench/pulse-sync.sh prints the sink's configured latency beside it, which
should agree). Assumed: the hop from the server through parec to us takes no time when nothing
is in the way (a local socket and a pipe, read at once; anything else makes the heard times
late by that much, and the offsets below small by that much); --record-latency-ms subtracts a
known extra record-side delay. The trace's millisecond stamps are whole milliseconds cut down,
so half a millisecond is added to them.
"""
import argparse
import array
import os
import signal
import subprocess
import sys
import time

SYNC_LOWEST_HZ = 600
SYNC_STEP_HZ = 120
SYNC_PITCHES = 25
BURST_MS = 20


def record(raw_path, stamps_path, command):
    stop = False

    def on_signal(signum, frame):
        nonlocal stop
        stop = True

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, bufsize=0)
    fd = proc.stdout.fileno()
    total = 0
    with open(raw_path, "wb") as raw, open(stamps_path, "w") as stamps:
        while not stop:
            try:
                data = os.read(fd, 65536)
            except InterruptedError:
                continue
            now = time.monotonic_ns()
            if not data:
                break
            raw.write(data)
            total += len(data)
            stamps.write(f"{total} {now}\n")
    proc.terminate()
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
    return 0


def percentile(sorted_values, fraction):
    if not sorted_values:
        return float("nan")
    k = min(len(sorted_values) - 1, max(0, round(fraction * (len(sorted_values) - 1))))
    return sorted_values[k]


def read_samples(path, channels):
    samples = array.array("h")
    with open(path, "rb") as f:
        data = f.read()
    data = data[: len(data) // (2 * channels) * (2 * channels)]
    samples.frombytes(data)
    if sys.byteorder != "little":
        samples.byteswap()
    return samples[::channels]  # the movie's channels carry the same bursts


def find_onsets(samples, rate):
    """(sample index, pitch index) of each burst: its first sample (a zero, the sine's start)
    is the one before the first sample off silence that follows at least 5 ms of silence."""
    quiet_needed = rate * 5 // 1000
    burst = rate * BURST_MS // 1000
    onsets, quiet, i, n = [], quiet_needed, 0, len(samples)
    while i < n:
        v = samples[i]
        if -8 <= v <= 8:
            quiet += 1
            i += 1
            continue
        if quiet >= quiet_needed:
            start = max(0, i - 1)
            # The pitch from the zero crossings of the burst's first 15 ms.
            window = min(burst * 3 // 4, n - start - 1)
            crossings = 0
            for j in range(start + 1, start + window):
                crossings += (samples[j] >= 0) != (samples[j - 1] >= 0)
            hz = crossings * rate / (2 * window) if window > 0 else 0
            onsets.append((start, round((hz - SYNC_LOWEST_HZ) / SYNC_STEP_HZ) % SYNC_PITCHES))
            i = start + burst // 2  # past the burst's own zero crossings
            quiet = 0
            continue
        quiet = 0
        i += 1
    return onsets


def label_onsets(onsets, rate, fps):
    """Frame labels (second x fps + index): the first burst is frame 0 of second 0 (the player
    starts there and the recording before it); each next one is as many frames on as the
    distance says, nudged to the nearest label whose index has the burst's pitch."""
    labels, mismatched = [], 0
    prev_label = prev_sample = None
    for sample, pitch in onsets:
        if prev_label is None:
            expected = 0
        else:
            expected = prev_label + max(1, round((sample - prev_sample) * fps / rate))
        best = None
        for d in (0, -1, 1, -2, 2):
            cand = expected + d
            if cand >= 0 and (cand % fps) % SYNC_PITCHES == pitch:
                best = cand
                break
        if best is None:
            mismatched += 1
            best = expected
        labels.append(best)
        prev_label, prev_sample = best, sample
    return labels, mismatched


def arrival_origin(stamps_path, bytes_per_frame, rate):
    """(T0 ms, R ms, how late the other block ends came: median and 99th percentile ms, reads
    per block): T0 is when sample 0 was heard, R the sink's block."""
    reads = []
    with open(stamps_path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                reads.append((int(parts[0]) / bytes_per_frame * 1000 / rate, int(parts[1]) / 1e6))
    # The first reads carry the silence parec gathered before it was first read.
    reads = reads[len(reads) // 20:] if len(reads) > 40 else reads
    if len(reads) < 3:
        return None
    # Reads within a millisecond of each other are pieces of one block.
    ends, sizes, pieces, start, count = [], [], [], reads[0][0], 0
    for (pos, at), nxt in zip(reads, reads[1:] + [None]):
        count += 1
        if nxt is None or nxt[1] - at > 1.0:
            ends.append(at - pos)
            sizes.append(pos - start)
            pieces.append(count)
            start, count = pos, 0
    sizes = sorted(sizes[1:]) or [0.0]  # the first group's start is not a block's
    block = percentile(sizes, 0.5)
    ends = sorted(ends)
    soonest = percentile(ends, 0.02)
    return (soonest + block, block, percentile(ends, 0.5) - soonest, percentile(ends, 0.99) - soonest,
            percentile(sorted(pieces), 0.5))


def read_trace(path):
    """fps, {label: first paint ms}, {label: heard ms the player noted}, skipped, shown twice."""
    fps, paints, noted, last, skipped, twice = 25, {}, {}, None, 0, 0
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
            ms, second, index, heard = (int(p) for p in parts)
            label = second * fps + index
            if last is not None:
                if label <= last:
                    twice += 1
                elif label > last + 1:
                    skipped += label - last - 1
            last = label
            if label not in paints:
                paints[label] = ms + 0.5
                noted[label] = heard
    return fps, paints, noted, skipped, twice


def analyse(args):
    fps, paints, noted, skipped, twice = read_trace(args.trace)
    samples = read_samples(args.raw, args.channels)
    origin = arrival_origin(args.stamps, 2 * args.channels, args.rate)
    if origin is None or not paints:
        print("no recording or no painted frames", file=sys.stderr)
        return 1
    t0, block_ms, late_median, late_p99, pieces = origin
    onsets = find_onsets(samples, args.rate)
    labels, mismatched = label_onsets(onsets, args.rate, fps)
    offsets, model, unpainted = [], [], 0
    for (sample, _), label in zip(onsets, labels):
        if label < args.skip_first * fps:
            continue
        if label not in paints:
            unpainted += 1
            continue
        heard = t0 + sample * 1000 / args.rate - args.record_latency_ms
        offsets.append(paints[label] - heard)
        # What the player believed: the heard position it noted minus the frame's own time.
        second, index = divmod(label, fps)
        model.append(noted[label] - (second * 1000 + index * 1000 / fps))
    print(f"bursts heard      {len(onsets)} (pitch off the expected frame: {mismatched}),"
          f" last frame {labels[-1] if labels else -1}")
    print(f"record side       sink block {block_ms:.1f} ms ({pieces} reads a block); block ends later"
          f" than the soonest by median {late_median:.1f}, p99 {late_p99:.1f} ms; extra record"
          f" latency taken off {args.record_latency_ms:.1f} ms")
    if not offsets:
        print("no heard frame was painted", file=sys.stderr)
        return 1
    values = sorted(abs(o) for o in offsets)
    signed = sorted(offsets)
    believed = sorted(model)
    print(f"frames measured   {len(offsets)} (heard but never painted: {unpainted})")
    print(f"paint-heard |ms|  p50 {percentile(values, .5):.1f}  p95 {percentile(values, .95):.1f}"
          f"  p99 {percentile(values, .99):.1f}  max {values[-1]:.1f}")
    print(f"paint-heard ms    min {signed[0]:.1f}  median {percentile(signed, .5):.1f}"
          f"  max {signed[-1]:.1f}")
    print(f"player's own view median {percentile(believed, .5):.1f} ms (the trace's heard position"
          f" at paint minus the frame's time)")
    print(f"model error       {percentile(signed, .5) - percentile(believed, .5):+.1f} ms (measured"
          f" minus own view: negative, the sound comes out later than the player reckons)")
    print(f"frames skipped    {skipped}")
    print(f"shown twice       {twice}")
    if args.summary:
        figures = [percentile(values, .5), percentile(values, .95), percentile(values, .99),
                   values[-1], percentile(signed, .5), percentile(believed, .5),
                   percentile(signed, .5) - percentile(believed, .5), skipped, twice]
        with open(args.summary, "a") as f:
            f.write(args.label + " " + " ".join(f"{v:.1f}" for v in figures) + "\n")
    return 0


SUMMARY_COLUMNS = ["|off| p50", "p95", "p99", "max", "signed med", "own view", "model err",
                   "skipped", "twice"]


def summarise(path):
    """The median of each figure over the runs of each size, from analyse --summary lines."""
    runs = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == len(SUMMARY_COLUMNS) + 1:
                runs.setdefault(parts[0], []).append([float(p) for p in parts[1:]])
    print(f"{'size':<14} {'runs':>4} " + " ".join(f"{c:>10}" for c in SUMMARY_COLUMNS))
    for label, rows in runs.items():
        medians = []
        for column in zip(*rows):
            ordered = sorted(column)
            mid = len(ordered) // 2
            medians.append(ordered[mid] if len(ordered) % 2 else (ordered[mid - 1] + ordered[mid]) / 2)
        print(f"{label:<14} {len(rows):>4} " + " ".join(f"{v:>10.1f}" for v in medians))
    return 0


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "record":
        if len(sys.argv) < 6 or sys.argv[4] != "--":
            print("usage: pulse_sync.py record RAW STAMPS -- parec ARGS...", file=sys.stderr)
            return 2
        return record(sys.argv[2], sys.argv[3], sys.argv[5:])
    if len(sys.argv) == 3 and sys.argv[1] == "summarise":
        return summarise(sys.argv[2])
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("step", choices=["analyse"])
    parser.add_argument("raw")
    parser.add_argument("stamps")
    parser.add_argument("trace")
    parser.add_argument("--rate", type=int, default=44100)
    parser.add_argument("--channels", type=int, default=2)
    parser.add_argument("--record-latency-ms", type=float, default=0.0)
    parser.add_argument("--skip-first", type=int, default=1)
    parser.add_argument("--summary", help="appends the run's figures to this file")
    parser.add_argument("--label", default="-", help="the run's name in the summary")
    return analyse(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
