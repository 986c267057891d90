#!/usr/bin/env python3
"""Instructions per script-level unit, RUVO against Lua 5.4, Perl and Python, by callgrind.

Each unit runs at two sizes; (Ir(big) - Ir(small)) / (units(big) - units(small)) removes
start-up, so the figure is the cost of one call, one iteration, one word, one line.
Start-up is the whole count of an empty program. Exact counts, so stable on a noisy machine.

  units.py --bin RUVO [--bin OTHER_RUVO ...] [--peers] [-k UNIT] [--json FILE] [--wall N]

With --wall N the units are also timed: N rounds in which every interpreter runs the small
and the big program in turn; the figure is the median over the rounds of
(t(big) - t(small)) / (units(big) - units(small)) in nanoseconds (start-up: the median time
of the empty program in microseconds).  Give two --bin to compare builds run for run.
"""
import argparse, json, os, re, statistics, subprocess, sys, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))

# unit -> (sizes, program per language with {n}); units(n) counts the unit at size n
FIB = {
    'rv': 'function fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\nprint(fib({n}));\n',
    'lua': 'local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\nprint(fib({n}))\n',
    'pl': 'sub fib { my $n = shift; return $n if $n < 2; return fib($n - 1) + fib($n - 2); }\nprint fib({n}), "\\n";\n',
    'py': 'def fib(n):\n    if n < 2: return n\n    return fib(n - 1) + fib(n - 2)\nprint(fib({n}))\n',
}
LOOP = {
    'rv': 's = 0;\nfor (i = 0; i < {n}; i++) s = s + i % 7;\nprint(s);\n',
    'lua': 'local s = 0\nfor i = 0, {n} - 1 do s = s + i % 7 end\nprint(s)\n',
    'pl': 'my $s = 0;\nfor (my $i = 0; $i < {n}; $i++) { $s = $s + $i % 7; }\nprint "$s\\n";\n',
    'py': 's = 0\nfor i in range({n}): s = s + i % 7\nprint(s)\n',
}
WORDS = {
    'rv': 'f = open("words.txt", "r"); h = hash(); k = 0;\nwhile ((l = gets(f)) != "") { if (k++ >= {n}) break; foreach (var w in split(chomp(l), " ")) { if (key(h, w)) h[w] = h[w] + 1; else h[w] = 1; } }\nprint(len(keys(h)));\n',
    'lua': 'local h = {} local k = 0\nfor l in io.lines("words.txt") do if k >= {n} then break end k = k + 1 for w in l:gmatch("[^ ]+") do h[w] = (h[w] or 0) + 1 end end\nlocal c = 0 for _ in pairs(h) do c = c + 1 end print(c)\n',
    'pl': 'open(my $f, "<", "words.txt"); my %h; my $k = 0;\nwhile (my $l = <$f>) { last if $k++ >= {n}; chomp $l; for my $w (split / /, $l) { $h{$w}++; } }\nprint scalar(keys %h), "\\n";\n',
    'py': 'h = {}\nwith open("words.txt") as f:\n    for k, l in enumerate(f):\n        if k >= {n}: break\n        for w in l.rstrip("\\n").split(" "):\n            h[w] = h.get(w, 0) + 1\nprint(len(h))\n',
}
REGEX = {
    'rv': 'f = open("words.txt", "r"); k = 0; c = 0; t = 0;\nwhile ((l = gets(f)) != "") { if (k++ >= {n}) break; if (l =~ /(\\w+)ing\\b/) c++; t += len(gsub(l, /[aeiou]/, "")); }\nprint(c, " ", t);\n',
    'lua': 'local k, c, t = 0, 0, 0\nfor l in io.lines("words.txt") do if k >= {n} then break end k = k + 1 l = l .. "\\n" if l:find("%w+ing%f[%W]") then c = c + 1 end local s = l:gsub("[aeiou]", "") t = t + #s end\nprint(c .. " " .. t)\n',
    'pl': 'open(my $f, "<", "words.txt"); my ($k, $c, $t) = (0, 0, 0);\nwhile (my $l = <$f>) { last if $k++ >= {n}; $c++ if $l =~ /(\\w+)ing\\b/; (my $s = $l) =~ s/[aeiou]//g; $t += length($s); }\nprint "$c $t\\n";\n',
    'py': 'import re\nr1 = re.compile(r"(\\w+)ing\\b"); r2 = re.compile(r"[aeiou]")\nc = t = 0\nwith open("words.txt") as f:\n    for k, l in enumerate(f):\n        if k >= {n}: break\n        if r1.search(l): c += 1\n        t += len(r2.sub("", l))\nprint(c, t)\n',
}
EMPTY = {'rv': '1;\n', 'lua': '', 'pl': '', 'py': ''}


def fib_calls(n):
    a, b = 1, 1  # calls(0) = calls(1) = 1; calls(n) = 1 + calls(n-1) + calls(n-2)
    for _ in range(n - 1):
        a, b = b, 1 + a + b
    return b if n >= 1 else 1


UNITS = {
    'fib call': (FIB, (18, 22), fib_calls),
    'loop iteration': (LOOP, (100000, 400000), lambda n: n),
    'word': (WORDS, (5000, 20000), None),     # counted from the data
    'regex line': (REGEX, (5000, 20000), lambda n: n),
    'start-up': (EMPTY, None, None),
}
PEERS = {'lua': ['lua5.4'], 'pl': ['perl'], 'py': ['/usr/bin/python3' if os.path.exists('/usr/bin/python3') else 'python3']}


def callgrind(cmd, cwd):
    out = os.path.join(cwd, 'cg.out')
    p = subprocess.run(['valgrind', '--tool=callgrind', '--dump-instr=no', '--callgrind-out-file=' + out] + cmd,
                       cwd=cwd, capture_output=True, timeout=1200)
    ir = None
    for line in open(out):
        m = re.match(r'^(?:summary|totals): (\d+)', line)
        if m:
            ir = int(m.group(1)); break
    os.unlink(out)
    return ir, p.stdout.decode('latin1').strip()


def words_in(path, n):
    c = 0
    with open(path) as f:
        for k, l in enumerate(f):
            if k >= n: break
            c += len(l.rstrip('\n').split(' '))
    return c


def timed(rounds, langs, progs, sizes, count, work, bins):
    """Median wall-clock cost per unit (ns), or of the empty program (us), over interleaved rounds."""
    def prog(lang, n):
        plang = 'rv' if lang in bins else lang
        name = f'w{n}.{plang}'
        open(os.path.join(work, name), 'w').write(progs[plang].replace('{n}', str(n)))
        exe = [os.path.abspath(bins[lang])] if lang in bins else PEERS[lang]
        return exe + [name]
    def once(cmd):
        t = time.perf_counter()
        subprocess.run(cmd, cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return time.perf_counter() - t
    if sizes is None:
        cmds = {l: prog(l, 0) for l in langs}
        samples = {l: [] for l in langs}
        for _ in range(rounds):
            for l in langs:
                samples[l].append(once(cmds[l]) * 1e6)
        return {l: statistics.median(v) for l, v in samples.items()}
    if count is None:
        u1, u2 = (words_in(os.path.join(work, 'words.txt'), s) for s in sizes)
    else:
        u1, u2 = count(sizes[0]), count(sizes[1])
    cmds = {l: (prog(l, sizes[0]), prog(l, sizes[1])) for l in langs}
    samples = {l: [] for l in langs}
    for _ in range(rounds):
        for l in langs:
            small, big = cmds[l]
            t1 = once(small)
            t2 = once(big)
            samples[l].append((t2 - t1) / (u2 - u1) * 1e9)
    return {l: statistics.median(v) for l, v in samples.items()}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--bin', required=True, action='append')
    ap.add_argument('--peers', action='store_true', help='also measure Lua, Perl, Python')
    ap.add_argument('-k', action='append', help='only these units (substring)')
    ap.add_argument('--json')
    ap.add_argument('--wall', type=int, default=0, help='also time N interleaved rounds')
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix='units-')
    subprocess.run([sys.executable, os.path.join(HERE, 'gen_words.py'), os.path.join(work, 'words.txt')], check=True)
    bins = {('rv' if i == 0 else f'rv{i + 1}'): b for i, b in enumerate(a.bin)}
    PEERS.update({k: [os.path.abspath(b)] for k, b in bins.items() if k != 'rv'})
    PROG_LANG = {k: 'rv' for k in bins}
    PROG_LANG.update({k: k for k in ('lua', 'pl', 'py')})
    langs = list(bins) + (['lua', 'pl', 'py'] if a.peers else [])
    result = {}
    for unit, (progs, sizes, count) in UNITS.items():
        if a.k and not any(k in unit for k in a.k):
            continue
        row = {}
        for lang in langs:
            exe = [os.path.abspath(a.bin[0])] if lang == 'rv' else PEERS[lang]
            plang = PROG_LANG[lang]
            def write(n):
                name = f'u{n}.{plang}'
                open(os.path.join(work, name), 'w').write(progs[plang].replace('{n}', str(n)))
                return name
            def run(n):
                return callgrind(exe + [write(n)], work)
            if sizes is None:
                row[lang] = run(0)[0]
                continue
            (ir1, o1), (ir2, o2) = run(sizes[0]), run(sizes[1])
            if count is None:
                u1, u2 = (words_in(os.path.join(work, 'words.txt'), s) for s in sizes)
            else:
                u1, u2 = count(sizes[0]), count(sizes[1])
            row[lang] = (ir2 - ir1) / (u2 - u1)
        result[unit] = row
        print(f'{unit:15s} ' + '  '.join(f'{l} {row[l]:>12,.0f}' for l in langs), flush=True)
        if a.wall:
            wall = timed(a.wall, langs, progs, sizes, count, work, bins)
            result[unit + ' (wall)'] = wall
            print(f'{"  wall":15s} ' + '  '.join(f'{l} {wall[l]:>12,.1f}' for l in langs), flush=True)
    if a.json:
        json.dump(result, open(a.json, 'w'), indent=1)


if __name__ == '__main__':
    main()
