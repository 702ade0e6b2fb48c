#!/usr/bin/env python3
"""What idle controls cost: the page host creates COUNT FileUpload controls and runs its message
loop for SECONDS with nothing to do. The CPU of that wait is the run's CPU less that of the same
run without the wait (creating the controls). Medians of RUNS.

    bench/idle_controls.py [--build DIR] [--count 5000] [--seconds 5] [--runs 5]
"""
import argparse
import os
import statistics
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)


def cpu_of(build, env, count, ms):
    out = subprocess.run(
        [os.path.join(build, "velmaris-measure"), os.path.join(build, "velmaris"), "run",
         os.path.join(HERE, "idle_controls.js"), str(count), str(ms)],
        env=env, check=True, capture_output=True, text=True).stdout.split()
    return float(out[1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--count", type=int, default=5000)
    parser.add_argument("--seconds", type=float, default=5)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        env = dict(os.environ, VELMARIS_REGISTRY=os.path.join(scratch, "classes.reg"))
        subprocess.run([os.path.join(args.build, "velmaris"), "register"], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        waits = []
        for _ in range(args.runs):
            waited = cpu_of(args.build, env, args.count, int(args.seconds * 1000))
            created = cpu_of(args.build, env, args.count, 0)
            waits.append(max(0.0, waited - created))
    print("%d idle FileUpload controls, %.0f s of message loop: %.3f s CPU (median of %d)"
          % (args.count, args.seconds, statistics.median(waits), args.runs))


if __name__ == "__main__":
    main()
