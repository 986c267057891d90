#!/usr/bin/env python3
"""Runs every ```rv block of README.md and compares what it prints with the ```output block
that follows it (CR LF folded to LF)."""
import re
import subprocess
import sys
import tempfile
import os


def main():
    ruvo, readme = sys.argv[1], sys.argv[2]
    text = open(readme, encoding="utf-8").read()
    pairs = re.findall(r"```rv\n(.*?)```\n```output\n(.*?)```", text, re.S)
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for i, (code, want) in enumerate(pairs):
            path = os.path.join(tmp, "snippet%d.rv" % i)
            with open(path, "w", encoding="cp932") as f:
                f.write(code)
            p = subprocess.run([ruvo, path], capture_output=True, timeout=60,
                               env={"PATH": "/usr/bin:/bin", "LC_ALL": "C"})
            got = p.stdout.replace(b"\r\n", b"\n").decode("cp932")
            if got != want or p.stderr:
                failed += 1
                print("FAIL snippet %d:\n%s\ngot %r (stderr %r), expected %r"
                      % (i, code, got, p.stderr, want))
    print("%d snippets, %d failed" % (len(pairs), failed))
    return 1 if failed or not pairs else 0


if __name__ == "__main__":
    sys.exit(main())
