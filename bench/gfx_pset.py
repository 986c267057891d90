#!/usr/bin/env python3
"""1000 pset calls with auto-update in a real window, on an Xvfb of its own.

    python3 bench/gfx_pset.py [--ruvo build/bin/ruvo] [--repeat 5]

Prints the best and the median of the milliseconds the script measured.  The display and
its temporary home are the window tests' own (tests/window/window_test.py).
"""
import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "window"))
import window_test  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ruvo", default=os.path.join(HERE, "..", "build", "bin", "ruvo"))
    ap.add_argument("--repeat", type=int, default=5)
    a = ap.parse_args()
    with open(os.path.join(HERE, "gfx_pset.rv"), encoding="ascii") as f:
        script = f.read()
    s = window_test.Session(os.path.abspath(a.ruvo), None)
    try:
        times = []
        for _ in range(a.repeat):
            rc, out, err = s.finish(s.start(script))
            if rc != 0 or err:
                sys.exit("the script failed: %r" % err)
            times.append(int(out.strip()))
    finally:
        s.close()
    print("gfx_pset: best %d ms, median %d ms of %d runs" % (min(times), statistics.median(times),
                                                          len(times)))


if __name__ == "__main__":
    main()
