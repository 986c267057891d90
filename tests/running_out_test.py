#!/usr/bin/env python3
"""Running out: of memory while a script is parsed, of disk space while files are edited in
place, of room on standard output.

    running_out_test.py LAUNCHER LIBRARY... [--sanitized]

Each case runs the launcher in a child process under a resource limit: an address-space limit
(RLIMIT_AS) for memory, a file-size limit (RLIMIT_FSIZE, with SIGXFSZ ignored so that a write
past it fails with EFBIG) for a full disk, /dev/full for standard output.  The sanitizers
reserve more address space than any such limit allows, so under --sanitized the memory cases
are skipped (the allocation-failure sweep of tests/host covers that build).
"""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile

from private_install import install_launcher

MEMORY_LIMIT = 120000 * 1024  # bytes, as `ulimit -v 120000`
OOM = b"error: Out of memory\r\n"
failures = []


def run(args, cwd, stdin=b"", memory=None, fsize=None, stdout=subprocess.PIPE, stderr=subprocess.PIPE):
    def limits():
        if memory:
            resource.setrlimit(resource.RLIMIT_AS, (memory, memory))
        if fsize is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))
    env = {k: v for k, v in os.environ.items() if k != "LANG" and not k.startswith("LC_")}
    env["LC_ALL"] = "C"
    return subprocess.run(args, cwd=cwd, input=stdin, stdout=stdout, stderr=stderr,
                          preexec_fn=limits, env=env, timeout=120)


def check(name, got, want):
    if got != want:
        failures.append("%s: got %r, expected %r" % (name, got, want))
        print("FAIL", name)
    else:
        print("ok  ", name)


def write(path, text):
    with open(path, "wb") as f:
        f.write(text)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def memory_cases(ruvo, root):
    big = os.path.join(root, "big.rv")
    with open(big, "w") as f:
        for i in range(1000000):
            f.write("x%d = %d + 1;\n" % (i, i))
    for opts in ([], ["-N"]):
        p = run([ruvo] + opts + ["big.rv"], root, memory=MEMORY_LIMIT)
        check("a million-line script %s" % opts, (p.stdout, p.stderr, p.returncode), (b"", OOM, 255))
    p = run([ruvo, "-N", "/dev/zero"], root, memory=MEMORY_LIMIT)
    check("-N /dev/zero", (p.stdout, p.stderr, p.returncode), (b"", OOM, 255))
    # Talk mode goes on after a .load that ran out of memory, and the exit status is the
    # script's.
    for opts in ([], ["-N"]):
        p = run([ruvo, "-t"] + opts, root, stdin=b".load\n/dev/zero\n1+2\n", memory=MEMORY_LIMIT)
        check(".load /dev/zero %s" % opts, (p.stdout, p.stderr, p.returncode),
              (b">File name: >3\r\n>", OOM, 0))
    # A start-up script that runs out of memory ends only itself.
    bindir = os.path.join(root, "bin")
    shutil.copy(big, os.path.join(bindir, "init.rv"))
    write(os.path.join(root, "main.rv"), b'print("main"); 7;\n')
    p = run([os.path.join(bindir, "ruvo"), "main.rv"], root, memory=MEMORY_LIMIT)
    check("init.rv too large for memory", (p.stdout, p.stderr, p.returncode), (b"main\r\n", OOM, 7))
    os.remove(os.path.join(bindir, "init.rv"))


LINE = b"x" * 99 + b"\n"  # 101 bytes once written with CR LF
COPY = b'while (!eof()) { var l = gets(); if (l != "") puts(l); }\nputs(stderr, "done\\n");\nexit(0);\n'


def disk_cases(ruvo, root):
    d = os.path.join(root, "disk")
    os.mkdir(d)
    write(os.path.join(d, "copy.rv"), COPY)
    # A write that fails in the middle: the script ends with the error, the file is its old
    # self again (its backup renamed back), and the next file is not touched.
    a, b = LINE * 400, LINE * 5
    write(os.path.join(d, "a.txt"), a)
    write(os.path.join(d, "b.txt"), b)
    p = run([ruvo, "-x", "copy.rv", "a.txt", "b.txt"], d, fsize=29000)
    check("in place: a write fails", (p.stdout, p.stderr, p.returncode),
          (b"", b"error: Cannot write output file a.txt\r\n", 255))
    check("in place: the original is back", (read(os.path.join(d, "a.txt")), read(os.path.join(d, "b.txt"))), (a, b))
    check("in place: no backup is left", sorted(os.listdir(d)), ["a.txt", "b.txt", "copy.rv"])

    # The first file fits, the second does not: the first keeps its new text and its backup.
    write(os.path.join(d, "a.txt"), LINE * 5)
    write(os.path.join(d, "b.txt"), a)
    p = run([ruvo, "-x", "copy.rv", "a.txt", "b.txt"], d, fsize=29000)
    check("in place: the second file fails", (p.stderr, p.returncode),
          (b"error: Cannot write output file b.txt\r\n", 255))
    check("in place: the first is rewritten", (read(os.path.join(d, "a.txt")), read(os.path.join(d, "a.txt.bak"))),
          (LINE.replace(b"\n", b"\r\n") * 5, LINE * 5))
    check("in place: the second is back", read(os.path.join(d, "b.txt")), a)
    os.remove(os.path.join(d, "a.txt.bak"))

    # The last piece of the file goes out when it is closed at shut-down (28672 bytes were
    # flushed on the way, 725 more do not fit): the message comes at the end and the exit
    # status is 255, not the script's 0.
    c = LINE * 291
    write(os.path.join(d, "c.txt"), c)
    p = run([ruvo, "-x", "copy.rv", "c.txt"], d, fsize=29000)
    check("in place: the close at shut-down fails", (p.stdout, p.stderr, p.returncode),
          (b"", b"done\r\nerror: Cannot write output file c.txt\r\n", 255))
    check("in place: the original is back after shut-down", read(os.path.join(d, "c.txt")), c)

    # The error can be caught; flush() and close() report it as well.
    write(os.path.join(d, "c.txt"), c)
    write(os.path.join(d, "catch.rv"),
          b'try { while (!eof()) puts(gets()); flush(stdout); } catch (var e) { puts(stderr, e + "\\n"); }\n'
          b'puts(stderr, print("lost") ? "true\\n" : "false\\n"); exit(4);\n')
    p = run([ruvo, "-x", "catch.rv", "c.txt"], d, fsize=29000)
    check("in place: flush fails, the error is caught", (p.stderr, p.returncode),
          (b"error: Cannot write output file c.txt\r\nfalse\r\n", 4))
    check("in place: the original is back after flush", read(os.path.join(d, "c.txt")), c)

    # Without a limit the same edits succeed.
    p = run([ruvo, "-x", "copy.rv", "c.txt"], d)
    check("in place: room enough", (p.stderr, p.returncode, read(os.path.join(d, "c.txt")), read(os.path.join(d, "c.txt.bak"))),
          (b"done\r\n", 0, c.replace(b"\n", b"\r\n"), c))


def stdout_cases(ruvo, root):
    full = open("/dev/full", "wb")
    cannot = b"error: Cannot write standard output\r\n"
    write(os.path.join(root, "main7.rv"), b'function main() { print("hello"); return 7; }\n')
    for args in (["-e", 'print("hello");'], ["-e", 'print("hello"); exit(3);'], ["main7.rv"]):
        p = run([ruvo] + args, root, stdout=full)
        check("standard output full: %s" % args, (p.stderr, p.returncode), (cannot, 255))
    # print() gives false once a write has failed, and the failure is reported once.
    p = run([ruvo, "-e", 'var s = "x"; for (var i = 0; i < 14; i++) s += s; '
             'if (!print(s)) puts(stderr, "false\\n"); print(s);'], root, stdout=full)
    check("standard output full: print gives false", (p.stderr, p.returncode), (b"false\r\n" + cannot, 255))
    # Talk mode's prompts and results count as well.
    p = run([ruvo, "-t"], root, stdin=b"1+2\n", stdout=full)
    check("standard output full: talk mode", (p.stderr, p.returncode), (cannot, 255))
    p = run([ruvo, "--version"], root, stdout=full)
    check("standard output full: --version", (p.stderr, p.returncode), (cannot, 255))
    # A read from standard output is no failed write.
    out = os.path.join(root, "written.txt")
    with open(out, "wb") as f:
        p = run([ruvo, "-e", 'gets(stdout); print("x"); 0;'], root, stdout=f)
    check("a read from standard output", (p.stderr, p.returncode, read(out)), (b"", 0, b"x\r\n"))
    # Standard error full: nothing can be said, the status tells.
    p = run([ruvo, "-e", 'puts(stderr, "x\\n"); print("out"); 0;'], root, stderr=full)
    check("standard error full", (p.stdout, p.returncode), (b"out\r\n", 255))
    p = run([ruvo, "-e", 'error("bad");'], root, stderr=full)
    check("standard error full: a script error", (p.stdout, p.returncode), (b"", 255))
    full.close()
    # A reader that has gone ends the writer by SIGPIPE, quietly, also when SIGPIPE was
    # ignored by whoever started it.
    for ignore in (False, True):
        def start():
            if ignore:
                signal.signal(signal.SIGPIPE, signal.SIG_IGN)
        proc = subprocess.Popen([ruvo, "-e", 'for (;;) print("y");'], cwd=root, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, preexec_fn=start)
        proc.stdout.read(10)
        proc.stdout.close()
        err = proc.stderr.read()
        proc.wait(timeout=60)
        check("closed pipe (SIGPIPE ignored: %s)" % ignore, (err, proc.returncode), (b"", -signal.SIGPIPE))


def main():
    args = sys.argv[1:]
    sanitized = "--sanitized" in args
    args = [a for a in args if a != "--sanitized"]
    launcher, libs = args[0], args[1:]
    with tempfile.TemporaryDirectory() as root:
        ruvo = install_launcher(root, launcher, libs)
        if sanitized:
            print("skip memory cases: the sanitizers cannot run under an address-space limit")
        else:
            memory_cases(ruvo, root)
        disk_cases(ruvo, root)
        stdout_cases(ruvo, root)
    if failures:
        print("\n".join(failures))
        sys.exit(1)


if __name__ == "__main__":
    main()
