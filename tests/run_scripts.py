#!/usr/bin/env python3
"""Runs the end-to-end script tests.

Every tests/scripts/**/NAME.rv is run as `ruvo [ARGS] NAME.rv [MORE]` in its own directory,
where NAME.args (one argument per line, optional) gives the arguments: a line "%SCRIPT%"
stands for the script's name, and without it the script name comes first; a line
"%NOSCRIPT%" leaves the script's name out (for command lines without a script).  NAME.in is fed to
standard input.  Standard output and standard error are compared byte for byte with NAME.out
and NAME.err (missing files mean empty; "%RUVO%" in them stands for the launcher's path), the exit status with NAME.code (missing: 0).
"%RUVO%" in an argument line stands for the launcher's path too.  NAME.env holds KEY=VALUE lines
added to the environment of that run; every run has LC_ALL=C unless NAME.env names LANG or an
LC_ variable.  Directories named "data" hold files the tests use
(scripts, includes, input files) and are not searched for tests.
"""
import os
import subprocess
import sys


def read(path, default=b""):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return default


def main():
    ruvo, root = sys.argv[1], sys.argv[2]
    only = sys.argv[3] if len(sys.argv) > 3 else None
    passed = failed = 0
    for dirpath, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if d != "data")
        files = sorted(files)
        for name in sorted(files):
            if not name.endswith(".rv"):
                continue
            base = os.path.join(dirpath, name[:-3])
            if only and only not in base:
                continue
            args_text = read(base + ".args", None)
            if args_text is None:
                args = [name]
            else:
                text = args_text.decode("utf-8")
                args = [a for a in text.split("\n") if a not in ("", "%NOSCRIPT%")]
                args = [name if a == "%SCRIPT%" else a.replace("%RUVO%", ruvo) for a in args]
                if "%SCRIPT%" not in text and "%NOSCRIPT%" not in text:
                    args = [name] + args
            stdin = read(base + ".in", None)
            # The C locale unless the test names one: the results must not follow the
            # machine's LANG.
            env = {k: v for k, v in os.environ.items()
                   if k not in ("LANG", "LANGUAGE") and not k.startswith("LC_")}
            extra = {}
            for line in read(base + ".env").decode("utf-8").splitlines():
                if "=" in line:
                    key, value = line.split("=", 1)
                    extra[key] = value
            if not any(k == "LANG" or k.startswith("LC_") for k in extra):
                env["LC_ALL"] = "C"
            env.update(extra)
            try:
                p = subprocess.run([ruvo] + args, cwd=dirpath, input=stdin if stdin is not None else b"",
                                   capture_output=True, timeout=60, env=env)
                out, err, code = p.stdout, p.stderr, p.returncode
            except subprocess.TimeoutExpired:
                out, err, code = b"", b"(timeout)", -999
            want_out = read(base + ".out").replace(b"%RUVO%", ruvo.encode())
            want_err = read(base + ".err").replace(b"%RUVO%", ruvo.encode())
            want_code = int(read(base + ".code", b"0").strip() or b"0")
            problems = []
            if out != want_out:
                problems.append("stdout %r, expected %r" % (out[:400], want_out[:400]))
            if err != want_err:
                problems.append("stderr %r, expected %r" % (err[:400], want_err[:400]))
            if code != want_code:
                problems.append("exit status %d, expected %d" % (code, want_code))
            rel = os.path.relpath(base, root)
            if problems:
                failed += 1
                print("FAIL %s" % rel)
                for p_ in problems:
                    print("     " + p_)
            else:
                passed += 1
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
