#!/usr/bin/env python3
"""The start-up scripts init.rv and user.rv beside the launcher.

    startup_test.py LAUNCHER LIBRARY...

The launcher and its libraries are copied into a fresh bin/ and lib/ pair (the launcher finds
its libraries through ../lib and its start-up scripts in its own directory), then each case
writes the start-up scripts it needs and runs a script.
"""
import os
import subprocess
import sys
import tempfile

from private_install import install_launcher

CASES = [
    # name, init.rv, user.rv, script, expected stdout, expected stderr, exit code
    ("both run before the script, in order, and share its globals",
     'print("init"); var from_init = "seen";\n', 'print("user ", from_init);\n',
     'print("main ", from_init); exit(4);\n', b"init\r\nuser seen\r\nmain seen\r\n", b"", 4),
    ("an error ends only the start-up script that raised it",
     'print("init"); error("bad init"); print("not reached");\n', 'print("user");\n',
     'print("main");\n', b"init\r\nuser\r\nmain\r\n", b"error [1]: bad init\r\n", 1),
    ("a start-up script that fails does not make the run fail",
     'break;\n', 'error("bad user");\n', '3;\n',
     b"", b"error [1]: Bad break or continue\r\nerror [1]: bad user\r\n", 3),
    ("exit ends only the start-up script that asked for it",
     'function f() { return "from init"; } exit(7); print("not reached");\n', None,
     'print(f()); exit(0);\n', b"from init\r\n", b"", 0),
    ("missing scripts and a directory named init.rv are skipped silently",
     "DIR", None, 'print("main"); exit(0);\n', b"main\r\n", b"", 0),
]


def main():
    launcher, libs = sys.argv[1], sys.argv[2:]
    failed = 0
    with tempfile.TemporaryDirectory() as root:
        ruvo = install_launcher(root, launcher, libs)
        bindir = os.path.dirname(ruvo)
        for name, init, user, script, out, err, code in CASES:
            for entry, text in (("init.rv", init), ("user.rv", user)):
                path = os.path.join(bindir, entry)
                if os.path.isdir(path):
                    os.rmdir(path)
                elif os.path.exists(path):
                    os.remove(path)
                if text == "DIR":
                    os.mkdir(path)
                elif text is not None:
                    with open(path, "w") as f:
                        f.write(text)
            with open(os.path.join(root, "main.rv"), "w") as f:
                f.write(script)
            p = subprocess.run([ruvo, "main.rv"], cwd=root, capture_output=True, timeout=60)
            if (p.stdout, p.stderr, p.returncode) != (out, err, code):
                failed += 1
                print("FAIL: %s\n  stdout %r\n  stderr %r\n  code %d"
                      % (name, p.stdout, p.stderr, p.returncode))
    print("%d start-up cases, %d failed" % (len(CASES), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
