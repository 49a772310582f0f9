"""What the viewer's tests share: the chart and the files the programs write
of it, a running diagraw-view, and requests to it.

The programs and a scratch folder come in the environment: DIAGRAW_VIEW_EXE,
DIAGRAW_EXE, DIAGRAW_PROBE_EXE, DIAGRAW_SYNTH_EXE, DIAGRAW_EXPORT_EXE (when
built) and DIAGRAW_TEST_WORK.
"""
import http.client
import io
import json
import os
import pathlib
import random
import re
import signal
import subprocess
import time

import numpy
from PIL import Image

WORK = pathlib.Path(os.environ["DIAGRAW_TEST_WORK"])
VIEW = os.environ["DIAGRAW_VIEW_EXE"]
PROBE = os.environ["DIAGRAW_PROBE_EXE"]
EXPORT = os.environ.get("DIAGRAW_EXPORT_EXE")


def chart():
    """The chart, and the four images and the upright view of it, made once."""
    WORK.mkdir(parents=True, exist_ok=True)
    raf = WORK / "chart.raf"
    if not (WORK / "chart.raf.bmp").exists():
        subprocess.run([os.environ["DIAGRAW_SYNTH_EXE"], str(raf)], check=True, capture_output=True)
        subprocess.run([os.environ["DIAGRAW_EXE"], str(raf)], check=True, capture_output=True)
    if EXPORT and not (WORK / "upright.tif").exists():
        subprocess.run([EXPORT, str(raf), "upright", str(WORK / "upright.tif")], check=True, capture_output=True)
    return raf


def view_files(raf):
    """The file whose pixels each view shows, as the programs write it."""
    files = {"field0": f"{raf}.f0.bmp", "field1": f"{raf}.f1.bmp", "mosaic": f"{raf}.src.bmp", "image": f"{raf}.bmp"}
    if EXPORT:
        files["upright"] = str(WORK / "upright.tif")
    return files


def pixels(path):
    with Image.open(path) as image:
        return numpy.asarray(image.convert("RGB"))


def probe_json(*arguments):
    return subprocess.run([PROBE, *arguments, "--json"], check=True, capture_output=True).stdout


class Viewer:
    """diagraw-view on the chart, listening on the loopback address."""

    def __init__(self, raf, *options, program=VIEW, cwd=None):
        self.started = time.time()
        self.process = subprocess.Popen([program, str(raf), "--no-browser", *options], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, cwd=cwd)
        self.url = self.process.stdout.readline().strip()
        match = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", self.url)
        if not match:
            self.process.kill()
            raise AssertionError(f"no address: {self.url!r} {self.process.stderr.read()!r}")
        self.port = int(match.group(1))
        self.token = match.group(2)
        self.host = f"127.0.0.1:{self.port}"

    def request(self, target, method="GET", headers=None, token=True):
        """(status, headers, body) of one request on a connection of its own."""
        if token:
            target += ("&" if "?" in target else "?") + "token=" + self.token
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        try:
            connection.putrequest(method, target, skip_host=True, skip_accept_encoding=True)
            for key, value in {"Host": self.host, **(headers or {})}.items():
                connection.putheader(key, value)
            connection.endheaders()
            response = connection.getresponse()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
        finally:
            connection.close()

    def get(self, target):
        status, headers, body = self.request(target)
        if status != 200:
            raise AssertionError(f"{target}: {status} {body!r}")
        return body, headers

    def json(self, target):
        return json.loads(self.get(target)[0])

    def tile(self, view, level, column, row, layer="dzi"):
        body, headers = self.get(f"/{layer}/{view}_files/{level}/{column}_{row}.png")
        with Image.open(io.BytesIO(body)) as image:
            return numpy.asarray(image), headers

    def peak_memory_mb(self):
        status = pathlib.Path(f"/proc/{self.process.pid}/status").read_text()
        return int(re.search(r"VmHWM:\s+(\d+) kB", status).group(1)) / 1024

    def stop(self):
        """Ctrl-C; the exit status and what was said on standard error."""
        self.process.send_signal(signal.SIGINT)
        try:
            _, error = self.process.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise
        return self.process.returncode, error


FIELD_WIDTH, FIELD_HEIGHT = 2944, 2144
SIDE = FIELD_WIDTH + FIELD_HEIGHT


def defect(kind, field, row, column, mean=123.456, excess=9.87):
    """One entry as `diagraw-probe defects --json` lists it: the cell that
    raw/Placement.h puts the sample in (the mosaic element (x + y + f) * side
    + width + 2 - x + y, which runs on into the next row for the wrapped
    samples) and the image pixel that shows it, none for row 0 or column 0."""
    cell_row, cell_column = divmod((column + row + field) * SIDE + FIELD_WIDTH + 2 - column + row, SIDE)
    shows = 0 < cell_row < SIDE and 0 < cell_column < SIDE
    return {"kind": kind, "field": field, "row": row, "column": column, "cell_row": cell_row,
            "cell_column": cell_column, "x": SIDE - cell_column if shows else None,
            "y": cell_row - 1 if shows else None, "mean": mean, "excess": excess}


def random_defects(count, seed=10):
    """count defects at distinct random samples, of every kind."""
    chosen = random.Random(seed)
    samples = chosen.sample(range(2 * FIELD_WIDTH * FIELD_HEIGHT), count)
    return [defect(chosen.choice(("hot", "hot", "dead", "stuck")), s // (FIELD_WIDTH * FIELD_HEIGHT),
                   s // FIELD_WIDTH % FIELD_HEIGHT, s % FIELD_WIDTH, round(chosen.uniform(0, 4095), 3),
                   chosen.choice((None, round(chosen.uniform(-50, 50), 2)))) for s in samples]


def write_defects(path, defects):
    """A defects file with the keys besides the list that the viewer skips."""
    path.write_text(json.dumps({"fields": [{"field": f, "level": 256.5} for f in (0, 1)], "defects": defects,
                                "threshold": 6}))
    return path


def levels_of(size):
    """Deep Zoom's levels: each the one above it halved, rounded up."""
    width, height = size
    levels = [(width, height)]
    while max(width, height) > 1:
        width, height = (width + 1) // 2, (height + 1) // 2
        levels.append((width, height))
    return levels[::-1]


def reduce_level(above):
    """The level below: each 2 x 2 block's mean, rounded down, over the
    pixels of the block that exist."""
    height, width = above.shape[:2]
    padded = numpy.zeros(((height + 1) // 2 * 2, (width + 1) // 2 * 2, above.shape[2]), numpy.uint32)
    counts = numpy.zeros(padded.shape[:2], numpy.uint32)
    padded[:height, :width] = above
    counts[:height, :width] = 1
    sums = padded[0::2, 0::2] + padded[1::2, 0::2] + padded[0::2, 1::2] + padded[1::2, 1::2]
    count = counts[0::2, 0::2] + counts[1::2, 0::2] + counts[0::2, 1::2] + counts[1::2, 1::2]
    return (sums // count[:, :, None]).astype(numpy.uint8)
