"""The compiled part of the package diagraw (its type stub); import diagraw, which re-exports it."""

import os
from types import TracebackType
from typing import Any, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

__version__: str
FIELD_WIDTH: int  # 2944 samples in a field row
FIELD_HEIGHT: int  # 2144 rows in a field
MOSAIC_SIDE: int  # 5088
TAIL_BYTES: int  # 18,937,856 bytes at the end of the file hold both fields

# Codes of Raw.colours; COLOUR_NAMES[code] is the name.
COLOUR_RED: int
COLOUR_GREEN: int
COLOUR_BLUE: int
COLOUR_NAMES: tuple[str, str, str]
# Codes of Raw.site_classes; SITE_CLASS_NAMES[code] is the name.
SITE_G00: int
SITE_G01: int
SITE_G10: int
SITE_G11: int
SITE_R0: int
SITE_R1: int
SITE_B0: int
SITE_B1: int
SITE_CLASS_NAMES: tuple[str, ...]

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

class Raw:
    """One X10 raw file, loaded by load(); usable in a with statement."""

    @property
    def path(self) -> Union[str, bytes]:
        """The path given to load(), as os.fspath gave it."""
    @property
    def size(self) -> int:
        """Bytes in the file."""
    @property
    def header_bytes(self) -> int:
        """Bytes before the tail that holds the fields (never read)."""
    @property
    def header(self) -> dict[str, Any]:
        """The facts and keys of `diagraw-probe info FILE --json`, read by load(). OSError if it could not be read."""
    @property
    def metadata(self) -> Optional[dict[str, Any]]:
        """The keys of "exif" in `diagraw-probe info FILE --json`: the shot's Exif, or None without it."""
    @property
    def closed(self) -> bool:
        """True after close() or the end of a with block."""
    @property
    def fields(self) -> npt.NDArray[np.uint16]:
        """uint16 (2, 2144, 2944): field, row, column. Read-only; copied once, then shared."""
    @property
    def mosaic(self) -> npt.NDArray[np.uint16]:
        """uint16 (5088, 5088), north up, not mirrored, before white balance. Read-only view."""
    @property
    def colours(self) -> npt.NDArray[np.uint8]:
        """uint8 (5088, 5088): COLOUR_RED, COLOUR_GREEN or COLOUR_BLUE of each cell. Read-only, shared."""
    @property
    def site_classes(self) -> npt.NDArray[np.uint8]:
        """uint8 (5088, 5088): SITE_G00 to SITE_B1 of each cell. Read-only, shared."""
    def field_preview(self, field: int) -> npt.NDArray[np.uint8]:
        """uint8 (2144, 2944, 3), RGB, top row first: the pixels of <path>.f0.bmp or .f1.bmp."""
    def mosaic_preview(self) -> npt.NDArray[np.uint8]:
        """uint8 (5088, 5088, 3), RGB, top row first: the pixels of <path>.src.bmp."""
    def demosaic(self) -> npt.NDArray[np.uint8]:
        """uint8 (5088, 5088, 3), RGB, top row first: the pixels of <path>.bmp. Leaves mosaic as it was."""
    def upright(self) -> npt.NDArray[np.uint8]:
        """uint8 (4288, 5888, 3), RGB, top row first: the pixels of `diagraw-export FILE upright OUT.tif`."""
    def stats(self, area: Optional[tuple[int, int, int, int]] = None) -> dict[str, Any]:
        """The facts and keys of `diagraw-probe stats FILE --json`, or with area=(x, y, width, height) of
        `stats FILE --area X Y W H --json`.

        ValueError (the probe's words) for an empty area or one outside the image; TypeError for a wrong type.
        """
    def explain(self, x: int, y: int) -> dict[str, Any]:
        """The facts and keys of `diagraw-probe cell FILE X Y --json` for pixel (x, y) of demosaic()."""
    def save(self, path: Optional[_Path] = None, *, errors: str = "raise") -> Optional[dict[str, Exception]]:
        """Writes the program's four BMP files named after path (default: Raw.path), trying every image.

        Raises the OSError (or MemoryError) of the one image not written, or an ExceptionGroup of them;
        with errors="return", returns the dict of file name -> exception instead (empty when all were written).
        """
    def _save_images(self, path: Optional[_Path] = None) -> dict[str, Exception]: ...
    @property
    def _input_warning(self) -> str: ...
    def close(self) -> None:
        """Lets go of the samples; arrays handed out keep theirs."""
    def __enter__(self) -> "Raw": ...
    def __exit__(
        self,
        exc_type: Optional[type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None: ...

def load(path: _Path, *, workers: Optional[int] = None) -> Raw:
    """Reads an X10 raw file as the diagraw program does (the tail; the header for Raw.header only).

    workers: threads each operation of the Raw uses, 1 to 8; default one per processor (at most 8).
    """

def from_bytes(data: Any, name: Optional[str] = None, *, workers: Optional[int] = None) -> Raw:
    """A Raw of a whole file held in any buffer (bytes, bytearray, memoryview, a contiguous numpy array)."""

# diagraw.analysis's compiled side: use diagraw.analysis.
class _PairFigures: ...
class _StackFigures: ...

def _pair(a: Raw, b: Raw, area: Optional[Sequence[int]] = None) -> _PairFigures: ...
def _pair_json(pair: _PairFigures, area: Optional[Sequence[int]] = None) -> str: ...
def _ptc_json(dark: _PairFigures, flats: list[_PairFigures], area: Optional[Sequence[int]] = None) -> str: ...
def _fields_json(raw: Raw, area: Optional[Sequence[int]] = None) -> str: ...
def _defects_json(darks: Optional[_StackFigures], flats: Optional[_StackFigures], gain: Optional[float] = None,
                  area: Optional[Sequence[int]] = None) -> str: ...

class _Stack:
    def __init__(self, kind: str = "darks", area: Optional[Sequence[int]] = None) -> None: ...
    @property
    def kind(self) -> str: ...
    @property
    def frames(self) -> int: ...
    @property
    def area(self) -> Optional[tuple[int, int, int, int]]: ...
    def add(self, raw: Raw) -> None: ...
    def merge(self, other: "_Stack") -> None: ...
    def _figures(self, sigma: float, dead_below: float) -> _StackFigures: ...
