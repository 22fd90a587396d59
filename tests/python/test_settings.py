"""Settings from Python: names, defaults, types, files with the runner's bytes,
and the rules with the runner's lines."""
import copy
import pickle

import numpy
import pytest

import varnolt

NAMES = ["runNotes", "cycleCount", "palmCount", "sexStressFirstFrond", "sexStressLastFrond",
         "abortStressFirstFrond", "abortStressLastFrond", "sexStageStartFrond", "sexStageEndFrond",
         "abortionFrond", "femaleThreshold", "maleThreshold", "abortThreshold", "randomPercent",
         "leafPruning", "leafPruneCycle", "pruneStress", "trendCycles", "trendAmplitude", "irrigation",
         "irrigationStart", "irrigationEnd", "flowerPruning", "flowerPruneStart", "flowerPruneEnd",
         "initialNodeSex", "outputPath"]


def test_the_settings_and_their_defaults_are_the_runners(cli):
    assert varnolt.Settings.names() == NAMES
    assert list(varnolt.Settings().keys()) == NAMES
    # A file `set` creates holds the New defaults, as `show` lists them.
    cli("set", "new.dat", "cycleCount=100")
    shown = dict(line.split("=", 1) for line in cli("show", "new.dat").stdout.splitlines())
    fresh = varnolt.Settings.new()
    assert {name: str(value) for name, value in fresh.items()} == shown
    startup = varnolt.Settings()
    assert startup.runNotes == "VARNOLT Simulation Run" and fresh.runNotes == "VRT Simulation Run"
    assert {k: v for k, v in startup.items() if k != "runNotes"} == \
           {k: v for k, v in fresh.items() if k != "runNotes"}


def test_attributes_and_items_are_one_record():
    settings = varnolt.Settings(cycleCount=770, palmCount=1000)
    assert settings.cycleCount == 770 and settings["palmCount"] == 1000
    settings["randomPercent"] = 50
    settings.runNotes = "Trial 4"
    assert settings.randomPercent == 50 and settings["runNotes"] == "Trial 4"
    assert "femaleThreshold" in settings and "female" not in settings and len(settings) == 27
    assert dict(settings)["cycleCount"] == 770
    assert repr(settings) == ("varnolt.Settings(runNotes='Trial 4', cycleCount=770, palmCount=1000, "
                              "randomPercent=50)")
    assert eval(repr(settings), {"varnolt": varnolt}) == settings
    twin = copy.deepcopy(settings)
    twin.palmCount = 5
    assert settings.palmCount == 1000 and twin != settings
    assert pickle.loads(pickle.dumps(settings)) == settings
    switches = varnolt.Settings(irrigation=True, leafPruning=numpy.int64(1))
    assert switches.irrigation == 1 and switches.leafPruning == 1


@pytest.mark.parametrize("change, error, words", [
    ({"cycleCount": 1.5}, TypeError, "cycleCount takes a whole number (int), not float"),
    ({"cycleCount": 770.0}, TypeError, "not float"),
    ({"cycleCount": "770"}, TypeError, "not str"),
    ({"palmCount": True}, TypeError, "not bool"),
    ({"runNotes": 4}, TypeError, "runNotes takes a text (str), not int"),
    ({"cycleCount": 2**31}, ValueError, "from -2147483648 to 2147483647, not 2147483648"),
    ({"irrigation": 2}, ValueError, "irrigation is a switch and takes 0 (off) or 1 (on), not 2"),
    ({"cyclecount": 5}, KeyError, 'unknown setting "cyclecount"; the settings are: runNotes, cycleCount'),
])
def test_a_refused_value_changes_nothing(change, error, words):
    settings = varnolt.Settings(palmCount=20)
    with pytest.raises(error) as raised:
        settings.update(change, randomPercent=0)
    assert words in str(raised.value)
    assert settings == varnolt.Settings(palmCount=20)
    name, value = next(iter(change.items()))
    with pytest.raises(error):
        setattr(settings, name, value)
    with pytest.raises(error):
        settings[name] = value
    with pytest.raises(error):
        varnolt.Settings(**change)
    assert settings == varnolt.Settings(palmCount=20)


def test_an_unknown_name_is_a_key_and_an_attribute_error():
    settings = varnolt.Settings()
    with pytest.raises(AttributeError):
        settings.palmcount
    with pytest.raises(KeyError):
        settings["palmcount"]
    assert not hasattr(settings, "palmcount")
    with pytest.raises(varnolt.UnknownSettingError) as raised:
        settings.female = 3
    assert raised.value.setting == "female"


def test_saved_files_are_the_runners_bytes_and_read_back(cli, folder):
    changes = {"runNotes": "Trial 4 – café", "cycleCount": 770, "palmCount": 1000, "randomPercent": 50,
               "irrigation": 1, "irrigationStart": 10, "irrigationEnd": 20, "sexStageStartFrond": -20}
    cli("set", "runner.dat", *[f"{name}={value}" for name, value in changes.items()])
    varnolt.Settings.new(**changes).save(folder / "python.dat")
    assert (folder / "python.dat").read_bytes() == (folder / "runner.dat").read_bytes()
    read = varnolt.read_settings("runner.dat")
    assert read == varnolt.Settings.new(**changes)
    read.save(str(folder / "again.dat"))
    assert (folder / "again.dat").read_bytes() == (folder / "runner.dat").read_bytes()


def test_notes_a_settings_file_cannot_hold_are_saved_with_a_warning(folder):
    with pytest.warns(UserWarning, match="1 character that settings files cannot store"):
        varnolt.Settings(runNotes="stress ∑").save("notes.dat")
    assert varnolt.read_settings("notes.dat").runNotes == "stress ?"


def test_files_that_cannot_be_read_say_why(folder):
    with pytest.raises(FileNotFoundError) as missing:
        varnolt.read_settings("missing.dat")
    assert missing.value.filename == "missing.dat"
    varnolt.Settings().save("whole.dat")
    whole = (folder / "whole.dat").read_bytes()
    (folder / "cut.dat").write_bytes(whole[:-3])
    with pytest.raises(varnolt.SettingsFileError, match="cut.dat is not a whole settings file"):
        varnolt.read_settings("cut.dat")
    (folder / "long.dat").write_bytes(whole + b"abc")
    with pytest.raises(varnolt.SettingsFileError, match="it has 3 bytes after the settings"):
        varnolt.read_settings("long.dat")
    with pytest.raises(FileNotFoundError):
        varnolt.Settings().save(folder / "no such folder" / "x.dat")
    assert not (folder / "no such folder").exists()
    with pytest.raises(TypeError, match="takes a path"):
        varnolt.read_settings(42)


# One failing example per rule, as the settings reference gives them.
RULES = [
    (1, {"cycleCount": 0}, "cycleCount", 0),
    (2, {"palmCount": 0}, "palmCount", 0),
    (3, {"abortThreshold": 41}, "abortThreshold", 41),
    (4, {"femaleThreshold": -1}, "femaleThreshold", -1),
    (5, {"femaleThreshold": 17}, "maleThreshold", 17),
    (6, {"randomPercent": -5}, "randomPercent", -5),
    (7, {"leafPruning": 1, "leafPruneCycle": 150, "pruneStress": 3}, "leafPruneCycle", 150),
    (8, {"leafPruning": 1, "leafPruneCycle": 50, "pruneStress": 0}, "pruneStress", 0),
    (9, {"trendCycles": 1, "trendAmplitude": 0}, "trendAmplitude", 0),
    (10, {"irrigation": 1, "irrigationStart": 100, "irrigationEnd": 100}, "irrigationStart", 100),
    (11, {"irrigation": 1, "irrigationStart": 40, "irrigationEnd": 30}, "irrigationEnd", 30),
    (12, {"flowerPruning": 1, "flowerPruneStart": 0, "flowerPruneEnd": 10}, "flowerPruneStart", 0),
    (13, {"flowerPruning": 1, "flowerPruneStart": 10, "flowerPruneEnd": 120}, "flowerPruneEnd", 120),
]


@pytest.mark.parametrize("rule, changes, setting, value", RULES, ids=[f"rule{r[0]}" for r in RULES])
def test_each_rule_is_a_settings_error_with_the_runners_line(cli, rule, changes, setting, value):
    settings = varnolt.Settings(**changes)
    refused = cli("run", *[f"--set={name}={v}" for name, v in changes.items()], "--seed", 1, status=2)
    line = refused.stderr.splitlines()[0].removeprefix("varnolt-cli: ")
    with pytest.raises(varnolt.SettingsError) as raised:
        settings.check()
    error = raised.value
    assert (str(error), error.setting, error.value, error.rule) == (line, setting, value, rule)
    assert isinstance(error, ValueError)
    with pytest.raises(varnolt.SettingsError) as from_run:
        varnolt.run(settings, seed=1)
    assert str(from_run.value) == line


def test_settings_that_pass_check_quietly():
    assert varnolt.Settings().check() is None
    assert varnolt.Settings.new(cycleCount=770).check() is None
