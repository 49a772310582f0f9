"""The error table: each failure raises its Python exception, in the program's words, and leaves no file behind."""

import errno
import io
import json
import os
import pathlib
import signal
import subprocess
import sys
import time
import unittest
import warnings

import numpy as np

import diagraw
import support

# Runs in a child process: as another user (root reads and writes anything) or under a memory limit.
CHILD = r"""
import json, os, resource, sys
import diagraw
def attempt(step):
    try:
        return step() or None
    except Exception as error:
        return [type(error).__name__, getattr(error, "errno", None), str(error)]
task, path, stem = sys.argv[1:]
if task == "memory":
    raw = diagraw.load(path)
    in_use = int(open("/proc/self/statm").read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
    facts = raw.explain(2000, 1500)
    resource.setrlimit(resource.RLIMIT_AS, (in_use + (8 << 20),) * 2)
    steps = (lambda: diagraw.load(path), raw.demosaic, lambda: raw.save(stem), lambda: raw.explain(2000, 1500) == facts)
    print(json.dumps([attempt(step) for step in steps]))
else:
    print(json.dumps([attempt(lambda: diagraw.load(path)),
                      {name: [type(e).__name__, e.errno] for name, e in diagraw.load(stem + ".in").save(stem, errors="return").items()}]))
"""


def run_child(task, path, stem="", user=None):
    result = subprocess.run([sys.executable, "-c", CHILD, task, path, stem],
                            capture_output=True, text=True, user=user)
    if result.returncode != 0:
        raise AssertionError(result.stderr)
    return json.loads(result.stdout)


class LoadErrors(unittest.TestCase):
    def test_each_failure_raises_its_exception_in_the_programs_words(self):
        folder = support.scratch("load")
        short = os.path.join(folder, "short.raf")
        with open(short, "wb") as out:
            out.write(b"x" * 100)
        open(os.path.join(folder, "empty.raf"), "wb").close()
        os.mkdir(os.path.join(folder, "folder.raf"))
        os.mkfifo(os.path.join(folder, "fifo.raf"))
        table = [("short.raf", ValueError, None), ("empty.raf", ValueError, None),
                 ("folder.raf", IsADirectoryError, errno.EISDIR), ("fifo.raf", ValueError, None),
                 ("missing.raf", FileNotFoundError, errno.ENOENT), ("short.raf/x", NotADirectoryError, errno.ENOTDIR)]
        before = sorted(os.listdir(folder))
        for name, exception, number in table:
            path = os.path.join(folder, name)
            with self.subTest(name), self.assertRaises(exception) as caught:
                diagraw.load(path)
            error = caught.exception
            if number is not None:
                self.assertEqual((error.errno, error.filename), (number, path))
                words = f"{error.filename}: {error.strerror}"
            else:
                words = str(error)
            self.assertEqual("diagraw: " + words + "\n", support.run_diagraw(path))
        self.assertEqual(sorted(os.listdir(folder)), before)
        with self.assertRaisesRegex(ValueError, "embedded null byte"):
            diagraw.load(short + "\0")

    def test_a_foreign_file_warns_in_the_programs_words_and_loads(self):
        folder = support.scratch("foreign")
        jpeg = support.make_random(os.path.join(folder, "photo.jpg"))
        with open(jpeg, "r+b") as out:
            out.write(b"\xff\xd8\xff\xe0")
        with self.assertWarns(diagraw.InputWarning) as caught:
            raw = diagraw.load(jpeg)
        self.assertIsInstance(caught.warning, UserWarning)
        path, reason = str(caught.warning).split(": ", 1)
        self.assertEqual(f"diagraw: {path}: warning: {reason}\n", support.run_diagraw(jpeg))
        self.assertEqual(raw.fields.shape, (2, 2144, 2944))
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            diagraw.load(support.make_random(os.path.join(folder, "bare.raf")))  # a bare tail: no warning

    def test_wrong_sources_raise(self):
        table = [(lambda: diagraw.load(io.StringIO("x")), TypeError, "binary file object"),
                 (lambda: diagraw.load(42), TypeError, "path or a binary file object"),
                 (lambda: diagraw.from_bytes("text"), TypeError, "buffer"),
                 (lambda: diagraw.from_bytes(b"x" * 100), ValueError,
                  "^<bytes>: file too short: 100 bytes, at least 18,937,856 needed$"),
                 (lambda: diagraw.load(io.BytesIO(b"x" * 100)), ValueError, "file too short"),
                 (lambda: diagraw.from_bytes(bytes(18_937_856)).save(), ValueError, "needs a path")]
        for call, exception, words in table:
            with self.subTest(words), self.assertRaisesRegex(exception, words):
                call()

    def test_permission(self):
        folder = support.scratch("permission")
        locked = os.path.join(folder, "locked.raf")
        support.make_random(locked)
        os.chmod(locked, 0)
        stem = os.path.join(folder, "closed", "out.raf")
        os.mkdir(os.path.dirname(stem), 0o755)
        support.make_random(stem + ".in")
        os.chmod(stem + ".in", 0o644)
        user = 65534 if os.geteuid() == 0 else None  # root may read and write anything
        load, save = run_child("permission", locked, stem, user=user)
        self.assertEqual(load[:2], ["PermissionError", errno.EACCES])
        self.assertEqual(save, {stem + suffix: ["PermissionError", errno.EACCES]
                                for suffix in (".f0.bmp", ".f1.bmp", ".src.bmp", ".bmp")})
        self.assertEqual(os.listdir(os.path.dirname(stem)), ["out.raf.in"])

    def test_out_of_memory(self):
        if os.environ.get("DIAGRAW_SANITIZED"):
            self.skipTest("AddressSanitizer reserves terabytes of address space: no limit leaves room for a load")
        folder = support.scratch("memory")
        path = support.make_random(os.path.join(folder, os.fsdecode(b"in-\xff.raf")))
        # A second load and the demosaic's image need more than is left; save() renders band by band from the
        # samples kept, so it still writes all four; explain() still answers, and the same.
        results = run_child("memory", path, path)
        self.assertEqual([failure and failure[0] for failure in results[:3]] + results[3:],
                         ["MemoryError", "MemoryError", None, True])
        self.assertEqual(sorted(os.listdir(folder)),
                         sorted(os.path.basename(path) + suffix for suffix in ("", ".f0.bmp", ".f1.bmp", ".src.bmp", ".bmp")))


class HostileUse(unittest.TestCase):
    def test_only_load_makes_a_raw(self):
        table = [diagraw.Raw, lambda: diagraw.Raw.__new__(diagraw.Raw), lambda: object.__new__(diagraw.Raw),
                 lambda: diagraw.Raw.__mro__[1].__new__(diagraw.Raw)]
        for make in table:
            with self.subTest(make=make), self.assertRaisesRegex(TypeError, r"diagraw\.(load|Raw\.__new__)"):
                make()

    def test_paths_that_are_not_utf8_come_back_as_given(self):
        name = os.path.join(support.scratch("undecodable"), os.fsdecode(b"short-\xff.raf"))
        pathlib.Path(name).write_bytes(b"x" * 100)
        for given in (name, os.fsencode(name), pathlib.Path(name)):
            with self.subTest(given=given), self.assertRaises(ValueError) as caught:
                diagraw.load(given)
            self.assertEqual(str(caught.exception), name + ": file too short: 100 bytes, at least 18,937,856 needed")

    def test_a_term_during_save_leaves_no_temporary_and_a_handler_of_the_program_stays(self):
        path = support.make_random(os.path.join(support.scratch("signals"), "in.raf"))
        child = "import signal, sys; {}; import diagraw; diagraw.load(sys.argv[1]).save(sys.argv[2]); print('saved')"
        table = [("pass", -signal.SIGTERM, []),
                 ("signal.signal(signal.SIGTERM, lambda *_: print('handled'))", 0, ["handled", "saved"])]
        for setup, status, said in table:
            out = support.scratch("signals-out")
            command = [sys.executable, "-c", child.format(setup), path, os.path.join(out, "o.raf")]
            with self.subTest(setup=setup), subprocess.Popen(command, stdout=subprocess.PIPE, text=True) as process:
                while not any(".diagraw-" in entry for entry in os.listdir(out)):  # save() has begun
                    time.sleep(0.001)
                process.send_signal(signal.SIGTERM)
                self.assertEqual((process.wait(), sorted(process.stdout.read().split())), (status, said))
                self.assertEqual([entry for entry in os.listdir(out) if entry.startswith(".")], [])


class ArgumentErrors(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.path = os.path.join(support.scratch("arguments"), "zeros.raf")
        with open(cls.path, "wb") as out:
            out.truncate(diagraw.TAIL_BYTES)
        cls.raw = diagraw.load(cls.path)

    def test_out_of_range_and_wrong_types(self):
        table = [(IndexError, self.raw.explain, (-1, 0)), (IndexError, self.raw.explain, (0, 5088)),
                 (IndexError, self.raw.explain, (10**30, 0)), (IndexError, self.raw.field_preview, (2,)),
                 (IndexError, self.raw.field_preview, (-1,)), (TypeError, self.raw.explain, ("1", 2)),
                 (TypeError, self.raw.explain, (1.5, 2)), (TypeError, self.raw.field_preview, (None,)),
                 (TypeError, diagraw.load, (3,)), (TypeError, self.raw.save, (3.0,)),
                 (ValueError, lambda: diagraw.load(self.path, workers=0), ()),
                 (TypeError, self.raw.stats, ((0, 0, 1),)), (TypeError, self.raw.stats, ("0123",)),
                 (TypeError, self.raw.stats, ((0, 0, 1.0, 1),))]
        for exception, call, args in table:
            with self.subTest(call=call.__name__, args=args), self.assertRaises(exception):
                call(*args)
        self.assertEqual(self.raw.explain(np.int64(2000), np.uint16(1500))["raw"], 0)
        for call, args in [(self.raw.explain, (2**64, 0)), (self.raw.explain, (0, -2**70)),
                           (self.raw.field_preview, (2**64,)), (lambda n: diagraw.load(self.path, workers=n), (2**64,))]:
            with self.subTest(args=args), self.assertRaisesRegex((IndexError, ValueError), str(sum(args))):
                call(*args)

    def test_bad_areas_raise_in_the_probes_words_and_a_bare_tail_has_its_header(self):
        for area in [(0, 0, 0, 5), (10, 10, 5, -1), (-1, 0, 5, 5), (5000, 0, 89, 1)]:
            with self.subTest(area=area), self.assertRaises(ValueError) as caught:
                self.raw.stats(area=area)
            probe = subprocess.run([support.PROBE, "stats", self.path, "--area", *map(str, area)],
                                   capture_output=True, text=True)
            self.assertEqual(probe.stderr, f"diagraw-probe: {self.path}: {caught.exception}\n")
        self.assertEqual(self.raw.header, support.probe_json("info", self.path))

    def test_save_raises_for_what_failed_or_reports_each_image_and_a_closed_raw_refuses(self):
        folder = os.path.dirname(self.path)
        stem = os.path.join(folder, "missing", "out.raf")
        names = [stem + s for s in (".f0.bmp", ".f1.bmp", ".src.bmp", ".bmp")]
        failed = self.raw.save(stem, errors="return")
        self.assertEqual(list(failed), names)
        with self.assertRaises(ExceptionGroup) as group:
            self.raw.save(stem)
        for errors in (failed.values(), group.exception.exceptions):
            self.assertEqual([(type(e), e.filename) for e in errors], [(FileNotFoundError, name) for name in names])
        # One image alone failing raises its own error; the other three are still written.
        single = os.path.join(folder, "single.raf")
        os.mkdir(single + ".src.bmp")
        with self.assertRaises(IsADirectoryError) as one:
            self.raw.save(single)
        self.assertEqual(one.exception.filename, single + ".src.bmp")
        self.assertTrue(all(os.path.isfile(single + s) for s in (".f0.bmp", ".f1.bmp", ".bmp")))
        self.assertIsNone(self.raw.save(single + ".again"))
        with self.assertRaisesRegex(ValueError, "errors must be"):
            self.raw.save(single, errors="ignore")
        with diagraw.load(self.path) as raw:
            pass
        with self.assertRaisesRegex(ValueError, "closed"):
            raw.demosaic()


if __name__ == "__main__":
    unittest.main()
