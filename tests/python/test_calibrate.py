"""Calibration from Python: a census the model made itself, fitted as the runner fits it."""
import json
import re

import pandas
import pytest

import varnolt
from conftest import assert_same_table, read_table

CYCLES = 300
TRUTH = 19  # the maleThreshold the census is simulated with
OPTIONS = {"palms": 200, "replicates": 1, "simulations": 20, "seed": 3}
VOLATILE = ("commandLine", "startTime", "seconds", "threads")


@pytest.fixture(scope="module")
def census():
    """Every fifth cycle of a run of 400 palms: female and male percentages and the palms observed."""
    made = varnolt.run(varnolt.Settings(cycleCount=CYCLES, palmCount=400, maleThreshold=TRUTH), seed=11)
    frame = made.to_pandas()
    frame = frame[frame["cycle"] % 5 == 0][["cycle", "female", "male"]].reset_index(drop=True)
    frame["palms"] = 400
    return frame


def without_time(summary):
    return re.sub(r"[0-9.]+ s on [0-9]+ threads?", "TIME", summary)


def test_a_synthetic_census_is_fitted_as_the_runner_fits_it(census, cli, folder):
    census.to_csv("census.csv", index=False)
    done = cli("calibrate", "census.csv", "--set", f"cycleCount={CYCLES}", "--fit", "maleThreshold=16:22",
               "-o", "best.dat", "--csv", "evaluations.csv", "--json", "record.json", "--palms", 200,
               "--replicates", 1, "--simulations", 20, "--seed", 3, "--quiet")
    result = varnolt.calibrate(varnolt.Settings(cycleCount=CYCLES), "census.csv", fit="maleThreshold=16:22",
                               **OPTIONS)
    with open("record.json", encoding="utf-8") as file:
        theirs = json.load(file)
    assert {k: v for k, v in result.record.items() if k not in VOLATILE} == \
           {k: v for k, v in theirs.items() if k not in VOLATILE}
    assert dict(result.settings) == dict(varnolt.read_settings("best.dat"))
    assert_same_table(result.evaluations, read_table("evaluations.csv"))
    assert without_time(result.summary) in without_time(done.stdout)
    # the census determines the threshold it was made with
    low, high = result.ranges["maleThreshold"]
    assert low <= TRUTH <= high and (low, high) != (16, 22)
    assert result.best == {"maleThreshold": result.settings.maleThreshold}
    assert result.undetermined == [] and str(result) == result.summary
    assert result.range_texts[0].startswith(f"maleThreshold = {result.best['maleThreshold']} (")
    cycles = result.cycles
    assert list(cycles.columns) == ["cycle", "female", "herm", "male", "aborted", "total"]
    assert len(cycles) == CYCLES


def test_a_census_frame_fits_as_its_file_does(census, folder):
    census.to_csv("census.csv", index=False)
    base = varnolt.Settings(cycleCount=CYCLES, palmCount=77)
    from_file = varnolt.calibrate(base, "census.csv", fit={"maleThreshold": (17, 21)}, **OPTIONS)
    from_frame = varnolt.calibrate(base, census, fit={"maleThreshold": (17, 21)}, **OPTIONS)
    assert from_frame.best == from_file.best and from_frame.ranges == from_file.ranges
    assert from_frame.objective == from_file.objective
    assert from_frame.record["census"]["file"] == "the census"
    assert from_frame.record["census"]["cells"] == from_file.record["census"]["cells"] == 2 * len(census)
    # the fitted settings keep the base's own palms; the fit ran OPTIONS' palms
    assert from_frame.settings.palmCount == 77 and from_frame.record["palms"] == 200


def test_a_calibration_refuses_a_bad_request_before_running(census):
    base = varnolt.Settings(cycleCount=CYCLES)
    cases = [({"fit": "maleThreshold=16"}, ValueError, "maleThreshold=16"),
             ({"fit": []}, ValueError, "at least one fit"),
             ({"fit": "growth=1:3"}, varnolt.UnknownSettingError, "growth"),
             ({"objective": "chi2"}, ValueError, "sse"),
             ({"simulations": 5}, ValueError, "simulations"),
             ({"palms": "200"}, TypeError, "palms"),
             ({"validate": (1, 20)}, TypeError, "validate")]
    for change, error, words in cases:
        options = dict(OPTIONS, fit="maleThreshold=17:21")
        options.update(change)
        with pytest.raises(error, match=words):
            varnolt.calibrate(base, census, **options)
    with pytest.raises(ValueError, match="cannot read the census the census line 1"):
        varnolt.calibrate(base, census.rename(columns={"cycle": "cycles"}), fit="maleThreshold=17:21", **OPTIONS)
    with pytest.raises(TypeError, match="census"):
        varnolt.calibrate(base, 42, fit="maleThreshold=17:21")
    with pytest.raises(TypeError, match="census"):
        varnolt.calibrate(base, fit="maleThreshold=17:21")


def test_ctrl_c_stops_a_calibration(census):
    varnolt._varnolt._testing.interrupt_next_run()
    with pytest.raises(KeyboardInterrupt):
        varnolt.calibrate(varnolt.Settings(cycleCount=CYCLES), census, fit="maleThreshold=17:21", **OPTIONS)
