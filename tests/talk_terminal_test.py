#!/usr/bin/env python3
"""Talk mode on a terminal, driven through a pseudo-terminal under a UTF-8 locale: Japanese
typed arrives as Shift_JIS and results show as UTF-8, a line with an open brace goes on with
the next one, and the lines typed are kept in ~/.ruvo_history."""
import os
import pty
import select
import sys
import tempfile
import time


def session(ruvo, home, keys):
    env = {"PATH": "/usr/bin:/bin", "HOME": home, "LANG": "C.UTF-8", "TERM": "xterm"}
    pid, fd = pty.fork()
    if pid == 0:
        os.execve(ruvo, [ruvo, "-t"], env)
    out = b""

    def drain(seconds):
        nonlocal out
        end = time.time() + seconds
        while time.time() < end:
            r, _, _ = select.select([fd], [], [], 0.05)
            if r:
                try:
                    out += os.read(fd, 4096)
                except OSError:
                    return

    drain(1.0)
    for k in keys:
        os.write(fd, k)
        drain(0.5)
    os.write(fd, b"\x04")  # Ctrl-D ends the session
    drain(0.5)
    _, status = os.waitpid(pid, 0)
    return out, status


def main():
    ruvo = sys.argv[1]
    nihongo = "日本語".encode()
    with tempfile.TemporaryDirectory() as home:
        out, status = session(ruvo, home, [
            b'jlen("' + nihongo + b'")\r',
            b'"' + nihongo + b'" + 1\r',
            b'function twice(a) {\r', b'return a * 2; }\r', b'twice(21)\r'])
        problems = []
        if b"\r\n3\r" not in out:
            problems.append("typed Japanese did not arrive as three characters")
        if b'"' + nihongo + b'1"' not in out:
            problems.append("the result was not shown as UTF-8")
        if b">>return" not in out or b"\r\n42\r" not in out:
            problems.append("the open brace did not continue on the next line")
        if os.WEXITSTATUS(status) != 0:
            problems.append("Ctrl-D did not end the session cleanly")
        with open(os.path.join(home, ".ruvo_history"), "rb") as f:
            history = f.read()
        if b"twice(21)" not in history or b"jlen" not in history:
            problems.append("the history file lacks the lines typed")
    for p in problems:
        print("FAIL:", p)
    if problems:
        print("session:", out)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
