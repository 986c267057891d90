#!/usr/bin/env python3
"""Runs the benchmark suite: the same work written in RUVO, Lua 5.4, Perl 5 and Python 3.

    python3 bench/run.py [--ruvo build/bin/ruvo] [--repeat 3] [name ...]

Every program of one benchmark must print the same result (line ends aside); the table gives
the best wall-clock time of each and the ratio RUVO/other (below 1: RUVO is faster).  Not part
of the test suite: timings on shared machines are noise.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BENCHMARKS = ["fib", "loop", "join", "concat", "sort_num", "sort_cmp", "words", "regex",
              "fileio", "alloc", "index"]
OTHERS = [("lua", "lua5.4", ".lua"), ("perl", "perl", ".pl"), ("python", "python3", ".py")]


def run(cmd, repeat):
    best, out = None, None
    for _ in range(repeat):
        t = time.perf_counter()
        p = subprocess.run(cmd, capture_output=True, cwd=HERE)
        dt = time.perf_counter() - t
        # a RUVO script's exit code is its last value (print gives 1): judge by the output
        if p.stderr or not p.stdout:
            return None, (p.stdout + p.stderr).decode("latin-1")
        out = p.stdout.replace(b"\r\n", b"\n").decode("latin-1").strip()
        best = dt if best is None else min(best, dt)
    return best, out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ruvo", default=os.path.join(HERE, "..", "build", "bin", "ruvo"))
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("names", nargs="*")
    args = ap.parse_args()
    names = args.names or BENCHMARKS
    others = [(label, exe, ext) for label, exe, ext in OTHERS if shutil.which(exe)]

    header = "%-10s %9s" % ("benchmark", "ruvo")
    for label, _, _ in others:
        header += " %9s %6s" % (label, "ratio")
    print(header)
    ok = True
    for name in names:
        rt, rout = run([os.path.abspath(args.ruvo), name + ".rv"], args.repeat)
        line = "%-10s %9s" % (name, "%.3f" % rt if rt is not None else "failed")
        for label, exe, ext in others:
            t, out = run([exe, name + ext], args.repeat)
            if t is None or rt is None:
                line += " %9s %6s" % ("failed" if t is None else "%.3f" % t, "-")
                ok = False
                continue
            mark = "" if out == rout else "!"
            if mark:
                ok = False
            line += " %9.3f %6.2f%s" % (t, rt / t, mark)
        print(line)
        sys.stdout.flush()
    if not ok:
        print("\n! marks a result that differs from RUVO's; 'failed' a program that did not run")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
