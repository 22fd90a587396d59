"""Runs from Python: the runner's bytes and tables, arrays without copies, the
analysis, progress, Ctrl+C and other threads during a run."""
import os
import threading

import numpy
import pytest

import varnolt
from conftest import assert_same_table, read_table

TRIAL = {"cycleCount": 770, "palmCount": 1000}


def runner_args(changes):
    return [f"--set={name}={value}" for name, value in changes.items()]


@pytest.mark.parametrize("changes", [
    TRIAL,
    {"cycleCount": 300, "palmCount": 37, "randomPercent": 0, "initialNodeSex": 3},
    {"cycleCount": 400, "palmCount": 50, "trendCycles": 1, "trendAmplitude": 4, "irrigation": 1,
     "irrigationStart": 100, "irrigationEnd": 200, "leafPruning": 1, "leafPruneCycle": 150,
     "pruneStress": 5, "flowerPruning": 1, "flowerPruneStart": 250, "flowerPruneEnd": 300},
], ids=["trial", "no-chance", "treatments"])
def test_report_csv_and_table_are_the_runners(cli, folder, changes):
    cli("run", *runner_args(changes), "--seed", 7, "--csv", "runner.csv")
    results = varnolt.run(varnolt.Settings(**changes), seed=7)
    results.write_report("python.dat")
    results.write_csv("python.csv")
    assert (folder / "python.dat").read_bytes() == (folder / "output.dat").read_bytes()
    assert (folder / "python.csv").read_bytes() == (folder / "runner.csv").read_bytes()
    table = results.to_pandas()
    assert_same_table(table, read_table("runner.csv"), dtypes=False)
    assert table["cycle"].dtype == "int64" and (table.dtypes[1:] == "float64").all()
    summary = cli("analyse", "runner.csv").stdout.strip()
    assert str(results.analysis) == summary
    record = results.record
    assert record["seed"] == 7 and record["settings"]["cycleCount"] == changes["cycleCount"]
    assert record["analysis"]["period"] == results.analysis.period


def test_the_analysis_and_its_window_are_the_runners(cli, folder):
    results = varnolt.run(varnolt.Settings(**TRIAL), seed=1)
    analysis = results.analysis
    assert str(analysis) == ("Period 45 cycles (strength 0.75); mean female 29.6 %, hermaphrodite 0.0 %, "
                             "male 9.2 %, aborted 61.2 % over cycles 101 to 770.")
    assert (analysis.firstCycle, analysis.lastCycle, analysis.period) == (101, 770, 45)
    assert analysis.meanFemale == pytest.approx(results.female[100:].mean(), rel=1e-12)
    results.write_csv("trial.csv")
    windowed = cli("analyse", "trial.csv", "--cycles-window", "201:500").stdout.strip()
    assert str(results.analyse("201:500")) == windowed
    assert results.analyse((201, 500)) == results.analyse("201:500")
    with pytest.raises(ValueError, match="window"):
        results.analyse("500:900")
    flat = varnolt.run(varnolt.Settings(cycleCount=300, palmCount=10, randomPercent=0, femaleThreshold=38,
                                        maleThreshold=39, abortThreshold=40), seed=1).analysis
    assert flat.period is None and flat.to_dict()["period"] is None


def test_arrays_are_read_only_views_of_one_storage():
    results = varnolt.run(varnolt.Settings(cycleCount=500, palmCount=40), seed=3)
    female, table = results.female, results.percentages
    assert female.shape == (500,) and table.shape == (500, 5) and results.counts.shape == (500, 4)
    assert numpy.shares_memory(female, table) and numpy.shares_memory(results.male, table)
    assert female.base is not None and not female.flags.writeable and not table.flags.writeable
    with pytest.raises(ValueError):
        female[0] = 1.0
    assert numpy.array_equal(table[:, 0], female) and numpy.array_equal(table[:, 4], results.total)
    counts = results.counts
    assert counts.dtype == numpy.uint32 and (counts.sum(axis=1) == 40).all()
    # each percentage is its count x 100 / palms, correctly rounded
    assert numpy.array_equal(counts * 100.0 / 40, table[:, :4])
    assert numpy.array_equal(results.cycle, numpy.arange(1, 501))
    del results  # the arrays keep what they show alive
    assert female.sum() > 0 and counts[-1].sum() == 40


def test_seeds_repeat_and_threads_do_not_change_results():
    settings = varnolt.Settings(cycleCount=200, palmCount=300)
    fresh = varnolt.run(settings)
    assert 0 <= fresh.seed <= 2**32 - 1
    again = varnolt.run(settings, seed=fresh.seed, threads=1)
    assert numpy.array_equal(fresh.percentages, again.percentages)
    assert numpy.array_equal(varnolt.run(settings, seed=fresh.seed, threads=3).counts, again.counts)
    for seed, error in [(-1, ValueError), (2**32, ValueError), (1.0, TypeError), ("1", TypeError)]:
        with pytest.raises(error, match="seed"):
            varnolt.run(settings, seed=seed)
    with pytest.raises(ValueError, match="threads"):
        varnolt.run(settings, threads=0)
    with pytest.raises(TypeError, match="varnolt.Settings"):
        varnolt.run({"cycleCount": 5})


def test_a_settings_file_runs_as_it_is(cli, folder):
    cli("set", "trial.dat", "cycleCount=150", "palmCount=20")
    cli("run", "trial.dat", "--seed", 11, "--csv", "runner.csv")
    varnolt.run("trial.dat", seed=11).write_csv("python.csv")
    assert (folder / "python.csv").read_bytes() == (folder / "runner.csv").read_bytes()


def test_a_frond_outside_the_model_is_a_run_error():
    with pytest.raises(varnolt.RunError) as raised:
        varnolt.run(varnolt.Settings(sexStressLastFrond=200), seed=1)
    assert (raised.value.setting, raised.value.value) == ("sexStressLastFrond", 200)
    assert "the model works only with fronds from -30 to 169" in str(raised.value)


def test_progress_is_the_fraction_done_and_can_stop_the_run():
    seen = []
    varnolt.run(varnolt.Settings(cycleCount=50, palmCount=200), seed=1, progress=seen.append)
    assert seen and seen[-1] == 1.0 and seen == sorted(seen) and all(0 <= f <= 1 for f in seen)

    class Enough(Exception):
        pass

    def refuse(fraction):
        raise Enough(fraction)

    varnolt._varnolt._testing.hold_next_run()  # the run waits while progress is asked
    with pytest.raises(Enough):
        varnolt.run(varnolt.Settings(cycleCount=50, palmCount=200), seed=1, progress=refuse)
    with pytest.raises(TypeError, match="progress"):
        varnolt.run(varnolt.Settings(), progress=5)


def test_ctrl_c_during_a_run_raises_keyboard_interrupt_and_writes_nothing(folder):
    settings = varnolt.Settings(cycleCount=100, palmCount=100, outputPath="never.dat")
    varnolt._varnolt._testing.interrupt_next_run()  # SIGINT as the run starts, as from a person
    with pytest.raises(KeyboardInterrupt):
        varnolt.run(settings, seed=1)
    assert os.listdir(folder) == []
    assert len(varnolt.run(settings, seed=1)) == 100  # the next run is whole


def test_other_threads_go_on_during_a_run():
    testing = varnolt._varnolt._testing
    running = [False]
    steps = []

    def other():
        # Python work while the run waits for it: possible only if the run
        # lets the GIL go
        if testing.wait_until_held():
            steps.extend(running[0] for _ in range(1000))
        testing.release_held_run()

    testing.hold_next_run()
    worker = threading.Thread(target=other)
    worker.start()
    running[0] = True
    results = varnolt.run(varnolt.Settings(cycleCount=20, palmCount=10), seed=1)
    running[0] = False
    worker.join()
    assert steps == [True] * 1000 and len(results) == 20


def test_reports_and_tables_read_back(cli, folder):
    results = varnolt.run(varnolt.Settings(cycleCount=300, palmCount=30), seed=5)
    results.write_report("run.dat")
    results.write_csv("run.csv")
    from_csv = varnolt.read_report("run.csv")
    assert numpy.array_equal(from_csv.percentages, results.percentages)
    assert from_csv.seed is None and from_csv.counts is None and from_csv.analysis == results.analysis
    from_report = varnolt.read_report("run.dat")
    # the report keeps six significant digits
    assert numpy.allclose(from_report.percentages, results.percentages, rtol=1e-5, atol=1e-9)
    from_report.write_csv("again.csv")
    assert_same_table(from_report.to_pandas(), read_table("again.csv"), dtypes=False)
    with pytest.raises(ValueError, match="no report to write"):
        from_csv.write_report("x.dat")
    (folder / "junk.txt").write_text("hello\n")
    with pytest.raises(varnolt.ResultsFileError, match="cannot read results from junk.txt"):
        varnolt.read_report("junk.txt")
    with pytest.raises(FileNotFoundError):
        varnolt.read_report("none.csv")


def test_a_report_never_replaces_settings_and_a_failed_write_keeps_the_old_file(folder):
    varnolt.Settings().save("trial.dat")
    before = (folder / "trial.dat").read_bytes()
    results = varnolt.run(varnolt.Settings(cycleCount=20), seed=1)
    with pytest.raises(ValueError, match="trial.dat"):
        results.write_report("trial.dat")
    assert (folder / "trial.dat").read_bytes() == before
    with pytest.raises(FileNotFoundError):
        results.write_csv(folder / "no folder" / "x.csv")
    os.mkdir("a folder")
    with pytest.raises(OSError):
        results.write_csv("a folder")
    assert sorted(os.listdir(folder)) == ["a folder", "trial.dat"]
