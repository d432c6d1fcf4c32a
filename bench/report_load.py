#!/usr/bin/env python3
"""The match report of a large run: its size, kest's time and memory with --html and without, and
how long Debian's headless Chromium takes to load the page and to search it.

    /usr/bin/python3 bench/report_load.py CORPUS_FOLDER [--demos N] [--runs N]

Builds a release kest and make_corpus (the bench preset, build/bench), writes N (3000) short
recordings of 30 to 60 KB into CORPUS_FOLDER/archive with make_corpus (seed 1; kept for the next
run, made again when N changes), then in CORPUS_FOLDER/run times `kest '../archive/*.dm2'` without
and with --html by turns, R (7) times each after an untimed run of each, and prints the medians,
the peak memory of one more run of each (maximum resident set of /usr/bin/time -v) and the sizes of
kest.log and kest.html. Then it loads kest.html from its file:// path R times in one headless
Chromium, each time after about:blank, and prints the medians of the page's own navigation timing
(DOMContentLoaded and load, from the start of the navigation) and of the time from a search's
keystroke to its answer, less the script's wait for the typing to stop.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time


ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import headless_chromium  # noqa: E402  (found in tools/ once ROOT is known)
SEARCH_PAUSE_MS = 150  # report.js waits this long after the last keystroke

SEARCH = r"""
const done = arguments[arguments.length - 1];
const search = document.getElementById("search");
const found = document.querySelector(".toolbar output");
found.value = "";
search.value = arguments[0];
const start = performance.now();
search.dispatchEvent(new Event("input"));
const poll = () => found.value ? done(performance.now() - start) : setTimeout(poll, 5);
poll();
"""


def build():
    print("== building a release kest and make_corpus (cmake --preset bench, build/bench)", flush=True)
    log = subprocess.run("cmake --preset bench && cmake --build --preset bench -j2 --target kest make_corpus",
                         shell=True, cwd=ROOT, capture_output=True, text=True)
    if log.returncode:
        sys.exit(log.stdout + log.stderr)
    return os.path.join(ROOT, "build", "bench", "src", "kest"), os.path.join(ROOT, "build", "bench", "bench",
                                                                               "make_corpus")


def corpus(folder, make_corpus, demos):
    made_with = "--long 0 --archive %d --huge-bytes 0 --seed 1" % demos
    stamp = os.path.join(folder, "report.args")
    if not os.path.exists(stamp) or open(stamp).read() != made_with:
        shutil.rmtree(os.path.join(folder, "archive"), ignore_errors=True)
        print("== writing %d recordings into %s/archive" % (demos, folder), flush=True)
        subprocess.run([make_corpus, folder, *made_with.split()], check=True, stdout=subprocess.DEVNULL)
        with open(stamp, "w") as file:
            file.write(made_with)
    names = [name for name in os.listdir(os.path.join(folder, "archive")) if name.endswith(".dm2")]
    size = sum(os.path.getsize(os.path.join(folder, "archive", name)) for name in names)
    print("corpus: %d recordings, %s bytes" % (len(names), format(size, ",")))


def median_ms(values):
    return "%.0f ms" % statistics.median(values)


def time_kest(kest, run_folder, runs):
    pattern = os.path.join("..", "archive", "*.dm2")
    variants = {"kest": [kest, pattern], "kest --html": [kest, pattern, "--html"]}
    seconds = {name: [] for name in variants}
    for turn in range(runs + 1):
        for name, command in variants.items():
            start = time.perf_counter()
            subprocess.run(command, cwd=run_folder, check=True, stdout=subprocess.DEVNULL)
            if turn > 0:
                seconds[name].append(time.perf_counter() - start)
    print("== kest over the recordings, median of %d runs each (wall time), peak memory" % runs)
    for name, command in variants.items():
        measured = subprocess.run(["/usr/bin/time", "-v", *command], cwd=run_folder, check=True,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True).stderr
        peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", measured).group(1))
        print("%-12s %7.3f s   %6.1f MB" % (name, statistics.median(seconds[name]), peak / 1024))
    for name in ("kest.log", "kest.html"):
        print("%-9s %s bytes" % (name, format(os.path.getsize(os.path.join(run_folder, name)), ",")))


def time_browser(page, runs):
    driver = headless_chromium.start()
    driver.set_page_load_timeout(600)
    driver.set_script_timeout(600)
    loaded, ready, searched, wall = [], [], [], []
    try:
        for _ in range(runs):
            driver.get("about:blank")
            start = time.perf_counter()
            driver.get("file://" + page)
            wall.append(1000 * (time.perf_counter() - start))
            timing = driver.execute_script("const t = performance.getEntriesByType('navigation')[0];"
                                           "return [t.domContentLoadedEventEnd, t.loadEventEnd];")
            ready.append(timing[0])
            loaded.append(timing[1])
            searched.append(driver.execute_async_script(SEARCH, "gg") - SEARCH_PAUSE_MS)
        rows = driver.execute_script("return document.querySelectorAll('table.log tbody tr').length")
    finally:
        headless_chromium.stop(driver)
    print("== headless Chromium over kest.html (%s message rows), median of %d loads" % (format(rows, ","), runs))
    print("DOMContentLoaded %s, load %s (driver.get's wall time %s); a search of every message %s" %
          (median_ms(ready), median_ms(loaded), median_ms(wall), median_ms(searched)))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder")
    parser.add_argument("--demos", type=int, default=3000)
    parser.add_argument("--runs", type=int, default=7)
    options = parser.parse_args()
    folder = os.path.abspath(options.folder)
    os.makedirs(os.path.join(folder, "run"), exist_ok=True)
    kest, make_corpus = build()
    corpus(folder, make_corpus, options.demos)
    time_kest(kest, os.path.join(folder, "run"), options.runs)
    time_browser(os.path.join(folder, "run", "kest.html"), options.runs)


if __name__ == "__main__":
    main()
