"""The Python module against the runner, in one run.

1. A 770-cycle run of 1,000,000 palms: varnolt.run() timed from Python (the
   whole call, arrays included) against the same run's engine time through
   the runner (runSeconds of `varnolt-cli run --json`). Rounds alternate
   between the two and the best round of each counts, so that a busy machine
   tells less. The goal: Python within 1.1 times the runner's engine.
2. 20,000 tiny runs (10 cycles of 1 palm) from a Python loop: the time per run
   beyond the engine's own (each run's run_seconds). The goal: at most 30 us.

    build/bin/python_bench [--rounds N] [--tiny N]
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import varnolt

CYCLES, PALMS, SEED = 770, 1_000_000, 1


def runner_engine_seconds(runner, folder):
    record = os.path.join(folder, "bench.json")
    subprocess.run([runner, "run", "--quiet", "--seed", str(SEED), "--set", f"cycleCount={CYCLES}",
                    "--set", f"palmCount={PALMS}", "--output", os.path.join(folder, "bench.dat"),
                    "--json", record], check=True, capture_output=True)
    with open(record, encoding="utf-8") as file:
        return json.load(file)["runSeconds"]


def python_seconds(settings):
    started = time.perf_counter()
    results = varnolt.run(settings, seed=SEED)
    seconds = time.perf_counter() - started
    return seconds, results


def main():
    options = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    options.add_argument("--rounds", type=int, default=3)
    options.add_argument("--tiny", type=int, default=20_000)
    options.add_argument("--runner", default=os.path.join(os.path.dirname(os.path.abspath(sys.argv[0])),
                                                          "varnolt-cli"))
    args = options.parse_args()

    settings = varnolt.Settings(cycleCount=CYCLES, palmCount=PALMS)
    print(f"engine {varnolt.engine_target()}, {os.cpu_count()} cores, {args.rounds} rounds, "
          f"{CYCLES} cycles x {PALMS:,} palms")
    best_runner = best_python = best_python_engine = float("inf")
    with tempfile.TemporaryDirectory() as folder:
        for _ in range(args.rounds):
            best_runner = min(best_runner, runner_engine_seconds(args.runner, folder))
            seconds, results = python_seconds(settings)
            best_python = min(best_python, seconds)
            best_python_engine = min(best_python_engine, results.run_seconds)
        report = os.path.join(folder, "python.dat")
        results.write_report(report)
        with open(report, "rb") as mine, open(os.path.join(folder, "bench.dat"), "rb") as theirs:
            same = mine.read() == theirs.read()
    ratio = best_python / best_runner
    print(f"  runner, engine time:         {best_runner:8.3f} s")
    print(f"  Python, varnolt.run() call:  {best_python:8.3f} s  (its engine {best_python_engine:.3f} s)")
    print(f"  Python / runner's engine:    {ratio:8.3f}  (goal at most 1.1: {'met' if ratio <= 1.1 else 'NOT met'}); "
          f"reports {'identical' if same else 'DIFFER'}")

    tiny = varnolt.Settings(cycleCount=10, palmCount=1)
    engine = 0.0
    started = time.perf_counter()
    for seed in range(args.tiny):
        engine += varnolt.run(tiny, seed=seed).run_seconds
    loop = time.perf_counter() - started
    beyond = (loop - engine) / args.tiny * 1e6
    print(f"{args.tiny:,} tiny runs ({tiny.cycleCount} cycles of {tiny.palmCount} palm) from a Python loop: "
          f"{loop:.3f} s, engine {engine:.3f} s")
    print(f"  per run beyond the engine:   {beyond:8.2f} us  (goal at most 30: {'met' if beyond <= 30 else 'NOT met'})")


if __name__ == "__main__":
    main()
