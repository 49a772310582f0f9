"""diagraw-view's page in a real headless browser (Debian's chromium, driven
by selenium through chromium-driver): the first picture, the panel under
the pointer, a dragged area, switching views and zooming, the defects'
rings; screenshots and timings go to DIAGRAW_SCREENSHOTS."""
import json
import os
import pathlib
import statistics
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

import support

SHOTS = pathlib.Path(os.environ.get("DIAGRAW_SCREENSHOTS", support.WORK / "screenshots"))


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raf = support.chart()
        options = Options()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--window-size=1500,940", "--force-device-scale-factor=1",
                         "--disable-gpu", "--disable-dev-shm-usage"):
            options.add_argument(argument)
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.wait = WebDriverWait(cls.driver, 30)
        # Three starts, each timed from the program's start to its first
        # tile drawn, the browser waiting: the machine may be busy with
        # other work, so the best of them is checked and all are kept.
        cls.starts = []
        for attempt in range(3):
            if attempt:
                assert cls.viewer.stop() == (0, "")
            cls.driver.get("about:blank")
            cls.viewer = support.Viewer(cls.raf)
            cls.driver.get(cls.viewer.url)
            cls.wait.until(lambda d: d.execute_script("return window.diagrawState && window.diagrawState.firstTile"))
            first_tile = cls.driver.execute_script("return performance.timeOrigin + window.diagrawState.firstTile")
            cls.starts.append(round(first_tile / 1000 - cls.viewer.started, 3))
        SHOTS.mkdir(parents=True, exist_ok=True)
        cls.timings = {}

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        status, error = cls.viewer.stop()
        (SHOTS / "timings.json").write_text(json.dumps(cls.timings, indent=1) + "\n")
        assert (status, error) == (0, ""), (status, error)

    def script(self, text, *arguments):
        return self.driver.execute_script(text, *arguments)

    def show(self, x, y, zoom):
        """Puts image pixel (x, y) at the centre, zoom screen pixels a pixel,
        and waits until every tile there is drawn."""
        self.script("""const v = window.diagrawViewer, item = v.world.getItemAt(0);
            v.viewport.zoomTo(item.imageToViewportZoom(arguments[2]), null, true);
            v.viewport.panTo(item.imageToViewportCoordinates(arguments[0], arguments[1]), true);""", x, y, zoom)
        time.sleep(0.3)
        self.wait.until(lambda d: d.execute_script("return window.diagrawViewer.world.getItemAt(0).getFullyLoaded()"))

    def screen_point(self, x, y):
        """Where pixel (x, y) of the view is, in the window's CSS pixels."""
        return self.script("""const v = window.diagrawViewer, item = v.world.getItemAt(0);
            const p = item.imageToViewerElementCoordinates(new OpenSeadragon.Point(arguments[0], arguments[1]));
            const box = v.element.getBoundingClientRect();
            return [Math.round(box.left + p.x), Math.round(box.top + p.y)];""", x, y)

    def text(self, element_id):
        return self.driver.find_element("id", element_id).text

    def test_1_first_picture_within_a_second(self):
        self.timings.update(first_picture_s=self.starts, first_picture_best_s=min(self.starts))
        print(f"first picture {self.starts} s after the start")
        self.assertLess(min(self.starts), 1.0)

    def test_2_hover_panel_shows_the_probes_cell(self):
        probe = json.loads(support.probe_json("cell", str(self.raf), "2000", "1500"))
        self.show(2000.5, 1500.5, 8)
        x, y = self.screen_point(2000.5, 1500.5)
        moves = ActionBuilder(self.driver)
        moves.pointer_action.move_to_location(x - 20, y - 20)
        moves.pointer_action.move_to_location(x, y)
        moves.perform()
        self.wait.until(lambda d: (d.execute_script("return window.diagrawState.lastCell") or {}).get("x") == 2000)
        expected = {
            "hover-pixel": "image (2000, 1500)",
            "hover-cell": f"row {probe['row']}, column {probe['column']}",
            "hover-site-class": probe["site_class"],
            "hover-colour": probe["colour"],
            "hover-sample": f"field {probe['field']}, row {probe['field_row']}, column {probe['field_column']}",
            "hover-raw": str(probe["raw"]),
            "hover-white-balanced": str(probe["white_balanced"]),
            "hover-bytes": "red {red}, green {green}, blue {blue}".format(**probe["pixel"]),
        }
        self.assertEqual({key: self.text(key) for key in expected}, expected)
        self.assertEqual(self.script("return window.diagrawState.lastCell.cell"), probe)
        # A click explains the whole pixel.
        ActionChains(self.driver).click().perform()
        self.wait.until(lambda d: d.execute_script("return window.diagrawState.lastClick"))
        explanation = self.text("explain-body")
        for part in (f"threshold {probe['threshold']}", f"count {probe['count']}",
                     " ".join(str(v) for v in probe["neighbourhood"][0])):
            self.assertIn(part, explanation)
        self.driver.save_screenshot(str(SHOTS / "hover.png"))

    def test_3_dragged_area_has_the_probes_statistics(self):
        self.show(2050, 1550, 3)
        start = self.screen_point(2000.5, 1500.5)
        end = self.screen_point(2099.5, 1599.5)
        # Shift held over the whole drag: every pointer step is a tick of
        # the key device too.
        actions = ActionBuilder(self.driver)
        actions.key_action.key_down(Keys.SHIFT)
        actions.pointer_action.pause(0)
        middle = ((start[0] + end[0]) // 2, (start[1] + end[1]) // 2)
        for step in (lambda p: p.move_to_location(*start), lambda p: p.pointer_down(),
                     lambda p: p.move_to_location(*middle), lambda p: p.move_to_location(*end),
                     lambda p: p.pointer_up()):
            step(actions.pointer_action)
            actions.key_action.pause(0)
        actions.key_action.key_up(Keys.SHIFT)
        actions.perform()
        self.wait.until(lambda d: d.execute_script("return window.diagrawState.lastArea"))
        probe = json.loads(support.probe_json("stats", str(self.raf), "--area", "2000", "1500", "100", "100"))
        self.assertEqual(self.script("return window.diagrawState.lastArea"), probe)
        self.assertTrue(self.text("area-summary").startswith("100 x 100 pixels at (2000, 1500) of the image view: "
                                                             "10000 cells"))
        rows = self.driver.find_element("css selector", "#area-body table").text.splitlines()
        columns = [field["colours"][c] for field in probe["fields"] for c in ("red", "green", "blue")]
        for figure in ("count", "min", "max", "mean", "p50", "p99"):
            shown = [f"{s[figure]:.3f}" if figure == "mean" else str(s[figure]) for s in columns]
            self.assertIn(" ".join([figure, *shown]), rows)
        self.assertTrue(self.script("return !document.getElementById('histogram-1').hidden"))
        self.script("document.getElementById('area').scrollIntoView()")
        self.driver.save_screenshot(str(SHOTS / "area.png"))

    def test_4_switching_views_keeps_the_place_and_keys_zoom_and_pan(self):
        self.show(2000.5, 1500.5, 4)
        place = "const v = window.diagrawViewer, item = v.world.getItemAt(0); if (!item) return [0, 0, 0, null];" \
                "const c = item.viewportToImageCoordinates(v.viewport.getCenter(true));" \
                "return [c.x, c.y, item.viewportToImageZoom(v.viewport.getZoom(true)), window.diagrawState.view];"
        body = self.driver.find_element("tag name", "body")

        def switch(key, view):
            body.send_keys(key)
            self.wait.until(lambda d: d.execute_script(place)[3] == view and
                            d.execute_script("return window.diagrawViewer.world.getItemAt(0).getFullyLoaded()"))
            return self.script(place)

        for key, view, centre in [("3", "mosaic", (2000.5, 1500.5)), ("2", "field1", (679.5, 821.5)),
                                  ("5", "upright", (1359.5, 1643.5)), ("4", "image", (2000.5, 1500.5))]:
            with self.subTest(view=view):
                x, y, zoom, _ = switch(key, view)
                self.assertAlmostEqual(x, centre[0], delta=0.01)
                self.assertAlmostEqual(y, centre[1], delta=0.01)
                self.assertAlmostEqual(zoom, 4, delta=0.01)
        body.send_keys("+")
        self.wait.until(lambda d: abs(d.execute_script(place)[2] - 6) < 0.01)
        body.send_keys(Keys.ARROW_RIGHT)
        self.wait.until(lambda d: d.execute_script(place)[0] > 2010)
        self.wait.until(lambda d: "view=image" in d.current_url and "zoom=6" in d.current_url)
        self.assertNotIn("token", self.driver.current_url)

    def test_5_speed_and_memory(self):
        # Full-resolution tiles, each rendered once; the server's own time.
        self.show(3000, 3000, 1)
        timings = self.script("""return performance.getEntriesByType('resource')
            .filter((e) => /_files\\/13\\//.test(e.name) && e.serverTiming.length)
            .map((e) => e.serverTiming.map((t) => t.duration));""")
        tiles = [render for _, render in timings]
        self.timings["tile_wait_median_ms"] = round(statistics.median(wait for wait, _ in timings), 2)
        hovers = [t for t in self.script("return window.diagrawState.cellTimings") if t is not None]
        self.timings.update(tile_median_ms=round(statistics.median(tiles), 2), tiles=len(tiles),
                            hover_median_ms=round(statistics.median(hovers), 3), hovers=len(hovers),
                            peak_memory_mb=round(self.viewer.peak_memory_mb()))
        print(self.timings)
        self.assertGreater(len(tiles), 10)
        self.assertLessEqual(statistics.median(tiles), 20)
        self.assertLessEqual(statistics.median(hovers), 10)
        self.assertLess(self.viewer.peak_memory_mb(), 400)

    def test_6_defects_are_ringed_with_their_figures_under_the_pointer(self):
        known = support.defect("hot", 1, 821, 679, 3012.5, 41.25)  # image pixel (2000, 1500)
        defects = [known] + [d for d in support.random_defects(10000) if d["field"] != 1 or d["row"] != 821][:9999]
        viewer = support.Viewer(self.raf, "--defects", str(support.write_defects(support.WORK / "ringed.json", defects)))
        try:
            self.driver.get(viewer.url)
            self.wait.until(lambda d: d.execute_script("return window.diagrawState.defects && "
                                                       "window.diagrawState.firstTile"))
            self.assertEqual(self.text("defects-dead"), str(sum(d["kind"] == "dead" for d in defects)))
            drawn = "return window.diagrawState.defectsDrawn"
            # The whole view on the screen: a ring for each defect it shows,
            # those of its own field alone in a field's view.
            body = self.driver.find_element("tag name", "body")
            for key, view, count in [("1", "field0", sum(d["field"] == 0 for d in defects)),
                                     ("5", "upright", len(defects)),
                                     ("4", "image", sum(d["x"] is not None for d in defects))]:
                body.send_keys(key)
                self.wait.until(lambda d: d.execute_script("""const s = window.diagrawState,
                    item = window.diagrawViewer.world.getItemAt(0);
                    return item && item.source.dimensions.x === s.sizes[s.view].width && s.view""") == view)
                self.script("window.diagrawViewer.viewport.goHome(true)")
                time.sleep(0.3)
                self.assertEqual(self.script(drawn), count, view)
            body.send_keys("d")
            self.wait.until(lambda d: d.execute_script(drawn) == 0)
            body.send_keys("d")
            # Frames with nearly every ring on the screen, zooming in and out.
            self.script("window.diagrawState.defectDrawTimes = []")
            for factor in (1.3, 1 / 1.3, 1.3, 1 / 1.3):
                self.script("window.diagrawViewer.viewport.zoomBy(arguments[0])", factor)
                time.sleep(0.6)
            frames = self.script("return window.diagrawState.defectDrawTimes")
            self.timings.update(defects=len(defects), defect_frames=len(frames),
                                defect_draw_median_ms=round(statistics.median(frames), 2),
                                defect_draw_max_ms=round(max(frames), 2))
            self.assertLess(statistics.median(frames), 16)

            self.show(2250, 1700, 1.5)
            x, y = self.screen_point(2000.5, 1500.5)
            moves = ActionBuilder(self.driver)
            moves.pointer_action.move_to_location(x - 30, y - 30)
            moves.pointer_action.move_to_location(x, y)
            moves.perform()
            self.wait.until(lambda d: (d.execute_script("return window.diagrawState.lastDefect") or {}).get("x") == 2000)
            expected = {"defect-kind": "hot", "defect-field": "1", "defect-row": "821", "defect-column": "679",
                        "defect-cell": f"row {known['cell_row']}, column {known['cell_column']}",
                        "defect-pixel": "(2000, 1500)", "defect-mean": "3012.5 DN", "defect-excess": "41.25 spreads"}
            self.assertEqual({key: self.text(key) for key in expected}, expected)
            # The ring is the hot colour round the pixel, whose middle is left clear.
            ring, middle = self.script("""const s = window.diagrawState, v = window.diagrawViewer;
                const p = v.world.getItemAt(0).imageToViewerElementCoordinates(new OpenSeadragon.Point(2000.5, 1500.5));
                const context = document.getElementById('defect-canvas').getContext('2d');
                const at = (x, y) => Array.from(context.getImageData(Math.round(x), Math.round(y), 1, 1).data);
                return [at(p.x + s.defectRing, p.y), at(p.x, p.y)];""")
            red, green, blue, alpha = ring
            self.assertTrue(red > 150 and 0.35 * red < green < 0.65 * red and blue < 0.25 * red and alpha > 150, ring)
            self.assertEqual(middle[3], 0)
            self.driver.save_screenshot(str(SHOTS / "defects.png"))
        finally:
            self.assertEqual(viewer.stop(), (0, ""))


if __name__ == "__main__":
    unittest.main()
