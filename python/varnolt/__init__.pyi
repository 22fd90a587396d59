# Type stubs of the varnolt package, for completion and type checkers.
import os
from typing import Any, Callable, Dict, ItemsView, Iterator, KeysView, List, Mapping, Optional, Tuple, Union, ValuesView

import numpy
import numpy.typing
import pandas

from .errors import (ResultsFileError as ResultsFileError, RunError as RunError,
                     SettingsError as SettingsError, SettingsFileError as SettingsFileError,
                     UnknownSettingError as UnknownSettingError)

PathLike = Union[str, "os.PathLike[str]"]
Value = Union[int, str]

class Settings:
    """The 27 settings of a run, under the names of the settings reference."""
    runNotes: str
    cycleCount: int
    palmCount: int
    sexStressFirstFrond: int
    sexStressLastFrond: int
    abortStressFirstFrond: int
    abortStressLastFrond: int
    sexStageStartFrond: int
    sexStageEndFrond: int
    abortionFrond: int
    femaleThreshold: int
    maleThreshold: int
    abortThreshold: int
    randomPercent: int
    leafPruning: int
    leafPruneCycle: int
    pruneStress: int
    trendCycles: int
    trendAmplitude: int
    irrigation: int
    irrigationStart: int
    irrigationEnd: int
    flowerPruning: int
    flowerPruneStart: int
    flowerPruneEnd: int
    initialNodeSex: int
    outputPath: str
    def __init__(self, **settings: Value) -> None: ...
    @staticmethod
    def new(**settings: Value) -> "Settings": ...
    @staticmethod
    def names() -> List[str]: ...
    def __getitem__(self, name: str) -> Value: ...
    def __setitem__(self, name: str, value: Value) -> None: ...
    def __contains__(self, name: object) -> bool: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[str]: ...
    def keys(self) -> KeysView[str]: ...
    def values(self) -> ValuesView[Value]: ...
    def items(self) -> ItemsView[str, Value]: ...
    def to_dict(self) -> Dict[str, Value]: ...
    def update(self, values: Optional[Mapping[str, Value]] = None, **settings: Value) -> None: ...
    def copy(self) -> "Settings": ...
    def check(self) -> None: ...
    def save(self, path: PathLike) -> None: ...

class Analysis:
    """The cycle analysis of a run, as `varnolt-cli analyse` gives it."""
    firstCycle: int
    lastCycle: int
    meanFemale: Optional[float]
    meanHerm: Optional[float]
    meanMale: Optional[float]
    meanAborted: Optional[float]
    sexRatio: Optional[float]
    femaleAmplitude: Optional[float]
    period: Optional[int]
    strength: Optional[float]
    def to_dict(self) -> Dict[str, Any]: ...

class Results:
    """The results of a run, cycle by cycle."""
    seed: Optional[int]
    settings: Optional[Settings]
    cycle: numpy.typing.NDArray[numpy.int64]
    female: numpy.typing.NDArray[numpy.float64]
    herm: numpy.typing.NDArray[numpy.float64]
    male: numpy.typing.NDArray[numpy.float64]
    aborted: numpy.typing.NDArray[numpy.float64]
    total: numpy.typing.NDArray[numpy.float64]
    percentages: numpy.typing.NDArray[numpy.float64]
    counts: Optional[numpy.typing.NDArray[numpy.uint32]]
    analysis: Analysis
    record: Optional[Dict[str, Any]]
    engine: Optional[str]
    run_seconds: Optional[float]
    def __len__(self) -> int: ...
    def analyse(self, window: Union[None, str, Tuple[int, Optional[int]]] = None) -> Analysis: ...
    def to_pandas(self) -> pandas.DataFrame: ...
    def write_report(self, path: PathLike) -> None: ...
    def write_csv(self, path: PathLike) -> None: ...

def run(settings: Union[None, Settings, PathLike] = None, *, seed: Optional[int] = None,
        threads: Optional[int] = None, progress: Optional[Callable[[float], Any]] = None) -> Results: ...
def read_settings(path: PathLike) -> Settings: ...
def read_report(path: PathLike) -> Results: ...
def engine_target() -> str: ...

Vary = Union[str, List[str], Dict[str, Union[str, Tuple[int, int], Tuple[int, int, int], range]]]

def sweep(settings: Union[None, Settings, PathLike] = None, *, vary: Vary, replicates: int = 1,
          seed: Optional[int] = None, stats: Union[None, str, List[str]] = None,
          cycles_window: Optional[str] = None, threads: Optional[int] = None,
          progress: Optional[Callable[[float], Any]] = None) -> pandas.DataFrame: ...
def batch(settings: Union[None, Settings, PathLike] = None, *, design: Union[pandas.DataFrame, PathLike],
          replicates: int = 1, seed: Optional[int] = None, stats: Union[None, str, List[str]] = None,
          cycles_window: Optional[str] = None, threads: Optional[int] = None,
          progress: Optional[Callable[[float], Any]] = None) -> pandas.DataFrame: ...

Factors = Union[str, List[str], Dict[str, Union[str, Tuple[int, int], range]]]
Census = Union[pandas.DataFrame, PathLike]

def sensitivity(settings: Union[None, Settings, PathLike] = None, *, factors: Factors, method: str,
                trajectories: int = 20, levels: int = 4, samples: int = 256, bootstrap: int = 200,
                replicates: int = 1, seed: Optional[int] = None, design_seed: Optional[int] = None,
                stats: Union[None, str, List[str]] = None, cycles_window: Optional[str] = None,
                threads: Optional[int] = None,
                progress: Optional[Callable[[float], Any]] = None) -> pandas.DataFrame: ...

class Calibration:
    """The best fit of varnolt.calibrate and what the census determines."""
    settings: Settings
    best: Dict[str, int]
    ranges: Dict[str, Tuple[int, int]]
    undetermined: List[str]
    range_texts: List[str]
    objective: float
    seed: int
    summary: str
    record: Dict[str, Any]
    @property
    def evaluations(self) -> pandas.DataFrame: ...
    @property
    def cycles(self) -> pandas.DataFrame: ...

def calibrate(settings: Union[None, Settings, PathLike] = None, census: Optional[Census] = None, *,
              fit: Factors, censuses: Optional[List[Union[Census, Tuple[Census, Union[None, Settings, PathLike]]]]] = None,
              validate: Optional[str] = None, fit_shift: Optional[str] = None, objective: str = "sse",
              budget: int = 20000, palms: int = 2000, replicates: int = 2, simulations: int = 200,
              seed: Optional[int] = None, threads: Optional[int] = None,
              progress: Optional[Callable[[float], Any]] = None) -> Calibration: ...
