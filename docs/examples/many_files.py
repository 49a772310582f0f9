"""Runs diagraw over many files: in a pool of processes on one machine, or on a Dask cluster.

usage: python3 many_files.py OUT_FOLDER FILE...   (PYTHONPATH must reach the package, as for any script)

Each file is one task: load it with workers=1 (the pool or the cluster spreads the tasks over the processors),
take its statistics, and write its upright view as OUT_FOLDER/NAME.upright.png. The per-colour mean over all
files is then made from the statistics the tasks return. A Raw never travels between processes: a task is
handed a path and returns a dict, which pickles.
"""

import concurrent.futures
import multiprocessing
import os
import sys
import time

import diagraw
from PIL import Image


def convert(path, out_folder):
    """One file's task: its statistics, and its upright view written beside the others."""
    with diagraw.load(path, workers=1) as raw:
        stats = raw.stats()
        name = os.path.join(out_folder, os.path.basename(path) + ".upright.png")
        Image.fromarray(raw.upright()).save(name, compress_level=1)
    return {"path": path, "upright": name, "stats": stats}


def mean_by_colour(results):
    """The mean of every colour over both fields of all files, weighted by the samples counted."""
    totals = {}
    for result in results:
        for field in result["stats"]["fields"]:
            for colour, facts in field["colours"].items():
                count, weighted = totals.get(colour, (0, 0.0))
                totals[colour] = (count + facts["count"], weighted + facts["count"] * facts["mean"])
    return {colour: weighted / count for colour, (count, weighted) in sorted(totals.items())}


def in_a_loop(paths, out_folder):
    return [convert(path, out_folder) for path in paths]


def in_processes(paths, out_folder, processes=2):
    # spawn, not fork: a child forked from a parent whose threads hold locks can hang.
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(processes, mp_context=context) as pool:
        return list(pool.map(convert, paths, [out_folder] * len(paths)))


def on_dask(paths, out_folder, address=None):
    """On the cluster at address, or on a LocalCluster of 2 worker processes when none is given."""
    from dask.distributed import Client, LocalCluster

    cluster = None if address else LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                                dashboard_address=None)
    try:
        with Client(address or cluster) as client:
            futures = client.map(convert, paths, out_folder=out_folder, pure=False)
            return client.gather(futures)
    finally:
        if cluster is not None:
            cluster.close()


if __name__ == "__main__":
    out, files = sys.argv[1], sys.argv[2:]
    for run in (in_a_loop, in_processes, on_dask):
        start = time.perf_counter()
        means = mean_by_colour(run(files, out))
        print(f"{run.__name__}: {len(files)} files in {time.perf_counter() - start:.1f} s,",
              ", ".join(f"{colour} {mean:.3f}" for colour, mean in means.items()))
