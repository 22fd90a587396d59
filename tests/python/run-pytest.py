"""Runs some of the Python module's tests with pytest, for ctest: the package
from the build tree, the runner beside it, nothing written into the sources.

    python3 run-pytest.py BUILD/python BUILD/bin test_file.py...

A run in which pytest collects no test fails (pytest's status 5), so that a
test file that lost its tests cannot pass unnoticed."""
import os
import sys


def main():
    package_dir, bin_dir, *files = sys.argv[1:]
    missing = []
    for module, package in (("numpy", "python3-numpy"), ("pandas", "python3-pandas"),
                            ("pytest", "python3-pytest")):
        try:
            __import__(module)
        except ImportError:
            missing.append(package)
    if missing:
        print(f"{sys.executable} lacks {', '.join(missing)}: install them (scripts/setup.sh does)",
              file=sys.stderr)
        return 1
    import pytest
    sys.path.insert(0, package_dir)
    os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [package_dir, os.environ.get("PYTHONPATH")]))
    os.environ["VARNOLT_BIN_DIR"] = bin_dir
    sys.dont_write_bytecode = True
    here = os.path.dirname(os.path.abspath(__file__))
    status = pytest.main(["-q", "-p", "no:cacheprovider", "--rootdir", here,
                          *[os.path.join(here, name) for name in files]])
    if status == pytest.ExitCode.NO_TESTS_COLLECTED:
        print("no Python test ran: pytest collected none from " + ", ".join(files), file=sys.stderr)
        return 1
    return int(status)


if __name__ == "__main__":
    sys.exit(main())
