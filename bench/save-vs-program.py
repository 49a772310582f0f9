#!/usr/bin/python3
"""Times load() + save() of the module against `diagraw FILE`, for one or more builds, side by side in one run.

usage: /usr/bin/python3 bench/save-vs-program.py [--rounds N] BUILD [BUILD ...]

Each round runs, for every build in turn, a fresh interpreter that times diagraw.load() + save() of the chart
inside itself (PYTHONPATH=BUILD/python), then the whole process BUILD/diagraw on the same chart. Prints the
median and the least of each in ms, and the ratio of the medians per build; run by hand, not a test.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

CHILD = """
import sys, time
import diagraw
start = time.perf_counter()
diagraw.load(sys.argv[1]).save(sys.argv[2])
print((time.perf_counter() - start) * 1000)
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("builds", nargs="+")
    args = parser.parse_args()
    times = {}
    with tempfile.TemporaryDirectory() as folder:
        chart = os.path.join(folder, "chart.raf")
        subprocess.run([os.path.join(args.builds[0], "diagraw-synth"), chart], check=True, stdout=subprocess.DEVNULL)
        for _ in range(args.rounds):
            for build in args.builds:
                env = dict(os.environ, PYTHONPATH=os.path.join(build, "python"))
                out = subprocess.run([sys.executable, "-c", CHILD, chart, os.path.join(folder, "py.raf")], env=env,
                                     check=True, capture_output=True, text=True).stdout
                times.setdefault((build, "load() + save()"), []).append(float(out))
                start = time.perf_counter()
                subprocess.run([os.path.join(build, "diagraw"), chart], check=True, stdout=subprocess.DEVNULL)
                times.setdefault((build, "diagraw"), []).append((time.perf_counter() - start) * 1000)
    print(f"{args.rounds} rounds, load average after: {os.getloadavg()}\n")
    print("| build | load() + save(), ms | diagraw FILE, ms | ratio of medians |")
    print("|---|---|---|---|")
    for build in args.builds:
        module, program = times[(build, "load() + save()")], times[(build, "diagraw")]
        print(f"| {build} | {statistics.median(module):.0f} (least {min(module):.0f}) | "
              f"{statistics.median(program):.0f} (least {min(program):.0f}) | "
              f"{statistics.median(module) / statistics.median(program):.2f} |")


if __name__ == "__main__":
    main()
