"""Builds the defect map of many dark (or flat) frames on a Dask cluster.

usage: python3 defect_map.py [--flats] [--area X Y W H] FILE...   (PYTHONPATH must reach the package)

Each task reads a few frames into a partial diagraw.analysis.Stack; the partial stacks are merged two by two, in a
tree, so that no worker holds more than two stacks at a time, and the last one gives the figures and the list of
hot, dead and stuck cells. The stacks' sums are integers, so the merge is exact: the result is the one that
diagraw.analysis.defects() gives in a single process, to the last bit, whatever the split.
"""

import json
import sys

from diagraw import analysis


def partial_stack(paths, kind, area):
    """One task: a stack of a few frames."""
    stack = analysis.Stack(kind, area)
    for path in paths:
        stack.add(path)
    return stack


def merged(first, second):
    return first.merge(second)


def figures(stack, thresholds):
    return stack.result(**thresholds)


def defect_map(paths, *, kind="darks", area=None, frames_per_task=4, client=None, **thresholds):
    """The defects() result of paths, built on client (a dask.distributed Client), or on a LocalCluster of 2
    worker processes when none is given."""
    import dask
    from dask.distributed import Client, LocalCluster

    tasks = [dask.delayed(partial_stack)(paths[i:i + frames_per_task], kind, area)
             for i in range(0, len(paths), frames_per_task)]
    while len(tasks) > 1:
        tasks = [dask.delayed(merged)(tasks[i], tasks[i + 1]) if i + 1 < len(tasks) else tasks[i]
                 for i in range(0, len(tasks), 2)]
    result = dask.delayed(figures)(tasks[0], thresholds)
    if client is not None:
        return client.compute(result).result()
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as own:
        return own.compute(result).result()


if __name__ == "__main__":
    arguments = sys.argv[1:]
    kind = "flats" if arguments[:1] == ["--flats"] else "darks"
    arguments = arguments[1:] if kind == "flats" else arguments
    area = None
    if arguments[:1] == ["--area"]:
        area, arguments = tuple(int(a) for a in arguments[1:5]), arguments[5:]
    print(json.dumps(defect_map(arguments, kind=kind, area=area)))
