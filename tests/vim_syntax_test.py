#!/usr/bin/env python3
"""The Vim files for ruvo scripts in a real Vim: a .rv file gets the ruvo file type, its
tokens the right highlight groups, and a Shift_JIS script reads as code page 932 while a
UTF-8 one stays UTF-8, with the user's 'fileencodings' back afterwards.

Usage: vim_syntax_test.py SOURCE_DIR"""
import os
import subprocess
import sys
import tempfile

SAMPLE = '''// a comment TODO
var s = "a\\tb" + 'x\\\\'y';
if (s =~ /a\\/b/i) print($1, $&, @pi, __LINE__);
#include "lib.rv"
x = foo(/re/, 0x1F, 017, 0b101, 1.5e3);
y = a / b / c;
struct(a, b); default: 1;
foreach (var k; keys(h)) { try { screen(1, 2); } catch (e) { return null; } }
var name = """
text "quoted" here
""";
'''

# (line, text searched on it, highlight group at its first byte)
EXPECT = [
    (1, "a comment", "rvComment"), (1, "TODO", "rvTodo"),
    (2, "var", "rvStatement"), (2, '"a', "rvString"), (2, "\\t", "rvEscape"),
    (2, "'x", "rvString"), (2, "y'", "rvString"),
    (3, "if", "rvConditional"), (3, "a\\/", "rvRegex"), (3, "/i", "rvRegexDelim"),
    (3, "print", "rvBuiltin"), (3, "$1", "rvSpecial"), (3, "$&", "rvSpecial"),
    (3, "@pi", "rvConstant"), (3, "__LINE__", "rvConstant"),
    (4, "include", "rvInclude"), (4, '"lib', "rvString"),
    (5, "foo", ""), (5, "re/", "rvRegex"), (5, "0x1F", "rvNumber"), (5, "017", "rvNumber"),
    (5, "0b101", "rvNumber"), (5, "1.5e3", "rvNumber"),
    (6, "b /", ""), (6, "c;", ""),
    (7, "struct", "rvStatement"), (7, "default", "rvLabel"),
    (8, "foreach", "rvRepeat"), (8, "keys", "rvBuiltin"), (8, "try", "rvException"),
    (8, "screen", "rvBuiltin"), (8, "catch", "rvException"), (8, "return", "rvStatement"),
    (8, "null", "rvNull"),
    (10, "quoted", "rvString"), (11, '"""', "rvString"),
]


def vim(source, work, script):
    probe = os.path.join(work, "probe.vim")
    with open(probe, "w") as f:
        f.write("set rtp^=%s\nfiletype plugin on\nsyntax on\n" % os.path.join(source, "editor", "vim"))
        f.write(script + "\nqall!\n")
    env = dict(os.environ, HOME=work, LANG="C.UTF-8")
    env.pop("LC_ALL", None)
    subprocess.run(["vim", "-Nu", "NONE", "-i", "NONE", "-es", "-S", probe], cwd=work, env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=60)
    with open(os.path.join(work, "out.txt"), encoding="utf-8") as f:
        return f.read().splitlines()


def main():
    source = sys.argv[1]
    problems = []
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "t.rv"), "w") as f:
            f.write(SAMPLE)
        lines = SAMPLE.splitlines()
        probes = []
        for line, text, _ in EXPECT:
            probes.append("[%d, %d]" % (line, lines[line - 1].index(text) + 1))
        out = vim(source, work, '''edit t.rv
let out = [&filetype]
for [l, c] in [%s]
  call add(out, synIDattr(synID(l, c, 1), 'name'))
endfor
call writefile(out, 'out.txt')''' % ", ".join(probes))
        if out[0] != "ruvo":
            problems.append("file type %r" % out[0])
        for (line, text, group), got in zip(EXPECT, out[1:]):
            if got != group:
                problems.append("line %d %r: %r, not %r" % (line, text, got, group))

        with open(os.path.join(work, "sjis.rv"), "wb") as f:
            f.write('print("日本語");\n'.encode("cp932"))
        with open(os.path.join(work, "utf8.rv"), "wb") as f:
            f.write('// coding: utf-8\nprint("日本語");\n'.encode())
        out = vim(source, work, '''set fileencodings=ucs-bom,utf-8,latin1
edit sjis.rv
let out = [&fileencoding, getline(1)]
edit utf8.rv
call extend(out, [&fileencoding, getline(2), &fileencodings])
call writefile(out, 'out.txt')''')
        if out[:2] != ["cp932", 'print("日本語");']:
            problems.append("a Shift_JIS script reads as %r" % out[:2])
        if out[2:4] != ["utf-8", 'print("日本語");']:
            problems.append("a UTF-8 script reads as %r" % out[2:4])
        if out[4:] != ["ucs-bom,utf-8,latin1"]:
            problems.append("'fileencodings' afterwards: %r" % out[4:])
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
