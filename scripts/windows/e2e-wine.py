#!/usr/bin/python3
"""Prismor's Windows build end to end under Wine, as a Windows user meets it: a fresh Wine prefix
(a user profile of its own) on a virtual desktop of its own (Xvfb at 96 dpi on a free display,
openbox giving windows a frame and the focus), the demo installation set up with norlix.exe,
Prismor.exe driven by the keyboard alone through the X server's XTest extension, and what the
window shows read back from screenshots: by OCR (tesseract) for text, by pixel for colours and
places. Wine has no AT-SPI, so the screen is all there is to read.

    e2e-wine.py --build BUILD_DIR --artifacts DIR [--wrong-expectations]

Prints each step's result and ends with status 1 if any failed. Screenshots, the OCR texts (and
the images they were read from), Prismor's output and Wine's end-session trace stay in DIR.
--wrong-expectations compares every check with a value that is wrong on purpose (a near miss,
such as one digit of the version), so that each check can be seen to fail.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

WINDOW_TITLE = "Check Norlix DB"
CHOICE_TITLE = "CAUTION"
WORKSTATION_TYPED = "front-desk"
CLIENT_SIZE = (731, 502)
SCREEN = "1024x768x24"

# The window's controls in client pixels at 96 dpi: its twips table divided by 15.
BOXES = {
    "lblInstr": (24, 16, 473, 81),
    "Label1": (528, 27, 105, 17),
    "txtLetter": (640, 24, 25, 25),
    "lblCoName": (512, 48, 209, 25),
    "cmdStart": (640, 80, 73, 33),
    "Label3": (24, 112, 105, 16),  # its last row is under the report's box
    "lblResults": (24, 128, 609, 305),
    "cmdExit": (616, 448, 73, 33),
}
# Inside the letter entry's frame (one pixel of border, one of white margin) and inside the
# buttons' focus rectangles, whose dots OCR would read as letters.
ENTRY_INSIDE = (642, 26, 21, 21)
# The company name's label below the entry's lowest row, which it overlaps.
NAME_INSIDE = (512, 50, 209, 23)
BUTTON_INSIDE = {"cmdStart": (645, 85, 63, 23), "cmdExit": (621, 453, 63, 23)}

WINDOW_FACE = (239, 239, 239)
YELLOW = (255, 255, 192)
WHITE = (255, 255, 255)
GREEN = (224, 255, 224)
BLUE = (0, 0, 255)
GREY = (128, 128, 128)

# The report is drawn in Arial (Liberation Sans) at 11.25 pt, 15 px: a blank is 569/2048 em.
SPACE_PX = 15 * 569 / 2048
CAPITAL_MIN_PX = 9.5  # Arial's capitals are 0.716 em high (10.7 px), its small letters 0.519
OCR_SCALE = 3
OCR_BORDER = 30

INSTRUCTIONS = [
    "Program to check Norlix Database version.",
    "This does not affect or change any data so it is safe to use at any time.",
    "First select which company letter you wish to check.",
]
LOCKED_MESSAGE = ("Cannot lock the accounts. If another person is using Norlix, ask them to "
                  "Exit and then you can RETRY. Otherwise EXIT. If you are certain the accounts "
                  "should not be locked, click UNLOCK.")
SUCCESS = "Success -- accounts could be locked by this Workstation"
FAILURE = "Failure -- accounts could not be locked"
DEMO = {"A": ("2025-10", "6.123"), "C": ("2025-08", "6.12")}
LOCATION = "Database location: "
DEFAULT_HOME = "C:\\ProgramData\\Norlix"
# A shared installation on a file server, as workstations often reach it. Wine takes a UNC path
# \\SERVER\SHARE to the folder that the prefix's dosdevices/unc/SERVER/SHARE names.
UNC_SERVER, UNC_SHARE = "FileServer", "Accounts"
UNC_HOME = f"\\\\{UNC_SERVER}\\{UNC_SHARE}\\Norlix"


def expected_report(letter, probe_line, home=DEFAULT_HOME):
    month, version = DEMO[letter]
    return [
        f"Checking database of Company {letter}",
        f"WorkStation name: {WORKSTATION_TYPED.upper()}",
        f"{LOCATION}{home}\\companies\\{letter}\\",
        f"    Last compacted in month {month}",
        f"    Database version {version}",
        "Attempting to lock and unlock the accounts",
        probe_line,
        "Finished",
    ]


class Abort(Exception):
    """A step that the rest depends on failed."""


# Comparing what OCR read with what is expected.

def words_match(seen, expected, fold_i_l=False):
    """Whether the words read are the words expected. OCR may split a word where its letters
    stand apart ("Work Station" for "WorkStation"): pieces are joined when together they make
    exactly the expected word. Nothing else is forgiven; with fold_i_l, capital I and small l,
    which Wine's small dialog font draws alike, count as one letter."""
    def norm(word):
        return word.replace("I", "l") if fold_i_l else word
    seen = [norm(w) for w in seen]
    expected = [norm(w) for w in expected]
    i = j = 0
    while i < len(expected) and j < len(seen):
        joined, k = seen[j], j
        while joined != expected[i] and expected[i].startswith(joined) and k + 1 < len(seen):
            k += 1
            joined += seen[k]
        if joined != expected[i]:
            return False
        i, j = i + 1, k + 1
    return i == len(expected) and j == len(seen)


def lines_match(seen, expected):
    """Lines read (with their leading blanks estimated from where they start) against the
    expected lines, blank for blank at the start and word for word."""
    if len(seen) != len(expected):
        return False
    for s, e in zip(seen, expected):
        if len(s) - len(s.lstrip(" ")) != len(e) - len(e.lstrip(" ")):
            return False
        if not words_match(s.split(), e.split()):
            return False
    return True


def unc_lines_match(seen, expected):
    """As lines_match, but the location line from the share's name on: OCR reads the two
    backslashes before the server's name, and that name's first letter, in ever other ways
    ("\\W", "W", "Wr"). test_check_end_to_end compares the whole line under Wine."""
    def cut(lines):
        return [line.split(f"{UNC_SERVER[1:]}\\", 1)[-1] if line.startswith(LOCATION) else line
                for line in lines]
    return lines_match(cut(seen), cut(expected))


def near_miss_lines(lines, index, old, new):
    changed = list(lines)
    assert old in changed[index]
    changed[index] = changed[index].replace(old, new)
    return changed


# Images: screenshots of the whole screen, read through ImageMagick.

class Pixels:
    """The pixels of one rectangle of a screenshot, as RGB tuples, in that rectangle's
    coordinates."""

    def __init__(self, path, x, y, width, height):
        data = subprocess.run(
            ["convert", path, "-crop", f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8",
             "ppm:-"], capture_output=True, check=True).stdout
        magic, size, _, self._data = data.split(b"\n", 3)
        assert magic == b"P6"
        self.width, self.height = map(int, size.split())

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self._data[i:i + 3])

    def where(self, box, wanted):
        """Bounding box (x, y, width, height) and count of the pixels in box for which wanted()
        holds; None when there are none."""
        bx, by, bw, bh = box
        xs, ys = [], []
        for y in range(by, by + bh):
            for x in range(bx, bx + bw):
                if wanted(self.at(x, y)):
                    xs.append(x)
                    ys.append(y)
        if not xs:
            return None
        return (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1), len(xs)

    def colours(self, box):
        bx, by, bw, bh = box
        return {self.at(x, y) for y in range(by, by + bh) for x in range(bx, bx + bw)}

    def dotted_runs(self, min_dots=12):
        """Horizontal runs of dark dots one pixel apart on a light ground: the focus rectangle
        of a button. Gives (left, right, y) of each."""
        runs = []
        for y in range(self.height):
            x = 0
            while x < self.width - 1:
                dots = 0
                while (x + 2 * dots + 1 < self.width
                       and max(self.at(x + 2 * dots, y)) < 64
                       and min(self.at(x + 2 * dots + 1, y)) > 192):
                    dots += 1
                if dots >= min_dots:
                    runs.append((x, x + 2 * dots - 2, y))
                    x += 2 * dots
                else:
                    x += 1
        return runs


class Reader:
    """OCR of parts of screenshots, each image and text kept in the artifacts."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)

    def words(self, shot, origin, box, name, psm, resize_filter="Mitchell"):
        """The words tesseract reads in box (relative to origin, on the screenshot), as
        (left, top, right, bottom, text) in pixels of the box, and the lines they form."""
        x, y, w, h = box
        image = os.path.join(self.folder, f"{name}.png")
        subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{origin[0] + x}+{origin[1] + y}",
                        "+repage", "-colorspace", "Gray", "-filter", resize_filter,
                        "-resize", f"{OCR_SCALE * 100}%", "-bordercolor", "white",
                        "-border", str(OCR_BORDER), image], check=True)
        tsv = subprocess.run(["tesseract", image, "-", "--psm", str(psm), "tsv"],
                             capture_output=True, text=True, check=True).stdout
        words, lines = [], {}
        for row in tsv.splitlines()[1:]:
            cells = row.split("\t")
            if len(cells) < 12 or cells[0] != "5" or not cells[11].strip():
                continue
            left, top, width, height = (int(c) for c in cells[6:10])

            def px(value):
                return (value - OCR_BORDER) / OCR_SCALE
            word = (px(left), px(top), px(left + width), px(top + height), cells[11].strip())
            words.append(word)
            lines.setdefault(tuple(cells[1:5]), []).append(word)
        return words, list(lines.values())

    def lines(self, shot, origin, box, name, psm=6, resize_filter="Mitchell"):
        """The lines read in box, each with as many leading blanks as its start lies right of
        the leftmost line's; kept in NAME.txt."""
        _, lines = self.words(shot, origin, box, name, psm, resize_filter)
        text = []
        if lines:
            base = min(line[0][0] for line in lines)
            for line in lines:
                blanks = round((line[0][0] - base) / SPACE_PX)
                text.append(" " * blanks + " ".join(word[4] for word in line))
        with open(os.path.join(self.folder, f"{name}.txt"), "w") as out:
            out.write("".join(f"{line}\n" for line in text))
        return text


# The virtual desktop and Wine.

class Desktop:
    """Xvfb at 96 dpi on a free display with openbox, for the life of a `with` block."""

    def __init__(self, home, artifacts):
        self.home = home
        self.artifacts = artifacts
        self.display = None
        self._processes = []

    def __enter__(self):
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.artifacts, "Xvfb.log"), "w")
        # -displayfd: the server takes a free display and says which once it listens.
        # -noreset: it would otherwise reset when its last client leaves, racing xdotool.
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-dpi", "96",
             "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,), stdout=log,
            stderr=subprocess.STDOUT)
        self._processes.append(server)
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        if not number.isdigit():
            self.__exit__()
            raise Abort("Xvfb did not start (see Xvfb.log)")
        self.display = f":{number}"
        log = open(os.path.join(self.artifacts, "openbox.log"), "w")
        self._processes.append(subprocess.Popen(
            ["openbox", "--sm-disable"], env=self.env(os.environ), stdout=log,
            stderr=subprocess.STDOUT))
        deadline = time.monotonic() + 30
        while "window id" not in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False):
            if time.monotonic() > deadline:
                self.__exit__()
                raise Abort("openbox did not start (see openbox.log)")
            time.sleep(0.1)
        return self

    def __exit__(self, *exc):
        for process in reversed(self._processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()

    def env(self, base):
        return dict(base, DISPLAY=self.display, HOME=self.home,
                    XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                    XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
                    XDG_DATA_HOME=os.path.join(self.home, ".local", "share"))

    def x(self, *command, check=True):
        result = subprocess.run(command, env=self.env(os.environ), capture_output=True,
                                text=True)
        if check and result.returncode != 0:
            raise Abort(f"{' '.join(command)} failed: {result.stderr.strip()}")
        return result.stdout

    def key(self, *keys):
        self.x("xdotool", "key", "--delay", "80", *keys)

    def type_text(self, text):
        self.x("xdotool", "type", "--delay", "80", text)

    def screenshot(self, path):
        self.x("import", "-window", "root", path)
        return path

    def visible_windows(self, title):
        """The mapped windows with exactly this title (xdotool's search ignores case)."""
        found = self.x("xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$",
                       check=False).split()
        return [window for window in found if self.x(
            "xdotool", "getwindowname", window, check=False).rstrip("\n") == title]

    def active_window(self):
        return self.x("xdotool", "getactivewindow", check=False).strip()

    def geometry(self, window):
        """(x, y, width, height) of a window's client area on the screen."""
        info = self.x("xwininfo", "-id", window)
        value = {key: int(number) for key, number in re.findall(
            r"^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s*(-?\d+)",
            info, re.M)}
        return (value["Absolute upper-left X"], value["Absolute upper-left Y"],
                value["Width"], value["Height"])

    def transient_for(self, window):
        text = self.x("xprop", "-id", window, "WM_TRANSIENT_FOR", check=False)
        found = re.search(r"window id # (0x[0-9a-f]+)", text)
        return int(found[1], 16) if found else None


# Now and then Wine's loader cannot place a new process's shared page, where the kernel has put
# something else; the process ends before the program's first instruction.
WINE_LOADER_FAILED = "failed to map the shared user data"


class Wine:
    """A fresh Wine prefix, made by scripts/windows/wine-prefix.sh, and the build's programs."""

    def __init__(self, source_dir, build_dir, prefix, desktop):
        self.build_dir = build_dir
        self.desktop = desktop
        made = subprocess.run(
            ["bash", "-c", 'source "$1/scripts/windows/wine-prefix.sh" && wine_prefix "$2" '
             '&& env -0', "wine-prefix", source_dir, prefix],
            env=desktop.env(os.environ), capture_output=True)
        if made.returncode != 0:
            raise Abort(f"making the Wine prefix failed: {made.stderr.decode(errors='replace')}")
        exported = dict(item.split("=", 1) for item in
                        made.stdout.decode(errors="replace").split("\0") if "=" in item)
        self.env = desktop.env(os.environ)
        self.env.update({k: v for k, v in exported.items() if k.startswith("WINE")})
        # One server, and Wine's services, for the whole run, rather than started anew for
        # each program.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, *command, extra_env=None):
        """Runs a command under this prefix; gives its status and output, lines without CR.
        A start that Wine's loader gave up on, before the program ran, is tried again."""
        status, out, err = self.run_once(command, extra_env)
        for _ in range(2):
            if WINE_LOADER_FAILED not in err:
                break
            print(f"  Wine could not start {short(' '.join(command))}; again")
            status, out, err = self.run_once(command, extra_env)
        return status, out, err

    def run_once(self, command, extra_env):
        env = dict(self.env, **(extra_env or {}))
        # Into files, not pipes: Wine's service processes, which a program may start and which
        # outlive it, would keep a pipe open and the reader waiting.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            status = subprocess.run(command, env=env, stdout=out, stderr=err,
                                    stdin=subprocess.DEVNULL).returncode
            texts = []
            for stream in (out, err):
                stream.seek(0)
                texts.append(stream.read().decode(errors="replace").replace("\r\n", "\n"))
        return status, texts[0].rstrip("\n"), texts[1]

    def norlix(self, *args, extra_env=None):
        return self.run("wine", os.path.join(self.build_dir, "norlix.exe"), *args,
                        extra_env=extra_env)

    def start_prismor(self, log_path, extra_env=None):
        log = open(log_path, "w")
        return subprocess.Popen(["wine", os.path.join(self.build_dir, "Prismor.exe")],
                                env=dict(self.env, **(extra_env or {})), stdout=log,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)

    def end(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True)


# The run: steps, checks and their results.

class Run:
    def __init__(self, options):
        self.options = options
        self.wrong = options.wrong_expectations
        self.artifacts = options.artifacts
        self.reader = Reader(os.path.join(self.artifacts, "ocr"))
        self.started = time.monotonic()
        self.step_started = self.started
        self.steps = 0
        self.results = []
        self.desktop = None
        self.wine = None
        self.prismor = None
        self.window = None
        self.origin = None

    def elapsed(self):
        return time.monotonic() - self.started

    def step(self, title):
        now = time.monotonic()
        if self.steps:
            print(f"  ({now - self.step_started:.1f} s)")
        self.steps += 1
        self.step_started = now
        print(f"[{self.elapsed():6.1f} s] {title}")
        sys.stdout.flush()

    def record(self, name, passed, detail):
        self.results.append((name, passed))
        print(f"  {'PASS' if passed else 'FAIL'} {name}{': ' + detail if detail else ''}")
        sys.stdout.flush()

    def check(self, name, seen, expected, wrong, same=None):
        """Compares what was seen with what is expected (or, with --wrong-expectations, with the
        wrong value given)."""
        if self.wrong:
            expected = wrong
        same = same or (lambda a, b: a == b)
        passed = same(seen, expected)
        if passed:
            detail = short(seen)
        elif isinstance(seen, list) and isinstance(expected, list):
            detail = "\n" + "\n".join(
                f"      {'  ' if ok else '≠ '}seen {s!r}\n      {'  ' if ok else '  '}want {e!r}"
                for s, e, ok in zip_lines(seen, expected, same))
        else:
            detail = f"seen {seen!r}, expected {expected!r}"
        self.record(name, passed, detail)
        return passed

    def wait(self, what, probe, wrong, timeout=30, interval=0.2):
        """Polls probe() until it gives a true value; a step the rest needs, so a timeout ends
        the run. With --wrong-expectations the wrong probe is polled first, for a few seconds,
        and fails; the run then goes on as usual."""
        if self.wrong:
            self.record(what, bool(poll(wrong, 3, interval)), "(waited 3 s for a wrong one)")
        value = poll(probe, timeout, interval)
        if not value:
            self.record(what, False, f"not within {timeout} s")
            raise Abort(what)
        if not self.wrong:
            self.record(what, True, "")
        return value

    def shot(self, name, quiet=False):
        path = os.path.join(self.artifacts, f"{name}.png")
        self.desktop.screenshot(path)
        if not quiet:
            print(f"  screenshot {path}")
        return path

    # Reading Prismor's window.

    def pixels(self, shot):
        return Pixels(shot, *self.origin, *CLIENT_SIZE)

    def report_lines(self, shot, name):
        return self.reader.lines(shot, self.origin, BOXES["lblResults"], name)

    def wait_for_report(self, name, letter, last="Finished"):
        """Screenshots until the report of this letter's company (not the one before it) has
        come to its last line; gives the screenshot and the lines read from it."""
        found = {}
        first = f"Checking database of Company {letter}"

        def ends_with(wanted):
            def probe():
                shot = self.shot(name, quiet=True)
                lines = self.report_lines(shot, f"{name}-results")
                found.update(shot=shot, lines=lines)
                return lines and lines[0] == first and lines[-1] == wanted
            return probe
        self.wait(f"the report of {letter} to end with {last!r}", ends_with(last),
                  wrong=ends_with(last + "."), timeout=30, interval=0.3)
        print(f"  screenshot {found['shot']}")
        return found["shot"], found["lines"]

    def entry_letter(self, shot, name):
        """The letter in the entry, as OCR reads it, and whether its ink is a capital's height."""
        words, _ = self.reader.words(shot, self.origin, ENTRY_INSIDE, name, 10, "Triangle")
        text = "".join(word[4] for word in words)
        with open(os.path.join(self.reader.folder, f"{name}.txt"), "w") as out:
            out.write(text + "\n")
        ink = self.pixels(shot).where(ENTRY_INSIDE, lambda p: max(p) < 128)
        height = ink[0][3] if ink else 0
        return text, height

    def keys_to(self, window, *keys):
        """Presses keys through XTest, into the window that has the focus, which must be
        `window`: as a user's keyboard does."""
        if self.desktop.active_window() != window:
            raise Abort(f"the window with the focus is {self.active_window_name()!r}, "
                        f"not the one expected")
        self.desktop.key(*keys)

    def active_window_name(self):
        window = self.desktop.active_window()
        return self.desktop.x("xdotool", "getwindowname", window, check=False).strip() \
            if window else ""

    def start_prismor(self, log_name, extra_env=None):
        self.prismor = self.wine.start_prismor(os.path.join(self.artifacts, log_name),
                                               extra_env)
        self.window = self.wait(f"a visible window titled {WINDOW_TITLE!r}",
                                lambda: self.desktop.visible_windows(WINDOW_TITLE),
                                wrong=lambda: self.desktop.visible_windows(WINDOW_TITLE + "."))[0]
        # Once the window manager has framed it and given it the focus, places hold.
        self.wait("the window gets the focus",
                  lambda: self.desktop.active_window() == self.window,
                  wrong=lambda: self.desktop.active_window() == str(int(self.window) + 1))
        x, y, w, h = self.desktop.geometry(self.window)
        self.origin = (x, y)
        self.check("client area at 96 dpi", (w, h), CLIENT_SIZE, wrong=(w, h + 1))
        time.sleep(0.5)  # the first paint

    def wait_for_prismor_end(self, timeout=30):
        deadline = time.monotonic() + timeout
        while self.prismor.poll() is None and time.monotonic() < deadline:
            time.sleep(0.1)
        return self.prismor.poll()

    def current_company(self, name, expected, wrong, extra_env=None):
        status, out, err = self.wine.norlix("current", extra_env=extra_env)
        self.check(name, (status, out), (0, expected), wrong=(0, wrong))

    # The scenario.

    def main(self):
        with tempfile.TemporaryDirectory(prefix="prismor-wine-e2e-") as scratch:
            home = os.path.join(scratch, "home")
            os.makedirs(home)
            try:
                self.step("virtual desktop: Xvfb at 96 dpi, openbox")
                with Desktop(home, self.artifacts) as desktop:
                    self.desktop = desktop
                    print(f"  display {desktop.display}")
                    try:
                        self.scenario(os.path.join(scratch, "prefix"))
                    finally:
                        if self.prismor and self.prismor.poll() is None:
                            self.prismor.kill()
                            self.prismor.wait()
                        if self.wine:
                            self.wine.end()
            except Abort as error:
                self.record("the run went on to its end", False, f"stopped at: {error}")
        self.step("done")
        failed = [name for name, passed in self.results if not passed]
        print(f"{len(self.results) - len(failed)} passed, {len(failed)} failed, "
              f"{self.elapsed():.1f} s in all")
        return 1 if failed else 0

    def scenario(self, prefix):
        self.step("fresh Wine prefix (scripts/windows/wine-prefix.sh)")
        self.wine = Wine(self.options.source, self.options.build, prefix, self.desktop)
        wine = self.wine

        self.step("norlix.exe demo; workstation front-desk; current C")
        status, out, _ = wine.norlix("demo")
        self.check("norlix.exe demo", (status, out),
                   (0, "Demo Norlix installation ready at C:\\ProgramData\\Norlix"),
                   wrong=(0, "Demo Norlix installation ready at C:\\ProgramData\\Norlix6"))
        status, out, _ = wine.norlix("workstation", WORKSTATION_TYPED)
        self.check("norlix.exe workstation front-desk", status, 0, wrong=1)
        status, out, _ = wine.run("wine", "reg", "query",
                                  r"HKCU\Software\VB and VBA Program Settings\Norlix6\ThisPC",
                                  "/v", "WStnName")
        value = re.search(r"WStnName\s+REG_SZ\s+(.*)", out)
        self.check("registry: ThisPC\\WStnName", value[1].strip() if value else out,
                   WORKSTATION_TYPED, wrong=WORKSTATION_TYPED.upper())
        status, out, _ = wine.norlix("current", "C")
        self.check("norlix.exe current C", status, 0, wrong=1)
        self.current_company("norlix.exe current", "C", "A")
        self.check_lock_of_c("C's lock before Prismor runs")

        self.step("Prismor.exe starts (first run)")
        self.start_prismor("prismor-run1.log")
        self.window_as_opened()

        self.step("Space at once: the focus starts on Start, which checks A")
        self.keys_to(self.window, "space")
        shot, lines = self.wait_for_report("02-report-A", "A")
        self.check("report of A", lines, expected_report("A", SUCCESS),
                   wrong=near_miss_lines(expected_report("A", SUCCESS), 4, "6.123", "6.128"),
                   same=lines_match)
        self.found_company(shot, "02-report-A", "A", "Alder Joinery Ltd")
        self.current_company("current company while A's report shows", "A", "C")

        self.step("Tab, Tab to the entry; C; Tab to Start")
        self.keys_to(self.window, "Tab", "Tab")
        self.desktop.type_text("c")
        self.keys_to(self.window, "Tab")
        time.sleep(0.5)
        shot = self.shot("03-letter-C")
        letter, height = self.entry_letter(shot, "03-letter-C-entry")
        self.check("the entry's letter (OCR), typed as c", letter, "C", wrong="c")
        self.check("the letter's height: a capital's", height >= CAPITAL_MIN_PX, True,
                   wrong=False)

        self.step("Space on Start: the CAUTION dialog")
        self.keys_to(self.window, "space")
        dialog = self.wait(f"a visible window titled {CHOICE_TITLE!r}",
                           lambda: self.desktop.visible_windows(CHOICE_TITLE),
                           wrong=lambda: self.desktop.visible_windows(CHOICE_TITLE + "!"))[0]
        self.wait("the dialog gets the focus", lambda: self.desktop.active_window() == dialog,
                  wrong=lambda: self.desktop.active_window() == self.window)
        time.sleep(0.5)
        shot = self.shot("04-caution")
        self.check("the dialog is owned by Prismor's window", self.desktop.transient_for(dialog),
                   int(self.window), wrong=int(self.window) + 1)
        self.caution_dialog(shot, dialog)

        self.step("Tab, Space in the dialog: Exit")
        self.keys_to(dialog, "Tab")
        time.sleep(0.5)
        shot = self.shot("05-caution-tab")
        self.focused_button(shot, dialog, "05-caution-tab", "Exit")
        self.keys_to(dialog, "space")
        self.wait("the dialog closes", lambda: not self.desktop.visible_windows(CHOICE_TITLE),
                  wrong=lambda: not self.desktop.visible_windows(WINDOW_TITLE))
        shot, lines = self.wait_for_report("06-report-C", "C")
        self.check("report of C after Exit", lines, expected_report("C", FAILURE),
                   wrong=near_miss_lines(expected_report("C", FAILURE), 6, "not ", ""),
                   same=lines_match)
        self.check_lock_of_c("C's lock after Exit in the dialog")

        # C is the company current before Prismor started, so checking A once more is what lets
        # the check after Exit tell a company put back from one merely left current.
        self.step("Tab, Tab to the entry; A; Tab, Space: A once more")
        self.keys_to(self.window, "Tab", "Tab")
        self.desktop.type_text("a")
        self.keys_to(self.window, "Tab", "space")
        shot, lines = self.wait_for_report("07-report-A-again", "A")
        self.check("report of A", lines, expected_report("A", SUCCESS),
                   wrong=near_miss_lines(expected_report("A", SUCCESS), 0, "A", "C"),
                   same=lines_match)
        self.current_company("current company while A's report shows", "A", "C")

        self.step("Tab to Exit, Space")
        self.keys_to(self.window, "Tab", "space")
        status = self.wait_for_prismor_end()
        self.check("Prismor ended, with status", status, 0, wrong=1)
        self.shot("08-after-exit")
        self.current_company("current company after Exit: the one before", "C", "A")

        self.step("Prismor.exe starts (second run); Space checks A")
        self.start_prismor("prismor-run2.log")
        self.keys_to(self.window, "space")
        shot, lines = self.wait_for_report("09-run2-report-A", "A")
        self.check("report of A", lines, expected_report("A", SUCCESS),
                   wrong=near_miss_lines(expected_report("A", SUCCESS), 1, "FRONT", "FRONT "),
                   same=lines_match)
        self.current_company("current company while A's report shows", "A", "C")

        self.step("wineboot --end-session: the session ends, as at log-off")
        self.session_end("10-end-session", saved="C")

        # Windows may end the process as soon as WM_ENDSESSION is answered, so the company is
        # put back then even while the CAUTION dialog waits for an answer.
        self.step("third run, D current: C checked, and the session ends under the dialog")
        status, _, _ = wine.norlix("current", "D")
        self.check("norlix.exe current D", status, 0, wrong=1)
        self.start_prismor("prismor-run3.log")
        self.keys_to(self.window, "Tab", "Tab")
        self.desktop.type_text("c")
        self.keys_to(self.window, "Tab", "space")
        self.wait(f"a visible window titled {CHOICE_TITLE!r}",
                  lambda: self.desktop.visible_windows(CHOICE_TITLE),
                  wrong=lambda: self.desktop.visible_windows(CHOICE_TITLE + "!"))
        time.sleep(0.5)
        self.current_company("current company while the dialog is open", "C", "D")
        self.session_end("11-end-session-under-dialog", saved="D")
        self.check_lock_of_c("C's lock after the session ended under the dialog")

        self.step(f"fourth run: the installation on a file server, NORLIX_HOME={UNC_HOME}")
        self.unc_installation(prefix)

    def unc_installation(self, prefix):
        share = os.path.join(os.path.dirname(prefix), "server-share")
        os.makedirs(share)
        server = os.path.join(prefix, "dosdevices", "unc", UNC_SERVER)
        os.makedirs(server)
        os.symlink(share, os.path.join(server, UNC_SHARE))
        unc = {"NORLIX_HOME": UNC_HOME}
        status, out, _ = self.wine.norlix("demo", extra_env=unc)
        self.check("norlix.exe demo at the UNC path", (status, out),
                   (0, f"Demo Norlix installation ready at {UNC_HOME}"),
                   wrong=(0, f"Demo Norlix installation ready at {DEFAULT_HOME}"))
        self.check("the demo's register is on the share",
                   os.path.isfile(os.path.join(share, "Norlix", "register.sqlite")), True,
                   wrong=False)
        status, _, _ = self.wine.norlix("current", "C", extra_env=unc)
        self.check("norlix.exe current C on the share", status, 0, wrong=1)
        before = "C"
        self.start_prismor("prismor-run4.log", extra_env=unc)
        self.keys_to(self.window, "space")
        shot, lines = self.wait_for_report("12-unc-report-A", "A")
        self.check("report of A from the share", lines, expected_report("A", SUCCESS, UNC_HOME),
                   wrong=expected_report("A", SUCCESS), same=unc_lines_match)
        self.current_company("current company on the share while A's report shows", "A",
                             before, extra_env=unc)
        self.keys_to(self.window, "Tab", "space")
        status = self.wait_for_prismor_end()
        self.check("Prismor ended, with status", status, 0, wrong=1)
        self.current_company("current company on the share after Exit: the one before", before,
                             "A", extra_env=unc)
        self.current_company("current company at C:\\ProgramData untouched", "D", "A")

    def check_lock_of_c(self, name):
        status, out, _ = self.wine.norlix("company", "show", "C")
        lock = re.search(r"^lock: (.*)$", out, re.M)
        self.check(name, lock[1] if lock else out, "ACCOUNTS-PC (1 hold)",
                   wrong="ACCOUNTS-PC (2 holds)")

    def window_as_opened(self):
        shot = self.shot("01-opened")
        pixels = self.pixels(shot)
        read = self.reader.lines
        self.check("instructions (OCR)", read(shot, self.origin, BOXES["lblInstr"], "01-instr"),
                   INSTRUCTIONS, wrong=near_miss_lines(INSTRUCTIONS, 1, "time.", "time"),
                   same=lines_match)
        self.check("caption (OCR)", read(shot, self.origin, BOXES["Label1"], "01-label1"),
                   ["Company Letter:"], wrong=["Company Letter;"], same=lines_match)
        self.check("heading (OCR)", read(shot, self.origin, BOXES["Label3"], "01-label3"),
                   ["Results"], wrong=["Result"], same=lines_match)
        for button, caption in (("cmdStart", "Start"), ("cmdExit", "Exit")):
            self.check(f"{button} (OCR)", read(shot, self.origin, BUTTON_INSIDE[button],
                                               f"01-{button}", psm=7), [caption],
                       wrong=[caption.lower()], same=lines_match)
        letter, height = self.entry_letter(shot, "01-entry")
        self.check("the entry's letter (OCR)", letter, "A", wrong="B")
        self.check("the letter's height: a capital's", height >= CAPITAL_MIN_PX, True,
                   wrong=False)
        self.check("report box: white, at its place, empty",
                   pixels.where((0, 0, 640, 440), lambda p: p == WHITE),
                   (BOXES["lblResults"], 609 * 305),
                   wrong=(BOXES["lblResults"], 609 * 305 - 1))
        self.check("company name: empty", pixels.colours(NAME_INSIDE), {WINDOW_FACE},
                   wrong={WINDOW_FACE, BLUE})
        box = pixels.where((0, 0, *CLIENT_SIZE), lambda p: p == YELLOW)
        self.check("instructions box: light yellow, at its place", box and box[0],
                   BOXES["lblInstr"], wrong=(24, 16, 473, 82))
        self.check("entry: white inside its frame",
                   pixels.where(ENTRY_INSIDE, lambda p: p != WHITE and max(p) >= 128), None,
                   wrong=((642, 26, 21, 21), 1))
        grey = pixels.colours(BOXES["Label3"]) - {WINDOW_FACE}
        self.check("heading's text: grey 808080", grey, {GREY}, wrong={(127, 127, 127)})

    def found_company(self, shot, name, letter, company_name):
        pixels = self.pixels(shot)
        status, out, _ = self.wine.norlix("company", "show", letter)
        stored = re.search(r"^name: (.*)$", out, re.M)
        stored = stored[1] if stored else out
        self.check(f"name of {letter} in the register", stored, company_name,
                   wrong=company_name + "s")
        name_box = NAME_INSIDE
        self.check("company name (OCR)",
                   self.reader.lines(shot, self.origin, name_box, f"{name}-coname", psm=7),
                   [stored], wrong=[stored[:-1]], same=lines_match)
        self.check("company name: blue text only",
                   pixels.colours(name_box) - {WINDOW_FACE}, {BLUE}, wrong={(0, 0, 254)})
        self.check("entry: light green inside its frame after a found company",
                   pixels.where((636, 20, 34, 34), lambda p: p == GREEN)[0], ENTRY_INSIDE,
                   wrong=(641, 25, 23, 23))
        report = pixels.where(BOXES["lblResults"], lambda p: p != WHITE)
        self.check("report's text: black, starting at the box's left",
                   (pixels.colours(BOXES["lblResults"]) - {WHITE}, report and report[0][0]),
                   ({(0, 0, 0)}, 24), wrong=({(0, 0, 0)}, 25))

    def caution_dialog(self, shot, dialog):
        x, y, w, h = self.desktop.geometry(dialog)
        whole = (x - self.origin[0], y - self.origin[1], w, h)
        words, _ = self.reader.words(shot, self.origin, whole, "04-caution-words", 11, "Triangle")
        buttons = {text: (left, top, right, bottom) for left, top, right, bottom, text in words
                   if text in ("Retry", "Exit")}
        # The focused button's caption is crossed by the dots of its focus rectangle, which OCR
        # does not read through; the dots themselves tell which button has the focus.
        runs = Pixels(shot, x, y, w, h).dotted_runs()
        self.check("the dialog's buttons (OCR): Exit readable, the focus left of it",
                   ("Exit" in buttons, bool(runs) and max(r[1] for r in runs) < buttons
                    .get("Exit", (0,))[0]), (True, True), wrong=(True, False))
        # The message, right of the icon and above the buttons.
        top = min((b[1] for b in buttons.values()), default=h)
        left = min((word[0] for word in words if word[4] == "Cannot"), default=40)
        message_box = (whole[0] + int(left) - 3, whole[1], w - int(left) + 3, int(top) - 4)
        lines = self.reader.lines(shot, self.origin, message_box, "04-caution-message")
        self.check("the dialog's message (OCR; I and l alike in its font)", " ".join(lines),
                   LOCKED_MESSAGE, wrong=LOCKED_MESSAGE.replace("RETRY", "RETRIES"),
                   same=lambda a, b: words_match(a.split(), b.split(), fold_i_l=True))

    def focused_button(self, shot, dialog, name, wanted):
        x, y, w, h = self.desktop.geometry(dialog)
        whole = (x - self.origin[0], y - self.origin[1], w, h)
        words, _ = self.reader.words(shot, self.origin, whole, f"{name}-words", 11, "Triangle")
        retry = [word for word in words if word[4] == "Retry"]
        runs = Pixels(shot, x, y, w, h).dotted_runs()
        right_of_retry = bool(retry and runs) and min(r[0] for r in runs) > retry[0][2]
        self.check(f"after Tab the focus is right of Retry (on {wanted})",
                   (bool(retry), right_of_retry), (True, True), wrong=(True, False))

    def session_end(self, name, saved):
        self.shot(f"{name}-before")
        trace_path = os.path.join(self.artifacts, f"{name}-wineboot.log")
        # wineboot sends WM_QUERYENDSESSION, then WM_ENDSESSION, to every top-level window of
        # each process, and ends a process that is still there once it has answered.
        status, out, err = self.wine.run("wineboot", "--end-session",
                                         extra_env={"WINEDEBUG": "trace+wineboot"})
        with open(trace_path, "w") as trace:
            trace.write(out + err)
        print(f"  wineboot's trace: {trace_path}")
        self.check("wineboot --end-session", status, 0, wrong=1)
        answers = re.findall(r"received response (WM_QUERYENDSESSION|WM_ENDSESSION) hwnd "
                             r"\w+ lresult (-?\d+)", err)
        queries = [int(r) for m, r in answers if m == "WM_QUERYENDSESSION"]
        ends = [m for m, _ in answers if m == "WM_ENDSESSION"]
        self.check("Prismor's windows answered: let the session end, then ended it (trace)",
                   (len(queries) > 0, all(q == 1 for q in queries), len(ends) == len(queries)),
                   (True, True, True), wrong=(True, False, True))
        terminated = "terminating process" in err
        print(f"  wineboot {'terminated' if terminated else 'did not terminate'} the process "
              f"once it had answered WM_ENDSESSION")
        status = self.wait_for_prismor_end(timeout=20)
        self.check("Prismor ended", status is not None, True, wrong=False)
        print(f"  its status as Linux sees it: {status}")
        self.shot(f"{name}-after")
        self.current_company("current company after the session ended: the one before",
                             saved, "A")


def poll(probe, timeout, interval):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


def short(value):
    text = repr(value)
    return text if len(text) <= 100 else text[:97] + "..."


def zip_lines(seen, expected, same):
    for i in range(max(len(seen), len(expected))):
        s = seen[i] if i < len(seen) else None
        e = expected[i] if i < len(expected) else None
        ok = s is not None and e is not None and same([s], [e])
        yield s, e, ok


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="build folder with Prismor.exe, norlix.exe")
    parser.add_argument("--artifacts", required=True, help="where screenshots, OCR, logs go")
    parser.add_argument("--source", default=os.path.dirname(os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))), help=argparse.SUPPRESS)
    parser.add_argument("--wrong-expectations", action="store_true",
                        help="compare every check with a wrong value, to see each fail")
    options = parser.parse_args()
    options.build = os.path.abspath(options.build)
    options.artifacts = os.path.abspath(options.artifacts)
    for program in ("Prismor.exe", "norlix.exe"):
        if not os.path.isfile(os.path.join(options.build, program)):
            parser.error(f"no {program} in {options.build}")
    missing = [tool for tool in ("wine", "wineboot", "wineserver", "Xvfb", "openbox", "xdotool",
                                 "xprop", "xwininfo", "import", "convert", "tesseract")
               if not shutil.which(tool)]
    if missing:
        print(f"missing: {' '.join(missing)}", file=sys.stderr)
        return 2
    # A folder of this script's, from an earlier run, is emptied; any other must be empty.
    marker = os.path.join(options.artifacts, ".prismor-wine-e2e")
    if os.path.isdir(options.artifacts) and os.listdir(options.artifacts):
        if not os.path.exists(marker):
            parser.error(f"{options.artifacts} is not empty and not an earlier run's artifacts")
        shutil.rmtree(options.artifacts)
    os.makedirs(options.artifacts, exist_ok=True)
    open(marker, "w").close()
    return Run(options).main()


if __name__ == "__main__":
    sys.exit(main())
