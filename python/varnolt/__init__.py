"""VARNOLT from Python: the flowering cycles of oil palms.

    >>> import varnolt
    >>> settings = varnolt.Settings(cycleCount=770, palmCount=1000)
    >>> results = varnolt.run(settings, seed=1)
    >>> print(results.analysis)
    Period 45 cycles (strength 0.75); mean female 29.6 %, hermaphrodite 0.0 %, male 9.2 %, aborted 61.2 % over cycles 101 to 770.

Settings (the 27 settings by the settings reference's names), run (NumPy
arrays per cycle, the analysis, pandas tables, the runner's report and CSV),
read_settings and read_report; the experiments sweep, batch, sensitivity
(Morris, Sobol) and calibrate (fitting settings to a census). The same
model, rules and files as the window and varnolt-cli; docs/python.md is the
guide.
"""

from . import errors
from .errors import (ResultsFileError, RunError, SettingsError, SettingsFileError,
                     UnknownSettingError)
import io as _io
import json as _json
import os as _os

from ._varnolt import (Analysis, Results, Settings, engine_target, read_report,
                       read_settings, run)
from . import _varnolt

__all__ = [
    "Analysis", "Results", "Settings", "SettingsError", "SettingsFileError",
    "ResultsFileError", "RunError", "UnknownSettingError", "engine_target",
    "read_report", "read_settings", "run", "sweep", "batch", "sensitivity", "calibrate",
    "Calibration",
]

# The CSV's columns, in its order.
_CYCLE_COLUMNS = ("cycle", "female", "herm", "male", "aborted", "total")


def _pandas():
    try:
        import pandas
    except ImportError as missing:  # pandas is optional until a table is asked for
        raise ImportError("this needs pandas (Debian: python3-pandas)") from missing
    return pandas


def _results_to_pandas(self):
    """to_pandas() -> pandas.DataFrame

    The per-cycle table of `varnolt-cli run --csv` as a pandas DataFrame:
    columns cycle, female, herm, male, aborted, total, one row per cycle, the
    same values cell for cell as that CSV read with pandas."""
    pandas = _pandas()
    return pandas.DataFrame({name: getattr(self, name) for name in _CYCLE_COLUMNS},
                            columns=list(_CYCLE_COLUMNS))


Results.to_pandas = _results_to_pandas

for _cls in (Analysis, Results, Settings):
    _cls.__module__ = __name__
del _cls


def _vary_texts(vary):
    """The runner's NAME=FROM:TO[:STEP] texts of `vary`: a text, a list of
    texts, or a dict of name to "FROM:TO[:STEP]", (from, to[, step]) or range."""
    if isinstance(vary, str):
        return [vary]
    if isinstance(vary, dict):
        texts = []
        for name, values in vary.items():
            if isinstance(values, range):
                if len(values) == 0:
                    raise ValueError(f"vary {name}: {values!r} holds no value")
                last = values[-1]
                texts.append(f"{name}={values.start}:{last}:{abs(values.step)}")
            elif isinstance(values, tuple) and len(values) in (2, 3):
                texts.append(f"{name}=" + ":".join(str(int(v)) for v in values))
            elif isinstance(values, str):
                texts.append(f"{name}={values}")
            else:
                raise TypeError(f"vary {name}: takes \"FROM:TO[:STEP]\", (from, to[, step]) or a range, "
                                f"not {type(values).__name__}")
        return texts
    return list(vary)


def _table(text, record, call):
    pandas = _pandas()
    frame = pandas.read_csv(_io.StringIO(text), float_precision="round_trip")
    frame.attrs["record"] = _json.loads(record)
    return frame


def _call_text(name, **options):
    shown = ", ".join(f"{key}={value!r}" for key, value in options.items() if value is not None)
    return f"varnolt.{name}(settings, {shown})"


def sweep(settings=None, *, vary, replicates=1, seed=None, stats=None, cycles_window=None,
          threads=None, progress=None):
    """sweep(settings=None, *, vary, replicates=1, seed=None, stats=None, cycles_window=None, threads=None, progress=None) -> pandas.DataFrame

    The full factorial of the varied settings over `settings`, each point run
    `replicates` times on seeds seed to seed + replicates - 1: the table of
    `varnolt-cli sweep`, cell for cell and column for column (point, the
    varied settings, replicate, seed, status, the statistics, message), with
    the record the runner writes beside it in df.attrs["record"].

    vary: the runner's "NAME=FROM:TO[:STEP]" texts (a list, or one), or a dict
        of name to "FROM:TO[:STEP]", a tuple (from, to[, step]) or a range.
    stats: the statistics as columns (names as `--stat`), the runner's default
        set when None. cycles_window: "FROM:TO", the cycles analysed.
    seed: None draws a fresh one (df.attrs["record"]["seed"] tells it).

    Points a rule refuses are rows with status "invalid" and the rule as
    message ("rule 5 (maleThreshold): ..."), as in the runner's table. Ctrl+C stops the sweep
    (KeyboardInterrupt); progress receives the fraction of runs done.
    """
    texts = _vary_texts(vary)
    call = _call_text("sweep", vary=texts, replicates=replicates, seed=seed, stats=stats,
                      cycles_window=cycles_window)
    text, record = _varnolt._sweep(settings, texts, replicates, seed, stats, cycles_window, threads,
                                   progress, call)
    return _table(text, record, call)


def _whole_columns(design):
    """A design DataFrame's float columns that hold whole numbers only, as
    integers: pandas makes a column float as soon as one cell is missing."""
    design = design.copy()
    for name in design.columns:
        column = design[name]
        if column.dtype.kind == "f" and column.notna().all() and (column == column.round()).all():
            design[name] = column.astype("int64")
    return design


def batch(settings=None, *, design, replicates=1, seed=None, stats=None, cycles_window=None,
          threads=None, progress=None):
    """batch(settings=None, *, design, replicates=1, seed=None, stats=None, cycles_window=None, threads=None, progress=None) -> pandas.DataFrame

    Runs a design made elsewhere: one run per row, its columns named by
    settings (and maybe a "seed" column), each row over `settings`. `design`
    is a pandas DataFrame (its index is not part of it) or the path of a CSV
    file. Returns the table of `varnolt-cli batch`, cell for cell and column
    for column, with the runner's record in df.attrs["record"]. A design the
    runner refuses raises ValueError with the runner's words (line and column
    of the design).
    """
    if isinstance(design, (str, _os.PathLike)):
        name = _os.fspath(design)
        with open(name, "rb") as file:
            text = file.read().decode("utf-8", "replace")
    elif hasattr(design, "to_csv"):
        name = "the design"
        text = _whole_columns(design).to_csv(index=False, lineterminator="\n")
    else:
        raise TypeError(f"design takes a pandas DataFrame or a CSV file's path, not {type(design).__name__}")
    call = _call_text("batch", design=name, replicates=replicates, seed=seed, stats=stats,
                      cycles_window=cycles_window)
    text, record = _varnolt._batch(settings, text, name, replicates, seed, stats, cycles_window, threads,
                                   progress, call)
    return _table(text, record, call)


def _factor_texts(factors):
    """The runner's NAME=LOW:HIGH texts of `factors`: a text, a list of texts,
    or a dict of name to "LOW:HIGH", (low, high) or a range."""
    if isinstance(factors, str):
        return [factors]
    if isinstance(factors, dict):
        texts = []
        for name, values in factors.items():
            if isinstance(values, range):
                if len(values) == 0:
                    raise ValueError(f"factor {name}: {values!r} holds no value")
                texts.append(f"{name}={min(values[0], values[-1])}:{max(values[0], values[-1])}")
            elif isinstance(values, tuple) and len(values) == 2:
                texts.append(f"{name}=" + ":".join(str(int(v)) for v in values))
            elif isinstance(values, str):
                texts.append(f"{name}={values}")
            else:
                raise TypeError(f"factor {name}: takes \"LOW:HIGH\", (low, high) or a range, "
                                f"not {type(values).__name__}")
        return texts
    return list(factors)


def sensitivity(settings=None, *, factors, method, trajectories=20, levels=4, samples=256, bootstrap=200,
                replicates=1, seed=None, design_seed=None, stats=None, cycles_window=None, threads=None,
                progress=None):
    """sensitivity(settings=None, *, factors, method, trajectories=20, levels=4, samples=256, bootstrap=200, replicates=1, seed=None, design_seed=None, stats=None, cycles_window=None, threads=None, progress=None) -> pandas.DataFrame

    Which settings move the means and the period most: Morris elementary
    effects (method="morris": `trajectories` trajectories on a grid of
    `levels` levels) or Sobol indices (method="sobol": `samples` base
    samples, samples x (factors + 2) runs), each factor over its whole values
    from LOW to HIGH. Returns the table of indices of `varnolt-cli
    sensitivity --csv`, cell for cell and column for column (Morris: output,
    factor, mu, muStar, muStarLow, muStarHigh, sigma, effects; Sobol: output,
    factor, first, firstLow, firstHigh, total, totalLow, totalHigh, samples),
    ranked within each output, with the runner's record in
    df.attrs["record"] and its printed report in df.attrs["report"].

    factors: the runner's "NAME=LOW:HIGH" texts (a list, or one), or a dict
        of name to "LOW:HIGH", a tuple (low, high) or a range.
    bootstrap: resamples for the 95 % intervals (0: none).
    replicates: runs per point, seeds seed to seed + replicates - 1; a
        point's output is their mean.
    seed: the runs' seed (None draws a fresh one; the record tells it);
        design_seed: the design's (trajectories, resamples), seed when None.
    stats: the outputs ranked (names as `--stat`); meanFemale, meanHerm,
        meanMale, meanAborted and period when None. cycles_window: "FROM:TO".

    Runs a rule refuses are left out, as in the runner. Ctrl+C stops the
    analysis (KeyboardInterrupt); progress receives the fraction of runs done.
    """
    texts = _factor_texts(factors)
    call = _call_text("sensitivity", factors=texts, method=method, trajectories=trajectories, levels=levels,
                      samples=samples, bootstrap=bootstrap, replicates=replicates, seed=seed,
                      design_seed=design_seed, stats=stats, cycles_window=cycles_window)
    text, record, report = _varnolt._sensitivity(settings, texts, method, trajectories, levels, samples,
                                                 bootstrap, replicates, seed, design_seed, stats,
                                                 cycles_window, threads, progress, call)
    frame = _table(text, record, call)
    frame.attrs["report"] = report
    return frame


def _census_text(census, what):
    """The text and name of a census given as a DataFrame or a CSV file's path."""
    if isinstance(census, (str, _os.PathLike)):
        name = _os.fspath(census)
        with open(name, "rb") as file:
            return file.read().decode("utf-8", "replace"), name
    if hasattr(census, "to_csv"):
        return _whole_columns(census).to_csv(index=False, lineterminator="\n"), what
    raise TypeError(f"{what} takes a pandas DataFrame or a CSV file's path, not {type(census).__name__}")


class Calibration:
    """The result of varnolt.calibrate: the best fit to a census and what the
    census determines.

    settings: varnolt.Settings, the base settings with the best values (what
        `varnolt-cli calibrate -o BEST.dat` writes; the base's palmCount kept).
    best: {name: value} of every fitted setting (and "shift" when fitted).
    ranges: {name: (low, high)}, the values consistent with the census at
        95 % (calibrated on simulated censuses); undetermined: the names the
        census does not determine (every value that runs fits as well).
    objective: the best objective's value. seed: the seed of replicate 1.
    summary: the runner's summary (str(result) prints it).
    record: the runner's JSON record (--json) as a dict.
    evaluations: every candidate in the order evaluated (a DataFrame, the
        table of --csv). cycles: the best settings' cycles averaged over the
        replicates (a DataFrame with the columns of a run's CSV).
    """

    def __init__(self, parts):
        self.settings = parts["settings"]
        self.best = dict(parts["best"])
        self.ranges = dict(parts["ranges"])
        self.undetermined = list(parts["undetermined"])
        self.range_texts = list(parts["range_texts"])
        self.objective = parts["objective"]
        self.seed = parts["seed"]
        self.summary = parts["summary"]
        self.record = _json.loads(parts["record"])
        self._evaluations = parts["evaluations"]
        self._cycles = parts["cycles"]

    @property
    def evaluations(self):
        """Every candidate evaluated, in order: the table of `calibrate --csv`."""
        return _pandas().read_csv(_io.StringIO(self._evaluations), float_precision="round_trip")

    @property
    def cycles(self):
        """The best settings' cycles (cycle, female, herm, male, aborted, total)."""
        return _pandas().read_csv(_io.StringIO(self._cycles), float_precision="round_trip")

    def __str__(self):
        return self.summary

    def __repr__(self):
        values = ", ".join(f"{name}={value}" for name, value in self.best.items())
        return f"<varnolt.Calibration {values}>"


def calibrate(settings=None, census=None, *, fit, censuses=None, validate=None, fit_shift=None, objective="sse",
              budget=20000, palms=2000, replicates=2, simulations=200, seed=None, threads=None, progress=None):
    """calibrate(settings=None, census=None, *, fit, censuses=None, validate=None, fit_shift=None, objective="sse", budget=20000, palms=2000, replicates=2, simulations=200, seed=None, threads=None, progress=None) -> varnolt.Calibration

    Fits whole-numbered settings to a plantation's census and says which of
    them the census determines, as `varnolt-cli calibrate` does. `census` is a
    pandas DataFrame or the path of a CSV file: a cycle column and any of
    female, herm, male, aborted (percentages), optionally palms.

    fit: the runner's "NAME=LOW:HIGH" texts (a list, or one), or a dict of
        name to "LOW:HIGH", (low, high) or a range.
    censuses: more censuses fitted together with the first: each a DataFrame
        or a path, or a tuple (census, settings) with its own base settings.
    validate: "FROM:TO", census cycles left out of the fit and reported apart.
    fit_shift: "LOW:HIGH", the census's whole-cycle offset, fitted too.
    objective: "sse" or "loglik" (needs a palms column). budget: the largest
        grid run whole. palms: palms per run (settings.palmCount is kept in
        the fitted settings). replicates: runs per candidate. simulations:
        simulated censuses for the ranges (20 or more).
    seed: None draws a fresh one (result.seed tells it).

    Returns a varnolt.Calibration. Ctrl+C stops it (KeyboardInterrupt);
    progress receives the fraction of candidates evaluated.
    """
    if census is None:
        raise TypeError("calibrate() needs the census: a pandas DataFrame or a CSV file's path")
    text, name = _census_text(census, "the census")
    added = []
    for number, entry in enumerate(censuses or [], start=2):
        base = None
        if isinstance(entry, tuple):
            if len(entry) != 2:
                raise TypeError("censuses takes censuses or (census, settings) tuples")
            entry, base = entry
        added_text, added_name = _census_text(entry, f"census {number}")
        added.append((added_text, added_name, base))
    texts = _factor_texts(fit)
    call = _call_text("calibrate", census=name, fit=texts, validate=validate, fit_shift=fit_shift,
                      objective=objective, budget=budget, palms=palms, replicates=replicates,
                      simulations=simulations, seed=seed)
    parts = _varnolt._calibrate(settings, text, name, texts, added, validate, fit_shift, objective, budget, palms,
                                replicates, simulations, seed, threads, progress, call)
    return Calibration(parts)
