#!/usr/bin/env python3
"""Talk mode on a terminal, driven through a pseudo-terminal under a UTF-8 locale: Japanese
typed arrives as Shift_JIS and results show as UTF-8, a line with an open brace goes on with
the next one, the lines typed are kept in ~/.ruvo_history, and Ctrl-C stops the line being
run or typed and the session goes on."""
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


class Terminal:
    """ruvo -t on a pseudo-terminal, read as it writes."""

    def __init__(self, ruvo, home):
        env = {"PATH": "/usr/bin:/bin", "HOME": home, "LANG": "C.UTF-8", "TERM": "xterm"}
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(ruvo, [ruvo, "-t"], env)
        self.out = b""
        self.expect(b">")

    def expect(self, text, timeout=10, anywhere=False):
        """Reads until the output since the last expect ends with TEXT (or holds it,
        ANYWHERE); the seconds taken, or None when it did not come."""
        start = time.time()
        mark = len(self.out)
        while not (text in self.out[mark:] if anywhere else self.out[mark:].endswith(text)):
            left = start + timeout - time.time()
            r, _, _ = select.select([self.fd], [], [], max(0, left))
            if not r:
                return None
            try:
                self.out += os.read(self.fd, 4096)
            except OSError:
                return None
        return time.time() - start

    def send(self, keys, settle=0.3):
        os.write(self.fd, keys)
        time.sleep(settle)  # the line starts running before the next key comes

    def end(self):
        """Ctrl-D; the exit status, or None when the session had to be killed."""
        time.sleep(0.5)  # the editor reads the terminal once it has shown the prompt
        os.write(self.fd, b"\x04")
        end = time.time() + 30  # a loaded machine, the sanitizers' checks at exit
        while time.time() < end:
            self.expect(b"never", timeout=0.1)
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return status
        os.kill(self.pid, 9)
        os.waitpid(self.pid, 0)
        return None


def interrupts(ruvo, home):
    problems = []
    t = Terminal(ruvo, home)

    def interrupt(code):
        """Runs CODE after a line "go", and Ctrl-C once the line shows: the seconds until the
        prompt is back after "^C", or None."""
        t.send(b'print("go\\n"); ' + code + b"\r", settle=0)
        if t.expect(b"\ngo\r", timeout=20, anywhere=True) is None:
            return None
        time.sleep(0.2)
        t.send(b"\x03", settle=0)
        return t.expect(b"^C\r\r\n>")

    if interrupt(b"var n = 0; for (;;) n++;") is None:
        problems.append("Ctrl-C in a running loop did not bring the prompt back")
    t.send(b"n > 0\r", settle=0)
    if t.expect(b"true\r\r\n>") is None:
        problems.append("the session did not go on after Ctrl-C: %r" % t.out[-80:])
    if interrupt(b'try { for (;;) {} } catch (e) { print("caught"); }') is None \
            or b"\ncaught" in t.out:
        problems.append("try/catch stopped the interrupt")
    for call in (b"sleep(100000)", b"getch()", b"gets()"):
        took = interrupt(call)
        if took is None or took > 2:
            problems.append("Ctrl-C during %s: back after %s s" % (call.decode(), took))
    def drop(typed, shown):
        """Types TYPED, and Ctrl-C once SHOWN is on the screen: whether the prompt is back."""
        t.send(typed, settle=0)
        if t.expect(shown) is None:
            return False
        time.sleep(0.5)  # the editor reads the terminal once it has shown the prompt
        t.send(b"\x03", settle=0)
        return t.expect(b"^C\r\r\n>") is not None

    if not drop(b"abc", b"abc"):
        problems.append("Ctrl-C while typing did not drop the line")
    if not drop(b"if (1) {\r", b">>"):
        problems.append("Ctrl-C on a continuation line did not drop the statement")
    t.send(b"6 * 7\r", settle=0)
    if t.expect(b"\r\n42\r\r\n>") is None:
        problems.append("the line after a dropped one: %r" % t.out[-80:])
    status = t.end()
    if status is None or os.WEXITSTATUS(status) != 0:
        problems.append("the session did not end cleanly after the interrupts: %s" % status)
    if problems:
        print("interrupt session:", t.out)
    return problems


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
        if problems:
            print("session:", out)
        problems += interrupts(ruvo, home)
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
