#!/usr/bin/env python3
"""Writes docs/performance.md and its two SVG pictures from the outputs that
bench/run collected. Python 3 standard library only.

    bench/report.py RESULTS_DIR DOCS_DIR
"""
import csv
import os
import re
import statistics
import sys

FILETIME_UNIX_OFFSET = 11644473600  # seconds from 1601-01-01 to 1970-01-01


def read(results, name):
    path = os.path.join(results, name)
    if not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8", errors="replace") as handle:
        return handle.read()


def number(pattern, text):
    match = re.search(pattern, text)
    return float(match.group(1)) if match else None


def key_values(text):
    values = {}
    for line in text.splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            values[key.strip()] = value.strip()
    return values


def fmt(value, digits=0):
    return "n/a" if value is None else f"{value:,.{digits}f}"


def verdict(ours, reference, target):
    """'met', 'missed' or '' for a target ("ratio", x), ("ours", x) or None."""
    if target is None or ours is None:
        return ""
    kind, threshold = target
    if kind == "ratio":
        if reference is None or reference == 0:
            return ""
        return "met" if ours / reference >= threshold else "**missed**"
    return "met" if ours >= threshold else "**missed**"


def ratio(ours, reference):
    if ours is None or reference is None or reference == 0:
        return "n/a"
    return f"{ours / reference:.2f}"


# --- figures from the native benchmarks ------------------------------------

def native_rows(extraction, properties, signature):
    """(figure, ours, reference name, reference, ratio ours/reference, target, verdict)."""
    rows = []
    find = number(r"FindMarker\s+([\d.]+) MB/s", extraction)
    memmem = number(r"memmem, 64 KiB blocks\s+([\d.]+) MB/s", extraction)
    rows.append(("Marker search over 256 MiB (MB/s)", fmt(find), "memmem over 64 KiB blocks",
                 fmt(memmem), ratio(find, memmem), ">= 0.50",
                 verdict(find, memmem, ("ratio", 0.5))))
    copies = re.findall(r"extraction \(search \+ 4 KiB copy\)\s+([\d.]+) MB/s", extraction)
    plains = re.findall(r"read/write, 1 MiB buffer\s+([\d.]+) MB/s", extraction)
    cp = number(r"\n\s+cp\s+([\d.]+) MB/s", extraction)
    copy = float(copies[0]) if copies else None
    plain = float(plains[0]) if plains else None
    rows.append(("Payload copy, 256 MiB, no record (MB/s)", fmt(copy), "read/write, 1 MiB buffer",
                 fmt(plain), ratio(copy, plain), ">= 0.80",
                 verdict(copy, plain, ("ratio", 0.8))))
    rows.append(("", "", "cp of the same file", fmt(cp), ratio(copy, cp), "", ""))
    recorded = number(r"\+ XXH3\)\s+([\d.]+) MB/s", extraction)
    plain_again = float(plains[1]) if len(plains) > 1 else None
    rows.append(("Payload copy, 256 MiB, checksummed under a record (MB/s)", fmt(recorded),
                 "read/write, 1 MiB buffer", fmt(plain_again), ratio(recorded, plain_again), ">= 0.90",
                 verdict(recorded, plain_again, ("ratio", 0.9))))
    peak64 = number(r"64 MiB payload: (\d+) KiB", extraction)
    peak512 = number(r"512 MiB payload: (\d+) KiB", extraction)
    rows.append(("Peak memory of one extraction, 512 MiB payload (KiB)", fmt(peak512),
                 "the same, 64 MiB payload", fmt(peak64), ratio(peak512, peak64), "does not grow",
                 "" if peak512 is None or peak64 is None else
                 ("met" if peak512 <= peak64 * 1.1 else "**missed**")))

    reader = number(r"Kova::XMLParser tokenise\s+[\d.]+ MiB\s+[\d.]+ ms\s+([\d.]+) MB/s", properties)
    pugi = number(r"pugixml load_buffer \(default options\)\s+[\d.]+ MiB\s+[\d.]+ ms\s+([\d.]+) MB/s",
                  properties)
    parser = number(r"Kova::PropertiesParser into a store\s+[\d.]+ MiB\s+[\d.]+ ms\s+([\d.]+) MB/s",
                    properties)
    rows.append(("Properties reader, 16 MiB document (MB/s)", fmt(reader), "general XML parser (DOM load)",
                 fmt(pugi), ratio(reader, pugi), ">= 100 MB/s",
                 verdict(reader, None, ("ours", 100))))
    rows.append(("Properties parser into a store (MB/s)", fmt(parser), "general XML parser (DOM load)",
                 fmt(pugi), ratio(parser, pugi), ">= 60 MB/s",
                 verdict(parser, None, ("ours", 60))))
    linear = number(r"time ratio 4x / 1x: ([\d.]+)", properties)
    rows.append(("Token loop, 4x input, time ratio", fmt(linear, 2), "linear time", "4.00",
                 ratio(linear, 4.0), "linear", ""))

    md5 = number(r"ours\s+([\d.]+) MiB/s, OpenSSL", signature)
    openssl = number(r"OpenSSL\s+([\d.]+) MiB/s", signature)
    rows.append(("MD5 over 64 MiB (MiB/s)", fmt(md5), "OpenSSL MD5", fmt(openssl), ratio(md5, openssl),
                 ">= 0.70", verdict(md5, openssl, ("ratio", 0.7))))
    powmod = number(r"PowMod 96-bit:\s+ours\s+([\d.]+) ns/call", signature)
    gmp = number(r"mpz_powm\s+([\d.]+) ns/call", signature)
    rows.append(("96-bit PowMod, exponent 17 (ns per call; lower is better)", fmt(powmod), "GMP mpz_powm",
                 fmt(gmp), ratio(powmod, gmp), "reported", ""))
    check = number(r"Signature check:\s+([\d.]+) ns/call", signature)
    rows.append(("Whole signature check, 4 KiB document (ns per call)", fmt(check), "", "", "", "reported",
                 ""))
    return rows


# --- the channel --------------------------------------------------------------

def channel_figures(text):
    """{'bare': us, 'bare_ods': us, 'queries': [(size, us)]}."""
    figures = {"bare": None, "bare_ods": None, "queries": []}
    for line in text.splitlines():
        match = re.match(r"(.+?)\s{2,}([\d.]+)\s+(\d+)\s+([\d.]+)\s+([\d.]+)\s*$", line)
        if not match:
            continue
        label, microseconds = match.group(1).strip(), float(match.group(2))
        if label == "bare SendMessageA":
            figures["bare"] = microseconds
        elif label == "bare + OutputDebugStringA":
            figures["bare_ods"] = microseconds
        else:
            size = re.match(r"channel query, (\d+) B", label)
            if size:
                figures["queries"].append((int(size.group(1)), microseconds))
    return figures


# --- start time ----------------------------------------------------------------

def start_figures(text):
    """{(kind, mib): [milliseconds, ...]} over the counted runs (run 0 warms up)."""
    samples = {}
    for row in csv.DictReader(text.splitlines()):
        if row["run"] == "0":
            continue
        stamp_seconds = int(row["stamp"]) / 1e7 - FILETIME_UNIX_OFFSET
        milliseconds = (stamp_seconds - float(row["before"])) * 1e3
        samples.setdefault((row["kind"], int(row["payload_mib"])), []).append(milliseconds)
    return samples


def step_figures(text):
    """{step: {mib: microseconds}} in the order the steps ran."""
    steps = {}
    for row in csv.DictReader(text.splitlines()):
        steps.setdefault(row["step"], {})[int(row["payload_mib"])] = float(row["microseconds"])
    return steps


# --- pictures -------------------------------------------------------------------

SVG_FONT = 'font-family="sans-serif" font-size="12"'
COLOURS = {"launcher": "#3a7fd2", "floor": "#7bb661", "direct": "#e08a2e", "query": "#3a7fd2", "bare": "#555555",
           "bare_ods": "#999999"}


def nice_ceiling(value):
    if value <= 0:
        return 1.0
    magnitude = 10 ** len(str(int(value))) / 10
    for step in (1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8, 10):
        if step * magnitude >= value:
            return step * magnitude
    return 10 * magnitude


def svg_document(width, height, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}">\n'
            f'<rect width="{width}" height="{height}" fill="white"/>\n' + "\n".join(body) + "\n</svg>\n")


def start_picture(samples):
    width, height = 560, 340
    left, right, top, bottom = 60, 20, 40, 60
    sizes = [0, 16, 256]
    medians = {key: statistics.median(values) for key, values in samples.items()}
    top_value = nice_ceiling(max(medians.values(), default=1) * 1.1)
    plot_w, plot_h = width - left - right, height - top - bottom
    body = [f'<text x="{width / 2}" y="20" text-anchor="middle" {SVG_FONT} font-weight="bold">'
            'Time from wine to the game\'s first instruction (median, ms)</text>']
    for tick in range(6):
        value = top_value * tick / 5
        y = top + plot_h - plot_h * tick / 5
        body.append(f'<line x1="{left}" y1="{y:.1f}" x2="{width - right}" y2="{y:.1f}" stroke="#dddddd"/>')
        body.append(f'<text x="{left - 6}" y="{y + 4:.1f}" text-anchor="end" {SVG_FONT}>{value:g}</text>')
    group_w = plot_w / len(sizes)
    bar_w = group_w / 4
    for index, mib in enumerate(sizes):
        x0 = left + group_w * index + group_w / 2 - 1.5 * bar_w
        for offset, kind in enumerate(("launcher", "floor", "direct")):
            value = medians.get((kind, mib))
            if value is None:
                continue
            bar_h = plot_h * value / top_value
            x = x0 + offset * bar_w
            body.append(f'<rect x="{x:.1f}" y="{top + plot_h - bar_h:.1f}" width="{bar_w - 4:.1f}" '
                        f'height="{bar_h:.1f}" fill="{COLOURS[kind]}"/>')
            body.append(f'<text x="{x + (bar_w - 4) / 2:.1f}" y="{top + plot_h - bar_h - 4:.1f}" '
                        f'text-anchor="middle" {SVG_FONT}>{value:.0f}</text>')
        body.append(f'<text x="{left + group_w * index + group_w / 2:.1f}" y="{top + plot_h + 18}" '
                    f'text-anchor="middle" {SVG_FONT}>{mib} MiB</text>')
    body.append(f'<text x="{left + plot_w / 2}" y="{height - 22}" text-anchor="middle" {SVG_FONT}>'
                'payload size</text>')
    body.append(f'<line x1="{left}" y1="{top + plot_h}" x2="{width - right}" y2="{top + plot_h}" stroke="black"/>')
    for offset, (kind, label) in enumerate((("launcher", "wrapped launcher"),
                                             ("floor", "floor program"),
                                             ("direct", "game started directly"))):
        x = left + 10 + offset * 160
        body.append(f'<rect x="{x}" y="{height - 14}" width="10" height="10" fill="{COLOURS[kind]}"/>')
        body.append(f'<text x="{x + 14}" y="{height - 5}" {SVG_FONT}>{label}</text>')
    return svg_document(width, height, body)


def query_picture(figures):
    import math
    width, height = 560, 340
    left, right, top, bottom = 60, 20, 40, 60
    plot_w, plot_h = width - left - right, height - top - bottom
    queries = figures["queries"]
    values = [us for _, us in queries] + [v for v in (figures["bare"], figures["bare_ods"]) if v]
    top_value = nice_ceiling(max(values, default=1) * 1.1)
    sizes = [size for size, _ in queries] or [1]
    low, high = math.log10(min(sizes)), math.log10(max(sizes))
    span = max(high - low, 1e-9)

    def x_of(size):
        return left + 20 + (plot_w - 40) * (math.log10(size) - low) / span

    def y_of(value):
        return top + plot_h - plot_h * value / top_value

    body = [f'<text x="{width / 2}" y="20" text-anchor="middle" {SVG_FONT} font-weight="bold">'
            'Query round trip against value size (median, microseconds)</text>']
    for tick in range(6):
        value = top_value * tick / 5
        y = y_of(value)
        body.append(f'<line x1="{left}" y1="{y:.1f}" x2="{width - right}" y2="{y:.1f}" stroke="#dddddd"/>')
        body.append(f'<text x="{left - 6}" y="{y + 4:.1f}" text-anchor="end" {SVG_FONT}>{value:g}</text>')
    for key, label in (("bare", "bare SendMessageA"), ("bare_ods", "bare + one debugger line")):
        if figures[key]:
            y = y_of(figures[key])
            body.append(f'<line x1="{left}" y1="{y:.1f}" x2="{width - right}" y2="{y:.1f}" '
                        f'stroke="{COLOURS[key]}" stroke-dasharray="6,4"/>')
    points = " ".join(f"{x_of(size):.1f},{y_of(us):.1f}" for size, us in queries)
    if points:
        body.append(f'<polyline points="{points}" fill="none" stroke="{COLOURS["query"]}" stroke-width="2"/>')
    for size, us in queries:
        body.append(f'<circle cx="{x_of(size):.1f}" cy="{y_of(us):.1f}" r="3.5" fill="{COLOURS["query"]}"/>')
        label = f"{size // 1024} KiB" if size >= 1024 and size % 1024 == 0 else f"{size} B"
        body.append(f'<text x="{x_of(size):.1f}" y="{top + plot_h + 18}" text-anchor="middle" '
                    f'{SVG_FONT}>{label}</text>')
    body.append(f'<text x="{left + plot_w / 2}" y="{height - 22}" text-anchor="middle" {SVG_FONT}>'
                'name and value size (logarithmic)</text>')
    body.append(f'<line x1="{left}" y1="{top + plot_h}" x2="{width - right}" y2="{top + plot_h}" stroke="black"/>')
    legend = (("query", "channel query", False), ("bare", "bare SendMessageA", True),
              ("bare_ods", "bare + one debugger line", True))
    for offset, (key, label, dashed) in enumerate(legend):
        x = left + 10 + offset * 165
        dash = ' stroke-dasharray="6,4"' if dashed else ""
        body.append(f'<line x1="{x}" y1="{height - 9}" x2="{x + 18}" y2="{height - 9}" '
                    f'stroke="{COLOURS[key]}" stroke-width="2"{dash}/>')
        body.append(f'<text x="{x + 22}" y="{height - 5}" {SVG_FONT}>{label}</text>')
    return svg_document(width, height, body)


# --- the page ----------------------------------------------------------------------

def status_note(text):
    return key_values(text).get("status", "(did not run)")


def main():
    if len(sys.argv) != 3:
        print("usage: bench/report.py RESULTS_DIR DOCS_DIR", file=sys.stderr)
        return 2
    results, docs = sys.argv[1], sys.argv[2]
    machine = key_values(read(results, "machine.txt"))
    extraction = read(results, "bench_extraction.txt")
    properties = read(results, "properties_bench.txt")
    signature = read(results, "bench_signature.txt")
    channel_text = read(results, "channel_bench.txt")
    channel = channel_figures(channel_text)
    load_text = read(results, "launcher_load_bench.txt")
    starts = start_figures(read(results, "start.csv"))
    steps = step_figures(read(results, "steps.csv"))

    with open(os.path.join(docs, "performance-start.svg"), "w", encoding="utf-8") as handle:
        handle.write(start_picture(starts))
    with open(os.path.join(docs, "performance-query.svg"), "w", encoding="utf-8") as handle:
        handle.write(query_picture(channel))

    lines = []
    add = lines.append
    add("# Performance")
    add("")
    add("Generated by `bench/run`; do not edit by hand. Every figure stands next to a")
    add("reference measured in the same run on the same machine, and the ratio between")
    add("the two is what to compare across machines: the absolute figures move with the")
    add("machine and its load, the ratios much less.")
    add("")
    add("## The machine")
    add("")
    add(f"- CPU: {machine.get('model', 'unknown')}, {machine.get('cpus', '?')} logical cores")
    add(f"- Load average (1, 5, 15 min) before the run: {machine.get('load_before', '?')}; "
        f"after: {machine.get('load_after', '?')}")
    add(f"- Kernel {machine.get('kernel', '?')}, {machine.get('wine', 'wine ?')}; run at {machine.get('date', '?')}")
    add("- The machine is shared with other work; see the load averages against the number of")
    add("  cores. Absolute figures are lower and noisier on a loaded machine; each benchmark takes")
    add("  the best (native) or the median (Wine) of several runs to damp that.")
    add("")
    add("To repeat:")
    add("")
    add("```sh")
    add(f"bench/run {machine.get('runs', '')}".rstrip() + "        # builds the linux and windows presets' benchmark targets")
    add("```")
    add("")
    add("## Native benchmarks")
    add("")
    add("Built by the `linux` preset (RelWithDebInfo, `-O2`), run natively. The ratio is ours")
    add("divided by the reference (for times, lower is better; for throughput, higher). The")
    add(f"copies read and write files on a {machine.get('copy_dir_kind', '?')} file system, each timed in")
    add("turns with its reference after a `sync`.")
    add("")
    add("| Figure | Ours | Reference | Reference figure | Ratio | Target | |")
    add("|---|---:|---|---:|---:|---|---|")
    for figure, ours, reference_name, reference, rate, target, met in native_rows(
            extraction, properties, signature):
        add(f"| {figure} | {ours} | {reference_name} | {reference} | {rate} | {target} | {met} |")
    add("")
    add(f"Exit status: `bench_extraction` {status_note(extraction)}, `properties_bench` "
        f"{status_note(properties)}, `bench_signature` {status_note(signature)} (1 when a target the")
    add("program checks itself is missed; `bench_extraction` checks none, so read the table).")
    add("")
    add("## Start time: `wine` to the game's first instruction")
    add("")
    add("A tiny game (`bench/startup/start_stamp_game.c`) writes the system time of its first")
    add("instruction into a file; under Wine that clock is the host's, so the script compares it")
    add("with `date +%s.%N` taken just before `wine`. The game is padded to the payload size,")
    add("wrapped with `gamewrap pack`, given signed partner properties, and started three ways:")
    add("through the wrapped launcher; by the floor program (`bench/startup/start_floor.c`, a")
    add("window program that loads USER32, starts the same game suspended and resumes it, nothing")
    add("else: the least any launcher of this kind can cost); and directly; each")
    add(f"{machine.get('runs', '?')} times after one uncounted warm-up start, the three in turns,")
    add("in one Wine prefix with a persistent server.")
    add("")
    add(f"Stub: `{machine.get('stub', '?')}`, {machine.get('stub_kind', '?')}, "
        f"{int(machine.get('stub_bytes', '0')):,} bytes.")
    add("")
    add("| Payload | Launcher, median ms | Floor, median ms | Direct, median ms "
        "| Launcher / floor | Target | | Launcher / direct | Launcher, best ms | Floor, best ms "
        "| Best launcher / best floor |")
    add("|---:|---:|---:|---:|---:|---|---|---:|---:|---:|---:|")
    for mib in (0, 16, 256):
        medians = {kind: statistics.median(starts[(kind, mib)]) if starts.get((kind, mib)) else None
                   for kind in ("launcher", "floor", "direct")}
        bests = {kind: min(starts[(kind, mib)]) if starts.get((kind, mib)) else None
                 for kind in ("launcher", "floor")}
        lm, fm, dm = medians["launcher"], medians["floor"], medians["direct"]
        target, met = "", ""
        if mib == 0:
            target = "<= 1.05"
            met = "" if lm is None or fm is None else ("met" if lm <= 1.05 * fm else "**missed**")
        add(f"| {mib} MiB | {fmt(lm)} | {fmt(fm)} | {fmt(dm)} | {ratio(lm, fm)} | {target} | {met} "
            f"| {ratio(lm, dm)} | {fmt(bests['launcher'])} | {fmt(bests['floor'])} "
            f"| {ratio(bests['launcher'], bests['floor'])} |")
        # The same launcher packed with a publisher key: the check loads
        # bcrypt.dll and verifies one signature before the extraction.
        keyed = starts.get(("launcher-keyed", mib))
        if keyed:
            km = statistics.median(keyed)
            add(f"| {mib} MiB, key block | {fmt(km)} | {fmt(fm)} | {fmt(dm)} | {ratio(km, fm)} | | "
                f"| {ratio(km, dm)} | {fmt(min(keyed))} | {fmt(bests['floor'])} "
                f"| {ratio(min(keyed), bests['floor'])} |")
    add("")
    add("The row \"key block\" is the same launcher packed with `--publisher-key`: it loads")
    add("`bcrypt.dll` and verifies the partner document's publisher signature before it extracts.")
    add("")
    add("Payload 0 MiB is the tiny game alone. Neither the direct start nor the floor grows with")
    add("the file, since Wine maps only the image; the launcher copies every byte of the payload")
    add("(and checksums it) before the game can start, so its cost grows with the payload.")
    add("Wine's own set-up of a window program is most of the launcher's fixed cost (the floor")
    add("pays it too), and this prefix has 32-bit support, which makes every start slower than")
    add("in a 64-bit-only prefix: compare only figures from one prefix.")
    add("")
    add("### What each step costs")
    add("")
    add("`bench/startup/start_steps_bench.cpp` runs the launcher's own functions one at a time on")
    add("the same wrapped file, in its folder, under Wine (medians, ms). The extraction is the")
    add("launcher's whole step: the stale sweep, the temporary file, the marker search and the")
    add("copy with its checksum; the checksum alone is one read of the payload through XXH3, to")
    add("show how much of the extraction it is. The game channel's set-up (its worker thread,")
    add("hidden window and shared block, which must exist before the game's first thread runs) is")
    add("timed once, as a launcher pays it: the first window of a process costs more than later")
    add("ones. Process creation runs from the call that creates the game's process to the game's")
    add("first instruction; the floor program pays it too, so the launcher's time over the floor")
    add("is roughly the sum of the other steps.")
    add("")
    if steps:
        add("| Step | 0 MiB | 16 MiB | 256 MiB |")
        add("|---|---:|---:|---:|")
        for step, by_size in steps.items():
            cells = " | ".join(fmt(by_size[mib] / 1e3, 1) if mib in by_size else "n/a"
                               for mib in (0, 16, 256))
            add(f"| {step} | {cells} |")
    else:
        add("(The steps benchmark did not run.)")
    add("")
    add("![Start time against payload size](performance-start.svg)")
    add("")
    add("## Query round trip")
    add("")
    add("`channel_bench` (under Wine) hosts the launcher's game channel and starts itself as")
    add("the game: each query writes the name into the shared block, sends the query message")
    add("and copies the value out; names and values are of the size shown. The references are")
    add("the bare cross-process `SendMessageA` round trip to a window on a worker thread, and")
    add("the same with one `OutputDebugStringA` of a typical debugger line, which every answered")
    add("query writes. Medians of 5 runs of 2,000 calls each, one child process per run.")
    add("")
    add("| Query, name and value of | us per round trip | Queries per second | Bare / query | (Bare + debugger line) / query |")
    add("|---:|---:|---:|---:|---:|")
    bare, bare_ods = channel["bare"], channel["bare_ods"]
    add(f"| bare SendMessageA | {fmt(bare, 1)} | {fmt(1e6 / bare) if bare else 'n/a'} | 1.00 | |")
    add(f"| bare + debugger line | {fmt(bare_ods, 1)} | {fmt(1e6 / bare_ods) if bare_ods else 'n/a'} | "
        f"{ratio(bare, bare_ods)} | 1.00 |")
    for size, us in channel["queries"]:
        add(f"| {size:,} B | {fmt(us, 1)} | {fmt(1e6 / us)} | {ratio(bare, us)} | {ratio(bare_ods, us)} |")
    add("")
    add("On a loaded machine a single size can jump well above its neighbours within one run;")
    add("compare each query with the bare figures of the same run, and repeat the run before")
    add("reading a trend into one point.")
    add("")
    add("The floor is 0.7 of the bare figure's round trips per second. "
        + ("`channel_bench` says: " + re.search(r"floor.*", channel_text).group(0)
           if re.search(r"floor.*", channel_text) else "`channel_bench` did not report its floor."))
    add("")
    add("![Query round trip against value size](performance-query.svg)")
    add("")
    add("## The launcher under load")
    add("")
    add("`launcher_load_bench` (under Wine) runs a wrapped launcher whose game makes 100,000")
    add("queries in a row over names and values from 0 to 65,532 bytes and checks every reply;")
    add("it samples the launcher's memory (`GetProcessMemoryInfo`) before the queries, every")
    add("100 ms during them and after them. The reference is the launcher's own memory before")
    add("the queries: it must stay flat.")
    add("")
    add("| Figure | Before the queries, KiB | Peak, KiB | After, KiB | After / before | Target | |")
    add("|---|---:|---:|---:|---:|---|---|")
    for label, pattern in (("Working set", r"working set KiB: before (\d+), peak (\d+), after (\d+)"),
                           ("Private bytes", r"private KiB: +before (\d+), peak (\d+), after (\d+)")):
        match = re.search(pattern, load_text)
        if match:
            before, peak, after = (float(group) for group in match.groups())
            flat = "met" if after <= 1.05 * before else "**missed**"
            add(f"| {label} | {fmt(before)} | {fmt(peak)} | {fmt(after)} | {ratio(after, before)} "
                f"| <= 1.05 | {flat} |")
        else:
            add(f"| {label} | n/a | n/a | n/a | n/a | <= 1.05 | |")
    add("")
    replies = re.search(r"queries (\d+): right (\d+), failed (\d+), wrong (\d+)", load_text)
    pace = re.search(r"time ([\d.]+) s, (\d+) queries/s", load_text)
    if replies and pace:
        add(f"Replies right: {int(replies.group(2)):,} of {int(replies.group(1)):,} "
            f"({replies.group(3)} failed, {replies.group(4)} wrong), in {pace.group(1)} s "
            f"({int(pace.group(2)):,} queries a second). Exit status of the benchmark: "
            f"{status_note(load_text)} (1 unless every reply was right and the launcher ended with 0).")
    else:
        add("`launcher_load_bench` did not report its queries.")
    add("")
    add("## Raw output")
    add("")
    for name, text in (("bench_extraction", extraction), ("properties_bench", properties),
                       ("bench_signature", signature), ("channel_bench", channel_text),
                       ("launcher_load_bench", load_text)):
        add(f"`{name}`:")
        add("")
        add("```")
        for line in text.rstrip().splitlines():
            add(line.replace(os.path.abspath(results), "RESULTS"))
        add("```")
        add("")
    with open(os.path.join(docs, "performance.md"), "w", encoding="utf-8") as handle:
        handle.write("\n".join(lines).rstrip() + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
