"""What the Python module's tests share: the programs, a scratch folder, the inputs, BMP files as arrays."""

import json
import os
import shutil
import subprocess

import numpy as np

DIAGRAW = os.environ["DIAGRAW_EXE"]
PROBE = os.environ["DIAGRAW_PROBE_EXE"]
SYNTH = os.environ["DIAGRAW_SYNTH_EXE"]
EXPORT = os.environ.get("DIAGRAW_EXPORT_EXE")


def scratch(name):
    """A new empty folder below the test's work folder (world-readable, for a run as another user)."""
    folder = os.path.join(os.environ["DIAGRAW_TEST_WORK"], name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    os.chmod(folder, 0o777)
    return folder


def make_chart(path, *options):
    subprocess.run([SYNTH, *options, path], check=True, stdout=subprocess.DEVNULL)
    return path


def make_random(path, size=18_937_856 + 4000, seed=18):
    """Random bytes: a header of 4000 bytes before the tail."""
    with open(path, "wb") as out:
        out.write(np.random.default_rng(seed).integers(0, 256, size, dtype=np.uint8).tobytes())
    return path


def run_diagraw(path):
    """Runs the program; returns its standard error."""
    return subprocess.run([DIAGRAW, path], capture_output=True, text=True).stderr


def probe_json(*args):
    return json.loads(subprocess.run([PROBE, *args, "--json"], check=True, capture_output=True).stdout)


def read_bmp(path):
    """A 32-bit BMP file as RGB rows, top first, parsed from its 54-byte header."""
    data = np.fromfile(path, dtype=np.uint8)
    offset, = data[10:14].view("<u4")
    width, height = data[18:26].view("<i4")
    assert data[28:30].view("<u2")[0] == 32 and offset == 54
    return data[offset:].reshape(height, width, 4)[::-1, :, 2::-1]
