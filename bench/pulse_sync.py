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

When a sample was heard. A null sink plays by its own clock, driven by the monotonic one: it
wakes when what it rendered last has played out and renders the next block, of R ms, at once;
its monitor source hands that block to parec straight away. So a block reaches us as soon as its
first sample is heard, and its last sample R ms after that. The recording has no gap (what the
sink renders is all posted, and bench/pulse-sync.sh loads the sink with norewinds=1, so that no
rewind re-renders a stretch the monitor has already handed out), so sample n is heard at
T0 + (1 + slope) n / rate. T0 and the slope come from the reads that came soonest: the 2nd
percentile of "stamp - samples so far / rate" over the block ends of each second of the
recording, fitted by a line (the null sink's clock gains some hundreds of ppm on the monotonic
clock: it rounds each block's time down), plus R. R is measured from the reads themselves: the
reads of one block come within a millisecond of each other, a block's reads a block apart
(bench/pulse-sync.sh prints the sink's configured latency beside it, which should agree). Only
the reads from the first burst on count: before the player's stream came the sink ran in the
recording's own, longer blocks. Assumed: the hop from the server through parec to us takes no
time when nothing is in the way (a local socket and a pipe, read at once; anything else makes
the heard times late by that much and the offsets below small by that much);
--record-latency-ms subtracts a known extra record-side delay. The trace's millisecond stamps
are whole milliseconds cut down, so half a millisecond is added to them.
"""
import argparse
import array
import os
import signal
import subprocess
import sys
import time

from sync import percentile, read_trace

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


def read_samples(path, channels):
    samples = array.array("h")
    with open(path, "rb") as f:
        data = f.read()
    data = data[: len(data) // (2 * channels) * (2 * channels)]
    samples.frombytes(data)
    if sys.byteorder != "little":
        samples.byteswap()
    return samples[::channels]  # the movie's channels carry the same bursts


def find_onsets(samples, rate, fps):
    """(sample index, pitch index) of each burst: its first sample (a zero, the sine's start)
    is the one before the first sample off silence that follows at least 5 ms of silence. A
    burst that a dropout cut in two sounds on after the gap: what follows within 0.6 of a frame
    of an onset belongs to it and starts no frame."""
    quiet_needed = rate * 5 // 1000
    spacing = rate * 6 // (10 * fps)
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
            i = start + max(spacing, burst // 2)  # past the burst and any piece of it
            quiet = 0
            continue
        quiet = 0
        i += 1
    return onsets


def label_onsets(onsets, rate, fps):
    """Frame labels (second x fps + index): the first burst is frame 0 of second 0 (the player
    starts there and the recording before it); each next one is as many frames on as the
    distance says. The pitch decides only when the distance is unclear (a dropout of about half
    a frame) or when the pitches say the distance miscounted. Also the number of bursts whose
    pitch still disagrees (cut by a dropout in their first milliseconds) and of recounts."""
    labels = []
    prev_label = prev_sample = None
    for sample, pitch in onsets:
        if prev_label is None:
            labels.append(0)
            prev_label, prev_sample = 0, sample
            continue
        frames = (sample - prev_sample) * fps / rate
        label = prev_label + max(1, round(frames))
        if (label % fps) % SYNC_PITCHES != pitch:
            unclear = abs(frames - round(frames)) > 0.3
            other = label + (1 if frames > round(frames) else -1)
            if unclear and other > prev_label and (other % fps) % SYNC_PITCHES == pitch:
                label = other
        labels.append(label)
        prev_label, prev_sample = label, sample
    # A dropout of more than half a frame, or a stall after which the sound goes on where it
    # was, makes the distance miscount: from there on every pitch says another frame, by the
    # same amount. Three in a row move the labels to it.
    shift, run, run_delta, recounts = 0, 0, 0, 0
    for i, (_, pitch) in enumerate(onsets):
        labels[i] += shift
        delta = next((d for d in sorted(range(-(fps // 2), fps // 2 + 1), key=abs)
                      if ((labels[i] + d) % fps) % SYNC_PITCHES == pitch), 0)
        run, run_delta = (run + 1, delta) if delta and delta == run_delta else (int(delta != 0), delta)
        if run == 3:
            shift += delta
            for j in range(i - 2, i + 1):
                labels[j] += delta
            run, run_delta = 0, 0
            recounts += 1
    disagree = sum(((label % fps) % SYNC_PITCHES) != pitch
                   for label, (_, pitch) in zip(labels, onsets))
    return labels, disagree, recounts


def arrival_origin(stamps_path, bytes_per_frame, rate, from_sample):
    """(T0 ms, slope, R ms, how late the other block ends came: median and 99th percentile ms,
    reads per block): sample n (at n / rate ms) was heard at T0 + (1 + slope) n / rate, R is
    the sink's block. Only the reads from `from_sample` on count."""
    reads = []
    with open(stamps_path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                reads.append((int(parts[0]) / bytes_per_frame * 1000 / rate, int(parts[1]) / 1e6))
    from_ms = from_sample * 1000 / rate
    reads = [r for r in reads if r[0] >= from_ms]
    if len(reads) < 3:
        return None
    # Reads within a millisecond of each other are pieces of one block.
    block_ends, sizes, pieces, start, count = [], [], [], reads[0][0], 0
    for (pos, at), nxt in zip(reads, reads[1:] + [None]):
        count += 1
        if nxt is None or nxt[1] - at > 1.0:
            block_ends.append((pos, at - pos))
            sizes.append(pos - start)
            pieces.append(count)
            start, count = pos, 0
    sizes = sorted(sizes[1:]) or [0.0]  # the first group's start is not a block's
    block = percentile(sizes, 0.5)
    # The soonest block ends of each second of the recording lie on a line: its slope is how
    # much faster than the monotonic clock the sink plays (a null sink's clock rounds each
    # block's time down, a card's crystal is off by its own ppm).
    points = []
    for k, values in sorted(_by_second(block_ends).items()):
        if len(values) >= 20:
            points.append((k * 1000.0 + 500.0, percentile(sorted(values), 0.02)))
    if len(points) >= 3:
        n = len(points)
        mx = sum(x for x, _ in points) / n
        my = sum(y for _, y in points) / n
        slope = sum((x - mx) * (y - my) for x, y in points) / sum((x - mx) ** 2 for x, _ in points)
        intercept = my - slope * mx
    else:
        slope, intercept = 0.0, percentile(sorted(e for _, e in block_ends), 0.02)
    lateness = sorted(e - (intercept + slope * p) for p, e in block_ends)
    return (intercept + block, slope, block, percentile(lateness, 0.5), percentile(lateness, 0.99),
            percentile(sorted(pieces), 0.5))


def _by_second(block_ends):
    groups = {}
    for pos, late in block_ends:
        groups.setdefault(int(pos // 1000), []).append(late)
    return groups


def first_paints(path):
    """fps, {label: first paint ms}, {label: heard ms the player noted}, skipped, shown twice."""
    frames, skipped, twice = read_trace(path)
    fps, paints, noted = 25, {}, {}
    for ms, second, index, heard, fps in frames:
        label = second * fps + index
        if label not in paints:
            paints[label] = ms + 0.5
            noted[label] = heard
    return fps, paints, noted, skipped, twice


def analyse(args):
    fps, paints, noted, skipped, twice = first_paints(args.trace)
    samples = read_samples(args.raw, args.channels)
    onsets = find_onsets(samples, args.rate, fps)
    origin = arrival_origin(args.stamps, 2 * args.channels, args.rate,
                            onsets[0][0] if onsets else 0)
    if origin is None or not paints:
        print("no recording or no painted frames", file=sys.stderr)
        return 1
    t0, slope, block_ms, late_median, late_p99, pieces = origin
    labels, mismatched, recounts = label_onsets(onsets, args.rate, fps)
    offsets, model, unpainted = [], [], 0
    for (sample, _), label in zip(onsets, labels):
        if label < args.skip_first * fps:
            continue
        if label not in paints:
            unpainted += 1
            continue
        at = sample * 1000 / args.rate
        heard = t0 + at + slope * at - args.record_latency_ms
        offsets.append(paints[label] - heard)
        # What the player believed: the heard position it noted minus the frame's own time.
        second, index = divmod(label, fps)
        model.append(noted[label] - (second * 1000 + index * 1000 / fps))
    print(f"bursts heard      {len(onsets)} (pitch disagreeing: {mismatched}, distance recounted: {recounts}),"
          f" last frame {labels[-1] if labels else -1}")
    print(f"record side       sink block {block_ms:.1f} ms ({pieces} reads a block); block ends later"
          f" than the soonest by median {late_median:.1f}, p99 {late_p99:.1f} ms; sink clock"
          f" {-slope * 1e6:+.0f} ppm on the monotonic one; extra record latency taken off"
          f" {args.record_latency_ms:.1f} ms")
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
