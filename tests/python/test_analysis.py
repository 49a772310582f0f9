"""diagraw.analysis and diagraw-probe's sensor commands on frames of diagraw-synth --sensor, whose truth is known.

The model is docs/examples/sensor_truth.py's: gain K = 0.5 DN/e, read noise 4 e, DSNU 2 e, offset 64 DN, clipping at
4095; flats with a PRNU of 1 %; hot and dead cells at given positions. The analysis must recover what went in within
what the statistics allow."""

import math
import os
import pickle
import subprocess
import sys
import threading
import unittest

import diagraw
from diagraw import analysis

import support

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "docs", "examples"))
import defect_map  # noqa: E402  (the recipe itself, as the guide shows it)

from sensor_truth import DEAD, GAIN, HOT, READ_NOISE, saturation_electrons  # noqa: E402  (the same model)
import sensor_truth  # noqa: E402

AREA = (1500, 1500, 600, 400)
WORK = support.scratch("analysis")


def frame(name, electrons, seed, *options):
    """One frame of the model: electrons per sample of a flat light (0 for a dark)."""
    return sensor_truth.frame(support.SYNTH, WORK, name, electrons, seed, *options)


def hot_options():
    return [option for f, y, x in HOT for option in ("--hot", f"{f},{y},{x}")]


def darks(count):
    return [frame(f"dark{seed}.raf", 0, seed, *hot_options()) for seed in range(1, count + 1)]


def flats(count):
    dead = [option for f, y, x in DEAD for option in ("--dead", f"{f},{y},{x}")]
    return [frame(f"flat{seed}.raf", 1000, 100 + seed, "--prnu", "1", *dead) for seed in range(1, count + 1)]


def channels(result):
    for field in result["fields"]:
        for name, figures in field["colours"].items():
            yield field["field"], name, figures


class Recovery(unittest.TestCase):
    def test_the_photon_transfer_curve_gives_the_model_back(self):
        # Exposures up to past the clipping, finer where the variance peaks.
        electrons = [400, 1600, 3200, 4800, 6400, 7200, 7600, 7800, 7900, 8100]
        pairs = [(frame(f"ptc{e}a.raf", e, 2 * e), frame(f"ptc{e}b.raf", e, 2 * e + 1)) for e in electrons]
        dark = (frame("ptc-dark-a.raf", 0, 7), frame("ptc-dark-b.raf", 0, 8))
        result = analysis.ptc(dark, pairs)
        truth_saturation = saturation_electrons()
        for field, colour, figures in channels(result):
            with self.subTest(field=field, colour=colour):
                self.assertAlmostEqual(figures["gain"] / GAIN, 1, delta=0.02)
                self.assertAlmostEqual(figures["dark_noise_e"] / READ_NOISE, 1, delta=0.05)
                self.assertAlmostEqual(figures["saturation_e"] / truth_saturation, 1, delta=0.03)
                self.assertGreater(figures["r2"], 0.999)
                self.assertEqual([p["exposure"] for p in figures["points"]], [e / 100_000 for e in electrons])
        # The program prints the same figures (its JSON is the module's dict).
        command = ["ptc", "--dark", *dark, *[path for pair in pairs for path in pair]]
        self.assertEqual(support.probe_json(*command), result)

    def test_every_planted_defect_is_found_and_no_other(self):
        dark_stack, flat_stack = darks(8), flats(8)
        result = analysis.defects(darks=dark_stack, flats=flat_stack)
        found = {(d["kind"], d["field"], d["row"], d["column"]) for d in result["defects"]}
        planted = {("hot", *cell) for cell in HOT} | {("dead", *cell) for cell in DEAD}
        self.assertEqual(found, planted)
        self.assertEqual(result["defect_count"], len(planted))
        for defect in result["defects"]:
            cell = (defect["cell_row"], defect["cell_column"])
            if defect["x"] is not None:  # the pixel shows the cell, as diagraw-probe cell tells it
                shown = support.probe_json("cell", flat_stack[0], str(defect["x"]), str(defect["y"]))
                self.assertEqual((shown["row"], shown["column"]), cell)
        for field, colour, figures in channels(result):
            self.assertAlmostEqual(figures["prnu_percent"], 1.0, delta=0.05)
        # DSNU where no hot cell lies (they would add to the spatial variance).
        dsnu = analysis.defects(darks=dark_stack, gain=GAIN, area=AREA)
        self.assertEqual(dsnu["defect_count"], 0)
        for field, colour, figures in channels(dsnu):
            self.assertAlmostEqual(figures["dsnu"] / 2.0, 1, delta=0.05)
        self.assertEqual(support.probe_json("defects", "--flats", *flat_stack, "--darks", *dark_stack), result)

    def test_two_fields_of_a_known_exposure_ratio(self):
        path = frame("ratio.raf", 1500, 5, "--field-ratio", "1.25", "--offset", "0")
        for field, colour, figures in channels(analysis.fields(path)):
            self.assertAlmostEqual(figures["ev"], math.log2(1.25), delta=0.01)
            self.assertLess(abs(figures["correlation"]), 0.01)  # the noise of co-sited samples is independent


class Interface(unittest.TestCase):
    def test_the_module_gives_the_programs_json(self):
        a, b = darks(2)
        cases = [
            (analysis.pair(a, b, area=AREA), ["pair", a, b, "--area", *map(str, AREA)]),
            (analysis.fields(diagraw.load(a)), ["fields", a]),
            (analysis.defects(darks=[a, b], sigma=5, area=AREA),
             ["defects", "--darks", a, b, "--sigma", "5", "--area", *map(str, AREA)]),
        ]
        for got, command in cases:
            with self.subTest(command=command[0]):
                self.assertEqual(got, support.probe_json(*command))
        csv = subprocess.run([support.PROBE, "pair", a, b, "--csv"], check=True, capture_output=True, text=True).stdout
        self.assertEqual(csv.splitlines()[0], "field,colour,count,mean,temporal_variance,temporal_noise")
        self.assertEqual(len(csv.splitlines()), 7)

    def test_stacks_merge_exactly_in_threads_and_through_pickles(self):
        paths = darks(6)
        whole = analysis.defects(darks=paths, area=AREA)
        parts = [analysis.Stack("darks", AREA) for _ in range(3)]
        threads = [threading.Thread(target=lambda s=s, p=p: [s.add(x) for x in p])
                   for s, p in zip(parts, (paths[:2], paths[2:5], paths[5:]))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        merged = pickle.loads(pickle.dumps(parts[2])).merge(parts[0]).merge(pickle.loads(pickle.dumps(parts[1])))
        self.assertEqual(merged.frames, 6)
        self.assertEqual(merged.result(), whole)
        for other, message in ((analysis.Stack("flats", AREA), "flats"), (analysis.Stack("darks"), "areas")):
            with self.assertRaisesRegex(ValueError, message):
                merged.merge(other.add(paths[0]))

    def test_the_dask_recipe_equals_the_single_process_result(self):
        paths = darks(8)
        self.assertEqual(defect_map.defect_map(paths, area=AREA, frames_per_task=2),
                         analysis.defects(darks=paths, area=AREA))

    def test_frames_of_other_settings_are_refused(self):
        a = darks(1)[0]
        iso = frame("iso400.raf", 0, 9, "--iso", "400")
        longer = frame("longer.raf", 0, 9, "--exposure", "0.5")
        with self.assertRaisesRegex(ValueError, "iso400.raf: ISO 400, not ISO 200 as"):
            analysis.defects(darks=[a, iso])
        with self.assertRaisesRegex(ValueError, r"longer.raf: exposed 1/2 s, not"):
            analysis.pair(a, longer)
        run = subprocess.run([support.PROBE, "pair", a, iso], capture_output=True, text=True)
        self.assertEqual((run.returncode, run.stdout), (1, ""))
        self.assertEqual(run.stderr, f"diagraw-probe: {iso}: ISO 400, not ISO 200 as {a}\n")

    def test_plot_ptc_draws_every_channel(self):
        import matplotlib
        matplotlib.use("Agg")
        dark = darks(2)
        flat = (frame("ptc800a.raf", 800, 1600), frame("ptc800b.raf", 800, 1601))
        ax = analysis.plot_ptc(analysis.ptc((dark[0], dark[1]), [flat, flats(2)]))
        self.assertEqual(len(ax.get_legend().get_texts()), 6)
        out = os.path.join(WORK, "ptc.png")
        ax.figure.savefig(out)
        self.assertGreater(os.path.getsize(out), 10_000)


if __name__ == "__main__":
    unittest.main()
