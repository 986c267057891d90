#!/usr/bin/env python3
"""The graphics window on a display of its own.

Usage: window_test.py RUVO CLOSE_WINDOW [TEST ...]

Starts one Xvfb for the whole program (its display number chosen by the server, so that
several test programs can run at once), runs scripts with the launcher RUVO and drives the
window with xdotool, xwininfo, xclip and ImageMagick's import; CLOSE_WINDOW asks a window to
close as a window manager would.  Each run gets a temporary HOME and XDG directories and
NO_AT_BRIDGE=1.  Without TEST names every test but "example" runs.
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

SRC = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# Fixed pauses (a menu mapping, a dialog taking keys) stretch under the sanitizers, which run
# with ASAN_OPTIONS set in the test command.
SLOW = 3 if os.environ.get("ASAN_OPTIONS") else 1


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


class Session:
    def __init__(self, ruvo, close_helper):
        self.ruvo = ruvo
        self.close_helper = close_helper
        self.tmp = tempfile.mkdtemp(prefix="ruvo-window-")
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        # The server writes the number and then a newline: the pipe stays open until both
        # are read, or the server dies of the failed write.
        number = b""
        end = time.time() + 20
        while not number.endswith(b"\n") and time.time() < end:
            ready, _, _ = select.select([r], [], [], max(0, end - time.time()))
            chunk = os.read(r, 64) if ready else b""
            if not chunk:
                break
            number += chunk
        os.close(r)
        number = number.strip()
        if not number:
            self.xvfb.kill()
            raise RuntimeError("Xvfb did not start")
        self.env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        home = os.path.join(self.tmp, "home")
        runtime = os.path.join(self.tmp, "runtime")
        for d in (home, runtime):
            os.makedirs(d, mode=0o700)
        self.env.update(DISPLAY=":" + number.decode(), NO_AT_BRIDGE="1", HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_DATA_HOME=os.path.join(home, ".local/share"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"),
                        XDG_RUNTIME_DIR=runtime, GTK_A11Y="none",
                        # no session bus here: the file chooser keeps its settings in memory
                        GSETTINGS_BACKEND="memory")
        lsan = os.path.join(SRC, "tests", "window", "lsan.supp")
        extra = "suppressions=%s:print_suppressions=0" % lsan
        self.env["LSAN_OPTIONS"] = (self.env.get("LSAN_OPTIONS", "") + ":" + extra).lstrip(":")

    def close(self):
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # ---- scripts ----

    def start(self, text, env=None, name="t.rv"):
        path = os.path.join(self.tmp, name)
        with open(path, "wb") as f:
            f.write(text.encode("cp932"))
        return subprocess.Popen([self.ruvo, path], cwd=self.tmp, env=env or self.env,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def line(self, proc, timeout=20):
        """The next line the script prints (without CR LF)."""
        out = b""
        end = time.time() + timeout
        while not out.endswith(b"\n"):
            ready, _, _ = select.select([proc.stdout], [], [], max(0, end - time.time()))
            if not ready:
                raise Failure("the script printed nothing in %d s (so far %r)" % (timeout, out))
            c = os.read(proc.stdout.fileno(), 1)
            if not c:
                raise Failure("the script ended early: %r %r" % (out, proc.stderr.read()))
            out += c
        return out.rstrip(b"\r\n").decode("cp932")

    def send(self, proc, text="go"):
        proc.stdin.write(text.encode() + b"\n")
        proc.stdin.flush()

    def finish(self, proc, timeout=20):
        try:
            out, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
            raise Failure("the script did not end within %d s" % timeout)
        return proc.returncode, out, err

    # ---- the display ----

    def x(self, *args, check_rc=True):
        r = subprocess.run(list(args), env=self.env, capture_output=True, timeout=30)
        if check_rc and r.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(args), r.stderr.decode(errors="replace")))
        return r.stdout.decode(errors="replace")

    def windows(self, title):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                           env=self.env, capture_output=True, timeout=30)
        return [int(w) for w in r.stdout.split()]

    def window(self, title, timeout=10):
        end = time.time() + timeout
        while time.time() < end:
            found = self.windows(title)
            if found:
                return found[-1]
            time.sleep(0.05)
        r = subprocess.run(["xdotool", "search", "--name", "."], env=self.env,
                           capture_output=True, timeout=30)
        names = [self.title(int(w)) for w in r.stdout.split()]
        raise Failure("no window titled %r among %r" % (title, names))

    def gone(self, title, timeout=10):
        end = time.time() + timeout
        while time.time() < end:
            if not self.windows(title):
                return
            time.sleep(0.05)
        raise Failure("the window titled %r stays" % title)

    def gone_id(self, title, wid, timeout=10):
        if not wait_for(lambda: wid not in self.windows(title), timeout):
            raise Failure("the window %d titled %r stays" % (wid, title))

    def title(self, wid):
        return self.x("xdotool", "getwindowname", str(wid)).strip()

    def size(self, wid):
        info = self.x("xwininfo", "-id", str(wid))
        fields = dict(l.strip().split(":", 1) for l in info.splitlines() if ":" in l)
        return int(fields["Width"]), int(fields["Height"])

    def screenshot(self, wid):
        """The window's pixels: (width, height, RGB bytes top-down)."""
        data = subprocess.run(["/usr/bin/import", "-window", str(wid), "-depth", "8", "ppm:-"],
                              env=self.env, capture_output=True, timeout=30).stdout
        return parse_ppm(data)

    def choose_from_popup(self, wid, key, done):
        """Right click, then the menu entry by its mnemonic KEY, until DONE() holds.  A loaded
        machine (the sanitizer build under ctest -j) may map the menu late and lose the key:
        then the menu is dismissed and the click tried again, with a longer pause each time."""
        for attempt in range(1, 5):
            self.x("xdotool", "mousemove", "--window", str(wid), "30", "30")
            self.x("xdotool", "click", "3")
            time.sleep(0.5 * attempt * SLOW)
            self.x("xdotool", "key", key)
            if wait_for(done, 3 * SLOW):
                return True
            self.x("xdotool", "key", "Escape", check_rc=False)
            time.sleep(0.3 * SLOW)
        return False

    def open_save_dialog(self, wid):
        if not self.choose_from_popup(wid, "s", lambda: self.windows("Save image as")):
            raise Failure("the popup's save entry opened no dialog")
        return self.window("Save image as")

    def clipboard(self, target=None):
        """The clipboard's content as TARGET, or the list of its targets; None when it has
        no owner or not that target."""
        args = ["xclip", "-selection", "clipboard", "-o", "-t", target or "TARGETS"]
        r = subprocess.run(args, env=self.env, capture_output=True, timeout=30)
        if r.returncode != 0:
            return None
        return r.stdout if target else r.stdout.decode(errors="replace").split()

    def save_through_popup(self, wid, name):
        """The save dialog through the popup, the name typed, Enter."""
        dialog = self.open_save_dialog(wid)
        time.sleep(0.5 * SLOW)
        self.x("xdotool", "windowfocus", "--sync", str(dialog))
        self.x("xdotool", "key", "ctrl+a")
        self.x("xdotool", "type", "--delay", "20", name)
        time.sleep(0.3 * SLOW)
        self.x("xdotool", "key", "Return")
        return dialog


def parse_ppm(data):
    parts = []
    i = 0
    while len(parts) < 4:
        while data[i:i + 1].isspace():
            i += 1
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        parts.append(data[i:j])
        i = j
    i += 1
    check(parts[0] == b"P6" and parts[3] == b"255", "screenshot is not an 8-bit PPM")
    w, h = int(parts[1]), int(parts[2])
    return w, h, data[i:i + 3 * w * h]


def read_bmp(path):
    """A 24-bit bottom-up BMP as (width, height, RGB bytes top-down, header bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:2] == b"BM", "not a BMP file")
    w = int.from_bytes(data[18:22], "little")
    h = int.from_bytes(data[22:26], "little")
    stride = (w * 3 + 3) & ~3
    check(len(data) == 54 + stride * h, "BMP size %d for %dx%d" % (len(data), w, h))
    rows = []
    for y in range(h):
        row = data[54 + (h - 1 - y) * stride:54 + (h - 1 - y) * stride + 3 * w]
        rows.append(bytes(b for k in range(0, 3 * w, 3) for b in (row[k + 2], row[k + 1], row[k])))
    return w, h, b"".join(rows), data[:54]


def pixel(shot, x, y):
    w, _, px = shot
    return tuple(px[3 * (y * w + x):3 * (y * w + x) + 3])


def wait_for(cond, timeout=10):
    end = time.time() + timeout
    while time.time() < end:
        if cond():
            return True
        time.sleep(0.05)
    return False


DRAWING = r'''
screen(320, 200);
cls(0, 0, 64);
color("#FF0000"); fill(10, 10, 100, 50);
color(0, 255, 0); circle(160, 100, 50); line(0, 199, 319, 0);
color(255, 255, 0); gprint(10, 120, "Hello, 日本語");
update();
print("ready"); flush(stdout);
'''


def test_window_picture_title_and_save(s):
    p = s.start(DRAWING + r'''
gets();
screen(200, 100);
print("again ", screen()); flush(stdout);
gets();
exit(3);
''')
    check(s.line(p) == "ready", "no ready")
    wid = s.window("Graphics")
    check(s.size(wid) == (320, 200), "client area %r" % (s.size(wid),))
    shot = s.screenshot(wid)
    check(shot[:2] == (320, 200), "screenshot size %r" % (shot[:2],))
    check(pixel(shot, 20, 20) == (255, 0, 0), "fill: %r" % (pixel(shot, 20, 20),))
    check(pixel(shot, 5, 5) == (0, 0, 64), "cls: %r" % (pixel(shot, 5, 5),))
    check(pixel(shot, 0, 199) == (0, 255, 0), "line end: %r" % (pixel(shot, 0, 199),))
    check(any(pixel(shot, x, y) == (255, 255, 0) for x in range(10, 60) for y in range(120, 135)),
          "no text drawn")

    s.x("xdotool", "mousemove", "--window", str(wid), "100", "50")
    check(wait_for(lambda: s.title(wid) == "Graphic : ( 100, 50 )"),
          "title after moving the pointer: %r" % s.title(wid))

    s.save_through_popup(wid, os.path.join(s.tmp, "saved"))
    saved = os.path.join(s.tmp, "saved.bmp")  # the extension comes with the filter
    check(wait_for(lambda: os.path.exists(saved) and os.path.getsize(saved) == 54 + 960 * 200),
          "no saved.bmp")
    s.gone("Save image as")
    w, h, px, header = read_bmp(saved)
    check((w, h) == (320, 200), "saved size")
    check(header[2:6] == b"\0\0\0\0" and header[34:38] == b"\0\0\0\0" and
          header[38:46] == b"\0" * 8, "size fields and resolutions are 0")
    check(px == shot[2], "the saved picture differs from the screenshot")

    # A name whose .bmp form is a directory: the replace question, then the error box.
    os.mkdir(os.path.join(s.tmp, "sub.bmp"))
    chooser = s.save_through_popup(wid, os.path.join(s.tmp, "sub"))
    s.gone_id("Save image as", chooser)
    question = s.window("Save image as")
    time.sleep(0.3 * SLOW)
    s.x("xdotool", "windowfocus", "--sync", str(question))
    s.x("xdotool", "key", "alt+y")
    error = s.window("Error")
    s.x("xdotool", "windowfocus", "--sync", str(error))
    s.x("xdotool", "key", "Return")
    s.gone("Error")

    s.send(p)
    check(s.line(p) == "again true", "second screen")
    check(wait_for(lambda: len(s.windows("Graphics")) == 1), "not exactly one window")
    check(wait_for(lambda: s.size(s.window("Graphics")) == (200, 100)), "replaced window size")
    s.send(p)
    t = time.time()
    rc, out, err = s.finish(p)
    check(rc == 3, "exit code %d with a window open" % rc)
    check(err == b"", "stderr: %r" % err)
    check(time.time() - t < 5, "slow exit")


def test_copy_to_clipboard(s):
    """The popup's copy entry puts the picture on the clipboard as an image, pixel for pixel,
    channels and rows in their places; the clipboard is served while the script waits."""
    p = s.start(DRAWING + "gets();")
    check(s.line(p) == "ready", "no ready")
    wid = s.window("Graphics")
    shot = s.screenshot(wid)
    check(s.choose_from_popup(wid, "c", lambda: "image/png" in (s.clipboard() or [])),
          "no image on the clipboard after the copy entry: targets %r" % s.clipboard())
    png = s.clipboard("image/png")
    check(png and png[:8] == b"\x89PNG\r\n\x1a\n", "the clipboard's image/png is no PNG")
    ppm = subprocess.run(["/usr/bin/convert", "png:-", "-depth", "8", "ppm:-"], input=png,
                         capture_output=True, timeout=30).stdout
    copied = parse_ppm(ppm)
    check(copied[:2] == (320, 200), "the copied image is %r" % (copied[:2],))
    check(pixel(copied, 20, 20) == (255, 0, 0) and pixel(copied, 0, 199) == (0, 255, 0),
          "the copied image has its channels or rows out of place")
    check(copied[2] == shot[2], "the copied image differs from the picture")
    s.send(p)
    rc, _, err = s.finish(p)
    check(err == b"", "stderr: %r" % err)


def test_user_closes_window(s):
    p = s.start(r'''
screen(100, 100);
color(255, 0, 0); update(0); window(0, 1, 0, 1);
print("ready"); flush(stdout);
while (screen()) sleep(20);
print("closed ", join(color(), ","), " ", update(1), " ", join(gpos(1, 1), ","));
''')
    check(s.line(p) == "ready", "no ready")
    s.x(s.close_helper, str(s.window("Graphics")))
    check(s.line(p) == "closed 255,255,255 true 0,0", "after closing: not reset")
    rc, _, err = s.finish(p)
    check(err == b"", "stderr: %r" % err)


def test_screen_and_exit_with_popup_or_dialog_open(s):
    p = s.start(r'''
screen(100, 100);
print("ready"); flush(stdout);
gets();
screen(120, 90);
print("again ", screen()); flush(stdout);
gets();
''')
    check(s.line(p) == "ready", "no ready")
    wid = s.window("Graphics")
    s.x("xdotool", "mousemove", "--window", str(wid), "30", "30")
    s.x("xdotool", "click", "3")
    time.sleep(0.5 * SLOW)
    s.send(p)
    check(s.line(p, timeout=10) == "again true", "screen with the popup open")
    wid = s.window("Graphics")
    s.open_save_dialog(wid)
    s.send(p)
    rc, _, err = s.finish(p, timeout=10)
    check(rc == 0, "exit code %d with the save dialog open: %r" % (rc, err[:6000]))
    check(err == b"", "stderr: %r" % err)


def test_unacceptable_size_and_missing_face(s):
    p = s.start(r'''
screen(100, 100);
gprint(0, 0, "X");
font("No Such Face At All", 40);
gprint(50, 0, "X");
var h1 = 0, h2 = 0;
for (var y = 0; y < 60; y++) {
    for (var x = 0; x < 40; x++) {
        if (point(x, y)[0]) h1 = y + 1;
        if (point(50 + x, y)[0]) h2 = y + 1;
    }
}
print(h1 == h2, " ", h1 > 0);
screen(0, 10);
print(screen());
screen(100, 100);
screen(8193, 10);
print(screen());
''')
    rc, out, err = s.finish(p)
    check(out == b"true true\r\nfalse\r\nfalse\r\n", "output %r" % out)
    check(err == b"", "stderr: %r" % err)


def test_line_feed_is_the_font_height_and_angles_are_tenths_of_a_degree(s):
    p = s.start(r'''
screen(1000, 60);
function rows(x0) {
    var out = [];
    for (var y = 0; y < 60; y++)
        for (var x = x0; x < x0 + 6; x++)
            if (point(x, y)[0]) { push(out, y); break; }
    return join(out, ",");
}
var text = "";
for (var i = 0; i < 160; i++) text += "b";
function ends(angle) {
    cls(); font("ＭＳ ゴシック", 12, angle); gprint(0, 20, text);
    return rows(0) == rows(954);
}
print(ends(0), " ", ends(0.0017), " ", ends(0.0035));
cls(); font("ＭＳ ゴシック", 12); gprint(0, 0, "b\nb"); print(rows(0));
cls(); font("ＭＳ ゴシック", 20); gprint(0, 0, "b\nb"); print(rows(0));
''')
    rc, out, err = s.finish(p)
    check(err == b"", "stderr: %r" % err)
    lines = out.decode().split("\r\n")
    # 0.0017 rad is under a tenth of a degree: the text stays level; 0.0035 is two tenths
    check(lines[0] == "true true false", "the ends of a long line: %r" % lines[0])
    for line, height in ((lines[1], 12), (lines[2], 20)):
        ys = [int(v) for v in line.split(",")]
        half = len(ys) // 2
        check(half and [y + height for y in ys[:half]] == ys[half:],
              "the lines of a %d-pixel font are %d pixels apart: %r" % (height, height, ys))


def test_no_connection(s):
    env = dict(s.env, DISPLAY=":%d" % (9000 + os.getpid() % 999))
    p = s.start('var t = tick(); screen(100, 100); print(screen(), " ", tick() - t < 2000);',
                env=env)
    rc, out, err = s.finish(p)
    check(out == b"false true\r\n", "output %r" % out)
    check(err == b"", "stderr: %r" % err)


def test_pset_with_auto_update_does_not_wait_for_paints(s):
    """A primitive with auto-update on only wakes the window thread: were it to wait for a
    paint, 1000 of them would take 1000 frames (over 16 s).  The speed itself is measured by
    bench/gfx_pset.py, not here."""
    p = s.start(r'''
screen(320, 200);
var t = tick();
for (var i = 0; i < 1000; i++) pset(i % 320, i / 320);
print(tick() - t);
''')
    rc, out, err = s.finish(p)
    check(err == b"", "stderr: %r" % err)
    check(int(out.strip()) < 8000, "1000 pset took %s ms: they wait for paints" % out.strip())


def test_example(s):
    """examples/draw.rv keeps its window until it is closed; the screenshot is left in
    $RUVO_SCREENSHOT when that is set."""
    example = os.path.join(SRC, "examples", "draw.rv")
    p = subprocess.Popen([s.ruvo, example], cwd=s.tmp, env=s.env, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    try:
        wid = s.window("Graphics")
    except Failure:
        p.kill()
        raise Failure("no window; the example printed %r %r" % p.communicate())
    time.sleep(1 * SLOW)
    shot = s.screenshot(wid)
    target = os.environ.get("RUVO_SCREENSHOT")
    if target:
        s.x("/usr/bin/import", "-window", str(wid), target)
    colours = set(pixel(shot, x, y) for x in range(0, shot[0], 4) for y in range(0, shot[1], 4))
    check(len(colours) >= 4, "the chart has %d colours" % len(colours))
    s.x(s.close_helper, str(wid))
    rc, out, err = s.finish(p, timeout=10)
    check(rc == 0, "exit code %d" % rc)
    check(err == b"", "stderr: %r" % err)


def clear_display(s):
    """Nothing of one test may be left on the display for the next."""
    for title in ("Graphics", "Save image as", "Error"):
        for wid in s.windows(title):
            s.x(s.close_helper, str(wid), check_rc=False)


def main():
    ruvo, close_helper = sys.argv[1], sys.argv[2]
    tests = {n[5:]: f for n, f in globals().items() if n.startswith("test_")}
    names = sys.argv[3:] or [n for n in tests if n != "example"]
    s = Session(ruvo, close_helper)
    failed = 0
    try:
        for name in names:
            try:
                tests[name](s)
                print("ok", name)
            except Failure as e:
                print("FAIL", name, "-", e)
                failed += 1
            finally:
                clear_display(s)
    finally:
        s.close()
    print("%d passed, %d failed" % (len(names) - failed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
