#!/usr/bin/env python3
"""Runs every example of examples/ the way its comment says and checks what it prints (and,
for the in-place edit, the files it leaves)."""
import os
import shutil
import subprocess
import sys
import tempfile


def run(ruvo, args, cwd):
    env = {"PATH": "/usr/bin:/bin", "LC_ALL": "C", "TMPDIR": cwd}
    p = subprocess.run([ruvo] + args, cwd=cwd, capture_output=True, timeout=60, env=env)
    return p.stdout.replace(b"\r\n", b"\n").decode("cp932"), p.stderr, p.returncode


def main():
    ruvo, examples = sys.argv[1], sys.argv[2]
    problems = []

    def check(name, got, want):
        if got != want:
            problems.append("%s: got %r, expected %r" % (name, got, want))

    with tempfile.TemporaryDirectory() as tmp:
        ex = lambda n: os.path.join(examples, n)
        out, err, code = run(ruvo, [ex("encodings.rv"), "japanese.txt"], tmp)
        text = open(ex("japanese.txt"), encoding="utf-8").read()
        check("encodings", out, "sjis   %4d bytes\neuc    %4d bytes\nutf16  %4d bytes\n"
              "back   %4d bytes\nround trip exact\n" % (
                  len(text.encode("cp932")), len(text.encode("euc_jp")),
                  len(text.encode("utf-16-le")) + 2, len(text.encode("utf-8"))))

        out, err, code = run(ruvo, [ex("wordcount.rv"), "sample.txt"], tmp)
        check("wordcount", out.splitlines()[0], "    4 the")

        out, err, code = run(ruvo, [ex("logsum.rv"), "access.log"], tmp)
        check("logsum", out, "status requests      bytes\n"
              "   200        3       3072\n   206        1    1048576\n"
              "   403        1         64\n   404        1        128\n")

        out, err, code = run(ruvo, [ex("csvreport.rv"), "staff.csv"], tmp)
        check("csvreport", [l.split() for l in out.splitlines()], [
            ["Admin", "Ito", "350000"], ["total", "350000"],
            ["Dev", "Suzuki", "510000"], ["Dev", "Takahashi", "480000"], ["total", "990000"],
            ["Sales", "Sato", "420000"], ["Sales", "Tanaka", "390000"], ["total", "810000"]])

        d = os.path.join(tmp, "sizes")
        os.mkdir(d)
        os.mkdir(os.path.join(d, "sub"))
        for n, size in (("a", 4), ("b", 2), ("c", 8), ("d", 2)):
            with open(os.path.join(d, n), "wb") as f:
                f.write(b"x" * size)
        out, err, code = run(ruvo, [ex("bysize.rv"), "-a", d], tmp)
        check("bysize", [l.split() for l in out.splitlines()],
              [["8", "c"], ["4", "a"], ["2", "b"], ["2", "d"], ["16", "total", "in", "4", "files"]])

        out, err, code = run(ruvo, [ex("header.rv")], tmp)
        check("header", out, "wrote 24 bytes (pksize 24)\n"
              "magic 52555630 version 2 count 1000 scale 0.25\nname sample\n")

        shutil.copy(ex("inplace.rv"), tmp)
        for n, body in (("n1.txt", b"the colour red\r\nplain\r\n"), ("n2.txt", b"colour\r\n"),
                        ("n1.txt.bak", b"older backup\r\n")):
            with open(os.path.join(tmp, n), "wb") as f:
                f.write(body)
        out, err, code = run(ruvo, ["-x", "inplace.rv", "n1.txt", "n2.txt"], tmp)
        check("inplace status", (err, code), (b"2 lines changed\r\n", 0))
        read = lambda n: open(os.path.join(tmp, n), "rb").read()
        check("inplace n1", read("n1.txt"), b"the color red\r\nplain\r\n")
        check("inplace n2", read("n2.txt"), b"color\r\n")
        check("inplace backups", (read("n1.txt.0.bak"), read("n2.txt.bak"), read("n1.txt.bak")),
              (b"the colour red\r\nplain\r\n", b"colour\r\n", b"older backup\r\n"))

    for p in problems:
        print("FAIL", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
