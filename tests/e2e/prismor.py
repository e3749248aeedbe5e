"""Prismor and the stand-in Norlix installation as a user meets them: the built executable
started as its own process on a virtual desktop, the `norlix` command, and a home of their own."""

import difflib
import os
import re
import shutil
import subprocess
import tempfile

from virtual_desktop import (
    Atspi, CheckFailed, application_of, centre, children, descendants, expect, extents,
    has_state, lines_of, name, role, top_level, wait_for)

WINDOW_TITLE = "Check Norlix DB"
APPLICATION_TITLE = "Prismor"
CHOICE_TITLE = "CAUTION"

# Where the window shows its controls at 96 dots per inch, where its client area is WINDOW_WIDTH
# pixels wide: kind, x and y in pixels. Qt gives no control's objectName to AT-SPI, so a control
# is known by its kind and its place, as a screen reader user knows it.
WINDOW_WIDTH = 731
CONTROLS = {
    "txtLetter": ("text", 640, 24),
    "cmdExit": ("push button", 616, 448),
    "cmdStart": ("push button", 640, 80),
    "lblCoName": ("label", 512, 48),
    "Label1": ("label", 528, 27),
    "Label3": ("label", 24, 112),
    "lblResults": ("label", 24, 128),
    "lblInstr": ("label", 24, 16),
}
PLACE_TOLERANCE = 3  # pixels


class StandIn:
    """A stand-in Norlix installation and per-user settings in a temporary home of their own."""

    def __init__(self, norlix):
        self._norlix = norlix
        self.home = tempfile.mkdtemp(prefix="prismor-e2e-home-")
        runtime = os.path.join(self.home, "runtime")
        os.mkdir(runtime, 0o700)
        self.env = dict(os.environ,
                        HOME=self.home,
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_RUNTIME_DIR=runtime,
                        NORLIX_HOME=os.path.join(self.home, "norlix"))

    def remove(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def norlix(self, *args):
        """Runs the norlix command and gives back what it printed, without the last line end."""
        result = subprocess.run([self._norlix, *args], env=self.env, capture_output=True,
                                text=True)
        if result.returncode != 0:
            raise CheckFailed(f"norlix {' '.join(args)} failed ({result.returncode}): "
                              f"{result.stderr.strip()}")
        return result.stdout.rstrip("\n")

    def company(self, letter):
        """What `norlix company show` says of a company, as a dictionary; "lock" is the holder
        and "holds" how many times it holds the lock."""
        fields = {}
        for line in self.norlix("company", "show", letter).splitlines():
            key, separator, value = line.partition(":")
            if separator:
                fields[key.strip()] = value.strip()
        held = re.fullmatch(r"(.*) \((\d+) holds?\)", fields.get("lock", ""))
        fields["lock"], fields["holds"] = (held[1], int(held[2])) if held else ("", 0)
        return fields

    def lock_is_free(self, letter):
        """Whether a probe could take the company's accounts lock; it gives it back at once."""
        probe = "E2E-LOCK-PROBE"
        holder = self.norlix("lock", letter, probe)
        if holder == probe:
            self.norlix("unlock", letter, probe)
        return holder == probe


class Prismor:
    """One run of the Prismor executable on the virtual desktop."""

    def __init__(self, executable, desktop, env, log_path):
        self.desktop = desktop
        env = dict(env, **desktop.env(),
                   QT_QPA_PLATFORM="xcb",
                   # Qt offers its widgets to AT-SPI only when asked to.
                   QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self._log = open(log_path, "w")
        self.log_path = log_path
        self.process = subprocess.Popen([executable], env=env, stdout=self._log,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.application = application_of(self.process.pid)
        self.window = wait_for(f"the window {WINDOW_TITLE!r}",
                               lambda: top_level(self.application, WINDOW_TITLE))
        # Active once the window manager has placed it and given it the focus; only then do
        # the places of its controls on the screen hold.
        wait_for("the window to become active",
                 lambda: has_state(self.window, Atspi.StateType.ACTIVE))

    def stop(self):
        """Ends the process if the test left it running."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self._log.close()

    # The window's controls.

    def control(self, control_name):
        kind, left, top = CONTROLS[control_name]
        window_x, window_y, window_width, _ = extents(self.window)
        scale = window_width / WINDOW_WIDTH
        expected = (round(left * scale), round(top * scale))
        seen = []
        for candidate in children(self.window):
            x, y, _, _ = extents(candidate)
            place = (x - window_x, y - window_y)
            seen.append(f"{role(candidate)} {name(candidate)!r} at {place}")
            if role(candidate) == kind and all(
                    abs(a - b) <= PLACE_TOLERANCE for a, b in zip(place, expected)):
                return candidate
        raise CheckFailed(f"no {kind} {control_name} at {expected} in the window; "
                          f"found: {'; '.join(seen)}")

    def text_of(self, control_name):
        control = self.control(control_name)
        if role(control) == "text":
            return Atspi.Text.get_text(control, 0, -1)
        return name(control)

    def labels_of(self, control_name):
        """The texts of the labels that a screen reader announces the control with."""
        return [name(relation.get_target(i))
                for relation in self.control(control_name).get_relation_set()
                if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY
                for i in range(relation.get_n_targets())]

    def lines_read_by_line(self, control_name):
        """The control's text as a screen reader reads it line by line, through the Text
        interface: each line with the line end that closes it."""
        control = self.control(control_name)
        count = Atspi.Text.get_character_count(control)
        lines, offset = [], 0
        while offset < count:
            line = Atspi.Text.get_text_at_offset(control, offset, Atspi.TextBoundaryType.LINE_START)
            expect(line.start_offset <= offset < line.end_offset,
                   f"{control_name}: the line at {offset} runs from {line.start_offset} "
                   f"to {line.end_offset}")
            lines.append(line.content)
            offset = line.end_offset
        return lines

    def wait_for_focus(self, control_name):
        control = self.control(control_name)
        wait_for(f"{control_name} to have the keyboard focus",
                 lambda: has_state(control, Atspi.StateType.FOCUSED))

    def wait_for_text(self, control_name, expected, timeout=10):
        """Waits until the control shows this text: typed keys take a moment to arrive."""
        shown = []

        def shows_expected():
            shown.append(self.text_of(control_name))
            return shown[-1] == expected
        try:
            wait_for(f"{control_name} to show {expected!r}", shows_expected, timeout, 0.05)
        except CheckFailed:
            raise CheckFailed(f"{control_name}: expected {expected!r}, "
                              f"shows {shown[-1] if shown else None!r}") from None

    def report(self):
        return lines_of(self.text_of("lblResults"))

    # What a user does.

    def click(self, control_name):
        self.desktop.click(*centre(self.control(control_name)))

    def enter_letter(self, text):
        """Clicks into the letter entry, selects what is there and types over it."""
        self.click("txtLetter")
        self.desktop.key("ctrl+a")
        self.desktop.type_text(text)

    def press_start_with_keyboard(self):
        """From the letter entry, Tab reaches Start, and Space presses it."""
        self.desktop.key("Tab")
        self.wait_for_focus("cmdStart")
        self.desktop.key("space")

    def close_by_frame(self):
        """Clicks the close button at the right end of the window manager's title bar."""
        window = self.desktop.x_window_of(self.process.pid, WINDOW_TITLE)
        _, _, title_height, _ = self.desktop.frame_extents(window)
        x, y, width, _ = extents(self.window)
        self.desktop.click(x + width - title_height // 2, y - title_height // 2)

    def wait_for_end(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise CheckFailed(f"Prismor did not end within {timeout} s") from None

    # What the window shows.

    def wait_for_report_end(self):
        return wait_for("the report to end with 'Finished'",
                        lambda: (lines := self.report()) and lines[-1] == "Finished" and lines)

    def dialog(self, title):
        """A modal window of Prismor's with this title, as (window, message, button names)."""
        window = wait_for(f"a window titled {title!r}",
                          lambda: top_level(self.application, title))
        labels = [name(a) for a in descendants(window)
                  if role(a) == "label" and name(a)]
        buttons = sorted((a for a in descendants(window) if role(a) == "push button"),
                         key=lambda button: extents(button)[0])
        return window, labels, [name(b) for b in buttons]

    def answer(self, title, button_name):
        """Clicks a button of the window with this title and waits until it has gone."""
        window = wait_for(f"a window titled {title!r}",
                          lambda: top_level(self.application, title))
        button = next((a for a in descendants(window)
                       if role(a) == "push button" and name(a) == button_name), None)
        expect(button is not None, f"no button {button_name!r} in {title!r}")
        self.desktop.click(*centre(button))
        wait_for(f"{title!r} to close",
                 lambda: top_level(self.application, title) is None)


def expect_equal(actual, expected, what):
    if isinstance(expected, list) and isinstance(actual, list) and actual != expected:
        diff = difflib.unified_diff([repr(x) for x in expected], [repr(x) for x in actual],
                                    "expected", "shown", lineterm="")
        raise CheckFailed(f"{what} differs:\n    " + "\n    ".join(diff))
    expect(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")
