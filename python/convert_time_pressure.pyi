"""Logger files of pressure readings read by convert_time_pressure's own passes."""

import os
from typing import Iterator, Literal, NamedTuple, Optional, Union

import numpy as np
import numpy.typing as npt

__version__: str

Path = Union[str, bytes, os.PathLike]
Errors = Literal["raise", "warn", "ignore"]

class LostReadings(ValueError):
    """Readings asked for were lost; the first is at line, column."""

    path: str
    lost: int
    readings: int
    line: int
    column: int

class Readings(NamedTuple):
    elapsed_s: npt.NDArray[np.float64]
    value: npt.NDArray[np.float64]
    first: Optional[np.datetime64]

def read(path: Path, count: Optional[int] = None, errors: Errors = "raise") -> Readings:
    """Reads a logger file's readings as convert_time_pressure converts them."""

def read_windows(
    path: Path, count: Optional[int] = None, errors: Errors = "raise"
) -> Iterator[Readings]:
    """Yields read()'s Readings a window at a time, for files larger than memory."""

def check(path: Path, count: Optional[int] = None) -> dict:
    """The checker's findings on a file, as check_time_pressure reports them."""
