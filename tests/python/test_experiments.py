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
    assert (refused["status"] == "invalid").all() and refused["message"].str.startswith("rule 5 (maleThreshold)").all()
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
    # a misspelt setting is a KeyError naming the settings, as an item of Settings is
    with pytest.raises(varnolt.UnknownSettingError, match="maleTreshold.*the settings are: runNotes"):
        varnolt.sweep(vary={"maleTreshold": (18, 20)})
    with pytest.raises(KeyError, match="palmcount"):
        varnolt.sensitivity(factors=["palmcount=10:20"], method="morris")


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


def test_morris_is_the_runners_table_of_indices_with_its_record_and_report(cli, folder):
    done = cli("sensitivity", *base_args(), "--method", "morris", "--factor", "maleThreshold=18:22",
               "--factor", "randomPercent=0:40", "--trajectories", 6, "--seed", 5, "--csv", "morris.csv",
               "--quiet")
    table = varnolt.sensitivity(varnolt.Settings(**BASE), factors={"maleThreshold": (18, 22),
                                                                    "randomPercent": range(0, 41)},
                                method="morris", trajectories=6, seed=5)
    assert_same_table(table, read_table("morris.csv"))
    assert same_record(table.attrs["record"], "morris.json")
    assert table.attrs["report"].startswith(("Morris", "Sobol")) and table.attrs["report"] in done.stdout
    # ranked by mu* within each output, every output of the default set
    assert list(table["output"].unique()) == ["meanFemale", "meanHerm", "meanMale", "meanAborted", "period"]
    for _, rows in table.groupby("output", sort=False):
        assert rows["muStar"].is_monotonic_decreasing


def test_sobol_with_replicates_statistics_and_left_out_runs(cli, folder):
    # femaleThreshold 17 and 18 are refused by rule 5 (maleThreshold 17): those
    # runs are left out; herm never varies, so its indices are empty cells.
    args = ["--method", "sobol", "--factor", "femaleThreshold=12:18", "--factor", "randomPercent=0:30",
            "--samples", 8, "--seed", 4, "--design-seed", 9, "--replicates", 2, "--bootstrap", 30,
            "--stat", "meanFemale,meanHerm,period", "--cycles-window", "51:250"]
    done = cli("sensitivity", *base_args(), *args, "--csv", "sobol.csv", "--quiet")
    table = varnolt.sensitivity(varnolt.Settings(**BASE), factors=["femaleThreshold=12:18", "randomPercent=0:30"],
                                method="sobol", samples=8, seed=4, design_seed=9, replicates=2, bootstrap=30,
                                stats=["meanFemale", "meanHerm", "period"], cycles_window="51:250")
    assert_same_table(table, read_table("sobol.csv"))
    assert same_record(table.attrs["record"], "sobol.json")
    assert table.attrs["record"]["runsLeftOut"] > 0 and table.attrs["record"]["designSeed"] == 9
    assert table.attrs["report"].startswith(("Morris", "Sobol")) and table.attrs["report"] in done.stdout
    herm = table[table["output"] == "meanHerm"]
    assert herm["first"].isna().all() and herm["total"].isna().all() and (herm["samples"] > 0).all()


def test_sensitivity_refuses_what_the_runner_refuses():
    settings = varnolt.Settings(**BASE)
    cases = [({"method": "fast"}, ValueError, "morris"),
             ({"levels": 5}, ValueError, "even"),
             ({"factors": ["maleThreshold=18:22", "maleThreshold=19:20"]}, ValueError, "twice"),
             ({"factors": []}, ValueError, "at least one factor"),
             ({"factors": ["maleThreshold"]}, ValueError, "maleThreshold"),
             ({"trajectories": 6.0}, TypeError, "trajectories"),
             ({"trajectories": 1}, ValueError, "from 2"),
             ({"stats": ["periods"]}, ValueError, "stats"),
             ({"seed": -1}, ValueError, "seed")]
    for change, error, words in cases:
        options = {"factors": ["maleThreshold=18:22"], "method": "morris", "trajectories": 4, "seed": 1}
        options.update(change)
        with pytest.raises(error, match=words):
            varnolt.sensitivity(settings, **options)
    with pytest.raises(MemoryError, match="fewer samples"):
        varnolt.sensitivity(settings, factors=["maleThreshold=18:22"], method="sobol", samples=10000000,
                            replicates=100000, seed=1)


def test_a_fresh_seed_is_told_in_the_record_and_repeats_the_analysis():
    settings = varnolt.Settings(**BASE)
    first = varnolt.sensitivity(settings, factors="maleThreshold=18:22", method="sobol", samples=4, bootstrap=0)
    seed = first.attrs["record"]["seed"]
    again = varnolt.sensitivity(settings, factors="maleThreshold=18:22", method="sobol", samples=4, bootstrap=0,
                                seed=seed)
    assert_same_table(again, first)


def test_settings_that_refuse_every_run_raise_settings_error():
    broken = varnolt.Settings(femaleThreshold=17, **BASE)  # rule 5: below maleThreshold 17
    with pytest.raises(varnolt.SettingsError, match=r"femaleThreshold 17 must be below maleThreshold 17 \(rule 5\)"):
        varnolt.sweep(broken, vary="randomPercent=0:10:10", seed=1)
    with pytest.raises(varnolt.SettingsError) as raised:
        varnolt.batch(broken, design=pandas.DataFrame({"randomPercent": [5, 15]}), seed=1)
    assert (raised.value.setting, raised.value.value, raised.value.rule) == ("maleThreshold", 17, 5)
    with pytest.raises(varnolt.SettingsError):
        varnolt.sensitivity(broken, factors="randomPercent=0:10", method="sobol", samples=4, seed=1)
    # a point that mends them runs, and the others are rows of their own, as in the runner's table
    table = varnolt.sweep(broken, vary="maleThreshold=17:18", seed=1)
    assert table["status"].tolist() == ["invalid", "ok"]
