#!/usr/bin/env python3
"""Turns the raw lines that scripts/bench.sh collected into the one table of figures.

  report.py RESULTS

RESULTS holds "key=value ..." lines: the driver's and the bare program's output, tagged by the
script with the benchmark they belong to (see bench.sh). Medians are taken over the rounds of a
side-by-side pair, peaks over every sample.
"""

import statistics
import sys

KIB = 1024
MIB = 1024 * KIB
PAUSE_MS = 1000.0  # the installer's pause after the shortcut, not part of its download work

GOAL_INSTALL_RATIO = 1.0
GOAL_P99_MS = 50.0
GOAL_STARTUP_RATIO = 1.3
GOAL_STARTUP_PEER_RATIO = 0.8
GOAL_SIZE_BYTES = 480 * KIB
GOAL_EXTRA_MEMORY = 8 * MIB
GOAL_UPDATE_RATIO = 0.25
GOAL_HASH_RATIO = 0.5
GOAL_MANIFEST_MS = 1000.0
# The start-up marks of the build made for the purpose, and what each ends: the time between a
# mark and the one before it (in time) is that phase's.
PHASES = {"main": "process start", "hardened": "hardening", "comctl32": "comctl32",
          "com": "COM", "window": "window", "font": "font", "controls": "controls",
          "artwork": "artwork", "layout": "layout", "pages": "pages", "visible": "show",
          "painted": "first paint", "idle": "to idle"}


def parse(path):
    records = []
    with open(path, encoding="utf-8", errors="replace") as source:
        for line in source:
            words = line.split()
            if not words:
                continue
            fields = {"tag": words[0]}
            for word in words[1:]:
                key, _, value = word.partition("=")
                fields[key] = value
            records.append(fields)
    return records


def values(records, tag, key, **match):
    return [float(r[key]) for r in records
            if r["tag"] == tag and key in r and all(r.get(k) == v for k, v in match.items())]


def percentile(sorted_values, share):
    """Nearest rank: the smallest value with at least share of the samples at or below it."""
    rank = max(1, -(-len(sorted_values) * share // 100))
    return sorted_values[int(rank) - 1]


def downloading(probe, when=""):
    """A probe sent (or, with when="_after", answered) while the last file downloads or is
    hashed: the counter at N / N, the bar short of 100 %."""
    position, _, total = probe.get("counter" + when, "").partition("/")
    return position != "" and position == total and probe.get("bar" + when) != "100%"


def install_breakdown(records):
    """Where the installer's time goes, from the server's log: before its first request, the
    span of its requests, after its last; and the client's time between requests."""
    runs = [r for r in records if r["tag"] == "b1-installer"]
    spans = {program: [r for r in records
                       if r["tag"] == "b1-requests" and r.get("program") == program]
             for program in ("installer", "bare")}
    if not runs or len(spans["installer"]) != len(runs) or not spans["bare"]:
        return []
    median = lambda items: statistics.median(items)
    span = lambda r: float(r["last_epoch_ms"]) - float(r["first_epoch_ms"])
    # Between requests: the span less the time the server spent answering.
    gap = lambda r: (span(r) - float(r["busy_ms"])) / max(1, int(r["count"]))
    head = median([float(q["first_epoch_ms"]) - float(r["start_epoch_ms"])
                   for r, q in zip(runs, spans["installer"])])
    tail = median([float(r["end_epoch_ms"]) - float(q["last_epoch_ms"]) - PAUSE_MS
                   for r, q in zip(runs, spans["installer"])])
    mine, floor = median([span(q) for q in spans["installer"]]), median([span(q) for q in spans["bare"]])
    return [
        ("", "request span inst. / bare", "%.3f" % (mine / floor), "-", "-",
         "installer %.0f ms, bare %.0f ms from first request to last response" % (mine, floor)),
        ("", "client time per request", "%.1f / %.1f ms" % (
            median([gap(q) for q in spans["installer"]]), median([gap(q) for q in spans["bare"]])),
         "-", "-", "installer / bare: time between requests not spent in the server"),
        ("", "installer outside requests", "%.0f ms" % (head + tail), "-", "-",
         "%.0f ms from Next to the first request, %.0f ms after the last (less the pause)"
         % (head, tail)),
    ]


def update_rows(records):
    """B7: each update against the full installation of the same payload, both less the pause;
    what it requested; the hashing rate; the window's answers while the 32 MiB file is hashed."""
    rows = []
    median = lambda tag, key: statistics.median(values(records, tag, key))
    names = lambda tag: sorted({r.get("names", "") for r in records
                                if r["tag"] == "b7-requested" and r.get("program") == tag})
    sizes = {r["tag"]: r for r in records if r["tag"] == "b7-bytes"}.get("b7-bytes", {})
    for tag, full, label, goal in (("b7a", "b7-full", "B7a one file changed", GOAL_UPDATE_RATIO),
                                   ("b7b", "b7-full", "B7b nothing changed", GOAL_UPDATE_RATIO),
                                   ("b7c", "b7c-full", "B7c 32 MiB unchanged", None)):
        if not values(records, tag, "install_ms") or not values(records, full, "install_ms"):
            continue
        update = median(tag, "install_ms") - PAUSE_MS
        whole = median(full, "install_ms") - PAUSE_MS
        ratio = update / whole
        rows.append((label, "update / full install", "%.3f" % ratio,
                     "<= %.2f" % goal if goal else "-", verdict(ratio <= goal) if goal else "-",
                     "update %.0f ms, full %.0f ms (less the pause); requested %s"
                     % (update, whole, " | ".join(names(tag)))))
    # The installer's checks, from the counter's first step (the manifest read) to the end, less
    # the pause: the window's updates and the shortcut are in it too. Over the 300 files (B7b)
    # and over the one 32 MiB file (B7c), each against sha256sum over the same installed files.
    for tag, floor_tag, key, what in (("b7b", "b7-sha256sum", "install", "300 files (B7b)"),
                                      ("b7c", "b7c-sha256sum", "single", "32 MiB file (B7c)")):
        checks = [float(r["install_ms"]) - float(r["counter_ms"]) - PAUSE_MS
                  for r in records if r["tag"] == tag and float(r.get("counter_ms", 0)) > 0]
        if not checks or key not in sizes or not values(records, floor_tag, "sha256sum_ms"):
            continue
        mine = float(sizes[key]) / MIB / (statistics.median(checks) / 1000)
        floor = float(sizes[key]) / MIB / (median(floor_tag, "sha256sum_ms") / 1000)
        rows.append(("", "hash rate inst. / sha256sum", "%.2f" % (mine / floor),
                     ">= %.1f" % GOAL_HASH_RATIO, verdict(mine / floor >= GOAL_HASH_RATIO),
                     "%s: installer %.0f MiB/s from the counter's first step, sha256sum %.0f MiB/s"
                     % (what, mine, floor)))
    # Answered while the file was still being hashed: a probe caught by the pause after the
    # shortcut (which by design answers nothing) is not the hash's.
    latencies = sorted(float(r["latency_ms"]) for r in records
                       if r["tag"] == "b7c-probe" and downloading(r, "_after"))
    if latencies:
        rows.append(latency_row(latencies, latencies[-1], "while the file was hashed"))
    return rows


def latency_row(latencies, judged, when):
    """The window's answers to WM_NULL (sorted), judged by the figure given against the goal."""
    p99, top = percentile(latencies, 99), latencies[-1]
    return ("", "WM_NULL p99 / max", "%.1f / %.1f ms" % (p99, top),
            "<= %.0f ms" % GOAL_P99_MS, verdict(judged <= GOAL_P99_MS),
            "p50 %.1f ms; %d probes %s" % (percentile(latencies, 50), len(latencies), when))


def manifest_rows(records):
    """B8: from Next to the counter's first step with a manifest of the 4 MiB the installer
    takes (fetched, kept, read and listed), and the window's answers from Next to the run's end."""
    reads = values(records, "b8", "counter_ms")
    if not reads:
        return []
    size = {r["tag"]: r for r in records if r["tag"] == "b8-manifest"}.get("b8-manifest", {})
    read = statistics.median(reads)
    rows = [("B8 4 MiB manifest", "Next to the first file", "%.0f ms" % read,
             "<= %.0f ms" % GOAL_MANIFEST_MS, verdict(read <= GOAL_MANIFEST_MS),
             "%s entries, %s bytes, keyless: fetched, kept, read and listed; median of %d"
             % (size.get("entries", "?"), size.get("bytes", "?"), len(reads)))]
    latencies = sorted(float(r["latency_ms"]) for r in records if r["tag"] == "b8-probe")
    if latencies:
        rows.append(latency_row(latencies, percentile(latencies, 99), "from Next to the run's end"))
    return rows


def startup_rows(records):
    """B3: each program's median time to its first painted window, in the same rounds; and the
    phases of the installer's start-up, from the build that marks them."""
    median = lambda program, key="ms": statistics.median(
        values(records, "b3-startup", key, program=program))
    if not all(values(records, "b3-startup", "ms", program=p) for p in ("installer", "minimal")):
        return []
    mine, floor = median("installer"), median("minimal")
    count = len(values(records, "b3-startup", "ms", program="installer"))
    rows = []
    if values(records, "b3-startup", "ms", program="peer"):
        peer = median("peer")
        rows.append(("B3 start-up", "installer / NSIS peer", "%.2f" % (mine / peer),
                     "<= %.1f" % GOAL_STARTUP_PEER_RATIO, verdict(mine / peer <= GOAL_STARTUP_PEER_RATIO),
                     "to the first painted window: installer %.0f ms, peer %.0f ms (medians of %d)"
                     % (mine, peer, count)))
    rows.append(("B3 start-up" if not rows else "", "installer / minimal", "%.2f" % (mine / floor),
                 "<= %.1f" % GOAL_STARTUP_RATIO, verdict(mine / floor <= GOAL_STARTUP_RATIO),
                 "installer %.0f ms, minimal window %.0f ms" % (mine, floor)))
    visible = ", ".join("%s %.0f" % (p, median(p, "visible_ms")) for p in ("installer", "peer", "minimal")
                        if values(records, "b3-startup", "visible_ms", program=p))
    rows.append(("", "window visible", "-", "-", "-", visible + " ms (before the first idle)"))
    # A start counted before its window had all its controls would show fewer than later.
    early = [r for r in records if r["tag"] == "b3-startup"
             and int(r.get("controls", 0)) < int(r.get("settled_controls", 0))]
    if early:
        rows.append(("", "started unfilled", "%d" % len(early), "0", "MISSED",
                     "starts counted with fewer controls than half a second later"))
    phases = phase_medians(records)
    if phases:
        rows.append(("", "phases", "%.0f ms" % sum(ms for _, ms in phases), "-", "-",
                     "sum of the median phases of the build that marks them (below)"))
    return rows


def phase_medians(records):
    """The installer's start-up phases from the build that marks them: each phase's median
    length in ms, in the order they happened."""
    phases = [r for r in records if r["tag"] == "b3-phases"]
    if not phases:
        return []
    rank = list(PHASES)
    spans = {}
    for record in phases:
        marks = sorted((float(record[mark]), rank.index(mark), mark)
                       for mark in PHASES if mark in record)
        before = 0.0
        for at, _, mark in marks:
            spans.setdefault(mark, []).append(at - before)
            before = at
    order = sorted(spans, key=lambda mark: (statistics.median(
        float(r[mark]) for r in phases if mark in r), rank.index(mark)))
    return [(PHASES[mark], statistics.median(spans[mark])) for mark in order]


def table(headers, rows):
    widths = [max(len(str(row[i])) for row in rows + [headers]) for i in range(len(headers))]
    line = lambda row: "| " + " | ".join(str(c).ljust(w) for c, w in zip(row, widths)) + " |"
    print(line(headers))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        print(line(row))


def verdict(held):
    return "met" if held else "MISSED"


def main():
    records = parse(sys.argv[1])
    rows = []

    install = [ms - PAUSE_MS for ms in values(records, "b1-installer", "install_ms")]
    bare = values(records, "b1-bare", "bare_ms")
    curl = values(records, "b1-curl", "curl_ms")
    if install and bare and curl:
        i, b, c = (statistics.median(v) for v in (install, bare, curl))
        rows.append(("B1 install overhead", "installer / bare", "%.3f" % (i / b),
                     "<= %.2f" % GOAL_INSTALL_RATIO, verdict(i / b <= GOAL_INSTALL_RATIO),
                     "installer %.0f ms (less the 1 s pause), bare %.0f ms; %d rounds"
                     % (i, b, len(install))))
        rows.append(("", "installer / curl", "%.2f" % (i / c), "-", "-",
                     "installer %.0f ms, curl %.0f ms" % (i, c)))
        rows.append(("", "bare / curl", "%.2f" % (b / c), "-", "-",
                     "bare %.0f ms, curl %.0f ms" % (b, c)))
        peer = values(records, "b1-peer", "install_ms")
        if peer:
            p = statistics.median(peer)
            rows.append(("", "NSIS peer / bare", "%.2f" % (p / b), "-", "-",
                         "peer %.0f ms (urlmon in its install thread), for information" % p))
        minimized = [ms - PAUSE_MS for ms in values(records, "b1-minimized", "install_ms")]
        if minimized:
            m = statistics.median(minimized)
            rows.append(("", "minimized / bare", "%.3f" % (m / b), "-", "-",
                         "installer minimized (paints nothing) %.0f ms" % m))
        rows += install_breakdown(records)

    latencies = sorted(float(r["latency_ms"]) for r in records
                       if r["tag"] == "b2-probe" and downloading(r))
    if latencies:
        p50, p99, top = percentile(latencies, 50), percentile(latencies, 99), latencies[-1]
        rows.append(("B2 responsiveness", "WM_NULL p99", "%.1f ms" % p99,
                     "<= %.0f ms" % GOAL_P99_MS, verdict(p99 <= GOAL_P99_MS),
                     "p50 %.1f ms, p99 %.1f ms, max %.1f ms; %d probes during the download"
                     % (p50, p99, top, len(latencies))))

    silent = [r for r in records if r["tag"] == "b6-probe" and downloading(r)]
    if silent:
        latencies = sorted(float(r["latency_ms"]) for r in silent)
        p99, top = percentile(latencies, 99), latencies[-1]
        span = (float(silent[-1]["at_ms"]) - float(silent[0]["at_ms"])) / 1000
        rows.append(("B6 silent server", "WM_NULL p99", "%.1f ms" % p99,
                     "<= %.0f ms" % GOAL_P99_MS, verdict(p99 <= GOAL_P99_MS),
                     "p50 %.1f ms, max %.1f ms; %d probes over the %.1f s until the run ended"
                     % (percentile(latencies, 50), top, len(latencies), span)))

    rows += startup_rows(records)

    size = values(records, "b4-size", "bytes")
    if size:
        stripped = values(records, "b4-size", "stripped")
        rows.append(("B4 size", "exe as built", "%.0f KiB" % (size[0] / KIB),
                     "<= %d KiB" % (GOAL_SIZE_BYTES // KIB), verdict(size[0] <= GOAL_SIZE_BYTES),
                     "stripped %.0f KiB" % (stripped[0] / KIB) if stripped else ""))
        imports = [r.get("dll") for r in records if r["tag"] == "b4-import"]
        rows.append(("", "imports", "%d DLLs" % len(imports), "-", "-", " ".join(imports)))
        peer = values(records, "b4-peer", "bytes")
        if peer:
            rows.append(("", "NSIS peer exe", "%.0f KiB" % (peer[0] / KIB), "-", "-",
                         "LZMA (solid), the same icon, banner and licence"))

    peak = values(records, "b1-installer", "peak_ws")
    floor_peak = values(records, "b3-startup", "peak_ws", program="minimal")
    if peak and floor_peak:
        extra = max(peak) - max(floor_peak)
        rows.append(("B5 memory", "peak WS - minimal", "%+.1f MiB" % (extra / MIB),
                     "<= 8 MiB", verdict(extra <= GOAL_EXTRA_MEMORY),
                     "installer %.1f MiB during B1, minimal window %.1f MiB"
                     % (max(peak) / MIB, max(floor_peak) / MIB)))
        started_peak = values(records, "b3-startup", "peak_ws", program="installer")
        bare_peak = values(records, "b1-bare", "peak_ws")
        if started_peak and bare_peak:
            rows.append(("", "parts", "-", "-", "-",
                         "installer at start-up %.1f MiB; bare urlmon program (no window) %.1f MiB"
                         % (max(started_peak) / MIB, max(bare_peak) / MIB)))
        peer_peak = values(records, "b1-peer", "peak_ws")
        peer_started = values(records, "b3-startup", "peak_ws", program="peer")
        if peer_peak and peer_started:
            rows.append(("", "NSIS peer", "%+.1f MiB" % ((max(peer_peak) - max(floor_peak)) / MIB),
                         "-", "-", "peer %.1f MiB during its install, %.1f MiB at start-up"
                         % (max(peer_peak) / MIB, max(peer_started) / MIB)))

    rows += update_rows(records)
    rows += manifest_rows(records)

    table(("Bench", "Figure", "Value", "Goal", "", "Raw"), rows)
    phases = phase_medians(records)
    if phases:
        print()
        print("Start-up phases of the installer (medians of %d starts of the build that marks them)"
              % len([r for r in records if r["tag"] == "b3-phases"]))
        table(("Phase", "ms"), [(name, "%.1f" % ms) for name, ms in phases])


if __name__ == "__main__":
    main()
