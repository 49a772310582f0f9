"""The recipe of docs/examples/many_files.py: a process pool and a Dask cluster give what a plain loop gives."""

import os
import pathlib
import sys
import unittest

import numpy as np
from PIL import Image

import support

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "docs" / "examples"))
import many_files  # noqa: E402  (the recipe itself, as the guide shows it)


class ManyFiles(unittest.TestCase):
    def test_a_pool_and_a_cluster_give_the_loops_results_and_leave_nothing_behind(self):
        inputs = support.scratch("many-inputs")
        paths = [support.make_random(os.path.join(inputs, f"r{seed}.raf"), seed=seed) for seed in (1,)]
        paths.append(support.make_chart(os.path.join(inputs, "chart.raf")))
        results = {}
        for run in (many_files.in_a_loop, many_files.in_processes, many_files.on_dask):
            out = support.scratch("many-" + run.__name__)
            results[run.__name__] = run(paths, out)
            names = sorted(os.path.basename(path) + ".upright.png" for path in paths)
            self.assertEqual(sorted(os.listdir(out)), names, run.__name__)
            for result in results[run.__name__]:
                result["pixels"] = np.asarray(Image.open(result.pop("upright")))
        loop = results.pop("in_a_loop")
        for name, got in results.items():
            with self.subTest(run=name):
                self.assertEqual([r["stats"] for r in got], [r["stats"] for r in loop])
                self.assertTrue(all((g["pixels"] == w["pixels"]).all() for g, w in zip(got, loop)))
                self.assertEqual(many_files.mean_by_colour(got), many_files.mean_by_colour(loop))
        self.assertEqual(sorted(os.listdir(inputs)), sorted(os.path.basename(p) for p in paths))


if __name__ == "__main__":
    unittest.main()
