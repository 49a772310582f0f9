"""diagraw-view's HTTP interface against a running server on the loopback
address: the tiles are the programs' pixels, the JSON is the probe's, the
security rules hold, and many requests at once are all answered."""
import concurrent.futures
import json
import os
import pathlib
import random
import socket
import subprocess
import time
import unittest

import numpy

import support

TILE = 256
# Under a sanitizer the times and the memory are the sanitizer's: printed,
# not checked.
SANITIZED = os.environ.get("DIAGRAW_SANITIZED") == "1"


class Endpoints(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raf = support.chart()
        cls.viewer = support.Viewer(cls.raf)
        cls.sizes = {v["name"]: (v["width"], v["height"]) for v in cls.viewer.json("/api/views")["views"]}

    @classmethod
    def tearDownClass(cls):
        status, error = cls.viewer.stop()
        assert status == 0 and error == "", (status, error)

    def test_full_resolution_tiles_are_the_files_pixels(self):
        chosen = random.Random(25)
        for view, path in support.view_files(self.raf).items():
            with self.subTest(view=view):
                expected = support.pixels(path)
                width, height = self.sizes[view]
                self.assertEqual(expected.shape, (height, width, 3))
                top = len(support.levels_of((width, height))) - 1
                columns, rows = -(-width // TILE), -(-height // TILE)
                tiles = {(0, 0), (columns - 1, rows - 1), (columns // 2, rows // 2)}
                tiles |= {(chosen.randrange(columns), chosen.randrange(rows)) for _ in range(6)}
                for column, row in sorted(tiles):
                    tile, _ = self.viewer.tile(view, top, column, row)
                    want = expected[row * TILE:(row + 1) * TILE, column * TILE:(column + 1) * TILE]
                    self.assertTrue(numpy.array_equal(tile, want), f"tile {column}_{row} of {view}")

    def test_coarser_levels_are_the_mean_of_the_level_above(self):
        for view in ("image", "upright", "field1"):
            if view not in support.view_files(self.raf):
                continue
            with self.subTest(view=view):
                level = support.pixels(support.view_files(self.raf)[view])
                levels = support.levels_of(self.sizes[view])
                for number in range(len(levels) - 2, -1, -1):
                    level = support.reduce_level(level)
                    columns, rows = -(-levels[number][0] // TILE), -(-levels[number][1] // TILE)
                    # Every tile of the small levels, the last row and column of the large ones.
                    for column in range(columns):
                        for row in range(rows):
                            if columns * rows > 16 and column != columns - 1 and row != rows - 1:
                                continue
                            tile, _ = self.viewer.tile(view, number, column, row)
                            want = level[row * TILE:(row + 1) * TILE, column * TILE:(column + 1) * TILE]
                            self.assertTrue(numpy.array_equal(tile, want), f"level {number} tile {column}_{row}")

    def test_marks_show_the_clipped_and_zero_samples(self):
        # The chart holds neither: its marks are transparent.
        tile, _ = self.viewer.tile("image", 0, 0, 0, layer="marks")
        self.assertEqual((tile.shape[2], int(tile[:, :, 3].max())), (4, 0))
        # A copy with packed bytes of all ones (samples of 4095) and all
        # zeros at the start of field 0's block: the marks of the field view
        # count what the probe counts, and the image and upright views carry
        # them down to their coarsest level.
        marked = support.WORK / "marked.raf"
        data = bytearray(self.raf.read_bytes())
        data[0:30] = b"\xff" * 15 + b"\x00" * 15
        marked.write_bytes(bytes(data))
        stats = json.loads(support.probe_json("stats", str(marked)))["fields"][0]["colours"].values()
        viewer = support.Viewer(marked)
        try:
            width, height = self.sizes["field0"]
            top = len(support.levels_of((width, height))) - 1
            red = blue = 0
            for column in range(-(-width // TILE)):
                for row in range(-(-height // TILE)):
                    tile, _ = viewer.tile("field0", top, column, row, layer="marks")
                    red += int(numpy.count_nonzero((tile == [255, 0, 0, 255]).all(axis=2)))
                    blue += int(numpy.count_nonzero((tile == [0, 0, 255, 255]).all(axis=2)))
            self.assertEqual((red, blue), (sum(s["clipped"] for s in stats), sum(s["zeros"] for s in stats)))
            self.assertEqual(red, 10)  # 15 bytes of 12-bit samples
            for view in ("image", "upright", "mosaic"):
                tile, _ = viewer.tile(view, 0, 0, 0, layer="marks")
                self.assertEqual(tile[0, 0].tolist(), [255, 0, 255, 255], view)
        finally:
            self.assertEqual(viewer.stop(), (0, ""))

    def test_json_is_the_probes(self):
        raf = str(self.raf)
        cases = [("/api/info", ["info", raf]),
                 ("/api/stats", ["stats", raf]),
                 ("/api/stats?x=2000&y=1500&w=100&h=100", ["stats", raf, "--area", "2000", "1500", "100", "100"]),
                 ("/api/stats?x=0&y=5000&w=5088&h=88", ["stats", raf, "--area", "0", "5000", "5088", "88"])]
        for target, probe in cases:
            with self.subTest(target=target):
                self.assertEqual(self.viewer.get(target)[0], support.probe_json(*probe))
        # The cell under a pixel of every view is the probe's cell of the image
        # pixel that shows it; the field and upright views reach it through
        # the sample's place.
        for view, x, y, image_pixel in [("image", 2000, 1500, (2000, 1500)), ("mosaic", 0, 0, (0, 0)),
                                         ("image", 10, 5087, (10, 5087)), ("field1", 679, 821, (2000, 1500)),
                                         ("upright", 1359, 1643, (2000, 1500)), ("field0", 0, 0, None),
                                         ("upright", 1, 0, None)]:
            with self.subTest(view=view, x=x, y=y):
                answer = self.viewer.json(f"/api/cell?view={view}&x={x}&y={y}")
                if image_pixel is None:
                    self.assertIsNone(answer["cell"])
                    self.assertIn("reason", answer)
                    continue
                probe = json.loads(support.probe_json("cell", raf, *map(str, image_pixel)))
                self.assertEqual(answer["cell"], probe)
                if "row" in probe and probe["field"] is not None:
                    places = answer["places"]
                    self.assertEqual(places["image"], list(image_pixel))
                    self.assertEqual(places[f"field{probe['field']}"], [probe["field_column"], probe["field_row"]])
        # The pixel bytes are the view's own.
        for view, path in support.view_files(self.raf).items():
            expected = support.pixels(path)
            answer = self.viewer.json(f"/api/cell?view={view}&x=1000&y=700")
            self.assertEqual([answer["pixel"][c] for c in ("red", "green", "blue")], list(expected[700, 1000]), view)

    def test_defects_are_served_with_their_places(self):
        self.assertEqual(self.viewer.json("/api/defects"),
                         {"file": None, "counts": {"hot": 0, "dead": 0, "stuck": 0}, "defects": []})
        # A regular sample, a wrapped one (into column 1 of the next row) and
        # one whose cell lies in row 0, shown in no pixel.
        defects = [support.defect("hot", 1, 821, 679), support.defect("dead", 0, 2143, 0, 7.25, None),
                   support.defect("stuck", 0, 0, 0, 4095, 1e-05)]
        path = support.write_defects(support.WORK / "served.json", defects)
        viewer = support.Viewer(self.raf, "--defects", str(path))
        try:
            answer = viewer.json("/api/defects")
            self.assertEqual((answer["file"], answer["counts"]), (str(path), {"hot": 1, "dead": 1, "stuck": 1}))
            self.assertEqual([{k: v for k, v in d.items() if k != "places"} for d in answer["defects"]], defects)
            # The probe's explanation of the pixel names the same sample, and
            # the cell's places are those the page is given.
            for served in answer["defects"][:2]:
                field = f"field{served['field']}"
                cell = viewer.json(f"/api/cell?view=image&x={served['x']}&y={served['y']}")
                self.assertEqual([cell["cell"][k] for k in ("field", "field_row", "field_column")],
                                 [served["field"], served["row"], served["column"]])
                self.assertEqual(served["places"], {view: place for view, place in cell["places"].items()
                                                    if not view.startswith("field") or view == field})
            self.assertEqual(sorted(answer["defects"][2]["places"]), ["field0", "upright"])
            for target, status in [("/api/defects?kind=hot", 400), ("/api/defects", 403)]:
                self.assertEqual(viewer.request(target, token=status != 403)[0], status, target)
        finally:
            self.assertEqual(viewer.stop(), (0, ""))

    def test_security_rules(self):
        v = self.viewer
        good = "/api/cell?view=image&x=1&y=1"
        # (what, method, target, headers, token, status)
        cases = [
            ("no token", "GET", good, {}, False, 403),
            ("a wrong token", "GET", good + "&token=" + "0" * 32, {}, False, 403),
            ("a wrong cookie", "GET", good, {"Cookie": f"diagraw-view-{v.port}={'1' * 32}"}, False, 403),
            ("a foreign Host", "GET", good, {"Host": f"attacker.example:{v.port}"}, True, 403),
            ("the loopback Host on another port", "GET", good, {"Host": "127.0.0.1:1"}, True, 403),
            ("POST", "POST", good, {"Content-Length": "0"}, True, 405),
            ("PUT", "PUT", good, {"Content-Length": "0"}, True, 405),
            ("DELETE", "DELETE", good, {}, True, 405),
            ("OPTIONS", "OPTIONS", good, {"Origin": "http://attacker.example"}, True, 405),
            ("a path up the tree", "GET", "/../../../../etc/passwd", {}, True, 404),
            ("a path in a view", "GET", "/dzi/../../etc/passwd", {}, True, 404),
            ("an encoded path", "GET", "/%2e%2e/%2e%2e/etc/passwd", {}, True, 404),
            ("an absolute path", "GET", "//etc/passwd", {}, True, 404),
            ("a file name", "GET", "/etc/passwd", {}, True, 404),
            ("a file of the build", "GET", "/CMakeCache.txt", {}, True, 404),
            ("a malformed number", "GET", "/api/cell?view=image&x=1e3&y=1", {}, True, 400),
            ("a number twice", "GET", "/api/cell?view=image&x=1&x=2&y=1", {}, True, 400),
            ("an unknown parameter", "GET", "/api/cell?view=image&x=1&y=1&path=/etc", {}, True, 400),
            ("a malformed tile", "GET", "/dzi/image_files/13/1_x.png", {}, True, 400),
            ("a pixel past the edge", "GET", "/api/cell?view=image&x=5088&y=0", {}, True, 404),
            ("a negative pixel", "GET", "/api/cell?view=field0&x=-1&y=0", {}, True, 404),
            ("a huge pixel", "GET", "/api/cell?view=upright&x=99999999999999&y=0", {}, True, 404),
            ("a level too deep", "GET", "/dzi/image_files/14/0_0.png", {}, True, 404),
            ("a tile past the edge", "GET", "/dzi/image_files/13/20_0.png", {}, True, 404),
            ("an unknown view", "GET", "/dzi/raw.dzi", {}, True, 404),
            ("an area outside", "GET", "/api/stats?x=5000&y=0&w=100&h=5", {}, True, 404),
        ]
        for what, method, target, headers, token, status in cases:
            with self.subTest(what):
                got, answer_headers, body = v.request(target, method, headers, token)
                self.assertEqual(got, status, body)
                self.assertIn("error", json.loads(body))
                self.assertNotIn(b"root:", body)
                self.assertFalse([h for h in answer_headers if h.startswith("access-control-")])
        # The token turns into a cookie that is enough alone.
        status, headers, _ = v.request("/")
        self.assertEqual(status, 200)
        cookie = headers["set-cookie"]
        for attribute in ("HttpOnly", "SameSite=Strict", "Path=/"):
            self.assertIn(attribute, cookie)
        self.assertEqual(v.request(good, headers={"Cookie": cookie.split(";")[0]}, token=False)[0], 200)
        # Bytes that are no HTTP at all are answered, and the server goes on.
        with socket.create_connection(("127.0.0.1", v.port), timeout=10) as raw:
            raw.sendall(b"\x00\xffGARBAGE\r\n\r\n")
            self.assertIn(b" 400 ", raw.recv(4096))
        self.assertEqual(v.request(good)[0], 200)

    def test_many_requests_at_once(self):
        targets = [f"/dzi/mosaic_files/13/{i % 20}_{i // 20}.png" for i in range(0, 400, 7)]
        targets += [f"/api/cell?view=field0&x={i * 40}&y={i * 30}" for i in range(48)]
        with concurrent.futures.ThreadPoolExecutor(48) as pool:
            statuses = list(pool.map(lambda t: self.viewer.request(t)[0], targets))
        self.assertEqual(statuses, [200] * len(targets))

    def test_speed_and_memory(self):
        v = self.viewer
        # Every view's coarse levels and marks, and full-resolution tiles of each.
        for view, (width, height) in self.sizes.items():
            top = len(support.levels_of((width, height))) - 1
            v.get(f"/dzi/{view}_files/0/0_0.png")
            v.get(f"/marks/{view}_files/0/0_0.png")
            timings = []
            for i in range(12):
                _, headers = v.get(f"/dzi/{view}_files/{top}/{(i * 5) % (width // TILE)}_{(i * 3) % (height // TILE)}.png")
                timings.append(float(headers["server-timing"].split("render;dur=")[1]))
            hover = [float(v.get(f"/api/cell?view={view}&x={i * 97 % width}&y={i * 89 % height}")[1]["server-timing"]
                           .split("render;dur=")[1]) for i in range(12)]
            median_tile, median_hover = sorted(timings)[6], sorted(hover)[6]
            print(f"{view}: full-resolution tile median {median_tile:.2f} ms, hover median {median_hover:.2f} ms")
            if not SANITIZED:
                self.assertLessEqual(median_tile, 20)
                self.assertLessEqual(median_hover, 10)
        peak = v.peak_memory_mb()
        print(f"peak memory {peak:.0f} MB")
        if not SANITIZED:
            self.assertLess(peak, 400)


class CommandLine(unittest.TestCase):
    def run_view(self, *arguments, timeout=60):
        return subprocess.run([support.VIEW, *arguments], capture_output=True, text=True, timeout=timeout)

    def test_failures_and_usage(self):
        raf = support.chart()
        short = support.WORK / "short.raf"
        short.write_bytes(b"\0" * 100)
        # (arguments, exit status, standard error)
        cases = [
            ([str(short)], 1, f"diagraw-view: {short}: file too short: 100 bytes, at least 18,937,856 needed\n"),
            ([str(support.WORK / "none.raf")], 1, f"diagraw-view: {support.WORK / 'none.raf'}: No such file or directory\n"),
            ([str(raf), "--port", "0"], 2, "diagraw-view: 0: not a port number (1 to 65535) (see diagraw-view --help)\n"),
            ([str(raf), "--colour"], 2, "diagraw-view: --colour: unknown option (see diagraw-view --help)\n"),
            ([], 2, "diagraw-view: FILE: missing (see diagraw-view --help)\n"),
            (["a\x1b[31m.raf", "b.raf"], 2, "diagraw-view: b.raf: one file at a time (see diagraw-view --help)\n"),
            (["x\x1b.raf"], 1, "diagraw-view: x\\x1b.raf: No such file or directory\n"),
            ([str(raf), "--defects", "a", "--defects", "b"], 2,
             "diagraw-view: --defects: given twice (see diagraw-view --help)\n"),
        ]
        for arguments, status, error in cases:
            with self.subTest(arguments=arguments):
                done = self.run_view(*arguments)
                self.assertEqual((done.returncode, done.stderr, done.stdout), (status, error, ""))
        self.assertTrue(self.run_view("--help").stdout.startswith("Usage:\n  diagraw-view FILE.raf"))
        self.assertEqual(self.run_view("--version").stdout, "diagraw-view 0.3\n")

    def test_defects_files_refused(self):
        raf = support.chart()
        good = support.defect("hot", 1, 821, 679)  # cell (1501, 3088), image pixel (2000, 1500)
        unseen = support.defect("stuck", 0, 0, 0)  # cell (0, 2946), in no pixel
        big = support.WORK / "big.json"
        with open(big, "wb") as file:
            file.truncate((64 << 20) + 1)
        # (the file: its bytes, its entries or its path; the reason)
        cases = [
            (support.WORK / "none.json", "No such file or directory"),
            (b'{"defects": [', "not JSON: a syntax error at byte 14"),
            (b"[]", "not a JSON object"),
            (b'{"fields": []}', 'no "defects" list'),
            (b'{"defects": {}}', '"defects" is not a list'),
            (b'{"defects": [], "defects": []}', '"defects" is given twice'),
            (b'{"defects": [], "fields": ' + b"[" * 70 + b"]" * 70 + b"}", "nested deeper than 64 levels"),
            (big, "too large: 67,108,865 bytes, at most 67,108,864 are read"),
            ([good] * 100_001, "more than 100,000 defects"),
            ([good, 1], "defects[1]: not an object"),
            ([good, {k: v for k, v in good.items() if k != "mean"}], 'defects[1]: "mean" is missing'),
            ([dict(good, row="821")], 'defects[0]: "row" is not a whole number'),
            ([dict(good, column=679.0)], 'defects[0]: "column" is not a whole number'),
            ([dict(good, x=[2000])], 'defects[0]: "x" is not a whole number or null'),
            ([dict(good, excess="9.87")], 'defects[0]: "excess" is not a number or null'),
            ([dict(good, kind="warm")], 'defects[0]: "kind" is none of "hot", "dead", "stuck"'),
            ([dict(good, field=2)], "defects[0]: field 2 is neither 0 nor 1"),
            ([dict(good, row=2144)], "defects[0]: row 2144 lies outside the fields' 2144 rows"),
            ([dict(good, column=-1)], "defects[0]: column -1 lies outside the fields' 2944 columns"),
            ([dict(good, cell_column=3087)], "defects[0]: cell (1501, 3087) is not where field 1's sample at "
                                             "row 821, column 679 lies, cell (1501, 3088)"),
            ([dict(good, x=2001)], "defects[0]: pixel (2001, 1500) does not show cell (1501, 3088); "
                                   "pixel (2000, 1500) does"),
            ([dict(good, y=None)], "defects[0]: x or y is null, but cell (1501, 3088) shows in pixel (2000, 1500)"),
            ([dict(unseen, x=5088, y=0)], "defects[0]: x and y are not null, but cell (0, 2946) shows in no "
                                          "pixel of the image"),
        ]
        for content, reason in cases:
            path = content if isinstance(content, pathlib.Path) else support.WORK / "refused.json"
            if isinstance(content, bytes):
                path.write_bytes(content)
            elif isinstance(content, list):
                support.write_defects(path, content)
            with self.subTest(reason=reason):
                done = self.run_view(str(raf), "--no-browser", "--defects", str(path))
                self.assertEqual((done.returncode, done.stderr, done.stdout), (1, f"diagraw-view: {path}: {reason}\n", ""))

    def test_port_in_use_and_ctrl_c(self):
        raf = support.chart()
        first = support.Viewer(raf)
        try:
            taken = self.run_view(str(raf), "--no-browser", "--port", str(first.port))
            self.assertEqual((taken.returncode, taken.stdout),  (1, ""))
            self.assertEqual(taken.stderr, f"diagraw-view: 127.0.0.1:{first.port}: Address already in use\n")
            # Without --port a free one is taken.
            second = support.Viewer(raf)
            self.assertNotEqual(second.port, first.port)
            self.assertEqual(second.stop(), (0, ""))
        finally:
            self.assertEqual(first.stop(), (0, ""))


class Installed(unittest.TestCase):
    def test_installed_program_serves_its_page_alone(self):
        """cmake --install puts diagraw-view and its manual page in the
        prefix, and the program run from there, in a folder of its own,
        serves the page's files, which are the sources' and npm's bytes."""
        prefix = support.WORK / "prefix"
        subprocess.run([os.environ["CMAKE_COMMAND"], "--install", os.environ["DIAGRAW_BUILD_DIR"], "--prefix",
                        str(prefix), "--component", "tool"], check=True, capture_output=True)
        self.assertTrue((prefix / "share/man/man1/diagraw-view.1").is_file())
        program = prefix / "bin/diagraw-view"
        elsewhere = support.WORK / "elsewhere"
        elsewhere.mkdir(exist_ok=True)
        raf = support.chart()
        viewer = support.Viewer(raf, program=str(program), cwd=str(elsewhere))
        try:
            source = pathlib.Path(os.environ["DIAGRAW_SOURCE_DIR"]) / "view/page"
            npm = pathlib.Path(os.environ["DIAGRAW_NPM_DIR"])
            for name, path in [("index.html", source / "index.html"), ("viewer.js", source / "viewer.js"),
                               ("viewer.css", source / "viewer.css"),
                               ("openseadragon.min.js",
                                npm / "node_modules/openseadragon/build/openseadragon/openseadragon.min.js")]:
                self.assertEqual(viewer.get("/" if name == "index.html" else "/" + name)[0], path.read_bytes(), name)
        finally:
            self.assertEqual(viewer.stop(), (0, ""))


if __name__ == "__main__":
    unittest.main()
