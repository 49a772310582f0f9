"""Every array of the module against the program's BMP files and the probe's JSON, on the chart and on random bytes."""

import filecmp
import io
import os
import subprocess
import threading
import unittest

import numpy as np
from PIL import Image

import diagraw
import support

IMAGES = {"f0": lambda raw: raw.field_preview(0), "f1": lambda raw: raw.field_preview(1),
          "src": lambda raw: raw.mosaic_preview(), "": lambda raw: raw.demosaic()}
# Pixels (x, y) of the demosaiced image: inside, at the window's edges, and showing no cell.
PIXELS = [(2000, 1500), (9, 8), (5079, 5078), (2543, 2544), (4000, 100), (8, 7), (0, 10), (10, 5087)]


class ReadOnly:
    """A binary stream with read() alone: no readinto, no seek."""

    def __init__(self, data):
        self.stream = io.BytesIO(data)

    def read(self, size=-1):
        return self.stream.read(size)


def bmp_name(path, suffix):
    return f"{path}.{suffix}.bmp" if suffix else f"{path}.bmp"


class ImagesOfOneFile:
    """Mixed into one class per input; the input is loaded once for the class."""

    @classmethod
    def setUpClass(cls):
        cls.folder = support.scratch(cls.__name__)
        cls.path = cls.make_input(os.path.join(cls.folder, "input.raf"))
        assert support.run_diagraw(cls.path) == ""
        cls.raw = diagraw.load(cls.path)
        cls.mosaic_before = cls.raw.mosaic.copy()

    @classmethod
    def tearDownClass(cls):
        cls.raw.close()

    def test_images_equal_the_bmp_files(self):
        for suffix, render in IMAGES.items():
            with self.subTest(image=suffix):
                image = render(self.raw)
                self.assertEqual(image.dtype, np.uint8)
                np.testing.assert_array_equal(image, support.read_bmp(bmp_name(self.path, suffix)))
        # The header parsing of the tests agrees with Pillow's.
        with Image.open(bmp_name(self.path, "f0")) as pillow:
            np.testing.assert_array_equal(np.asarray(pillow.convert("RGB")), self.raw.field_preview(0))

    def test_mosaic_unchanged_after_demosaic(self):
        self.raw.demosaic()
        np.testing.assert_array_equal(self.raw.mosaic, self.mosaic_before)
        self.assertFalse(self.raw.mosaic.flags.writeable or self.raw.fields.flags.writeable)

    def test_header_stats_and_explain_equal_the_probe(self):
        self.assertEqual(self.raw.header, support.probe_json("info", self.path))
        self.assertEqual(self.raw.metadata, self.raw.header.get("exif"))
        self.assertEqual(self.raw.stats(), support.probe_json("stats", self.path))
        self.assertEqual(self.raw.stats(area=(2000, 1500, 300, 200)),
                         support.probe_json("stats", self.path, "--area", "2000", "1500", "300", "200"))
        for x, y in PIXELS:
            with self.subTest(pixel=(x, y)):
                facts = self.raw.explain(x, y)
                self.assertEqual(facts, support.probe_json("cell", self.path, str(x), str(y)))
                if "row" in facts:  # the cell's sample, colour and class, seen through the arrays
                    r, c = facts["row"], facts["column"]
                    self.assertEqual(self.raw.mosaic[r, c], facts["raw"])
                    self.assertEqual(diagraw.COLOUR_NAMES[self.raw.colours[r, c]], facts["colour"])
                    self.assertEqual(diagraw.SITE_CLASS_NAMES[self.raw.site_classes[r, c]], facts["site_class"])
                    if facts["field"] is not None:
                        self.assertEqual(self.raw.fields[facts["field"], facts["field_row"], facts["field_column"]],
                                         facts["raw"])

    def test_file_objects_and_buffers_give_what_the_path_gives(self):
        with open(self.path, "rb") as stream:
            data = stream.read()
        sources = {"open file": lambda: open(self.path, "rb"), "unbuffered": lambda: open(self.path, "rb", 0),
                   "BytesIO": lambda: io.BytesIO(data), "read() only": lambda: ReadOnly(data)}
        loads = {name: lambda make=make: diagraw.load(make()) for name, make in sources.items()}
        loads["bytes"] = lambda: diagraw.from_bytes(data)
        loads["bytearray"] = lambda: diagraw.from_bytes(bytearray(data), "named.raf")
        loads["uint8 array"] = lambda: diagraw.from_bytes(np.frombuffer(data, np.uint8))
        for name, load in loads.items():
            with self.subTest(source=name), load() as raw:
                np.testing.assert_array_equal(raw.fields, self.raw.fields)
                np.testing.assert_array_equal(raw.mosaic, self.raw.mosaic)
                self.assertEqual((raw.header, raw.metadata, raw.size), (self.raw.header, self.raw.metadata, self.raw.size))
        with diagraw.from_bytes(data, os.path.join(support.scratch(type(self).__name__ + "-bytes"), "x.raf")) as raw:
            np.testing.assert_array_equal(raw.demosaic(), self.raw.demosaic())
            self.assertIsNone(raw.save())
        self.assertTrue(filecmp.cmp(bmp_name(self.path, ""), bmp_name(raw.path, ""), shallow=False))

    def test_save_writes_the_programs_files(self):
        stem = os.path.join(self.folder, "saved.raf")
        self.assertIsNone(self.raw.save(stem))
        for suffix in IMAGES:
            self.assertTrue(filecmp.cmp(bmp_name(stem, suffix), bmp_name(self.path, suffix), shallow=False))
        self.assertEqual(sorted(os.listdir(self.folder)),
                         sorted([os.path.basename(bmp_name(p, s)) for p in (self.path, stem) for s in IMAGES]
                                + ["input.raf"]))


class ChartImages(ImagesOfOneFile, unittest.TestCase):
    make_input = staticmethod(lambda path: support.make_chart(path, "--raf"))

    def test_upright_equals_the_exported_tiff(self):
        tiff = os.path.join(self.folder, "upright.tif")
        subprocess.run([support.EXPORT, self.path, "upright", tiff], check=True)
        with Image.open(tiff) as pillow:
            np.testing.assert_array_equal(self.raw.upright(), np.asarray(pillow))


    def test_metadata_is_what_pillow_reads_in_the_preview(self):
        preview = self.raw.header["raf"]["preview"]
        with open(self.path, "rb") as stream:
            stream.seek(preview["offset"])
            jpeg = stream.read(preview["length"])
        with Image.open(io.BytesIO(jpeg)) as pillow:
            tags = pillow.getexif()
        shot = tags.get_ifd(0x8769)
        meta = self.raw.metadata
        self.assertEqual((meta["make"], meta["model"], meta["software"], meta["orientation"]),
                         (tags[271], tags[272], tags[305], tags[274]))
        self.assertEqual(meta["date_time"], shot[36867].replace(":", "-", 2).replace(" ", "T"))
        self.assertEqual((meta["exposure_seconds"], meta["f_number"], meta["iso"], meta["focal_length_mm"]),
                         (float(shot[33434]), float(shot[33437]), shot[34855], float(shot[37386])))
        self.assertEqual((meta["exposure_bias_ev"], meta["flash"], meta["focal_length_35mm"]),
                         (round(float(shot[37380]), 2), shot[37385], shot[41989]))
        self.assertEqual(meta["white_balance"], ["auto", "manual"][shot[41987]])
        self.assertEqual(meta["exposure_time"], "1/250")


class RandomBytesImages(ImagesOfOneFile, unittest.TestCase):
    make_input = staticmethod(support.make_random)


class Threads(unittest.TestCase):
    def test_two_threads_give_what_one_gives(self):
        # One thread with the default workers, then two threads of one worker each.
        folder = support.scratch("threads")
        paths = [support.make_chart(os.path.join(folder, "a.raf")), support.make_random(os.path.join(folder, "b.raf"))]
        work = lambda path, workers=None: (lambda raw: (raw.mosaic, raw.demosaic(), raw.explain(2000, 1500)))(
            diagraw.load(path, workers=workers))
        alone = [work(path) for path in paths]
        together = [None, None]
        threads = [threading.Thread(target=lambda i=i: together.__setitem__(i, work(paths[i], 1))) for i in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for one, two in zip(alone, together):
            np.testing.assert_array_equal(one[0], two[0])
            np.testing.assert_array_equal(one[1], two[1])
            self.assertEqual(one[2], two[2])

    def test_close_and_the_last_reference_stop_the_workers(self):
        path = support.make_chart(os.path.join(support.scratch("workers"), "c.raf"))
        before, kept = os.listdir("/proc/self/task"), []
        for close in (True, False):  # arrays of the Raw outlive it
            raw = diagraw.load(path, workers=8)
            kept += [raw.mosaic, raw.demosaic(), close and raw.close()]
            del raw
        self.assertEqual(os.listdir("/proc/self/task"), before)

    def test_arrays_outlive_their_raw(self):
        with diagraw.load(support.make_chart(os.path.join(support.scratch("outlive"), "c.raf"))) as raw:
            mosaic, fields, colours = raw.mosaic, raw.fields, raw.colours
            expected = int(mosaic.sum())
        self.assertTrue(raw.closed)
        with self.assertRaises(ValueError):
            raw.mosaic
        del raw
        self.assertEqual(int(mosaic.sum()), expected)
        self.assertEqual(fields.shape, (2, 2144, 2944))
        self.assertEqual(colours[0, :4].tolist(),
                         [diagraw.COLOUR_RED, diagraw.COLOUR_GREEN, diagraw.COLOUR_BLUE, diagraw.COLOUR_GREEN])


if __name__ == "__main__":
    unittest.main()
