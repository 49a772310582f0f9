"""The Fujifilm X10's raw files as numpy arrays.

diagraw reads the two 12-bit fields at the end of an X10 raw file (the
conversion never reads the header; Raw.header shows it), lays them into the
5088 x 5088 diagonal mosaic, and gives them, the three colour-coded
previews and the demosaiced image as numpy arrays: the same bytes as the
BMP files of the diagraw program; and the upright view of diagraw-export.

    with diagraw.load("chart.raf") as raw:
        rgb = raw.demosaic()          # uint8, (5088, 5088, 3)

Which arrays are views and which are copies:

    Raw.fields          read-only; a copy of both fields, made on first use and shared after
    Raw.mosaic          read-only view of the loaded mosaic, no copy
    Raw.colours,        read-only; one table for the whole process, shared
    Raw.site_classes    by every array alive
    field_preview(),    a new writable array for every call, filled once
    mosaic_preview(),
    demosaic(), upright()

Every array stays valid as long as it is held, whatever happens to the Raw.
The heavy steps release the GIL: threads working on different files, or on
the same one, run in parallel.
"""

import os
import warnings
from typing import NoReturn, Optional, Union

from . import _core
from ._core import (
    COLOUR_BLUE,
    COLOUR_GREEN,
    COLOUR_NAMES,
    COLOUR_RED,
    FIELD_HEIGHT,
    FIELD_WIDTH,
    MOSAIC_SIDE,
    SITE_B0,
    SITE_B1,
    SITE_CLASS_NAMES,
    SITE_G00,
    SITE_G01,
    SITE_G10,
    SITE_G11,
    SITE_R0,
    SITE_R1,
    TAIL_BYTES,
    Raw,
    __version__,
)

__all__ = [
    "COLOUR_BLUE", "COLOUR_GREEN", "COLOUR_NAMES", "COLOUR_RED", "FIELD_HEIGHT", "FIELD_WIDTH", "MOSAIC_SIDE",
    "SITE_B0", "SITE_B1", "SITE_CLASS_NAMES", "SITE_G00", "SITE_G01", "SITE_G10", "SITE_G11", "SITE_R0", "SITE_R1",
    "TAIL_BYTES", "InputWarning", "Raw", "__version__", "load",
]

_Path = Union[str, bytes, os.PathLike]


class InputWarning(UserWarning):
    """A file that diagraw warns about: a RAF of another camera, or a JPEG, TIFF or PNG file.

    The file still loads, as the program still converts it; filter the warning as any other
    (warnings.simplefilter("ignore", diagraw.InputWarning)).
    """


def load(path: _Path, *, workers: Optional[int] = None) -> Raw:
    """Reads an X10 raw file as the diagraw program does and returns a Raw.

    path is a str, bytes or os.PathLike. Only the last 18,937,856 bytes are read: field 0, 2,048 bytes that
    are skipped, field 1; the header is parsed for Raw.header alone, while the file is open, and never fails
    the load. A file that the program warns about issues an InputWarning with the program's words.
    A file that cannot be opened or read raises OSError (FileNotFoundError, PermissionError, ...) with errno
    and filename; one that is not a regular file, or is too short, raises ValueError in the program's words.

    Every operation of the Raw spreads its work over workers threads: by default one per processor the
    process may use (at most 8), as the program does. workers=1 keeps each call on the calling thread, for
    programs that convert several files in threads or processes of their own.
    """
    raw = _core.load(path, workers=workers)
    reason = raw._input_warning
    if reason:
        warnings.warn(f"{os.fsdecode(raw.path)}: {reason}", InputWarning, stacklevel=2)
    return raw


def _save(self: Raw, path: Optional[_Path] = None, *, errors: str = "raise") -> Optional[dict[str, Exception]]:
    """Writes the program's four BMP files, named after path (default: Raw.path).

    <path>.f0.bmp, .f1.bmp, .src.bmp and .bmp, the same bytes as the diagraw program writes, each whole or
    not at all (an older file stays as it was). Every image is tried, as the program does. Then, when any
    could not be written: OSError (errno, strerror, filename), or MemoryError, for one image; an
    ExceptionGroup of those for several. With errors="return", returns the dict of file name -> exception
    instead (empty when all four were written). Memory running out before the first image raises MemoryError.
    """
    if errors not in ("raise", "return"):
        raise ValueError(f'errors must be "raise" or "return", not {errors!r}')
    failed: dict[str, Exception] = self._save_images(path)
    if errors == "return":
        return failed
    problems = list(failed.values())
    if len(problems) == 1:
        raise problems[0]
    if problems:
        raise ExceptionGroup(f"{len(problems)} of the 4 images were not written", problems)
    return None


def _refuse_pickling(self: Raw) -> NoReturn:
    raise TypeError("a diagraw.Raw cannot be pickled, as it holds the samples of an open file: send its path "
                    "and load it where it is needed; what its methods return (dicts, arrays) pickles")


_save.__name__, _save.__qualname__ = "save", "Raw.save"
Raw.save = _save  # type: ignore[method-assign]
Raw.__reduce__ = _refuse_pickling  # type: ignore[method-assign,assignment]
Raw.__module__ = __name__
