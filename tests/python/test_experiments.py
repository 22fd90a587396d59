"""Experiments from Python: the runner's tables cell for cell, with its record."""
import pandas
import pytest

import varnolt
from conftest import assert_same_table, read_table

BASE = {"cycleCount": 250, "palmCount": 40}
VOLATILE = ("commandLine", "startTime", "seconds")


def base_args():
    return [f"--set={name}={value}" for name, value in BASE.items()]


def same_record(ours, path):
    import json
    with open(path, encoding="utf-8") as file:
        theirs = json.load(file)
    return {k: v for k, v in ours.items() if k not in VOLATILE} == \
           {k: v for k, v in theirs.items() if k not in VOLATILE}


def test_a_sweep_is_the_runners_table_with_its_record(cli, folder):
    cli("sweep", *base_args(), "--vary", "randomPercent=0:40:20", "--vary", "femaleThreshold=15:18",
        "--replicates", 2, "--seed", 7, "--csv", "sweep.csv")
    table = varnolt.sweep(varnolt.Settings(**BASE), vary=["randomPercent=0:40:20", "femaleThreshold=15:18"],
                          replicates=2, seed=7)
    assert_same_table(table, read_table("sweep.csv"))
    assert same_record(table.attrs["record"], "sweep.json")
    # femaleThreshold 17 and 18 are refused by rule 5, as rows of their own
    refused = table[table["status"] != "ok"]
    assert len(refused) == 12 and set(refused["femaleThreshold"]) == {17, 18}
    assert (refused["status"] == "invalid").all() and refused["message"].str.startswith("rule 5 ").all()
    same = varnolt.sweep(varnolt.Settings(**BASE), vary={"randomPercent": range(0, 41, 20),
                                                         "femaleThreshold": (15, 18)},
                         replicates=2, seed=7)
    assert_same_table(same, table)


def test_statistics_and_cycles_as_the_runner_takes_them(cli, folder):
    cli("sweep", *base_args(), "--vary", "maleThreshold=18:20", "--stat", "period,sexRatio",
        "--cycles-window", "51:250", "--seed", 3, "--csv", "stats.csv")
    table = varnolt.sweep(varnolt.Settings(**BASE), vary="maleThreshold=18:20", stats=["period", "sexRatio"],
                          cycles_window="51:250", seed=3)
    assert_same_table(table, read_table("stats.csv"))
    with pytest.raises(ValueError, match="stats"):
        varnolt.sweep(vary="maleThreshold=18:20", stats=["periods"])
    with pytest.raises(ValueError, match="varied twice"):
        varnolt.sweep(vary=["maleThreshold=18:20", "maleThreshold=21:22"])
    with pytest.raises(ValueError):
        varnolt.sweep(vary=["maleThreshold=18"])


def test_a_batch_design_from_a_frame_or_a_file(cli, folder):
    design = pandas.DataFrame({"maleThreshold": [18, 19, 17], "randomPercent": [10, 30, 20],
                               "seed": [5, 9, 12]})
    design.to_csv("design.csv", index=False)
    cli("batch", "design.csv", *base_args(), "--replicates", 2, "--csv", "batch.csv")
    from_frame = varnolt.batch(varnolt.Settings(**BASE), design=design, replicates=2)
    assert_same_table(from_frame, read_table("batch.csv"))
    assert same_record(from_frame.attrs["record"], "batch.json")
    assert_same_table(varnolt.batch(varnolt.Settings(**BASE), design="design.csv", replicates=2), from_frame)
    with pytest.raises(ValueError, match="the design line 1"):
        varnolt.batch(design=pandas.DataFrame({"palmcount": [3]}))


def test_ctrl_c_stops_an_experiment():
    varnolt._varnolt._testing.interrupt_next_run()
    with pytest.raises(KeyboardInterrupt):
        varnolt.sweep(varnolt.Settings(**BASE), vary="randomPercent=0:100", seed=1)
    assert len(varnolt.sweep(varnolt.Settings(**BASE), vary="randomPercent=0:2", seed=1)) == 3
