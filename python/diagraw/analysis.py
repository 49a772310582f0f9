"""A sensor's figures across frames, per field and colour.

The X10 reads its picture as two fields, and each field's red, green and
blue samples are their own channel: six in all. These functions measure
them as EMVA 1288 (Release 4.0, linear sensors) defines the figures, on
the samples as the files hold them, over the whole fields or over the
cells an area (x, y, width, height) of the demosaiced image shows, and
return the same dicts as ``diagraw-probe pair|ptc|defects|fields --json``:

    pair(a, b)              temporal noise from two frames of one scene
    ptc(dark, flats)        the photon transfer curve: gain, read noise,
                            saturation, dynamic range
    defects(darks=, flats=) the spatial figures of a stack and its hot,
                            dead and stuck cells
    fields(frame)           the two fields of one frame side by side
    Stack                   a stack read one frame at a time, mergeable, for
                            stacks split over processes (docs/python.md has
                            a Dask recipe)
    plot_ptc(result)        the curve drawn with matplotlib, when installed

A frame is a loaded diagraw.Raw or a path, which is loaded for the call and
let go of after it. Frames whose Exif names different cameras or ISO
settings are refused with ValueError, as are the two frames of a pair at
different exposures.
"""

import contextlib
import json
import os
from typing import Any, Dict, Iterable, Iterator, Optional, Sequence, Tuple, Union

from . import _core
from ._core import Raw

__all__ = ["Stack", "defects", "fields", "pair", "plot_ptc", "ptc"]

Frame = Union[Raw, str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Area = Optional[Sequence[int]]


def _dict(text: str) -> Dict[str, Any]:
    result: Dict[str, Any] = json.loads(text)
    return result


@contextlib.contextmanager
def _loaded(frame: Frame) -> Iterator[Raw]:
    if isinstance(frame, Raw):
        yield frame
        return
    from . import load

    with load(frame) as raw:
        yield raw


def _pair_figures(a: Frame, b: Frame, area: Area) -> Any:
    with _loaded(a) as first, _loaded(b) as second:
        return _core._pair(first, second, area)


def pair(a: Frame, b: Frame, *, area: Area = None) -> Dict[str, Any]:
    """The mean, temporal variance and temporal noise of each channel of two
    frames of one scene at one exposure."""
    return _dict(_core._pair_json(_pair_figures(a, b, area), area))


def fields(frame: Frame, *, area: Area = None) -> Dict[str, Any]:
    """Each colour's mean in field 0 and field 1, their ratio in EV and the
    correlation of co-sited samples (field 1's one cell south of field 0's)."""
    with _loaded(frame) as raw:
        return _dict(_core._fields_json(raw, area))


def ptc(dark: Tuple[Frame, Frame], flats: Iterable[Tuple[Frame, Frame]], *, area: Area = None) -> Dict[str, Any]:
    """The photon transfer curve of a dark pair and flat pairs at several
    exposures: each pair's point above the dark, and the fitted gain (DN
    per electron), intercept, R², saturation, dark noise, SNR and dynamic
    range. One pair is loaded at a time."""
    dark_figures = _pair_figures(dark[0], dark[1], area)
    flat_figures = [_pair_figures(a, b, area) for a, b in flats]
    return _dict(_core._ptc_json(dark_figures, flat_figures, area))


class Stack:
    """A stack of darks or flats, read one frame at a time into sums per
    sample (12 bytes each: some 151 MB for both whole fields, whatever the
    number of frames). Two stacks of the same kind and area merge exactly,
    so a stack split over processes and merged back equals the one read in
    a single process. Picklable; add() releases the GIL."""

    def __init__(self, kind: str = "darks", area: Area = None) -> None:
        self._stack = _core._Stack(kind, area)

    @property
    def kind(self) -> str:
        return self._stack.kind

    @property
    def frames(self) -> int:
        return self._stack.frames

    @property
    def area(self) -> Optional[Tuple[int, int, int, int]]:
        return self._stack.area

    def add(self, frame: Frame) -> "Stack":
        with _loaded(frame) as raw:
            self._stack.add(raw)
        return self

    def merge(self, other: "Stack") -> "Stack":
        self._stack.merge(other._stack)
        return self

    def _figures(self, sigma: float, dead_below: float) -> Any:
        return self._stack._figures(sigma, dead_below)

    def result(self, *, sigma: float = 8.0, dead_below: float = 0.5, gain: Optional[float] = None,
               darks: Optional["Stack"] = None) -> Dict[str, Any]:
        """What defects() gives for this stack: with flats, darks is the
        dark reference of PRNU and adds its hot cells to the list."""
        own = self._figures(sigma, dead_below)
        if self.kind == "darks":
            if darks is not None:
                raise ValueError("darks= is the dark reference of a stack of flats")
            return _dict(_core._defects_json(own, None, gain, self.area))
        dark = darks._figures(sigma, dead_below) if darks is not None else None
        return _dict(_core._defects_json(dark, own, gain, self.area))

    def __repr__(self) -> str:
        return f"<diagraw.analysis.Stack of {self.frames} {self.kind}, area {self.area}>"


def defects(*, darks: Optional[Iterable[Frame]] = None, flats: Optional[Iterable[Frame]] = None,
            area: Area = None, sigma: float = 8.0, dead_below: float = 0.5,
            gain: Optional[float] = None) -> Dict[str, Any]:
    """The figures of a stack of darks (level, spread, DSNU, hot and stuck
    cells) or of flats (PRNU over the darks when given, dead and stuck
    cells), reading one frame at a time."""
    if darks is None and flats is None:
        raise ValueError("defects needs darks or flats")
    dark_stack = None
    if darks is not None:
        dark_stack = Stack("darks", area)
        for frame in darks:
            dark_stack.add(frame)
    if flats is None:
        assert dark_stack is not None
        return dark_stack.result(sigma=sigma, dead_below=dead_below, gain=gain)
    flat_stack = Stack("flats", area)
    for frame in flats:
        flat_stack.add(frame)
    return flat_stack.result(sigma=sigma, dead_below=dead_below, gain=gain, darks=dark_stack)


def plot_ptc(result: Dict[str, Any], *, ax: Any = None) -> Any:
    """Draws a ptc() result on log-log axes: each channel's points (variance
    over mean, both above the dark; filled where the fit took them), the
    fitted line over its range with the gain in the legend, and a dotted
    line at the saturation. Needs matplotlib (ImportError otherwise);
    returns the Axes."""
    try:
        import matplotlib.pyplot as plt  # type: ignore
    except ImportError as error:
        raise ImportError("plot_ptc needs matplotlib (pip install matplotlib, "
                          "or Debian's python3-matplotlib)") from error
    if ax is None:
        ax = plt.figure(figsize=(7, 5)).add_subplot()
    colours = {"red": "tab:red", "green": "tab:green", "blue": "tab:blue"}
    for field in result["fields"]:
        marker = "o" if field["field"] == 0 else "s"
        for name, channel in field["colours"].items():
            colour = colours[name]
            points = [p for p in channel["points"] if p["mean"] > 0 and p["variance"] > 0]
            gain = channel["gain"]
            label = f"field {field['field']} {name}" + (f": K = {gain:.4f} DN/e" if gain is not None else "")
            fitted = [p for p in points if p["fitted"]]
            others = [p for p in points if not p["fitted"]]
            ax.plot([p["mean"] for p in fitted], [p["variance"] for p in fitted], marker, color=colour,
                    alpha=0.7, label=label)
            ax.plot([p["mean"] for p in others], [p["variance"] for p in others], marker, color=colour,
                    mfc="none", alpha=0.7)
            if gain is not None and fitted:
                xs = [min(p["mean"] for p in fitted), max(p["mean"] for p in fitted)]
                ax.plot(xs, [gain * x + channel["intercept"] for x in xs], "-", color=colour, lw=0.8, alpha=0.7)
            if channel["saturation_dn"]:
                ax.axvline(channel["saturation_dn"], color=colour, lw=0.6, ls=":", alpha=0.6)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("mean above dark, DN")
    ax.set_ylabel("temporal variance above dark, DN²")
    ax.set_title("photon transfer")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize="small")
    return ax
