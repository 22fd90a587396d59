"""What the Python tests share: the runner beside the module, a scratch
folder per test, and the comparison of tables as pandas reads them."""
import os
import subprocess

import pytest

BIN_DIR = os.environ.get("VARNOLT_BIN_DIR", "")


class Runner:
    """varnolt-cli, run in the test's folder."""

    def __init__(self, folder):
        self.folder = folder
        self.path = os.path.join(BIN_DIR, "varnolt-cli")

    def __call__(self, *args, status=0):
        done = subprocess.run([self.path, *map(str, args)], cwd=self.folder, capture_output=True,
                              text=True, stdin=subprocess.DEVNULL)
        if status is not None:
            assert done.returncode == status, f"varnolt-cli {' '.join(map(str, args))}: {done.stderr}"
        return done


@pytest.fixture
def folder(tmp_path, monkeypatch):
    """An empty folder, the current one while the test runs."""
    monkeypatch.chdir(tmp_path)
    return tmp_path


@pytest.fixture
def cli(folder):
    if not os.path.exists(os.path.join(BIN_DIR, "varnolt-cli")):
        pytest.skip("varnolt-cli is not built (set VARNOLT_BIN_DIR)")
    return Runner(folder)


def read_table(path):
    """A table the way a user reads the runner's CSV with pandas, with every
    number read back to the very double written."""
    import pandas
    return pandas.read_csv(path, float_precision="round_trip")


def assert_same_table(ours, theirs, dtypes=True):
    """Cell for cell and column for column, every value exactly; the columns'
    types too unless `dtypes` is False (pandas reads a CSV column of whole
    numbers, such as a herm column of zeros, as integers)."""
    import pandas
    assert list(ours.columns) == list(theirs.columns)
    pandas.testing.assert_frame_equal(ours, theirs, check_exact=True, check_dtype=dtypes)
