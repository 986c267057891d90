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
              "fileio", "alloc", "index", "scan"]
OTHERS = [("lua", "lua5.4", ".lua"), ("perl", "perl", ".pl"), ("python", "python3", ".py")]


def debian_program(exe):
    """The distribution's own program (the Debian package the comparison is about) when it
    is installed, else whatever the PATH finds first."""
    own = os.path.join("/usr/bin", exe)
    return own if os.access(own, os.X_OK) else shutil.which(exe)


def run_once(cmd):
    """One run: (seconds, output), or (None, what it printed) when it failed."""
    t = time.perf_counter()
    p = subprocess.run(cmd, capture_output=True, cwd=HERE)
    dt = time.perf_counter() - t
    # a RUVO script's exit code is its last value (print gives 1): judge by the output
    if p.stderr or not p.stdout:
        return None, (p.stdout + p.stderr).decode("latin-1")
    return dt, p.stdout.replace(b"\r\n", b"\n").decode("latin-1").strip()


def run_interleaved(cmds, repeat):
    """Best time and output of each command.  The commands take turns, so that a change of
    load on the machine falls on all of them alike."""
    best = [None] * len(cmds)
    out = [None] * len(cmds)
    failed = [False] * len(cmds)
    for _ in range(repeat):
        for i, cmd in enumerate(cmds):
            if failed[i]:
                continue
            dt, o = run_once(cmd)
            if dt is None:
                failed[i], best[i], out[i] = True, None, o
                continue
            out[i] = o
            best[i] = dt if best[i] is None else min(best[i], dt)
    return best, out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ruvo", default=os.path.join(HERE, "..", "build", "bin", "ruvo"))
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("names", nargs="*")
    args = ap.parse_args()
    names = args.names or BENCHMARKS
    others = [(label, path, ext) for label, exe, ext in OTHERS
              for path in [debian_program(exe)] if path]

    header = "%-10s %9s" % ("benchmark", "ruvo")
    for label, _, _ in others:
        header += " %9s %6s" % (label, "ratio")
    print(header)
    ok = True
    for name in names:
        cmds = [[os.path.abspath(args.ruvo), name + ".rv"]]
        cmds += [[exe, name + ext] for _, exe, ext in others]
        times, outs = run_interleaved(cmds, args.repeat)
        rt, rout = times[0], outs[0]
        line = "%-10s %9s" % (name, "%.3f" % rt if rt is not None else "failed")
        for (label, exe, ext), t, out in zip(others, times[1:], outs[1:]):
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
