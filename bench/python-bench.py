#!/usr/bin/python3
"""Times the Python module against the same stages in C++, side by side in one run, and two files in two threads.

usage: PYTHONPATH=build/python /usr/bin/python3 bench/python-bench.py [--build BUILD] [--rounds N] [--repetitions K]

Each round times, one after the other: K times load(), demosaic() and save() of the module; K iterations of
the C++ benchmarks of the same stages (BUILD/bench/diagraw_bench); and K whole runs of BUILD/diagraw. Then two
copies of the chart are loaded and demosaiced, first one after the other in one thread, then in two threads
at once: with the default workers, then with workers=1. Every figure is the median over the rounds, in
milliseconds; run by hand, not a test.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

diagraw = None  # the module, imported once the arguments are read

CPP_STAGES = "^BM_(LoadChart|Demosaic|SaveFieldPreview|SaveMosaicPreview)/"


def timed(step, cpu=None):
    """Wall time of step in ms; appends to cpu the process's CPU time over it (every thread's), in ms."""
    start, used = time.perf_counter(), time.process_time()
    step()
    if cpu is not None:
        cpu.append((time.process_time() - used) * 1000)
    return (time.perf_counter() - start) * 1000


def cpp_round(build, repetitions):
    """Times of the C++ stages, one iteration per repetition: {stage: [ms, ...]}."""
    out = subprocess.run([os.path.join(build, "bench", "diagraw_bench"), "--benchmark_filter=" + CPP_STAGES,
                          "--benchmark_min_time=0", f"--benchmark_repetitions={repetitions}",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    times = {}
    for run in json.loads(out)["benchmarks"]:
        if run.get("run_type", "iteration") == "iteration":
            times.setdefault(run["name"].split("/")[0], []).append(run["real_time"])
    times["save"] = [2 * f + m + d for f, m, d in zip(times["BM_SaveFieldPreview"], times["BM_SaveMosaicPreview"],
                                                      times["BM_Demosaic"])]
    return times


def convert(path, workers=None):
    raw = diagraw.load(path, workers=workers)
    raw.demosaic()


def in_threads(paths, workers=None):
    threads = [threading.Thread(target=convert, args=(path, workers)) for path in paths]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def positive(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be 1 or more, not {value}")
    return value


def prerequisites(parser, build):
    """Imports the module and checks the programs the rounds run; a missing one ends the run with a message."""
    global diagraw
    needed = [os.path.join(build, "bench", "diagraw_bench"), os.path.join(build, "diagraw"),
              os.path.join(build, "diagraw-synth")]
    missing = [path for path in needed if not os.access(path, os.X_OK)]
    if missing:
        parser.error(f"not built: {', '.join(missing)}; build with "
                     f"'cmake --build {build} -j2 --target {' '.join(map(os.path.basename, missing))}', or name another "
                     "build folder with --build")
    try:
        import diagraw as module
    except ImportError as error:
        parser.error(f"cannot import the module diagraw ({error}); build it with 'cmake --build {build} -j2 "
                     f"--target diagraw_python' and run with PYTHONPATH={os.path.join(build, 'python')}")
    diagraw = module


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="build folder of the programs and benchmarks (build)")
    parser.add_argument("--rounds", type=positive, default=7)
    parser.add_argument("--repetitions", type=positive, default=3, help="of each stage in a round")
    args = parser.parse_args()
    prerequisites(parser, args.build)
    print("load before:", os.getloadavg())
    rows = {key: [] for key in ("load", "demosaic", "save", "run", "C load", "C demosaic", "C save", "C run",
                                "one thread", "two threads", "one thread, 1 worker", "two threads, 1 worker",
                                "two threads cpu", "two threads, 1 worker cpu")}
    with tempfile.TemporaryDirectory() as folder:
        chart = os.path.join(folder, "chart.raf")
        subprocess.run([os.path.join(args.build, "diagraw-synth"), chart], check=True, stdout=subprocess.DEVNULL)
        copies = [os.path.join(folder, name) for name in ("a.raf", "b.raf")]
        for copy in copies:
            os.link(chart, copy)
        for _ in range(args.rounds):
            raw = None

            def load():
                nonlocal raw
                raw = diagraw.load(chart)

            for _ in range(args.repetitions):
                rows["load"].append(timed(load))
                rows["demosaic"].append(timed(raw.demosaic))
                rows["save"].append(timed(lambda: raw.save(os.path.join(folder, "py.raf"))))
                rows["run"].append(rows["load"][-1] + rows["save"][-1])
            cpp = cpp_round(args.build, args.repetitions)
            rows["C load"] += cpp["BM_LoadChart"]
            rows["C demosaic"] += cpp["BM_Demosaic"]
            rows["C save"] += cpp["save"]
            for _ in range(args.repetitions):
                rows["C run"].append(timed(lambda: subprocess.run([os.path.join(args.build, "diagraw"), chart],
                                                                  check=True, stdout=subprocess.DEVNULL)))
            rows["one thread"].append(timed(lambda: [convert(path) for path in copies]))
            rows["two threads"].append(timed(lambda: in_threads(copies), rows["two threads cpu"]))
            rows["one thread, 1 worker"].append(timed(lambda: [convert(path, 1) for path in copies]))
            rows["two threads, 1 worker"].append(timed(lambda: in_threads(copies, 1),
                                                       rows["two threads, 1 worker cpu"]))
    median = {key: statistics.median(values) for key, values in rows.items()}
    print(f"\n{args.rounds} rounds of {args.repetitions}, medians in ms\n")
    print("| stage | Python | C++ | Python / C++ |")
    print("|---|---|---|---|")
    for key, what in (("load", "`BM_LoadChart`"), ("demosaic", "`BM_Demosaic` (also writes the file)"),
                      ("save", "2 x `BM_SaveFieldPreview` + `BM_SaveMosaicPreview` + `BM_Demosaic`"),
                      ("run", "`diagraw chart.raf`, the whole process")):
        label = {"run": "load() + save()"}.get(key, f"{key}()")
        print(f"| {label} | {median[key]:.0f} | {median['C ' + key]:.0f} ({what}) | "
              f"{median[key] / median['C ' + key]:.2f} |")
    print("\n| load() + demosaic() of two files | one thread | two threads | throughput "
          "| CPU / wall, two threads |")
    print("|---|---|---|---|---|")
    for workers, suffix in (("default", ""), ("1", ", 1 worker")):
        one, two = median["one thread" + suffix], median["two threads" + suffix]
        busy = median["two threads" + suffix + " cpu"] / two
        print(f"| workers={workers} | {one:.0f} | {two:.0f} | x{one / two:.2f} | {busy:.2f} |")
    print("load after:", os.getloadavg())


if __name__ == "__main__":
    try:
        main()
    except subprocess.CalledProcessError as error:
        sys.exit(f"python-bench.py: {' '.join(error.cmd)} failed with exit status {error.returncode}")
    except KeyboardInterrupt:
        sys.exit(130)
