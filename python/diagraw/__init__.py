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

import io
import os
import warnings
from typing import BinaryIO, NoReturn, Optional, Union

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
    "TAIL_BYTES", "InputWarning", "Raw", "__version__", "analysis", "from_bytes", "load",
]

_Path = Union[str, bytes, os.PathLike]
Buffer = Union[bytes, bytearray, memoryview]  # or any other object of the buffer protocol


class InputWarning(UserWarning):
    """A file that diagraw warns about: a RAF of another camera, or a JPEG, TIFF or PNG file.

    The file still loads, as the program still converts it; filter the warning as any other
    (warnings.simplefilter("ignore", diagraw.InputWarning)).
    """


def load(source: Union[_Path, BinaryIO], *, workers: Optional[int] = None) -> Raw:
    """Reads an X10 raw file as the diagraw program does and returns a Raw.

    source is a path (str, bytes or os.PathLike, as open() takes them) or a binary file object: anything
    with readinto() or read(), read whole from its start when it has seek(); its name, when it has one, is
    Raw.path. Only the last 18,937,856 bytes are unpacked: field 0, 2,048 bytes that are skipped, field 1; the
    header is parsed for Raw.header alone and never fails the load. A file that the program warns about
    issues an InputWarning with the program's words. A text file object raises TypeError.
    A file that cannot be opened or read raises OSError (FileNotFoundError, PermissionError, ...) with errno
    and filename; one that is not a regular file, or is too short, raises ValueError in the program's words.

    Every operation of the Raw spreads its work over workers threads: by default one per processor the
    process may use (at most 8), as the program does. workers=1 keeps each call on the calling thread, for
    programs that convert several files in threads or processes of their own.
    """
    if isinstance(source, (str, bytes, os.PathLike)):
        raw = _core.load(source, workers=workers)
    elif hasattr(source, "readinto") or hasattr(source, "read"):
        name = getattr(source, "name", None)
        raw = _core.from_bytes(_read_whole(source), os.fsdecode(name) if isinstance(name, (str, bytes)) else None,
                               workers=workers)
    else:
        raise TypeError(f"load() takes a path or a binary file object, not {type(source).__name__}")
    _warn_about(raw)
    return raw


def from_bytes(data: Buffer, name: Optional[str] = None, *, workers: Optional[int] = None) -> Raw:
    """Reads an X10 raw file held whole in a buffer and returns a Raw, as load() reads a file.

    data is any object of the buffer protocol: bytes, bytearray, memoryview, a contiguous numpy array. It is
    only read, and not needed once this returns. name, when given, is Raw.path: the stem of save() and the
    name in messages ("<bytes>" without one). Too few bytes raise ValueError in the program's words.
    """
    raw = _core.from_bytes(data, name, workers=workers)
    _warn_about(raw)
    return raw


def _read_whole(stream: BinaryIO) -> bytearray:
    """Everything a binary file object holds, from its start when it can seek there."""
    if isinstance(stream, io.TextIOBase):
        raise TypeError("load() needs a binary file object, not a text one (open the file with 'rb')")
    if getattr(stream, "seekable", lambda: False)():
        stream.seek(0)
    data = bytearray()
    chunk = bytearray(1 << 22)
    while True:
        if hasattr(stream, "readinto"):
            got = stream.readinto(chunk)
            piece: Union[bytes, bytearray, memoryview] = memoryview(chunk)[:got or 0]
        else:
            piece = stream.read(1 << 22)
            if isinstance(piece, str):
                raise TypeError("load() needs a binary file object, not a text one (open the file with 'rb')")
        if not piece:
            return data
        data += piece


def _warn_about(raw: Raw) -> None:
    reason = raw._input_warning
    if reason:
        where = "<bytes>" if raw.path is None else os.fsdecode(raw.path)
        warnings.warn(f"{where}: {reason}", InputWarning, stacklevel=3)


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
    if path is None and self.path is None:
        raise ValueError("save() needs a path: this Raw was made from bytes without a name")
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
                    "(or the file's bytes, for diagraw.from_bytes) and load it where it is needed; what its methods return (dicts, arrays) pickles")


_save.__name__, _save.__qualname__ = "save", "Raw.save"
Raw.save = _save  # type: ignore[method-assign]
Raw.__reduce__ = _refuse_pickling  # type: ignore[method-assign,assignment]
Raw.__module__ = __name__

from . import analysis  # noqa: E402  (the sensor across frames, on the Raw defined above)
