"""Makes series of frames with diagraw-synth --sensor, runs diagraw.analysis on them, and prints what it recovers
against what the model put in, channel by channel, as a Markdown table; draws the photon transfer curve into PNG.

usage: python3 sensor_truth.py SYNTH WORK_FOLDER PNG   (PYTHONPATH must reach the package; SYNTH is diagraw-synth)

The model: gain 0.5 DN/e, read noise 4 e, DSNU 2 e, offset 64 DN, clipping at 4095; flats with a PRNU of 1 %;
20 hot cells (500 e of dark signal) in the darks and 4 dead cells in the flats; one frame whose field 1 gets 1.25
times the light of field 0. The saturation's truth is where the model's variance peaks (a normal sample cut at
4095), the mean there in electrons above the dark.
"""

import math
import os
import subprocess
import sys

from diagraw import analysis

GAIN, READ_NOISE, DSNU, PRNU, OFFSET, RATIO = 0.5, 4.0, 2.0, 1.0, 64, 1.25
MODEL = ["--gain", str(GAIN), "--read-noise", str(READ_NOISE), "--offset", str(OFFSET), "--dsnu", str(DSNU)]
HOT = [(0, 100 + 97 * i, 50 + 141 * i) for i in range(10)] + [(1, 2000 - 93 * i, 2900 - 137 * i) for i in range(10)]
DEAD = [(0, 7, 9), (1, 1500, 1500), (0, 2143, 0), (1, 0, 2943)]
CLEAN_AREA = (1500, 1500, 600, 400)  # no hot cell shows here: the DSNU of the fixed pattern alone


def frame(synth, folder, name, electrons, seed, *options):
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        subprocess.run([synth, "--sensor", *MODEL, "--electrons", str(electrons), "--seed", str(seed),
                        "--exposure", str(max(electrons, 1) / 100_000), *options, path], check=True)
    return path


def saturation_electrons():
    def cut(e):
        mean, sigma, top = OFFSET + GAIN * e, GAIN * math.sqrt(e + READ_NOISE ** 2), 4095
        a = (top - mean) / sigma
        below = 0.5 * (1 + math.erf(a / math.sqrt(2)))
        density = math.exp(-a * a / 2) / math.sqrt(2 * math.pi)
        first = mean * below - sigma * density + top * (1 - below)
        second = (mean ** 2 + sigma ** 2) * below - sigma * (top + mean) * density + top ** 2 * (1 - below)
        return second - first ** 2, first
    return (max(cut(e) for e in range(7000, 8500))[1] - OFFSET) / GAIN


def main(synth, folder, png):
    os.makedirs(folder, exist_ok=True)
    electrons = [400, 1600, 3200, 4800, 6400, 7200, 7600, 7800, 7900, 8100]
    pairs = [(frame(synth, folder, f"ptc{e}a.raf", e, 2 * e), frame(synth, folder, f"ptc{e}b.raf", e, 2 * e + 1))
             for e in electrons]
    dark = (frame(synth, folder, "dark-a.raf", 0, 7), frame(synth, folder, "dark-b.raf", 0, 8))
    hot = [o for f, y, x in HOT for o in ("--hot", f"{f},{y},{x}")]
    dead = [o for f, y, x in DEAD for o in ("--dead", f"{f},{y},{x}")]
    darks = [frame(synth, folder, f"dark{s}.raf", 0, s, *hot) for s in range(1, 17)]
    flats = [frame(synth, folder, f"flat{s}.raf", 1000, 100 + s, "--prnu", str(PRNU), *dead) for s in range(1, 17)]
    ratio = frame(synth, folder, "ratio.raf", 1500, 5, "--field-ratio", str(RATIO), "--offset", "0")

    ptc = analysis.ptc(dark, pairs)
    spatial = analysis.defects(darks=darks, flats=flats)
    dsnu = analysis.defects(darks=darks, gain=GAIN, area=CLEAN_AREA)
    fields = analysis.fields(ratio)
    found = {(d["kind"], d["field"], d["row"], d["column"]) for d in spatial["defects"]}
    planted = {("hot", *c) for c in HOT} | {("dead", *c) for c in DEAD}

    truth = {"gain": GAIN, "read": READ_NOISE, "sat": saturation_electrons(), "dsnu": DSNU, "prnu": PRNU,
             "ev": math.log2(RATIO)}
    print(f"| channel | K DN/e ({truth['gain']}) | σ_r e ({truth['read']}) | μ_e.sat e ({truth['sat']:.0f}) "
          f"| DSNU e ({truth['dsnu']}) | PRNU % ({truth['prnu']}) |")
    print("|---|---|---|---|---|---|")
    for f in (0, 1):
        for colour in ("red", "green", "blue"):
            p = ptc["fields"][f]["colours"][colour]
            d = dsnu["fields"][f]["colours"][colour]
            s = spatial["fields"][f]["colours"][colour]
            print(f"| field {f} {colour} | {p['gain']:.4f} ({p['gain'] / GAIN - 1:+.2%}) "
                  f"| {p['dark_noise_e']:.3f} ({p['dark_noise_e'] / READ_NOISE - 1:+.2%}) "
                  f"| {p['saturation_e']:.0f} ({p['saturation_e'] / truth['sat'] - 1:+.2%}) "
                  f"| {d['dsnu']:.3f} ({d['dsnu'] / DSNU - 1:+.2%}) "
                  f"| {s['prnu_percent']:.3f} ({s['prnu_percent'] / PRNU - 1:+.2%}) |")
    print()
    print(f"| colour | EV of field 1 over field 0 ({truth['ev']:.4f}) |")
    print("|---|---|")
    for colour, c in fields["fields"][0]["colours"].items():
        print(f"| {colour} | {c['ev']:.4f} ({c['ev'] - truth['ev']:+.4f}) |")
    print()
    print(f"defects: {len(planted)} planted ({len(HOT)} hot, {len(DEAD)} dead), {len(found)} found, "
          f"{len(found & planted)} of them planted, {len(found - planted)} others")

    import matplotlib
    matplotlib.use("Agg")
    ax = analysis.plot_ptc(ptc)
    ax.figure.savefig(png, dpi=100, bbox_inches="tight")


if __name__ == "__main__":
    main(*sys.argv[1:4])
